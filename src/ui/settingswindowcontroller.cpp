#include "ui/settingswindowcontroller.h"

#include "config/projectconfig.h"
#include "ui/projecteditorview.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

namespace dorv {

SettingsWindowController &SettingsWindowController::shared()
{
    static SettingsWindowController *instance = new SettingsWindowController;
    return *instance;
}

SettingsWindowController::SettingsWindowController() : m_config(new ProjectConfig(this)) {}

SettingsWindowController::~SettingsWindowController() = default;

void SettingsWindowController::open()
{
    if (m_window && m_window->isVisible()) {
        m_window->raise();
        m_window->activateWindow();
        return;
    }
    m_config->load();

    auto window = std::make_unique<QWidget>(
        nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                     Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    window->setObjectName(QStringLiteral("projectEditorWindow"));
    window->setWindowTitle(QStringLiteral("DORV Projects"));
    window->setFixedSize(320, 360);
    auto *layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    QPointer<SettingsWindowController> self(this);
    auto *view = new ProjectEditorView(m_config, [self] {
        if (self && self->m_window)
            self->m_window->close();
    });
    layout->addWidget(view);

    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window->size());
        frame.moveCenter(screen->availableGeometry().center());
        window->move(frame.topLeft());
    }
    window->show();
    window->raise();
    window->activateWindow();
    m_window = std::move(window); // the previous window, if any, is dropped
}

} // namespace dorv
