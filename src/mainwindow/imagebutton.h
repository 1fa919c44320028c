#pragma once

#include <QString>
#include <QWidget>

class QSvgRenderer;

// A picture that works as a button. The picture is drawn from SVG at its own size, in the
// top left corner of the widget, so it stays crisp on high-density screens.
class ImageButton : public QWidget {
    Q_OBJECT
public:
    ImageButton(const QString& objectName, const QString& svgPath, const QRect& designRect, QWidget* parent);

Q_SIGNALS:
    // Left button pressed and released over the picture.
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QSvgRenderer* m_renderer;
};
