#include "config/projectconfig.h"
#include "support/drawncheck.h"
#include "support/uitestkit.h"
#include "ui/projecteditorview.h"
#include "ui/projectlistview.h"
#include "ui/settingswindowcontroller.h"
#include "ui/widgets/plainbutton.h"
#include "ui/widgets/wraplabel.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

using namespace dorv;
using namespace dorv::test;

class TestEditor : public QObject {
    Q_OBJECT
    TestHome m_home;
    QString m_config;
    QString m_pgrep;     // a stand-in that records its calls
    QStringList m_picks; // answers of the fake folder picker, in order

    ProjectConfig *m_list = nullptr;
    std::unique_ptr<SettingsWindowController> m_controller;

    SettingsWindowController &controller() { return *m_controller; }
    QWidget *window() { return controller().window(); }
    ProjectListView *list() { return window()->findChild<ProjectListView *>(); }
    // The named button of each row on screen, top to bottom.
    QList<QAbstractButton *> buttons(const QString &name)
    {
        QCoreApplication::processEvents(); // rows are rebuilt on the next pass
        QList<QAbstractButton *> found;
        for (QWidget *row : list()->shownRows())
            found << row->findChild<QAbstractButton *>(name);
        return found;
    }
    // The rows as drawn: each alias, with "*" after the default ones.
    QString rows()
    {
        const auto stars = buttons(QStringLiteral("starButton"));
        QStringList shown;
        for (QWidget *row : list()->shownRows())
            shown << row->findChild<WrapLabel *>(QStringLiteral("alias"))->text();
        for (qsizetype i = 0; i < shown.size(); ++i)
            shown[i] += stars[i]->isChecked() ? QStringLiteral("*") : QString();
        return shown.join(u' ');
    }
    // Whether a one-pixel line is drawn under each row but the last, inset at the leading side.
    QString dividers()
    {
        const QImage image = list()->grab().toImage();
        const qreal dpr = image.devicePixelRatio();
        QString drawn;
        for (QWidget *row : list()->shownRows()) {
            const int y = row->geometry().bottom() + 1;
            auto at = [&](int x) { return image.pixelColor(QPoint(x, y) * dpr); };
            drawn += at(100) != at(20) ? u'-' : u'.';
        }
        return drawn;
    }
    void add(const QString &folder)
    {
        m_picks = {folder};
        window()->findChild<QAbstractButton *>(QStringLiteral("addButton"))->click();
    }
    void save() { window()->findChild<QPushButton *>(QStringLiteral("saveButton"))->click(); }

private Q_SLOTS:
    void initTestCase();
    void init();
    void aliasRule();
    void reopening();
    void listEdits();
    void refusedFolderAndFailedSave();
    void fileChangedWhileOpen();
    void keyboard();
    void keyboardRows();
    void longListShowsNewRow();
    void pickerStartsAtHome();
};

void TestEditor::initTestCase()
{
    m_config = ProjectConfig::configPath();
    m_pgrep = writeRecordingTool(m_home.file(QStringLiteral("bin/pgrep")), 1);
    m_list = new ProjectConfig(m_pgrep, this);
    m_controller = std::make_unique<SettingsWindowController>(
        m_list, [this](QWidget *, const QString &) -> std::optional<QString> {
            if (m_picks.isEmpty())
                return std::nullopt;
            return m_picks.takeFirst();
        });
}

void TestEditor::init()
{
    if (window())
        window()->close();
    writeFile(m_config, "projects:\n"); // a missing file would keep the last test's list
    QFile::remove(m_pgrep + QStringLiteral(".argv"));
}

// A picked folder's alias: its name lower-cased, blanks and colons as hyphens, nothing else.
void TestEditor::aliasRule()
{
    const QList<std::pair<QString, QString>> cases = {{"/home/u/My Project", "my-project"},
                                                      {"/home/u/a  b", "a--b"},
                                                      {"/home/u/ lead", "-lead"},
                                                      {"/home/u/Web_App.old", "web_app.old"},
                                                      {"/home/u/Café Tools", "café-tools"},
                                                      {"/home/u/Notes: 2026", "notes--2026"},
                                                      {"/home/u/a\tb", "a\tb"}};
    for (const auto &[folder, alias] : cases)
        QCOMPARE(SettingsWindowController::aliasForFolder(folder), alias);
}

// One window while it is on screen, edits kept; a new one from the file after closing, unless
// the file cannot be read.
void TestEditor::reopening()
{
    writeFile(m_config, "projects:\n  a: /a\n");
    controller().open();
    QPointer<QWidget> first = window();
    add(QStringLiteral("/srv/b"));
    writeFile(m_config, "projects:\n  other: /o\n");
    controller().open();
    QCOMPARE(window(), first.data());
    QCOMPARE(rows(), QStringLiteral("a b"));

    first->close();
    controller().open();
    QVERIFY(!first); // a new window each time
    QCOMPARE(rows(), QStringLiteral("other"));
    add(QStringLiteral("/srv/c"));
    window()->close();
    writeFile(m_config, "projects:\n  a: /\xff\n"); // not UTF-8: the edits stay
    controller().open();
    QCOMPARE(rows(), QStringLiteral("other c"));
}

void TestEditor::listEdits()
{
    controller().open();
    QVERIFY(window()->findChild<QWidget *>(QStringLiteral("emptyNotice"))->isVisible());
    add(QStringLiteral("/home/u/My Project")); // the first one is the default
    add(QStringLiteral("/home/u/My Project")); // the same folder twice: two rows
    add(QStringLiteral("/srv/web_frontend"));
    QCOMPARE(rows(), QStringLiteral("my-project* my-project web_frontend"));
    QCOMPARE(dividers(), QStringLiteral("--."));
    CHECK_DRAWN(window());
    QVERIFY(visibleTexts(window()).contains(QStringLiteral("/srv/web_frontend")));
    saveScreenshot(window(), QStringLiteral("editor-three"));
    buttons(QStringLiteral("starButton")).at(2)->click();
    QCOMPARE(rows(), QStringLiteral("my-project my-project web_frontend*"));
    buttons(QStringLiteral("starButton")).at(2)->click(); // already the default
    QCOMPARE(rows(), QStringLiteral("my-project my-project web_frontend*"));
    buttons(QStringLiteral("deleteButton")).at(2)->click(); // the default: the first takes over
    QCOMPARE(rows(), QStringLiteral("my-project* my-project"));
    QCOMPARE(buttons(QStringLiteral("deleteButton")).at(0)->accessibleName(),
             QStringLiteral("Remove my-project"));
    buttons(QStringLiteral("deleteButton")).at(0)->click();
    buttons(QStringLiteral("deleteButton")).at(0)->click();
    QCoreApplication::processEvents();
    QVERIFY(window()->findChild<QWidget *>(QStringLiteral("emptyNotice"))->isVisible());
}

// Why a folder or a save was refused is readable in full, and nothing is lost.
void TestEditor::refusedFolderAndFailedSave()
{
    // No folder to write into, from the start: a folder removed while the editor is open
    // would be a file changed on disk.
    QDir(m_home.file(QStringLiteral(".marvek"))).removeRecursively();
    writeFile(m_home.file(QStringLiteral(".marvek")), "a file, not a folder");
    controller().open();
    add(QStringLiteral("/home/u/Default"));
    QVERIFY(visibleTexts(window()).filter(QStringLiteral("\"default\" is reserved")).size() == 1);
    CHECK_DRAWN(window());
    add(QStringLiteral("/srv/a"));
    QVERIFY(visibleTexts(window()).filter(QStringLiteral("reserved")).isEmpty());

    save();
    QVERIFY(window()->isVisible());
    QCOMPARE(rows(), QStringLiteral("a*"));
    const QStringList notice = visibleTexts(window()).filter(QStringLiteral("Could not save"));
    QCOMPARE(notice.size(), 1);
    QVERIFY2(notice[0].endsWith(QStringLiteral(".marvek")), qPrintable(notice[0]));
    CHECK_DRAWN(window());
    saveScreenshot(window(), QStringLiteral("editor-failed-save"));
    QVERIFY(!recordedArguments(m_pgrep).isEmpty()); // the bridge is still told to reload
    QFile::remove(m_home.file(QStringLiteral(".marvek")));
    save();
    QVERIFY(!window()->isVisible());
    QCOMPARE(readFile(m_config), QByteArray("default: a\nprojects:\n  a: /srv/a\n"));
}

// Another program adds "docs" while the editor is open: the first Save keeps that file and the
// edits and says so; a second Save replaces the file.
void TestEditor::fileChangedWhileOpen()
{
    writeFile(m_config, "projects:\n  api: /api\n");
    controller().open();
    const QByteArray theirs = "projects:\n  api: /api\n  docs: /docs\n";
    writeFile(m_config, theirs);
    add(QStringLiteral("/srv/web"));
    save();
    QVERIFY(window()->isVisible());
    QCOMPARE(rows(), QStringLiteral("api web"));
    QCOMPARE(readFile(m_config), theirs);
    QCOMPARE(visibleTexts(window()).filter(QStringLiteral("changed on disk")).size(), 1);
    CHECK_DRAWN(window());
    save();
    QVERIFY(!window()->isVisible());
    QCOMPARE(readFile(m_config),
             QByteArray("default: api\nprojects:\n  api: /api\n  web: /srv/web\n"));
}

void TestEditor::keyboard()
{
    writeFile(m_config, "projects:\n  a: /a\n");
    controller().open();
    add(QStringLiteral("/srv/b"));
    QVERIFY(QTest::qWaitForWindowActive(window()));
    QTest::keyClick(window(), Qt::Key_Escape); // closes without saving
    QVERIFY(!window()->isVisible());
    QCOMPARE(readFile(m_config), QByteArray("projects:\n  a: /a\n"));
    controller().open();
    add(QStringLiteral("/srv/Web App"));
    buttons(QStringLiteral("starButton")).at(1)->click();
    QVERIFY(QTest::qWaitForWindowActive(window()));
    QTest::keyClick(window(), Qt::Key_Return); // saves, signals the bridge, closes
    QVERIFY(!window()->isVisible());
    QCOMPARE(readFile(m_config),
             QByteArray("default: web-app\nprojects:\n  a: /a\n  web-app: /srv/Web App\n"));
    QCOMPARE(recordedArguments(m_pgrep), QStringList({"-f", "chatwire-bridge.*server\\.py"}));
}

// Tab goes top to bottom; a star or a remove done from the keyboard leaves the focus on its row,
// or on the next one, with its ring drawn around the glyph, never over it.
void TestEditor::keyboardRows()
{
    writeFile(m_config, "projects:\n  a: /a\n  b: /b\n  c: /c\n");
    controller().open();
    QVERIFY(QTest::qWaitForWindowActive(window()));
    auto focused = [] { return QApplication::focusWidget(); };
    auto name = [&] {
        auto *button = qobject_cast<QAbstractButton *>(focused());
        if (!focused())
            return QStringLiteral("(no focus)");
        return focused()->accessibleName().isEmpty() && button ? button->text()
                                                               : focused()->accessibleName();
    };
    auto press = [&](Qt::Key key) {
        QTest::keyClick(focused() ? focused() : window(), key);
        QCoreApplication::processEvents(); // the rows are shown afresh
        return name();
    };
    auto *add = window()->findChild<QAbstractButton *>(QStringLiteral("addButton"));
    add->setFocus(Qt::TabFocusReason);
    QStringList order{name()};
    for (int i = 0; i < 7; ++i)
        order << press(Qt::Key_Tab);
    QCOMPARE(order,
             QStringList({"Add Project", "Make a the default", "Remove a", "Make b the default",
                          "Remove b", "Make c the default", "Remove c", "Save"}));
    for (int i = 0; i < 3; ++i)
        press(Qt::Key_Backtab);
    QCOMPARE(press(Qt::Key_Backtab), QStringLiteral("Make b the default"));
    QCOMPARE(press(Qt::Key_Space), QStringLiteral("Make b the default"));
    QCOMPARE(rows(), QStringLiteral("a b* c"));
    QVERIFY(qobject_cast<PlainButton *>(focused())->showsKeyboardFocus());
    QCOMPARE(press(Qt::Key_Tab), QStringLiteral("Remove b"));
    QCOMPARE(press(Qt::Key_Space), QStringLiteral("Remove c")); // the next row takes its place
    QCOMPARE(rows(), QStringLiteral("a* c"));
    QVERIFY(qobject_cast<PlainButton *>(focused())->showsKeyboardFocus());
    QCOMPARE(press(Qt::Key_Space), QStringLiteral("Remove a"));    // the last row: the one above
    QCOMPARE(press(Qt::Key_Space), QStringLiteral("Add Project")); // none left

    // The ring is drawn in the room around each glyph: the glyph looks the same with focus.
    m_picks = {QStringLiteral("/srv/d")};
    add->click();
    QCoreApplication::processEvents();
    auto *save = window()->findChild<QPushButton *>(QStringLiteral("saveButton"));
    const QList<QAbstractButton *> glyphs{add, buttons(QStringLiteral("starButton")).value(0),
                                          buttons(QStringLiteral("deleteButton")).value(0)};
    for (QAbstractButton *button : glyphs) {
        button->setFocus(Qt::TabFocusReason);
        const QImage on = button->grab().toImage();
        save->setFocus(Qt::TabFocusReason);
        const QImage off = button->grab().toImage();
        QVERIFY2(on != off, qPrintable(button->accessibleName())); // the ring shows
        const QRect glyph = button->findChild<QLabel *>()->geometry();
        const QRect scaled(glyph.topLeft() * on.devicePixelRatio(),
                           glyph.size() * on.devicePixelRatio());
        QVERIFY2(on.copy(scaled) == off.copy(scaled), qPrintable(button->accessibleName()));
    }
    glyphs[1]->setFocus(Qt::TabFocusReason);
    saveScreenshot(window(), QStringLiteral("editor-focus-star"));
}

void TestEditor::longListShowsNewRow()
{
    QByteArray list = "projects:\n";
    for (int i = 0; i < 20; ++i)
        list += "  p" + QByteArray::number(i) + ": /p\n";
    writeFile(m_config, list);
    controller().open();
    QVERIFY(QTest::qWaitForWindowExposed(window()));
    add(QStringLiteral("/srv/newest"));
    QCoreApplication::processEvents();
    auto *view = this->list();
    QWidget *last = view->rowWidget(view->count() - 1);
    QVERIFY(last);
    const QPoint at = last->mapTo(view->viewport(), QPoint(0, 0));
    QTRY_VERIFY(view->viewport()->rect().contains(QRect(at, last->size())));
    CHECK_DRAWN(window());
    saveScreenshot(window(), QStringLiteral("editor-long"));
}

// The real folder dialog opens in the home folder.
void TestEditor::pickerStartsAtHome()
{
    SettingsWindowController withDialog(m_list);
    withDialog.open();
    QString shown;
    QTimer::singleShot(300, this, [&] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
            shown = dialog->directory().absolutePath();
            dialog->reject();
        }
    });
    withDialog.window()->findChild<QAbstractButton *>(QStringLiteral("addButton"))->click();
    QCOMPARE(shown, QDir(m_home.path()).absolutePath());
}

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
