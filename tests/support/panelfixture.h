#pragma once

#include "app/dorvmenuapp.h"
#include "support/uitestkit.h"

#include <QAbstractButton>
#include <QPalette>
#include <memory>

namespace dorv {
class BridgeStatus;
class MenuContentView;
class PanelWindow;
class RowList;
} // namespace dorv

// The panel as the application builds it, against a fake bridge and a fake service tool: what
// tst_menupanel (the panel as drawn) and tst_panelinput (the panel worked by hand) start from.
namespace dorv::test {

QByteArray statusReply(const QString &chatwire, const QString &active, const QStringList &projects,
                       const QByteArray &extra = {});
QStringList manyProjects(int n); // project-0, project-1, …
inline const QString kOfflineRows =
    QStringLiteral("headerSection divider toggleSection divider offlineHint divider "
                   "actionsSection divider quitRow");

class PanelFixture : public QObject {
    Q_OBJECT
protected:
    // A poll that brings this answer, and the panel's refresh after it.
    void apply(int code, const QByteArray &body);
    void open(); // at the tray icon
    QList<QAbstractButton *> buttons(const QString &name);
    RowList *projectList();
    bool rowInView(int index); // whether project row `index` is on screen in full

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

protected Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
};

} // namespace dorv::test
