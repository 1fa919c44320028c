#include "imagebutton.h"

#include "accessiblebutton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

ImageButton::ImageButton(
    const QString& objectName, const QString& svgPath, const QRect& designRect, QWidget* parent)
    : QWidget(parent)
    , m_renderer(new QSvgRenderer(svgPath, this))
    , m_design(designRect)
    , m_pressedPos(designRect.topLeft())
{
    installAccessibleButton<ImageButton>();
    setObjectName(objectName);
    setGeometry(designRect);
    setAttribute(Qt::WA_TranslucentBackground);
}

void ImageButton::click()
{
    Q_EMIT released(Qt::LeftButton);
    Q_EMIT clicked();
}

void ImageButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    m_renderer->render(&painter, QRectF(QPointF(0, 0), m_renderer->defaultSize()));
}

void ImageButton::mousePressEvent(QMouseEvent* event)
{
    // Accepted, so that the release comes back here wherever the pointer is then.
    event->accept();
    // The button held before is up again though its release never came here (another program
    // took the pointer meanwhile): that press is over, this one starts afresh.
    if (m_held != Qt::NoButton && !(event->buttons() & m_held))
        dropPress();
    // A second button pressed while the first is held changes nothing: the picture goes back
    // when the first one is released.
    if (m_held != Qt::NoButton)
        return;
    m_held = event->button();
    move(m_pressedPos);
    Q_EMIT pressed(m_held);
}

void ImageButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Not a second press, as QWidget would make it: the first click has already run the
    // action. The picture goes down (where the platform sent no second press) and back up.
    event->accept();
    if (m_held == Qt::NoButton) {
        m_held = event->button();
        move(m_pressedPos);
    }
    if (event->button() == m_held)
        m_doubleClick = true;
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != m_held)
        return;
    if (m_doubleClick) {
        dropPress();
        return;
    }
    // Judged where the picture stood while held, which is where the event's position is from.
    const bool over = rect().contains(event->position().toPoint());
    m_held = Qt::NoButton;
    move(m_design.topLeft());
    Q_EMIT released(event->button());
    if (event->button() == Qt::LeftButton && over)
        Q_EMIT clicked();
}

bool ImageButton::event(QEvent* event)
{
    switch (event->type()) {
    // The release of a held button never reaches a window that is hidden, no longer active,
    // or whose pointer grab was taken away.
    case QEvent::Hide:
    case QEvent::WindowDeactivate:
    case QEvent::UngrabMouse:
        dropPress();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

void ImageButton::dropPress()
{
    m_held = Qt::NoButton;
    m_doubleClick = false;
    move(m_design.topLeft());
}
