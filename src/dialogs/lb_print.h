#pragma once

#include <QDialog>

class Beeper;
class LabelButton;
class Printer;
class QLabel;
class QPlainTextEdit;

// Shows the text that will be printed, editable, and asks whether to print it: "SIM" prints
// the text as it then stands and closes the window, "NÃO" closes it without printing.
class LB_Print : public QDialog {
    Q_OBJECT
public:
    static const QString Pergunta;
    static const QString SemImpressora;
    static const QString SemPadrao;
    static const QString ErroAoImprimir;

    LB_Print(const QString& texto, Printer& impressora, QWidget* parent = nullptr);

    QPlainTextEdit* txtPrint;
    QLabel* Label1;
    LabelButton* lblSim;
    LabelButton* lblNao;

    // The text box's content with CR LF between its lines.
    QString textoParaImprimir() const;

    // Opens the window over the main window whose top left is principal (screen pixels) and
    // returns when it has closed. A print that did not happen is told by the notice, at the
    // place where this window stood.
    static void mostra(const QString& texto, const QPoint& principal, Printer& impressora, Beeper& beeper,
        QWidget* janelaPrincipal = nullptr);

    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void lblSim_Click();
    void lblNao_Click();

    Printer& m_impressora;
    QString m_falha; // the notice's text when "SIM" could not print, else empty
    bool m_imprimindo = false;
};
