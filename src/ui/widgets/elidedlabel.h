#pragma once

#include <QLabel>

// One line of text, shortened in the middle with an ellipsis when it does not fit (paths).
namespace dorv {

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
    void changeEvent(QEvent *) override;

private:
    void elide();
    QString m_full;
};

} // namespace dorv
