#include "imagebutton.h"

#include "accessiblebutton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QSvgRenderer>

#include <utility>

using namespace Qt::StringLiterals;

namespace {

constexpr int RingWidth = 2;

// A band around the focused picture, in the window's highlight colour: the colour of a focused
// field's frame, and dark enough to stand out from the light window and strip.
class FocusRing : public QWidget {
public:
    explicit FocusRing(QWidget* parent)
        : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const QRegion band = QRegion(rect()) - rect().adjusted(RingWidth, RingWidth, -RingWidth, -RingWidth);
        for (const QRect& r : band)
            painter.fillRect(r, palette().color(QPalette::Highlight));
    }
};

} // namespace

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
    setFocusPolicy(Qt::TabFocus);
}

void ImageButton::setShortcut(const QKeySequence& key, QWidget* where)
{
    auto* shortcut = new QShortcut(key, where ? where : this);
    shortcut->setContext(where ? Qt::WidgetShortcut : Qt::WindowShortcut);
    // Held down, the key runs the action once, not once per repeat.
    shortcut->setAutoRepeat(false);
    connect(shortcut, &QShortcut::activated, this, &ImageButton::click);
    // Named inside the padding spaces some tips have.
    QString tip = toolTip();
    qsizetype end = tip.size();
    while (end > 0 && tip.at(end - 1).isSpace())
        --end;
    setToolTip(tip.insert(end, u" ("_s + key.toString(QKeySequence::PortableText) + u')'));
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

void ImageButton::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter)
        || (event->modifiers() & ~Qt::KeypadModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    // Only a press that starts here holds it down: the repeats of a key held since before the
    // focus came press nothing. The action runs on the release, once the key is up, so a
    // window it opens never sees the key still down.
    if (!event->isAutoRepeat() && m_key == 0 && m_held == Qt::NoButton) {
        m_key = key;
        move(m_pressedPos);
    }
}

void ImageButton::keyReleaseEvent(QKeyEvent* event)
{
    if (m_key == 0 || event->key() != m_key || event->isAutoRepeat()) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    m_key = 0;
    move(m_design.topLeft());
    click();
}

void ImageButton::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    placeRing();
}

void ImageButton::placeRing()
{
    if (!m_ring || !hasFocus())
        return;
    // Around the picture as drawn, which may be smaller than the place it has; kept inside the
    // window, where a picture stands at its edge (the row below touches the bottom).
    const QRect picture = QRect(pos(), m_renderer->defaultSize()) & geometry();
    m_ring->setGeometry(
        picture.adjusted(-RingWidth, -RingWidth, RingWidth, RingWidth) & parentWidget()->rect());
    m_ring->raise();
    m_ring->show();
}

bool ImageButton::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        if (!m_ring && parentWidget())
            m_ring = new FocusRing(parentWidget());
        placeRing();
        break;
    case QEvent::FocusOut:
        if (m_ring)
            m_ring->hide();
        // A key held when the focus left presses nothing.
        if (std::exchange(m_key, 0) != 0 && m_held == Qt::NoButton)
            move(m_design.topLeft());
        break;
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
    m_key = 0;
    move(m_design.topLeft());
}
