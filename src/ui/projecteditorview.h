#pragma once

#include "config/projectentry.h"

#include <QWidget>

// The content of the project editor window: the list with a star and a delete button per
// entry, an add button, Save, and a notice line for what went wrong. A view: it shows the
// entries it is given and emits what the user asked for. Return and Space press the button whose
// focus ring shows; with none, Return asks to save (the desktop dialog's convention). Escape asks
// to close, like the window's close button.
namespace dorv {

class Coalescer;

class ProjectListView;
class WrapLabel;

class ProjectEditorView : public QWidget {
    Q_OBJECT
public:
    explicit ProjectEditorView(QWidget *parent = nullptr);

    void showEntries(const QList<ProjectEntry> &entries);
    // One short line in full under the list; empty hides it.
    void showNotice(const QString &text);
    // The notice with a choice between Reload and Replace, until the next notice or the next
    // change of the entries.
    void offerReloadOrReplace(const QString &text);
    // The next list shown scrolls to its last row (a project just added to a long list).
    void revealLastOnNextShow() { m_revealLast = true; }

Q_SIGNALS:
    void addRequested();
    void defaultRequested(const QUuid &id);
    void removeRequested(const QUuid &id);
    void saveRequested();
    void reloadRequested();
    void replaceRequested();
    void closeRequested();

private:
    void rebuild();

    QList<ProjectEntry> m_entries;
    Coalescer *m_refresh;
    bool m_revealLast = false;

    QWidget *m_emptyNotice = nullptr;
    ProjectListView *m_list = nullptr;
    WrapLabel *m_notice = nullptr;
    QWidget *m_choice = nullptr; // Reload and Replace
};

} // namespace dorv
