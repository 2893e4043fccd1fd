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
    void switchFlips_data();
    void switchFlips();
    void keyboard_data();
    void keyboard();
    void focusKept();
    void quitKey();
    void openLogs();
};

// Flipped by a click, or from the keyboard after Tab: Space and Return alike.
void TestPanelInput::switchFlips_data()
{
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<int>("key"); // 0: a click
    QTest::newRow("on, click") << false << 0;
    QTest::newRow("off, click") << true << 0;
    QTest::newRow("off, Space") << true << int(Qt::Key_Space);
    QTest::newRow("on, Return") << false << int(Qt::Key_Return);
}

void TestPanelInput::switchFlips()
{
    QFETCH(bool, loaded);
    QFETCH(int, key);
    cleanup();
    m_serviceStatus = loaded ? 0 : 3;
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
    QCOMPARE(toggle->isChecked(), loaded);
    const int polls = m_server->count("/status");
    if (key) {
        QVERIFY(QTest::qWaitForWindowActive(m_window));
        toggle->setFocus(Qt::TabFocusReason);
        QTest::keyClick(toggle, Qt::Key(key));
    } else {
        QTest::mouseClick(toggle, Qt::LeftButton);
    }
    QCOMPARE(toggle->isChecked(), !loaded);
    QCOMPARE(m_service.calls(), QStringList{loaded ? "/usr/bin/systemctl --user stop "
                                                     "com.ferlinq.service"
                                                   : "/usr/bin/systemctl --user start "
                                                     "com.ferlinq.service"});
    QCoreApplication::processEvents();
    if (loaded) { // off: offline at once, no poll
        QCOMPARE(m_status->state(), BridgeState::Offline);
        QCOMPARE(visibleRows(m_panel).join(u' '), kOfflineRows);
        QTest::qWait(2500);
        QCOMPARE(m_server->count("/status"), polls);
        return;
    }
    // On: nothing changes until one poll, two seconds later.
    QCOMPARE(m_status->state(), BridgeState::Connected);
    QTest::qWait(1700);
    QCOMPARE(m_server->count("/status"), polls);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->count("/status"), polls + 1, 1500);
}

// The keys from the Bridge switch, then where the focus is (">n"/"<n": a row past/before n) and
// what was sent.
void TestPanelInput::keyboard_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("active");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QByteArray>("sent");
    const QStringList many = manyProjects(200), few{"api", "docs", "web", "www"};
    auto row = [&](const char *tag, const QStringList &names, const char *active, const char *keys,
                   const char *focus, const QByteArray &sent = {}) {
        QTest::newRow(tag) << names << QString::fromUtf8(active) << QString::fromUtf8(keys)
                           << QString::fromUtf8(focus) << sent;
    };
    row("Tab enters at the active project", many, "project-150", "Tab", "project-150");
    row("one Tab leaves the list", many, "project-150", "Tab Tab", "New Session");
    row("Backtab enters it again", many, "project-150", "Tab Tab Backtab", "project-150");
    row("without an active project: the first row in view", few, "", "Tab", "api");
    row("Down, Up", many, "project-150", "Tab Down Down Up", "project-151");
    row("End, and Down stays", many, "project-150", "Tab End Down", "project-199");
    row("Home, and Up stays", many, "project-150", "Tab Home Up", "project-0");
    row("PageDown", many, "project-150", "Tab Home PgDn", ">1");
    row("PageUp", many, "project-150", "Tab End PgUp", "<198");
    row("PageDown, PageUp", many, "project-150", "Tab Home PgDn PgUp", "project-0");
    row("typed letters", few, "", "Tab w", "web");
    row("typed letters, more of the name", few, "api", "Tab w w", "www");
    row("typed letters no name starts with", few, "docs", "Tab x", "docs");
    row("Space presses the row", many, "project-150", "Tab Down Space", "project-151",
        R"(/use {"project":"project-151"})");
    row("Return presses the row", few, "", "Tab w Return", "web", R"(/use {"project":"web"})");
    row("Return presses New Session", few, "api", "Tab Tab Return", "New Session", "/new ");
}

void TestPanelInput::keyboard()
{
    QFETCH(QStringList, names);
    QFETCH(QString, active);
    QFETCH(QString, keys);
    QFETCH(QString, focus);
    QFETCH(QByteArray, sent);
    apply(200, statusReply("connected", active, names));
    open();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QAbstractButton *toggle = buttons(QStringLiteral("bridgeSwitch")).value(0);
    QVERIFY(toggle && projectList());
    toggle->setFocus(Qt::TabFocusReason);
    const QHash<QString, Qt::Key> named{{"Tab", Qt::Key_Tab},     {"Backtab", Qt::Key_Backtab},
                                        {"Up", Qt::Key_Up},       {"Down", Qt::Key_Down},
                                        {"PgUp", Qt::Key_PageUp}, {"PgDn", Qt::Key_PageDown},
                                        {"Home", Qt::Key_Home},   {"End", Qt::Key_End},
                                        {"Space", Qt::Key_Space}, {"Return", Qt::Key_Return}};
    for (const QString &key : keys.split(u' ')) {
        QWidget *to = QApplication::focusWidget() ? QApplication::focusWidget() : m_window;
        if (named.contains(key))
            QTest::keyClick(to, named[key]);
        else
            QTest::keyClicks(to, key);
    }
    auto *focused = qobject_cast<FocusButton *>(QApplication::focusWidget());
    QVERIFY(focused && focused->showsKeyboardFocus());
    const QString name = focused->accessibleName();
    const int index = int(names.indexOf(name));
    if (focus.startsWith(u'>') || focus.startsWith(u'<'))
        QVERIFY2(focus[0] == u'>' ? index > focus.mid(1).toInt() : index < focus.mid(1).toInt(),
                 qPrintable(name));
    else
        QCOMPARE(name, focus);
    if (index >= 0)
        QVERIFY(rowInView(index));
    QTest::qWait(50);
    QStringList commands;
    for (const HttpRequest &r : m_server->requests())
        if (r.path != "/status")
            commands << QString::fromUtf8(r.path + ' ' + r.body);
    QCOMPARE(commands, sent.isEmpty() ? QStringList() : QStringList{QString::fromUtf8(sent)});
}

// Rows rebuilt by a poll, or a control disabled for a moment: the focus keeps the user's place,
// with its ring, and no other control takes the next key press.
void TestPanelInput::focusKept()
{
    apply(200, statusReply("connected", "web", {"api", "web"}));
    // Opened, a control has focus only where it shows it.
    open();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    if (QWidget *focused = QApplication::focusWidget()) {
        const QImage withFocus = focused->grab().toImage();
        focused->clearFocus();
        QVERIFY(focused->grab().toImage() != withFocus);
    }
    QVERIFY(projectList());
    projectList()->setFocus(Qt::TabFocusReason);
    auto focusName = [] {
        QWidget *focus = QApplication::focusWidget();
        return focus ? focus->accessibleName() : QStringLiteral("(no focus)");
    };
    auto key = [&](Qt::Key k) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : m_window, k);
        return focusName();
    };
    QWidget *row = QApplication::focusWidget();
    const QImage ring = row->grab().toImage();
    QCOMPARE(key(Qt::Key_Up), QStringLiteral("api"));
    QVERIFY(row->grab().toImage() != ring); // the ring moved with the focus
    apply(200, statusReply("connected", "api", {"api", "web"}));
    QCOMPARE(focusName(), QStringLiteral("api"));
    QCOMPARE(QApplication::focusWidget()->accessibleDescription(),
             QStringLiteral("Active project"));
    QCOMPARE(key(Qt::Key_Down), QStringLiteral("web"));
    apply(200, statusReply("connected", "api", {"api", "docs", "web"}));
    QCOMPARE(focusName(), QStringLiteral("web"));
    QCOMPARE(key(Qt::Key_Up), QStringLiteral("docs"));

    // The bridge blinks while New Session has the focus: Space presses nothing meanwhile.
    QCOMPARE(key(Qt::Key_Tab), QStringLiteral("New Session"));
    apply(200, statusReply("connected", "", {"api"}));
    QCOMPARE(key(Qt::Key_Space), QStringLiteral("(no focus)"));
    apply(200, statusReply("connected", "api", {"api"}));
    QCOMPARE(focusName(), QStringLiteral("New Session"));
    QVERIFY(qobject_cast<FocusButton *>(QApplication::focusWidget())->showsKeyboardFocus());
    for (QWidget *w : QApplication::topLevelWidgets()) // the editor did not open
        QVERIFY(w == m_window || !w->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTRY_COMPARE(m_server->count("/new"), 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!m_window->isVisible());
    QVERIFY(!m_window->justHidden()); // a click on the icon right away reopens it
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
