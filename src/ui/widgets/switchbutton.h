#pragma once

#include "ui/widgets/focusbutton.h"

// An on/off switch; Space, Return and Enter flip it. clicked(bool) fires only for the user's
// flips, never for setChecked().
namespace dorv {

class SwitchButton : public FocusButton {
    Q_OBJECT
public:
    explicit SwitchButton(QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *) override;
};

} // namespace dorv
