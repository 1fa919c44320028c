#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QtMath>

// Positions and sizes of the windows are laid out in twips: 15 to the device-independent pixel.
namespace Twips {

inline constexpr int PerPixel = 15;

constexpr int toPixels(int twips)
{
    // Round half away from zero, as the layout values were measured.
    return twips >= 0 ? (twips + PerPixel / 2) / PerPixel : -((-twips + PerPixel / 2) / PerPixel);
}

constexpr int fromPixels(int pixels)
{
    return pixels * PerPixel;
}

inline QRect rect(int left, int top, int width, int height)
{
    return QRect(toPixels(left), toPixels(top), toPixels(width), toPixels(height));
}

inline QPoint point(int left, int top)
{
    return QPoint(toPixels(left), toPixels(top));
}

// Where the main window goes: its right edge 90 twips from the screen's, its bottom
// 530 twips above the screen's bottom (clear of a taskbar). All in twips.
constexpr QPoint lowerRightCorner(QSize screen, QSize window)
{
    return QPoint(screen.width() - (window.width() + 90), screen.height() - (window.height() + 530));
}

} // namespace Twips
