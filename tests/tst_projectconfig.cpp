#include "projectconfig.h"
#include "projectlistformat.h"
#include "reloadsignal.h"
#include "testhome.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace dorv;
using namespace dorv::test;

namespace {
QString flags(const ProjectConfig &c)
{
    QString s;
    for (const ProjectEntry &e : c.projects())
        s += e.alias + (e.isDefault ? QStringLiteral("* ") : QStringLiteral(" "));
    return s.trimmed();
}
uint mode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
}
} // namespace

class TestProjectConfig : public QObject {
    Q_OBJECT
    TestHome m_home; // before the first use of configPath
    QString m_path;
    QString m_folder;

private Q_SLOTS:
    void initTestCase();
    void init();
    void load_data();
    void load();
    void hugeProjectFile();
    void saveWrites();
    void saveRefusalNamesTheEntry_data();
    void saveRefusalNamesTheEntry();
    void failedWriteKeepsOldFile();
    void edits_data();
    void edits();
};

void TestProjectConfig::initTestCase()
{
    m_path = ProjectConfig::configPath();
    m_folder = m_home.file(QStringLiteral(".marvek"));
    QCOMPARE(m_path, m_folder + QStringLiteral("/chatwire-projects.yaml"));
    reload::setPgrepOverride(QStringLiteral("/bin/true"));
}

void TestProjectConfig::init()
{
    QDir(m_folder).removeRecursively();
    QFile::remove(m_folder);
    QDir().mkpath(m_folder);
}

// What is at the list's path -> the list after load() ("kept*": unchanged, no notification).
void TestProjectConfig::load_data()
{
    QTest::addColumn<QByteArray>("content"); // "<...>": something other than a plain file
    QTest::addColumn<QString>("expected");
    const struct {
        const char *name, *content, *expected;
    } rows[] = {
        {"written form", "default: b\nprojects:\n  a: /a\n  b: /b\n", "a b*"},
        {"byte-order mark",
         "\xef\xbb\xbf"
         "default: b\nprojects:\n  b: /b\n",
         "b*"},
        {"missing", "<missing>", "kept*"},
        {"invalid utf-8", "projects:\n  b: /\xff\xfe\n", "kept*"},
        {"a folder", "<dir>", "kept*"},
        {"a FIFO", "<fifo>", "kept*"},
        {"link to /dev/zero", "<zero>", "kept*"},
        {"over the size cap", "<sparse>", "kept*"},
        {"a sparse terabyte", "<sparse 1 TiB>", "kept*"}, // never allocated to be read
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << QByteArray(row.content) << QString::fromLatin1(row.expected);
}

void TestProjectConfig::load()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const QByteArray path = QFile::encodeName(m_path);
    if (content == "<dir>")
        QVERIFY(QDir().mkpath(m_path));
    else if (content == "<fifo>")
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
    else if (content == "<zero>")
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), m_path));
    else if (content.startsWith("<sparse"))
        QVERIFY(writeFile(m_path, "projects:\n") &&
                QFile(m_path).resize(content == "<sparse>" ? ProjectConfig::kMaxFileBytes + 1
                                                           : qint64(1) << 40));
    else if (content != "<missing>")
        QVERIFY(writeFile(m_path, content));
    ProjectConfig config;
    config.addProject(QStringLiteral("kept"), QStringLiteral("/k"));
    QSignalSpy spy(&config, &ProjectConfig::changed);
    config.load(); // must return at once, whatever is there
    QCOMPARE(spy.count(), expected == QStringLiteral("kept*") ? 0 : 1);
    QCOMPARE(flags(config), expected);
}

void TestProjectConfig::hugeProjectFile()
{
    // About 10 MB: 100,000 entries with long paths, read and written back byte for byte.
    QList<ProjectEntry> entries;
    for (int i = 0; i < 100000; ++i)
        entries.append(ProjectEntry::create(QStringLiteral("project-%1").arg(i),
                                            QStringLiteral("/srv/%1/").arg(i) + QString(80, u'x'),
                                            i == 777));
    const QByteArray bytes = projectlist::serialize(entries);
    QVERIFY(bytes.size() > 10'000'000 && writeFile(m_path, bytes));
    ProjectConfig config;
    config.load();
    QCOMPARE(config.projects().size(), 100000);
    QVERIFY(config.projects().at(777).isDefault);
    QVERIFY(config.save());
    QCOMPARE(readFile(m_path), bytes);
}

// A list that would not read back as written is refused; the reason names the entry, in one
// readable line, so the user knows which row to delete. The file and the edits stay.
void TestProjectConfig::saveRefusalNamesTheEntry_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("alias"); // added after loading the file; null: none
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("named");
    const struct {
        const char *name, *file;
        QString alias, path, named;
    } rows[] = {
        {"hand-written default entry", "projects:\n  default : /x\n", {}, {}, "\"default\""},
        {"colon", "", "a:b", "/p", "\"a:b\""},
        {"leading blank", "", " a", "/p", "\" a\""},
        {"empty alias, blank path", "", "", "/p ", "\"\""},
        {"projects, no path", "", "projects", "", "\"projects\""},
        {"line break", "", "a\nb", "/p", "\"a\u21b5b\""},
        {"lone surrogate", "", QString(QChar(0xd800)), "/p", "\""},
    };
    for (const auto &row : rows)
        QTest::newRow(row.name) << QByteArray(row.file) << row.alias << row.path << row.named;
}

void TestProjectConfig::saveRefusalNamesTheEntry()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, alias);
    QFETCH(QString, path);
    QFETCH(QString, named);
    const QByteArray old = file.isEmpty() ? QByteArray("old\n") : file;
    QVERIFY(writeFile(m_path, old));
    ProjectConfig config;
    config.load();
    config.addProject(QStringLiteral("ok"), QStringLiteral("/ok"));
    if (!alias.isNull())
        config.addProject(alias, path);
    const qsizetype size = config.projects().size();
    QString why;
    QVERIFY(!config.save(&why));
    QVERIFY2(why.contains(named) && why.isValidUtf16(), qPrintable(why));
    QVERIFY(!why.contains(u'\n'));
    QCOMPARE(readFile(m_path), old);
    QCOMPARE(config.projects().size(), size);
}

void TestProjectConfig::failedWriteKeepsOldFile()
{
    const QByteArray old("default: old\nprojects:\n  old: /old\n");
    QVERIFY(writeFile(m_path, old));
    ProjectConfig config;
    config.load();
    for (int i = 0; i < 50; ++i)
        config.addProject(QStringLiteral("p%1").arg(i),
                          QStringLiteral("/some/long/path/%1").arg(i));
    // A file size limit makes the write fail the way a full disk does, even for root.
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit tight = saved;
    tight.rlim_cur = 64;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    QString why;
    const bool written = config.save(&why);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    QVERIFY(!written && !why.isEmpty());
    QCOMPARE(readFile(m_path), old);
    QCOMPARE(config.projects().size(), 51);
    QCOMPARE(QDir(m_folder).entryList(QDir::Files).size(), 1); // no temporary file left
    // .marvek is a file: nothing can be written, and nothing is lost.
    QDir(m_folder).removeRecursively();
    QVERIFY(writeFile(m_folder, "not a folder"));
    QVERIFY(!config.save(&why));
    QCOMPARE(readFile(m_folder), QByteArray("not a folder"));
}

// The first save makes the private folder; later saves keep the file's mode and write
// through a symlink to its target.
void TestProjectConfig::saveWrites()
{
    QDir(m_folder).removeRecursively();
    ProjectConfig config;
    config.addProject(QStringLiteral("web"), QStringLiteral("/srv/web"));
    config.addProject(QStringLiteral("api"), QStringLiteral("/srv/api"));
    QString why;
    QVERIFY2(config.save(&why), qPrintable(why));
    const QByteArray written("default: web\nprojects:\n  web: /srv/web\n  api: /srv/api\n");
    QCOMPARE(readFile(m_path), written);
    QCOMPARE(mode(m_folder), 0700u);
    QVERIFY(QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QVERIFY(config.save());
    QCOMPARE(mode(m_path), 0600u);
    const QString target = m_home.file(QStringLiteral("dotfiles/projects.yaml"));
    QVERIFY(writeFile(target, "old\n"));
    QFile::remove(m_path);
    QVERIFY(QFile::link(target, m_path));
    QVERIFY(config.save());
    QVERIFY(QFileInfo(m_path).isSymLink());
    QCOMPARE(readFile(target), written);
}

void TestProjectConfig::edits_data()
{
    QTest::addColumn<QByteArray>("file"); // the list before the edit
    QTest::addColumn<QString>("add");     // one of add, remove, setDefault
    QTest::addColumn<QList<qsizetype>>("remove");
    QTest::addColumn<int>("setDefault");   // a position; -1: an entry not in the list
    QTest::addColumn<QString>("expected"); // '*' marks a default
    const char *abc = "projects:\n a: /a\n b: /b\n c: /c\n", *a = "default: a\n",
               *b = "default: b\n";
    const struct {
        const char *name, *defaultLine, *list, *add;
        QList<qsizetype> remove;
        int setDefault;
        const char *expected;
    } rows[] = {
        {"add to empty", "", "", "x", {}, -2, "x*"},
        {"add to list with default", a, abc, "x", {}, -2, "a* b c x"},
        {"add to list without default", "", abc, "x", {}, -2, "a b c x"},
        {"add duplicate", a, abc, "a", {}, -2, "a* b c a"},
        {"remove only", a, "projects:\n a: /a\n", nullptr, {0}, -2, ""},
        {"remove first default", a, abc, nullptr, {0}, -2, "b* c"},
        {"remove middle default", b, abc, nullptr, {1}, -2, "a* c"},
        {"remove non-default", "", abc, nullptr, {1}, -2, "a c"},
        {"remove keeps flags", b, abc, nullptr, {2}, -2, "a b*"},
        {"remove two, second default", b, abc, nullptr, {0, 1}, -2, "c*"},
        {"out of range ignored", a, abc, nullptr, {5, -1, 3}, -2, "a* b c"},
        {"out of range with valid", a, abc, nullptr, {9, 0}, -2, "b* c"},
        {"setDefault", a, abc, nullptr, {}, 2, "a b c*"},
        {"setDefault unknown id", a, abc, nullptr, {}, -1, "a b c"},
    };
    for (const auto &r : rows)
        QTest::newRow(r.name) << QByteArray(r.defaultLine) + r.list << QString::fromLatin1(r.add)
                              << r.remove << r.setDefault << QString::fromLatin1(r.expected);
}

void TestProjectConfig::edits()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, add);
    QFETCH(QList<qsizetype>, remove);
    QFETCH(int, setDefault);
    QFETCH(QString, expected);
    ProjectConfig config;
    QVERIFY(writeFile(m_path, file));
    config.load();
    if (!add.isNull())
        config.addProject(add, QStringLiteral("/p"));
    if (!remove.isEmpty())
        config.removeProject(remove);
    if (setDefault >= -1)
        config.setDefault(setDefault >= 0
                              ? config.projects().at(setDefault)
                              : ProjectEntry::create(QStringLiteral("a"), QStringLiteral("/a")));
    QCOMPARE(flags(config), expected);
}

QTEST_GUILESS_MAIN(TestProjectConfig)
#include "tst_projectconfig.moc"
