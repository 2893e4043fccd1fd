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
    void reader_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        auto row = [](const char *name, const char *text, const char *expected) {
            QTest::newRow(name) << QString::fromUtf8(text) << QString::fromUtf8(expected);
        };
        row("written form", "default: api\nprojects:\n  webapp: /w\n  api: /a\n",
            "webapp=/w|api=/a*");
        row("empty default, empty alias", "default:\nprojects:\n  : /x\n  a: /a", "=/x*|a=/a");
        row("two defaults share alias", "default: a\nprojects:\n a: /1\n a: /2\n b: /3",
            "a=/1*|a=/2*|b=/3");
        row("default removed everywhere", "default: x default: y\nprojects:\n x  y: /p",
            "x  y=/p*");
        row("last default wins", "default: a\ndefault: b\nprojects:\n a: /a\n b: /b", "a=/a|b=/b*");
        row("default inside section", "projects:\n  a: /a\n  default: /srv/x\n  b: /b",
            "a=/a|b=/b");
        row("first colon splits", "projects:\n  api: /srv/a:b\n  web:", "api=/srv/a:b|web=");
        row("every line break",
            "projects:\r\n  a: /a\r b: /b\v c: /c\f d: /d\u0085 e: /e\u2028 f: /f\u2029g: /g",
            "a=/a|b=/b|c=/c|d=/d|e=/e|f=/f|g=/g");
        row("Unicode spaces",
            "\u00a0default:\u3000a\u00a0\nprojects:\u2003\n\ta\u00a0:\u202f/p\u00a0", "a=/p*");
        row("zero-width space kept", "projects:\n\u200ba: /p", "\u200ba=/p");
        row("blank, comment, list item keep section",
            "projects:\n a: /a\n\n # note\n - item\n b: /b", "a=/a|b=/b");
        row("list item, comment with colon", "projects:\n - web: /w\n #note: x",
            "- web=/w|#note=x");
        row("bare word ends section", "projects:\n a: /a\nnotes\n b: /b\nprojects:\n c: /c",
            "a=/a|c=/c");
        row("later key read as entry", "projects:\n a: /a\nother: 1", "a=/a|other=1");
        row("colon lines outside ignored", "x: 1\n a: /a\nprojects:\n b: /b", "b=/b");
        row("section line exactly", "Projects:\n a: /a\nprojects: # list\n b: /b", "");
        row("indented section line", "   projects:   \n a: /a", "a=/a");
        row("quotes kept", "default: \"a\"\nprojects:\n \"a\": '/p q'", "\"a\"='/p q'*");
        row("case-sensitive default", "default: API\nprojects:\n api: /a", "api=/a");
    }

    void reader()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(describe(projectlist::parse(text)), expected);
    }

    // Every list the writer accepts reads back with the same aliases, paths and order, and the
    // default rule; every entry it refuses is one that would not read back the same.
    void roundTripProperty()
    {
        const QList<QString> alphabet = {"a", "b",       "Z",        "0",        " ",  "  ",
                                         ":", "#",       "-",        "\"",       "'",  "é",
                                         "✓", "\t",      "\u00a0",   "\n",       "\r", "\u2028",
                                         "/", "default", "default:", "projects", "."};
        QRandomGenerator rng(20261206);
        auto text = [&](int maxPieces) {
            QString s;
            for (int n = rng.bounded(maxPieces + 1); n > 0; --n)
                s += alphabet[rng.bounded(int(alphabet.size()))];
            return s;
        };
        auto readBack = [](const QList<ProjectEntry> &list) {
            return projectlist::parse(QString::fromUtf8(projectlist::serialize(list)));
        };
        auto plain = [](const QList<ProjectEntry> &list) { return describe(list).remove(u'*'); };
        int accepted = 0, refused = 0;
        for (int round = 0; round < 4000; ++round) {
            QList<ProjectEntry> list;
            for (int n = rng.bounded(5); n > 0; --n)
                list.append(ProjectEntry::create(text(3), text(4), rng.bounded(3) == 0));
            if (!projectlist::listProblem(list).isEmpty()) {
                ++refused;
                for (const ProjectEntry &e : list) {
                    if (!projectlist::entryProblem(e.alias, e.path).isEmpty())
                        QVERIFY2(plain(readBack({e})) != plain({e}), qPrintable(describe({e})));
                }
                continue;
            }
            ++accepted;
            const QList<ProjectEntry> back = readBack(list);
            QCOMPARE(plain(back), plain(list));
            // The default rule: flags follow the alias of the first default (or first) entry.
            const auto marked =
                std::find_if(list.begin(), list.end(), [](auto &e) { return e.isDefault; });
            const QString defaultAlias = marked != list.end() ? marked->alias : list.value(0).alias;
            for (const ProjectEntry &e : back)
                QCOMPARE(e.isDefault, e.alias == defaultAlias);
        }
        QVERIFY(accepted > 500 && refused > 500);
    }
};

QTEST_GUILESS_MAIN(TestProjectList)
#include "tst_projectlist.moc"
