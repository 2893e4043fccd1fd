#include "support/panelfixture.h"
#include "ui/widgets/plainbutton.h"

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
    void keyboard();
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
        QCOMPARE(m_status->snapshot().state, BridgeState::Offline);
        QCOMPARE(visibleRows(m_panel).join(u' '), kOfflineRows);
        QTest::qWait(kTimes.afterServiceStartMs + 200);
        QCOMPARE(m_server->count("/status"), polls);
        return;
    }
    // On: nothing changes until one poll, a moment later.
    QCOMPARE(m_status->snapshot().state, BridgeState::Connected);
    QTest::qWait(kTimes.afterServiceStartMs - 150);
    QCOMPARE(m_server->count("/status"), polls);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->count("/status"), polls + 1, 1000);
}

void TestPanelInput::keyboard()
{
    apply(200, statusReply("connected", "web", {"api", "web"}));
    // Opened, a control has focus only where it shows it: a key press never acts on a control
    // the user cannot see is focused.
    open();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    if (QWidget *focused = QApplication::focusWidget()) {
        const QImage withFocus = focused->grab().toImage();
        focused->clearFocus();
        QVERIFY(focused->grab().toImage() != withFocus);
    }
    buttons(QStringLiteral("bridgeSwitch")).value(0)->setFocus(Qt::TabFocusReason);
    auto focusName = [] {
        QWidget *focus = QApplication::focusWidget();
        return focus ? focus->accessibleName() : QStringLiteral("(no focus)");
    };
    auto tab = [&](Qt::Key key = Qt::Key_Tab) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : m_window, key);
        return focusName();
    };
    QStringList order;
    for (int i = 0; i < 8; ++i)
        order << tab();
    QCOMPARE(order, QStringList({"api", "web", "New Session", "Configure Projects…", "Open Logs…",
                                 "Quit DORV", "Bridge", "api"}));
    // The focused row shows it: its picture differs from the same row without focus.
    QWidget *row = QApplication::focusWidget();
    const QImage focused = row->grab().toImage();
    QCOMPARE(tab(), QStringLiteral("web"));
    QVERIFY(row->grab().toImage() != focused);
    QCOMPARE(tab(Qt::Key_Backtab), QStringLiteral("api"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(m_server->count("/use"), 1);
    // The next poll makes it the active row: the focus, and its ring, stay on it.
    apply(200, statusReply("connected", "api", {"api", "web"}));
    QCOMPARE(focusName(), QStringLiteral("api"));
    QCOMPARE(QApplication::focusWidget()->accessibleDescription(),
             QStringLiteral("Active project"));
    QVERIFY(qobject_cast<PlainButton *>(QApplication::focusWidget())->showsKeyboardFocus());
    QCOMPARE(tab(), QStringLiteral("web"));
    // A poll that adds a project around it: the focus stays on its row.
    apply(200, statusReply("connected", "api", {"api", "docs", "web"}));
    QCOMPARE(focusName(), QStringLiteral("web"));
    QCOMPARE(tab(Qt::Key_Backtab), QStringLiteral("docs"));
    QCOMPARE(tab(Qt::Key_Backtab), QStringLiteral("api"));

    // Tab walks a long list row by row, each row scrolled into view as it comes.
    apply(200, statusReply("connected", "project-0", manyProjects(30)));
    QCOMPARE(focusName(), QStringLiteral("project-0"));
    for (int i = 1; i < 30; ++i) {
        QCOMPARE(tab(), QStringLiteral("project-%1").arg(i));
        QVERIFY(rowInView(i));
    }
    QCOMPARE(tab(), QStringLiteral("New Session"));
    QCOMPARE(tab(Qt::Key_Backtab), QStringLiteral("project-29"));
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
