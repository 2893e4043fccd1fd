#pragma once

#include <QMenu>
#include <QSet>

class QActionGroup;

// The tray icon's context menu, drawn by the tray host itself next to the icon (a QMenu on
// XEmbed trays, exported over DBusMenu to StatusNotifierItem hosts): the panel's operations,
// with the panel's texts and enabled conditions, and a first item that opens the panel for hosts
// that show the menu on a left click. It lists as many projects as fit one column of the screen,
// the active one always among them; an item opens the panel for the rest. A view: it shows what
// it is given and emits requests.
namespace dorv {

struct ShownState;

class TrayMenu : public QMenu {
    Q_OBJECT
public:
    explicit TrayMenu(QWidget *parent = nullptr);

    void showState(const ShownState &shown);

Q_SIGNALS:
    void openPanelRequested();
    void projectChosen(const QString &name);
    void newSessionRequested();
    void switchFlipped(bool on);
    void configureRequested();
    void openLogsRequested();
    void quitRequested();

private:
    int projectRoom() const;
    void mark();

    QActionGroup *m_group;
    QAction *m_more; // opens the panel when the bridge lists more projects than the menu shows
    QAction *m_projectsEnd;
    QAction *m_newSession;
    QAction *m_bridge;
    QList<QAction *> m_projects;
    QStringList m_names; // the projects shown, in order
    QString m_marked;
    QSet<QString> m_busy;
};

} // namespace dorv
