#pragma once

#include <QDialog>
#include <QPointer>

class Beeper;
class QLabel;
class QTimer;

// The short notice: a message over the main window that beeps, blocks the main window and
// closes itself 1.5 seconds after it was made. It has no buttons and takes no keys or clicks.
class LB_ContAd : public QDialog {
    Q_OBJECT
public:
    static constexpr int IntervaloMs = 1500;

    // Making the notice starts its timer and sounds the beep, before it is shown.
    explicit LB_ContAd(Beeper& beeper, QWidget* parent = nullptr);

    QLabel* Label1;
    QTimer* Timer1;

    // Sets the message, places the window at topLeft (screen pixels) and shows it modally,
    // above principal; returns when the notice has closed itself.
    static void mostra(
        Beeper& beeper, const QString& mensagem, const QPoint& topLeft, QWidget* principal = nullptr);

    // The same notice without holding the main window: for what the program tells on its own (a
    // sync in the background) while the user may be typing. It takes neither the focus nor the
    // keys, stands intervaloMs, and grows downwards to hold a longer message whole.
    static LB_ContAd* avisa(
        Beeper& beeper, const QString& mensagem, const QPoint& topLeft, QWidget* principal, int intervaloMs);

public Q_SLOTS:
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Timer1_Timer();

    QPointer<QWidget> m_devolve; // the window that keeps the keys while a notice stands
};
