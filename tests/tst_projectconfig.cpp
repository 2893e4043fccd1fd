#include "config/projectconfig.h"
#include "config/reloadsignal.h"
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
    const QString m_path = ProjectConfig::configPath();
    const QString m_folder = m_home.file(QStringLiteral(".marvek"));

private Q_SLOTS:
    void initTestCase() { QCOMPARE(m_path, m_folder + QStringLiteral("/chatwire-projects.yaml")); }

    void init()
    {
        QDir(m_folder).removeRecursively();
        QFile::remove(m_folder);
        QDir().mkpath(m_folder);
    }

    // What is at the list's path, and an edit after load() ("+x": add x; "-0 2": remove
    // positions; "=1": make that position default; "=?": an entry not in the list) -> the list
    // ('*' marks a default; "kept*": load() kept the list as it was, without a notification).
    // load() must return at once, whatever is there.
    void loadAndEdit_data()
    {
        QTest::addColumn<QByteArray>("content"); // "<...>": something other than a plain file
        QTest::addColumn<qint64>("size"); // >= 0: the file is cut or padded with zeros to this
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const QByteArray &content, const char *expected,
                      const char *edit = "", qint64 size = -1) {
            QTest::newRow(name) << content << size << QString(edit) << QString(expected);
        };
        const QByteArray abc("default: b\nprojects:\n  a: /a\n  b: /b\n  c: /c\n");
        row("byte-order mark", "\xef\xbb\xbf" + abc, "a b* c");
        row("64 MiB", abc, "a b* c", "", 64 << 20);
        row("over 64 MiB", abc, "kept*", "", (64 << 20) + 1);
        row("a sparse terabyte", abc, "kept*", "", qint64(1) << 40); // never allocated to be read
        row("missing", "<missing>", "kept*");
        row("invalid utf-8", "projects:\n  b: /\xff\xfe\n", "kept*");
        row("a FIFO", "<fifo>", "kept*");
        row("link to /dev/zero", "<zero>", "kept*");
        row("add to empty", "projects:\n", "x*", "+x");
        row("add to a list", abc, "a b* c x", "+x");
        row("remove the only entry", "default: a\nprojects:\n  a: /a\n", "", "-0");
        row("remove the default", abc, "a* c", "-1");
        row("remove another", abc, "a b*", "-2");
        row("remove two, the second default", abc, "c*", "-0 1");
        row("out of range and repeated", abc, "b* c", "-5 -1 0 3 0");
        row("setDefault", abc, "a b c*", "=2");
        row("setDefault unknown id", abc, "a b c", "=?");
    }

    void loadAndEdit()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, size);
        QFETCH(QString, edit);
        QFETCH(QString, expected);
        if (content == "<fifo>")
            QCOMPARE(::mkfifo(QFile::encodeName(m_path).constData(), 0600), 0);
        else if (content == "<zero>")
            QVERIFY(QFile::link(QStringLiteral("/dev/zero"), m_path));
        else if (content != "<missing>")
            QVERIFY(writeFile(m_path, content));
        if (size >= 0)
            QVERIFY(QFile(m_path).resize(size));
        ProjectConfig config(QStringLiteral("/bin/true"));
        config.addProject(QStringLiteral("kept"), QStringLiteral("/k"));
        QSignalSpy spy(&config, &ProjectConfig::changed);
        config.load();
        QCOMPARE(spy.count(), expected == QStringLiteral("kept*") ? 0 : 1);
        const QString argument = edit.mid(1);
        if (edit.startsWith(u'+')) {
            config.addProject(argument, QStringLiteral("/p"));
        } else if (edit.startsWith(u'-')) {
            QList<qsizetype> positions;
            for (const QString &n : argument.split(u' '))
                positions.append(n.toLongLong());
            config.removeProject(positions);
        } else if (edit.startsWith(u'=')) {
            config.setDefault(argument == u'?' ? ProjectEntry::create(QStringLiteral("a"), {})
                                               : config.projects().at(argument.toInt()));
        }
        QCOMPARE(flags(config), expected);
    }

    // The entry "ok: /ok" is added to the list read from `file` (and maybe one more), then saved.
    // A save that fails, or is refused because the list would not read back as written, leaves
    // the file and the edits as they were; a refusal names the entry, in one readable line.
    void save_data()
    {
        QTest::addColumn<QByteArray>("setup");
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("alias"); // null: no second entry
        QTest::addColumn<QString>("named"); // what the reason names; null: saved
        auto row = [](const char *name, const char *setup, const QString &alias = {},
                      const QString &named = {}, const char *file = "old\n") {
            QTest::newRow(name) << QByteArray(setup) << QByteArray(file) << alias << named;
        };
        row("first save makes a private folder", "<no folder>");
        row("through a symlink, keeping the mode", "<symlink>");
        // Fails the way a full disk does, even for root.
        row("file size limit", "<file size limit>", {}, QStringLiteral(""));
        row(".marvek is a file", "<.marvek is a file>", {}, QStringLiteral(""));
        row("hand-written default entry", "", {}, "\"default\"", "projects:\n  default : /x\n");
        row("line break", "", "a\nb", "\"a\u21b5b\"");
        row("lone surrogate", "", QString(QChar(0xd800)), "\"");
    }

    void save()
    {
        QFETCH(QByteArray, setup);
        QFETCH(QByteArray, file);
        QFETCH(QString, alias);
        QFETCH(QString, named);
        const QString link = m_home.file(QStringLiteral("dotfiles/projects.yaml"));
        const QString target = setup == "<symlink>"             ? link
                               : setup == "<.marvek is a file>" ? m_folder
                                                                : m_path;
        if (setup == "<no folder>" || setup == "<.marvek is a file>")
            QDir(m_folder).removeRecursively();
        if (setup != "<no folder>")
            QVERIFY(writeFile(target, file));
        if (setup == "<symlink>")
            QVERIFY(QFile::link(link, m_path) &&
                    QFile::setPermissions(link, QFile::ReadOwner | QFile::WriteOwner));
        ProjectConfig config(QStringLiteral("/bin/true"));
        config.load();
        config.addProject(QStringLiteral("ok"), QStringLiteral("/ok"));
        if (!alias.isNull())
            config.addProject(alias, QStringLiteral("/p"));
        const QString before = flags(config);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit tight{16, saved.rlim_max};
        if (setup == "<file size limit>")
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tight), 0);
        QString why;
        const bool written = config.save(&why);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(written, named.isNull());
        QVERIFY2(why.contains(named) && why.isValidUtf16() && !why.contains(u'\n'),
                 qPrintable(why));
        QCOMPARE(readFile(target),
                 written ? QByteArray("default: ok\nprojects:\n  ok: /ok\n") : file);
        QCOMPARE(flags(config), before);
        QVERIFY(QDir(m_folder).entryList(QDir::Files).size() <= 1); // no temporary file left
        QCOMPARE(QFileInfo(m_path).isSymLink(), setup == "<symlink>");
        auto mode = [](const QString &path) { return int(QFileInfo(path).permissions() & 0x777); };
        if (setup == "<no folder>")
            QCOMPARE(mode(m_folder), 0x700); // user, group, others
        if (setup == "<symlink>")
            QCOMPARE(mode(link), 0x600);
    }
};

QTEST_GUILESS_MAIN(TestProjectConfig)
#include "tst_projectconfig.moc"
