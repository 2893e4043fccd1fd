#pragma once

#include <QWidget>

// The panel's actions: New Session, Configure Projects… and Open Logs…. It only says which one
// the user pressed.
namespace dorv {

class PlainButton;

class ActionsSection : public QWidget {
    Q_OBJECT
public:
    explicit ActionsSection(QWidget *parent = nullptr);
    void setNewSessionEnabled(bool enabled);
    // While its command is out, New Session shows a spinner in place of its symbol.
    void setNewSessionBusy(bool busy);

Q_SIGNALS:
    void newSessionRequested();
    void configureRequested();
    void openLogsRequested();

private:
    PlainButton *menuItem(const QString &icon, const QString &title);

    QList<QWidget *> m_items;
    QWidget *m_newSessionSpinner;
};

} // namespace dorv
