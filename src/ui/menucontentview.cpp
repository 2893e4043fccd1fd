#include "menucontentview.h"

#include "bridgestatus.h"
#include "launchagentcontroller.h"
#include "projectconfig.h"
#include "settingswindowcontroller.h"
#include "style.h"
#include "widgets.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <limits>

namespace dorv {

using style::Level;
using style::Tint;

namespace {

QLabel *makeLabel(const QString &text, const QFont &font, const QColor &color, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    style::setText(label, font, color);
    label->setAttribute(Qt::WA_TransparentForMouseEvents);
    return label;
}

QHBoxLayout *hbox(QWidget *owner, int spacing, QMargins margins)
{
    auto *layout = new QHBoxLayout(owner);
    layout->setSpacing(spacing);
    layout->setContentsMargins(margins);
    return layout;
}

QVBoxLayout *vbox(QWidget *owner, int spacing, QMargins margins = {})
{
    auto *layout = new QVBoxLayout(owner);
    layout->setSpacing(spacing);
    layout->setContentsMargins(margins);
    return layout;
}

constexpr int kDefaultSpacing = 8;

} // namespace

MenuContentView::MenuContentView(BridgeStatus *status, QWidget *parent)
    : QWidget(parent), m_status(status), m_config(new ProjectConfig(this)),
      m_agentLoaded(LaunchAgentController::isLoaded())
{
    setObjectName(QStringLiteral("menuContentView"));
    setFixedWidth(kWidth);
    m_layout = vbox(this, 0, {0, 4, 0, 4});
    m_layout->addWidget(headerSection());
    m_layout->addWidget(connectingHint());
    m_layout->addWidget(makeDivider(this));
    m_layout->addWidget(projectCard());
    m_layout->addWidget(m_cardDivider = makeDivider(this));
    m_layout->addWidget(toggleSection());
    m_layout->addWidget(makeDivider(this));
    m_layout->addWidget(offlineHint());
    m_layout->addWidget(m_offlineDivider = makeDivider(this));
    m_layout->addWidget(projectsSection());
    m_layout->addWidget(m_projectsDivider = makeDivider(this));
    m_layout->addWidget(actionsSection());
    m_layout->addWidget(makeDivider(this));
    m_layout->addWidget(quitRow());

    connect(status, &BridgeStatus::changed, this, &MenuContentView::scheduleRefresh);
    connect(m_config, &ProjectConfig::changed, this, &MenuContentView::scheduleRefresh);
    refresh();
}

void MenuContentView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_config->load();
    if (m_stale)
        refresh();
    Q_EMIT appeared();
}

void MenuContentView::scheduleRefresh()
{
    // A closed panel costs nothing per poll: it catches up when it is shown again.
    if (!isVisible()) {
        m_stale = true;
        return;
    }
    if (m_refreshPending)
        return;
    m_refreshPending = true;
    QMetaObject::invokeMethod(this, &MenuContentView::refresh, Qt::QueuedConnection);
}

QString MenuContentView::percentText(double pct)
{
    if (std::isnan(pct))
        return QStringLiteral("–%");
    const double whole = std::trunc(pct);
    // Doubles at or past 2^63 have no 64-bit whole part.
    if (whole >= 9223372036854775808.0)
        return QStringLiteral("∞%");
    if (whole < -9223372036854775808.0)
        return QStringLiteral("-∞%");
    return QString::number(qint64(whole)) + u'%';
}

void MenuContentView::refresh()
{
    m_refreshPending = false;
    m_stale = false;
    if (!m_status)
        return;
    ++m_refreshCount;
    const BridgeStatus &s = *m_status;
    const BridgeState state = s.state();
    const bool offline = state == BridgeState::Offline;
    const QColor stateColor = style::stateColor(state);

    // Header badge.
    QColor badgeFill = stateColor;
    badgeFill.setAlphaF(0.12);
    m_badge->setFill(badgeFill);
    m_dot->set(stateColor, state == BridgeState::Connected);
    m_stateLabel->setText(style::stateLabel(state));
    QPalette labelPalette = m_stateLabel->palette();
    labelPalette.setColor(QPalette::WindowText, stateColor);
    m_stateLabel->setPalette(labelPalette);

    m_connectingHint->setVisible(state == BridgeState::Connecting);

    // Project card.
    const bool showCard = !offline && !s.activeProject().isEmpty();
    m_card->setVisible(showCard);
    m_cardDivider->setVisible(showCard);
    m_projectName->setText(s.activeProject());
    m_busy->setVisible(s.marvekBusy());
    m_idle->setVisible(!s.marvekBusy());
    const std::optional<double> pct = s.contextPct();
    m_contextLine->setVisible(pct.has_value());
    if (pct) {
        const double p = *pct;
        m_contextBar->set(p / 100.0, style::color(p > 70 ? Tint::Orange : Tint::Blue));
        const QString text = percentText(p);
        m_percent->setText(m_percent->fontMetrics().elidedText(text, Qt::ElideRight, 28));
        m_percent->setToolTip(text);
    }
    const qint64 queued = s.queued();
    m_queue->setVisible(queued >= 1);
    if (queued >= 1)
        m_queue->setText(QString::number(queued) + (queued == 1
                                                        ? QStringLiteral(" message queued")
                                                        : QStringLiteral(" messages queued")));

    m_switch->setChecked(m_agentLoaded);
    m_offlineHint->setVisible(offline);
    m_offlineDivider->setVisible(offline);

    const bool showProjects = !offline && !s.projects().isEmpty();
    m_projects->setVisible(showProjects);
    m_projectsDivider->setVisible(showProjects);
    if (showProjects)
        rebuildProjectRows();

    m_newSession->setEnabled(!s.activeProject().isEmpty() && !offline);

    updateHeight();
}

bool MenuContentView::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    // Rows that wrap or appear change the height the fixed width needs.
    if (event->type() == QEvent::LayoutRequest)
        updateHeight();
    return handled;
}

void MenuContentView::updateHeight()
{
    const int height = heightForWidth(kWidth);
    // The hosting window's layout follows the new height on its own.
    if (height > 0 && height != this->height())
        setFixedHeight(height);
}

QWidget *MenuContentView::headerSection()
{
    auto *row = new QWidget(this);
    row->setObjectName(QStringLiteral("headerSection"));
    auto *layout = hbox(row, kDefaultSpacing, {14, 10, 14, 10});
    layout->addWidget(makeLabel(QStringLiteral("DORV Bridge"), style::font(13, QFont::DemiBold),
                                style::level(Level::Primary), row));
    layout->addStretch();
    m_badge = new FilledFrame(-1, row);
    m_badge->setObjectName(QStringLiteral("badge"));
    auto *badge = hbox(m_badge, 5, {8, 3, 8, 3});
    m_dot = new Dot(6, m_badge);
    m_dot->setObjectName(QStringLiteral("stateDot"));
    badge->addWidget(m_dot);
    m_stateLabel = makeLabel(QString(), style::font(11, QFont::Medium), QColor(), m_badge);
    m_stateLabel->setObjectName(QStringLiteral("stateLabel"));
    badge->addWidget(m_stateLabel);
    layout->addWidget(m_badge, 0, Qt::AlignVCenter);
    return row;
}

QWidget *MenuContentView::connectingHint()
{
    m_connectingHint = new QWidget(this);
    m_connectingHint->setObjectName(QStringLiteral("connectingHint"));
    auto *layout = hbox(m_connectingHint, 0, {14, 0, 14, 8});
    layout->addWidget(makeLabel(QStringLiteral("Send a message to connect"),
                                style::font(11, QFont::Normal, true), style::level(Level::Tertiary),
                                m_connectingHint));
    layout->addStretch();
    return m_connectingHint;
}

QWidget *MenuContentView::projectCard()
{
    m_card = new QWidget(this);
    m_card->setObjectName(QStringLiteral("projectCard"));
    auto *outer = vbox(m_card, 0, {14, 8, 14, 8});
    auto *card = new FilledFrame(6, m_card);
    card->setObjectName(QStringLiteral("card"));
    QColor fill = style::level(Level::Quaternary);
    fill.setAlphaF(fill.alphaF() * 0.5);
    card->setFill(fill);
    outer->addWidget(card);
    auto *lines = vbox(card, 6, {12, 12, 12, 12});

    auto *projectLine = new QHBoxLayout;
    projectLine->setSpacing(kDefaultSpacing);
    auto *name = new WrapLabel(card);
    name->setObjectName(QStringLiteral("activeProject"));
    name->setFont(style::font(13, QFont::DemiBold));
    name->setColor(style::level(Level::Primary));
    m_projectName = name;
    projectLine->addWidget(name, 1);
    m_busy = new QWidget(card);
    m_busy->setObjectName(QStringLiteral("busy"));
    auto *busy = hbox(m_busy, 4, {});
    auto *spinner = new Spinner(m_busy);
    spinner->setFixedSize(10, 10);
    busy->addWidget(spinner);
    busy->addWidget(
        makeLabel(QStringLiteral("Busy"), style::font(11), style::color(Tint::Orange), m_busy));
    projectLine->addWidget(m_busy, 0, Qt::AlignVCenter);
    m_idle =
        makeLabel(QStringLiteral("Idle"), style::font(11), style::level(Level::Secondary), card);
    m_idle->setObjectName(QStringLiteral("idle"));
    projectLine->addWidget(m_idle, 0, Qt::AlignVCenter);
    lines->addLayout(projectLine);

    m_contextLine = new QWidget(card);
    m_contextLine->setObjectName(QStringLiteral("contextLine"));
    auto *context = hbox(m_contextLine, 8, {});
    m_contextBar = new ContextBar(m_contextLine);
    m_contextBar->setObjectName(QStringLiteral("contextBar"));
    context->addWidget(m_contextBar, 1, Qt::AlignVCenter);
    m_percent = makeLabel(QString(), style::font(10), style::level(Level::Tertiary), m_contextLine);
    m_percent->setObjectName(QStringLiteral("contextPercent"));
    m_percent->setFixedWidth(28);
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    context->addWidget(m_percent);
    lines->addWidget(m_contextLine);

    m_queue = makeLabel(QString(), style::font(10), style::level(Level::Tertiary), card);
    m_queue->setObjectName(QStringLiteral("queueLine"));
    lines->addWidget(m_queue);
    return m_card;
}

QWidget *MenuContentView::toggleSection()
{
    auto *row = new QWidget(this);
    row->setObjectName(QStringLiteral("toggleSection"));
    auto *layout = hbox(row, kDefaultSpacing, {14, 8, 14, 8});
    layout->addWidget(makeLabel(QStringLiteral("Bridge"), style::font(13, QFont::Medium),
                                style::level(Level::Primary), row));
    layout->addStretch();
    m_switch = new SwitchButton(row);
    m_switch->setObjectName(QStringLiteral("bridgeSwitch"));
    m_switch->setAccessibleName(QStringLiteral("Bridge"));
    m_switch->setChecked(m_agentLoaded);
    // clicked() fires for the user's flips only, never for setChecked().
    connect(m_switch, &SwitchButton::clicked, this, &MenuContentView::onSwitchFlipped);
    layout->addWidget(m_switch);
    return row;
}

void MenuContentView::onSwitchFlipped(bool on)
{
    m_agentLoaded = on;
    if (on) {
        LaunchAgentController::start();
        QPointer<BridgeStatus> status = m_status;
        QTimer::singleShot(2000, status, [status] {
            if (status)
                status->poll();
        });
    } else {
        LaunchAgentController::stop();
        if (m_status)
            m_status->setState(BridgeState::Offline);
    }
}

QWidget *MenuContentView::offlineHint()
{
    m_offlineHint = new QWidget(this);
    m_offlineHint->setObjectName(QStringLiteral("offlineHint"));
    auto *layout = hbox(m_offlineHint, 0, {0, 12, 0, 12});
    auto *label = makeLabel(QStringLiteral("Toggle bridge to start"), style::font(12),
                            style::level(Level::Tertiary), m_offlineHint);
    label->setAlignment(Qt::AlignCenter);
    layout->addWidget(label);
    return m_offlineHint;
}

QWidget *MenuContentView::projectsSection()
{
    m_projects = new QWidget(this);
    m_projects->setObjectName(QStringLiteral("projectsSection"));
    auto *layout = vbox(m_projects, 0, {0, 0, 0, 4});
    auto *heading = makeLabel(QStringLiteral("PROJECTS"), style::font(11, QFont::DemiBold),
                              style::level(Level::Tertiary), m_projects);
    QFont font = heading->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.3);
    heading->setFont(font);
    heading->setContentsMargins(14, 6, 14, 4);
    layout->addWidget(heading);
    m_projectRows = vbox(nullptr, 0);
    layout->addLayout(m_projectRows);
    return m_projects;
}

void MenuContentView::rebuildProjectRows()
{
    // Rows change only when the names, the active one or the known paths change.
    QString key = m_status->activeProject() + u'\n';
    for (const QString &name : m_status->projects())
        key += name + u'\n';
    for (const ProjectEntry &entry : m_config->projects())
        key += entry.alias + u'\t' + entry.path + u'\n';
    if (key == m_projectRowsKey)
        return;
    m_projectRowsKey = key;
    while (QLayoutItem *item = m_projectRows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    // Shown right away, so the height is right in this pass, not the next.
    for (const QString &name : m_status->projects()) {
        QWidget *row = projectRow(name);
        m_projectRows->addWidget(row);
        row->show();
    }
}

QWidget *MenuContentView::projectRow(const QString &name)
{
    auto *row = new PlainButton(m_projects);
    row->setObjectName(QStringLiteral("projectRow"));
    row->setAccessibleName(name);
    if (name == m_status->activeProject())
        row->setAccessibleDescription(QStringLiteral("Active project"));
    auto *layout = hbox(row, 8, {14, 4, 14, 4});
    layout->setAlignment(Qt::AlignTop);

    auto *check = new QLabel(row);
    check->setObjectName(QStringLiteral("checkmark"));
    check->setFixedWidth(14);
    check->setContentsMargins(0, 2, 0, 0);
    check->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    check->setAttribute(Qt::WA_TransparentForMouseEvents);
    if (name == m_status->activeProject())
        check->setPixmap(style::symbol(QStringLiteral("checkmark"), style::color(Tint::Blue), 10,
                                       devicePixelRatioF()));
    layout->addWidget(check, 0, Qt::AlignTop);

    auto *column = vbox(nullptr, 1);
    auto *title = new WrapLabel(row);
    title->setObjectName(QStringLiteral("projectName"));
    title->setFont(style::font(13, QFont::Medium));
    title->setColor(style::level(Level::Primary));
    title->setText(name);
    title->setAttribute(Qt::WA_TransparentForMouseEvents);
    column->addWidget(title);
    for (const ProjectEntry &entry : m_config->projects()) {
        if (entry.alias == name) {
            auto *path = new ElidedLabel(row);
            path->setObjectName(QStringLiteral("projectPath"));
            style::setText(path, style::font(10), style::level(Level::Tertiary));
            path->setFullText(entry.path);
            path->setAttribute(Qt::WA_TransparentForMouseEvents);
            column->addWidget(path);
            break;
        }
    }
    layout->addLayout(column, 1);

    QPointer<BridgeStatus> status = m_status;
    connect(row, &PlainButton::clicked, this, [status, name] {
        if (status)
            status->switchProject(name);
    });
    return row;
}

PlainButton *MenuContentView::menuItem(const QString &icon, const QString &title,
                                       std::function<void()> action)
{
    auto *item = new PlainButton(this);
    item->setObjectName(QStringLiteral("menuItem"));
    item->setAccessibleName(title);
    auto *layout = hbox(item, 8, {14, 5, 14, 5});
    auto *symbol = new QLabel(item);
    symbol->setFixedWidth(16);
    symbol->setAlignment(Qt::AlignCenter);
    symbol->setPixmap(style::symbol(icon, style::level(Level::Secondary), 12, devicePixelRatioF()));
    symbol->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(symbol);
    layout->addWidget(makeLabel(title, style::font(13), style::level(Level::Primary), item));
    connect(item, &PlainButton::clicked, this, std::move(action));
    item->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    return item;
}

QWidget *MenuContentView::actionsSection()
{
    auto *section = new QWidget(this);
    section->setObjectName(QStringLiteral("actionsSection"));
    auto *layout = vbox(section, 0);
    QPointer<BridgeStatus> status = m_status;
    m_newSession =
        menuItem(QStringLiteral("arrow.counterclockwise"), QStringLiteral("New Session"), [status] {
            if (status)
                status->newSession();
        });
    layout->addWidget(m_newSession, 0, Qt::AlignLeft);
    layout->addWidget(menuItem(QStringLiteral("gearshape"), QStringLiteral("Configure Projects…"),
                               [] { SettingsWindowController::shared().open(); }),
                      0, Qt::AlignLeft);
    layout->addWidget(menuItem(QStringLiteral("doc.text"), QStringLiteral("Open Logs…"),
                               [] {
                                   // A missing folder: nothing happens.
                                   const QString folder = LaunchAgentController::logFolder();
                                   if (QFileInfo(folder).isDir())
                                       QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
                               }),
                      0, Qt::AlignLeft);
    return section;
}

QWidget *MenuContentView::quitRow()
{
    auto *row = new PlainButton(this);
    row->setObjectName(QStringLiteral("quitRow"));
    row->setAccessibleName(QStringLiteral("Quit DORV"));
    auto *layout = hbox(row, kDefaultSpacing, {14, 6, 14, 6});
    layout->addWidget(makeLabel(QStringLiteral("Quit DORV"), style::font(13),
                                style::level(Level::Secondary), row));
    layout->addStretch();
    layout->addWidget(
        makeLabel(QStringLiteral("⌘Q"), style::font(11), style::level(Level::Tertiary), row));
    connect(row, &PlainButton::clicked, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    return row;
}

} // namespace dorv
