#pragma once

#include "ui/widgets/focusbutton.h"

// A button drawn only by its child widgets (no chrome); its whole area is the hit shape. It
// takes keyboard focus, shows it, and answers Space, Return and Enter.
namespace dorv {

class PlainButton : public FocusButton {
    Q_OBJECT
public:
    explicit PlainButton(QWidget *parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *) override;
    void changeEvent(QEvent *) override;
};

} // namespace dorv
