#pragma once

#include <QAbstractButton>

// An on/off switch. clicked(bool) fires only for the user's flips, never for setChecked().
namespace dorv {

class SwitchButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit SwitchButton(QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *) override;
    void focusInEvent(QFocusEvent *) override;
    void focusOutEvent(QFocusEvent *) override;

private:
    bool m_keyboardFocus = false;
};

} // namespace dorv
