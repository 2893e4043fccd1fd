#include "config/projectconfig.h"
#include "config/reloadsignal.h"
#include "support/testhome.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace dorv;
using namespace dorv::test;

namespace {
using Result = ProjectConfig::SaveResult;

enum class AtPath { File, Nothing, Fifo, LinkToDevZero };
enum class Edit { None, Add, Remove, SetDefault, SetDefaultOfUnknownEntry };

struct LoadCase {
    AtPath at = AtPath::File;
    QByteArray content;
    qint64 size = -1; // >= 0: the file cut or padded with zeros to this size
    Edit edit = Edit::None;
    QList<qsizetype> positions; // for Remove; SetDefault takes the first
    bool read = true;           // false: load() kept the list as it was, without a notification
    QStringList aliases;        // after the edit
    QStringList defaults;
};

enum class SaveSetup { File, NoFolder, Symlink, FileSizeLimit, MarvekIsAFile };

struct SaveCase {
    SaveSetup setup = SaveSetup::File;
    QByteArray file = "old\n";
    QString secondAlias; // null: only "ok: /ok" is added
    QString refusal;     // what the reason names; null: saved
};

// What another program does to the file after load() (and maybe our own save).
enum class Outside {
    Nothing,
    RewriteSameBytes,
    EditInPlace,
    ReplaceByRename,
    Remove,
    Create,
    GrowPastCap
};

struct ChangeCase {
    AtPath atLoad = AtPath::File; // File, Nothing, or Fifo: unreadable
    bool ownSaveFirst = false;
    Outside outside = Outside::Nothing;
    bool changed = false;
};

QStringList aliases(const ProjectConfig &c, bool defaultsOnly)
{
    QStringList list;
    for (const ProjectEntry &e : c.projects())
        if (e.isDefault || !defaultsOnly)
            list.append(e.alias);
    return list;
}
} // namespace

Q_DECLARE_METATYPE(LoadCase)
Q_DECLARE_METATYPE(SaveCase)
Q_DECLARE_METATYPE(ChangeCase)

class TestProjectConfig : public QObject {
    Q_OBJECT
    TestHome m_home; // before the first use of configPath
    const QString m_path = ProjectConfig::configPath();
    const QString m_folder = m_home.file(QStringLiteral(".marvek"));
    const QString m_pgrepLog = m_home.file(QStringLiteral("pgrep.log"));

    int reloadSignals() { return int(readFile(m_pgrepLog).count('\n')); }

private Q_SLOTS:
    void initTestCase()
    {
        // Computed before HOME was set, it would be the user's own list.
        QVERIFY(m_path.startsWith(m_home.path() + u'/'));
        reload::setPgrepOverride(writeScript(m_home.file(QStringLiteral("bin/pgrep")),
                                             "echo >> '" + QFile::encodeName(m_pgrepLog) + "'\n"));
    }

    void init()
    {
        QDir(m_folder).removeRecursively();
        QFile::remove(m_folder);
        QDir().mkpath(m_folder);
    }

    // load() returns at once, whatever is at the path, then an edit of the list.
    void loadAndEdit_data()
    {
        QTest::addColumn<LoadCase>("c");
        auto row = [](const char *name, const LoadCase &c) { QTest::newRow(name) << c; };
        const QByteArray abc("default: b\nprojects:\n  a: /a\n  b: /b\n  c: /c\n");
        const qint64 cap = ProjectConfig::kMaxFileBytes;
        const QStringList kept = {"kept"};
        row("byte-order mark",
            {.content = "\xef\xbb\xbf" + abc, .aliases = {"a", "b", "c"}, .defaults = {"b"}});
        row("at the size cap",
            {.content = abc, .size = cap, .aliases = {"a", "b", "c"}, .defaults = {"b"}});
        row("over the cap", {.content = abc, .size = cap + 1, .read = false, .aliases = kept});
        // Refused by its size, never allocated to be read.
        row("a sparse terabyte",
            {.content = abc, .size = qint64(1) << 40, .read = false, .aliases = kept});
        row("missing", {.at = AtPath::Nothing, .read = false, .aliases = kept});
        row("invalid utf-8",
            {.content = "projects:\n  b: /\xff\xfe\n", .read = false, .aliases = kept});
        row("a FIFO", {.at = AtPath::Fifo, .read = false, .aliases = kept});
        row("link to /dev/zero", {.at = AtPath::LinkToDevZero, .read = false, .aliases = kept});
        row("add to empty",
            {.content = "projects:\n", .edit = Edit::Add, .aliases = {"x"}, .defaults = {"x"}});
        row("add to a list", {.content = abc,
                              .edit = Edit::Add,
                              .aliases = {"a", "b", "c", "x"},
                              .defaults = {"b"}});
        row("remove the only entry", {.content = "default: a\nprojects:\n  a: /a\n",
                                      .edit = Edit::Remove,
                                      .positions = {0}});
        row("remove the default", {.content = abc,
                                   .edit = Edit::Remove,
                                   .positions = {1},
                                   .aliases = {"a", "c"},
                                   .defaults = {"a"}});
        row("remove another", {.content = abc,
                               .edit = Edit::Remove,
                               .positions = {2},
                               .aliases = {"a", "b"},
                               .defaults = {"b"}});
        row("remove two, the second default", {.content = abc,
                                               .edit = Edit::Remove,
                                               .positions = {0, 1},
                                               .aliases = {"c"},
                                               .defaults = {"c"}});
        row("out of range and repeated", {.content = abc,
                                          .edit = Edit::Remove,
                                          .positions = {5, -1, 0, 3, 0},
                                          .aliases = {"b", "c"},
                                          .defaults = {"b"}});
        row("setDefault", {.content = abc,
                           .edit = Edit::SetDefault,
                           .positions = {2},
                           .aliases = {"a", "b", "c"},
                           .defaults = {"c"}});
        row("setDefault of an unknown entry",
            {.content = abc, .edit = Edit::SetDefaultOfUnknownEntry, .aliases = {"a", "b", "c"}});
    }

    void loadAndEdit()
    {
        QFETCH(LoadCase, c);
        if (c.at == AtPath::Fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
        else if (c.at == AtPath::LinkToDevZero)
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), m_path));
        else if (c.at == AtPath::File)
            QVERIFY(writeFile(m_path, c.content));
        if (c.size >= 0)
            QVERIFY(QFile(m_path).resize(c.size));
        ProjectConfig config;
        config.addProject(QStringLiteral("kept"), QStringLiteral("/k"));
        QSignalSpy spy(&config, &ProjectConfig::changed);
        config.load();
        QCOMPARE(spy.count(), c.read ? 1 : 0);
        switch (c.edit) {
        case Edit::None:
            break;
        case Edit::Add:
            config.addProject(QStringLiteral("x"), QStringLiteral("/p"));
            break;
        case Edit::Remove:
            config.removeProject(c.positions);
            break;
        case Edit::SetDefault:
            config.setDefault(config.projects().at(c.positions.first()));
            break;
        case Edit::SetDefaultOfUnknownEntry:
            config.setDefault(ProjectEntry::create(QStringLiteral("a"), {}));
            break;
        }
        QCOMPARE(aliases(config, false), c.aliases);
        QCOMPARE(aliases(config, true), c.read ? c.defaults : c.aliases);
    }

    // The entry "ok: /ok" is added to the list read from the file (and maybe one more), then
    // saved. A save that fails, or is refused because the list would not read back as written,
    // leaves the file and the edits as they were; a refusal names the entry, in one line.
    void save_data()
    {
        QTest::addColumn<SaveCase>("c");
        auto row = [](const char *name, const SaveCase &c) { QTest::newRow(name) << c; };
        row("first save makes a private folder", {.setup = SaveSetup::NoFolder});
        row("through a symlink, keeping the mode", {.setup = SaveSetup::Symlink});
        // Fails the way a full disk does, even for root.
        row("file size limit", {.setup = SaveSetup::FileSizeLimit, .refusal = ""});
        row(".marvek is a file", {.setup = SaveSetup::MarvekIsAFile, .refusal = ""});
        row("hand-written default entry",
            {.file = "projects:\n  default : /x\n", .refusal = "\"default\""});
        row("line break", {.secondAlias = "a\nb", .refusal = "\"a\u21b5b\""});
        row("lone surrogate", {.secondAlias = QString(QChar(0xd800)), .refusal = "\""});
    }

    void save()
    {
        QFETCH(SaveCase, c);
        const QString link = m_home.file(QStringLiteral("dotfiles/projects.yaml"));
        const QString target = c.setup == SaveSetup::Symlink         ? link
                               : c.setup == SaveSetup::MarvekIsAFile ? m_folder
                                                                     : m_path;
        if (c.setup == SaveSetup::NoFolder || c.setup == SaveSetup::MarvekIsAFile)
            QDir(m_folder).removeRecursively();
        if (c.setup != SaveSetup::NoFolder)
            QVERIFY(writeFile(target, c.file));
        if (c.setup == SaveSetup::Symlink)
            QVERIFY(QFile::link(link, m_path) &&
                    QFile::setPermissions(link, QFile::ReadOwner | QFile::WriteOwner));
        ProjectConfig config;
        config.load();
        config.addProject(QStringLiteral("ok"), QStringLiteral("/ok"));
        if (!c.secondAlias.isNull())
            config.addProject(c.secondAlias, QStringLiteral("/p"));
        const QStringList before = aliases(config, false);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit tight{16, saved.rlim_max};
        if (c.setup == SaveSetup::FileSizeLimit)
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tight), 0);
        QString why;
        const Result result = config.save(&why);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(result, c.refusal.isNull() ? Result::Saved : Result::Failed);
        QVERIFY2(why.contains(c.refusal) && why.isValidUtf16() && !why.contains(u'\n'),
                 qPrintable(why));
        QCOMPARE(readFile(target), result == Result::Saved
                                       ? QByteArray("default: ok\nprojects:\n  ok: /ok\n")
                                       : c.file);
        QCOMPARE(aliases(config, false), before);
        QVERIFY(QDir(m_folder).entryList(QDir::Files).size() <= 1); // no temporary file left
        QCOMPARE(QFileInfo(m_path).isSymLink(), c.setup == SaveSetup::Symlink);
        auto mode = [](const QString &path) { return int(QFileInfo(path).permissions() & 0x777); };
        if (c.setup == SaveSetup::NoFolder)
            QCOMPARE(mode(m_folder), 0x700); // user, group, others
        if (c.setup == SaveSetup::Symlink)
            QCOMPARE(mode(link), 0x600);
    }

    // The list is read with "api", another program changes the file, "web" is added and saved.
    // A changed file is left as that program wrote it, without signalling the bridge, until
    // the save is told to overwrite it.
    void changedOnDisk_data()
    {
        QTest::addColumn<ChangeCase>("c");
        auto row = [](const char *name, const ChangeCase &c) { QTest::newRow(name) << c; };
        row("unchanged", {});
        row("the same bytes written again", {.outside = Outside::RewriteSameBytes});
        row("edited in place, same size", {.outside = Outside::EditInPlace, .changed = true});
        row("replaced by rename", {.outside = Outside::ReplaceByRename, .changed = true});
        row("removed", {.outside = Outside::Remove, .changed = true});
        row("still missing", {.atLoad = AtPath::Nothing});
        row("appeared", {.atLoad = AtPath::Nothing, .outside = Outside::Create, .changed = true});
        row("unreadable at load, removed",
            {.atLoad = AtPath::Fifo, .outside = Outside::Remove, .changed = true});
        row("unreadable now", {.outside = Outside::GrowPastCap, .changed = true});
        row("after our own save", {.ownSaveFirst = true});
        row("edited after our own save",
            {.ownSaveFirst = true, .outside = Outside::EditInPlace, .changed = true});
    }

    void changedOnDisk()
    {
        QFETCH(ChangeCase, c);
        const QByteArray api = "default: api\nprojects:\n  api: /api\n";
        if (c.atLoad == AtPath::Fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
        else if (c.atLoad == AtPath::File)
            QVERIFY(writeFile(m_path, api));
        ProjectConfig config;
        config.load();
        config.addProject(QStringLiteral("web"), QStringLiteral("/web"));
        if (c.ownSaveFirst)
            QCOMPARE(config.save(), Result::Saved);
        const QString renamed = m_path + QStringLiteral(".new");
        switch (c.outside) {
        case Outside::Nothing:
            break;
        case Outside::RewriteSameBytes:
            QVERIFY(writeFile(m_path, readFile(m_path)));
            break;
        case Outside::EditInPlace: {
            QFile file(m_path);
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(file.size() - 2));
            QCOMPARE(file.write("X"), 1); // the same size, within the same second
            break;
        }
        case Outside::ReplaceByRename:
            QVERIFY(writeFile(renamed, api + "  docs: /docs\n"));
            QCOMPARE(std::rename(QFile::encodeName(renamed), QFile::encodeName(m_path)), 0);
            break;
        case Outside::Remove:
            QVERIFY(QFile::remove(m_path));
            break;
        case Outside::Create:
            QVERIFY(writeFile(m_path, "projects:\n  docs: /docs\n"));
            break;
        case Outside::GrowPastCap:
            QVERIFY(QFile(m_path).resize(ProjectConfig::kMaxFileBytes + 1));
            break;
        }
        const QByteArray theirs = readFile(m_path);
        const bool existed = QFile::exists(m_path);
        QCOMPARE(config.changedOnDisk(), c.changed);
        const int signalsBefore = reloadSignals();
        QString why;
        QCOMPARE(config.save(&why), c.changed ? Result::ChangedOnDisk : Result::Saved);
        if (c.changed) {
            QVERIFY(!why.isEmpty());
            QCOMPARE(readFile(m_path), theirs);
            QCOMPARE(QFile::exists(m_path), existed);
            QCOMPARE(reloadSignals(), signalsBefore);
            QCOMPARE(config.save(&why, ProjectConfig::IfChangedOnDisk::Overwrite), Result::Saved);
        }
        QCOMPARE(reloadSignals(), signalsBefore + 1);
        QCOMPARE(readFile(m_path), c.atLoad == AtPath::File
                                       ? api + "  web: /web\n"
                                       : QByteArray("default: web\nprojects:\n  web: /web\n"));
        QVERIFY(!config.changedOnDisk()); // what we wrote is known
    }
};

QTEST_GUILESS_MAIN(TestProjectConfig)
#include "tst_projectconfig.moc"
