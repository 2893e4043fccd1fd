#include "launchagentcontroller.h"
#include "testhome.h"

#include <QElapsedTimer>
#include <QTest>

#include <csignal>
#include <unistd.h>

using namespace dorv;
using namespace dorv::test;

Q_DECLARE_METATYPE(ServiceCommand)

class TestService : public QObject {
    Q_OBJECT
    TestHome m_home;

private Q_SLOTS:
    void commands_data();
    void commands();
    void hangingToolIsKilled();
    void missingToolReadsNotLoaded();
};

// Both platforms' tables, on every platform: the exact program and arguments (one per "|").
// This platform's rows are also run, against a fake tool that records its arguments.
void TestService::commands_data()
{
    QTest::addColumn<ServiceCommand>("command");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("exitCode");
    const QString plist = QStringLiteral("/Users/a b/Library/LaunchAgents/com.ferlinq.plist");
    using Op = ServiceOperation;
    auto row = [](const char *name, const ServiceCommand &c, const QString &expected,
                  int exitCode = 0) { QTest::newRow(name) << c << expected << exitCode; };
    row("print 501", launchctlCommand(Op::IsLoaded, 501, plist),
        "/bin/launchctl print|gui/501/com.ferlinq");
    row("bootstrap 501", launchctlCommand(Op::Start, 501, plist),
        "/bin/launchctl bootstrap|gui/501|" + plist);
    row("bootout 501", launchctlCommand(Op::Stop, 501, plist),
        "/bin/launchctl bootout|gui/501/com.ferlinq");
    row("print 0", launchctlCommand(Op::IsLoaded, 0, plist),
        "/bin/launchctl print|gui/0/com.ferlinq");
    row("bootstrap 0", launchctlCommand(Op::Start, 0, plist),
        "/bin/launchctl bootstrap|gui/0|" + plist);
    const QString unit = QStringLiteral("|com.ferlinq.service");
    row("is-active", systemctlCommand(Op::IsLoaded),
        "/usr/bin/systemctl --user|is-active|--quiet" + unit);
    row("is-active, not loaded", systemctlCommand(Op::IsLoaded),
        "/usr/bin/systemctl --user|is-active|--quiet" + unit, 3);
    row("start", systemctlCommand(Op::Start), "/usr/bin/systemctl --user|start" + unit);
    row("start fails silently", systemctlCommand(Op::Start),
        "/usr/bin/systemctl --user|start" + unit, 5);
    row("stop", systemctlCommand(Op::Stop), "/usr/bin/systemctl --user|stop" + unit);
}

void TestService::commands()
{
    QFETCH(ServiceCommand, command);
    QFETCH(QString, expected);
    QFETCH(int, exitCode);
    QCOMPARE(command.program + u' ' + command.arguments.join(u'|'), expected);
    const QStringList expectedArgs = expected.section(u' ', 1).split(u'|');
    const QString verb =
        expectedArgs.value(expectedArgs.size() > 2 && expectedArgs[0] == "--user" ? 1 : 0);
    if (command.program != LaunchAgentController::command(ServiceOperation::Stop).program)
        return; // the other platform's table
    const QString log = m_home.file(QStringLiteral("argv.log"));
    QFile::remove(log);
    LaunchAgentController::setProgramOverride(
        writeFakeTool(m_home.file(QStringLiteral("bin/tool")), log,
                      "echo noise; echo noise >&2; exit " + QByteArray::number(exitCode)));
    if (verb == QStringLiteral("print") || verb == QStringLiteral("is-active"))
        QCOMPARE(LaunchAgentController::isLoaded(), exitCode == 0);
    else if (verb == QStringLiteral("bootout") || verb == QStringLiteral("stop"))
        LaunchAgentController::stop();
    else
        LaunchAgentController::start();
    LaunchAgentController::setProgramOverride({});
    QCOMPARE(QString::fromUtf8(readFile(log)).split(u'\n', Qt::SkipEmptyParts), expectedArgs);
}

void TestService::hangingToolIsKilled()
{
    const QString pidFile = m_home.file(QStringLiteral("hang.pid"));
    LaunchAgentController::setProgramOverride(
        writeScript(m_home.file(QStringLiteral("bin/hang")),
                    "echo $$ > '" + QFile::encodeName(pidFile) + "'\nexec sleep 60\n"));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(LaunchAgentController::isLoaded(), false);
    LaunchAgentController::setProgramOverride({});
    QVERIFY(clock.elapsed() >= 9000 && clock.elapsed() < 13000);
    const pid_t pid = readFile(pidFile).trimmed().toInt();
    QVERIFY(pid > 0);
    QTRY_VERIFY(::kill(pid, 0) != 0); // our own child is gone, not left behind
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
