#pragma once

#include "config/projectconfig.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

// The project editor: owns its window and its own project list, and carries out what the user
// asks for in it (add a picked folder, make default, remove, save). The application makes one
// and keeps it until the program ends.
namespace dorv {

class ProjectEditorView;

class SettingsWindowController : public QObject {
    Q_OBJECT
public:
    // Asks the user for a folder, starting in `start`; no value when cancelled.
    using FolderPicker =
        std::function<std::optional<QString>(QWidget *parent, const QString &start)>;

    // `config` is the editor's own list; without a picker, the modal folder dialog is used.
    explicit SettingsWindowController(ProjectConfig *config, FolderPicker picker = {},
                                      QObject *parent = nullptr);
    ~SettingsWindowController() override;

    // Brings a visible window to the front; otherwise reloads the list and builds a new window,
    // 320 x 360 where the screen has room, smaller where it has not.
    void open();

    QWidget *window() const { return m_window.get(); }

    // The alias of a picked folder: its name lower-cased, each blank and colon a hyphen.
    static QString aliasForFolder(const QString &path);

private:
    void addProject();
    // Writes the list and closes the window; keeps both when the list is not written.
    void save(ProjectConfig::IfChangedOnDisk ifChanged);
    void reload();

    ProjectConfig *m_config;
    FolderPicker m_picker;
    std::unique_ptr<QWidget> m_window;
    QPointer<ProjectEditorView> m_view;
};

} // namespace dorv
