#include "projectconfig.h"
#include "reloadsignal.h"
#include "testhome.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

using namespace dorv;
using namespace dorv::test;

namespace {
// A Python process that records SIGHUP in a file; it says when its handler is in place.
const QByteArray kHupScript = R"(import signal, sys, time
marker = sys.argv[1]
signal.signal(signal.SIGHUP, lambda *_: open(marker, "a").write("hup\n"))
open(marker + ".ready", "w").write("ready")
time.sleep(60)
)";
} // namespace

class TestReload : public QObject {
    Q_OBJECT
    TestHome m_home;

    QProcess *startListener(const QString &scriptPath, const QString &marker);

private Q_SLOTS:
    void parsePids_data();
    void parsePids();
    void chattyPgrep();
    void saveSignalsTheRealBridgeOnly();
};

void TestReload::parsePids_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QList<qint32>>("pids");
    using L = QList<qint32>;
    QTest::newRow("two lines in order") << QByteArray("123\n456\n") << L{123, 456};
    QTest::newRow("no final break") << QByteArray("456\n123") << L{456, 123};
    QTest::newRow("sign, blanks, zeros")
        << QByteArray("+42\n 43 \n\t44\xc2\xa0\n007") << L{42, 43, 44, 7};
    QTest::newRow("never a group") << QByteArray("0\n-5\n-0\n-1") << L{};
    QTest::newRow("not numbers") << QByteArray("+\n++4\nabc\n12a\n0x10\n1 2\n\xd9\xa1") << L{};
    QTest::newRow("int32 max") << QByteArray("2147483647") << L{2147483647};
    QTest::newRow("overflow") << QByteArray("2147483648\n4294967297\n99999999999999999999") << L{};
    QTest::newRow("other breaks") << QByteArray("1\r\n2\x0b"
                                                "3\xe2\x80\xa8"
                                                "4")
                                  << L{1, 2, 3, 4};
    QTest::newRow("invalid utf-8 is empty") << QByteArray("123\n\xff\n456") << L{};
}

void TestReload::parsePids()
{
    QFETCH(QByteArray, output);
    QFETCH(QList<qint32>, pids);
    QCOMPARE(reload::parsePids(output), pids);
}

void TestReload::chattyPgrep()
{
    // Eight megabytes of zeros: never a signal to our own process group, and a bounded read.
    const QString log = m_home.file(QStringLiteral("pgrep.argv"));
    reload::setPgrepOverride(writeFakeTool(m_home.file(QStringLiteral("bin/pgrep")), log,
                                           "head -c 8000000 /dev/zero | tr '\\0' '0' | fold -w 7"));
    QElapsedTimer clock;
    clock.start();
    reload::sendSIGHUP();
    reload::setPgrepOverride({});
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(readFile(log), QByteArray("-f\nchatwire-bridge.*server\\.py\n"));
}

QProcess *TestReload::startListener(const QString &scriptPath, const QString &marker)
{
    if (!writeFile(scriptPath, kHupScript))
        return nullptr;
    auto *process = new QProcess(this);
    process->start(QStringLiteral("python3"), {scriptPath, marker});
    if (!process->waitForStarted())
        return nullptr;
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(marker + QStringLiteral(".ready")) && clock.elapsed() < 10000)
        QTest::qWait(20);
    return process;
}

// The real pgrep sees every process of the machine, so this runs in a PID namespace of its
// own, where the only processes are this test's.
void TestReload::saveSignalsTheRealBridgeOnly()
{
    if (!qEnvironmentVariableIsSet("DORV_PRIVATE_PIDS")) {
        const QStringList pidNamespace = {"--pid", "--fork", "--mount-proc"};
        for (const QStringList &user : {QStringList{"--user", "--map-root-user"}, QStringList{}}) {
            if (QProcess::execute(QStringLiteral("unshare"),
                                  user + pidNamespace + QStringList{"true"}) != 0)
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
        QSKIP("no private PID namespace can be made here: the real pgrep would reach processes "
              "this test did not start");
    }
    if (!QFile::exists(reload::kPgrepProgram))
        QSKIP("no /usr/bin/pgrep on this machine");
    const QString bridgeMarker = m_home.file(QStringLiteral("bridge.log"));
    const QString otherMarker = m_home.file(QStringLiteral("other.log"));
    QProcess *bridge =
        startListener(m_home.file(QStringLiteral("x/chatwire-bridge/server.py")), bridgeMarker);
    QProcess *other =
        startListener(m_home.file(QStringLiteral("x/other-bridge/server.py")), otherMarker);
    QVERIFY(bridge && other);

    ProjectConfig config;
    config.addProject(QStringLiteral("a"), QStringLiteral("/a"));
    QVERIFY(config.save());
    QTRY_COMPARE(readFile(bridgeMarker), QByteArray("hup\n"));
    // A failed write still signals the bridge.
    config.addProject(QStringLiteral("b:c"), QStringLiteral("/b"));
    QVERIFY(!config.save());
    QTRY_COMPARE(readFile(bridgeMarker), QByteArray("hup\nhup\n"));
    QCOMPARE(readFile(otherMarker), QByteArray());
    for (QProcess *p : {bridge, other}) {
        p->kill();
        p->waitForFinished();
    }
}

QTEST_GUILESS_MAIN(TestReload)
#include "tst_reload.moc"
