// The utility against a hostile environment: bridges that stall, cut off or flood, thousands
// of commands at once, huge or broken files, a chatty pgrep. It must keep working, stay within
// bounded memory and lose nothing.
#include "bridgestatus.h"
#include "fakehttpserver.h"
#include "menucontentview.h"
#include "projectconfig.h"
#include "projectlistformat.h"
#include "reloadsignal.h"
#include "uitestkit.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <sys/resource.h>

using namespace dorv;
using namespace dorv::test;

namespace {
long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}
} // namespace

class TestHostile : public QObject {
    Q_OBJECT
    TestHome m_home;

private Q_SLOTS:
    void initTestCase() { reload::setPgrepOverride(QStringLiteral("/bin/true")); }
    void badBridges_data();
    void badBridges();
    void thousandSwitchesInOneSecond();
    void hugeProjectFile();
    void chattyPgrep();
};

void TestHostile::badBridges_data()
{
    QTest::addColumn<HttpResponse>("reply");
    QTest::addColumn<int>("maxSeconds");
    HttpResponse silent;
    silent.noAnswer = true;
    QTest::newRow("accepts, never answers") << silent << 5;
    HttpResponse reset;
    reset.body = R"({"ok":true,"chatwire":"connected","active_project":"api"})";
    reset.resetAfter = 10;
    QTest::newRow("resets mid-body") << reset << 2;
    HttpResponse flood;
    flood.body = QByteArray(64 * 1024, 'x');
    flood.bodyRepeat = 160; // 10 MiB
    QTest::newRow("10 MiB") << flood << 3;
    flood.bodyRepeat = 64 * 1024; // 4 GiB
    QTest::newRow("gigabytes, with length") << flood << 3;
    flood.sendContentLength = false;
    QTest::newRow("gigabytes, until close") << flood << 3;
}

void TestHostile::badBridges()
{
    QFETCH(HttpResponse, reply);
    QFETCH(int, maxSeconds);
    FakeHttpServer server;
    server.setHandler([reply](const HttpRequest &) { return reply; });
    BridgeStatus status(server.baseUrl());
    status.setState(BridgeState::Connected);
    QSignalSpy spy(&status, &BridgeStatus::changed);
    const long rssBefore = peakRssKiB();
    QElapsedTimer clock;
    clock.start();
    status.poll();
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, maxSeconds * 1000);
    QCOMPARE(status.state(), BridgeState::Offline);
    QVERIFY(clock.elapsed() < maxSeconds * 1000);
    QTest::qWait(200);
    QCOMPARE(spy.count(), 1);
    QVERIFY2(server.bytesWritten() < 64 * 1024 * 1024, "the body was not cut off");
    QVERIFY2(peakRssKiB() - rssBefore < 64 * 1024, "memory grew with the body");
}

void TestHostile::thousandSwitchesInOneSecond()
{
    FakeHttpServer server;
    server.setHandler([](const HttpRequest &request) {
        HttpResponse r;
        r.status = request.path == "/use" ? 404 : 200;
        r.body =
            R"({"ok":true,"chatwire":"connected","active_project":"api","projects":["api","web"]})";
        return r;
    });
    FakeServiceTool tool(m_home);
    BridgeStatus status(server.baseUrl());
    MenuContentView panel(&status);
    panel.show();

    // The panel must keep answering: measure the longest gap between 10 ms ticks.
    QElapsedTimer sinceTick;
    sinceTick.start();
    qint64 longestGap = 0;
    QTimer heartbeat;
    connect(&heartbeat, &QTimer::timeout, this,
            [&] { longestGap = qMax(longestGap, sinceTick.restart()); });
    heartbeat.start(10);

    int sent = 0;
    QTimer burst;
    connect(&burst, &QTimer::timeout, this, [&] {
        for (int i = 0; i < 10 && sent < 1000; ++i, ++sent)
            status.switchProject(sent % 2 ? QStringLiteral("web") : QStringLiteral("api"));
        if (sent == 1000)
            burst.stop();
    });
    burst.start(10); // 1000 switches within about one second
    QTRY_COMPARE_WITH_TIMEOUT(server.count("/use"), 1000, 60000);
    QTRY_COMPARE_WITH_TIMEOUT(server.count("/status"), 1000, 60000);
    QTest::qWait(300);
    QCOMPARE(server.count("/status"), 1000); // exactly one follow-up poll each
    QCOMPARE(status.state(), BridgeState::Connected);
    QVERIFY2(longestGap < 500,
             qPrintable(QStringLiteral("event loop stalled %1 ms").arg(longestGap)));
    QVERIFY2(panel.refreshCount() < 1100, "refreshes are coalesced");
}

void TestHostile::hugeProjectFile()
{
    // About 10 MB: 100,000 entries with long paths.
    QList<ProjectEntry> entries;
    for (int i = 0; i < 100000; ++i)
        entries.append(ProjectEntry::create(
            QStringLiteral("project-%1").arg(i),
            QStringLiteral("/srv/projects/%1/").arg(i) + QString(70, u'x'), i == 777));
    const QByteArray bytes = projectlist::serialize(entries);
    QVERIFY(bytes.size() > 10 * 1000 * 1000);
    QDir().mkpath(QFileInfo(ProjectConfig::configPath()).absolutePath());
    QFile file(ProjectConfig::configPath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
    file.close();

    ProjectConfig config;
    config.load();
    QCOMPARE(config.projects().size(), 100000);
    QVERIFY(config.projects().at(777).isDefault);
    QVERIFY(config.save());
    QFile back(ProjectConfig::configPath());
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), bytes);
    back.close();

    // Far too large to be a project list (a sparse file): not read, the list stays.
    QVERIFY(back.resize(ProjectConfig::kMaxFileBytes + 1));
    config.load();
    QCOMPARE(config.projects().size(), 100000);
}

void TestHostile::chattyPgrep()
{
    // Eight megabytes of zeros: never a signal to our own process group, and a bounded read.
    const QString fake = writeScript(m_home.file(QStringLiteral("bin/pgrep")),
                                     "head -c 8000000 /dev/zero | tr '\\0' '0' | fold -w 7\n");
    reload::setPgrepOverride(fake);
    QElapsedTimer clock;
    clock.start();
    reload::sendSIGHUP();
    QVERIFY(clock.elapsed() < 10000);
    reload::setPgrepOverride(QStringLiteral("/bin/true"));
}

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
