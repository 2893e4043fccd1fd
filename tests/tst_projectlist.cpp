#include "config/projectlistformat.h"

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

// Name, text, what is read.
const char *const kReaderCases[][3] = {
    {"empty default, empty alias", "default:\nprojects:\n  : /x\n  a: /a", "=/x*|a=/a"},
    {"two defaults share alias", "default: a\nprojects:\n a: /1\n a: /2", "a=/1*|a=/2*"},
    {"every default: removed", "default: x default: y\nprojects:\n x  y: /p", "x  y=/p*"},
    {"last default wins", "default: a\ndefault: b\nprojects:\n a: /a\n b: /b", "a=/a|b=/b*"},
    {"default inside section", "projects:\n a: /a\n default: /x\n b: /b", "a=/a|b=/b"},
    {"first colon splits", "projects:\n  api: /srv/a:b\n  web:", "api=/srv/a:b|web="},
    {"every line break", "projects:\r\na:1\rb:2\vc:3\fd:4\u0085e:5\u2028f:6\u2029g:7",
     "a=1|b=2|c=3|d=4|e=5|f=6|g=7"},
    {"Unicode spaces", "\u00a0default:\u3000a\u00a0\nprojects:\u2003\n\ta\u00a0:\u202f/p\u00a0",
     "a=/p*"},
    {"zero-width space kept", "projects:\n\u200ba: /p", "\u200ba=/p"},
    {"blank, comment, item keep it", "projects:\n a: /a\n\n # x\n - y\n b: /b", "a=/a|b=/b"},
    {"item, comment with colon", "projects:\n - w: /w\n #n: x", "- w=/w|#n=x"},
    {"bare word ends section", "projects:\n a: /a\nx\n b: /b\nprojects:\n c: /c", "a=/a|c=/c"},
    {"later key read as entry", "projects:\n a: /a\nother: 1", "a=/a|other=1"},
    {"colon lines outside ignored", "x: 1\n a: /a\nprojects:\n b: /b", "b=/b"},
    {"section line exactly", "Projects:\n a: /a\nprojects: # list\n b: /b", ""},
    {"indented section line", "   projects:   \n a: /a", "a=/a"},
    {"quotes kept", "default: \"a\"\nprojects:\n \"a\": '/p q'", "\"a\"='/p q'*"},
    {"case-sensitive default", "default: API\nprojects:\n api: /a", "api=/a"},
};

// Random lists, the same on every run, from pieces the format finds hard.
QList<QList<ProjectEntry>> randomLists(int count)
{
    const QList<QString> alphabet = {
        "a", "b",  "Z",      "0",  " ",  "  ",     ":", "#",       "-",        "\"",       "'", "é",
        "✓", "\t", "\u00a0", "\n", "\r", "\u2028", "/", "default", "default:", "projects", "."};
    QRandomGenerator rng(20261206);
    auto text = [&](int maxPieces) {
        QString s;
        for (int n = rng.bounded(maxPieces + 1); n > 0; --n)
            s += alphabet[rng.bounded(int(alphabet.size()))];
        return s;
    };
    QList<QList<ProjectEntry>> lists;
    for (int round = 0; round < count; ++round) {
        QList<ProjectEntry> list;
        for (int n = rng.bounded(5); n > 0; --n)
            list.append(ProjectEntry::create(text(3), text(4), rng.bounded(3) == 0));
        lists.append(list);
    }
    return lists;
}
} // namespace

class TestProjectList : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reader_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        for (const auto &c : kReaderCases)
            QTest::newRow(c[0]) << QString::fromUtf8(c[1]) << QString::fromUtf8(c[2]);
    }

    void reader()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(describe(projectlist::parse(text)), expected);
    }

    // The writer refuses exactly those lists that would not read back with the same aliases
    // and paths in order, and what it writes keeps the default rule: the flags follow the alias
    // of the first default (or first) entry.
    void roundTripProperty()
    {
        int accepted = 0;
        for (const QList<ProjectEntry> &list : randomLists(4000)) {
            const QByteArray written = projectlist::serialize(list);
            const QList<ProjectEntry> back = projectlist::parse(QString::fromUtf8(written));
            const bool same = describe(back).remove(u'*') == describe(list).remove(u'*');
            QVERIFY2(same == projectlist::listProblem(list).isEmpty(), written.constData());
            if (!same)
                continue;
            ++accepted;
            const auto marked =
                std::find_if(list.begin(), list.end(), [](auto &e) { return e.isDefault; });
            const QString defaultAlias = marked != list.end() ? marked->alias : list.value(0).alias;
            for (const ProjectEntry &e : back)
                QCOMPARE(e.isDefault, e.alias == defaultAlias);
        }
        QVERIFY(accepted > 500 && accepted < 3500);
    }
};

QTEST_GUILESS_MAIN(TestProjectList)
#include "tst_projectlist.moc"
