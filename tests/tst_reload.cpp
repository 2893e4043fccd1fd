#include "projectconfig.h"
#include "reloadsignal.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

using namespace dorv;
using dorv::test::TestHome;

namespace {
// A Python process that records SIGHUP in a file; it says when its handler is in place.
const QByteArray kHupScript = R"(import signal, sys, time
marker = sys.argv[1]
def hup(*_):
    open(marker, "a").write("hup\n")
signal.signal(signal.SIGHUP, hup)
open(marker + ".ready", "w").write("ready")
time.sleep(60)
)";

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

class TestReload : public QObject {
    Q_OBJECT
    TestHome m_home;

    QProcess *startListener(const QString &scriptPath, const QString &marker);

private Q_SLOTS:
    void parsePids_data();
    void parsePids();
    void signalsWhatPgrepPrints();
    void saveSignalsTheRealBridgeOnly();
};

void TestReload::parsePids_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QList<qint32>>("pids");
    auto row = [](const char *name, const QByteArray &output, const QList<qint32> &pids) {
        QTest::newRow(name) << output << pids;
    };
    using L = QList<qint32>;
    row("two lines in order", QByteArray("123\n456\n"), L{123, 456});
    row("no final break", QByteArray("456\n123"), L{456, 123});
    row("plus sign", QByteArray("+42"), L{42});
    row("blanks around", QByteArray(" 42 "), L{42});
    row("tab and nbsp around", QByteArray("\t42\xc2\xa0"), L{42});
    row("leading zeros", QByteArray("007"), L{7});
    row("zero", QByteArray("0"), L{});
    row("negative", QByteArray("-5"), L{});
    row("minus zero", QByteArray("-0"), L{});
    row("lone plus", QByteArray("+"), L{});
    row("double sign", QByteArray("++4"), L{});
    row("int32 max", QByteArray("2147483647"), L{2147483647});
    row("overflow", QByteArray("2147483648"), L{});
    row("huge", QByteArray("99999999999999999999999"), L{});
    row("letters", QByteArray("abc\n12a\n0x10"), L{});
    row("inner blank", QByteArray("1 2"), L{});
    row("arabic-indic digits", QByteArray("\xd9\xa1\xd9\xa2"), L{});
    row("mixed", QByteArray("abc\n0\n-5\n+\n2147483648\n+42\n 7 \n"), L{42, 7});
    row("CRLF and other breaks",
        QByteArray("1\r\n2\x0b"
                   "3\xe2\x80\xa8"
                   "4"),
        L{1, 2, 3, 4});
    row("empty", QByteArray(), L{});
    row("invalid utf-8 is empty", QByteArray("123\n\xff\n456"), L{});
}

void TestReload::parsePids()
{
    QFETCH(QByteArray, output);
    QFETCH(QList<qint32>, pids);
    QCOMPARE(reload::parsePids(output), pids);
}

QProcess *TestReload::startListener(const QString &scriptPath, const QString &marker)
{
    test::writeScript(scriptPath, "");
    QFile script(scriptPath);
    if (!script.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return nullptr;
    script.write(kHupScript);
    script.close();
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

void TestReload::signalsWhatPgrepPrints()
{
    const QString marker = m_home.file(QStringLiteral("listener.log"));
    QProcess *listener = startListener(m_home.file(QStringLiteral("listener.py")), marker);
    QVERIFY(listener);
    // Zero or a negative number would signal this very test's process group.
    const QString argv = m_home.file(QStringLiteral("pgrep.argv"));
    const QString fake = test::writeScript(
        m_home.file(QStringLiteral("bin/pgrep")),
        "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + QFile::encodeName(argv) +
            "'\nprintf '0\\n-5\\n+\\nabc\\n 2147483648\\n " +
            QByteArray::number(listener->processId()) + " \\n'\nexit 0\n");
    reload::setPgrepOverride(fake);
    reload::sendSIGHUP();
    reload::setPgrepOverride({});
    QTRY_COMPARE(readFile(marker), QByteArray("hup\n"));
    QCOMPARE(readFile(argv), QByteArray("-f\nchatwire-bridge.*server\\.py\n"));
    QCOMPARE(reload::kPattern.size(), 27);
    listener->kill();
    listener->waitForFinished();
}

void TestReload::saveSignalsTheRealBridgeOnly()
{
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
    QTest::qWait(200);
    QCOMPARE(readFile(otherMarker), QByteArray());

    // A failed write still signals the bridge.
    config.addProject(QStringLiteral("b:c"), QStringLiteral("/b"));
    QVERIFY(!config.save());
    QTRY_COMPARE(readFile(bridgeMarker), QByteArray("hup\nhup\n"));
    for (QProcess *p : {bridge, other}) {
        p->kill();
        p->waitForFinished();
    }
}

QTEST_GUILESS_MAIN(TestReload)
#include "tst_reload.moc"
