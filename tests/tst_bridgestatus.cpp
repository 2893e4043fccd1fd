#include "bridge/bridgestatus.h"
#include "bridge/pollscheduler.h"
#include "support/fakehttpserver.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace dorv;
using namespace dorv::test;

namespace {
const QByteArray kFull =
    R"({"ok":true,"chatwire":"connected","active_project":"api",)"
    R"("projects":["api","web"],"marvek_busy":true,"context_pct":41.5,"queued":2})";
constexpr qint64 kMiB = 1 << 20;
// The bridge's time-outs, made short: each row's times are in proportion.
constexpr BridgeTimeouts kShort{
    .statusIdleMs = 500, .statusLifetimeMs = 1500, .commandIdleMs = 800};

const BridgeSnapshot kFullStatus{BridgeState::Connected, "api", {"api", "web"}, true, 41.5, 2};
// A failed poll changes only the state.
const BridgeSnapshot kOffline{BridgeState::Offline, "api", {"api", "web"}, true, 41.5, 2};
const BridgeSnapshot kBare{BridgeState::Connecting}; // {"ok":true}
} // namespace

class TestBridgeStatus : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void exchanges_data();
    void exchanges();
    void scheduledPolls();
    void outageLoggedOnce();
};

// After a full reply, a poll or a command (followed by exactly one poll, which gets the full
// reply, however it ended). An accepted reply replaces all six fields, a failed poll only the
// state, handed to the observers once when the reply is complete or the bridge fell silent. Each
// request goes out once, as written here; what the bridge sends costs bounded time and memory.
void TestBridgeStatus::exchanges_data()
{
    QTest::addColumn<QString>("action"); // "poll", "new" or "use <project>"
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<HttpResponse>("reply");
    QTest::addColumn<BridgeSnapshot>("status");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    auto poll = [](const char *name, const HttpResponse &reply,
                   const BridgeSnapshot &status = kOffline, int minMs = 0, int maxMs = 1000) {
        QTest::newRow(name) << QStringLiteral("poll") << QByteArray("GET /status HTTP/1.1\r\n\r\n")
                            << reply << status << minMs << maxMs;
    };
    auto command = [](const char *name, const QString &project, const QByteArray &body,
                      const HttpResponse &reply, int minMs = 0, int maxMs = 700) {
        const QByteArray head = project.isNull()
                                    ? "POST /new HTTP/1.1\r\n"
                                    : "POST /use HTTP/1.1\r\nContent-Type: application/json\r\n";
        QTest::newRow(name) << (project.isNull() ? QStringLiteral("new") : "use " + project)
                            << head + "Content-Length: " + QByteArray::number(body.size()) +
                                   "\r\n\r\n" + body
                            << reply << (reply.status ? kFullStatus : kOffline) << minMs << maxMs;
    };
    const QByteArray chunk(64 * 1024, ' ');
    const QByteArray ok = R"({"ok":true})";
    const QByteArray okHead = "HTTP/1.1 200 OK\r\nContent-Length: 11\r\n\r\n";
    poll("ok false", {.body = R"({"ok":false,"chatwire":"connected"})"}, {BridgeState::Connected});
    poll("wrong case", {.body = R"({"ok":true,"chatwire":"Connected"})"}, kBare);
    poll("nulls are absent",
         {.body = R"({"ok":true,"chatwire":null,"active_project":null,"projects":null,)"
                  R"("marvek_busy":null,"context_pct":null,"queued":null})"},
         kBare);
    poll("100 Continue first", {.raw = "HTTP/1.1 100 Continue\r\n\r\n" + okHead + ok}, kBare);
    // The parser's table covers the reply shapes; these need a real socket. Complete at the
    // end of the head, though the connection stays open:
    poll("204 No Content", {.raw = "HTTP/1.1 204 No Content\r\n\r\n"});
    poll("answers within the idle time", {.body = ok, .delayMs = 250}, kBare);
    // Every byte, of the head too, is activity.
    poll("drips for half a second", {.body = ok, .dripIntervalMs = 5}, kBare, 0, 1400);
    poll("503 valid body", {503, kFull});
    poll("refused", {0, {}});
    poll("answers after the idle time", {.body = kFull, .delayMs = 700}, kOffline, 500, 700);
    poll("drips past the lifetime", {.body = kFull + chunk, .dripIntervalMs = 300}, kOffline, 1500,
         1900);
    poll("resets mid-body", {.body = kFull, .resetAfter = 80});
    poll("4 GiB until close", {.body = chunk, .bodyRepeat = 64 * 1024, .sendContentLength = false});
    poll("no ok", {.body = R"({"chatwire":"connected"})"});
    poll("queued string", {.body = R"({"ok":true,"queued":"3"})"});
    poll("queued fraction", {.body = R"({"ok":true,"queued":1.5})"});
    poll("busy as number", {.body = R"({"ok":true,"marvek_busy":1})"});
    poll("context as string", {.body = R"({"ok":true,"context_pct":"40"})"});
    poll("chatwire as bool", {.body = R"({"ok":true,"chatwire":true})"});
    poll("projects with number", {.body = R"({"ok":true,"projects":["a",1]})"});
    poll("trailing garbage", {.body = R"({"ok":true} x)"});
    command("use: 200", QStringLiteral(R"(my "Café" \ ✓)"),
            QStringLiteral(R"({"project":"my \"Café\" \\ ✓"})").toUtf8(), {.body = "{}"});
    command("new: 200", {}, {}, {.body = "{}"});
    // The follow-up poll comes at once, not when the idle time is over.
    command("new: 204 No Content", {}, {}, {.raw = "HTTP/1.1 204 No Content\r\n\r\n"});
    command("use: closed unanswered", "", R"({"project":""})", {.resetAfter = 0});
    command("use: silent", "web", R"({"project":"web"})", {.delayMs = 60000}, 800, 1100);
    command("new: 200 MiB reply", {}, {}, {.body = QByteArray(kMiB, 'x'), .bodyRepeat = 200}, 0,
            3000);
    command("new: refused", {}, {}, {0, {}});
}

void TestBridgeStatus::exchanges()
{
    QFETCH(QString, action);
    QFETCH(QByteArray, wire);
    QFETCH(HttpResponse, reply);
    QFETCH(BridgeSnapshot, status);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    FakeHttpServer server;
    server.respond(200, kFull);
    BridgeStatus model(server.baseUrl(), kShort);
    PollScheduler scheduler(&model, {}); // the poll after a command
    QSignalSpy handed(&model, &BridgeStatus::statusChanged);
    model.poll();
    QVERIFY(handed.wait(1000));
    QCOMPARE(handed.last().first().value<BridgeSnapshot>(), kFullStatus);
    if (reply.status == 0)
        server.close();
    server.setHandler([=](const HttpRequest &r) {
        return action != "poll" && r.path == "/status" ? HttpResponse{200, kFull} : reply;
    });
    QElapsedTimer clock;
    clock.start();
    if (action == "poll")
        model.poll();
    else
        action == "new" ? model.newSession() : model.switchProject(action.mid(4));
    QCOMPARE(handed.size(), 1); // nothing changes before the reply
    QVERIFY2(handed.wait(maxMs), "no reply within the upper bound");
    QCOMPARE_GE(clock.elapsed(), minMs);
    QCOMPARE_LT(clock.elapsed(), maxMs);
    QCOMPARE(handed.last().first().value<BridgeSnapshot>(), status);
    QTest::qWait(reply.delayMs > 0 || reply.dripIntervalMs > 0 ? 300 : 50);
    QCOMPARE(handed.size(), 2); // a late answer changes nothing
    QVERIFY2(server.bytesWritten() < 16 * kMiB, "the reply was not cut off");
    if (reply.status == 0)
        return;
    QCOMPARE(server.requests().size(), action == "poll" ? 2 : 3);
    QCOMPARE(server.count("/status"), 2);
    QList<QByteArray> lines = server.requests().at(1).raw.split('\n');
    lines.removeIf(
        [](const QByteArray &l) { return l.startsWith("Host:") || l.startsWith("Connection:"); });
    QCOMPARE(lines.join('\n'), wire);
}

// Polling: at once and every interval, one timer however often it is started; one poll a
// moment after each start of the service.
void TestBridgeStatus::scheduledPolls()
{
    FakeHttpServer server;
    auto *model = new BridgeStatus(server.baseUrl(), kShort);
    PollScheduler scheduler(model, {.intervalMs = 300, .afterServiceStartMs = 200});
    scheduler.startPolling();
    scheduler.startPolling(); // polls at once again, and restarts the timer
    QTRY_COMPARE(server.count("/status"), 2);
    QTRY_COMPARE_WITH_TIMEOUT(server.count("/status"), 3, 1000);
    QCOMPARE_GE(server.requests()[2].receivedMs - server.requests()[1].receivedMs, 290);
    QTest::qWait(100);
    QCOMPARE(server.count("/status"), 3); // one timer, not two

    FakeHttpServer otherServer;
    BridgeStatus other(otherServer.baseUrl(), kShort);
    PollScheduler started(&other, {.afterServiceStartMs = 200});
    started.serviceStarted();
    started.serviceStarted(); // each start has its poll
    QTest::qWait(150);
    QCOMPARE(otherServer.count("/status"), 0);
    QTRY_COMPARE(otherServer.count("/status"), 2);
    delete model; // with its timer's next tick to come
    QTest::qWait(400);
}

// A bridge outage is logged once when it starts, again only when its cause changes, and once
// when it ends; never at every poll.
void TestBridgeStatus::outageLoggedOnce()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    FakeHttpServer server;
    BridgeStatus model(server.baseUrl(), kShort);
    QSignalSpy handed(&model, &BridgeStatus::statusChanged);
    auto polls = [&](int code, int n, const char *logged) {
        server.respond(code, R"({"ok":true})");
        if (code == 0)
            server.close();
        QTest::ignoreMessage(code == 200 ? QtInfoMsg : QtWarningMsg,
                             QRegularExpression(QString::fromLatin1(logged)));
        for (int i = 0; i < n; ++i) {
            model.poll();
            QVERIFY(handed.wait(1000));
        }
    };
    polls(503, 3, "polling http://127.0.0.1:\\d+/status failed: HTTP status 503");
    polls(200, 2, "answers again at .* after 3 failed polls");
    polls(0, 2, "failed: connection refused");
}

QTEST_GUILESS_MAIN(TestBridgeStatus)
#include "tst_bridgestatus.moc"
