#include "bridgestatus.h"
#include "fakehttpserver.h"
#include "testhome.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace dorv;
using namespace dorv::test;

namespace {
const QByteArray kFull = testData(QStringLiteral("status-full.json"));
constexpr qint64 kMiB = 1 << 20;
HttpResponse ok(const QByteArray &body)
{
    return {200, body};
}
// The six published fields, '|' between them, "-" for an absent context.
QString describe(const BridgeStatus &s)
{
    return QStringList{toText(s.state()),
                       s.activeProject(),
                       s.projects().join(u','),
                       QString::number(s.marvekBusy()),
                       s.contextPct() ? QString::number(*s.contextPct()) : QStringLiteral("-"),
                       QString::number(s.queued())}
        .join(u'|');
}
} // namespace

class TestBridgeStatus : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void acceptedReplies_data();
    void acceptedReplies();
    void failedPolls_data();
    void failedPolls();
    void commandWireFormat_data();
    void commandWireFormat();
    void commandOutcomes_data();
    void commandOutcomes();
    void pollingTimer();
    void thousandSwitchesInOneSecond();
    void destroyedModelIsNotTouched();
};

// An accepted reply replaces all six fields, one notification each, after a full reply; a
// reply that comes late or slowly is accepted as long as the bridge is never silent for 3 s.
void TestBridgeStatus::acceptedReplies_data()
{
    QTest::addColumn<HttpResponse>("reply");
    QTest::addColumn<QString>("fields");
    const struct {
        const char *name;
        HttpResponse reply;
        const char *fields;
    } rows[] = {
        {"all seven", ok(kFull), "connected|api|api,web|1|41.5|2"},
        {"ok only", ok(R"({"ok":true})"), "connecting|||0|-|0"},
        {"ok false", ok(R"({"ok":false,"chatwire":"connected"})"), "connected|||0|-|0"},
        {"wrong case", ok(R"({"ok":true,"chatwire":"Connected"})"), "connecting|||0|-|0"},
        {"chatwire offline", ok(R"({"ok":true,"chatwire":"offline"})"), "connecting|||0|-|0"},
        {"nulls are absent",
         ok(R"({"ok":true,"chatwire":null,"active_project":null,)"
            R"("projects":null,"marvek_busy":null,"context_pct":null,)"
            R"("queued":null})"),
         "connecting|||0|-|0"},
        {"unknown member", ok(R"({"ok":true,"extra":{"a":[1]}})"), "connecting|||0|-|0"},
        {"integer context", ok(R"({"ok":true,"context_pct":40})"), "connecting|||0|40|0"},
        {"int64 max", ok(R"({"ok":true,"queued":9223372036854775807})"),
         "connecting|||0|-|9223372036854775807"},
        {"queued negative", ok(R"({"ok":true,"queued":-2})"), "connecting|||0|-|-2"},
        {"answers at 2.2 s", {.body = R"({"ok":true})", .delayMs = 2200}, "connecting|||0|-|0"},
        {"chunked",
         {.body = "b\r\n{\"ok\":true}\r\n0\r\n\r\n",
          .headers = {{"Transfer-Encoding", "chunked"}},
          .sendContentLength = false},
         "connecting|||0|-|0"},
        {"drips for 4 s", {.body = R"({"ok":true})", .dripIntervalMs = 50}, "connecting|||0|-|0"},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << row.reply << QString::fromLatin1(row.fields);
}

void TestBridgeStatus::acceptedReplies()
{
    QFETCH(HttpResponse, reply);
    QFETCH(QString, fields);
    FakeHttpServer server;
    server.respond(200, kFull);
    BridgeStatus status(server.baseUrl());
    status.poll();
    QTRY_COMPARE(status.queued(), 2);
    QCOMPARE(server.requests().at(0).raw.left(20), QByteArray("GET /status HTTP/1.1"));
    server.setHandler([reply](const HttpRequest &) { return reply; });
    QSignalSpy spy(&status, &BridgeStatus::changed);
    status.poll();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 6, 9000);
    QCOMPARE(describe(status), fields);
}

// Every way a status poll can fail: only `state` changes, once, never before the bridge has
// been silent for 3 s, and what the bridge sends costs bounded time and memory.
void TestBridgeStatus::failedPolls_data()
{
    QTest::addColumn<HttpResponse>("reply");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    const QByteArray chunk(64 * 1024, ' ');
    const struct {
        const char *name;
        HttpResponse reply;
        int minMs = 0;
        int maxMs = 1000;
    } rows[] = {
        {"503 valid body", {503, kFull}},
        {"302 elsewhere", {302, {}}}, // Location: another server
        {"refused", {0, {}}},
        {"answers after 3.6 s", {.body = kFull, .delayMs = 3600}, 3000, 3500},
        {"never answers", {.noAnswer = true}, 3000, 3500},
        {"drips past 10 s", {.body = kFull + chunk, .dripIntervalMs = 1500}, 10000, 11500},
        {"resets mid-body", {.body = kFull, .resetAfter = 80}},
        {"4 GiB, with length", {.body = chunk, .bodyRepeat = 64 * 1024}, 0, 3000},
        {"4 GiB, until close",
         {.body = chunk, .bodyRepeat = 64 * 1024, .sendContentLength = false},
         0,
         3000},
        {"empty body", ok({})},
        {"no ok", ok(R"({"chatwire":"connected"})")},
        {"ok as string", ok(R"({"ok":"true"})")},
        {"Ok capitalised", ok(R"({"Ok":true})")},
        {"queued string", ok(R"({"ok":true,"queued":"3"})")},
        {"queued fraction", ok(R"({"ok":true,"queued":1.5})")},
        {"queued past int64", ok(R"({"ok":true,"queued":9223372036854775808})")},
        {"busy as number", ok(R"({"ok":true,"marvek_busy":1})")},
        {"context as string", ok(R"({"ok":true,"context_pct":"40"})")},
        {"chatwire as bool", ok(R"({"ok":true,"chatwire":true})")},
        {"project as number", ok(R"({"ok":true,"active_project":3})")},
        {"projects not array", ok(R"({"ok":true,"projects":"api"})")},
        {"projects with number", ok(R"({"ok":true,"projects":["a",1]})")},
        {"null", ok("null")},
        {"trailing garbage", ok(R"({"ok":true} x)")},
        {"invalid utf8", ok("{\"ok\":true,\"chatwire\":\"\xff\"}")},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << row.reply << row.minMs << row.maxMs;
}

void TestBridgeStatus::failedPolls()
{
    QFETCH(HttpResponse, reply);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    FakeHttpServer elsewhere;
    FakeHttpServer server;
    server.respond(200, kFull);
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
    QVERIFY2(clock.elapsed() >= minMs && clock.elapsed() < maxMs,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(describe(status), QStringLiteral("offline|api|api,web|1|41.5|2"));
    QTest::qWait(reply.delayMs > 0 ? 700 : 50);
    QCOMPARE(spy.count(), 1);             // a late answer changes nothing
    QCOMPARE(elsewhere.connections(), 0); // redirects are not followed
    QVERIFY2(server.bytesWritten() < 16 * kMiB, "the body was not cut off");
}

// The command's bytes, apart from the transport's Host and Connection lines.
void TestBridgeStatus::commandWireFormat_data()
{
    QTest::addColumn<QString>("name"); // null: new session
    QTest::addColumn<QByteArray>("expected");
    auto use = [](const char *name, const QString &project, const QByteArray &body) {
        QTest::newRow(name) << project
                            << "POST /use HTTP/1.1\r\nContent-Type: application/json\r\n"
                               "Content-Length: " +
                                   QByteArray::number(body.size()) + "\r\n\r\n" + body;
    };
    use("plain", "api", R"({"project":"api"})");
    use("blanks", "my project", R"({"project":"my project"})");
    use("non-ascii", QStringLiteral("Café ✓"), QStringLiteral(R"({"project":"Café ✓"})").toUtf8());
    use("quote, backslash", R"(a"b\c)", R"({"project":"a\"b\\c"})");
    use("empty name", "", R"({"project":""})");
    QTest::newRow("new session") << QString()
                                 << QByteArray("POST /new HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
}

void TestBridgeStatus::commandWireFormat()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, expected);
    FakeHttpServer server;
    BridgeStatus status(server.baseUrl());
    name.isNull() ? status.newSession() : status.switchProject(name);
    QTRY_COMPARE(server.requests().size(), 2); // the command, then its follow-up poll
    QList<QByteArray> lines = server.requests().at(0).raw.split('\n');
    lines.removeIf(
        [](const QByteArray &l) { return l.startsWith("Host:") || l.startsWith("Connection:"); });
    QCOMPARE(lines.join('\n'), expected);
    QCOMPARE(server.requests().at(1).path, QByteArray("/status"));
}

// However a command ends, it reached the bridge exactly once and its follow-up poll comes
// exactly once: at once after an answer, after 5 s of silence at the latest.
void TestBridgeStatus::commandOutcomes_data()
{
    QTest::addColumn<bool>("isSwitch");
    QTest::addColumn<HttpResponse>("reply");
    QTest::addColumn<int>("minMs"); // from the command's arrival to its follow-up poll
    QTest::addColumn<int>("maxMs");
    for (bool isSwitch : {true, false}) {
        auto row = [isSwitch](const char *name, const HttpResponse &reply, int minMs, int maxMs) {
            QTest::addRow("%s %s", isSwitch ? "use" : "new", name)
                << isSwitch << reply << minMs << maxMs;
        };
        row("200", ok(R"({"ok":true})"), 0, 1500);
        row("closed unanswered", {.resetAfter = 0}, 0, 1500);
        row("reset mid-head", {.body = "{}", .resetAfter = 12}, 0, 1500);
        row("silent", {.noAnswer = true}, 4900, 8000);
        row("200 MiB reply", {.body = QByteArray(kMiB, 'x'), .bodyRepeat = 200}, 0, 3000);
    }
    QTest::newRow("use 500") << true << HttpResponse{500, {}} << 0 << 1500;
    QTest::newRow("use refused") << true << HttpResponse{0, {}} << 0 << 1500;
}

void TestBridgeStatus::commandOutcomes()
{
    QFETCH(bool, isSwitch);
    QFETCH(HttpResponse, reply);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    FakeHttpServer server;
    server.setHandler([reply](const HttpRequest &request) {
        return request.path == "/status" ? ok(kFull) : reply;
    });
    BridgeStatus status(server.baseUrl());
    QSignalSpy spy(&status, &BridgeStatus::changed);
    if (reply.status == 0)
        server.close();
    isSwitch ? status.switchProject(QStringLiteral("web")) : status.newSession();
    QCOMPARE(spy.count(), 0); // nothing changes before the follow-up poll's reply
    if (reply.status == 0) {
        // The only sign of the follow-up poll is its failure.
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, maxMs);
        QCOMPARE(status.state(), BridgeState::Offline);
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(server.count("/status"), 1, maxMs + 500);
    const QList<HttpRequest> seen = server.requests();
    const qint64 waited = seen.last().receivedMs - seen.first().receivedMs;
    QVERIFY2(waited >= minMs && waited < maxMs, qPrintable(QString::number(waited)));
    QTRY_COMPARE(status.state(), BridgeState::Connected);
    QTest::qWait(300);
    QCOMPARE(server.count(isSwitch ? "/use" : "/new"), 1);
    QCOMPARE(server.count("/status"), 1);
    QVERIFY2(server.bytesWritten() < 16 * kMiB, "the reply was read without bound");
}

void TestBridgeStatus::pollingTimer()
{
    FakeHttpServer server;
    BridgeStatus status(server.baseUrl());
    status.startPolling();
    status.startPolling(); // polls at once again, and replaces the timer
    QTRY_COMPARE(server.count("/status"), 2);
    QTRY_COMPARE_WITH_TIMEOUT(server.count("/status"), 3, 6500);
    // A coarse timer fires up to 5 % early.
    const qint64 gap = server.requests()[2].receivedMs - server.requests()[1].receivedMs;
    QVERIFY2(gap >= 4900, qPrintable(QString::number(gap)));
    QTest::qWait(400);
    QCOMPARE(server.count("/status"), 3); // one timer, not two
}

void TestBridgeStatus::thousandSwitchesInOneSecond()
{
    FakeHttpServer server;
    server.setHandler([](const HttpRequest &r) {
        return HttpResponse{r.path == "/use" ? 404 : 200, kFull};
    });
    BridgeStatus status(server.baseUrl());
    // The event loop must keep turning: the longest gap between 10 ms ticks.
    QElapsedTimer sinceTick;
    sinceTick.start();
    qint64 longestGap = 0;
    int sent = 0;
    QTimer heartbeat, burst;
    connect(&heartbeat, &QTimer::timeout, this,
            [&] { longestGap = qMax(longestGap, sinceTick.restart()); });
    connect(&burst, &QTimer::timeout, this, [&] {
        for (int i = 0; i < 10 && sent < 1000; ++i, ++sent)
            status.switchProject(sent % 2 ? QStringLiteral("web") : QStringLiteral("api"));
    });
    heartbeat.start(10);
    burst.start(10);
    QTRY_COMPARE_WITH_TIMEOUT(server.count("/status"), 1000, 60000);
    QTest::qWait(300);
    QCOMPARE(server.count("/use"), 1000);
    QCOMPARE(server.count("/status"), 1000); // exactly one follow-up poll each
    QCOMPARE(status.state(), BridgeState::Connected);
    QVERIFY2(longestGap < 500, qPrintable(QStringLiteral("stalled %1 ms").arg(longestGap)));
}

void TestBridgeStatus::destroyedModelIsNotTouched()
{
    FakeHttpServer server;
    server.setHandler(
        [](const HttpRequest &) { return HttpResponse{.body = kFull, .delayMs = 300}; });
    auto *status = new BridgeStatus(server.baseUrl());
    status->startPolling();
    status->switchProject(QStringLiteral("api"));
    // A tick queued just before destruction must find the model gone.
    QMetaObject::invokeMethod(status->findChild<QTimer *>(), "timeout");
    QTRY_VERIFY(server.requests().size() >= 2);
    delete status;
    QTest::qWait(600); // replies and queued ticks arrive after the model is gone
}

QTEST_GUILESS_MAIN(TestBridgeStatus)
#include "tst_bridgestatus.moc"
