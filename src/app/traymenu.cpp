#include "app/traymenu.h"

#include "bridge/bridgestatus.h"

namespace dorv {

namespace {
// An ampersand in a menu text marks a mnemonic; an alias shows its own.
QString menuText(QString text)
{
    return text.replace(u'&', QStringLiteral("&&"));
}
} // namespace

TrayMenu::TrayMenu(QWidget *parent) : QMenu(parent)
{
    connect(addAction(QStringLiteral("Open Panel")), &QAction::triggered, this,
            &TrayMenu::openPanelRequested);
    addSeparator();
    m_projectsEnd = addSeparator();
    m_newSession = addAction(QStringLiteral("New Session"));
    connect(m_newSession, &QAction::triggered, this, &TrayMenu::newSessionRequested);
    m_bridge = addAction(QStringLiteral("Bridge"));
    m_bridge->setCheckable(true);
    // triggered() comes from the user only, never from setChecked().
    connect(m_bridge, &QAction::triggered, this, &TrayMenu::switchFlipped);
    connect(addAction(QStringLiteral("Configure Projects…")), &QAction::triggered, this,
            &TrayMenu::configureRequested);
    connect(addAction(QStringLiteral("Open Logs…")), &QAction::triggered, this,
            &TrayMenu::openLogsRequested);
    addSeparator();
    connect(addAction(QStringLiteral("Quit DORV")), &QAction::triggered, this,
            &TrayMenu::quitRequested);
}

void TrayMenu::showState(const BridgeStatus &status, bool agentLoaded)
{
    const bool offline = status.state() == BridgeState::Offline;
    m_newSession->setEnabled(!offline && !status.activeProject().isEmpty());
    m_bridge->setChecked(agentLoaded);

    // The project items change only when the bridge's list or active project does.
    const QStringList names = offline ? QStringList() : status.projects();
    const QString key = status.activeProject() + u'\n' + names.join(u'\n');
    if (key == m_shownKey && m_projects.size() == names.size())
        return;
    m_shownKey = key;
    qDeleteAll(m_projects);
    m_projects.clear();
    for (const QString &name : names) {
        auto *item = new QAction(menuText(name), this);
        item->setCheckable(true);
        item->setChecked(name == status.activeProject());
        // Like a panel row: choosing the active project sends the switch again.
        connect(item, &QAction::triggered, this, [this, name] { Q_EMIT projectChosen(name); });
        insertAction(m_projectsEnd, item);
        m_projects.append(item);
    }
    m_projectsEnd->setVisible(!names.isEmpty());
}

} // namespace dorv
