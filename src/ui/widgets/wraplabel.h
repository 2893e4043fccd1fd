#pragma once

#include <QColor>
#include <QWidget>

// Text with no line limit that wraps at word boundaries, or anywhere inside a word too long for
// a line, so it never widens its container.
namespace dorv {

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
    // The height `text` takes in `font` at `width`, without a widget.
    static int heightFor(const QString &text, const QFont &font, int width);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString m_text;
    QColor m_color;
};

} // namespace dorv
