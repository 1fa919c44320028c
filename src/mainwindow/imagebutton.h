#pragma once

#include <QAccessible>
#include <QKeySequence>
#include <QString>
#include <QWidget>

class QSvgRenderer;

// A picture that works as a button. The picture is drawn from SVG at its own size, in the
// top left corner of the widget, so it stays crisp on high-density screens. While a mouse
// button is held on it, it stands at its pressed position, so the user sees it go down.
// A double click counts as one click: its second press moves the picture and nothing more.
// It takes the focus by Tab only, never by a click, so clicking it leaves the focus where the
// user was typing; focused, it shows a ring around it, and Space or Enter presses it.
class ImageButton : public QWidget {
    Q_OBJECT
public:
    ImageButton(const QString& objectName, const QString& svgPath, const QRect& designRect, QWidget* parent);

    QRect designRect() const { return m_design; }
    // Where the top left corner goes while a button is held; by default the picture stays put.
    void setPressedPos(const QPoint& pos) { m_pressedPos = pos; }
    // What screen readers take it for: a push button that they can press, unless told otherwise.
    void setAccessibleRole(QAccessible::Role role) { m_role = role; }
    QAccessible::Role accessibleRole() const { return m_role; }
    // A key that presses it as a left click does: from anywhere in its window, or only while
    // the focus is in where. The tooltip names the key.
    void setShortcut(const QKeySequence& key, QWidget* where = nullptr);

public Q_SLOTS:
    // What a left click does, without the picture moving: released(), then clicked().
    void click();

Q_SIGNALS:
    // Any mouse button pressed on the picture; it is then at its pressed position.
    void pressed(Qt::MouseButton button);
    // That button released, wherever the pointer is; the picture is back at its design place.
    void released(Qt::MouseButton button);
    // Left button pressed and released over the picture; follows released().
    void clicked();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

private:
    // Back to the design place without a signal: the release that would end the press is lost.
    void dropPress();
    void placeRing();

    QSvgRenderer* m_renderer;
    QRect m_design;
    QPoint m_pressedPos;
    QAccessible::Role m_role = QAccessible::PushButton;
    // The button whose press moved the picture; NoButton while it stands at its design place.
    Qt::MouseButton m_held = Qt::NoButton;
    // The press is a double click's second one: its release runs nothing.
    bool m_doubleClick = false;
    // The key whose press, begun while it had the focus, holds it down; 0 when none.
    int m_key = 0;
    // Drawn beside it rather than on it, so it reads on the picture's own colours too.
    QWidget* m_ring = nullptr;
};
