#pragma once

#include <QColor>
#include <QWidget>

// A filled circle that can glow in its own colour.
namespace dorv {

class Dot : public QWidget {
    Q_OBJECT
public:
    explicit Dot(int diameter, QWidget *parent = nullptr);
    void set(const QColor &color, bool glowing);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    int m_diameter;
    QColor m_color;
    bool m_glowing = false;
};

} // namespace dorv
