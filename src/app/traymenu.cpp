#include "app/traymenu.h"

#include "bridge/bridgestatus.h"
#include "ui/helpers.h"

#include <QActionGroup>

namespace dorv {

namespace {
// A menu is read from top to bottom: past this many projects the rest are in the panel, where
// the list scrolls (and a host need not be sent thousands of items at every change).
constexpr qsizetype kMenuProjects = 50;

// An ampersand in a menu text marks a mnemonic; an alias shows its own.
QString menuText(QString text)
{
    return helpers::visibleName(text).replace(u'&', QStringLiteral("&&"));
}
} // namespace

TrayMenu::TrayMenu(QWidget *parent) : QMenu(parent), m_group(new QActionGroup(this))
{
    // One active project: hosts draw the mark as a radio item.
    m_group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    connect(addAction(QStringLiteral("Open Panel")), &QAction::triggered, this,
            &TrayMenu::openPanelRequested);
    addSeparator();
    m_more = addAction(QStringLiteral("All Projects…"));
    m_more->setVisible(false);
    connect(m_more, &QAction::triggered, this, &TrayMenu::openPanelRequested);
    m_projectsEnd = addSeparator();
    m_projectsEnd->setVisible(false);
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
    // The project items are made again only when the bridge's list changes, and marked again
    // only when the active project does: a poll that changes nothing costs no walk of the list.
    const QStringList names =
        offline ? QStringList()
                : status.projects().first(qMin(status.projects().size(), kMenuProjects));
    const bool moved = m_active != status.activeProject();
    m_active = status.activeProject();
    if (names != m_names) {
        m_names = names;
        qDeleteAll(m_projects);
        m_projects.clear();
        for (const QString &name : names) {
            auto *item = new QAction(menuText(name), m_group);
            item->setCheckable(true);
            // Like a panel row: choosing the active project sends the switch again. The mark
            // stays on the bridge's active project until a poll says it moved.
            connect(item, &QAction::triggered, this, [this, name] {
                markActive();
                Q_EMIT projectChosen(name);
            });
            insertAction(m_more, item);
            m_projects.append(item);
        }
        m_projectsEnd->setVisible(!names.isEmpty());
        m_more->setVisible(!offline && status.projects().size() > names.size());
    } else if (!moved) {
        return;
    }
    markActive();
}

void TrayMenu::markActive()
{
    for (qsizetype i = 0; i < m_projects.size(); ++i)
        m_projects[i]->setChecked(m_names[i] == m_active);
}

} // namespace dorv
