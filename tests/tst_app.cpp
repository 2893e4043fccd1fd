#include "app/appcontroller.h"
#include "app/dorvmenuapp.h"
#include "app/panelwindow.h"
#include "app/traymenu.h"
#include "support/panelfixture.h"
#include "ui/widgets/spinner.h"

#include <QScreen>
#include <QWindow>

using namespace dorv;
using namespace dorv::test;

namespace {
// The standard colours, as a person sees them in the light palette.
const QColor kGray(0x8e, 0x8e, 0x93);
const QColor kGreen(0x34, 0xc7, 0x59);
const QColor kOrange(0xff, 0x95, 0x00);
const QRect kIcon(740, 0, 24, 24);
} // namespace

class TestApp : public QObject {
    Q_OBJECT
    TestHome m_home;
    FakeService m_service;

    AppSeams seams(const FakeHttpServer &server)
    {
        return {.bridgeUrl = server.baseUrl(),
                .serviceRunner = m_service.runner(),
                .pgrepProgram = QStringLiteral("/bin/true"),
                .samePressMs = 150};
    }

private Q_SLOTS:
    void iconAndFirstOpen();
    void trayMenu();
    void onePressOneCommand_data();
    void onePressOneCommand();
    void placesAndTimes();
    void editorComesForward();
    void placement_data();
    void placement();
};

// The icon follows the bridge from the first poll, which the first showing starts. The first
// open asks the bridge first and opens at the shape the answer gives: a panel that grows after
// it appeared runs off the screen where the compositor keeps its corner.
void TestApp::iconAndFirstOpen()
{
    FakeHttpServer server;
    server.respond(200, statusReply("connected", "project-29", manyProjects(30)));
    DORVMenuApp app(seams(server));
    QCOMPARE(app.currentIconName(), QStringLiteral("message"));
    QCOMPARE(app.currentIconColor(), kGray);
    PanelWindow *window = app.ensurePanel();
    window->setPopup(true);
    window->winId();
    QList<QRect> shown;
    connect(window->windowHandle(), &QWindow::visibleChanged, this, [&](bool visible) {
        if (visible)
            shown << window->geometry();
    });
    QTest::qWait(200);
    QCOMPARE(server.requests().size(), 0); // nothing before the panel is first shown
    app.showPanel();
    QVERIFY(!window->isVisible()); // not before the answer
    QTRY_VERIFY(window->isVisible());
    QTest::qWait(100);
    QCOMPARE(shown, QList<QRect>{window->geometry()});
    QVERIFY(window->height() > 400);
    QCOMPARE(server.count("/status"), 1);
    QCOMPARE(app.currentIconColor(), kGreen);
    QCOMPARE(app.currentIconName(), QStringLiteral("message.fill"));

    server.respond(200, R"({"ok":true,"chatwire":"pairing","marvek_busy":true,"queued":4})");
    window->hide();
    app.showPanel(); // later opens are at once, each with its poll
    QVERIFY(window->isVisible());
    QTRY_COMPARE(app.currentIconColor(), kOrange);
    QCOMPARE(app.currentIconName(), QStringLiteral("message.fill"));
    QCOMPARE(server.count("/status"), 2);
    // A click closes the panel and the next one, however soon, opens it again; a second start
    // of the program only ever opens it.
    app.togglePanel();
    QVERIFY(!window->isVisible());
    app.togglePanel();
    QVERIFY(window->isVisible());
    app.showPanel();
    QVERIFY(window->isVisible());
}

// The application's own tray menu: what it lists and marks, and what its items send.
void TestApp::trayMenu()
{
    m_service.setExitStatus(0); // the service runs
    m_service.clear();
    FakeHttpServer server;
    server.respond(200, statusReply("connected", "web", {"api", "web", "R&D"}));
    DORVMenuApp app(seams(server));
    TrayMenu *menu = app.ensureMenu();
    auto shown = [&] {
        QStringList list;
        for (QAction *a : menu->actions())
            if (a->isVisible() && !a->isSeparator())
                list << a->text() + (a->isChecked() ? "*" : "") + (a->isEnabled() ? "" : " (off)");
        return list;
    };
    auto item = [&](const QString &text) {
        for (QAction *a : menu->actions())
            if (a->text() == text)
                return a;
        return static_cast<QAction *>(nullptr);
    };
    menu->popup(kIcon.bottomLeft()); // the first showing polls
    QTRY_COMPARE(shown(),
                 QStringList({"Open Panel", "api", "web*", "R&&D", "New Session", "Bridge*",
                              "Configure Projects…", "Open Logs…", "Quit DORV"}));
    menu->hide();
    item("R&&D")->trigger(); // one click, one /use, with its alias; the mark waits for the bridge
    QVERIFY(item("web")->isChecked() && !item("R&&D")->isChecked());
    QTRY_COMPARE(server.count("/status"), 2);
    QCOMPARE(server.count("/use"), 1);
    QCOMPARE(server.requests().at(1).body, QByteArray(R"({"project":"R&D"})"));
    // A poll that moves only the active project moves the mark.
    server.respond(200, statusReply("connected", "api", {"api", "web", "R&D"}));
    app.status()->poll();
    QTRY_VERIFY(item("api")->isChecked());
    QVERIFY(!item("web")->isChecked());

    m_service.clear();
    item("Bridge")->trigger(); // off, the menu's switch too, at once
    QCOMPARE(m_service.calls(), QStringList{"/usr/bin/systemctl --user stop com.ferlinq.service"});
    QCOMPARE(shown(), QStringList({"Open Panel", "New Session (off)", "Bridge",
                                   "Configure Projects…", "Open Logs…", "Quit DORV"}));

    // As many projects as one column of the screen holds, the active one always among them.
    server.respond(200, statusReply("connected", "project-7777", manyProjects(10000)));
    app.status()->poll();
    QTRY_VERIFY(item("project-7777") && item("project-7777")->isChecked());
    QVERIFY(item("project-0")->isVisible() && item("All Projects…")->isVisible());
    menu->popup(kIcon.bottomLeft());
    QVERIFY(menu->height() <= menu->screen()->availableGeometry().height());
    for (QAction *a : menu->actions())
        QCOMPARE(menu->actionGeometry(a).x(), menu->actionGeometry(item("Quit DORV")).x());
    saveScreenshot(menu, QStringLiteral("traymenu-10000-projects"));
    menu->hide();
}

// A second press of the same control within the double-click interval, or while its command is
// still out, sends nothing; meanwhile the control shows it is busy, then takes presses again.
void TestApp::onePressOneCommand_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("replyMs");
    QTest::addColumn<int>("secondPressMs");
    for (const char *control : {"panel new", "panel row", "menu new", "menu row"}) {
        QTest::addRow("%s, double click", control) << QString::fromLatin1(control) << 0 << 80;
        QTest::addRow("%s, still out", control) << QString::fromLatin1(control) << 500 << 300;
    }
}

void TestApp::onePressOneCommand()
{
    QFETCH(QString, control);
    QFETCH(int, replyMs);
    QFETCH(int, secondPressMs);
    FakeHttpServer server;
    server.setHandler([=](const HttpRequest &r) {
        return r.path == "/status"
                   ? HttpResponse{200, statusReply("connected", "api", {"api", "web"})}
                   : HttpResponse{.body = "{}", .delayMs = replyMs};
    });
    DORVMenuApp app(seams(server));
    TrayMenu *menu = app.ensureMenu();
    app.ensurePanel()->showAt(kIcon);
    app.status()->poll();
    MenuContentView *panel = app.panel();
    QWidget *newSession = panel->findChildren<QAbstractButton *>(QStringLiteral("menuItem"))[0];
    QTRY_VERIFY(newSession->isEnabled()); // the answer is drawn
    QWidget *row = panel->findChild<RowList *>(QStringLiteral("projectRows"))->rowWidget(1);
    QWidget *pressed = control.endsWith("new") ? newSession : row;
    QAction *item = menu->actions().at(control.endsWith("new") ? 6 : 3);
    const QByteArray path = control.endsWith("new") ? "/new" : "/use";
    auto press = [&] {
        if (control.startsWith("panel"))
            QTest::mouseClick(pressed, Qt::LeftButton);
        else
            item->trigger();
    };
    auto busy = [&] {
        return control.startsWith("panel") ? pressed->findChild<Spinner *>()->isVisible()
                                           : !item->isEnabled();
    };
    press();
    QTRY_VERIFY(busy());
    saveScreenshot(app.ensurePanel(), "panel-busy-" + QString::fromLatin1(QTest::currentDataTag()));
    QTest::qWait(secondPressMs);
    press();
    QTRY_VERIFY(!busy());
    QCOMPARE(server.count(path), 1);
    press();
    QTRY_COMPARE(server.count(path), 2);
}

// The design's times, and places under the home folder as it is when the seams are made.
void TestApp::placesAndTimes()
{
    const AppSeams defaults;
    QCOMPARE(QList<int>({defaults.pollTimes.intervalMs, defaults.pollTimes.afterServiceStartMs,
                         defaults.pollTimes.firstAnswerWaitMs, defaults.timeouts.statusIdleMs,
                         defaults.timeouts.statusLifetimeMs, defaults.timeouts.commandIdleMs}),
             QList<int>({5000, 2000, 400, 3000, 10000, 5000}));
    QCOMPARE(defaults.listFile, m_home.file(".marvek/chatwire-projects.yaml"));
    {
        TestHome other;
        QCOMPARE(AppSeams().logFolder, other.file("Library/Logs/com.ferlinq"));
    }
}

// Configure Projects… with the editor already open: the panel makes way, so the editor is never
// left hidden behind it where the window system refuses to raise it.
void TestApp::editorComesForward()
{
    FakeHttpServer server;
    DORVMenuApp app(seams(server));
    for (int i = 0; i < 2; ++i) {
        app.showPanel();
        QTRY_VERIFY(app.ensurePanel()->isVisible());
        app.controller()->openEditor();
        QVERIFY(app.editor()->window()->isVisible());
        QVERIFY(!app.ensurePanel()->isVisible());
    }
    app.editor()->window()->close();
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
    QTest::newRow("bottom panel, left edge")
        << QRect(0, 1056, 24, 24) << QPoint(0, 652) << 1052 << screen;
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
