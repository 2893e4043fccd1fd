#include "launchagentcontroller.h"
#include "testhome.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <csignal>
#include <unistd.h>

using namespace dorv;
using dorv::test::TestHome;

Q_DECLARE_METATYPE(ServiceOperation)
Q_DECLARE_METATYPE(ServiceCommand)

class TestService : public QObject {
    Q_OBJECT
    TestHome m_home;
    QString m_home2;
    QString m_log;

private Q_SLOTS:
    void initTestCase();
    void commandTables_data();
    void commandTables();
    void locations();
    void runsTheTool_data();
    void runsTheTool();
    void hangingToolIsKilled();
    void missingToolReadsNotLoaded();
};

void TestService::initTestCase()
{
    // A home folder with blanks: plistPath must still reach the tool as one argument.
    m_home2 = m_home.file(QStringLiteral("John Q Public"));
    QDir().mkpath(m_home2);
    qputenv("HOME", QFile::encodeName(m_home2));
    m_log = m_home.file(QStringLiteral("argv.log"));
}

// Both platforms' tables, on every platform: the exact program and arguments (one per "|").
void TestService::commandTables_data()
{
    QTest::addColumn<ServiceCommand>("command");
    QTest::addColumn<QString>("expected");
    const QString plist = QStringLiteral("/Users/a b/Library/LaunchAgents/com.ferlinq.plist");
    using Op = ServiceOperation;
    QTest::newRow("print 501") << launchctlCommand(Op::IsLoaded, 501, plist)
                               << "/bin/launchctl print|gui/501/com.ferlinq";
    QTest::newRow("bootstrap 501")
        << launchctlCommand(Op::Start, 501, plist) << "/bin/launchctl bootstrap|gui/501|" + plist;
    QTest::newRow("bootout 501") << launchctlCommand(Op::Stop, 501, plist)
                                 << "/bin/launchctl bootout|gui/501/com.ferlinq";
    QTest::newRow("print 0") << launchctlCommand(Op::IsLoaded, 0, plist)
                             << "/bin/launchctl print|gui/0/com.ferlinq";
    QTest::newRow("bootstrap 0") << launchctlCommand(Op::Start, 0, plist)
                                 << "/bin/launchctl bootstrap|gui/0|" + plist;
    QTest::newRow("is-active") << systemctlCommand(Op::IsLoaded)
                               << "/usr/bin/systemctl --user|is-active|--quiet|com.ferlinq.service";
    QTest::newRow("start") << systemctlCommand(Op::Start)
                           << "/usr/bin/systemctl --user|start|com.ferlinq.service";
    QTest::newRow("stop") << systemctlCommand(Op::Stop)
                          << "/usr/bin/systemctl --user|stop|com.ferlinq.service";
}

void TestService::commandTables()
{
    QFETCH(ServiceCommand, command);
    QFETCH(QString, expected);
    QCOMPARE(command.program + u' ' + command.arguments.join(u'|'), expected);
}

void TestService::locations()
{
    QCOMPARE(LaunchAgentController::plistPath(),
             m_home2 + QStringLiteral("/Library/LaunchAgents/com.ferlinq.plist"));
    QCOMPARE(LaunchAgentController::serviceTarget(),
             QStringLiteral("gui/%1/com.ferlinq").arg(::getuid()));
    QCOMPARE(LaunchAgentController::logFolder(),
             m_home2 + QStringLiteral("/Library/Logs/com.ferlinq"));
    // Computed once: a later change of HOME does not move them.
    qputenv("HOME", "/elsewhere");
    QCOMPARE(LaunchAgentController::plistPath(),
             m_home2 + QStringLiteral("/Library/LaunchAgents/com.ferlinq.plist"));
    qputenv("HOME", QFile::encodeName(m_home2));
#ifdef Q_OS_MACOS
    QCOMPARE(LaunchAgentController::command(ServiceOperation::Start).arguments.last(),
             LaunchAgentController::plistPath());
#else
    QCOMPARE(LaunchAgentController::command(ServiceOperation::Start),
             systemctlCommand(ServiceOperation::Start));
#endif
}

void TestService::runsTheTool_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("loaded");
    QTest::newRow("loaded") << 0 << "isLoaded" << true;
    QTest::newRow("not loaded") << 3 << "isLoaded" << false;
    QTest::newRow("other failure") << 1 << "isLoaded" << false;
    QTest::newRow("start fails silently") << 5 << "start" << false;
    QTest::newRow("stop fails silently") << 5 << "stop" << false;
    QTest::newRow("start") << 0 << "start" << false;
}

void TestService::runsTheTool()
{
    QFETCH(int, exitCode);
    QFETCH(QString, operation);
    QFETCH(bool, loaded);
    QFile::remove(m_log);
    // The fake records each argument on its own line, then exits with the chosen status.
    const QString fake = test::writeScript(
        m_home.file(QStringLiteral("bin/fake-tool")),
        "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" + QFile::encodeName(m_log) +
            "'\necho noise; echo noise >&2\nexit " + QByteArray::number(exitCode) + "\n");
    LaunchAgentController::setProgramOverride(fake);
    ServiceOperation op = ServiceOperation::IsLoaded;
    if (operation == QStringLiteral("isLoaded")) {
        QCOMPARE(LaunchAgentController::isLoaded(), loaded);
    } else if (operation == QStringLiteral("start")) {
        op = ServiceOperation::Start;
        LaunchAgentController::start();
    } else {
        op = ServiceOperation::Stop;
        LaunchAgentController::stop();
    }
    LaunchAgentController::setProgramOverride({});
    QFile log(m_log);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QStringList recorded = QString::fromUtf8(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(recorded, LaunchAgentController::command(op).arguments);
}

void TestService::hangingToolIsKilled()
{
    const QString pidFile = m_home.file(QStringLiteral("hang.pid"));
    const QString fake =
        test::writeScript(m_home.file(QStringLiteral("bin/hang")),
                          "echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 60\n");
    LaunchAgentController::setProgramOverride(fake);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(LaunchAgentController::isLoaded(), false);
    LaunchAgentController::setProgramOverride({});
    QVERIFY(clock.elapsed() >= 9000 && clock.elapsed() < 13000);
    QFile f(pidFile);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const pid_t pid = f.readAll().trimmed().toInt();
    QTRY_VERIFY(::kill(pid, 0) != 0); // gone, not left behind
}

void TestService::missingToolReadsNotLoaded()
{
    LaunchAgentController::setProgramOverride(m_home.file(QStringLiteral("bin/no-such-tool")));
    QCOMPARE(LaunchAgentController::isLoaded(), false);
    LaunchAgentController::start();
    LaunchAgentController::stop();
    LaunchAgentController::setProgramOverride({});
}

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
