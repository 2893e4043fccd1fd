#include "ui/actionssection.h"

#include "ui/helpers.h"
#include "ui/style.h"
#include "ui/widgets/plainbutton.h"
#include "ui/widgets/spinner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace dorv {

ActionsSection::ActionsSection(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("actionsSection"));
    auto *layout = helpers::vbox(this, 0);
    connect(menuItem(QStringLiteral("arrow.counterclockwise"), QStringLiteral("New Session")),
            &PlainButton::clicked, this, &ActionsSection::newSessionRequested);
    connect(menuItem(QStringLiteral("gearshape"), QStringLiteral("Configure Projects…")),
            &PlainButton::clicked, this, &ActionsSection::configureRequested);
    connect(menuItem(QStringLiteral("doc.text"), QStringLiteral("Open Logs…")),
            &PlainButton::clicked, this, &ActionsSection::openLogsRequested);
    for (QWidget *item : m_items)
        layout->addWidget(item, 0, Qt::AlignLeft);
    m_newSessionSpinner = new Spinner(m_items.first());
    m_newSessionSpinner->setFixedSize(16, 12); // the symbol's slot
    m_newSessionSpinner->hide();
    static_cast<QHBoxLayout *>(m_items.first()->layout())->insertWidget(0, m_newSessionSpinner);
}

void ActionsSection::setNewSessionEnabled(bool enabled)
{
    m_items.first()->setEnabled(enabled);
}

void ActionsSection::setNewSessionBusy(bool busy)
{
    m_items.first()->layout()->itemAt(1)->widget()->setVisible(!busy);
    m_newSessionSpinner->setVisible(busy);
}

PlainButton *ActionsSection::menuItem(const QString &icon, const QString &title)
{
    auto *item = new PlainButton(this);
    item->setObjectName(QStringLiteral("menuItem"));
    item->setAccessibleName(title);
    auto *layout = helpers::hbox(item, 8, {14, 5, 14, 5});
    auto *symbol = helpers::symbolLabel(icon, 12, style::level(style::Level::Secondary), item);
    symbol->setFixedWidth(16);
    symbol->setAlignment(Qt::AlignCenter);
    layout->addWidget(symbol);
    layout->addWidget(
        helpers::makeLabel(title, style::font(13), style::level(style::Level::Primary), item));
    item->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    m_items.append(item);
    return item;
}

} // namespace dorv
