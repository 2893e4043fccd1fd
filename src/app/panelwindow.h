#pragma once

#include <QElapsedTimer>
#include <QWidget>

// The window that hosts the menu panel: frameless, on top, closing when it loses focus or on
// Escape. It stays inside the screen and clear of the tray icon. On a short screen the projects
// give way first (down to three rows), then the card's context and queue lines, then the whole
// panel scrolls, keeping the focused control in view. Without a tray it becomes an ordinary
// small window.
class QScrollArea;

namespace dorv {

class MenuContentView;

class PanelWindow : public QWidget {
    Q_OBJECT
public:
    PanelWindow(MenuContentView *content, bool popup);
    // A popup (frameless, on top, closing on focus loss) or an ordinary window; set before the
    // panel is first shown.
    void setPopup(bool popup);

    // Shows the panel next to `anchor` (the tray icon's geometry, or a point), its content
    // brought up to date first.
    void showAt(const QRect &anchor);
    // Hides the panel at the user's request (Escape, a click on the icon).
    void dismiss();
    // True when the panel was hidden by a focus loss a moment ago: the click that caused it
    // should not reopen it.
    bool justHidden() const;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QRect availableArea() const;
    void place();
    void fit();

    MenuContentView *m_content;
    QScrollArea *m_scroll;
    int m_room = 0; // the tallest the panel may be
    bool m_popup;
    QRect m_anchor;
    QElapsedTimer m_hiddenAt;
};

// The gap between the tray icon and the panel.
constexpr int kPanelGap = 4;

// How tall a panel may be for a tray icon at `anchor` inside `screen` (available area): the room
// on the side it opens to.
int panelRoom(const QRect &anchor, const QRect &screen);
// An anchor for the panel when neither the tray icon's place nor the pointer is known: the
// top-right corner of the available area, where most desktops keep their tray.
QRect cornerAnchor(const QRect &area);
// Where a panel of `size` goes: below the icon when it is in the upper half of the screen, above
// otherwise, never over the icon, moved sideways to stay on screen.
QRect placePanel(const QSize &size, const QRect &anchor, const QRect &screen);

} // namespace dorv
