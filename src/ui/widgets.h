#pragma once

#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QTimer>
#include <QWidget>

// Small custom widgets that Qt Widgets lacks: a switch, a spinner, the status dot, filled
// shapes, the context bar, a middle-eliding label and a chrome-less button.
namespace dorv {

// An on/off switch. clicked(bool) fires only for user flips.
class SwitchButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit SwitchButton(QWidget *parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *) override;
};

// An indeterminate circular activity indicator; it animates only while visible.
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

// A filled circle that can glow in its own colour.
class Dot : public QWidget {
    Q_OBJECT
public:
    explicit Dot(int diameter, QWidget *parent = nullptr);
    void set(const QColor &color, bool glowing);
    QColor color() const { return m_color; }
    bool glowing() const { return m_glowing; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    int m_diameter;
    QColor m_color;
    bool m_glowing = false;
};

// A widget whose background is a filled rounded rectangle (radius < 0: a capsule).
class FilledFrame : public QWidget {
    Q_OBJECT
public:
    explicit FilledFrame(qreal radius, QWidget *parent = nullptr);
    void setFill(const QColor &color);
    QColor fill() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    qreal m_radius;
    QColor m_fill;
};

// A 3-high capsule track with a fill of a fraction of its width.
class ContextBar : public QWidget {
    Q_OBJECT
public:
    explicit ContextBar(QWidget *parent = nullptr);
    // Fraction in [0, 1]; anything else (NaN included) is clamped, NaN to empty.
    void set(qreal fraction, const QColor &fill);
    int fillWidth() const;
    QColor fillColor() const { return m_color; }

protected:
    void paintEvent(QPaintEvent *) override;

private:
    qreal m_fraction = 0;
    QColor m_color;
};

// One line of text, shortened in the middle with an ellipsis when it does not fit.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget *parent = nullptr);
    void setFullText(const QString &text);
    QString fullText() const { return m_full; }
    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *) override;

private:
    void elide();
    QString m_full;
};

// Text with no line limit that wraps at word boundaries, or anywhere for a long word, so it never
// widens its container.
class WrapLabel : public QWidget {
    Q_OBJECT
public:
    explicit WrapLabel(QWidget *parent = nullptr);
    void setText(const QString &text);
    QString text() const { return m_text; }
    void setColor(const QColor &color);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString m_text;
    QColor m_color;
};

// A button drawn only by its child widgets (no chrome); the whole area is the hit shape.
class PlainButton : public QAbstractButton {
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

// A thin horizontal separator; `inset` leaves room at the leading side.
QWidget *makeDivider(QWidget *parent, int inset = 0);

} // namespace dorv
