#pragma once

#include <QString>
#include <QWidget>

class QSvgRenderer;

// A picture that works as a button. The picture is drawn from SVG at its own size, in the
// top left corner of the widget, so it stays crisp on high-density screens. While a mouse
// button is held on it, it stands at its pressed position, so the user sees it go down.
class ImageButton : public QWidget {
    Q_OBJECT
public:
    ImageButton(const QString& objectName, const QString& svgPath, const QRect& designRect, QWidget* parent);

    QRect designRect() const { return m_design; }
    // Where the top left corner goes while a button is held; by default the picture stays put.
    void setPressedPos(const QPoint& pos) { m_pressedPos = pos; }

Q_SIGNALS:
    // Any mouse button pressed on the picture; it is then at its pressed position.
    void pressed(Qt::MouseButton button);
    // That button released, wherever the pointer is; the picture is back at its design place.
    void released(Qt::MouseButton button);
    // Left button pressed and released over the picture; follows released().
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QSvgRenderer* m_renderer;
    QRect m_design;
    QPoint m_pressedPos;
    // The button whose press moved the picture; NoButton while it stands at its design place.
    Qt::MouseButton m_held = Qt::NoButton;
};
