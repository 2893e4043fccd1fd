#include "common/childprocess.h"
#include "service/launchagentcontroller.h"
#include "support/testhome.h"

#include <QElapsedTimer>
#include <QTest>

#include <csignal>

using namespace dorv;
using namespace dorv::test;

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
    // Both platforms' command tables, on every platform, as one piece of data each.
    void commandTables()
    {
        using Op = ServiceOperation;
        const QString plist = QStringLiteral("/Users/a b/Library/LaunchAgents/com.ferlinq.plist");
        auto table = [](auto command) {
            QStringList lines;
            for (Op op : {Op::IsLoaded, Op::Start, Op::Stop})
                lines << command(op).program + u'|' + command(op).arguments.join(u'|');
            return lines;
        };
        QCOMPARE(table([&](Op op) { return launchctlCommand(op, 501, plist); }),
                 QStringList({"/bin/launchctl|print|gui/501/com.ferlinq",
                              "/bin/launchctl|bootstrap|gui/501|" + plist,
                              "/bin/launchctl|bootout|gui/501/com.ferlinq"}));
        QCOMPARE(table(systemctlCommand),
                 QStringList({"/usr/bin/systemctl|--user|is-active|--quiet|com.ferlinq.service",
                              "/usr/bin/systemctl|--user|start|com.ferlinq.service",
                              "/usr/bin/systemctl|--user|stop|com.ferlinq.service"}));
    }

    // This platform's commands run as child processes, against a tool that records its
    // arguments, talks on both outputs and exits with the row's status.
    void runs_data()
    {
        QTest::addColumn<ServiceOperation>("op");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("loaded") << ServiceOperation::IsLoaded << 0;
        QTest::newRow("not loaded") << ServiceOperation::IsLoaded << 3;
        QTest::newRow("start") << ServiceOperation::Start << 0;
        QTest::newRow("stop fails") << ServiceOperation::Stop << 5;
    }

    void runs()
    {
        QFETCH(ServiceOperation, op);
        QFETCH(int, exitCode);
        const QString tool = writeRecordingTool(
            m_home.file(QStringLiteral("bin/tool-%1").arg(int(op) * 10 + exitCode)), exitCode);
        const LaunchAgentController service = runningInstead(tool);
        if (op == ServiceOperation::IsLoaded)
            QCOMPARE(service.isLoaded(), exitCode == 0);
        else
            op == ServiceOperation::Start ? service.start() : service.stop();
        QCOMPARE(recordedArguments(tool), LaunchAgentController::command(op).arguments);
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
