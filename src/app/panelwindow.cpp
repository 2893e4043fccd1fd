#include "panelwindow.h"

#include "menucontentview.h"
#include "style.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace dorv {

QRect placePanel(const QSize &size, const QRect &anchor, const QRect &screen)
{
    QRect r(QPoint(), size);
    const bool below = anchor.center().y() < screen.center().y();
    r.moveLeft(anchor.center().x() - size.width() / 2);
    if (below)
        r.moveTop(anchor.bottom() + 4);
    else
        r.moveBottom(anchor.top() - 4);
    r.moveLeft(
        qBound(screen.left(), r.left(), qMax(screen.left(), screen.right() - r.width() + 1)));
    r.moveTop(qBound(screen.top(), r.top(), qMax(screen.top(), screen.bottom() - r.height() + 1)));
    return r;
}

PanelWindow::PanelWindow(MenuContentView *content, bool popup)
    : QWidget(nullptr,
              popup ? Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint : Qt::Window),
      m_content(content), m_popup(popup)
{
    setObjectName(QStringLiteral("panelWindow"));
    setWindowTitle(QStringLiteral("DORV"));
    auto *layout = new QVBoxLayout(this);
    // The border is painted under the content, so the panel stays exactly as wide as its rows.
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    content->setParent(this);
    layout->addWidget(content);
}

void PanelWindow::showAt(const QRect &anchor)
{
    adjustSize();
    QScreen *screen = QGuiApplication::screenAt(anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    move(placePanel(size(), anchor, area).topLeft());
    show();
    raise();
    activateWindow();
}

bool PanelWindow::justHidden() const
{
    return m_hiddenAt.isValid() && m_hiddenAt.elapsed() < 300;
}

void PanelWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (m_popup && event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible())
        hide();
}

void PanelWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_hiddenAt.start();
}

void PanelWindow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    if (m_popup) {
        p.setPen(style::level(style::Level::Quaternary));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace dorv
