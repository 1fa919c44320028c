#include "windowmover.h"

#include <QWidget>
#include <QWindow>

bool SystemWindowMover::iniciaMovimento(QWidget* janela)
{
    // X11 without a window manager and some compositors have no move of their own.
    QWindow* w = janela->windowHandle();
    return w && w->startSystemMove();
}
