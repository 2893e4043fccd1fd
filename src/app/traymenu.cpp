#include "app/traymenu.h"

#include "ui/helpers.h"
#include "ui/shownstate.h"

#include <QActionGroup>
#include <QScreen>
#include <QStyle>

namespace dorv {

namespace {
// An ampersand in a menu text marks a mnemonic; an alias shows its own.
QString menuText(QString text)
{
    return helpers::visibleName(text).replace(u'&', QStringLiteral("&&"));
}

// The first `room` of `all`, the last of them given up for `marked` when it comes later.
QStringList listed(const QStringList &all, const QString &marked, qsizetype room)
{
    QStringList names = all.first(qMin(all.size(), room));
    if (room > 0 && all.size() > room && !names.contains(marked) && all.indexOf(marked, room) != -1)
        names.last() = marked;
    return names;
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

// How many project items fit one column of the screen beside the other items: past that, Qt
// adds a column and the menu covers the icon (and a host need not be sent thousands of items).
int TrayMenu::projectRoom() const
{
    const QScreen *screen = this->screen();
    const int item = actionGeometry(m_newSession).height();
    const int separator = actionGeometry(actions().at(1)).height();
    const int frame = 2 * (style()->pixelMetric(QStyle::PM_MenuPanelWidth, nullptr, this) +
                           style()->pixelMetric(QStyle::PM_MenuVMargin, nullptr, this) +
                           style()->pixelMetric(QStyle::PM_MenuDesktopFrameWidth, nullptr, this));
    // Open Panel, All Projects…, New Session, Bridge, Configure Projects…, Open Logs…, Quit.
    const int others = 7 * item + 3 * separator + frame;
    const int height = screen ? screen->availableGeometry().height() : 600;
    return qMax(1, (height - others) / qMax(1, item));
}

void TrayMenu::showState(const ShownState &shown)
{
    m_newSession->setEnabled(shown.newSessionEnabled && !shown.busy.newSession);
    m_bridge->setChecked(shown.switchOn);
    const QStringList all = shown.projectsShown ? shown.status.projects : QStringList();
    const QStringList names = listed(all, shown.marked, projectRoom());
    // The items are made again only when the list shown changes.
    const bool rebuilt = names != m_names;
    if (rebuilt) {
        m_names = names;
        qDeleteAll(m_projects);
        m_projects.clear();
        for (const QString &name : names) {
            auto *item = new QAction(menuText(name), m_group);
            item->setCheckable(true);
            // Like a panel row: choosing the active project sends the switch again. The mark
            // stays on the bridge's active project until a poll says it moved: the state handed
            // back at the press marks the items again.
            connect(item, &QAction::triggered, this, [this, name] { Q_EMIT projectChosen(name); });
            insertAction(m_more, item);
            m_projects.append(item);
        }
        m_projectsEnd->setVisible(!names.isEmpty());
        m_more->setVisible(all.size() > names.size());
    }
    m_marked = shown.marked;
    m_busy = shown.busy.projects;
    mark();
}

// Every item, whatever changed: the menu holds at most a screen's column of them.
void TrayMenu::mark()
{
    for (qsizetype i = 0; i < m_projects.size(); ++i) {
        m_projects[i]->setChecked(m_names[i] == m_marked);
        m_projects[i]->setEnabled(!m_busy.contains(m_names[i]));
    }
}

} // namespace dorv
