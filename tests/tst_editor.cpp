#include "config/projectconfig.h"
#include "support/drawncheck.h"
#include "support/uitestkit.h"
#include "ui/projectlistview.h"
#include "ui/settingswindowcontroller.h"
#include "ui/widgets/plainbutton.h"
#include "ui/widgets/wraplabel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTest>

using namespace dorv;
using namespace dorv::test;

namespace {
const QByteArray kAb = "projects:\n  a: /a\n  b: /b\n";
const QByteArray kApi = "projects:\n  api: /api\n";
const char *const kTheirs =
    "outside:projects:\n  api: /api\n  docs: /docs\n|add:/srv/web|save|sees:drops";
} // namespace

class TestEditor : public QObject {
    Q_OBJECT
    TestHome m_home;
    const QString m_folder = m_home.file(QStringLiteral(".marvek"));
    const QString m_config = m_folder + QStringLiteral("/chatwire-projects.yaml");
    // What the bridge would read at each reload signal.
    const QString m_pgrep =
        writeListWatchingPgrep(m_home.file(QStringLiteral("bin/pgrep")), m_config);
    QStringList m_picks; // answers of the fake folder picker, in order
    const QPalette m_light = QApplication::palette();
    ProjectConfig m_list{m_config, m_pgrep};
    SettingsWindowController m_controller{
        &m_list, [this](QWidget *, const QString &) -> std::optional<QString> {
            if (m_picks.isEmpty())
                return std::nullopt;
            return m_picks.takeFirst();
        }};

    QWidget *window() { return m_controller.window(); }
    ProjectListView *list() { return window()->findChild<ProjectListView *>(); }
    QByteArray seenByBridge() { return readFile(m_pgrep + QStringLiteral(".seen")); }
    // The button on screen named so (its accessible name, else its text), if there is one.
    QAbstractButton *button(const QString &name)
    {
        for (auto *b : window()->findChildren<QAbstractButton *>())
            if (b->isVisible() &&
                (b->accessibleName().isEmpty() ? b->text() : b->accessibleName()) == name)
                return b;
        return nullptr;
    }
    // The rows as drawn: each alias, with "*" after the default ones.
    QString rows()
    {
        QStringList shown;
        for (QWidget *row : list()->shownRows()) {
            const QString alias = row->findChild<WrapLabel *>(QStringLiteral("alias"))->text();
            const auto *star = row->findChild<QAbstractButton *>(QStringLiteral("starButton"));
            shown << alias + (star->isChecked() ? QStringLiteral("*") : QString());
        }
        return shown.join(u' ');
    }

    // Runs steps separated by "|" as a user and another program would: open, save, tab, space,
    // return, escape; add:FOLDER (picked with +); click:NAME, mouse:NAME (a button by its name);
    // outside:TEXT, same, renamed:TEXT, removed, unreadable, blocked, unblocked (the file or its
    // folder changed by another program); dark (the palette of the next window).
    // Checks: sees:TEXT, lacks:TEXT, rows:ROWS, focus:NAME (with its ring showing), newest (the
    // last row in full view).
    void run(const QString &steps)
    {
        const QHash<QString, Qt::Key> keys = {{"tab", Qt::Key_Tab},
                                              {"space", Qt::Key_Space},
                                              {"return", Qt::Key_Return},
                                              {"escape", Qt::Key_Escape}};
        for (const QString &step : steps.split(u'|')) {
            const QString verb = step.section(u':', 0, 0);
            const QString arg = step.section(u':', 1);
            const QString texts = window() ? visibleTexts(window()).join(u'/') : QString();
            QAbstractButton *named = verb == "click" || verb == "mouse" ? button(arg)
                                     : verb == "add"                    ? button("Add Project")
                                     : verb == "save"                   ? button("Save")
                                                                        : nullptr;
            if (verb == "click" || verb == "mouse" || verb == "add" || verb == "save")
                QVERIFY2(named, qPrintable("no button for " + step));
            auto *focused = qobject_cast<PlainButton *>(QApplication::focusWidget());
            if (verb == "open") {
                m_controller.open();
                QVERIFY(QTest::qWaitForWindowActive(window()));
                QTRY_VERIFY(!QApplication::focusWidget()); // no control has the focus until Tab
            } else if (keys.contains(verb)) {
                QWidget *target = QApplication::focusWidget();
                QTest::keyClick(target ? target : window(), keys[verb]);
            } else if (verb == "add") {
                m_picks = {arg};
                named->click();
            } else if (verb == "click" || verb == "save") {
                named->click();
            } else if (verb == "mouse") {
                QTest::mouseClick(named, Qt::LeftButton);
            } else if (verb == "outside" || verb == "unreadable" || verb == "same") {
                const QByteArray bytes = verb == "same" ? readFile(m_config) : arg.toUtf8();
                QVERIFY(writeFile(m_config, verb == "unreadable" ? "a: /\xff\n" : bytes));
            } else if (verb == "renamed") {
                QVERIFY(writeFile(m_config + ".new", arg.toUtf8()));
                QVERIFY(::rename(QFile::encodeName(m_config + ".new"),
                                 QFile::encodeName(m_config)) == 0);
            } else if (verb == "removed") {
                QVERIFY(QFile::remove(m_config));
            } else if (verb == "blocked" || verb == "unblocked") {
                QDir(m_folder).removeRecursively();
                QVERIFY(verb == "unblocked" ? QFile::remove(m_folder) : writeFile(m_folder, "x"));
            } else if (verb == "dark") {
                QPalette palette(QColor(50, 50, 52), QColor(40, 40, 42));
                palette.setColor(QPalette::WindowText, Qt::white);
                QApplication::setPalette(palette);
            } else if (verb == "sees" || verb == "lacks") {
                QVERIFY2(texts.contains(arg) == (verb == "sees"),
                         qPrintable(step + " in " + texts));
            } else if (verb == "rows") {
                QCOMPARE(rows(), arg);
            } else if (verb == "focus") {
                QVERIFY2(focused && focused->accessibleName() == arg &&
                             focused->showsKeyboardFocus(),
                         qPrintable(step + ", not " + (focused ? focused->accessibleName() : "")));
            } else if (verb == "newest") {
                QWidget *last = list()->rowWidget(list()->count() - 1);
                QTRY_VERIFY(last && list()->viewport()->rect().contains(QRect(
                                        last->mapTo(list()->viewport(), QPoint()), last->size())));
            } else {
                QFAIL(qPrintable("unknown step " + step));
            }
            QCoreApplication::processEvents(); // rows are rebuilt on the next pass
        }
    }

private Q_SLOTS:
    void init()
    {
        if (window())
            window()->close();
        QApplication::setPalette(m_light);
        m_picks.clear();
        QFile::remove(m_folder);
        QFile::remove(m_pgrep + QStringLiteral(".seen"));
    }

    // A user's day with the editor, one row each: the steps (see run()), then the rows shown
    // ("closed" for a closed window), the file, and whether the bridge was told to reload after
    // it was written (then it read that file).
    void scenarios_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("rows");
        QTest::addColumn<QByteArray>("after"); // null: the file as it was
        QTest::addColumn<bool>("told");
        auto row = [](const char *name, const QByteArray &file, const QString &steps,
                      const char *rows, const QByteArray &after = {}, bool told = false) {
            QTest::newRow(name) << file << "open|" + steps << QString::fromUtf8(rows)
                                << (after.isNull() ? file : after) << told;
        };
        const QByteArray empty = "projects:\n";
        const QByteArray saved = "default: a\nprojects:\n  a: /a\n  b: /b\n";
        row("edits", empty,
            "sees:No projects configured|add:/home/u/My Project|add:/home/u/My Project|"
            "add:/srv/web_frontend|rows:my-project* my-project web_frontend|"
            "click:Make web_frontend the default|click:Make web_frontend the default|"
            "rows:my-project my-project web_frontend*|click:Remove web_frontend|"
            "rows:my-project* my-project|click:Remove my-project|rows:my-project*|"
            "click:Remove my-project|sees:No projects configured",
            "");
        // A picked folder's alias: its name lower-cased, blanks and colons as hyphens, no more.
        row("aliases", empty,
            "add:/u/My Project|add:/u/a  b|add:/u/ lead|add:/u/Web_App.old|add:/u/Café Tools|"
            "add:/u/Notes: 2026|add:/u/a\tb",
            "my-project* a--b -lead web_app.old café-tools notes--2026 a\tb");
        row("Save writes, tells the bridge, closes", "projects:\n  a: /a\n",
            "add:/srv/Web App|click:Make web-app the default|save", "closed",
            "default: web-app\nprojects:\n  a: /a\n  web-app: /srv/Web App\n", true);
        row("shown again: the edits stay", kAb, "add:/srv/c|outside:projects:\n  o: /o\n|open",
            "a b c", "projects:\n  o: /o\n");
        row("closed and opened: the file", kAb, "add:/srv/c|escape|open", "a b");
        row("opened on an unreadable file: the edits stay", kAb,
            "add:/srv/c|escape|unreadable|open", "a b c", "a: /\xff\n");
        row("a refused folder, a failed save", empty,
            "escape|blocked|open|add:/home/u/Default|sees:\"default\" is reserved|add:/srv/a|"
            "lacks:reserved|save|sees:Could not save|sees:.marvek|rows:a*|unblocked|save",
            "closed", "default: a\nprojects:\n  a: /srv/a\n", true);
        // Tab walks +, each row's star and ×, then Save; Return presses the button whose ring
        // shows; with none, Return saves. (Space is the buttons' own; the focus row uses it.)
        row("Return, no focus", kAb, "return", "closed", saved, true);
        row("Return on ×", kAb, "tab|tab|tab|return", "b");
        row("Tab walks to the last row", kAb + "  c: /c\n",
            "tab|tab|tab|tab|tab|tab|tab|focus:Remove c", "a b c");
        row("Return after a click on ×", kAb, "mouse:Remove a|return", "closed",
            "default: b\nprojects:\n  b: /b\n", true);
        row("the focus stays on its row, or the next", kAb + "  c: /c\n",
            "tab|tab|tab|tab|tab|focus:Remove b|space|focus:Remove c|space|focus:Remove a|space|"
            "focus:Add Project",
            "");
        // Another program adds "docs" while the editor adds "web": Save keeps its file and the
        // edits and offers Reload or Replace; only Replace writes over the file.
        const QByteArray theirs = "projects:\n  api: /api\n  docs: /docs\n";
        // How another program changes the file: any change, and only a change, is one.
        const QByteArray ours = "default: api\nprojects:\n  api: /api\n  web: /srv/web\n";
        row("the same bytes written again", kApi, "add:/srv/web|same|save", "closed", ours, true);
        row("edited in place, same size", kApi,
            "add:/srv/web|outside:projects:\n  apx: /api\n|save|sees:drops", "api web",
            "projects:\n  apx: /api\n");
        row("replaced by rename", kApi, "add:/srv/web|renamed:projects:\n  r: /r\n|save|sees:drops",
            "api web", "projects:\n  r: /r\n");
        row("removed", kApi, "add:/srv/web|removed|save|sees:drops", "api web", "");
        row("still missing", kApi, "removed|escape|open|add:/srv/web|save", "closed", ours, true);
        row("appeared", kApi,
            "removed|escape|open|add:/srv/web|outside:projects:\n  d: /d\n|save|sees:drops",
            "api web", "projects:\n  d: /d\n");
        row("changed on disk: Return", kApi, QString(kTheirs) + "|return|sees:drops", "api web",
            theirs);
        row("changed on disk: Reload, Save", kApi,
            QString(kTheirs) + "|click:Reload|lacks:drops|rows:api docs|save", "closed",
            "default: api\n" + theirs, true);
        row("changed on disk: Replace", kApi, QString(kTheirs) + "|click:Replace", "closed", ours,
            true);
        row("changed on disk: an edit asks again", kApi,
            QString(kTheirs) + "|click:Remove web|lacks:drops|save|sees:drops", "api", theirs);
        row("changed on disk: closed, opened, changed again", kApi,
            QString(kTheirs) + "|escape|open|lacks:drops|outside:projects:\n  new: /new\n|save|"
                               "sees:drops",
            "api docs", "projects:\n  new: /new\n");
    }

    void scenarios()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, steps);
        QFETCH(QByteArray, after);
        QFETCH(bool, told);
        writeFile(m_config, file);
        run(steps);
        if (QTest::currentTestFailed())
            return;
        QTEST(window()->isVisible() ? rows() : QStringLiteral("closed"), "rows");
        QCOMPARE(readFile(m_config), after);
        const QByteArray seen = seenByBridge();
        QVERIFY2(told ? seen.endsWith("---\n" + after) : seen.isEmpty(), seen.constData());
    }

    // The focus ring is drawn in the room around each glyph: the glyph looks the same with it.
    void focusRing()
    {
        writeFile(m_config, "projects:\n  d: /d\n");
        run(QStringLiteral("open"));
        for (const char *name : {"Add Project", "Make d the default", "Remove d"}) {
            QAbstractButton *glyph = button(QString::fromUtf8(name));
            glyph->setFocus(Qt::TabFocusReason);
            const QImage on = glyph->grab().toImage();
            button(QStringLiteral("Save"))->setFocus(Qt::TabFocusReason);
            const QImage off = glyph->grab().toImage();
            QVERIFY2(on != off, name); // the ring shows
            const QRect inner = glyph->findChild<QLabel *>()->geometry();
            const QRect scaled(inner.topLeft() * on.devicePixelRatio(),
                               inner.size() * on.devicePixelRatio());
            QVERIFY2(on.copy(scaled) == off.copy(scaled), name);
        }
    }

    // The window as drawn: 320 x 360 where the screen has room, inside the screen where it has
    // not (tst_editor_2x), the list scrolling.
    void drawn_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("steps");
        QByteArray many = "projects:\n";
        for (int i = 0; i < 20; ++i)
            many += "  p" + QByteArray::number(i) + ": /p\n";
        const QByteArray three = "default: b\nprojects:\n  a: /a\n  b: /srv/b\n  c: /c\n";
        QTest::newRow("empty") << QByteArray("projects:\n") << "open";
        QTest::newRow("three") << three << "open";
        QTest::newRow("long name and path")
            << QByteArray("projects:\n  a-name-that-wraps-because-it-is-so-very-long-indeed: "
                          "/home/someone/src/a/very/deep/tree/of/folders/down/to/the/project\n")
            << "open";
        QTest::newRow("many, one added") << many << "open|add:/srv/newest|newest";
        QTest::newRow("Reload or Replace") << many << "open|outside:|save|sees:drops";
        QTest::newRow("Reload or Replace, dark") << three << "dark|open|outside:|save";
        QTest::newRow("a refused folder") << three << "open|add:/srv/default";
        QTest::newRow("focus on ×") << three << "open|tab|tab|tab";
    }

    void drawn()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, steps);
        writeFile(m_config, file);
        run(steps);
        if (QTest::currentTestFailed())
            return;
        CHECK_DRAWN(window());
        if (window()->screen()->availableGeometry().height() >= 420)
            QCOMPARE(window()->size(), QSize(320, 360));
        saveScreenshot(window(), QStringLiteral("editor-%1%2")
                                     .arg(QString::fromUtf8(QTest::currentDataTag()),
                                          window()->devicePixelRatio() > 1 ? "-2x" : ""));
    }
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
