#include "ui/headersection.h"

#include "ui/helpers.h"
#include "ui/style.h"
#include "ui/widgets/dot.h"
#include "ui/widgets/filledframe.h"

#include <QHBoxLayout>
#include <QLabel>

namespace dorv {

HeaderSection::HeaderSection(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("headerSection"));
    auto *layout = helpers::hbox(this, style::kDefaultSpacing, {14, 10, 14, 10});
    layout->addWidget(helpers::makeLabel(QStringLiteral("DORV Bridge"),
                                         style::font(13, QFont::DemiBold),
                                         style::level(style::Level::Primary), this));
    layout->addStretch();
    m_badge = new FilledFrame(-1, this);
    m_badge->setObjectName(QStringLiteral("badge"));
    auto *badge = helpers::hbox(m_badge, 5, {8, 3, 8, 3});
    m_dot = new Dot(6, m_badge);
    badge->addWidget(m_dot);
    m_stateLabel = helpers::makeLabel(QString(), style::font(11, QFont::Medium), QColor(), m_badge);
    m_stateLabel->setObjectName(QStringLiteral("stateLabel"));
    badge->addWidget(m_stateLabel);
    layout->addWidget(m_badge, 0, Qt::AlignVCenter);
}

void HeaderSection::showState(BridgeState state)
{
    const QColor color = style::stateColor(state);
    QColor fill = color;
    fill.setAlphaF(0.12);
    m_badge->setFill(fill);
    m_dot->set(color, state == BridgeState::Connected);
    m_stateLabel->setText(style::stateLabel(state));
    style::setFontAndColor(m_stateLabel, m_stateLabel->font(), color);
}

} // namespace dorv
