#pragma once

#include <QElapsedTimer>
#include <QWidget>

// The window that hosts the menu panel: frameless, on top, closing when it loses focus. Without
// a tray it becomes an ordinary small window.
namespace dorv {

class MenuContentView;

class PanelWindow : public QWidget {
    Q_OBJECT
public:
    PanelWindow(MenuContentView *content, bool popup);

    // Shows the panel next to `anchor` (the tray icon's geometry, or a point), kept on screen.
    void showAt(const QRect &anchor);
    // True when the panel was hidden by a focus loss a moment ago: the click that caused it
    // should not reopen it.
    bool justHidden() const;

protected:
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    MenuContentView *m_content;
    bool m_popup;
    QElapsedTimer m_hiddenAt;
};

// Where a panel of `size` goes for a tray icon at `anchor` inside `screen` (available area):
// below the icon when it is in the upper half, above otherwise, clamped into the screen.
QRect placePanel(const QSize &size, const QRect &anchor, const QRect &screen);

} // namespace dorv
