#include "bridgestatus.h"
#include "menucontentview.h"
#include "projectconfig.h"
#include "reloadsignal.h"
#include "style.h"
#include "uitestkit.h"
#include "widgets.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>

using namespace dorv;
using namespace dorv::test;

namespace {
QByteArray body(const QString &chatwire, const QString &active, const QStringList &projects,
                bool busy = false, const QByteArray &context = "null", qint64 queued = 0)
{
    QByteArray list;
    for (const QString &p : projects)
        list += (list.isEmpty() ? "\"" : ",\"") + p.toUtf8() + "\"";
    return "{\"ok\":true,\"chatwire\":\"" + chatwire.toUtf8() + "\",\"active_project\":\"" +
           active.toUtf8() + "\",\"projects\":[" + list +
           "],\"marvek_busy\":" + (busy ? "true" : "false") + ",\"context_pct\":" + context +
           ",\"queued\":" + QByteArray::number(queued) + "}";
}
} // namespace

class TestMenuPanel : public QObject {
    Q_OBJECT
    TestHome m_home;
    std::unique_ptr<FakeServiceTool> m_tool;
    std::unique_ptr<FakeHttpServer> m_server;
    std::unique_ptr<BridgeStatus> m_status;
    std::unique_ptr<MenuContentView> m_panel;

    void apply(int code, const QByteArray &reply);
    template <typename T = QWidget> T *find(const QString &name)
    {
        return m_panel->findChild<T *>(name);
    }
    void writeConfig(const QByteArray &text);
    QList<QUrl> m_opened;

public Q_SLOTS:
    void recordUrl(const QUrl &url) { m_opened.append(url); }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void shape_data();
    void shape();
    void oneRefreshPerPoll();
    void geometry();
    void contextLine_data();
    void contextLine();
    void queueAndBusy_data();
    void queueAndBusy();
    void switchOn();
    void switchOff();
    void switchStartsFromAgent();
    void newSessionEnabled_data();
    void newSessionEnabled();
    void projectRows();
    void projectRowPaths();
    void openLogs();
    void screenshots();
};

void TestMenuPanel::initTestCase()
{
    reload::setPgrepOverride(QStringLiteral("/bin/true"));
}

void TestMenuPanel::init()
{
    m_tool = std::make_unique<FakeServiceTool>(m_home);
    m_tool->setExitStatus(3); // agent not loaded
    m_server = std::make_unique<FakeHttpServer>();
    m_status = std::make_unique<BridgeStatus>(m_server->baseUrl());
    m_panel = std::make_unique<MenuContentView>(m_status.get());
    m_panel->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_panel.get()));
    m_tool->clear();
}

void TestMenuPanel::cleanup()
{
    m_panel.reset();
    m_status.reset();
    m_server.reset();
    m_tool.reset();
    QFile::remove(ProjectConfig::configPath());
}

void TestMenuPanel::apply(int code, const QByteArray &reply)
{
    m_server->respond(code, reply);
    QSignalSpy spy(m_status.get(), &BridgeStatus::changed);
    m_status->poll();
    QTRY_VERIFY(spy.count() >= 1);
    QTRY_VERIFY(spy.count() == (code == 200 ? 6 : 1));
    QCoreApplication::processEvents(); // the panel's refresh
}

void TestMenuPanel::writeConfig(const QByteArray &text)
{
    QDir().mkpath(QFileInfo(ProjectConfig::configPath()).absolutePath());
    QFile f(ProjectConfig::configPath());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

void TestMenuPanel::shape_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("badge");
    QTest::addColumn<style::Tint>("tint");
    const QString offline = "headerSection divider toggleSection divider offlineHint divider "
                            "actionsSection divider quitRow";
    QTest::newRow("offline") << 500 << QByteArray() << offline << "Offline" << style::Tint::Gray;
    QTest::newRow("offline remembers project")
        << 503 << body("connected", "api", {"api"}) << offline << "Offline" << style::Tint::Gray;
    QTest::newRow("connecting, nothing") << 200 << body("waiting", "", {})
                                         << "headerSection connectingHint divider toggleSection "
                                            "divider actionsSection divider quitRow"
                                         << "Connecting" << style::Tint::Orange;
    QTest::newRow("connecting, projects only")
        << 200 << body("waiting", "", {"api"})
        << "headerSection connectingHint divider toggleSection divider projectsSection divider "
           "actionsSection divider quitRow"
        << "Connecting" << style::Tint::Orange;
    QTest::newRow("connecting, active and projects")
        << 200 << body("waiting", "api", {"api", "web"})
        << "headerSection connectingHint divider projectCard divider toggleSection divider "
           "projectsSection divider actionsSection divider quitRow"
        << "Connecting" << style::Tint::Orange;
    QTest::newRow("connected")
        << 200 << body("connected", "api", {"api", "web"})
        << "headerSection divider projectCard divider toggleSection divider projectsSection "
           "divider actionsSection divider quitRow"
        << "Connected" << style::Tint::Green;
    QTest::newRow("connected, no active")
        << 200 << body("connected", "", {"api"})
        << "headerSection divider toggleSection divider projectsSection divider actionsSection "
           "divider quitRow"
        << "Connected" << style::Tint::Green;
}

void TestMenuPanel::shape()
{
    QFETCH(int, code);
    QFETCH(QByteArray, reply);
    QFETCH(QString, rows);
    QFETCH(QString, badge);
    QFETCH(style::Tint, tint);
    if (code == 503)
        apply(200, reply); // an accepted reply first, then the failure
    apply(code, reply);
    QCOMPARE(visibleRows(m_panel.get()).join(u' '), rows);
    auto *label = find<QLabel>(QStringLiteral("stateLabel"));
    QCOMPARE(label->text(), badge);
    QCOMPARE(label->palette().color(QPalette::WindowText), style::color(tint));
    auto *dot = find<Dot>(QStringLiteral("stateDot"));
    QCOMPARE(dot->color(), style::color(tint));
    QCOMPARE(dot->glowing(), tint == style::Tint::Green);
    QColor fill = style::color(tint);
    fill.setAlphaF(0.12);
    QCOMPARE(find<FilledFrame>(QStringLiteral("badge"))->fill(), fill);
}

void TestMenuPanel::oneRefreshPerPoll()
{
    const int before = m_panel->refreshCount();
    apply(200, body("connected", "api", {"api"}));
    QCOMPARE(m_panel->refreshCount(), before + 1);
    apply(500, {});
    QCOMPARE(m_panel->refreshCount(), before + 2);
}

void TestMenuPanel::geometry()
{
    const QString longName = QStringLiteral("a-very-long-project-name-without-any-break-at-all "
                                            "and then some words that wrap");
    apply(200, body("connected", "short", {"short"}, false, "50"));
    QCOMPARE(m_panel->width(), 260);
    auto *card = find(QStringLiteral("card"));
    QCOMPARE(card->width(), 232);
    const int shortHeight = card->height();
    QCOMPARE(find(QStringLiteral("contextBar"))->width(), 172);

    apply(200, body("connected", longName, {longName}, false, "50"));
    QTRY_COMPARE(m_panel->width(), 260);
    QCOMPARE(card->width(), 232);
    QVERIFY2(card->height() > shortHeight + 10, "a long name wraps and makes the card taller");
    QCOMPARE(find(QStringLiteral("contextBar"))->width(), 172);
    for (QWidget *w : m_panel->findChildren<QWidget *>()) {
        if (w->isVisible())
            QVERIFY2(w->mapTo(m_panel.get(), QPoint(w->width(), 0)).x() <= 260,
                     qPrintable(w->objectName()));
    }
}

void TestMenuPanel::contextLine_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("fill");
    QTest::addColumn<style::Tint>("tint");
    QTest::addColumn<QString>("text");
    using style::Tint;
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("0") << 0.0 << 0 << Tint::Blue << "0%";
    QTest::newRow("50") << 50.0 << 86 << Tint::Blue << "50%";
    QTest::newRow("42.9") << 42.9 << 74 << Tint::Blue << "42%";
    QTest::newRow("70") << 70.0 << 120 << Tint::Blue << "70%";
    QTest::newRow("70.5") << 70.5 << 121 << Tint::Orange << "70%";
    QTest::newRow("150") << 150.0 << 172 << Tint::Orange << "150%";
    QTest::newRow("negative") << -5.0 << 0 << Tint::Blue << "-5%";
    QTest::newRow("negative fraction") << -0.5 << 0 << Tint::Blue << "0%";
    QTest::newRow("inside int64") << 9.2e18 << 172 << Tint::Orange << "9200000000000000000%";
    QTest::newRow("past int64") << 9.3e18 << 172 << Tint::Orange << "∞%";
    QTest::newRow("below int64") << -9.3e18 << 0 << Tint::Blue << "-∞%";
    QTest::newRow("huge") << 1e300 << 172 << Tint::Orange << "∞%";
    // JSON cannot carry these: they are fed to the pieces directly.
    QTest::newRow("NaN") << std::nan("") << 0 << Tint::Blue << "–%";
    QTest::newRow("+inf") << inf << 172 << Tint::Orange << "∞%";
    QTest::newRow("-inf") << -inf << 0 << Tint::Blue << "-∞%";
}

void TestMenuPanel::contextLine()
{
    QFETCH(double, value);
    QFETCH(int, fill);
    QFETCH(style::Tint, tint);
    QFETCH(QString, text);
    const bool json = std::isfinite(value);
    apply(200, body("connected", "api", {}, false, QByteArray::number(json ? value : 50, 'g', 17)));
    auto *bar = find<ContextBar>(QStringLiteral("contextBar"));
    if (!json) {
        QCOMPARE(MenuContentView::percentText(value), text);
        bar->set(value / 100.0, style::color(tint));
        QCOMPARE(bar->fillWidth(), fill);
        return;
    }
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->width(), 172);
    QCOMPARE(bar->fillWidth(), fill);
    QCOMPARE(bar->fillColor(), style::color(tint));
    QCOMPARE(find<QLabel>(QStringLiteral("contextPercent"))->toolTip(), text);
}

void TestMenuPanel::queueAndBusy_data()
{
    QTest::addColumn<qint64>("queued");
    QTest::addColumn<bool>("busy");
    QTest::addColumn<QString>("text"); // empty: no queue line
    QTest::newRow("0, idle") << qint64(0) << false << "";
    QTest::newRow("negative, busy") << qint64(-1) << true << "";
    QTest::newRow("1, idle") << qint64(1) << false << "1 message queued";
    QTest::newRow("2, busy") << qint64(2) << true << "2 messages queued";
}

void TestMenuPanel::queueAndBusy()
{
    QFETCH(qint64, queued);
    QFETCH(bool, busy);
    QFETCH(QString, text);
    apply(200, body("connected", "api", {}, busy, "null", queued));
    auto *line = find<QLabel>(QStringLiteral("queueLine"));
    QCOMPARE(line->isVisible(), !text.isEmpty());
    if (!text.isEmpty())
        QCOMPARE(line->text(), text);
    QVERIFY(!find(QStringLiteral("contextLine"))->isVisible()); // no value, no line
    QCOMPARE(find(QStringLiteral("busy"))->isVisible(), busy);
    QCOMPARE(find(QStringLiteral("idle"))->isVisible(), !busy);
    QCOMPARE(find<QLabel>(QStringLiteral("idle"))->palette().color(QPalette::WindowText),
             style::level(style::Level::Secondary));
}

void TestMenuPanel::switchOn()
{
    apply(500, {});
    const int polls = m_server->count("/status");
    auto *toggle = find<SwitchButton>(QStringLiteral("bridgeSwitch"));
    QVERIFY(!toggle->isChecked());
    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(toggle->isChecked());
    QCOMPARE(m_tool->calls(), QStringList{"--user start com.ferlinq.service"});
    QCOMPARE(m_status->state(), BridgeState::Offline);
    QTest::qWait(1700);
    QCOMPARE(m_server->count("/status"), polls);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->count("/status"), polls + 1, 1500);
    QTest::qWait(500);
    QCOMPARE(m_server->count("/status"), polls + 1);
    QCOMPARE(m_tool->calls().size(), 1);
}

void TestMenuPanel::switchOff()
{
    m_tool->setExitStatus(0);
    MenuContentView loaded(m_status.get()); // built while the agent is loaded
    loaded.show();
    m_tool->clear();
    apply(200, body("connected", "api", {"api", "web"}));
    auto *toggle = loaded.findChild<SwitchButton *>(QStringLiteral("bridgeSwitch"));
    QVERIFY(toggle->isChecked());
    const int polls = m_server->count("/status");
    QTest::mouseClick(toggle, Qt::LeftButton);
    QCOMPARE(m_tool->calls(), QStringList{"--user stop com.ferlinq.service"});
    QCOMPARE(m_status->state(), BridgeState::Offline); // at once, no poll
    QCoreApplication::processEvents();
    QCOMPARE(visibleRows(&loaded).join(u' '),
             QStringLiteral("headerSection divider toggleSection divider offlineHint divider "
                            "actionsSection divider quitRow"));
    QCOMPARE(loaded.findChild<QLabel *>(QStringLiteral("stateLabel"))->text(),
             QStringLiteral("Offline"));
    const auto items = loaded.findChildren<PlainButton *>(QStringLiteral("menuItem"));
    QCOMPARE(items.size(), 3);
    QVERIFY(!items[0]->isEnabled());
    QVERIFY(items[1]->isEnabled() && items[2]->isEnabled());
    QTest::qWait(300);
    QCOMPARE(m_server->count("/status"), polls);
    QCOMPARE(m_status->activeProject(), QStringLiteral("api")); // remembered for later
}

void TestMenuPanel::switchStartsFromAgent()
{
    // The first value comes from the agent; setting it does not run the handler.
    QVERIFY(!find<SwitchButton>(QStringLiteral("bridgeSwitch"))->isChecked());
    QVERIFY(m_tool->calls().isEmpty());
    m_tool->setExitStatus(0);
    MenuContentView loaded(m_status.get());
    QVERIFY(loaded.agentLoaded());
    QCOMPARE(m_tool->calls(), QStringList{"--user is-active --quiet com.ferlinq.service"});
}

void TestMenuPanel::newSessionEnabled_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("enabled");
    auto row = [](const char *name, int code, const QByteArray &reply, bool enabled) {
        QTest::newRow(name) << code << reply << enabled;
    };
    row("connected, active", 200, body("connected", "api", {}), true);
    row("connecting, active", 200, body("x", "api", {}), true);
    row("connected, none active", 200, body("connected", "", {"api"}), false);
    row("offline, active remembered", 503, body("connected", "api", {}), false);
}

void TestMenuPanel::newSessionEnabled()
{
    QFETCH(int, code);
    QFETCH(QByteArray, reply);
    QFETCH(bool, enabled);
    apply(200, reply);
    if (code != 200)
        apply(code, reply);
    auto *item = m_panel->findChildren<PlainButton *>(QStringLiteral("menuItem")).value(0);
    QCOMPARE(item->accessibleName(), QStringLiteral("New Session"));
    QCOMPARE(item->isEnabled(), enabled);
    if (enabled) {
        QTest::mouseClick(item, Qt::LeftButton);
        QTRY_COMPARE(m_server->count("/new"), 1);
    }
}

void TestMenuPanel::projectRows()
{
    apply(200, body("connected", "web", {"api", "web"}));
    const auto rows = m_panel->findChildren<PlainButton *>(QStringLiteral("projectRow"));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(rows[0]->accessibleName(), QStringLiteral("api"));
    auto checkOf = [](QWidget *row) {
        return row->findChild<QLabel *>(QStringLiteral("checkmark"));
    };
    QVERIFY(checkOf(rows[0])->pixmap().isNull());
    QVERIFY(!checkOf(rows[1])->pixmap().isNull());
    // Names line up whether or not the row has a check mark.
    auto nameX = [](QWidget *row) {
        return row->findChild<QWidget *>(QStringLiteral("projectName"))->x();
    };
    QCOMPARE(nameX(rows[0]), nameX(rows[1]));

    QTest::mouseClick(rows[0], Qt::LeftButton);
    QTest::mouseClick(rows[1], Qt::LeftButton); // the active one is sent again
    QTRY_COMPARE(m_server->count("/use"), 2);
    const auto requests = m_server->requests();
    QStringList bodies;
    for (const HttpRequest &r : requests)
        if (r.path == "/use")
            bodies.append(QString::fromUtf8(r.body));
    QCOMPARE(bodies, QStringList({R"({"project":"api"})", R"({"project":"web"})"}));
}

void TestMenuPanel::projectRowPaths()
{
    writeConfig("projects:\n  api: /srv/first\n  api: /srv/second\n  web: /very/long/path/"
                "that/does/not/fit/in/the/panel/at/all/ending/in/the-project\n");
    m_panel->hide();
    m_panel->show(); // the appearance hook reloads the list
    apply(200, body("connected", "api", {"api", "web", "ghost"}));
    const auto rows = m_panel->findChildren<PlainButton *>(QStringLiteral("projectRow"));
    QCOMPARE(rows.size(), 3);
    auto pathOf = [](QWidget *row) {
        return row->findChild<ElidedLabel *>(QStringLiteral("projectPath"));
    };
    QCOMPARE(pathOf(rows[0])->fullText(), QStringLiteral("/srv/first"));
    QVERIFY(!pathOf(rows[2])); // unknown to the config: no path line
    ElidedLabel *longPath = pathOf(rows[1]);
    QVERIFY(longPath->text().contains(QStringLiteral("…")));
    QVERIFY(longPath->text().startsWith(QStringLiteral("/very")));
    QVERIFY(longPath->text().endsWith(QStringLiteral("the-project")));
    QCOMPARE(longPath->fontMetrics().boundingRect(longPath->text()).height() <
                 2 * longPath->fontMetrics().height(),
             true);
}

void TestMenuPanel::openLogs()
{
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "recordUrl");
    auto *item = m_panel->findChildren<PlainButton *>(QStringLiteral("menuItem")).value(2);
    QCOMPARE(item->accessibleName(), QStringLiteral("Open Logs…"));
    QVERIFY(item->isEnabled());
    QTest::mouseClick(item, Qt::LeftButton); // no folder yet: nothing happens
    QCOMPARE(m_opened.size(), 0);
    const QString folder = m_home.file(QStringLiteral("Library/Logs/com.ferlinq"));
    QVERIFY(QDir().mkpath(folder));
    QTest::mouseClick(item, Qt::LeftButton);
    QCOMPARE(m_opened, QList<QUrl>{QUrl::fromLocalFile(folder)});
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
}

void TestMenuPanel::screenshots()
{
    apply(500, {});
    saveScreenshot(m_panel.get(), QStringLiteral("panel-offline"));
    apply(200, body("waiting", "", {"api", "web"}));
    saveScreenshot(m_panel.get(), QStringLiteral("panel-connecting"));
    writeConfig("projects:\n  api: /home/user/src/api-server\n  webapp: /home/user/src/webapp\n");
    m_panel->hide();
    m_panel->show();
    apply(200, body("connected", "api", {"api", "webapp", "docs"}, true, "41.5", 3));
    const QString path = saveScreenshot(m_panel.get(), QStringLiteral("panel-connected"));
    QVERIFY(QFile::exists(path));

    // The same panel in a dark palette: every colour derives from the palette.
    const QPalette light = QApplication::palette();
    QPalette dark(QColor(50, 50, 52), QColor(40, 40, 42));
    dark.setColor(QPalette::WindowText, Qt::white);
    QApplication::setPalette(dark);
    MenuContentView darkPanel(m_status.get());
    darkPanel.setAutoFillBackground(true);
    darkPanel.show();
    QCoreApplication::processEvents();
    saveScreenshot(&darkPanel, QStringLiteral("panel-connected-dark"));
    QApplication::setPalette(light);
}

QTEST_MAIN(TestMenuPanel)
#include "tst_menupanel.moc"
