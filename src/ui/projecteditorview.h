#pragma once

#include "config/projectentry.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

// The content of the project editor window: the list with a star and a delete button per
// entry, an add button that picks a folder, and Save. Return saves; Escape closes the window
// without saving, like its close button.
namespace dorv {

class ProjectConfig;
class ProjectListView;
class WrapLabel;

namespace uikit {
class Coalescer;
}

class ProjectEditorView : public QWidget {
    Q_OBJECT
public:
    // Asks the user for a folder, starting in `start`; no value when cancelled.
    using FolderPicker =
        std::function<std::optional<QString>(QWidget *parent, const QString &start)>;

    ProjectEditorView(ProjectConfig *config, std::function<void()> onDismiss,
                      QWidget *parent = nullptr);

    // Test seam: replaces the modal folder dialog (an empty function restores it).
    static void setFolderPicker(FolderPicker picker);

    // The alias of a picked folder: its name lower-cased, each blank and colon a hyphen.
    static QString aliasForFolder(const QString &path);

    void addProject();
    void save();

private:
    void refresh();
    void remove(QUuid id);
    void showNotice(const QString &text);

    QPointer<ProjectConfig> m_config;
    std::function<void()> m_onDismiss;
    uikit::Coalescer *m_refresh;
    bool m_revealLast = false;

    QWidget *m_emptyNotice = nullptr;
    ProjectListView *m_list = nullptr;
    WrapLabel *m_notice = nullptr;
};

} // namespace dorv
