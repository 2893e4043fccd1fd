#include "projectconfig.h"
#include "projectlistformat.h"
#include "reloadsignal.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace dorv;
using dorv::test::TestHome;

namespace {
QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
QString flags(const ProjectConfig &c)
{
    QString s;
    for (const ProjectEntry &e : c.projects())
        s += e.alias + (e.isDefault ? QStringLiteral("* ") : QStringLiteral(" "));
    return s.trimmed();
}
} // namespace

class TestProjectConfig : public QObject {
    Q_OBJECT
    TestHome m_home; // before the first use of configPath
    QString m_path;

private Q_SLOTS:
    void initTestCase();
    void init();
    void loadKeepsListWhenUnreadable_data();
    void loadKeepsListWhenUnreadable();
    void loadNotifiesOnce();
    void saveCreatesFolderAndWrites();
    void saveRefusesUnreadableList();
    void failedWriteKeepsOldFile();
    void permissionsAndSymlinkSurvive();
    void killedWhileSavingNeverLeavesPartialFile();
    void edits_data();
    void edits();
    void setDefaultNotifiesPerEntry();
};

void TestProjectConfig::initTestCase()
{
    m_path = ProjectConfig::configPath();
    QCOMPARE(m_path, m_home.file(QStringLiteral(".marvek/chatwire-projects.yaml")));
    reload::setPgrepOverride(QStringLiteral("/bin/true"));
}

void TestProjectConfig::init()
{
    QFile::remove(m_path);
    QDir(m_home.file(QStringLiteral(".marvek"))).removeRecursively();
    QFile::remove(m_home.file(QStringLiteral(".marvek")));
}

void TestProjectConfig::loadKeepsListWhenUnreadable_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("invalid utf-8") << QByteArray("projects:\n  b: /\xff\xfe\n");
    QTest::newRow("a folder") << QByteArray("<dir>");
}

void TestProjectConfig::loadKeepsListWhenUnreadable()
{
    QFETCH(QByteArray, content);
    if (content == "<dir>")
        QVERIFY(QDir().mkpath(m_path));
    else if (!content.isEmpty())
        writeFile(m_path, content);
    ProjectConfig config;
    config.addProject(QStringLiteral("kept"), QStringLiteral("/k"));
    QSignalSpy spy(&config, &ProjectConfig::changed);
    config.load();
    QCOMPARE(spy.count(), 0);
    QCOMPARE(flags(config), QStringLiteral("kept*"));
    QDir(m_path).removeRecursively();
}

void TestProjectConfig::loadNotifiesOnce()
{
    writeFile(m_path, "default: b\nprojects:\n  a: /a\n  b: /b\n");
    ProjectConfig config;
    QSignalSpy spy(&config, &ProjectConfig::changed);
    config.load();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(flags(config), QStringLiteral("a b*"));
    config.load(); // same content still replaces the list, with new ids
    QCOMPARE(spy.count(), 2);
}

void TestProjectConfig::saveCreatesFolderAndWrites()
{
    QVERIFY(!QFileInfo::exists(m_home.file(QStringLiteral(".marvek"))));
    ProjectConfig config;
    config.addProject(QStringLiteral("web"), QStringLiteral("/srv/web"));
    config.addProject(QStringLiteral("api"), QStringLiteral("/srv/api"));
    QString why;
    QVERIFY2(config.save(&why), qPrintable(why));
    QCOMPARE(readFile(m_path),
             QByteArray("default: web\nprojects:\n  web: /srv/web\n  api: /srv/api\n"));
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(m_home.file(QStringLiteral(".marvek"))).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0700u);
}

void TestProjectConfig::saveRefusesUnreadableList()
{
    writeFile(m_path, "old\n");
    ProjectConfig config;
    config.addProject(QStringLiteral("a:b"), QStringLiteral("/p"));
    QString why;
    QVERIFY(!config.save(&why));
    QVERIFY(why.contains(QStringLiteral("colon")));
    QCOMPARE(readFile(m_path), QByteArray("old\n"));
    QCOMPARE(config.projects().size(), 1); // the edits stay
}

void TestProjectConfig::failedWriteKeepsOldFile()
{
    writeFile(m_path, "default: old\nprojects:\n  old: /old\n");
    ProjectConfig config;
    config.load();
    for (int i = 0; i < 50; ++i)
        config.addProject(QStringLiteral("p%1").arg(i),
                          QStringLiteral("/some/long/path/%1").arg(i));

    // A file size limit makes the write fail the way a full disk does, even for root.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = 64;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    QString why;
    const bool saved = config.save(&why);
    ::setrlimit(RLIMIT_FSIZE, &old);
    QVERIFY(!saved);
    QVERIFY(!why.isEmpty());
    QCOMPARE(readFile(m_path), QByteArray("default: old\nprojects:\n  old: /old\n"));
    QCOMPARE(config.projects().size(), 51);
    QCOMPARE(QDir(m_home.file(QStringLiteral(".marvek"))).entryList(QDir::Files).size(), 1);

    // A read-only folder, where permissions bind (not for root).
    if (::geteuid() != 0) {
        QFile::setPermissions(m_home.file(QStringLiteral(".marvek")),
                              QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        QVERIFY(!config.save(&why));
        QFile::setPermissions(m_home.file(QStringLiteral(".marvek")), QFileDevice::ReadOwner |
                                                                          QFileDevice::WriteOwner |
                                                                          QFileDevice::ExeOwner);
        QCOMPARE(readFile(m_path), QByteArray("default: old\nprojects:\n  old: /old\n"));
    }

    // .marvek is a file: nothing can be written, and nothing is lost.
    init();
    writeFile(m_home.file(QStringLiteral(".marvek")), "not a folder");
    QVERIFY(!config.save(&why));
    QCOMPARE(readFile(m_home.file(QStringLiteral(".marvek"))), QByteArray("not a folder"));
}

void TestProjectConfig::permissionsAndSymlinkSurvive()
{
    writeFile(m_path, "x\n");
    QVERIFY(QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    ProjectConfig config;
    config.addProject(QStringLiteral("a"), QStringLiteral("/a"));
    QVERIFY(config.save());
    struct stat st;
    QCOMPARE(::stat(QFile::encodeName(m_path).constData(), &st), 0);
    QCOMPARE(st.st_mode & 0777, 0600u);

    // A symlinked file: the link stays, its target gets the new content.
    const QString target = m_home.file(QStringLiteral("dotfiles/projects.yaml"));
    writeFile(target, "old\n");
    QFile::remove(m_path);
    QVERIFY(QFile::link(target, m_path));
    QVERIFY(config.save());
    QVERIFY(QFileInfo(m_path).isSymLink());
    QCOMPARE(readFile(target), QByteArray("default: a\nprojects:\n  a: /a\n"));
}

void TestProjectConfig::killedWhileSavingNeverLeavesPartialFile()
{
    ProjectConfig probe;
    probe.addProject(QStringLiteral("a"), QStringLiteral("/a"));
    const QByteArray small = projectlist::serialize(probe.projects());
    QRandomGenerator rng(7);
    int checked = 0;
    for (int round = 0; round < 15; ++round) {
        QProcess helper;
        helper.start(QStringLiteral(DORV_SAVE_HELPER), {});
        QVERIFY(helper.waitForStarted());
        QTest::qWait(30 + rng.bounded(120));
        ::kill(helper.processId(), SIGKILL);
        helper.waitForFinished();
        const QByteArray content = readFile(m_path);
        if (content == "<missing>")
            continue; // killed before the first save completed
        if (content != small) {
            QVERIFY(content.startsWith("default: project0\nprojects:\n"));
            QVERIFY(content.endsWith("  project1999: /srv/p/1999\n"));
            QCOMPARE(content.count('\n'), 2002);
        }
        ++checked;
    }
    QVERIFY(checked >= 10);
}

void TestProjectConfig::edits_data()
{
    // Start list ("a*" = default), operation, result.
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const char *start, const char *op, const char *expected) {
        QTest::newRow(name) << QString::fromLatin1(start) << QString::fromLatin1(op)
                            << QString::fromLatin1(expected);
    };
    row("add to empty", "", "add x", "x*");
    row("add to list with default", "a*", "add x", "a* x");
    row("add to list without default", "a b", "add x", "a b x");
    row("add duplicate", "a*", "add a", "a* a");
    row("remove only", "a*", "remove 0", "");
    row("remove first default", "a* b c", "remove 0", "b* c");
    row("remove middle default", "a b* c", "remove 1", "a* c");
    row("remove non-default", "a b c", "remove 1", "a c");
    row("remove keeps flags", "a b* c", "remove 2", "a b*");
    row("remove two, second default", "a b c* d", "remove 0 2", "b* d");
    row("out of range ignored", "a* b", "remove 5 -1 2", "a* b");
    row("out of range with valid", "a* b", "remove 9 0", "b*");
    row("setDefault", "a b c*", "default 1", "a b* c");
    row("setDefault on default", "a* b", "default 0", "a* b");
    row("setDefault unknown id", "a* b", "default x", "a b");
}

void TestProjectConfig::edits()
{
    QFETCH(QString, start);
    QFETCH(QString, operation);
    QFETCH(QString, expected);
    ProjectConfig config;
    if (!start.isEmpty()) {
        QByteArray defaultLine = "default: -none-\n";
        QByteArray entries;
        for (QString alias : start.split(u' ')) {
            if (alias.endsWith(u'*')) {
                alias.chop(1);
                defaultLine = "default: " + alias.toUtf8() + "\n";
            }
            entries += "  " + alias.toUtf8() + ": /" + alias.toUtf8() + "\n";
        }
        writeFile(m_path, defaultLine + "projects:\n" + entries);
        config.load();
    }
    const QStringList words = operation.split(u' ');
    if (words[0] == QStringLiteral("add")) {
        config.addProject(words[1], QStringLiteral("/p"));
    } else if (words[0] == QStringLiteral("remove")) {
        QList<qsizetype> positions;
        for (qsizetype i = 1; i < words.size(); ++i)
            positions.append(words[i].toLongLong());
        config.removeProject(positions);
    } else {
        bool ok = false;
        const int at = words[1].toInt(&ok);
        config.setDefault(ok ? config.projects().at(at)
                             : ProjectEntry::create(QStringLiteral("a"), QStringLiteral("/a")));
    }
    QCOMPARE(flags(config), expected);
}

void TestProjectConfig::setDefaultNotifiesPerEntry()
{
    ProjectConfig config;
    for (const char *a : {"a", "b", "c"})
        config.addProject(QString::fromLatin1(a), QStringLiteral("/p"));
    QSignalSpy spy(&config, &ProjectConfig::changed);
    config.setDefault(config.projects().at(2));
    QCOMPARE(spy.count(), 3);
}

QTEST_GUILESS_MAIN(TestProjectConfig)
#include "tst_projectconfig.moc"
