#pragma once

#include <QAbstractButton>

// A button drawn only by its child widgets (no chrome); its whole area is the hit shape. It
// takes keyboard focus, shows it, and answers Space, Return and Enter.
namespace dorv {

class PlainButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit PlainButton(QWidget *parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    // Whether the focus came from the keyboard, so the ring shows.
    bool showsKeyboardFocus() const { return m_keyboardFocus; }

protected:
    void paintEvent(QPaintEvent *) override;
    void changeEvent(QEvent *) override;
    void keyPressEvent(QKeyEvent *) override;
    void focusInEvent(QFocusEvent *) override;
    void focusOutEvent(QFocusEvent *) override;

private:
    bool m_keyboardFocus = false;
};

} // namespace dorv
