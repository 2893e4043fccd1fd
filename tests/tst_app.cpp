#include "app/appcontroller.h"
#include "app/dorvmenuapp.h"
#include "app/panelwindow.h"
#include "app/traymenu.h"
#include "support/uitestkit.h"
#include "ui/menucontentview.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QWindow>

using namespace dorv;
using namespace dorv::test;

namespace {
// The standard colours, as a person sees them in the light palette.
const QColor kGray(0x8e, 0x8e, 0x93);
const QColor kGreen(0x34, 0xc7, 0x59);
const QColor kOrange(0xff, 0x95, 0x00);

QStringList logged; // dorv.* messages at info level and above
void recordLog(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && QByteArray(context.category).startsWith("dorv."))
        logged << QString::fromLatin1(context.category) + u' ' + message;
}
} // namespace

class TestApp : public QObject {
    Q_OBJECT
    TestHome m_home;
    FakeService m_service;

    AppSeams seams(const FakeHttpServer &server)
    {
        return {.bridgeUrl = server.baseUrl(),
                .serviceRunner = m_service.runner(),
                .pgrepProgram = QStringLiteral("/bin/true")};
    }

private Q_SLOTS:
    void iconFollowsState();
    void firstOpenAtFinalSize();
    void trayMenu();
    void editorComesForward();
    void outageLoggedOnce();
    void placement_data();
    void placement();
};

void TestApp::iconFollowsState()
{
    FakeHttpServer server;
    server.respond(200, R"({"ok":true,"chatwire":"connected","active_project":"api"})");
    DORVMenuApp app(seams(server));
    QCOMPARE(app.currentIconName(), QStringLiteral("message"));
    QCOMPARE(app.currentIconColor(), kGray);
    QTest::qWait(300);
    QCOMPARE(server.requests().size(), 0); // nothing before the panel is first shown

    app.start(); // no tray here: the panel opens as a window, which starts polling
    QVERIFY(app.ensurePanel()->isVisible());
    QTRY_COMPARE(server.count("/status"), 1);
    QTRY_COMPARE(app.currentIconColor(), kGreen);
    QCOMPARE(app.currentIconName(), QStringLiteral("message.fill"));

    server.respond(200, R"({"ok":true,"chatwire":"pairing","marvek_busy":true,"queued":4})");
    app.status()->poll();
    QTRY_COMPARE(app.currentIconColor(), kOrange);
    QCOMPARE(app.currentIconName(), QStringLiteral("message.fill"));

    // Each showing of the panel polls at once.
    const int polls = server.count("/status");
    app.ensurePanel()->hide();
    app.ensurePanel()->show();
    QTRY_COMPARE(server.count("/status"), polls + 1);

    // A click closes the panel and the next one, however soon, opens it again; a second start
    // of the program only ever opens it.
    app.togglePanel();
    QVERIFY(!app.ensurePanel()->isVisible());
    app.togglePanel();
    QVERIFY(app.ensurePanel()->isVisible());
    app.showPanel();
    QVERIFY(app.ensurePanel()->isVisible());
}

// The first open asks the bridge first and opens at the shape the answer gives, with one poll:
// a panel that grows after it appeared runs off the screen where the compositor keeps its corner.
void TestApp::firstOpenAtFinalSize()
{
    FakeHttpServer server;
    QByteArray projects;
    for (int i = 0; i < 30; ++i)
        projects += (i ? ",\"p" : "\"p") + QByteArray::number(i) + '"';
    server.respond(200, R"({"ok":true,"chatwire":"connected","active_project":"p29","projects":[)" +
                            projects + "]}");
    DORVMenuApp app(seams(server));
    PanelWindow *window = app.ensurePanel();
    window->setPopup(true);
    window->winId();
    QList<QRect> shown;
    connect(window->windowHandle(), &QWindow::visibleChanged, this, [&](bool visible) {
        if (visible)
            shown << window->geometry();
    });
    app.showPanel();
    QVERIFY(!window->isVisible()); // not before the answer
    QTRY_VERIFY(window->isVisible());
    QTest::qWait(100);
    QCOMPARE(shown, QList<QRect>{window->geometry()});
    QVERIFY(window->height() > 400);
    QCOMPARE(server.count("/status"), 1);
    window->hide();
    app.showPanel(); // later opens are at once, each with its poll
    QVERIFY(window->isVisible());
    QTRY_COMPARE(server.count("/status"), 2);
}

// The tray icon's menu: the panel's operations, texts and enabled conditions.
void TestApp::trayMenu()
{
    m_service.setExitStatus(3);
    FakeHttpServer server;
    DORVMenuApp app(seams(server));
    TrayMenu menu;
    QObject::connect(&menu, &TrayMenu::projectChosen, app.controller(),
                     &AppController::switchProject);
    QObject::connect(&menu, &TrayMenu::switchFlipped, app.controller(),
                     &AppController::setBridgeOn);
    auto visible = [&] {
        QStringList list;
        for (QAction *a : menu.actions()) {
            if (a->isVisible())
                list << (a->isSeparator() ? QStringLiteral("-")
                                          : a->text() + (a->isChecked() ? "*" : "") +
                                                (a->isEnabled() ? "" : " (off)"));
        }
        return list;
    };
    menu.showState(*app.status(), false);
    QCOMPARE(visible(), QStringList({"Open Panel", "-", "New Session (off)", "Bridge",
                                     "Configure Projects…", "Open Logs…", "-", "Quit DORV"}));

    server.respond(200, R"({"ok":true,"chatwire":"connected","active_project":"web",)"
                        R"("projects":["api","web","R&D"]})");
    app.status()->poll();
    QTRY_COMPARE(app.status()->projects().size(), 3);
    menu.showState(*app.status(), true);
    QCOMPARE(visible(),
             QStringList({"Open Panel", "-", "api", "web*", "R&&D", "-", "New Session", "Bridge*",
                          "Configure Projects…", "Open Logs…", "-", "Quit DORV"}));
    auto item = [&](const QString &text) {
        for (QAction *a : menu.actions())
            if (a->text() == text)
                return a;
        return static_cast<QAction *>(nullptr);
    };
    item("R&&D")->trigger(); // sent as its alias; the mark waits for the bridge
    QVERIFY(item("web")->isChecked() && !item("R&&D")->isChecked());
    QTRY_COMPARE(server.count("/use"), 1);
    for (const HttpRequest &r : server.requests())
        if (r.path == "/use")
            QCOMPARE(r.body, QByteArray(R"({"project":"R&D"})"));

    item("Bridge")->trigger(); // off
    QCOMPARE(m_service.calls().last(), "/usr/bin/systemctl --user stop com.ferlinq.service");
    QCOMPARE(app.status()->state(), BridgeState::Offline);
    menu.showState(*app.status(), app.controller()->agentLoaded());
    QCOMPARE(visible(), QStringList({"Open Panel", "-", "New Session (off)", "Bridge",
                                     "Configure Projects…", "Open Logs…", "-", "Quit DORV"}));

    // A long list: the first 50, then an item that opens the panel for the rest.
    QByteArray many;
    for (int i = 0; i < 60; ++i)
        many += (i ? ",\"p" : "\"p") + QByteArray::number(i) + '"';
    server.respond(200, R"({"ok":true,"chatwire":"connected","projects":[)" + many + "]}");
    app.status()->poll();
    QTRY_COMPARE(app.status()->projects().size(), 60);
    menu.showState(*app.status(), false);
    const QStringList shown = visible();
    QCOMPARE(shown.filter(QRegularExpression(QStringLiteral("^p\\d+$"))).size(), 50);
    QCOMPARE(shown.at(2 + 50), QStringLiteral("All Projects…"));
}

// Configure Projects… with the editor already open: the panel makes way, so the editor is never
// left hidden behind it where the window system refuses to raise it.
void TestApp::editorComesForward()
{
    FakeHttpServer server;
    DORVMenuApp app(seams(server));
    app.showPanel();
    app.controller()->openEditor();
    QVERIFY(app.editor()->window()->isVisible());
    QVERIFY(!app.ensurePanel()->isVisible());
    app.showPanel();
    app.controller()->openEditor();
    QVERIFY(!app.ensurePanel()->isVisible());
    QVERIFY(app.editor()->window()->isVisible());
    app.editor()->window()->close();
}

// A bridge outage is logged once when it starts and once when it ends, not at every poll.
void TestApp::outageLoggedOnce()
{
    FakeHttpServer server;
    BridgeStatus status(server.baseUrl());
    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordLog);
    server.respond(503, {});
    for (int i = 0; i < 3; ++i) {
        status.poll();
        QTRY_COMPARE(server.requests().size(), i + 1);
    }
    server.respond(200, R"({"ok":true})");
    status.poll();
    QTRY_COMPARE(status.state(), BridgeState::Connecting);
    status.poll();
    QTRY_COMPARE(server.requests().size(), 5);
    QTest::qWait(100);
    server.close(); // then the bridge goes away: one line, which says why
    status.poll();
    status.poll();
    QTRY_COMPARE(logged.size(), 3);
    QTest::qWait(100);
    qInstallMessageHandler(previous);
    QCOMPARE(logged.size(), 3);
    QVERIFY2(logged[2].contains(QStringLiteral("connection refused")), qPrintable(logged[2]));
    QVERIFY2(logged[0].contains(QStringLiteral("dorv.bridge")) &&
                 logged[0].contains(QStringLiteral("HTTP status 503")),
             qPrintable(logged[0]));
    QVERIFY2(logged[1].contains(QStringLiteral("answers again")), qPrintable(logged[1]));
}

// Where the panel opens, and how tall it may be, for icons at the edges of a 1920 x 1080 screen;
// with no icon place and no trustworthy pointer (Wayland), at the top-right corner.
void TestApp::placement_data()
{
    QTest::addColumn<QRect>("anchor");
    QTest::addColumn<QPoint>("topLeft");
    QTest::addColumn<int>("room");
    QTest::addColumn<QRect>("screen");
    const QRect screen(0, 0, 1920, 1080);
    QTest::newRow("top bar, middle") << QRect(900, 0, 24, 24) << QPoint(781, 28) << 1052 << screen;
    QTest::newRow("top bar, right edge")
        << QRect(1900, 0, 20, 24) << QPoint(1660, 28) << 1052 << screen;
    QTest::newRow("bottom panel, left edge")
        << QRect(0, 1056, 24, 24) << QPoint(0, 652) << 1052 << screen;
    QTest::newRow("cursor, bottom right")
        << QRect(1910, 1070, 1, 1) << QPoint(1660, 666) << 1066 << screen;
    QTest::newRow("unknown: the corner")
        << cornerAnchor(screen) << QPoint(1660, 0) << 1080 << screen;
    // The pointer that clicked an icon in a 28-px bar the available area leaves out: the panel
    // opens below the bar, not over the icon.
    const QRect belowBar(0, 28, 1920, 1052);
    QTest::newRow("pointer in a top bar")
        << QRect(1800, 14, 1, 1) << QPoint(1660, 28) << 1052 << belowBar;
    QTest::newRow("pointer in a bottom bar")
        << QRect(1800, 1066, 1, 1) << QPoint(1660, 652) << 1052 << QRect(0, 0, 1920, 1052);
}

void TestApp::placement()
{
    QFETCH(QRect, anchor);
    QFETCH(QPoint, topLeft);
    QFETCH(int, room);
    QFETCH(QRect, screen);
    QCOMPARE(panelRoom(anchor, screen), room);
    QCOMPARE(placePanel(QSize(260, 400), anchor, screen).topLeft(), topLeft);
    // As tall as the room allows: still on screen, still clear of the icon.
    const QRect tallest = placePanel(QSize(260, room), anchor, screen);
    QVERIFY(screen.contains(tallest) && !tallest.intersects(anchor));
}

QTEST_MAIN(TestApp)
#include "tst_app.moc"
