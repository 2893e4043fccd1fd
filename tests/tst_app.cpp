#include "app/dorvmenuapp.h"
#include "app/panelwindow.h"
#include "config/reloadsignal.h"
#include "support/uitestkit.h"
#include "ui/menucontentview.h"
#include "ui/style.h"

#include <QSignalSpy>
#include <QTest>

using namespace dorv;
using namespace dorv::test;

class TestApp : public QObject {
    Q_OBJECT
    TestHome m_home;

private Q_SLOTS:
    void initTestCase() { reload::setPgrepOverride(QStringLiteral("/bin/true")); }
    void iconFollowsState();
    void placement_data();
    void placement();
};

void TestApp::iconFollowsState()
{
    FakeServiceTool tool(m_home);
    tool.setExitStatus(0);
    FakeHttpServer server;
    server.respond(200, R"({"ok":true,"chatwire":"connected","active_project":"api"})");
    DORVMenuApp app(server.baseUrl());
    QCOMPARE(app.currentIconName(), QStringLiteral("message"));
    QCOMPARE(app.currentIconColor(), style::color(style::Tint::Gray));
    QTest::qWait(300);
    QCOMPARE(server.requests().size(), 0); // nothing before the panel is first shown

    app.start(); // no tray here: the panel opens as a window, which starts polling
    QVERIFY(app.panelWindow()->isVisible());
    QTRY_COMPARE(server.count("/status"), 1);
    QTRY_COMPARE(app.currentIconColor(), style::color(style::Tint::Green));
    QCOMPARE(app.currentIconName(), QStringLiteral("message.fill"));

    server.respond(200, R"({"ok":true,"chatwire":"pairing","marvek_busy":true,"queued":4})");
    app.status()->poll();
    QTRY_COMPARE(app.currentIconColor(), style::color(style::Tint::Orange));
    QCOMPARE(app.currentIconName(), QStringLiteral("message.fill"));

    // Turning the bridge off shows offline at once, without a poll.
    const int polls = server.count("/status");
    QTest::mouseClick(app.panel()->findChild<QWidget *>(QStringLiteral("bridgeSwitch")),
                      Qt::LeftButton);
    QCoreApplication::processEvents();
    QCOMPARE(app.currentIconName(), QStringLiteral("message"));
    QCOMPARE(app.currentIconColor(), style::color(style::Tint::Gray));
    QCOMPARE(server.count("/status"), polls);

    // Each showing of the panel polls at once.
    app.panelWindow()->hide();
    app.panelWindow()->show();
    QTRY_COMPARE(server.count("/status"), polls + 1);

    // A click closes the panel and the next one, however soon, opens it again; a second start
    // of the program only ever opens it.
    app.togglePanel();
    QVERIFY(!app.panelWindow()->isVisible());
    app.togglePanel();
    QVERIFY(app.panelWindow()->isVisible());
    app.showPanel();
    QVERIFY(app.panelWindow()->isVisible());
}

// Where the panel opens, and how tall it may be, for icons at the edges of a 1920 x 1080 screen.
void TestApp::placement_data()
{
    QTest::addColumn<QRect>("anchor");
    QTest::addColumn<QPoint>("topLeft");
    QTest::addColumn<int>("room");
    QTest::newRow("top bar, middle") << QRect(900, 0, 24, 24) << QPoint(781, 28) << 1052;
    QTest::newRow("top bar, right edge") << QRect(1900, 0, 20, 24) << QPoint(1660, 28) << 1052;
    QTest::newRow("bottom panel, left edge") << QRect(0, 1056, 24, 24) << QPoint(0, 652) << 1052;
    QTest::newRow("cursor, bottom right") << QRect(1910, 1070, 1, 1) << QPoint(1660, 666) << 1066;
}

void TestApp::placement()
{
    QFETCH(QRect, anchor);
    QFETCH(QPoint, topLeft);
    QFETCH(int, room);
    const QRect screen(0, 0, 1920, 1080);
    QCOMPARE(panelRoom(anchor, screen), room);
    QCOMPARE(placePanel(QSize(260, 400), anchor, screen).topLeft(), topLeft);
    // As tall as the room allows: still on screen, still clear of the icon.
    const QRect tallest = placePanel(QSize(260, room), anchor, screen);
    QVERIFY(screen.contains(tallest) && !tallest.intersects(anchor));
}

QTEST_MAIN(TestApp)
#include "tst_app.moc"
