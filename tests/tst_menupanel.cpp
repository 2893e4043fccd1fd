#include "app/dorvmenuapp.h"
#include "app/panelwindow.h"
#include "bridge/bridgestatus.h"
#include "bridge/httpexchange.h"
#include "config/projectconfig.h"
#include "support/drawncheck.h"
#include "support/uitestkit.h"
#include "ui/menucontentview.h"
#include "ui/widgets/plainbutton.h"
#include "ui/widgets/rowlist.h"
#include "ui/widgets/wraplabel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

using namespace dorv;
using namespace dorv::test;

namespace {
QByteArray reply(const QString &chatwire, const QString &active, const QStringList &projects,
                 const QByteArray &extra = {})
{
    QByteArray list;
    for (const QString &p : projects)
        list += (list.isEmpty() ? "\"" : ",\"") + p.toUtf8() + "\"";
    return "{\"ok\":true,\"chatwire\":\"" + chatwire.toUtf8() + "\",\"active_project\":\"" +
           active.toUtf8() + "\",\"projects\":[" + list + "]" + extra + "}";
}

QStringList many(int n)
{
    QStringList names;
    for (int i = 0; i < n; ++i)
        names << QStringLiteral("project-%1").arg(i);
    return names;
}

const QString kOffline = QStringLiteral("headerSection divider toggleSection divider offlineHint "
                                        "divider actionsSection divider quitRow");
const QString kLong = QStringLiteral("a-very-long-project-name-without-a-single-break-anywhere");
const QString kLongWords = QStringLiteral("the project with a long name made of many short words");

// What a state's panel must show: texts in full, texts nowhere, and the context bar's fill.
struct Shown {
    QStringList texts;
    QStringList absent = {};
    QColor bar = {}; // invalid: not checked
};
const QColor kOrange(0xff, 0x95, 0x00);
const QColor kBlue(0x00, 0x7a, 0xff);
} // namespace
Q_DECLARE_METATYPE(Shown)

class TestMenuPanel : public QObject {
    Q_OBJECT
    TestHome m_home;
    FakeService m_service;
    std::unique_ptr<FakeHttpServer> m_server;
    std::unique_ptr<DORVMenuApp> m_app;
    int m_serviceStatus = 3;         // the service tool's answer: not loaded
    QStringList m_firstServiceCalls; // while the panel was built
    BridgeStatus *m_status = nullptr;
    PanelWindow *m_window = nullptr;
    MenuContentView *m_panel = nullptr;
    const QRect m_icon{740, 0, 24, 24}; // a tray at the top right
    QList<QUrl> m_opened;
    QPalette m_light;

    void apply(int code, const QByteArray &body)
    {
        m_server->respond(code, body);
        QSignalSpy spy(m_status, &BridgeStatus::changed);
        m_status->poll();
        // Polling may be running too (the panel starts it): every exchange in flight ends, the
        // last with this reply, before the panel's refresh.
        QTRY_VERIFY(spy.count() >= (code == 200 ? 6 : 1) &&
                    m_status->findChildren<HttpExchange *>().isEmpty());
        QCoreApplication::processEvents();
    }
    void open()
    {
        m_window->showAt(m_icon);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }
    QList<QAbstractButton *> buttons(const QString &name)
    {
        return m_panel->findChildren<QAbstractButton *>(name);
    }
    RowList *projectList() { return m_panel->findChild<RowList *>(QStringLiteral("projectRows")); }
    // Whether project row `index` is on screen in full.
    bool rowInView(int index)
    {
        QWidget *row = projectList()->rowWidget(index);
        QWidget *viewport = projectList()->viewport();
        return row && row->isVisible() &&
               viewport->rect().contains(QRect(row->mapTo(viewport, QPoint()), row->size()));
    }

public Q_SLOTS:
    void recordUrl(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase() { m_light = QApplication::palette(); }
    void init();
    void cleanup();
    void states_data();
    void states();
    void heightFollowsContent();
    void contextBarWidth();
    void switchFlips_data();
    void switchFlips();
    void projectRows();
    void keyboard();
    void quitKey();
    void openLogs();
};

void TestMenuPanel::init()
{
    m_service.setExitStatus(m_serviceStatus);
    m_server = std::make_unique<FakeHttpServer>();
    m_app = std::make_unique<DORVMenuApp>(AppSeams{.bridgeUrl = m_server->baseUrl(),
                                                   .serviceRunner = m_service.runner(),
                                                   .pgrepProgram = QStringLiteral("/bin/true")});
    m_status = m_app->status();
    m_window = m_app->ensurePanel();
    m_window->setPopup(true);
    m_panel = m_app->panel();
    m_firstServiceCalls = m_service.calls();
    m_service.clear();
}

void TestMenuPanel::cleanup()
{
    m_app.reset();
    QFile::remove(ProjectConfig::configPath());
    QApplication::setPalette(m_light);
}

// Every state the panel can draw, checked on screen: rows, texts, and no drawn fault.
void TestMenuPanel::states_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QString>("rows"); // empty: not checked
    QTest::addColumn<Shown>("shown");
    QTest::addColumn<bool>("dark");
    QTest::addColumn<int>("newSessions"); // sent by a click on New Session
    QTest::addColumn<int>("room"); // >= 0: the screen leaves the projects only this much height
    auto row = [](const char *name, int code, const QByteArray &body, const QString &rows,
                  const Shown &shown, const QByteArray &config = {}, bool dark = false,
                  int room = -1) {
        const bool active = code == 200 && !body.contains("\"active_project\":\"\"");
        QTest::newRow(name) << code << body << config << rows << shown << dark << int(active)
                            << room;
    };
    row("offline, a project remembered", 503, reply("connected", "api", {"api"}), kOffline,
        {{"DORV Bridge", "Offline", "Toggle bridge to start", "Quit DORV", "Ctrl+Q"}});
    row("connecting", 200, reply("pairing", "", {}),
        "headerSection connectingHint divider toggleSection divider actionsSection divider "
        "quitRow",
        {{"Connecting", "Send a message to connect"}});
    row("connecting, active", 200, reply("pairing", "api", {}), {}, {{"Connecting", "api"}});
    row("connecting, projects only", 200, reply("pairing", "", {"api"}),
        "headerSection connectingHint divider toggleSection divider projectsSection divider "
        "actionsSection divider quitRow",
        {{"api", "PROJECTS"}});
    row("connected, busy, 87 %, 3 queued", 200,
        reply("connected", "api", {"api", "web"},
              R"(,"marvek_busy":true,"context_pct":87.9,"queued":3)"),
        "headerSection divider projectCard divider toggleSection divider projectsSection "
        "divider actionsSection divider quitRow",
        {{"Connected", "Busy", "87%", "3 messages queued"}, {"Idle"}, kOrange});
    row("idle, 1 queued, no context", 200, reply("connected", "api", {}, R"(,"queued":1)"), {},
        {{"Idle", "1 message queued"}, {"%"}});
    row("context 70", 200, reply("connected", "api", {}, R"(,"context_pct":70)"), {},
        {{"70%"}, {}, kBlue});
    row("context 100", 200, reply("connected", "api", {}, R"(,"context_pct":100)"), {}, {{"100%"}});
    row("context 150", 200, reply("connected", "api", {}, R"(,"context_pct":150)"), {}, {{"150%"}});
    row("context past 64 bits", 200, reply("connected", "api", {}, R"(,"context_pct":1e300)"), {},
        {{"∞%"}});
    row("30 projects", 200, reply("connected", "project-29", many(30)), {},
        {{"project-29", "project-28", "Quit DORV", "New Session"}});
    row("long names", 200, reply("connected", kLong, {kLong, kLongWords, "api"}), {},
        {{kLong, kLongWords}});
    row("paths with underscores", 200, reply("connected", "web", {"web", "api"}), {},
        {{"/srv/web_frontend", "/srv/api_server"}, {"/srv/second"}},
        "projects:\n  web: /srv/web_frontend\n  api: /srv/api_server\n  api: /srv/second\n");
    row("dark", 200,
        reply("connected", "api", {"api", "web"}, R"(,"marvek_busy":true,"context_pct":41.5)"), {},
        {{"Connected", "41%"}, {}, kBlue}, {}, true);
    // A short screen: the panel stays inside it, the projects give way, down to no row at all.
    const QByteArray crowded = reply("connected", kLongWords, {"api", kLongWords, "web"},
                                     R"(,"marvek_busy":true,"context_pct":100)");
    const Shown allRows{{kLongWords, "Busy", "100%", "Quit DORV", "New Session"}};
    row("short screen, part of a row", 200, crowded, {}, allRows, {}, false, 30);
    row("short screen, no row", 200, crowded, {}, allRows, {}, false, 0);
}

void TestMenuPanel::states()
{
    QFETCH(int, code);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, config);
    QFETCH(QString, rows);
    QFETCH(Shown, shown);
    QFETCH(bool, dark);
    QFETCH(int, newSessions);
    QFETCH(int, room);
    if (dark) { // a panel built in a dark palette
        cleanup();
        QPalette palette(QColor(50, 50, 52), QColor(40, 40, 42));
        palette.setColor(QPalette::WindowText, Qt::white);
        QApplication::setPalette(palette);
        init();
    }
    if (!config.isEmpty())
        writeFile(ProjectConfig::configPath(), config);
    apply(200, body);
    if (code != 200)
        apply(code, {}); // a failed poll after an accepted one
    open();
    if (room >= 0) {
        const int others = m_window->height() - projectList()->height();
        m_panel->setMaximumPanelHeight(others + room);
        QTRY_COMPARE(m_window->height(), others + room);
        QCOMPARE(projectList()->height(), room);
    }
    const QSize opened = m_window->size();
    if (!rows.isEmpty())
        QCOMPARE(visibleRows(m_panel).join(u' '), rows);
    const QStringList texts = visibleTexts(m_window);
    for (const QString &text : shown.texts)
        QVERIFY2(texts.contains(text), qPrintable(text + u'|' + texts.join(u'|')));
    for (const QString &text : shown.absent)
        QVERIFY2(texts.filter(text).isEmpty(), qPrintable(texts.join(u'|')));
    if (shown.bar.isValid()) { // the fill's colour, as drawn
        const QImage bar =
            m_panel->findChild<QWidget *>(QStringLiteral("contextBar"))->grab().toImage();
        QCOMPARE(bar.pixelColor(2, 1).hue() / 10, shown.bar.hue() / 10);
    }
    saveScreenshot(m_window,
                   QStringLiteral("panel-") + QString::fromLatin1(QTest::currentDataTag()));
    CHECK_DRAWN(m_window, m_icon);
    QCOMPARE(m_window->size(), opened); // it opened at its final size, it does not jump
    // With room enough, every row shows: a row measured too short would leave the end of the
    // list behind a scroll bar.
    m_panel->setMaximumPanelHeight(0);
    QTRY_COMPARE(projectList()->verticalScrollBar()->maximum(), 0);
    QTest::mouseClick(buttons(QStringLiteral("menuItem")).value(0), Qt::LeftButton);
    QTest::qWait(50);
    QTRY_COMPARE(m_server->count("/new"), newSessions);
}

// After a tall state the panel shrinks to its content, open or closed, and never covers the icon.
void TestMenuPanel::heightFollowsContent()
{
    const QByteArray tall = reply("connected", "project-1", many(30));
    apply(200, tall);
    open();
    const int tallHeight = m_window->height();
    apply(500, {}); // the bridge stops while the panel is open
    QTRY_VERIFY(m_window->height() < tallHeight);
    CHECK_DRAWN(m_window, m_icon);

    apply(200, tall);
    QTRY_COMPARE(m_window->height(), tallHeight);
    m_window->hide();
    apply(500, {}); // and while it is closed: it opens at the right size, it does not jump
    QRect shownAt;
    QObject scope; // the connection ends with this test
    connect(m_window->windowHandle(), &QWindow::visibleChanged, &scope,
            [&] { shownAt = m_window->geometry(); });
    open();
    QCOMPARE(visibleRows(m_panel).join(u' '), kOffline);
    QCoreApplication::processEvents();
    QCOMPARE(shownAt, m_window->geometry());
    CHECK_DRAWN(m_window, m_icon);
}

// Flipped by a click, or from the keyboard after Tab: Space and Return alike.
// The bar is 172 wide whatever the percentage says: it does not shift between 99% and 100%.
void TestMenuPanel::contextBarWidth()
{
    for (const char *pct : {"0", "99.9", "100", "150"}) {
        apply(200, reply("connected", "api", {}, QByteArray(",\"context_pct\":") + pct));
        open();
        QCoreApplication::processEvents();
        QCOMPARE(m_panel->findChild<QWidget *>(QStringLiteral("contextBar"))->width(), 172);
        CHECK_DRAWN(m_window, m_icon);
        m_window->hide();
    }
}

void TestMenuPanel::switchFlips_data()
{
    QTest::addColumn<bool>("loaded");
    QTest::addColumn<int>("key"); // 0: a click
    QTest::newRow("on, click") << false << 0;
    QTest::newRow("off, click") << true << 0;
    QTest::newRow("off, Space") << true << int(Qt::Key_Space);
    QTest::newRow("on, Return") << false << int(Qt::Key_Return);
}

void TestMenuPanel::switchFlips()
{
    QFETCH(bool, loaded);
    QFETCH(int, key);
    cleanup();
    m_serviceStatus = loaded ? 0 : 3;
    init();
    m_serviceStatus = 3;
    apply(200, reply("connected", "api", {"api"}));
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
        QCOMPARE(visibleRows(m_panel).join(u' '), kOffline);
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

void TestMenuPanel::projectRows()
{
    // The first poll's rows arrive while the panel is open: a long list shows the active row.
    open();
    apply(200, reply("connected", "project-27", many(30)));
    QTRY_VERIFY(rowInView(27));
    QVERIFY(!rowInView(0));
    m_window->hide();

    apply(200, reply("connected", "web", {"api", "web"}));
    open();
    const QList<QWidget *> rows{projectList()->rowWidget(0), projectList()->rowWidget(1)};
    QCOMPARE(rows[0]->accessibleName(), QStringLiteral("api"));
    QCOMPARE(rows[1]->accessibleDescription(), QStringLiteral("Active project"));
    QCOMPARE(rows[0]->accessibleDescription(), QString());
    auto checkOf = [](QWidget *row) {
        return row->findChild<QLabel *>(QStringLiteral("checkmark"));
    };
    QVERIFY(checkOf(rows[0])->pixmap().isNull());
    QVERIFY(!checkOf(rows[1])->pixmap().isNull());
    auto nameX = [](QWidget *row) { return row->findChild<WrapLabel *>()->x(); };
    QCOMPARE(nameX(rows[0]), nameX(rows[1])); // names line up with or without a check mark

    // Only the active project changes: the check mark moves.
    apply(200, reply("connected", "api", {"api", "web"}));
    QVERIFY(!checkOf(rows[0])->pixmap().isNull());
    QVERIFY(checkOf(rows[1])->pixmap().isNull());
    apply(200, reply("connected", "web", {"api", "web"}));

    QTest::mouseClick(rows[1], Qt::LeftButton); // the active one is sent again
    QTRY_COMPARE(m_server->count("/use"), 1);
    for (const HttpRequest &r : m_server->requests())
        if (r.path == "/use")
            QCOMPARE(r.body, QByteArray(R"({"project":"web"})"));

    // In a list that scrolls, every opening shows the active row.
    m_window->hide();
    apply(200, reply("connected", "project-27", many(30)));
    open();
    QVERIFY(rowInView(27));
    // The wheel scrolls, and where the user scrolled to stays put over the next polls.
    QScrollBar *bar = projectList()->findChild<QScrollBar *>(); // the one drawn
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    QWidget *viewport = projectList()->viewport();
    QWheelEvent wheel(QPointF(20, 20), viewport->mapToGlobal(QPointF(20, 20)), {}, {0, -120},
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(viewport, &wheel);
    const int scrolled = bar->value();
    QVERIFY(scrolled > 0);
    QVERIFY(!rowInView(27));
    apply(200, reply("connected", "project-27", many(30)));
    QCOMPARE(bar->value(), scrolled);
    m_window->hide();
    open();
    QVERIFY(rowInView(27));
}

void TestMenuPanel::keyboard()
{
    apply(200, reply("connected", "web", {"api", "web"}));
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
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : m_window,
                    Qt::Key_Tab);
    QStringList order{QApplication::focusWidget()->accessibleName()};
    for (int i = 0; i < 7; ++i)
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
    apply(200, reply("connected", "api", {"api", "web"}));
    QCOMPARE(focusName(), QStringLiteral("api"));
    QCOMPARE(QApplication::focusWidget()->accessibleDescription(),
             QStringLiteral("Active project"));
    QVERIFY(qobject_cast<PlainButton *>(QApplication::focusWidget())->showsKeyboardFocus());
    QCOMPARE(tab(), QStringLiteral("web"));
    QCOMPARE(tab(Qt::Key_Backtab), QStringLiteral("api"));

    // Tab walks a long list row by row, each row scrolled into view as it comes.
    apply(200, reply("connected", "project-0", many(30)));
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
void TestMenuPanel::quitKey()
{
    open();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QSignalSpy quit(m_panel, &MenuContentView::quitRequested);
    QTest::keyClick(m_window, Qt::Key_Q, Qt::ControlModifier);
    QCOMPARE(quit.count(), 1);
}

void TestMenuPanel::openLogs()
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

QTEST_MAIN(TestMenuPanel)
#include "tst_menupanel.moc"
