#include "bridgestatus.h"
#include "fakehttpserver.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace dorv;
using dorv::test::FakeHttpServer;
using dorv::test::HttpRequest;
using dorv::test::HttpResponse;

namespace {

const QByteArray kFullBody =
    R"({"ok":true,"chatwire":"connected","active_project":"api",)"
    R"("projects":["api","web"],"marvek_busy":true,"context_pct":41.5,"queued":2})";

struct Snapshot {
    BridgeState state;
    QString activeProject;
    QStringList projects;
    bool busy;
    std::optional<double> context;
    qint64 queued;
};

Snapshot snap(const BridgeStatus &s)
{
    return {s.state(), s.activeProject(), s.projects(), s.marvekBusy(), s.contextPct(), s.queued()};
}

} // namespace

class TestBridgeStatus : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initialValues();
    void acceptedReplyAssignsInOrder();
    void acceptedReplies_data();
    void acceptedReplies();
    void failedPolls_data();
    void failedPolls();
    void commandWireFormat_data();
    void commandWireFormat();
    void followUpPollAfterAnyOutcome_data();
    void followUpPollAfterAnyOutcome();
    void switchDoesNotTouchModel();
    void pollingTimer();
    void destroyedModelIsNotTouched();
};

void TestBridgeStatus::initialValues()
{
    FakeHttpServer server;
    BridgeStatus status(server.baseUrl());
    QCOMPARE(status.state(), BridgeState::Offline);
    QVERIFY(status.activeProject().isEmpty());
    QVERIFY(status.projects().isEmpty());
    QVERIFY(!status.marvekBusy());
    QVERIFY(!status.contextPct());
    QCOMPARE(status.queued(), 0);
    QVERIFY(!status.timer());
    QCOMPARE(BridgeStatus::defaultBaseUrl(), QUrl("http://127.0.0.1:9876"));
    QTest::qWait(50);
    QCOMPARE(server.requests().size(), 0); // construction sends nothing
}

void TestBridgeStatus::acceptedReplyAssignsInOrder()
{
    FakeHttpServer server;
    server.respond(200, kFullBody);
    BridgeStatus status(server.baseUrl());
    QList<Snapshot> seen;
    connect(&status, &BridgeStatus::changed, this, [&] { seen.append(snap(status)); });
    status.poll();
    QTRY_COMPARE(seen.size(), 6);
    QTest::qWait(20);
    QCOMPARE(seen.size(), 6);

    // Each notification follows one more assignment, in declaration order.
    QCOMPARE(seen[0].state, BridgeState::Connected);
    QVERIFY(seen[0].activeProject.isEmpty());
    QCOMPARE(seen[1].activeProject, QStringLiteral("api"));
    QVERIFY(seen[1].projects.isEmpty());
    QCOMPARE(seen[2].projects, QStringList({"api", "web"}));
    QVERIFY(!seen[2].busy);
    QVERIFY(seen[3].busy);
    QVERIFY(!seen[3].context);
    QCOMPARE(seen[4].context, 41.5);
    QCOMPARE(seen[4].queued, 0);
    QCOMPARE(seen[5].queued, 2);

    const HttpRequest request = server.requests().value(0);
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.path, QByteArray("/status"));
    QVERIFY(request.body.isEmpty());

    // The same reply again still notifies six times.
    status.poll();
    QTRY_COMPARE(seen.size(), 12);
}

void TestBridgeStatus::acceptedReplies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<BridgeState>("state");
    QTest::newRow("ok only") << QByteArray(R"({"ok":true})") << BridgeState::Connecting;
    QTest::newRow("ok false connected")
        << QByteArray(R"({"ok":false,"chatwire":"connected"})") << BridgeState::Connected;
    QTest::newRow("wrong case") << QByteArray(R"({"ok":true,"chatwire":"Connected"})")
                                << BridgeState::Connecting;
    QTest::newRow("chatwire offline")
        << QByteArray(R"({"ok":true,"chatwire":"offline"})") << BridgeState::Connecting;
    QTest::newRow("chatwire null")
        << QByteArray(R"({"ok":true,"chatwire":null})") << BridgeState::Connecting;
}

void TestBridgeStatus::acceptedReplies()
{
    QFETCH(QByteArray, body);
    QFETCH(BridgeState, state);
    FakeHttpServer server;
    server.respond(200, kFullBody);
    BridgeStatus status(server.baseUrl());
    status.poll();
    QTRY_COMPARE(status.queued(), 2);

    // Absent members reset their fields: nothing of the previous reply survives.
    server.respond(200, body);
    QSignalSpy spy(&status, &BridgeStatus::changed);
    status.poll();
    QTRY_COMPARE(spy.count(), 6);
    QCOMPARE(status.state(), state);
    QVERIFY(status.activeProject().isEmpty());
    QVERIFY(status.projects().isEmpty());
    QVERIFY(!status.marvekBusy());
    QVERIFY(!status.contextPct());
    QCOMPARE(status.queued(), 0);
}

// Every way a status poll can fail, from an error status to a hostile bridge: only `state`
// changes, once, and what the bridge sends costs bounded time and memory.
void TestBridgeStatus::failedPolls_data()
{
    QTest::addColumn<HttpResponse>("reply");
    QTest::addColumn<int>("maxMs");
    auto make = [](int status, QByteArray body) {
        HttpResponse r;
        r.status = status;
        r.body = std::move(body);
        return r;
    };
    QTest::newRow("503 valid body") << make(503, kFullBody) << 1000;
    QTest::newRow("500 empty") << make(500, {}) << 1000;
    QTest::newRow("200 empty body") << make(200, {}) << 1000;
    QTest::newRow("200 queued string") << make(200, R"({"ok":true,"queued":"3"})") << 1000;
    QTest::newRow("302 elsewhere") << make(302, {}) << 1000; // Location: another server
    HttpResponse refused;
    refused.status = 0; // the server stops listening
    QTest::newRow("refused") << refused << 1000;
    HttpResponse slow = make(200, kFullBody);
    slow.delayMs = 3600;
    QTest::newRow("answers after 3 s") << slow << 4000;
    HttpResponse silent;
    silent.noAnswer = true;
    QTest::newRow("accepts, never answers") << silent << 4000;
    HttpResponse drip = make(200, kFullBody + QByteArray(200, ' '));
    drip.dripIntervalMs = 2000;
    QTest::newRow("drips past 10 s") << drip << 11500;
    HttpResponse reset = make(200, kFullBody);
    reset.resetAfter = 10;
    QTest::newRow("resets mid-body") << reset << 1000;
    HttpResponse flood = make(200, QByteArray(64 * 1024, ' '));
    flood.bodyRepeat = 160;
    QTest::newRow("10 MiB") << flood << 3000;
    flood.bodyRepeat = 64 * 1024;
    QTest::newRow("4 GiB, with length") << flood << 3000;
    flood.sendContentLength = false;
    QTest::newRow("4 GiB, until close") << flood << 3000;
}

void TestBridgeStatus::failedPolls()
{
    QFETCH(HttpResponse, reply);
    QFETCH(int, maxMs);
    FakeHttpServer elsewhere;
    FakeHttpServer server;
    server.respond(200, kFullBody);
    BridgeStatus status(server.baseUrl());
    status.poll();
    QTRY_COMPARE(status.queued(), 2); // an accepted reply first

    if (reply.status == 302)
        reply.headers.append({"Location", elsewhere.baseUrl().toEncoded() + "/status"});
    if (reply.status == 0)
        server.close();
    server.setHandler([reply](const HttpRequest &) { return reply; });
    QSignalSpy spy(&status, &BridgeStatus::changed);
    QElapsedTimer clock;
    clock.start();
    status.poll();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 15000);
    QVERIFY2(clock.elapsed() < maxMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(status.state(), BridgeState::Offline);
    QCOMPARE(status.activeProject(), QStringLiteral("api")); // the rest is kept
    QCOMPARE(status.queued(), 2);
    QTest::qWait(reply.delayMs > 0 ? 700 : 50);
    QCOMPARE(spy.count(), 1);             // a late answer changes nothing
    QCOMPARE(elsewhere.connections(), 0); // redirects are not followed
    QVERIFY2(server.bytesWritten() < 16 * 1024 * 1024, "the body was not cut off");
}

void TestBridgeStatus::commandWireFormat_data()
{
    QTest::addColumn<bool>("isSwitch");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("plain") << true << "api" << QByteArray(R"({"project":"api"})");
    QTest::newRow("blanks") << true << "my project" << QByteArray(R"({"project":"my project"})");
    QTest::newRow("non-ascii") << true << QStringLiteral("Café ✓")
                               << QStringLiteral(R"({"project":"Café ✓"})").toUtf8();
    QTest::newRow("quote and backslash")
        << true << R"(a"b\c)" << QByteArray(R"({"project":"a\"b\\c"})");
    QTest::newRow("empty") << true << "" << QByteArray(R"({"project":""})");
    QTest::newRow("new session") << false << "" << QByteArray();
}

void TestBridgeStatus::commandWireFormat()
{
    QFETCH(bool, isSwitch);
    QFETCH(QString, name);
    QFETCH(QByteArray, body);
    FakeHttpServer server;
    BridgeStatus status(server.baseUrl());
    if (isSwitch)
        status.switchProject(name);
    else
        status.newSession();
    QTRY_COMPARE(server.requests().size(), 2); // the command, then its follow-up poll
    const HttpRequest command = server.requests().at(0);
    QCOMPARE(command.method, QByteArray("POST"));
    QCOMPARE(command.path, isSwitch ? QByteArray("/use") : QByteArray("/new"));
    QCOMPARE(command.body, body);
    QCOMPARE(command.headers.contains("content-type"), isSwitch);
    if (isSwitch)
        QCOMPARE(command.headers.value("content-type"), QByteArray("application/json"));
    QVERIFY(command.raw.endsWith("\r\n\r\n" + body));
    QCOMPARE(server.requests().at(1).path, QByteArray("/status"));
}

void TestBridgeStatus::followUpPollAfterAnyOutcome_data()
{
    QTest::addColumn<bool>("refused");
    QTest::newRow("500 reply") << false;
    QTest::newRow("refused connection") << true;
}

void TestBridgeStatus::followUpPollAfterAnyOutcome()
{
    QFETCH(bool, refused);
    FakeHttpServer server;
    server.setHandler([](const HttpRequest &request) {
        HttpResponse r;
        r.status = request.path == "/status" ? 200 : 500;
        r.body = kFullBody;
        return r;
    });
    BridgeStatus status(server.baseUrl());
    if (refused)
        server.close();
    QSignalSpy spy(&status, &BridgeStatus::changed);
    status.switchProject(QStringLiteral("web"));
    if (refused) {
        // The only observable sign of the follow-up poll is its failure.
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(status.state(), BridgeState::Offline);
    } else {
        QTRY_COMPARE(server.count("/status"), 1);
        QCOMPARE(server.count("/use"), 1);
        QTRY_COMPARE(status.state(), BridgeState::Connected);
    }
}

void TestBridgeStatus::switchDoesNotTouchModel()
{
    FakeHttpServer server;
    server.respond(200, kFullBody);
    BridgeStatus status(server.baseUrl());
    status.poll();
    QTRY_COMPARE(status.activeProject(), QStringLiteral("api"));
    QSignalSpy spy(&status, &BridgeStatus::changed);
    status.switchProject(QStringLiteral("web"));
    status.newSession();
    QCOMPARE(status.activeProject(), QStringLiteral("api"));
    QCOMPARE(spy.count(), 0);
}

void TestBridgeStatus::pollingTimer()
{
    FakeHttpServer server;
    BridgeStatus status(server.baseUrl());
    status.startPolling();
    QTRY_COMPARE(server.count("/status"), 1); // at once
    QVERIFY(status.timer());
    QCOMPARE(status.timer()->interval(), 5000);
    QVERIFY(status.timer()->isActive());

    // One real tick, then the rest driven by hand.
    QTRY_COMPARE_WITH_TIMEOUT(server.count("/status"), 2, 6500);
    for (int i = 0; i < 3; ++i)
        QMetaObject::invokeMethod(const_cast<QTimer *>(status.timer()), "timeout");
    QTRY_COMPARE(server.count("/status"), 5);

    // A second start polls at once and leaves exactly one timer.
    const QTimer *before = status.timer();
    QPointer<const QTimer> old(before);
    status.startPolling();
    status.startPolling();
    QTRY_COMPARE(server.count("/status"), 7);
    QVERIFY(!old);
    QCOMPARE(status.findChildren<QTimer *>(Qt::FindDirectChildrenOnly).size(), 1);
    QVERIFY(status.timer()->isActive());
}

void TestBridgeStatus::destroyedModelIsNotTouched()
{
    FakeHttpServer server;
    server.setHandler([](const HttpRequest &) {
        HttpResponse r;
        r.body = kFullBody;
        r.delayMs = 300;
        return r;
    });
    auto *status = new BridgeStatus(server.baseUrl());
    QPointer<BridgeStatus> guard(status);
    status->startPolling();
    status->switchProject(QStringLiteral("api"));
    // A tick queued just before destruction must find the model gone.
    QMetaObject::invokeMethod(const_cast<QTimer *>(status->timer()), "timeout");
    QTRY_VERIFY(server.requests().size() >= 2);
    delete status;
    QVERIFY(!guard);
    QTest::qWait(600); // replies and queued ticks arrive after the model is gone
}

QTEST_GUILESS_MAIN(TestBridgeStatus)
#include "tst_bridgestatus.moc"
