#include "config/projectconfig.h"
#include "config/reloadsignal.h"
#include "support/testhome.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

using namespace dorv;
using namespace dorv::test;

class TestReload : public QObject {
    Q_OBJECT
    TestHome m_home;

private Q_SLOTS:
    void parsePids_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<QList<qint32>>("pids");
        auto row = [](const char *name, const QByteArray &output, const QList<qint32> &pids) {
            QTest::newRow(name) << output << pids;
        };
        row("sign, blanks, zeros", "+42\n 43 \n\t44\u00a0\n007\n", {42, 43, 44, 7});
        row("never a group", "0\n-5\n-0\n-1", {});
        row("not numbers", "+\n++4\nabc\n12a\n0x10\n1 2\n\u0661", {});
        row("int32 range", "2147483647\n2147483648\n4294967297\n99999999999999999999",
            {2147483647});
        row("other breaks", "1\r\n2\v3\u20284", {1, 2, 3, 4});
        row("invalid utf-8 is empty", "123\n\xff\n456", {});
    }

    void parsePids()
    {
        QFETCH(QByteArray, output);
        QFETCH(QList<qint32>, pids);
        QCOMPARE(reload::parsePids(output), pids);
    }

    // Command lines that pgrep's pattern lists: only the interpreter running the bridge's
    // server.py is the bridge.
    void bridgeServer_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("bridge");
        const QString s = QStringLiteral("/h/src/chatwire-bridge/server.py");
        auto row = [](const char *name, const QString &command, bool bridge) {
            QTest::newRow(name) << command << bridge;
        };
        row("python3", "python3 " + s, true);
        row("python3.11 with options", "/usr/bin/python3.11 -u -X dev -Wignore " + s + " -v", true);
        row("a release folder", "python /opt/chatwire-bridge-2/app/server.py", true);
        row("tail", "tail -f " + s, false);
        row("a shell", "bash -c python3|" + s, false);
        row("python -c", "python3 -cprint(1) " + s, false);
        row("python -m", "python3 -Im pydoc " + s, false);
        row("another script first", "python3 /h/src/chatwire-bridge/lint.py " + s, false);
        row("another folder", "python3 /h/src/other/server.py.bak chatwire-bridge", false);
    }

    void bridgeServer()
    {
        QFETCH(QString, command);
        QTEST(reload::isBridgeServer(command.split(u' ').replaceInStrings("|", " ")), "bridge");
    }

    // Eight megabytes of zeros: never a signal to our own process group, and a bounded read.
    void chattyPgrep()
    {
        const QString pgrep = writeScript(m_home.file(QStringLiteral("bin/pgrep")),
                                          "printf '%s\\n' \"$@\" > \"$0.argv\"\n"
                                          "head -c 8000000 /dev/zero | tr '\\0' '0' | fold -w 7");
        reload::sendSIGHUP(pgrep);
        QCOMPARE(readFile(pgrep + QStringLiteral(".argv")),
                 QByteArray("-f\nchatwire-bridge.*server\\.py\n"));
    }

    // The real pgrep sees every process of the machine, so this runs in a PID namespace of its
    // own, where the only processes are this test's. All match pgrep's pattern; a SIGHUP makes
    // the bridge's stand-in record the list file as it is then, and the shell note it.
    void saveSignalsTheRealBridgeOnly()
    {
        if (!QFile::exists(reload::kPgrepProgram) || !QFile::exists("/usr/bin/python3"))
            QSKIP("no /usr/bin/pgrep or /usr/bin/python3 on this machine");
        if (!qEnvironmentVariableIsSet("DORV_PRIVATE_PIDS")) {
            const QStringList pids = {"--pid", "--fork", "--mount-proc"};
            const QStringList self = {"env", "DORV_PRIVATE_PIDS=1",
                                      QCoreApplication::applicationFilePath(),
                                      QTest::currentTestFunction()};
            for (const QStringList &args :
                 {QStringList{"--user", "--map-root-user"} + pids, pids}) {
                if (QProcess::execute("unshare", args + QStringList{"true"}) != 0)
                    continue;
                QCOMPARE(QProcess::execute("unshare", args + self), 0);
                return;
            }
            QSKIP("no private PID namespace can be made here: the real pgrep would reach "
                  "processes this test did not start");
        }
        const QString list = m_home.file(QStringLiteral("projects.yaml"));
        const QString server = m_home.file(QStringLiteral("src/chatwire-bridge/server.py"));
        QVERIFY(writeFile(server, "import signal, sys, time\n"
                                  "def hup(*_): open(sys.argv[2], 'ab').write(open(sys.argv[1], "
                                  "'rb').read())\n"
                                  "signal.signal(signal.SIGHUP, hup)\n"
                                  "open(sys.argv[2], 'ab').close()\n"
                                  "while True: time.sleep(1)\n"));
        auto log = [this](const char *name) { return m_home.file(QString::fromLatin1(name)); };
        const QList<QStringList> commands = {
            {"/usr/bin/python3", server, list, log("bridge")},
            {"/bin/sh", "-c", "trap 'echo hup >> $1' HUP; : > $1; while :; do sleep 1 & wait; done",
             server, log("shell")},
            {"/usr/bin/tail", "-f", server}};
        QList<QProcess *> started;
        for (const QStringList &command : commands) {
            started.append(new QProcess(this));
            started.last()->start(command[0], command.mid(1));
            QVERIFY(started.last()->waitForStarted());
            if (command.last() != server)
                QTRY_VERIFY(QFile::exists(command.last())); // its handler is in place
        }
        ProjectConfig config(list);
        config.addProject(QStringLiteral("a"), QStringLiteral("/a"));
        QCOMPARE(config.save(), ProjectConfig::SaveResult::Saved);
        QTRY_COMPARE(readFile(log("bridge")), QByteArray("default: a\nprojects:\n  a: /a\n"));
        QCOMPARE(readFile(log("shell")), QByteArray());
        for (QProcess *process : started) {
            QCOMPARE(process->state(), QProcess::Running); // tail was not hung up
            process->kill();
            process->waitForFinished();
        }
    }
};

QTEST_GUILESS_MAIN(TestReload)
#include "tst_reload.moc"
