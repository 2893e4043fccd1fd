#include "ui/projectcard.h"

#include "bridge/bridgesnapshot.h"
#include "ui/helpers.h"
#include "ui/style.h"
#include "ui/widgets/contextbar.h"
#include "ui/widgets/filledframe.h"
#include "ui/widgets/spinner.h"
#include "ui/widgets/wraplabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <cmath>

namespace dorv {

using style::Level;
using style::Tint;

// The percentage sits in a frame 28 wide, 8 from the bar. Text a little wider than the frame
// ("100%") takes from the gap instead of moving the bar; only far wider text widens the frame.
constexpr int kPercentWidth = 28;
constexpr int kBarGap = 8;

ProjectCard::ProjectCard(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("projectCard"));
    auto *outer = helpers::vbox(this, 0, {14, 8, 14, 8});
    auto *card = new FilledFrame(6, this);
    card->setObjectName(QStringLiteral("card"));
    QColor fill = style::level(Level::Quaternary);
    fill.setAlphaF(fill.alphaF() * 0.5);
    card->setFill(fill);
    outer->addWidget(card);
    auto *lines = helpers::vbox(card, 6, {12, 12, 12, 12});

    auto *projectLine = new QHBoxLayout;
    m_projectLine = projectLine;
    projectLine->setSpacing(style::kDefaultSpacing);
    m_name = new WrapLabel(card);
    m_name->setObjectName(QStringLiteral("activeProject"));
    m_name->setFont(style::font(13, QFont::DemiBold));
    m_name->setColor(style::level(Level::Primary));
    projectLine->addWidget(m_name, 1);
    m_busy = new QWidget(card);
    m_busy->setObjectName(QStringLiteral("busy"));
    auto *busy = helpers::hbox(m_busy, 4);
    auto *spinner = new Spinner(m_busy);
    spinner->setFixedSize(10, 10);
    busy->addWidget(spinner);
    busy->addWidget(helpers::makeLabel(QStringLiteral("Busy"), style::font(11),
                                       style::color(Tint::Orange), m_busy));
    projectLine->addWidget(m_busy, 0, Qt::AlignVCenter);
    m_idle = helpers::makeLabel(QStringLiteral("Idle"), style::font(11),
                                style::level(Level::Secondary), card);
    m_idle->setObjectName(QStringLiteral("idle"));
    projectLine->addWidget(m_idle, 0, Qt::AlignVCenter);
    lines->addLayout(projectLine);

    m_contextLine = new QWidget(card);
    m_contextLine->setObjectName(QStringLiteral("contextLine"));
    auto *context = helpers::hbox(m_contextLine, 0);
    m_bar = new ContextBar(m_contextLine);
    m_bar->setObjectName(QStringLiteral("contextBar"));
    context->addWidget(m_bar, 1, Qt::AlignVCenter);
    m_percent = helpers::makeLabel(QString(), style::font(10), style::level(Level::Tertiary),
                                   m_contextLine);
    m_percent->setObjectName(QStringLiteral("contextPercent"));
    m_percent->setMinimumWidth(kPercentWidth + kBarGap);
    m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    context->addWidget(m_percent);
    lines->addWidget(m_contextLine);

    m_queue = helpers::makeLabel(QString(), style::font(10), style::level(Level::Tertiary), card);
    m_queue->setObjectName(QStringLiteral("queueLine"));
    lines->addWidget(m_queue);
}

QString ProjectCard::percentText(double pct)
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

void ProjectCard::showStatus(const BridgeSnapshot &status)
{
    m_name->setText(helpers::shownName(status.activeProject));
    m_busy->setVisible(status.marvekBusy);
    m_idle->setVisible(!status.marvekBusy);
    // Qt tells only the card's own layout; the nested line would keep the old one's width and
    // size a long name one line too tall until the card is shown.
    m_projectLine->invalidate();
    const std::optional<double> pct = status.contextPct;
    m_hasContext = pct.has_value();
    if (pct) {
        m_bar->set(*pct / 100.0, style::color(*pct > 70 ? Tint::Orange : Tint::Blue));
        m_percent->setText(percentText(*pct));
    }
    const qint64 queued = status.queued;
    m_hasQueue = queued >= 1;
    setCompact(m_compact);
    if (queued >= 1)
        m_queue->setText(QString::number(queued) + (queued == 1
                                                        ? QStringLiteral(" message queued")
                                                        : QStringLiteral(" messages queued")));
}

void ProjectCard::setCompact(bool compact)
{
    m_compact = compact;
    m_contextLine->setVisible(m_hasContext && !compact);
    m_queue->setVisible(m_hasQueue && !compact);
}

} // namespace dorv
