#pragma once

#include "projectentry.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QScrollArea;
class QVBoxLayout;

// The content of the project editor window: the list with a star and a delete button per
// entry, an add button that picks a folder, and Save.
namespace dorv {

class ElidedLabel;
class ProjectConfig;

class ProjectEditorView : public QWidget {
    Q_OBJECT
public:
    // Asks the user for a folder; no value when cancelled.
    using FolderPicker = std::function<std::optional<QString>(QWidget *parent)>;

    ProjectEditorView(ProjectConfig *config, std::function<void()> onDismiss,
                      QWidget *parent = nullptr);

    // Test seam: replaces the modal folder dialog (an empty function restores it).
    static void setFolderPicker(FolderPicker picker);

    // The alias of a picked folder: its name lower-cased, each blank and colon a hyphen.
    static QString aliasForFolder(const QString &path);

    // The one-line notice under the list (a refused folder, a failed save); empty when none.
    QString notice() const;

    void addProject();
    void save();

private:
    void scheduleRefresh();
    void refresh();
    QWidget *projectRow(const ProjectEntry &entry);
    void remove(const ProjectEntry &entry);
    void showNotice(const QString &text);

    QPointer<ProjectConfig> m_config;
    std::function<void()> m_onDismiss;
    bool m_refreshPending = false;

    QWidget *m_emptyNotice = nullptr;
    QScrollArea *m_scroll = nullptr;
    QVBoxLayout *m_rows = nullptr;
    ElidedLabel *m_notice = nullptr;
};

} // namespace dorv
