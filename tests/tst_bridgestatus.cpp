#include "bridgestatus.h"
#include "fakehttpserver.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace dorv;
using namespace dorv::test;

namespace {
const QByteArray kFull =
    R"({"ok":true,"chatwire":"connected","active_project":"api",)"
    R"("projects":["api","web"],"marvek_busy":true,"context_pct":41.5,"queued":2})";
const char *const kOffline = "offline|api|api,web|1|41.5|2"; // kFull's fields, offline
constexpr qint64 kMiB = 1 << 20;
// The six published fields, '|' between them, "-" for an absent context.
QString describe(const BridgeStatus &s)
{
    const QString pct = s.contextPct() ? QString::number(*s.contextPct()) : QStringLiteral("-");
    return QStringLiteral("%1|%2|%3|%4|%5|%6")
        .arg(toText(s.state()), s.activeProject(), s.projects().join(u','),
             QString::number(s.marvekBusy()), pct, QString::number(s.queued()));
}
} // namespace

class TestBridgeStatus : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void statusReplies_data();
    void statusReplies();
    void commands_data();
    void commands();
    void pollingTimer();
    void thousandSwitchesInOneSecond();
};

// After a full reply, another poll. An accepted reply replaces all six fields, one notification
// each; a failed poll changes only `state`, once; either when the reply is complete or the
// bridge has been silent for 3 s. What the bridge sends costs bounded time and memory.
void TestBridgeStatus::statusReplies_data()
{
    QTest::addColumn<HttpResponse>("reply");
    QTest::addColumn<QString>("fields");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    auto row = [](const char *name, const HttpResponse &reply, const char *fields = kOffline,
                  int minMs = 0, int maxMs = 2500) {
        QTest::newRow(name) << reply << QString::fromLatin1(fields) << minMs << maxMs;
    };
    const QByteArray chunk(64 * 1024, ' ');
    row("all seven", {.body = kFull}, "connected|api|api,web|1|41.5|2");
    row("ok false", {.body = R"({"ok":false,"chatwire":"connected"})"}, "connected|||0|-|0");
    row("wrong case", {.body = R"({"ok":true,"chatwire":"Connected"})"}, "connecting|||0|-|0");
    row("nulls are absent",
        {.body = R"({"ok":true,"chatwire":null,"active_project":null,"projects":null,)"
                 R"("marvek_busy":null,"context_pct":null,"queued":null})"},
        "connecting|||0|-|0");
    row("chunked",
        {.body = "b\r\n{\"ok\":true}\r\n0\r\n\r\n",
         .headers = {{"Transfer-Encoding", "chunked"}},
         .sendContentLength = false},
        "connecting|||0|-|0");
    row("answers at 2.2 s", {.body = R"({"ok":true})", .delayMs = 2200}, "connecting|||0|-|0", 0,
        9000);
    // Every byte, of the head too, is activity.
    row("drips for 4 s", {.body = R"({"ok":true})", .dripIntervalMs = 50}, "connecting|||0|-|0", 0,
        9000);
    row("503 valid body", {503, kFull});
    row("refused", {0, {}});
    row("answers after 3.6 s", {.body = kFull, .delayMs = 3600}, kOffline, 3000, 3500);
    row("drips past 10 s", {.body = kFull + chunk, .dripIntervalMs = 1500}, kOffline, 10000, 11500);
    row("resets mid-body", {.body = kFull, .resetAfter = 80});
    row("4 GiB until close", {.body = chunk, .bodyRepeat = 64 * 1024, .sendContentLength = false});
    row("no ok", {.body = R"({"chatwire":"connected"})"});
    row("queued string", {.body = R"({"ok":true,"queued":"3"})"});
    row("queued fraction", {.body = R"({"ok":true,"queued":1.5})"});
    row("busy as number", {.body = R"({"ok":true,"marvek_busy":1})"});
    row("context as string", {.body = R"({"ok":true,"context_pct":"40"})"});
    row("chatwire as bool", {.body = R"({"ok":true,"chatwire":true})"});
    row("projects not array", {.body = R"({"ok":true,"projects":"api"})"});
    row("projects with number", {.body = R"({"ok":true,"projects":["a",1]})"});
    row("null", {.body = "null"});
    row("trailing garbage", {.body = R"({"ok":true} x)"});
}

void TestBridgeStatus::statusReplies()
{
    QFETCH(HttpResponse, reply);
    QFETCH(QString, fields);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    FakeHttpServer server;
    server.respond(200, kFull);
    BridgeStatus status(server.baseUrl());
    status.poll();
    QTRY_COMPARE(status.queued(), 2);
    QCOMPARE(server.requests().at(0).raw.left(20), QByteArray("GET /status HTTP/1.1"));
    if (reply.status == 0)
        server.close();
    server.setHandler([reply](const HttpRequest &) { return reply; });
    QSignalSpy spy(&status, &BridgeStatus::changed);
    QElapsedTimer clock;
    clock.start();
    status.poll();
    const int notifications = fields == kOffline ? 1 : 6;
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), notifications, 15000);
    QVERIFY2(clock.elapsed() >= minMs && clock.elapsed() < maxMs,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(describe(status), fields);
    QTest::qWait(reply.delayMs > 0 ? 700 : 50);
    QCOMPARE(spy.count(), notifications); // a late answer changes nothing
    QVERIFY2(server.bytesWritten() < 16 * kMiB, "the body was not cut off");
}

// However a command ends, it reached the bridge exactly once, as written here apart from the
// transport's Host and Connection lines, and its follow-up poll comes exactly once: at once
// after an answer, after 5 s of silence at the latest.
void TestBridgeStatus::commands_data()
{
    QTest::addColumn<QString>("project"); // null: new session
    QTest::addColumn<HttpResponse>("reply");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("minMs"); // from the command's arrival to its follow-up poll
    QTest::addColumn<int>("maxMs");
    auto row = [](const char *name, const QString &project, const QByteArray &body,
                  const HttpResponse &reply, int minMs = 0, int maxMs = 1500) {
        const QByteArray wire = project.isNull()
                                    ? "POST /new HTTP/1.1\r\n"
                                    : "POST /use HTTP/1.1\r\nContent-Type: application/json\r\n";
        QTest::newRow(name) << project << reply
                            << wire + "Content-Length: " + QByteArray::number(body.size()) +
                                   "\r\n\r\n" + body
                            << minMs << maxMs;
    };
    row("use: 200", QStringLiteral(R"(my "Café" \ ✓)"),
        QStringLiteral(R"({"project":"my \"Café\" \\ ✓"})").toUtf8(), {.body = "{}"});
    row("new: 200", {}, {}, {.body = "{}"});
    row("use: closed unanswered", "", R"({"project":""})", {.resetAfter = 0});
    row("use: silent", "web", R"({"project":"web"})", {.delayMs = 60000}, 4900, 8000);
    row("new: 200 MiB reply", {}, {}, {.body = QByteArray(kMiB, 'x'), .bodyRepeat = 200}, 0, 3000);
    row("new: refused", {}, {}, {0, {}});
}

void TestBridgeStatus::commands()
{
    QFETCH(QString, project);
    QFETCH(HttpResponse, reply);
    QFETCH(QByteArray, wire);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    FakeHttpServer server;
    server.setHandler([reply](const HttpRequest &request) {
        return request.path == "/status" ? HttpResponse{200, kFull} : reply;
    });
    BridgeStatus status(server.baseUrl());
    QSignalSpy spy(&status, &BridgeStatus::changed);
    if (reply.status == 0)
        server.close();
    project.isNull() ? status.newSession() : status.switchProject(project);
    QCOMPARE(spy.count(), 0); // nothing changes before the follow-up poll's reply
    // When the bridge refuses, the only sign of the follow-up poll is its failure.
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), reply.status == 0 ? 1 : 6, maxMs + 500);
    QCOMPARE(status.state(), reply.status == 0 ? BridgeState::Offline : BridgeState::Connected);
    if (reply.status == 0)
        return;
    QTest::qWait(300);
    const QList<HttpRequest> seen = server.requests();
    QCOMPARE(seen.size(), 2);
    QCOMPARE(seen.last().path, QByteArray("/status"));
    const qint64 waited = seen.last().receivedMs - seen.first().receivedMs;
    QVERIFY2(waited >= minMs && waited < maxMs, qPrintable(QString::number(waited)));
    QList<QByteArray> lines = seen.first().raw.split('\n');
    lines.removeIf(
        [](const QByteArray &l) { return l.startsWith("Host:") || l.startsWith("Connection:"); });
    QCOMPARE(lines.join('\n'), wire);
    QVERIFY2(server.bytesWritten() < 16 * kMiB, "the reply was read without bound");
}

void TestBridgeStatus::pollingTimer()
{
    FakeHttpServer server;
    auto *status = new BridgeStatus(server.baseUrl());
    status->startPolling();
    status->startPolling(); // polls at once again, and replaces the timer
    QTRY_COMPARE(server.count("/status"), 2);
    QTRY_COMPARE_WITH_TIMEOUT(server.count("/status"), 3, 6500);
    const qint64 gap = server.requests()[2].receivedMs - server.requests()[1].receivedMs;
    QVERIFY2(gap >= 4900, qPrintable(QString::number(gap)));
    QTest::qWait(400);
    QCOMPARE(server.count("/status"), 3); // one timer, not two
    // Replies, and a tick queued just before, arrive after the model is gone.
    server.setHandler(
        [](const HttpRequest &) { return HttpResponse{.body = kFull, .delayMs = 300}; });
    status->switchProject(QStringLiteral("api"));
    QTRY_COMPARE(server.count("/use"), 1);
    QMetaObject::invokeMethod(status->findChild<QTimer *>(), "timeout");
    delete status;
    QTest::qWait(600);
}

void TestBridgeStatus::thousandSwitchesInOneSecond()
{
    FakeHttpServer server;
    server.setHandler([](const HttpRequest &r) {
        return HttpResponse{r.path == "/use" ? 404 : 200, kFull};
    });
    BridgeStatus status(server.baseUrl());
    int sent = 0;
    QTimer burst;
    connect(&burst, &QTimer::timeout, this, [&] {
        for (int i = 0; i < 10 && sent < 1000; ++i, ++sent)
            status.switchProject(sent % 2 ? QStringLiteral("web") : QStringLiteral("api"));
    });
    burst.start(10);
    QTRY_COMPARE_WITH_TIMEOUT(server.count("/status"), 1000, 60000);
    QTest::qWait(300);
    QCOMPARE(server.count("/use"), 1000);
    QCOMPARE(server.count("/status"), 1000); // exactly one follow-up poll each
    QCOMPARE(status.state(), BridgeState::Connected);
}

QTEST_GUILESS_MAIN(TestBridgeStatus)
#include "tst_bridgestatus.moc"
