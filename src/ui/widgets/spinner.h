#pragma once

#include <QTimer>
#include <QWidget>

// An indeterminate circular activity indicator; it animates only while visible.
namespace dorv {

class Spinner : public QWidget {
    Q_OBJECT
public:
    explicit Spinner(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *) override;
    void showEvent(QShowEvent *) override;
    void hideEvent(QHideEvent *) override;

private:
    QTimer m_timer;
    int m_step = 0;
};

} // namespace dorv
