#include "projectlistformat.h"

#include <QRandomGenerator>
#include <QTest>

using namespace dorv;

namespace {
// "alias=path*" per entry, '*' marking a default, joined by '|'.
QString describe(const QList<ProjectEntry> &entries)
{
    QStringList parts;
    for (const ProjectEntry &e : entries)
        parts.append(e.alias + u'=' + e.path + (e.isDefault ? QStringLiteral("*") : QString()));
    return parts.join(u'|');
}
} // namespace

class TestProjectList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reader_data();
    void reader();
    void freshIds();
    void writer_data();
    void writer();
    void refusals_data();
    void refusals();
    void roundTripProperty();
};

void TestProjectList::reader_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *name, const QString &text, const QString &expected) {
        QTest::newRow(name) << text << expected;
    };
    row("written form", "default: api\nprojects:\n  webapp: /w\n  api: /a\n", "webapp=/w|api=/a*");
    row("only section line", "projects:\n", "");
    row("empty file", "", "");
    row("default before section", "default: api\nprojects:\n  api: /a\n  web: /w",
        "api=/a*|web=/w");
    row("no default line", "projects:\n  api: /a\n  web: /w", "api=/a|web=/w");
    row("empty default, empty alias", "default:\nprojects:\n  : /x\n  a: /a", "=/x*|a=/a");
    row("two defaults share alias", "default: a\nprojects:\n a: /1\n a: /2\n b: /3",
        "a=/1*|a=/2*|b=/3");
    row("default:default:api", "default:default:api\nprojects:\n api: /a", "api=/a*");
    row("default removed everywhere", "default: x default: y\nprojects:\n x  y: /p", "x  y=/p*");
    row("last default wins", "default: a\ndefault: b\nprojects:\n a: /a\n b: /b", "a=/a|b=/b*");
    row("default inside section", "projects:\n  a: /a\n  default: /srv/x\n  b: /b", "a=/a|b=/b");
    row("path with colon", "projects:\n  api: /srv/a:b", "api=/srv/a:b");
    row("nothing after colon", "projects:\n  api:", "api=");
    row("CRLF", "default: a\r\nprojects:\r\n  a: /a\r\n  b: /b\r\n", "a=/a*|b=/b");
    row("CR only", "projects:\r  a: /a\r  b: /b", "a=/a|b=/b");
    row("U+2028 and NEL", QStringLiteral("projects:\u2028  a: /a\u0085  b: /b\u2029c: /c"),
        "a=/a|b=/b|c=/c");
    row("VT and FF", "projects:\v a: /a\f b: /b", "a=/a|b=/b");
    row("no-break and ideographic spaces",
        QStringLiteral("\u00a0default:\u3000a\u00a0\nprojects:\u2003\n\ta\u00a0:\u202f/p\u00a0"),
        "a=/p*");
    row("zero-width space is not trimmed", QStringLiteral("projects:\n\u200ba: /p"),
        QStringLiteral("\u200ba=/p"));
    row("blank and comment keep section", "projects:\n a: /a\n\n # note\n b: /b", "a=/a|b=/b");
    row("list item keeps section", "projects:\n a: /a\n - item\n b: /b", "a=/a|b=/b");
    row("list item with colon is entry", "projects:\n - web: /srv/web", "- web=/srv/web");
    row("#note: x is entry", "projects:\n #note: x\n a: /a", "#note=x|a=/a");
    row("bare word ends section", "projects:\n a: /a\nnotes\n b: /b\nprojects:\n c: /c",
        "a=/a|c=/c");
    row("later key read as entry", "projects:\n a: /a\nother: 1", "a=/a|other=1");
    row("colon lines outside ignored", "x: 1\n a: /a\nprojects:\n b: /b", "b=/b");
    row("capitalised section", "Projects:\n a: /a", "");
    row("section with comment", "projects: # list\n a: /a", "");
    row("commented section", "# projects:\n a: /a", "");
    row("indented section line", "   projects:   \n a: /a", "a=/a");
    row("quotes kept", "default: \"a\"\nprojects:\n \"a\": '/p q'", "\"a\"='/p q'*");
    row("duplicate aliases", "projects:\n a: /1\n a: /2", "a=/1|a=/2");
    row("case-sensitive default", "default: API\nprojects:\n api: /a", "api=/a");
}

void TestProjectList::reader()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(describe(projectlist::parse(text)), expected);
}

void TestProjectList::freshIds()
{
    const QString text = QStringLiteral("projects:\n a: /a\n a: /a");
    const auto first = projectlist::parse(text);
    const auto second = projectlist::parse(text);
    QCOMPARE(first.size(), 2);
    QVERIFY(first[0].id != first[1].id);
    QVERIFY(first[0] != second[0]); // same line, different loads: not equal
    QVERIFY(!first[0].id.isNull());
}

void TestProjectList::writer_data()
{
    QTest::addColumn<QList<ProjectEntry>>("entries");
    QTest::addColumn<QByteArray>("bytes");
    auto e = [](const char *a, const char *p, bool d = false) {
        return ProjectEntry::create(QString::fromUtf8(a), QString::fromUtf8(p), d);
    };
    QTest::newRow("empty") << QList<ProjectEntry>{} << QByteArray("default: \nprojects:\n");
    QTest::newRow("second is default")
        << QList<ProjectEntry>{e("webapp", "/Users/user/src/webapp"),
                               e("api", "/Users/user/src/api-server", true)}
        << QByteArray("default: api\nprojects:\n  webapp: /Users/user/src/webapp\n"
                      "  api: /Users/user/src/api-server\n");
    QTest::newRow("no default: first") << QList<ProjectEntry>{e("a", "/a"), e("b", "/b")}
                                       << QByteArray("default: a\nprojects:\n  a: /a\n  b: /b\n");
    QTest::newRow("several defaults: first marked")
        << QList<ProjectEntry>{e("a", "/a"), e("b", "/b", true), e("c", "/c", true)}
        << QByteArray("default: b\nprojects:\n  a: /a\n  b: /b\n  c: /c\n");
    QTest::newRow("utf-8, no escaping")
        << QList<ProjectEntry>{e("café", "/p q/\"x\" #y", true)}
        << QByteArray("default: café\nprojects:\n  café: /p q/\"x\" #y\n");
}

void TestProjectList::writer()
{
    QFETCH(QList<ProjectEntry>, entries);
    QFETCH(QByteArray, bytes);
    QCOMPARE(projectlist::serialize(entries), bytes);
}

void TestProjectList::refusals_data()
{
    QTest::addColumn<QString>("alias");
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("refused");
    auto row = [](const char *name, const QString &alias, const QString &path, bool refused) {
        QTest::newRow(name) << alias << path << refused;
    };
    row("plain", "api", "/srv/api", false);
    row("empty alias", "", "/x", false);
    row("hash and dash", "#-x", "-/#", false);
    row("inner blanks", "a b", "/a b/c", false);
    row("colon in alias", "a:b", "/p", true);
    row("colon in path", "a", "/p:q", false);
    row("alias default", "default", "/p", true);
    row("alias projects, empty path", "projects", "", true);
    row("alias projects with path", "projects", "/p", false);
    row("leading blank alias", " a", "/p", true);
    row("trailing nbsp path", "a", QStringLiteral("/p\u00a0"), true);
    row("tab in path end", "a", "/p\t", true);
    row("line break alias", "a\nb", "/p", true);
    row("LS in path", "a", QStringLiteral("/p\u2028q"), true);
    row("lone surrogate", QString(QChar(0xd800)), "/p", true);
}

void TestProjectList::refusals()
{
    QFETCH(QString, alias);
    QFETCH(QString, path);
    QFETCH(bool, refused);
    QCOMPARE(!projectlist::entryProblem(alias, path).isEmpty(), refused);
}

// Every list the writer accepts reads back with the same aliases, paths and order, and the
// default rule; every list it refuses is one that would not read back the same.
void TestProjectList::roundTripProperty()
{
    const QList<QString> alphabet = {
        "a", "b",  "Z",      "0",  " ",  "  ",     ":", "#",       "-",        "\"",       "'", "é",
        "✓", "\t", "\u00a0", "\n", "\r", "\u2028", "/", "default", "default:", "projects", "."};
    QRandomGenerator rng(20261206);
    auto randomText = [&](int maxPieces) {
        QString s;
        const int n = rng.bounded(maxPieces + 1);
        for (int i = 0; i < n; ++i)
            s += alphabet[rng.bounded(int(alphabet.size()))];
        return s;
    };
    int accepted = 0;
    int refused = 0;
    for (int round = 0; round < 4000; ++round) {
        QList<ProjectEntry> list;
        const int count = rng.bounded(5);
        for (int i = 0; i < count; ++i)
            list.append(ProjectEntry::create(randomText(3), randomText(4), rng.bounded(3) == 0));

        const QList<ProjectEntry> back =
            projectlist::parse(QString::fromUtf8(projectlist::serialize(list)));
        bool same = back.size() == list.size();
        for (qsizetype i = 0; same && i < list.size(); ++i)
            same = back[i].alias == list[i].alias && back[i].path == list[i].path;

        if (projectlist::listProblem(list).isEmpty()) {
            ++accepted;
            QVERIFY2(same, qPrintable(describe(list) + QStringLiteral(" -> ") + describe(back)));
            // The default rule: flags follow the alias of the first default (or first) entry.
            std::optional<QString> defaultAlias;
            for (const ProjectEntry &e : list) {
                if (e.isDefault && !defaultAlias)
                    defaultAlias = e.alias;
            }
            if (!defaultAlias && !list.isEmpty())
                defaultAlias = list.first().alias;
            for (const ProjectEntry &e : back)
                QCOMPARE(e.isDefault, e.alias == defaultAlias);
        } else {
            ++refused;
            // A single refused entry on its own must really fail to read back.
            for (const ProjectEntry &e : list) {
                if (projectlist::entryProblem(e.alias, e.path).isEmpty())
                    continue;
                const auto one = projectlist::parse(QString::fromUtf8(projectlist::serialize({e})));
                const bool oneSame =
                    one.size() == 1 && one[0].alias == e.alias && one[0].path == e.path;
                QVERIFY2(!oneSame, qPrintable(describe({e})));
            }
        }
    }
    QVERIFY(accepted > 500);
    QVERIFY(refused > 500);
}

QTEST_GUILESS_MAIN(TestProjectList)
#include "tst_projectlist.moc"
