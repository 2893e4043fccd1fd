#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>

// The panel's actions: New Session, Configure Projects… and Open Logs…
namespace dorv {

class BridgeStatus;
class PlainButton;

class ActionsSection : public QWidget {
    Q_OBJECT
public:
    explicit ActionsSection(BridgeStatus *status, QWidget *parent = nullptr);
    void setNewSessionEnabled(bool enabled);
    QList<QWidget *> items() const { return m_items; }

private:
    PlainButton *menuItem(const QString &icon, const QString &title, std::function<void()> action);

    QList<QWidget *> m_items;
};

} // namespace dorv
