#include "support/panelfixture.h"
#include "ui/widgets/focusbutton.h"

#include <QDesktopServices>
#include <QDir>

using namespace dorv;
using namespace dorv::test;

// The panel worked by hand: the bridge switch, the keyboard, the quit key, Open Logs….
class TestPanelInput : public PanelFixture {
    Q_OBJECT
    QList<QUrl> m_opened;

public Q_SLOTS:
    void recordUrl(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void switchFlips();
    void keyboard_data();
    void keyboard();
    void quitKey();
    void openLogs();
};

// Flipped by clicks (its keys are in the keyboard table): off shows offline at once and polls
// nothing; on changes nothing until one poll, two seconds later.
void TestPanelInput::switchFlips()
{
    cleanup();
    m_serviceStatus = 0; // the service runs
    init();
    m_serviceStatus = 3;
    apply(200, statusReply("connected", "api", {"api"}));
    open();
    // The service was asked once, when the panel was built; showing it asks nothing.
    QCOMPARE(m_firstServiceCalls, QStringList{"/usr/bin/systemctl --user is-active --quiet "
                                              "com.ferlinq.service"});
    QCOMPARE(m_service.calls(), QStringList());
    QTRY_COMPARE(m_server->count("/status"), 2); // the poll of opening
    auto *toggle = buttons(QStringLiteral("bridgeSwitch")).value(0);
    QVERIFY(toggle && toggle->isChecked());
    const int polls = m_server->count("/status");
    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(!toggle->isChecked());
    QCoreApplication::processEvents();
    QCOMPARE(m_status->snapshot().state, BridgeState::Offline);
    QCOMPARE(visibleRows(m_panel).join(u' '), kOfflineRows);
    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(toggle->isChecked());
    QCOMPARE(m_service.calls(),
             QStringList({"/usr/bin/systemctl --user stop com.ferlinq.service",
                          "/usr/bin/systemctl --user start com.ferlinq.service"}));
    QCOMPARE(m_status->snapshot().state, BridgeState::Offline);
    QTest::qWait(kTimes.afterServiceStartMs - 150);
    QCOMPARE(m_server->count("/status"), polls);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->count("/status"), polls + 1, 1000);
    QTest::qWait(200); // one poll: none for the switch turned off
    QCOMPARE(m_server->count("/status"), polls + 1);
}

// Keys pressed from the Bridge switch, "@active:a,b" a poll's reply (#200: 200 projects, #-200
// the same backwards); then which control has the focus (">n"/"<n": a row past/before n; empty:
// the panel closed) and what the bridge and the service tool were sent.
void TestPanelInput::keyboard_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QString>("sent");
    auto row = [](const char *tag, const char *keys, const char *focus, const char *sent = "") {
        QTest::newRow(tag) << QString::fromUtf8(keys) << QString::fromUtf8(focus)
                           << QString::fromUtf8(sent);
    };
    row("Tab enters a long list at the active project", "@project-150:#200 Tab", "project-150");
    row("one Tab leaves it", "@project-150:#200 Tab Tab", "New Session");
    row("Backtab enters it again", "@project-150:#200 Tab Tab Backtab", "project-150");
    row("no active project: the first row", "@:api,docs Tab", "api");
    row("Down, Up", "@project-150:#200 Tab Down Down Up", "project-151");
    row("End, and Down stays", "@project-150:#200 Tab End Down", "project-199");
    row("Home, and Up stays", "@project-150:#200 Tab Home Up", "project-0");
    row("PageDown", "@project-150:#200 Tab Home PgDown", ">1");
    row("PageUp", "@project-150:#200 Tab End PgUp", "<198");
    row("typed letters", "@:api,docs,web,www Tab w", "web");
    row("typed letters, more of the name", "@api:api,docs,web,www Tab w w", "www");
    row("typed letters no name starts with", "@docs:api,docs,web Tab x", "docs");
    row("Space presses the row", "@project-150:#200 Tab Down Space", "project-151",
        R"(/use {"project":"project-151"})");
    row("Return presses the row", "@:api,web Tab w Return", "web", R"(/use {"project":"web"})");
    row("Return presses New Session", "@api:api Tab Tab Return", "New Session", "/new ");
    row("Space flips the switch", "@api:api Space", "Bridge",
        "/usr/bin/systemctl --user start com.ferlinq.service");
    row("the focused row becomes the active one", "@web:api,web Tab Up @api:api,web", "api");
    row("the list turned around", "@project-150:#200 Tab @project-150:#-200", "project-150");
    row("a row comes before the focused one", "@api:api,web Tab Down @api:api,docs,web Up", "docs");
    // The bridge blinks while New Session has the focus: the Space meanwhile presses nothing
    // (before, it went to Configure Projects… and opened the editor).
    row("New Session disabled for a moment", "@api:api Tab Tab @:api Space @api:api Space",
        "New Session", "/new ");
    row("Escape closes", "@api:api Tab Esc", "");
}

void TestPanelInput::keyboard()
{
    QFETCH(QString, keys);
    QFETCH(QString, focus);
    QFETCH(QString, sent);
    QStringList names;
    for (const QString &key : keys.split(u' ')) {
        QWidget *to = QApplication::focusWidget() ? QApplication::focusWidget() : m_window;
        if (key.startsWith(u'@')) {
            const QString list = key.section(u':', 1);
            names =
                list.startsWith(u'#') ? manyProjects(200) : list.split(u',', Qt::SkipEmptyParts);
            if (list == u"#-200")
                std::reverse(names.begin(), names.end());
            apply(200, statusReply("connected", key.section(u':', 0, 0).mid(1), names));
        } else if (!m_window->isVisible()) {
            open();
            QVERIFY(QTest::qWaitForWindowActive(m_window) && projectList());
            // Opened, a control has focus only where it shows it.
            if (QWidget *focused = QApplication::focusWidget()) {
                const QImage withFocus = focused->grab().toImage();
                focused->clearFocus();
                QVERIFY(focused->grab().toImage() != withFocus);
            }
            QAbstractButton *toggle = buttons(QStringLiteral("bridgeSwitch")).value(0);
            QVERIFY(toggle);
            toggle->setFocus(Qt::TabFocusReason);
            to = toggle;
        }
        if (key.size() == 1)
            QTest::keyClicks(to, key);
        else if (!key.startsWith(u'@'))
            QTest::keyClick(to, QKeySequence::fromString(key)[0].key());
    }
    QTest::qWait(50);
    QStringList commands = m_service.calls();
    for (const HttpRequest &r : m_server->requests())
        if (r.path != "/status")
            commands << QString::fromUtf8(r.path + ' ' + r.body);
    QCOMPARE(commands, sent.isEmpty() ? QStringList() : QStringList{sent});
    for (QWidget *w : QApplication::topLevelWidgets()) // no editor opened
        QVERIFY(w == m_window || !w->isVisible());
    if (focus.isEmpty()) {
        QVERIFY(!m_window->isVisible());
        QVERIFY(!m_window->justHidden()); // a click on the icon right away reopens it
        return;
    }
    auto *focused = qobject_cast<FocusButton *>(QApplication::focusWidget());
    QVERIFY(focused && focused->showsKeyboardFocus());
    const QString name = focused->accessibleName();
    const int index = int(names.indexOf(name));
    if (focus[0] == u'>' || focus[0] == u'<')
        QVERIFY2(focus[0] == u'>' ? index > focus.mid(1).toInt() : index < focus.mid(1).toInt(),
                 qPrintable(name));
    else
        QCOMPARE(name, focus);
    QVERIFY(index < 0 || rowInView(index));
    saveScreenshot(m_window, QStringLiteral("keys-") + QString::fromUtf8(QTest::currentDataTag()));
}

// Linux has no application menu to answer the quit key: the panel does.
void TestPanelInput::quitKey()
{
    open();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QSignalSpy quit(m_panel, &MenuContentView::quitRequested);
    QTest::keyClick(m_window, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(quit.count(), 1);
}

void TestPanelInput::openLogs()
{
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "recordUrl");
    open();
    QAbstractButton *item = buttons(QStringLiteral("menuItem")).value(2);
    QVERIFY(item);
    QCOMPARE(item->accessibleName(), QStringLiteral("Open Logs…"));
    QTest::mouseClick(item, Qt::LeftButton); // no folder yet: nothing happens
    QCOMPARE(m_opened.size(), 0);
    const QString folder = m_home.file(QStringLiteral("Library/Logs/com.ferlinq"));
    QVERIFY(QDir().mkpath(folder));
    QTest::mouseClick(item, Qt::LeftButton);
    QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(folder)});
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

QTEST_MAIN(TestPanelInput)
#include "tst_panelinput.moc"
