#include "imagebutton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QSvgRenderer>

ImageButton::ImageButton(
    const QString& objectName, const QString& svgPath, const QRect& designRect, QWidget* parent)
    : QWidget(parent)
    , m_renderer(new QSvgRenderer(svgPath, this))
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
}

void ImageButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}
