#pragma once

#include <QColor>
#include <QWidget>

// A 3-high capsule track with a fill across a fraction of its width.
namespace dorv {

class ContextBar : public QWidget {
    Q_OBJECT
public:
    explicit ContextBar(QWidget *parent = nullptr);
    // Fractions outside [0, 1] are clamped; NaN is empty.
    void set(qreal fraction, const QColor &fill);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    qreal m_fraction = 0;
    QColor m_color;
};

} // namespace dorv
