#include "app/panelwindow.h"

#include "ui/menucontentview.h"
#include "ui/projectcard.h"
#include "ui/style.h"
#include "ui/widgets/nofocusonopen.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace dorv {

namespace {
bool opensBelow(const QRect &anchor, const QRect &screen)
{
    return anchor.center().y() < screen.center().y();
}
} // namespace

int panelRoom(const QRect &anchor, const QRect &screen)
{
    // A pointer anchor in a bar outside the available area still opens the panel at its edge.
    if (opensBelow(anchor, screen))
        return screen.bottom() - qMax(anchor.bottom() + kPanelGap, screen.top() - 1);
    return qMin(anchor.top() - kPanelGap, screen.bottom() + 1) - screen.top();
}

QRect cornerAnchor(const QRect &area)
{
    // Just above the area's top edge, so the panel opens flush with the corner, as tall as the
    // area allows.
    return QRect(area.right() - kPanelGap, area.top() - 1 - kPanelGap, 1, 1);
}

QRect placePanel(const QSize &size, const QRect &anchor, const QRect &screen)
{
    QRect r(QPoint(), size);
    r.moveLeft(anchor.center().x() - size.width() / 2);
    r.moveLeft(
        qBound(screen.left(), r.left(), qMax(screen.left(), screen.right() - r.width() + 1)));
    if (opensBelow(anchor, screen))
        r.moveTop(qMax(anchor.bottom() + 1 + kPanelGap, screen.top()));
    else
        r.moveBottom(qMin(anchor.top() - 1 - kPanelGap, screen.bottom()));
    return r;
}

namespace {
Qt::WindowFlags panelFlags(bool popup)
{
    return popup ? Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint : Qt::Window;
}
} // namespace

PanelWindow::PanelWindow(MenuContentView *content, bool popup)
    : QWidget(nullptr, panelFlags(popup)), m_content(content), m_popup(popup)
{
    setObjectName(QStringLiteral("panelWindow"));
    NoFocusOnOpen::install(this);
    setWindowTitle(QStringLiteral("DORV"));
    auto *layout = new QVBoxLayout(this);
    // The border is painted under the content, so the panel stays exactly as wide as its rows.
    layout->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setFocusPolicy(Qt::NoFocus);
    style::makeSlim(m_scroll->verticalScrollBar());
    m_scroll->setWidget(content);
    for (QWidget *w : {static_cast<QWidget *>(content), m_scroll->viewport()})
        w->setAutoFillBackground(false);
    layout->addWidget(m_scroll);
    content->installEventFilter(this); // its height follows its rows
    // A panel that scrolls keeps the focused control in view, however the focus got there.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *, QWidget *now) {
        if (now && m_content->isAncestorOf(now))
            m_scroll->ensureWidgetVisible(now, 0, 0);
    });
    fit();
}

void PanelWindow::setPopup(bool popup)
{
    m_popup = popup;
    setWindowFlags(panelFlags(popup));
}

QRect PanelWindow::availableArea() const
{
    QScreen *screen = QGuiApplication::screenAt(m_anchor.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
}

void PanelWindow::showAt(const QRect &anchor)
{
    m_anchor = anchor;
    // Current content first: sizing and placing an out-of-date panel could put it over the icon.
    m_content->prepareToShow();
    // A plain window leaves room for its title bar.
    const QRect area = availableArea();
    m_room = m_popup ? panelRoom(anchor, area) : area.height() - 80;
    auto *card = m_content->findChild<ProjectCard *>();
    if (card)
        card->setCompact(false);
    m_content->setMaximumPanelHeight(m_room);
    if (card && card->isVisibleTo(m_content) && m_content->height() > m_room) {
        card->setCompact(true);
        m_content->setMaximumPanelHeight(m_room);
    }
    fit();
    place();
    show();
    raise();
    activateWindow();
}

void PanelWindow::place()
{
    const QRect area = availableArea();
    if (m_popup)
        move(placePanel(size(), m_anchor, area).topLeft());
    else if (!isVisible())
        move(area.center() - QPoint(width() / 2, height() / 2));
}

void PanelWindow::fit()
{
    const QSize content = m_content->size();
    const bool scrolls = m_room > 0 && content.height() > m_room;
    const QSize size(content.width() +
                         (scrolls ? m_scroll->verticalScrollBar()->sizeHint().width() : 0),
                     scrolls ? m_room : content.height());
    if (size != this->size() || minimumSize() != size)
        setFixedSize(size);
}

bool PanelWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_content && event->type() == QEvent::Resize)
        fit();
    return QWidget::eventFilter(watched, event);
}

bool PanelWindow::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    // Content that grows while the panel is open keeps it clear of the icon.
    if (event->type() == QEvent::Resize && isVisible())
        place();
    return handled;
}

void PanelWindow::dismiss()
{
    hide();
    m_hiddenAt.invalidate(); // hiding may report a focus loss on the way (xcb does)
}

bool PanelWindow::justHidden() const
{
    return m_hiddenAt.isValid() && m_hiddenAt.elapsed() < 300;
}

void PanelWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (m_popup && event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible()) {
        m_hiddenAt.start(); // only this kind of closing can come from a click on the icon
        hide();
    }
}

void PanelWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        dismiss();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PanelWindow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    if (m_popup) {
        p.setPen(style::level(style::Level::Quaternary));
        // A hairline flush with the edges at any pixel density.
        p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

} // namespace dorv
