#include "projectconfig.h"
#include "projecteditorview.h"
#include "reloadsignal.h"
#include "settingswindowcontroller.h"
#include "uitestkit.h"
#include "widgets.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLayout>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>

using namespace dorv;
using namespace dorv::test;

class TestEditor : public QObject {
    Q_OBJECT
    TestHome m_home;
    QString m_pgrepLog;
    QStringList m_picks; // answers of the fake folder picker, in order

    SettingsWindowController &controller() { return SettingsWindowController::shared(); }
    ProjectEditorView *view() const
    {
        QWidget *w = SettingsWindowController::shared().window();
        return w ? w->findChild<ProjectEditorView *>() : nullptr;
    }
    void writeConfig(const QByteArray &text);
    QByteArray readConfig() const;
    QStringList rowAliases() const;
    int dividerCount() const;
    void closeWindow();
    QList<PlainButton *> buttons(const QString &name) const
    {
        QCoreApplication::processEvents(); // rows are rebuilt on the next pass
        return view()->findChildren<PlainButton *>(name);
    }

private Q_SLOTS:
    void initTestCase();
    void init();
    void aliasRule_data();
    void aliasRule();
    void openTwiceKeepsWindowAndEdits();
    void reopenAfterCloseShowsFile();
    void reopenWithUnreadableFileKeepsEdits();
    void emptyNoticeAndDividers();
    void addFirstProjectIsDefault();
    void refusedFolder();
    void starAndDelete();
    void saveWritesSignalsCloses();
    void failedSaveKeepsWindow();
    void screenshots();
};

void TestEditor::initTestCase()
{
    m_pgrepLog = m_home.file(QStringLiteral("pgrep.log"));
    reload::setPgrepOverride(
        writeScript(m_home.file(QStringLiteral("bin/pgrep")),
                    "echo \"$*\" >> '" + QFile::encodeName(m_pgrepLog) + "'\n"));
    ProjectEditorView::setFolderPicker([this](QWidget *) -> std::optional<QString> {
        if (m_picks.isEmpty())
            return std::nullopt;
        return m_picks.takeFirst();
    });
}

void TestEditor::init()
{
    closeWindow();
    writeConfig("projects:\n"); // a missing file would keep the last test's list
    QFile::remove(m_pgrepLog);
    m_picks.clear();
}

void TestEditor::writeConfig(const QByteArray &text)
{
    QDir().mkpath(QFileInfo(ProjectConfig::configPath()).absolutePath());
    QFile f(ProjectConfig::configPath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

QByteArray TestEditor::readConfig() const
{
    QFile f(ProjectConfig::configPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList TestEditor::rowAliases() const
{
    QCoreApplication::processEvents();
    QStringList aliases;
    for (WrapLabel *label : view()->findChildren<WrapLabel *>(QStringLiteral("alias")))
        aliases.append(label->text());
    return aliases;
}

int TestEditor::dividerCount() const
{
    return view()
        ->findChild<QScrollArea *>()
        ->widget()
        ->findChildren<QWidget *>(QStringLiteral("divider"), Qt::FindDirectChildrenOnly)
        .size();
}

void TestEditor::closeWindow()
{
    if (controller().window())
        controller().window()->close();
}

void TestEditor::aliasRule_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("alias");
    auto row = [](const char *name, const QString &folder, const QString &alias) {
        QTest::newRow(name) << folder << alias;
    };
    row("My Project", "/home/u/My Project", "my-project");
    row("two blanks", "/home/u/a  b", "a--b");
    row("leading blank", "/home/u/ lead", "-lead");
    row("Web_App.old", "/home/u/Web_App.old", "web_app.old");
    row("Café Tools", "/home/u/Café Tools", "café-tools");
    row("colon", "/home/u/Notes: 2026", "notes--2026");
    row("tab kept", "/home/u/a\tb", "a\tb");
    row("trailing slash", "/home/u/api/", "api");
}

void TestEditor::aliasRule()
{
    QFETCH(QString, folder);
    QFETCH(QString, alias);
    QCOMPARE(ProjectEditorView::aliasForFolder(folder), alias);
}

void TestEditor::openTwiceKeepsWindowAndEdits()
{
    writeConfig("projects:\n  a: /a\n");
    controller().open();
    QWidget *first = controller().window();
    QVERIFY(first && first->isVisible());
    QCOMPARE(first->windowTitle(), QStringLiteral("DORV Projects"));
    QCOMPARE(first->size(), QSize(320, 360));
    QVERIFY(first->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(first->windowFlags() & Qt::WindowMinimizeButtonHint));
    m_picks = {QStringLiteral("/srv/b")};
    view()->addProject();
    writeConfig("projects:\n  other: /o\n");
    controller().open();
    QCOMPARE(controller().window(), first);
    QCOMPARE(rowAliases(), QStringList({"a", "b"}));
}

void TestEditor::reopenAfterCloseShowsFile()
{
    writeConfig("projects:\n  a: /a\n");
    controller().open();
    QPointer<QWidget> first = controller().window();
    buttons(QStringLiteral("deleteButton")).at(0)->click();
    QCOMPARE(rowAliases(), QStringList());
    closeWindow();
    controller().open();
    QVERIFY(!first); // dropped: a new window each time
    QVERIFY(controller().window()->isVisible());
    QCOMPARE(rowAliases(), QStringList({"a"}));
}

void TestEditor::reopenWithUnreadableFileKeepsEdits()
{
    writeConfig("projects:\n  a: /a\n");
    controller().open();
    m_picks = {QStringLiteral("/srv/b")};
    view()->addProject();
    closeWindow();
    writeConfig("projects:\n  a: /\xff\n"); // not UTF-8
    controller().open();
    QCOMPARE(rowAliases(), QStringList({"a", "b"}));
}

void TestEditor::emptyNoticeAndDividers()
{
    controller().open();
    QCoreApplication::processEvents();
    QVERIFY(view()->findChild<QWidget *>(QStringLiteral("emptyNotice"))->isVisible());
    QVERIFY(!view()->findChild<QScrollArea *>()->isVisible());
    closeWindow();
    writeConfig("projects:\n  a: /a\n  b: /b\n  c: /c\n");
    controller().open();
    QCoreApplication::processEvents();
    QVERIFY(!view()->findChild<QWidget *>(QStringLiteral("emptyNotice"))->isVisible());
    QCOMPARE(rowAliases().size(), 3);
    QCOMPARE(dividerCount(), 2);
    // Dividers sit between rows only, inset at the leading side.
    auto *list = view()->findChild<QScrollArea *>()->widget();
    const QStringList order = visibleRows(list);
    QCOMPARE(order.join(u' '), QStringLiteral("editorRow divider editorRow divider editorRow"));
    QCOMPARE(
        list->findChild<QWidget *>(QStringLiteral("divider"))->layout()->contentsMargins().left(),
        40);
}

void TestEditor::addFirstProjectIsDefault()
{
    controller().open();
    m_picks = {QStringLiteral("/home/u/My Project"), QStringLiteral("/home/u/My Project")};
    view()->addProject();
    QCOMPARE(rowAliases(), QStringList({"my-project"}));
    QVERIFY(buttons(QStringLiteral("starButton")).at(0)->isChecked());
    QCOMPARE(dividerCount(), 0);
    view()->addProject(); // the same folder twice: two rows
    QCOMPARE(rowAliases(), QStringList({"my-project", "my-project"}));
    QCOMPARE(controller().config()->projects().at(1).path, QStringLiteral("/home/u/My Project"));
    view()->addProject(); // cancelled picker: nothing
    QCOMPARE(rowAliases().size(), 2);
}

void TestEditor::refusedFolder()
{
    controller().open();
    m_picks = {QStringLiteral("/home/u/Default"), QStringLiteral("/home/u/two\nlines")};
    view()->addProject();
    QVERIFY(view()->notice().contains(QStringLiteral("reserved")));
    view()->addProject();
    QVERIFY(view()->notice().contains(QStringLiteral("line break")));
    QCOMPARE(rowAliases(), QStringList());
    m_picks = {QStringLiteral("/home/u/ok")};
    view()->addProject();
    QVERIFY(view()->notice().isEmpty());
}

void TestEditor::starAndDelete()
{
    writeConfig("default: a\nprojects:\n  a: /a\n  b: /b\n  a: /a2\n");
    controller().open();
    auto stars = [this] {
        QCoreApplication::processEvents();
        QString s;
        for (PlainButton *b : buttons(QStringLiteral("starButton")))
            s += b->isChecked() ? u'*' : u'.';
        return s;
    };
    QCOMPARE(stars(), QStringLiteral("*.*"));
    buttons(QStringLiteral("starButton")).at(2)->click(); // one of several defaults
    QCOMPARE(stars(), QStringLiteral("..*"));
    buttons(QStringLiteral("starButton")).at(2)->click(); // already the default
    QCOMPARE(stars(), QStringLiteral("..*"));
    buttons(QStringLiteral("starButton")).at(1)->click();
    QCOMPARE(stars(), QStringLiteral(".*."));
    buttons(QStringLiteral("deleteButton")).at(1)->click(); // the default: first becomes default
    QCOMPARE(rowAliases(), QStringList({"a", "a"}));
    QCOMPARE(stars(), QStringLiteral("*."));
    buttons(QStringLiteral("deleteButton")).at(0)->click();
    buttons(QStringLiteral("deleteButton")).at(0)->click();
    QCoreApplication::processEvents();
    QVERIFY(view()->findChild<QWidget *>(QStringLiteral("emptyNotice"))->isVisible());
}

void TestEditor::saveWritesSignalsCloses()
{
    writeConfig("projects:\n  a: /a\n");
    controller().open();
    m_picks = {QStringLiteral("/srv/Web App")};
    view()->addProject();
    buttons(QStringLiteral("starButton")).at(1)->click();
    view()->findChild<QPushButton *>(QStringLiteral("saveButton"))->click();
    QCOMPARE(readConfig(),
             QByteArray("default: web-app\nprojects:\n  a: /a\n  web-app: /srv/Web App\n"));
    QFile log(m_pgrepLog);
    QVERIFY(log.open(QIODevice::ReadOnly));
    QCOMPARE(log.readAll(), QByteArray("-f chatwire-bridge.*server\\.py\n"));
    QVERIFY(!controller().window()->isVisible());

    // Save with no change still rewrites and closes.
    writeConfig("projects:\n  x: /x\n");
    controller().open();
    view()->findChild<QPushButton *>(QStringLiteral("saveButton"))->click();
    QCOMPARE(readConfig(), QByteArray("default: x\nprojects:\n  x: /x\n"));
    QVERIFY(!controller().window()->isVisible());
}

void TestEditor::failedSaveKeepsWindow()
{
    controller().open();
    m_picks = {QStringLiteral("/srv/a")};
    view()->addProject();
    // .marvek is a file: the list cannot be written.
    QDir(m_home.file(QStringLiteral(".marvek"))).removeRecursively();
    writeScript(m_home.file(QStringLiteral(".marvek")), "");
    view()->findChild<QPushButton *>(QStringLiteral("saveButton"))->click();
    QVERIFY(controller().window()->isVisible());
    QVERIFY(view()->notice().startsWith(QStringLiteral("Could not save the project list")));
    QCOMPARE(rowAliases(), QStringList({"a"}));
    QFile log(m_pgrepLog);
    QVERIFY(log.open(QIODevice::ReadOnly)); // the bridge is still told to reload
    QFile::remove(m_home.file(QStringLiteral(".marvek")));
    view()->findChild<QPushButton *>(QStringLiteral("saveButton"))->click();
    QVERIFY(!controller().window()->isVisible());
    QVERIFY(readConfig().contains("  a: /srv/a\n"));
}

void TestEditor::screenshots()
{
    controller().open();
    QCoreApplication::processEvents();
    saveScreenshot(controller().window(), QStringLiteral("editor-empty"));
    closeWindow();
    writeConfig("default: api\nprojects:\n  webapp: /home/user/src/webapp\n  api: "
                "/home/user/src/api-server\n"
                "  docs: /home/user/src/a/very/long/path/to/the/documentation/site/sources\n");
    controller().open();
    QCoreApplication::processEvents();
    QVERIFY(QFile::exists(saveScreenshot(controller().window(), QStringLiteral("editor-three"))));
}

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
