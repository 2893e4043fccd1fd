// The utility against a hostile environment: thousands of commands at once, huge files, a
// chatty pgrep. It must keep working, stay within bounded memory and lose nothing. Bridges that
// stall, cut off or flood are in the status poll table of tst_bridgestatus.
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

using namespace dorv;
using namespace dorv::test;

class TestHostile : public QObject {
    Q_OBJECT
    TestHome m_home;

private Q_SLOTS:
    void initTestCase() { reload::setPgrepOverride(QStringLiteral("/bin/true")); }
    void thousandSwitchesInOneSecond();
    void hugeProjectFile();
    void chattyPgrep();
};

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
