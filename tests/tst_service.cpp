#include "launchagentcontroller.h"
#include "testhome.h"

#include <QElapsedTimer>
#include <QTest>

#include <csignal>
#include <unistd.h>

using namespace dorv;
using namespace dorv::test;

Q_DECLARE_METATYPE(ServiceCommand)
Q_DECLARE_METATYPE(ServiceOperation)

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
// This platform's rows also run, against a fake tool that records its arguments and exits
// with the row's status.
void TestService::commands_data()
{
    QTest::addColumn<ServiceOperation>("op");
    QTest::addColumn<ServiceCommand>("command");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("exitCode");
    const QString plist = QStringLiteral("/Users/a b/Library/LaunchAgents/com.ferlinq.plist");
    const QString systemctl = QStringLiteral("/usr/bin/systemctl --user|");
    const QString unit = QStringLiteral("|com.ferlinq.service");
    using Op = ServiceOperation;
    auto launchctl = [&](const char *name, Op op, uint uid, const QString &expected) {
        QTest::newRow(name) << op << launchctlCommand(op, uid, plist)
                            << "/bin/launchctl " + expected << 0;
    };
    launchctl("print 501", Op::IsLoaded, 501, "print|gui/501/com.ferlinq");
    launchctl("bootstrap 501", Op::Start, 501, "bootstrap|gui/501|" + plist);
    launchctl("bootout 501", Op::Stop, 501, "bootout|gui/501/com.ferlinq");
    launchctl("print 0", Op::IsLoaded, 0, "print|gui/0/com.ferlinq");
    launchctl("bootstrap 0", Op::Start, 0, "bootstrap|gui/0|" + plist);
    auto row = [&](const char *name, Op op, const QString &expected, int exitCode) {
        QTest::newRow(name) << op << systemctlCommand(op) << systemctl + expected + unit
                            << exitCode;
    };
    row("is-active", Op::IsLoaded, "is-active|--quiet", 0);
    row("is-active, not loaded", Op::IsLoaded, "is-active|--quiet", 3);
    row("start", Op::Start, "start", 0);
    row("start fails silently", Op::Start, "start", 5);
    row("stop", Op::Stop, "stop", 0);
}

void TestService::commands()
{
    QFETCH(ServiceOperation, op);
    QFETCH(ServiceCommand, command);
    QFETCH(QString, expected);
    QFETCH(int, exitCode);
    QCOMPARE(command.program + u' ' + command.arguments.join(u'|'), expected);
    if (command.program != LaunchAgentController::command(op).program)
        return; // the other platform's table
    const QString log = m_home.file(QStringLiteral("argv.log"));
    QFile::remove(log);
    LaunchAgentController::setProgramOverride(
        writeFakeTool(m_home.file(QStringLiteral("bin/tool")), log,
                      "echo noise; echo noise >&2; exit " + QByteArray::number(exitCode)));
    if (op == ServiceOperation::IsLoaded)
        QCOMPARE(LaunchAgentController::isLoaded(), exitCode == 0);
    else
        op == ServiceOperation::Start ? LaunchAgentController::start()
                                      : LaunchAgentController::stop();
    LaunchAgentController::setProgramOverride({});
    QCOMPARE(QString::fromUtf8(readFile(log)).split(u'\n', Qt::SkipEmptyParts),
             expected.section(u' ', 1).split(u'|'));
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
