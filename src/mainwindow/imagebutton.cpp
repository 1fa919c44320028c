#include "imagebutton.h"

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
    setObjectName(objectName);
    setGeometry(designRect);
    setAttribute(Qt::WA_TranslucentBackground);
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
    // A second button pressed while the first is held changes nothing: the picture goes back
    // when the first one is released.
    if (m_held != Qt::NoButton)
        return;
    m_held = event->button();
    move(m_pressedPos);
    Q_EMIT pressed(m_held);
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != m_held)
        return;
    // Judged where the picture stood while held, which is where the event's position is from.
    const bool over = rect().contains(event->position().toPoint());
    m_held = Qt::NoButton;
    move(m_design.topLeft());
    Q_EMIT released(event->button());
    if (event->button() == Qt::LeftButton && over)
        Q_EMIT clicked();
}

void ImageButton::hideEvent(QHideEvent* event)
{
    // A window hidden while a button is held never delivers the release here.
    m_held = Qt::NoButton;
    move(m_design.topLeft());
    QWidget::hideEvent(event);
}
