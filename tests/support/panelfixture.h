#pragma once

#include "app/dorvmenuapp.h"
#include "app/panelwindow.h"
#include "bridge/bridgestatus.h"
#include "bridge/httpexchange.h"
#include "config/projectconfig.h"
#include "support/uitestkit.h"
#include "ui/menucontentview.h"
#include "ui/widgets/rowlist.h"

#include <QAbstractButton>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <memory>

// The panel as the application builds it, against a fake bridge and a fake service tool: what
// tst_menupanel (the panel as drawn) and tst_panelinput (the panel worked by hand) start from.
namespace dorv::test {

inline QByteArray statusReply(const QString &chatwire, const QString &active,
                              const QStringList &projects, const QByteArray &extra = {})
{
    QByteArray list;
    for (const QString &p : projects)
        list += (list.isEmpty() ? "\"" : ",\"") + p.toUtf8() + "\"";
    return "{\"ok\":true,\"chatwire\":\"" + chatwire.toUtf8() + "\",\"active_project\":\"" +
           active.toUtf8() + "\",\"projects\":[" + list + "]" + extra + "}";
}

inline QStringList manyProjects(int n)
{
    QStringList names;
    for (int i = 0; i < n; ++i)
        names << QStringLiteral("project-%1").arg(i);
    return names;
}

inline const QString kOfflineRows =
    QStringLiteral("headerSection divider toggleSection divider offlineHint divider "
                   "actionsSection divider quitRow");

class PanelFixture : public QObject {
    Q_OBJECT
protected:
    // The poll after the service is started, and the wait of a first open, made short.
    static constexpr PollTimes kTimes{.afterServiceStartMs = 400, .firstAnswerWaitMs = 100};

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
    QPalette m_light;

    void apply(int code, const QByteArray &body)
    {
        m_server->respond(code, body);
        bool answered = false;
        QObject scope;
        connect(m_status, &BridgeStatus::statusChanged, &scope, [&] { answered = true; });
        m_status->poll();
        // Polling may be running too (the panel starts it): every exchange in flight ends, the
        // last with this reply, before the panel's refresh.
        QTRY_VERIFY(answered && m_status->findChildren<HttpExchange *>().isEmpty());
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

protected Q_SLOTS:
    void initTestCase() { m_light = QApplication::palette(); }
    void init()
    {
        m_service.setExitStatus(m_serviceStatus);
        m_server = std::make_unique<FakeHttpServer>();
        m_app = std::make_unique<DORVMenuApp>(AppSeams{.bridgeUrl = m_server->baseUrl(),
                                                       .serviceRunner = m_service.runner(),
                                                       .pgrepProgram = QStringLiteral("/bin/true"),
                                                       .pollTimes = kTimes});
        m_status = m_app->status();
        m_window = m_app->ensurePanel();
        m_window->setPopup(true);
        m_panel = m_app->panel();
        m_firstServiceCalls = m_service.calls();
        m_service.clear();
    }
    void cleanup()
    {
        m_app.reset();
        QFile::remove(ProjectConfig::configPath());
        QApplication::setPalette(m_light);
    }
};

} // namespace dorv::test
