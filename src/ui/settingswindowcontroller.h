#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

class QWidget;

// Owns the project editor window and the editor's own project list. One instance, created on
// first use, lives until the program ends.
namespace dorv {

class ProjectConfig;

class SettingsWindowController : public QObject {
    Q_OBJECT
public:
    static SettingsWindowController &shared();

    // Brings a visible window to the front; otherwise reloads the list and builds a new window.
    void open();

    QWidget *window() const { return m_window.get(); }
    ProjectConfig *config() const { return m_config; }

private:
    SettingsWindowController();
    ~SettingsWindowController() override;

    std::unique_ptr<QWidget> m_window;
    ProjectConfig *m_config;
};

} // namespace dorv
