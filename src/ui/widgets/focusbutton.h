#pragma once

#include <QAbstractButton>

// A button of our own drawing that takes keyboard focus, knows whether the keyboard put it there
// (then it shows its focus ring), and answers Space, Return and Enter. Disabled while it has the
// focus, it keeps the user's place: the focus goes nowhere else (so no other control takes the
// next key press) and comes back when it is enabled again.
namespace dorv {

class FocusButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit FocusButton(QWidget *parent = nullptr);
    // Whether the focus came from the keyboard, so the ring shows.
    bool showsKeyboardFocus() const { return m_keyboardFocus; }
    // How the focus last came here.
    Qt::FocusReason focusReason() const { return m_focusReason; }

protected:
    // True while the focus is here and the keyboard moved it here.
    bool showsFocus() const { return hasFocus() && m_keyboardFocus; }
    void keyPressEvent(QKeyEvent *) override;
    void focusInEvent(QFocusEvent *) override;
    void focusOutEvent(QFocusEvent *) override;
    bool focusNextPrevChild(bool next) override;
    void changeEvent(QEvent *) override;

private:
    bool m_keyboardFocus = false;
    bool m_placeKept = false;
    bool m_keptKeyboardFocus = false;
    Qt::FocusReason m_focusReason = Qt::OtherFocusReason;
};

} // namespace dorv
