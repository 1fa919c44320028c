#pragma once

#include <QDialog>

#include <functional>

class Beeper;
class LabelButton;
class QLabel;

// Asks before a contact is deleted. " SIM " (or the S key) runs the deletion it was given and
// closes the window; " NÃO " (or Escape) only closes it. The same window asks before a sync
// goes past a safety stop, with the sync's reason as its question.
class LB_ContDel : public QDialog {
    Q_OBJECT
public:
    static const QString Pergunta;

    // Making the window places it at topLeft (screen pixels) and beeps.
    LB_ContDel(
        Beeper& beeper, const QPoint& topLeft, std::function<void()> deleta, QWidget* parent = nullptr);

    QLabel* Label1;
    LabelButton* lblSim;
    LabelButton* lblNao;

    // Shows the question modally; true when the user answered " SIM " (the deletion has
    // then run, before the window closed).
    static bool confirma(
        Beeper& beeper, const QPoint& topLeft, std::function<void()> deleta, QWidget* principal = nullptr);

    // Another question, longer than the deletion's: the window grows down to hold it. It comes
    // when the user may still be typing, so S does not answer it: " SIM " takes a click, or
    // Space once Tab has brought the focus to it. True when the user answered " SIM ".
    static bool confirmaTexto(Beeper& beeper, const QPoint& topLeft, const QString& pergunta,
        const QString& dicaSim, QWidget* principal = nullptr);

public Q_SLOTS:
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void lblSim_Click();
    void lblNao_Click();
    void FechaJanela(bool deletou);

    void perguntaLonga(const QString& pergunta, const QString& dicaSim);

    std::function<void()> m_deleta;
    bool m_aceitaTeclaSim = true;
    bool m_teclaSim = false; // S pressed while the question stood, not yet released
};
