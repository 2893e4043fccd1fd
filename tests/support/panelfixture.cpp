#include "support/panelfixture.h"

#include "app/panelwindow.h"
#include "bridge/bridgestatus.h"
#include "config/projectconfig.h"
#include "ui/menucontentview.h"
#include "ui/widgets/rowlist.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

namespace dorv::test {

QByteArray statusReply(const QString &chatwire, const QString &active, const QStringList &projects,
                       const QByteArray &extra)
{
    QByteArray list;
    for (const QString &p : projects)
        list += (list.isEmpty() ? "\"" : ",\"") + p.toUtf8() + "\"";
    return "{\"ok\":true,\"chatwire\":\"" + chatwire.toUtf8() + "\",\"active_project\":\"" +
           active.toUtf8() + "\",\"projects\":[" + list + "]" + extra + "}";
}

QStringList manyProjects(int n)
{
    QStringList names;
    for (int i = 0; i < n; ++i)
        names << QStringLiteral("project-%1").arg(i);
    return names;
}

void PanelFixture::apply(int code, const QByteArray &body)
{
    m_server->respond(code, body);
    QSignalSpy spy(m_status, &BridgeStatus::changed);
    m_status->poll();
    // Polling may be running too (the panel starts it): its replies are the same.
    QTRY_VERIFY(spy.count() >= (code == 200 ? 6 : 1));
    QCoreApplication::processEvents(); // the panel's refresh
}

void PanelFixture::open()
{
    m_window->showAt(m_icon);
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

QList<QAbstractButton *> PanelFixture::buttons(const QString &name)
{
    return m_panel->findChildren<QAbstractButton *>(name);
}

RowList *PanelFixture::projectList()
{
    return m_panel->findChild<RowList *>(QStringLiteral("projectRows"));
}

bool PanelFixture::rowInView(int index)
{
    QWidget *row = projectList()->rowWidget(index);
    QWidget *viewport = projectList()->viewport();
    return row && row->isVisible() &&
           viewport->rect().contains(QRect(row->mapTo(viewport, QPoint()), row->size()));
}

void PanelFixture::initTestCase()
{
    m_light = QApplication::palette();
}

void PanelFixture::init()
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

void PanelFixture::cleanup()
{
    m_app.reset();
    QFile::remove(ProjectConfig::configPath());
    QApplication::setPalette(m_light);
}

} // namespace dorv::test
