#include "config/projectconfig.h"
#include "support/testhome.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace dorv;
using namespace dorv::test;

namespace {
using Result = ProjectConfig::SaveResult;

const QByteArray kAbc = "default: b\nprojects:\n  a: /a\n  b: /b\n  c: /c\n";

enum class AtPath { File, Nothing, Fifo };

enum class SaveSetup { File, NoFolder, Symlink, FileSizeLimit };

// Each alias, with "*" after the default ones.
QString shown(const ProjectConfig &c)
{
    QStringList list;
    for (const ProjectEntry &e : c.projects())
        list.append(e.alias + (e.isDefault ? QStringLiteral("*") : QString()));
    return list.join(u' ');
}
} // namespace

class TestProjectConfig : public QObject {
    Q_OBJECT
    TestHome m_home;
    const QString m_folder = m_home.file(QStringLiteral(".marvek"));
    const QString m_path = m_home.file(QStringLiteral(".marvek/chatwire-projects.yaml"));
    // What the bridge would read at each reload signal.
    const QString m_pgrep =
        writeListWatchingPgrep(m_home.file(QStringLiteral("bin/pgrep")), m_path);
    QByteArray seenByBridge() { return readFile(m_pgrep + QStringLiteral(".seen")); }

private Q_SLOTS:
    void init()
    {
        QDir(m_folder).removeRecursively();
        QFile::remove(m_folder);
        QDir().mkpath(m_folder);
        QFile::remove(m_pgrep + QStringLiteral(".seen"));
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
    }

    void load()
    {
        QFETCH(AtPath, at);
        QFETCH(qint64, size);
        QFETCH(bool, read);
        QFETCH(QByteArray, content);
        if (at == AtPath::Fifo)
            QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
        else if (at == AtPath::File)
            QVERIFY(writeFile(m_path, content));
        if (size >= 0)
            QVERIFY(QFile(m_path).resize(size));
        ProjectConfig config(m_path, m_pgrep);
        config.addProject(QStringLiteral("kept"), QStringLiteral("/k"));
        QSignalSpy spy(&config, &ProjectConfig::changed);
        config.load();
        QCOMPARE(spy.count(), read ? 1 : 0);
        QCOMPARE(shown(config), read ? QStringLiteral("a b* c") : QStringLiteral("kept*"));
    }

    // The entry "ok: /ok" is added to the list read from the file (and maybe one more), then
    // saved. A save that fails, or is refused because the list would not read back as written,
    // leaves the file and the edits as they were; a refusal names the entry, in one line.
    void save_data()
    {
        QTest::addColumn<SaveSetup>("setup");
        QTest::addColumn<QString>("alias"); // null: no second entry
        QTest::addColumn<QString>("named"); // what the reason names; null: saved
        auto row = [](const char *name, SaveSetup setup, const QString &alias = {},
                      const QString &named = {}) {
            QTest::newRow(name) << setup << alias << named;
        };
        row("first save makes a private folder", SaveSetup::NoFolder);
        row("through a symlink, keeping the mode", SaveSetup::Symlink);
        // Fails the way a full disk does, even for root.
        row("file size limit", SaveSetup::FileSizeLimit, {}, QStringLiteral(""));
        row("line break", SaveSetup::File, "a\nb", "\"a\u21b5b\"");
        row("lone surrogate", SaveSetup::File, QString(QChar(0xd800)), "\"");
    }

    void save()
    {
        QFETCH(SaveSetup, setup);
        QFETCH(QString, alias);
        QFETCH(QString, named);
        const QString link = m_home.file(QStringLiteral("dotfiles/projects.yaml"));
        const QString target = setup == SaveSetup::Symlink ? link : m_path;
        const QByteArray file = "old\n";
        if (setup == SaveSetup::NoFolder)
            QDir(m_folder).removeRecursively();
        else
            QVERIFY(writeFile(target, file));
        if (setup == SaveSetup::Symlink)
            QVERIFY(QFile::link(link, m_path) &&
                    QFile::setPermissions(link, QFile::ReadOwner | QFile::WriteOwner));
        ProjectConfig config(m_path, m_pgrep);
        config.load();
        config.addProject(QStringLiteral("ok"), QStringLiteral("/ok"));
        if (!alias.isNull())
            config.addProject(alias, QStringLiteral("/p"));
        const QString before = shown(config);
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
        QCOMPARE(shown(config), before);
        QCOMPARE(seenByBridge(), "---\n" + readFile(m_path)); // told after the file was written
        QVERIFY(QDir(m_folder).entryList(QDir::Files).size() <= 1); // no temporary file left
        QCOMPARE(QFileInfo(m_path).isSymLink(), setup == SaveSetup::Symlink);
        auto mode = [](const QString &path) { return int(QFileInfo(path).permissions() & 0x777); };
        if (setup == SaveSetup::NoFolder)
            QCOMPARE(mode(m_folder), 0x700); // user, group, others
        if (setup == SaveSetup::Symlink)
            QCOMPARE(mode(link), 0x600);
    }
};

QTEST_GUILESS_MAIN(TestProjectConfig)
#include "tst_projectconfig.moc"
