#pragma once

#include <QDialog>
#include <QUrl>

class LabelButton;
class QLabel;
class QPlainTextEdit;
class UrlOpener;

// What the program is and who wrote it, with links to the author's site and to a donation
// page that the desktop's browser opens while this window stays up, and "Fechar".
class LB_About : public QDialog {
    Q_OBJECT
public:
    static const QUrl SitioDoAutor;
    static const QUrl PaginaDeDoacao;
    static const QString Descricao; // six lines joined by CR LF

    explicit LB_About(UrlOpener& navegador, QWidget* parent = nullptr);

    QPlainTextEdit* txtAbout;
    LabelButton* lblPayPal;
    QLabel* Image2;
    QLabel* Label1;
    QLabel* lblFree;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label2;
    LabelButton* lblTevrolurvane;
    QLabel* Image1;
    LabelButton* lblNao;

    // Opens the window over the main window whose top left is principal (screen pixels) and
    // returns when it has closed.
    static void mostra(const QPoint& principal, UrlOpener& navegador, QWidget* janelaPrincipal = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void desenhaFiguras();
    void lblTevrolurvane_Click();
    void lblPayPal_Click();
    void lblNao_Click();

    UrlOpener& m_navegador;
};
