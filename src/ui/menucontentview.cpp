#include "ui/menucontentview.h"
#include "common/coalescer.h"

#include "config/projectconfig.h"
#include "ui/actionssection.h"
#include "ui/headersection.h"
#include "ui/helpers.h"
#include "ui/platformtraits.h"
#include "ui/projectcard.h"
#include "ui/projectssection.h"
#include "ui/style.h"
#include "ui/widgets/plainbutton.h"
#include "ui/widgets/switchbutton.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QVBoxLayout>

namespace dorv {

using style::Level;

MenuContentView::MenuContentView(ProjectConfig *config, QWidget *parent)
    : QWidget(parent), m_config(config), m_refresh(new Coalescer(this, [this] { refresh(); }))
{
    setObjectName(QStringLiteral("menuContentView"));
    setFixedWidth(kWidth);
    m_layout = helpers::vbox(this, 0, {0, 4, 0, 4});
    m_layout->addWidget(m_header = new HeaderSection(this));
    m_layout->addWidget(m_connectingHint = hint(QStringLiteral("connectingHint"),
                                                QStringLiteral("Send a message to connect"),
                                                style::font(11, QFont::Normal, true),
                                                {14, 0, 14, 8}, Qt::AlignLeft));
    m_layout->addWidget(helpers::makeDivider(this));
    m_layout->addWidget(m_card = new ProjectCard(this));
    m_layout->addWidget(m_cardDivider = helpers::makeDivider(this));
    m_layout->addWidget(toggleSection());
    m_layout->addWidget(helpers::makeDivider(this));
    m_layout->addWidget(m_offlineHint = hint(QStringLiteral("offlineHint"),
                                             QStringLiteral("Toggle bridge to start"),
                                             style::font(12), {0, 12, 0, 12}, Qt::AlignHCenter));
    m_layout->addWidget(m_offlineDivider = helpers::makeDivider(this));
    m_layout->addWidget(m_projects = new ProjectsSection(this));
    connect(m_projects, &ProjectsSection::projectChosen, this, &MenuContentView::projectChosen);
    m_layout->addWidget(m_projectsDivider = helpers::makeDivider(this));
    m_layout->addWidget(m_actions = new ActionsSection(this));
    connect(m_actions, &ActionsSection::newSessionRequested, this,
            &MenuContentView::newSessionRequested);
    connect(m_actions, &ActionsSection::configureRequested, this,
            &MenuContentView::configureRequested);
    connect(m_actions, &ActionsSection::openLogsRequested, this,
            &MenuContentView::openLogsRequested);
    m_layout->addWidget(helpers::makeDivider(this));
    m_layout->addWidget(quitRow());

    connect(m_config, &ProjectConfig::changed, this, &MenuContentView::scheduleRefresh);
    refresh();
}

void MenuContentView::showState(const ShownState &shown)
{
    m_shown = shown;
    // The switch moves at once: it must never show a position the user did not leave it in.
    m_switch->setChecked(shown.switchOn);
    scheduleRefresh();
}

void MenuContentView::setMaximumPanelHeight(int height)
{
    m_maxHeight = height;
    updateHeight();
}

void MenuContentView::prepareToShow()
{
    Q_EMIT aboutToAppear();
    refresh();
    m_prepared = true;
}

void MenuContentView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_prepared)
        prepareToShow();
    m_prepared = false;
    m_projects->revealActive(); // laid out by now
    Q_EMIT appeared();
}

void MenuContentView::scheduleRefresh()
{
    // A closed panel costs nothing per poll: it catches up before it is shown again.
    if (isVisible())
        m_refresh->request();
}

void MenuContentView::refresh()
{
    m_refresh->cancel();
    ++m_refreshCount;
    const ShownState &shown = m_shown;
    const BridgeState state = shown.status.state;
    const bool offline = state == BridgeState::Offline;

    m_header->showState(state);
    m_connectingHint->setVisible(state == BridgeState::Connecting);
    const bool showCard = !offline && !shown.status.activeProject.isEmpty();
    m_card->setVisible(showCard);
    m_cardDivider->setVisible(showCard);
    if (showCard)
        m_card->showStatus(shown.status);
    m_switch->setChecked(shown.switchOn);
    m_offlineHint->setVisible(offline);
    m_offlineDivider->setVisible(offline);
    m_projects->setVisible(shown.projectsShown);
    m_projectsDivider->setVisible(shown.projectsShown);
    if (shown.projectsShown)
        m_projects->showProjects(shown.status.projects, shown.marked,
                                 m_config ? m_config->projects() : QList<ProjectEntry>(),
                                 shown.busy.projects);
    m_actions->setNewSessionEnabled(shown.newSessionEnabled);
    m_actions->setNewSessionBusy(shown.busy.newSession);
    updateHeight();
}

bool MenuContentView::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    // Rows that wrap, appear or vanish change the height the fixed width needs.
    if (event->type() == QEvent::LayoutRequest)
        updateHeight();
    return handled;
}

int MenuContentView::contentHeight() const
{
    m_layout->activate();
    const int height = m_layout->hasHeightForWidth() ? m_layout->totalHeightForWidth(kWidth)
                                                     : m_layout->totalSizeHint().height();
    return height;
}

void MenuContentView::updateHeight()
{
    if (m_fitting)
        return;
    m_fitting = true;
    // Only the projects give way to the limit, in one step: a scrolled list keeps its place.
    if (m_projects->isVisibleTo(this)) {
        const int others = contentHeight() - m_projects->rowsHeight();
        m_projects->fitRows(kWidth, m_maxHeight > 0 ? qMax(0, m_maxHeight - others) : -1);
    }
    const int height = contentHeight();
    if (height > 0 && (height != this->height() || minimumHeight() != height))
        setFixedHeight(height);
    m_fitting = false;
}

QWidget *MenuContentView::hint(const QString &name, const QString &text, const QFont &font,
                               QMargins margins, Qt::Alignment alignment)
{
    auto *row = new QWidget(this);
    row->setObjectName(name);
    auto *layout = helpers::hbox(row, 0, margins);
    auto *label = helpers::makeLabel(text, font, style::level(Level::Tertiary), row);
    label->setAlignment(alignment | Qt::AlignVCenter);
    layout->addWidget(label);
    return row;
}

QWidget *MenuContentView::toggleSection()
{
    auto *row = new QWidget(this);
    row->setObjectName(QStringLiteral("toggleSection"));
    auto *layout = helpers::hbox(row, style::kDefaultSpacing, {14, 6, 12, 6});
    layout->addWidget(helpers::makeLabel(QStringLiteral("Bridge"), style::font(13, QFont::Medium),
                                         style::level(Level::Primary), row));
    layout->addStretch();
    m_switch = new SwitchButton(row);
    m_switch->setObjectName(QStringLiteral("bridgeSwitch"));
    m_switch->setAccessibleName(QStringLiteral("Bridge"));
    // clicked() fires for the user's flips only, never for setChecked().
    connect(m_switch, &SwitchButton::clicked, this, &MenuContentView::switchFlipped);
    layout->addWidget(m_switch);
    return row;
}

QWidget *MenuContentView::quitRow()
{
    auto *row = new PlainButton(this);
    row->setObjectName(QStringLiteral("quitRow"));
    row->setAccessibleName(QStringLiteral("Quit DORV"));
    auto *layout = helpers::hbox(row, style::kDefaultSpacing, {14, 6, 14, 6});
    layout->addWidget(helpers::makeLabel(QStringLiteral("Quit DORV"), style::font(13),
                                         style::level(Level::Secondary), row));
    layout->addStretch();
    layout->addWidget(helpers::makeLabel(QString::fromUtf16(kPlatform.quitHint), style::font(11),
                                         style::level(Level::Tertiary), row));
    connect(row, &PlainButton::clicked, this, &MenuContentView::quitRequested);
    if (kPlatform.panelAnswersQuitKey)
        connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this), &QShortcut::activated,
                this, &MenuContentView::quitRequested);
    return row;
}

} // namespace dorv
