#include "projectconfig.h"
#include "reloadsignal.h"
#include "testhome.h"

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
        using L = QList<qint32>;
        QTest::newRow("in order, no final break") << QByteArray("456\n123") << L{456, 123};
        QTest::newRow("sign, blanks, zeros")
            << QByteArray("+42\n 43 \n\t44\xc2\xa0\n007\n") << L{42, 43, 44, 7};
        QTest::newRow("never a group") << QByteArray("0\n-5\n-0\n-1") << L{};
        QTest::newRow("not numbers") << QByteArray("+\n++4\nabc\n12a\n0x10\n1 2\n\xd9\xa1") << L{};
        QTest::newRow("int32 range")
            << QByteArray("2147483647\n2147483648\n4294967297\n99999999999999999999")
            << L{2147483647};
        QTest::newRow("other breaks") << QByteArray("1\r\n2\x0b"
                                                    "3\xe2\x80\xa8"
                                                    "4")
                                      << L{1, 2, 3, 4};
        QTest::newRow("invalid utf-8 is empty") << QByteArray("123\n\xff\n456") << L{};
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
        reload::setPgrepOverride(pgrep);
        QElapsedTimer clock;
        clock.start();
        reload::sendSIGHUP();
        reload::setPgrepOverride({});
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(readFile(pgrep + QStringLiteral(".argv")),
                 QByteArray("-f\nchatwire-bridge.*server\\.py\n"));
    }

    // The real pgrep sees every process of the machine, so this runs in a PID namespace of its
    // own, where the only processes are this test's.
    void saveSignalsTheRealBridgeOnly()
    {
        if (!qEnvironmentVariableIsSet("DORV_PRIVATE_PIDS")) {
            const QStringList pidNamespace = {"--pid", "--fork", "--mount-proc"};
            for (const QStringList &user : {QStringList{"--user", "--map-root-user"}, {}}) {
                if (QProcess::execute(QStringLiteral("unshare"),
                                      user + pidNamespace + QStringList{"true"}))
                    continue;
                QProcess inner;
                QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                env.insert(QStringLiteral("DORV_PRIVATE_PIDS"), QStringLiteral("1"));
                inner.setProcessEnvironment(env);
                inner.setProcessChannelMode(QProcess::MergedChannels);
                inner.start(QStringLiteral("unshare"),
                            user + pidNamespace +
                                QStringList{QCoreApplication::applicationFilePath(),
                                            QTest::currentTestFunction()});
                QVERIFY(inner.waitForFinished(60000));
                const QByteArray output = inner.readAll();
                QVERIFY2(inner.exitCode() == 0, output.constData());
                if (output.contains("SKIP"))
                    QSKIP(output.constData());
                return;
            }
            QSKIP("no private PID namespace can be made here: the real pgrep would reach "
                  "processes this test did not start");
        }
        if (!QFile::exists(reload::kPgrepProgram))
            QSKIP("no /usr/bin/pgrep on this machine");
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
        QVERIFY(config.save());
        QTRY_COMPARE(readFile(bridgeLog), QByteArray("hup\n"));
        // A failed write still signals the bridge.
        config.addProject(QStringLiteral("b:c"), QStringLiteral("/b"));
        QVERIFY(!config.save());
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
