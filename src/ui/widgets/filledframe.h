#pragma once

#include <QColor>
#include <QWidget>

// A widget whose background is a filled rounded rectangle (radius < 0: a capsule).
namespace dorv {

class FilledFrame : public QWidget {
    Q_OBJECT
public:
    explicit FilledFrame(qreal radius, QWidget *parent = nullptr);
    void setFill(const QColor &color);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    qreal m_radius;
    QColor m_fill;
};

} // namespace dorv
