#include "ui/actionssection.h"

#include "bridge/bridgestatus.h"
#include "service/launchagentcontroller.h"
#include "ui/settingswindowcontroller.h"
#include "ui/style.h"
#include "ui/uikit.h"
#include "ui/widgets/plainbutton.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QUrl>
#include <QVBoxLayout>

namespace dorv {

ActionsSection::ActionsSection(BridgeStatus *status, QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("actionsSection"));
    auto *layout = uikit::vbox(this, 0);
    QPointer<BridgeStatus> model = status;
    menuItem(QStringLiteral("arrow.counterclockwise"), QStringLiteral("New Session"), [model] {
        if (model)
            model->newSession();
    });
    menuItem(QStringLiteral("gearshape"), QStringLiteral("Configure Projects…"),
             [] { SettingsWindowController::shared().open(); });
    menuItem(QStringLiteral("doc.text"), QStringLiteral("Open Logs…"), [] {
        // A missing folder: nothing happens.
        const QString folder = LaunchAgentController::logFolder();
        if (QFileInfo(folder).isDir())
            QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    });
    for (QWidget *item : m_items)
        layout->addWidget(item, 0, Qt::AlignLeft);
}

void ActionsSection::setNewSessionEnabled(bool enabled)
{
    m_items.first()->setEnabled(enabled);
}

PlainButton *ActionsSection::menuItem(const QString &icon, const QString &title,
                                      std::function<void()> action)
{
    auto *item = new PlainButton(this);
    item->setObjectName(QStringLiteral("menuItem"));
    item->setAccessibleName(title);
    auto *layout = uikit::hbox(item, 8, {14, 5, 14, 5});
    auto *symbol = new QLabel(item);
    symbol->setFixedWidth(16);
    symbol->setAlignment(Qt::AlignCenter);
    symbol->setPixmap(
        style::symbol(icon, style::level(style::Level::Secondary), 12, devicePixelRatioF()));
    symbol->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(symbol);
    layout->addWidget(
        uikit::makeLabel(title, style::font(13), style::level(style::Level::Primary), item));
    item->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    connect(item, &PlainButton::clicked, this, std::move(action));
    m_items.append(item);
    return item;
}

} // namespace dorv
