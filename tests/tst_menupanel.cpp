#include "support/drawncheck.h"
#include "support/panelfixture.h"
#include "ui/widgets/wraplabel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QScrollBar>
#include <QWheelEvent>

using namespace dorv;
using namespace dorv::test;
using namespace Qt::StringLiterals;

namespace {
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

// The panel as drawn, in every state, and its project rows.
class TestMenuPanel : public PanelFixture {
    Q_OBJECT
private Q_SLOTS:
    void states_data();
    void states();
    void heightFollowsContent();
    void projectRows();
    void names();
};

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
    auto row = [](const char *name, int code, const QByteArray &body, const QString &rows,
                  const Shown &shown, const QByteArray &config = {}, bool dark = false) {
        const bool active = code == 200 && !body.contains("\"active_project\":\"\"");
        QTest::newRow(name) << code << body << config << rows << shown << dark << int(active);
    };
    row("offline, a project remembered", 503, statusReply("connected", "api", {"api"}),
        kOfflineRows,
        {{"DORV Bridge", "Offline", "Toggle bridge to start", "Quit DORV", "Ctrl+Q"}});
    row("connecting", 200, statusReply("pairing", "", {}),
        "headerSection connectingHint divider toggleSection divider actionsSection divider "
        "quitRow",
        {{"Connecting", "Send a message to connect"}});
    row("connecting, active", 200, statusReply("pairing", "api", {}), {}, {{"Connecting", "api"}});
    row("connecting, projects only", 200, statusReply("pairing", "", {"api"}),
        "headerSection connectingHint divider toggleSection divider projectsSection divider "
        "actionsSection divider quitRow",
        {{"api", "PROJECTS"}});
    row("connected, busy, 87 %, 3 queued", 200,
        statusReply("connected", "api", {"api", "web"},
                    R"(,"marvek_busy":true,"context_pct":87.9,"queued":3)"),
        "headerSection divider projectCard divider toggleSection divider projectsSection "
        "divider actionsSection divider quitRow",
        {{"Connected", "Busy", "87%", "3 messages queued"}, {"Idle"}, kOrange});
    row("idle, 1 queued, no context", 200, statusReply("connected", "api", {}, R"(,"queued":1)"),
        {}, {{"Idle", "1 message queued"}, {"%"}});
    row("context 70", 200, statusReply("connected", "api", {}, R"(,"context_pct":70)"), {},
        {{"70%"}, {}, kBlue});
    row("context 100", 200, statusReply("connected", "api", {}, R"(,"context_pct":100)"), {},
        {{"100%"}});
    row("context past 64 bits", 200, statusReply("connected", "api", {}, R"(,"context_pct":1e300)"),
        {}, {{"∞%"}});
    row("long names", 200, statusReply("connected", kLong, {kLong, kLongWords, "api"}), {},
        {{kLong, kLongWords}});
    row("paths with underscores", 200, statusReply("connected", "web", {"web", "api"}), {},
        {{"/srv/web_frontend", "/srv/api_server"}, {"/srv/second"}},
        "projects:\n  web: /srv/web_frontend\n  api: /srv/api_server\n  api: /srv/second\n");
    row("dark", 200,
        statusReply("connected", "api", {"api", "web"},
                    R"(,"marvek_busy":true,"context_pct":41.5)"),
        {}, {{"Connected", "41%"}, {}, kBlue}, {}, true);
    // At 2x on 1280x720 (tst_menupanel_2x) the list keeps three rows, the card's secondary
    // lines give way, then the panel scrolls.
    row("busy, connecting, queued, 30 projects", 200,
        statusReply("pairing", "project-29", manyProjects(30),
                    R"(,"marvek_busy":true,"context_pct":100,"queued":2)"),
        {}, {{"project-29", "project-28", "Busy", "Quit DORV", "New Session"}});
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
    QSize opened;        // as the window is mapped
    QObject scope;
    m_window->winId();
    connect(m_window->windowHandle(), &QWindow::visibleChanged, &scope,
            [&] { opened = m_window->size(); });
    open();
    QVERIFY(projectList());
    int inView = 0; // the list shows three rows in full, or all of them
    for (int i = 0; i < projectList()->count(); ++i)
        inView += rowInView(i);
    QVERIFY(!projectList()->isVisible() || inView >= qMin(3, projectList()->count()));
    if (!rows.isEmpty())
        QCOMPARE(visibleRows(m_panel).join(u' '), rows);
    const QStringList texts = visibleTexts(m_window);
    for (const QString &text : shown.texts)
        QVERIFY2(texts.contains(text), qPrintable(text + u'|' + texts.join(u'|')));
    for (const QString &text : shown.absent)
        QVERIFY2(texts.filter(text).isEmpty(), qPrintable(texts.join(u'|')));
    auto *bar = m_panel->findChild<QWidget *>(QStringLiteral("contextBar"));
    if (bar && bar->isVisible()) {
        QCOMPARE(bar->width(), 172); // whatever the percentage: no shift between 99% and 100%
        if (shown.bar.isValid())     // the fill's colour, as drawn
            QCOMPARE(bar->grab().toImage().pixelColor(2, 1).hue() / 10, shown.bar.hue() / 10);
    }
    // Before the whole panel scrolls, the card's context and queue lines give way.
    QVERIFY(!(bar && bar->isVisible()) || m_window->height() >= m_panel->height());
    saveScreenshot(m_window,
                   QStringLiteral("panel-") + QString::fromLatin1(QTest::currentDataTag()));
    CHECK_DRAWN(m_window, m_icon);
    QCOMPARE(m_window->size(), opened); // it opened at its final size, it does not jump
    // The last control is reached by the keyboard, and seen: a panel that scrolls follows it.
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    QTest::keyClick(m_window, Qt::Key_Backtab);
    QWidget *last = QApplication::focusWidget();
    QVERIFY(last &&
            m_window->rect().contains(QRect(last->mapTo(m_window, QPoint()), last->size())));
    // With room enough, every row shows: a row measured too short would leave the end of the
    // list behind a scroll bar.
    m_panel->setMaximumPanelHeight(0);
    QTRY_COMPARE(projectList()->verticalScrollBar()->maximum(), 0);
    QAbstractButton *newSession = buttons(QStringLiteral("menuItem")).value(0);
    QVERIFY(newSession);
    QTest::mouseClick(newSession, Qt::LeftButton);
    QTest::qWait(50);
    QTRY_COMPARE(m_server->count("/new"), newSessions);
}

// After a tall state the panel shrinks to its content, open or closed, and never covers the icon.
void TestMenuPanel::heightFollowsContent()
{
    const QByteArray tall = statusReply("connected", "project-1", manyProjects(30));
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
    QCOMPARE(visibleRows(m_panel).join(u' '), kOfflineRows);
    QCoreApplication::processEvents();
    QCOMPARE(shownAt, m_window->geometry());
    CHECK_DRAWN(m_window, m_icon);
}

void TestMenuPanel::projectRows()
{
    // The first poll's rows arrive while the panel is open: a long list shows the active row.
    open();
    QVERIFY(projectList());
    apply(200, statusReply("connected", "project-27", manyProjects(30)));
    QTRY_VERIFY(rowInView(27));
    QVERIFY(!rowInView(0));
    m_window->hide();

    apply(200, statusReply("connected", "web", {"api", "web"}));
    open();
    const QList<QWidget *> rows{projectList()->rowWidget(0), projectList()->rowWidget(1)};
    QVERIFY(rows[0] && rows[1]); // the screen reader hears which one is active
    QCOMPARE(rows[1]->accessibleDescription(), QStringLiteral("Active project"));
    auto marked = [](QWidget *row) { // a blue check mark drawn before the name
        const QImage image = row->grab(QRect(0, 0, 28, row->height())).toImage();
        for (int i = 0; i < image.width() * image.height(); ++i)
            if (image.pixelColor(i % image.width(), i / image.width()).hsvSaturation() > 150)
                return true;
        return false;
    };
    QVERIFY(!marked(rows[0]) && marked(rows[1]));
    auto nameX = [](QWidget *row) { return row->findChild<WrapLabel *>()->x(); };
    QCOMPARE(nameX(rows[0]), nameX(rows[1])); // names line up with or without a check mark

    // Only the active project changes: the check mark moves.
    apply(200, statusReply("connected", "api", {"api", "web"}));
    QVERIFY(marked(rows[0]) && !marked(rows[1]));

    // In a list that scrolls, every opening shows the active row.
    m_window->hide();
    apply(200, statusReply("connected", "project-27", manyProjects(30)));
    open();
    QVERIFY(rowInView(27));
    // The wheel scrolls, and where the user scrolled to stays put over the next polls.
    QScrollBar *bar = projectList()->findChild<QScrollBar *>(); // the one drawn
    QVERIFY(bar);
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    QWidget *viewport = projectList()->viewport();
    QWheelEvent wheel(QPointF(20, 20), viewport->mapToGlobal(QPointF(20, 20)), {}, {0, -120},
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(viewport, &wheel);
    const int scrolled = bar->value();
    QVERIFY(scrolled > 0);
    QVERIFY(!rowInView(27));
    apply(200, statusReply("connected", "project-27", manyProjects(30)));
    QCOMPARE(bar->value(), scrolled);
    m_window->hide();
    open();
    QVERIFY(rowInView(27));
}

// Names from the bridge never draw as another: controls and invisible characters show by code,
// a name is isolated from the text around it, and the bridge gets its own string back.
void TestMenuPanel::names()
{
    // Names, each followed by how it is drawn.
    const QStringList names =
        QString(u"\u202Egnp.exe|‹U+202E›gnp.exe|exe.png|exe.png|x\ny|x‹U+000A›y|"
                u"x|x|a\0b|a‹U+0000›b|a\u001Bb|a‹U+001B›b|a\x7f\u0085|"
                u"a‹U+007F›‹U+0085›|a\u00A0b|a‹U+00A0›b|a b|a b|ab\u200B|"
                u"ab‹U+200B›|x␊y|x‹U+240A›y|‹U+000A›|‹U+2039›U+000A›"_s)
            .split(u'|');
    QJsonArray list;
    for (qsizetype i = 0; i < names.size(); i += 2)
        list.append(names[i]);
    const QString active = names[0];
    apply(200, QJsonDocument(QJsonObject{{"ok", true},
                                         {"chatwire", "connected"},
                                         {"active_project", active},
                                         {"projects", list}})
                   .toJson());
    m_panel->setMaximumPanelHeight(0); // every row on screen
    open();
    auto *card = m_panel->findChild<WrapLabel *>(QStringLiteral("activeProject"));
    QVERIFY(card && projectList());
    QCOMPARE(card->text(), QChar(0x2068) + names[1] + QChar(0x2069));
    const QStringList texts = visibleTexts(m_window);
    for (qsizetype i = 1; i < names.size(); i += 2) // the active one in its row and on the card
        QVERIFY2(texts.count(names[i]) == (i == 1 ? 2 : 1), qPrintable(texts.join(u'|')));
    saveScreenshot(m_window, QStringLiteral("names"));
    CHECK_DRAWN(m_window, m_icon);
    QTest::mouseClick(projectList()->rowWidget(0), Qt::LeftButton); // active: sent again
    QTRY_COMPARE(m_server->count("/use"), 1);
    for (const HttpRequest &r : m_server->requests())
        if (r.path == "/use")
            QCOMPARE(QJsonDocument::fromJson(r.body)["project"].toString(), active);
}

QTEST_MAIN(TestMenuPanel)
#include "tst_menupanel.moc"
