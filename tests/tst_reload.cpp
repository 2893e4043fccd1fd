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
        row("in order, no final break", "456\n123", {456, 123});
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

    // Eight megabytes of zeros: never a signal to our own process group, and a bounded read.
    void chattyPgrep()
    {
        const QString pgrep = writeScript(m_home.file(QStringLiteral("bin/pgrep")),
                                          "printf '%s\\n' \"$@\" > \"$0.argv\"\n"
                                          "head -c 8000000 /dev/zero | tr '\\0' '0' | fold -w 7");
        QElapsedTimer clock;
        clock.start();
        reload::sendSIGHUP(pgrep);
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(readFile(pgrep + QStringLiteral(".argv")),
                 QByteArray("-f\nchatwire-bridge.*server\\.py\n"));
    }

    // The real pgrep sees every process of the machine, so this runs in a PID namespace of its
    // own, where the only processes are this test's.
    void saveSignalsTheRealBridgeOnly()
    {
        if (!QFile::exists(reload::kPgrepProgram))
            QSKIP("no /usr/bin/pgrep on this machine");
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
        // Shells that record SIGHUP in a file; only the first one's command line is the bridge's.
        QList<QProcess *> listeners;
        for (const char *name : {"x/chatwire-bridge/server.py", "x/other-bridge/server.py"}) {
            const QString script = writeScript(m_home.file(QString::fromLatin1(name)),
                                               "trap 'echo hup >> \"$0.log\"' HUP\n"
                                               "touch \"$0.ready\"\n"
                                               "while :; do sleep 1 & wait; done\n");
            listeners.append(new QProcess(this));
            listeners.last()->start(script);
            QTRY_VERIFY(QFile::exists(script + QStringLiteral(".ready")));
        }
        const QString bridgeLog = m_home.file(QStringLiteral("x/chatwire-bridge/server.py.log"));
        ProjectConfig config;
        config.addProject(QStringLiteral("a"), QStringLiteral("/a"));
        QCOMPARE(config.save(), ProjectConfig::SaveResult::Saved);
        QTRY_COMPARE(readFile(bridgeLog), QByteArray("hup\n"));
        // A failed write still signals the bridge.
        config.addProject(QStringLiteral("b:c"), QStringLiteral("/b"));
        QCOMPARE(config.save(), ProjectConfig::SaveResult::Failed);
        QTRY_COMPARE(readFile(bridgeLog), QByteArray("hup\nhup\n"));
        QCOMPARE(readFile(m_home.file(QStringLiteral("x/other-bridge/server.py.log"))), "");
        for (QProcess *p : listeners) {
            p->kill();
            p->waitForFinished();
        }
    }
};

QTEST_GUILESS_MAIN(TestReload)
#include "tst_reload.moc"
