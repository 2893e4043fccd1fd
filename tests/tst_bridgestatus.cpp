#include "bridge/bridgestatus.h"
#include "support/fakehttpserver.h"

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace dorv;
using namespace dorv::test;

namespace {
const QByteArray kFull =
    R"({"ok":true,"chatwire":"connected","active_project":"api",)"
    R"("projects":["api","web"],"marvek_busy":true,"context_pct":41.5,"queued":2})";
constexpr qint64 kMiB = 1 << 20;

// The six published fields.
struct Fields {
    BridgeState state = BridgeState::Offline;
    QString activeProject;
    QStringList projects;
    bool marvekBusy = false;
    std::optional<double> contextPct;
    qint64 queued = 0;
    bool operator==(const Fields &) const = default;
};
const Fields kFullFields{BridgeState::Connected, "api", {"api", "web"}, true, 41.5, 2};
// A failed poll changes only the state.
const Fields kOffline{BridgeState::Offline, "api", {"api", "web"}, true, 41.5, 2};
const Fields kBare{BridgeState::Connecting}; // {"ok":true}

Fields fieldsOf(const BridgeStatus &s)
{
    return {s.state(), s.activeProject(), s.projects(), s.marvekBusy(), s.contextPct(), s.queued()};
}

// For QCOMPARE's failure message.
char *toString(const Fields &f)
{
    const QString pct = f.contextPct ? QString::number(*f.contextPct) : QStringLiteral("-");
    return QTest::toString(QStringLiteral("%1 | %2 | %3 | busy %4 | %5 | %6 queued")
                               .arg(toText(f.state), f.activeProject, f.projects.join(u','),
                                    QString::number(f.marvekBusy), pct, QString::number(f.queued)));
}

} // namespace

class TestBridgeStatus : public QObject {
    Q_OBJECT
    // The rows that wait out a time-out run as a test of their own, beside the others.
    void addExchanges(bool slow);
    // Each exchange starts from an accepted full reply; once that fails, the rest fail at once.
    bool m_fullReplyFailed = false;

private Q_SLOTS:
    void exchanges_data() { addExchanges(false); }
    void exchanges();
    void slowExchanges_data() { addExchanges(true); }
    void slowExchanges() { exchanges(); }
    void pollingTimer();
    void thousandSwitchesInOneSecond();
};

// After a full reply, a poll or a command, and the reply to it; a command's follow-up poll
// gets the full reply. An accepted reply replaces all six fields, one notification each; a
// failed poll changes only `state`, once. Either comes when the reply is complete or the bridge
// has been silent for 3 s (5 s for a command, which is followed by exactly one poll however it
// ended). Each request is as written here, apart from the transport's Host and Connection
// lines, and goes out once; what the bridge sends costs bounded time and memory.
void TestBridgeStatus::addExchanges(bool slow)
{
    QTest::addColumn<QString>("action"); // "poll", "new" or "use <project>"
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<HttpResponse>("reply");
    QTest::addColumn<Fields>("fields");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    auto poll = [slow](const char *name, const HttpResponse &reply, const Fields &fields = kOffline,
                       int minMs = 0, int maxMs = 2500) {
        if ((maxMs > 3000) != slow)
            return;
        QTest::newRow(name) << QStringLiteral("poll") << QByteArray("GET /status HTTP/1.1\r\n\r\n")
                            << reply << fields << minMs << maxMs;
    };
    auto command = [slow](const char *name, const QString &project, const QByteArray &body,
                          const HttpResponse &reply, int minMs = 0, int maxMs = 1500) {
        if ((maxMs > 3000) != slow)
            return;
        const QByteArray head = project.isNull()
                                    ? "POST /new HTTP/1.1\r\n"
                                    : "POST /use HTTP/1.1\r\nContent-Type: application/json\r\n";
        QTest::newRow(name) << (project.isNull() ? QStringLiteral("new") : "use " + project)
                            << head + "Content-Length: " + QByteArray::number(body.size()) +
                                   "\r\n\r\n" + body
                            << reply << (reply.status ? kFullFields : kOffline) << minMs << maxMs;
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
    poll("answers at 2.2 s", {.body = ok, .delayMs = 2200}, kBare, 0, 9000);
    // Every byte, of the head too, is activity.
    poll("drips for 4 s", {.body = ok, .dripIntervalMs = 50}, kBare, 0, 9000);
    poll("503 valid body", {503, kFull});
    poll("refused", {0, {}});
    poll("answers after 3.6 s", {.body = kFull, .delayMs = 3600}, kOffline, 3000, 4500);
    poll("drips past 10 s", {.body = kFull + chunk, .dripIntervalMs = 1500}, kOffline, 10000,
         11500);
    poll("resets mid-body", {.body = kFull, .resetAfter = 80});
    poll("4 GiB until close", {.body = chunk, .bodyRepeat = 64 * 1024, .sendContentLength = false});
    poll("no ok", {.body = R"({"chatwire":"connected"})"});
    poll("queued string", {.body = R"({"ok":true,"queued":"3"})"});
    poll("queued fraction", {.body = R"({"ok":true,"queued":1.5})"});
    poll("busy as number", {.body = R"({"ok":true,"marvek_busy":1})"});
    poll("context as string", {.body = R"({"ok":true,"context_pct":"40"})"});
    poll("chatwire as bool", {.body = R"({"ok":true,"chatwire":true})"});
    poll("projects not array", {.body = R"({"ok":true,"projects":"api"})"});
    poll("projects with number", {.body = R"({"ok":true,"projects":["a",1]})"});
    poll("null", {.body = "null"});
    poll("trailing garbage", {.body = R"({"ok":true} x)"});
    command("use: 200", QStringLiteral(R"(my "Café" \ ✓)"),
            QStringLiteral(R"({"project":"my \"Café\" \\ ✓"})").toUtf8(), {.body = "{}"});
    command("new: 200", {}, {}, {.body = "{}"});
    // The follow-up poll comes at once, not when the idle time is over.
    command("new: 204 No Content", {}, {}, {.raw = "HTTP/1.1 204 No Content\r\n\r\n"});
    command("use: closed unanswered", "", R"({"project":""})", {.resetAfter = 0});
    command("use: silent", "web", R"({"project":"web"})", {.delayMs = 60000}, 5000, 6500);
    command("new: 200 MiB reply", {}, {}, {.body = QByteArray(kMiB, 'x'), .bodyRepeat = 200}, 0,
            3000);
    command("new: refused", {}, {}, {0, {}});
}

void TestBridgeStatus::exchanges()
{
    QFETCH(QString, action);
    QFETCH(QByteArray, wire);
    QFETCH(HttpResponse, reply);
    QFETCH(Fields, fields);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    FakeHttpServer server;
    server.respond(200, kFull);
    BridgeStatus status(server.baseUrl());
    QSignalSpy spy(&status, &BridgeStatus::changed);
    if (m_fullReplyFailed)
        QFAIL("an earlier row's full reply was not accepted");
    m_fullReplyFailed = true;
    status.poll();
    // A reply publishes all its fields in one pass: fail at once rather than wait for more.
    QVERIFY(spy.wait(2500));
    QCOMPARE(fieldsOf(status), kFullFields);
    m_fullReplyFailed = false;
    if (reply.status == 0)
        server.close();
    server.setHandler([=](const HttpRequest &r) {
        return action != "poll" && r.path == "/status" ? HttpResponse{200, kFull} : reply;
    });
    spy.clear();
    QElapsedTimer clock;
    clock.start();
    if (action == "poll")
        status.poll();
    else
        action == "new" ? status.newSession() : status.switchProject(action.mid(4));
    QCOMPARE(spy.count(), 0); // nothing changes before the reply
    QVERIFY2(spy.wait(maxMs), "no reply within the upper bound");
    QCOMPARE_GE(clock.elapsed(), minMs);
    QCOMPARE_LT(clock.elapsed(), maxMs);
    QCOMPARE(fieldsOf(status), fields);
    const int notifications = fields == kOffline ? 1 : 6;
    QCOMPARE(spy.count(), notifications);
    QTest::qWait(reply.delayMs > 0 ? 700 : 300);
    QCOMPARE(spy.count(), notifications); // a late answer changes nothing
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

void TestBridgeStatus::pollingTimer()
{
    FakeHttpServer server;
    auto *status = new BridgeStatus(server.baseUrl());
    status->startPolling();
    status->startPolling(); // polls at once again, and replaces the timer
    QTRY_COMPARE(server.count("/status"), 2);
    QTRY_COMPARE_WITH_TIMEOUT(server.count("/status"), 3, 6500);
    QCOMPARE_GE(server.requests()[2].receivedMs - server.requests()[1].receivedMs, 4900);
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
    for (int tick = 0; tick < 100; ++tick) {
        QTimer::singleShot(tick * 10, this, [&] {
            for (int i = 0; i < 10; ++i)
                status.switchProject(i % 2 ? QStringLiteral("web") : QStringLiteral("api"));
        });
    }
    QTRY_COMPARE_WITH_TIMEOUT(server.count("/status"), 1000, 60000);
    QTest::qWait(300);
    QCOMPARE(server.count("/use"), 1000);
    QCOMPARE(server.count("/status"), 1000); // exactly one follow-up poll each
    QCOMPARE(status.state(), BridgeState::Connected);
}

QTEST_GUILESS_MAIN(TestBridgeStatus)
#include "tst_bridgestatus.moc"
