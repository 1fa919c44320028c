#pragma once

class QWidget;

// Moves a window without title bar as if its title bar were dragged, while the mouse
// button that was just pressed on it stays down.
class WindowMover {
public:
    virtual ~WindowMover() = default;
    // True when the desktop took over the move; false when it cannot, and the caller has to
    // move the window after the pointer itself.
    virtual bool iniciaMovimento(QWidget* janela) = 0;
};

class SystemWindowMover final : public WindowMover {
public:
    bool iniciaMovimento(QWidget* janela) override;
};
