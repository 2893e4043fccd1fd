#pragma once

#include <QAbstractButton>

// A button of our own drawing that takes keyboard focus, knows whether the keyboard put it there
// (then it shows its focus ring), and answers Space, Return and Enter.
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

private:
    bool m_keyboardFocus = false;
    Qt::FocusReason m_focusReason = Qt::OtherFocusReason;
};

} // namespace dorv
