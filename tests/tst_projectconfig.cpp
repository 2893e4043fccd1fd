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

const QByteArray kAbc = "default: b\nprojects:\n  a: /a\n  b: /b\n  c: /c\n";

enum class AtPath { File, Nothing, Fifo, LinkToDevZero };
enum class Edit { Add, Remove, SetDefault, SetDefaultOfUnknownEntry };

enum class SaveSetup { File, NoFolder, Symlink, FileSizeLimit, MarvekIsAFile };

// How the list was read before another program does something to the file.
enum class Start { FileRead, NoFile, Unreadable, FileReadAndSaved };
enum class Outside { Nothing, SameBytes, EditInPlace, ReplaceByRename, Remove, Create, PastCap };

QStringList aliases(const ProjectConfig &c, bool defaultsOnly)
{
    QStringList list;
    for (const ProjectEntry &e : c.projects())
        if (e.isDefault || !defaultsOnly)
            list.append(e.alias);
    return list;
}
} // namespace

class TestProjectConfig : public QObject {
    Q_OBJECT
    TestHome m_home; // before the first use of configPath
    const QString m_path = ProjectConfig::configPath();
    const QString m_folder = m_home.file(QStringLiteral(".marvek"));
    // A stand-in for pgrep that records each call: the reload signals sent.
    const QString m_pgrep = writeRecordingTool(m_home.file(QStringLiteral("bin/pgrep")), 1);

    int reloadSignals() { return int(recordedArguments(m_pgrep).count(QStringLiteral("-f"))); }

private Q_SLOTS:
    void initTestCase()
    {
        // Computed before HOME was set, it would be the user's own list.
        QVERIFY(m_path.startsWith(m_home.path() + u'/'));
    }

    void init()
    {
        QDir(m_folder).removeRecursively();
        QFile::remove(m_folder);
        QDir().mkpath(m_folder);
    }

    // load() returns at once, whatever is at the path, and reads it or keeps the list as it
    // was, without a notification.
    void load_data()
    {
        QTest::addColumn<AtPath>("at");
        QTest::addColumn<qint64>("size"); // >= 0: the file cut or padded with zeros to this
        QTest::addColumn<bool>("read");
        QTest::addColumn<QByteArray>("content");
        auto row = [](const char *name, AtPath at, qint64 size, bool read,
                      const QByteArray &content = kAbc) {
            QTest::newRow(name) << at << size << read << content;
        };
        const qint64 cap = ProjectConfig::kMaxFileBytes;
        row("byte-order mark", AtPath::File, -1, true, "\xef\xbb\xbf" + kAbc);
        row("at the size cap", AtPath::File, cap, true);
        row("over the cap", AtPath::File, cap + 1, false);
        row("a sparse terabyte", AtPath::File, qint64(1) << 40, false); // never read
        row("missing", AtPath::Nothing, -1, false);
        row("invalid utf-8", AtPath::File, -1, false, "projects:\n  b: /\xff\xfe\n");
        row("a FIFO", AtPath::Fifo, -1, false);
        row("link to /dev/zero", AtPath::LinkToDevZero, -1, false);
    }

    void load()
    {
        QFETCH(AtPath, at);
        QFETCH(qint64, size);
        QFETCH(bool, read);
        QFETCH(QByteArray, content);
        if (at == AtPath::Fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
        else if (at == AtPath::LinkToDevZero)
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), m_path));
        else if (at == AtPath::File)
            QVERIFY(writeFile(m_path, content));
        if (size >= 0)
            QVERIFY(QFile(m_path).resize(size));
        ProjectConfig config(m_pgrep);
        config.addProject(QStringLiteral("kept"), QStringLiteral("/k"));
        QSignalSpy spy(&config, &ProjectConfig::changed);
        config.load();
        QCOMPARE(spy.count(), read ? 1 : 0);
        const QStringList kept = {"kept"};
        QCOMPARE(aliases(config, false), read ? QStringList({"a", "b", "c"}) : kept);
        QCOMPARE(aliases(config, true), read ? QStringList({"b"}) : kept);
    }

    // An edit of the list read from the file, by position; positions out of range are ignored.
    void edit_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QList<qsizetype>>("positions");
        QTest::addColumn<QStringList>("aliases");
        QTest::addColumn<QStringList>("defaults");
        auto row = [](const char *name, const QByteArray &content, Edit edit,
                      const QList<qsizetype> &positions, const QStringList &aliases,
                      const QStringList &defaults) {
            QTest::newRow(name) << content << edit << positions << aliases << defaults;
        };
        const QByteArray one = "default: a\nprojects:\n  a: /a\n";
        const QStringList abc = {"a", "b", "c"};
        row("add to empty", "projects:\n", Edit::Add, {}, {"x"}, {"x"});
        row("add to a list", kAbc, Edit::Add, {}, {"a", "b", "c", "x"}, {"b"});
        row("remove the only entry", one, Edit::Remove, {0}, {}, {});
        row("remove the default", kAbc, Edit::Remove, {1}, {"a", "c"}, {"a"});
        row("remove another", kAbc, Edit::Remove, {2}, {"a", "b"}, {"b"});
        row("remove two, the second default", kAbc, Edit::Remove, {0, 1}, {"c"}, {"c"});
        row("out of range and repeated", kAbc, Edit::Remove, {5, -1, 0, 3, 0}, {"b", "c"}, {"b"});
        row("setDefault", kAbc, Edit::SetDefault, {2}, abc, {"c"});
        row("setDefault of an unknown entry", kAbc, Edit::SetDefaultOfUnknownEntry, {}, abc, {});
    }

    void edit()
    {
        QFETCH(QByteArray, content);
        QFETCH(Edit, edit);
        QFETCH(QList<qsizetype>, positions);
        QVERIFY(writeFile(m_path, content));
        ProjectConfig config(m_pgrep);
        config.load();
        switch (edit) {
        case Edit::Add:
            config.addProject(QStringLiteral("x"), QStringLiteral("/p"));
            break;
        case Edit::Remove:
            config.removeProject(positions);
            break;
        case Edit::SetDefault:
            config.setDefault(config.projects().at(positions.first()));
            break;
        case Edit::SetDefaultOfUnknownEntry:
            config.setDefault(ProjectEntry::create(QStringLiteral("a"), {}));
            break;
        }
        QTEST(aliases(config, false), "aliases");
        QTEST(aliases(config, true), "defaults");
    }

    // The entry "ok: /ok" is added to the list read from the file (and maybe one more), then
    // saved. A save that fails, or is refused because the list would not read back as written,
    // leaves the file and the edits as they were; a refusal names the entry, in one line.
    void save_data()
    {
        QTest::addColumn<SaveSetup>("setup");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("alias"); // null: no second entry
        QTest::addColumn<QString>("named"); // what the reason names; null: saved
        auto row = [](const char *name, SaveSetup setup, const QString &alias = {},
                      const QString &named = {}, const char *file = "old\n") {
            QTest::newRow(name) << setup << QByteArray(file) << alias << named;
        };
        row("first save makes a private folder", SaveSetup::NoFolder);
        row("through a symlink, keeping the mode", SaveSetup::Symlink);
        // Fails the way a full disk does, even for root.
        row("file size limit", SaveSetup::FileSizeLimit, {}, QStringLiteral(""));
        row(".marvek is a file", SaveSetup::MarvekIsAFile, {}, QStringLiteral(""));
        row("line break", SaveSetup::File, "a\nb", "\"a\u21b5b\"");
        row("lone surrogate", SaveSetup::File, QString(QChar(0xd800)), "\"");
    }

    void save()
    {
        QFETCH(SaveSetup, setup);
        QFETCH(QByteArray, file);
        QFETCH(QString, alias);
        QFETCH(QString, named);
        const QString link = m_home.file(QStringLiteral("dotfiles/projects.yaml"));
        const QString target = setup == SaveSetup::Symlink         ? link
                               : setup == SaveSetup::MarvekIsAFile ? m_folder
                                                                   : m_path;
        if (setup == SaveSetup::NoFolder || setup == SaveSetup::MarvekIsAFile)
            QDir(m_folder).removeRecursively();
        if (setup != SaveSetup::NoFolder)
            QVERIFY(writeFile(target, file));
        if (setup == SaveSetup::Symlink)
            QVERIFY(QFile::link(link, m_path) &&
                    QFile::setPermissions(link, QFile::ReadOwner | QFile::WriteOwner));
        ProjectConfig config(m_pgrep);
        config.load();
        config.addProject(QStringLiteral("ok"), QStringLiteral("/ok"));
        if (!alias.isNull())
            config.addProject(alias, QStringLiteral("/p"));
        const QStringList before = aliases(config, false);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit tight{16, saved.rlim_max};
        if (setup == SaveSetup::FileSizeLimit)
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tight), 0);
        QString why;
        const Result result = config.save(&why);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(result, named.isNull() ? Result::Saved : Result::Failed);
        QVERIFY2(why.contains(named) && why.isValidUtf16() && !why.contains(u'\n'),
                 qPrintable(why));
        QCOMPARE(readFile(target), result == Result::Saved
                                       ? QByteArray("default: ok\nprojects:\n  ok: /ok\n")
                                       : file);
        QCOMPARE(aliases(config, false), before);
        QVERIFY(QDir(m_folder).entryList(QDir::Files).size() <= 1); // no temporary file left
        QCOMPARE(QFileInfo(m_path).isSymLink(), setup == SaveSetup::Symlink);
        auto mode = [](const QString &path) { return int(QFileInfo(path).permissions() & 0x777); };
        if (setup == SaveSetup::NoFolder)
            QCOMPARE(mode(m_folder), 0x700); // user, group, others
        if (setup == SaveSetup::Symlink)
            QCOMPARE(mode(link), 0x600);
    }

    // The list is read with "api", another program changes the file, "web" is added and saved.
    // A changed file is left as that program wrote it, without signalling the bridge, until
    // the save is told to overwrite it.
    void changedOnDisk_data()
    {
        QTest::addColumn<Start>("start");
        QTest::addColumn<Outside>("outside");
        QTest::addColumn<bool>("changed");
        auto row = [](const char *name, Start start, Outside outside, bool changed) {
            QTest::newRow(name) << start << outside << changed;
        };
        row("unchanged", Start::FileRead, Outside::Nothing, false);
        row("the same bytes written again", Start::FileRead, Outside::SameBytes, false);
        row("edited in place, same size", Start::FileRead, Outside::EditInPlace, true);
        row("replaced by rename", Start::FileRead, Outside::ReplaceByRename, true);
        row("removed", Start::FileRead, Outside::Remove, true);
        row("still missing", Start::NoFile, Outside::Nothing, false);
        row("appeared", Start::NoFile, Outside::Create, true);
        row("unreadable at load, removed", Start::Unreadable, Outside::Remove, true);
        row("unreadable now", Start::FileRead, Outside::PastCap, true);
        row("after our own save", Start::FileReadAndSaved, Outside::Nothing, false);
        row("edited after our own save", Start::FileReadAndSaved, Outside::EditInPlace, true);
    }

    void changedOnDisk()
    {
        QFETCH(Start, start);
        QFETCH(Outside, outside);
        QFETCH(bool, changed);
        const QByteArray api = "default: api\nprojects:\n  api: /api\n";
        const bool fileRead = start == Start::FileRead || start == Start::FileReadAndSaved;
        if (start == Start::Unreadable)
            QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
        else if (fileRead)
            QVERIFY(writeFile(m_path, api));
        ProjectConfig config(m_pgrep);
        config.load();
        config.addProject(QStringLiteral("web"), QStringLiteral("/web"));
        if (start == Start::FileReadAndSaved)
            QCOMPARE(config.save(), Result::Saved);
        const QString renamed = m_path + QStringLiteral(".new");
        switch (outside) {
        case Outside::Nothing:
            break;
        case Outside::SameBytes:
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
        case Outside::PastCap:
            QVERIFY(QFile(m_path).resize(ProjectConfig::kMaxFileBytes + 1));
            break;
        }
        const QByteArray theirs = readFile(m_path);
        QCOMPARE(config.changedOnDisk(), changed);
        const int signalsBefore = reloadSignals();
        QString why;
        QCOMPARE(config.save(&why), changed ? Result::ChangedOnDisk : Result::Saved);
        if (changed) {
            QVERIFY(!why.isEmpty());
            QCOMPARE(readFile(m_path), theirs);
            QCOMPARE(reloadSignals(), signalsBefore);
            QCOMPARE(config.save(&why, ProjectConfig::IfChangedOnDisk::Overwrite), Result::Saved);
        }
        QCOMPARE(reloadSignals(), signalsBefore + 1);
        QCOMPARE(readFile(m_path), fileRead ? api + "  web: /web\n"
                                            : QByteArray("default: web\nprojects:\n  web: /web\n"));
        QVERIFY(!config.changedOnDisk()); // what we wrote is known
    }
};

QTEST_GUILESS_MAIN(TestProjectConfig)
#include "tst_projectconfig.moc"
