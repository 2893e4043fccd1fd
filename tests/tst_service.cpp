#include "common/childprocess.h"
#include "service/launchagentcontroller.h"
#include "support/testhome.h"

#include <QElapsedTimer>
#include <QTest>

#include <csignal>

using namespace dorv;
using namespace dorv::test;

Q_DECLARE_METATYPE(ServiceCommand)
Q_DECLARE_METATYPE(ServiceOperation)

class TestService : public QObject {
    Q_OBJECT
    TestHome m_home;

    // The platform's commands, run as child processes of `program` instead of the real tool.
    static LaunchAgentController runningInstead(const QString &program)
    {
        return LaunchAgentController([program](const ServiceCommand &command) {
            const ChildResult result = runChild(program, command.arguments);
            return result.finished ? result.exitCode : -1;
        });
    }

private Q_SLOTS:
    // Both platforms' tables, on every platform: the exact program and arguments (one per "|").
    // This platform's rows also run, against a fake tool that records its arguments and exits
    // with the row's status.
    void commands_data()
    {
        QTest::addColumn<ServiceOperation>("op");
        QTest::addColumn<ServiceCommand>("command");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("exitCode");
        const QString plist = QStringLiteral("/Users/a b/Library/LaunchAgents/com.ferlinq.plist");
        using Op = ServiceOperation;
        auto launchctl = [&](const char *name, Op op, const QString &expected) {
            QTest::newRow(name) << op << launchctlCommand(op, 501, plist)
                                << "/bin/launchctl " + expected << 0;
        };
        launchctl("print", Op::IsLoaded, "print|gui/501/com.ferlinq");
        launchctl("bootstrap", Op::Start, "bootstrap|gui/501|" + plist);
        launchctl("bootout", Op::Stop, "bootout|gui/501/com.ferlinq");
        auto systemctl = [&](const char *name, Op op, const QString &expected, int exitCode = 0) {
            QTest::newRow(name) << op << systemctlCommand(op)
                                << "/usr/bin/systemctl --user|" + expected + "|com.ferlinq.service"
                                << exitCode;
        };
        systemctl("is-active", Op::IsLoaded, "is-active|--quiet");
        systemctl("is-active, not loaded", Op::IsLoaded, "is-active|--quiet", 3);
        systemctl("start", Op::Start, "start");
        systemctl("stop", Op::Stop, "stop");
    }

    void commands()
    {
        QFETCH(ServiceOperation, op);
        QFETCH(ServiceCommand, command);
        QFETCH(QString, expected);
        QFETCH(int, exitCode);
        QCOMPARE(command.program + u' ' + command.arguments.join(u'|'), expected);
        if (command.program != LaunchAgentController::command(op).program)
            return; // the other platform's table
        const QString tool = writeScript(m_home.file(QStringLiteral("bin/tool")),
                                         "printf '%s\\n' \"$@\" > \"$0.argv\"\n"
                                         "echo noise; echo noise >&2; exit " +
                                             QByteArray::number(exitCode));
        const LaunchAgentController service = runningInstead(tool);
        if (op == ServiceOperation::IsLoaded)
            QCOMPARE(service.isLoaded(), exitCode == 0);
        else
            op == ServiceOperation::Start ? service.start() : service.stop();
        QCOMPARE(QString::fromUtf8(readFile(tool + QStringLiteral(".argv")))
                     .split(u'\n', Qt::SkipEmptyParts),
                 expected.section(u' ', 1).split(u'|'));
    }

    // A tool that never ends is killed after 10 s and reads as not loaded.
    void brokenTools()
    {
        const QString tool = writeScript(m_home.file(QStringLiteral("bin/hang")),
                                         "echo $$ > \"$0.pid\"\nexec sleep 60\n");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(runningInstead(tool).isLoaded(), false);
        QVERIFY(clock.elapsed() >= 9000 && clock.elapsed() < 13000);
        const pid_t pid = readFile(tool + QStringLiteral(".pid")).trimmed().toInt();
        QVERIFY(pid > 0);
        QTRY_VERIFY(::kill(pid, 0) != 0); // our own child is gone, not left behind
        // A tool that is not there reads as not loaded, and starting or stopping does nothing.
        const LaunchAgentController missing =
            runningInstead(m_home.file(QStringLiteral("bin/no-such-tool")));
        QCOMPARE(missing.isLoaded(), false);
        missing.start();
        missing.stop();
    }
};

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
