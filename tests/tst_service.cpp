#include "service/launchagentcontroller.h"
#include "support/testhome.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace dorv;
using namespace dorv::test;

Q_DECLARE_METATYPE(ServiceOperation)

class TestService : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_tools = 0;

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

    // This platform's commands, run as bounded child processes of a stand-in tool that records
    // its arguments: what the switch reads, and the one line the log gets. The limit is 5 s,
    // 200 ms for the tool that hangs.
    void runs_data()
    {
        QTest::addColumn<ServiceOperation>("op");
        QTest::addColumn<QByteArray>("tool"); // empty: there is no such program
        QTest::addColumn<bool>("loaded");
        QTest::addColumn<QString>("logged"); // empty: no warning
        const QString line = QStringLiteral("^\\S+/tool-\\d+ --user %1 com.ferlinq.service ");
        const QString query = line.arg(QStringLiteral("is-active --quiet"));
        QTest::newRow("loaded") << ServiceOperation::IsLoaded << QByteArray("exit 0") << true
                                << QString();
        QTest::newRow("not loaded")
            << ServiceOperation::IsLoaded << QByteArray("exit 3") << false << QString();
        QTest::newRow("stop") << ServiceOperation::Stop << QByteArray("echo done; exit 0") << false
                              << QString();
        QTest::newRow("start fails and says why")
            << ServiceOperation::Start
            << QByteArray("printf '\\nUnit com.ferlinq.service not found.\\nHint\\nmore\\n' >&2;"
                          "exit 5")
            << false
            << line.arg(QStringLiteral("start")) +
                   "failed with exit status 5: Unit com.ferlinq.service not found. / Hint$";
        QTest::newRow("floods its error output")
            << ServiceOperation::Stop
            << QByteArray("yes x | head -c 99999 | tr -d '\\n' >&2; exit 1") << false
            << line.arg(QStringLiteral("stop")) + "failed with exit status 1: x{1,1024}$";
        QTest::newRow("missing") << ServiceOperation::IsLoaded << QByteArray() << false
                                 << query + "could not be started$";
        QTest::newRow("hangs") << ServiceOperation::IsLoaded << QByteArray("exec sleep 60") << false
                               << query + "did not finish in 200 ms and was stopped$";
    }

    void runs()
    {
        QFETCH(ServiceOperation, op);
        QFETCH(QByteArray, tool);
        QFETCH(bool, loaded);
        QFETCH(QString, logged);
        const QString path = m_dir.filePath(QStringLiteral("tool-%1").arg(++m_tools));
        if (!tool.isEmpty())
            writeScript(path, "printf '%s\\n' \"$@\" > \"$0.argv\"; echo $$ > \"$0.pid\"\n" + tool);
        if (!logged.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(logged));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        const int limitMs = QTest::currentDataTag() == QByteArrayView("hangs") ? 200 : 5000;
        const LaunchAgentController service(QStringLiteral("/nowhere.plist"), limitMs, path);
        QElapsedTimer clock;
        clock.start();
        if (op == ServiceOperation::IsLoaded)
            QCOMPARE(service.isLoaded(), loaded);
        else
            op == ServiceOperation::Start ? service.start() : service.stop();
        QVERIFY(clock.elapsed() < limitMs + 1000);
        if (tool.isEmpty())
            return;
        QCOMPARE(recordedArguments(path), service.command(op).arguments);
        const pid_t pid = readFile(path + QStringLiteral(".pid")).trimmed().toInt();
        QTRY_VERIFY(pid > 0 && ::kill(pid, 0) != 0); // our own child is gone, not left behind
    }
};

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
