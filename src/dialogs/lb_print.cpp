#include "lb_print.h"

#include "janelas.h"
#include "labelbutton.h"
#include "lb_contad.h"
#include "printer.h"
#include "twips.h"

#include <QPlainTextEdit>
#include <QTextDocument>

using namespace Qt::StringLiterals;

const QString LB_Print::Pergunta = u"Imprimir as informações acima?"_s;
const QString LB_Print::SemImpressora = u"Nenhuma impressora instalada!"_s;
const QString LB_Print::SemPadrao = u"Nenhuma impressora padrão definida!"_s;
const QString LB_Print::ErroAoImprimir = u"Erro ao imprimir!"_s;

LB_Print::LB_Print(const QString& texto, Printer& impressora, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_impressora(impressora)
{
    Janelas::prepara(this, u"LB_Print"_s, 4335, 2940);

    txtPrint = new QPlainTextEdit(this);
    txtPrint->setObjectName(u"txtPrint"_s);
    txtPrint->setGeometry(Twips::rect(45, 15, 4275, 2540));
    txtPrint->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtPrint->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Tab goes on to the buttons, as in the main window's fields: the keyboard reaches them.
    txtPrint->setTabChangesFocus(true);
    Janelas::defineTextoComCrLf(txtPrint, texto);

    Label1 = Janelas::rotulo(this, u"Label1"_s, Pergunta, QRect(0, 2620, 2775, 255));
    Label1->setAlignment(Qt::AlignCenter);
    Janelas::negrito(Label1);

    lblSim = LabelButton::comForma(
        u"lblSim"_s, u"SIM"_s, u"Imprimir"_s, QRect(2915, 2600, 570, 255), u"shpSim"_s, this);
    lblNao = LabelButton::comForma(
        u"lblNao"_s, u"NÃO"_s, u"Fechar (Esc)"_s, QRect(3515, 2600, 570, 255), u"Shape2"_s, this);
    connect(lblSim, &LabelButton::clicked, this, &LB_Print::lblSim_Click);
    connect(lblNao, &LabelButton::clicked, this, &LB_Print::lblNao_Click);
    Janelas::cabemTodos(this);
}

QString LB_Print::textoParaImprimir() const
{
    return Janelas::textoComCrLf(txtPrint);
}

void LB_Print::mostra(const QString& texto, const QPoint& principal, Printer& impressora, Beeper& beeper,
    QWidget* janelaPrincipal)
{
    const Janelas::DevolveFoco foco(janelaPrincipal);
    LB_Print janela(texto, impressora);
    Janelas::acimaDe(&janela, janelaPrincipal);
    janela.move(Janelas::sobrePrincipal(principal));
    janela.exec();
    if (!janela.m_falha.isEmpty())
        LB_ContAd::mostra(beeper, janela.m_falha, janela.pos(), janelaPrincipal);
}

void LB_Print::lblSim_Click()
{
    // The window stays up until the page has been handed to the printer, answering the user
    // meanwhile but taking no second answer: one click prints one page.
    if (m_imprimindo)
        return;
    m_imprimindo = true;
    const Printer::Resultado resultado = m_impressora.imprime(textoParaImprimir());
    m_imprimindo = false;
    switch (resultado) {
    case Printer::Resultado::Impresso:
        break;
    case Printer::Resultado::SemImpressora:
        m_falha = SemImpressora;
        break;
    case Printer::Resultado::SemPadrao:
        m_falha = SemPadrao;
        break;
    case Printer::Resultado::Falhou:
        m_falha = ErroAoImprimir;
        break;
    }
    accept();
}

void LB_Print::lblNao_Click()
{
    reject();
}

void LB_Print::reject()
{
    // "NÃO", Escape and closing the window wait for a print already under way.
    if (!m_imprimindo)
        QDialog::reject();
}

void LB_Print::paintEvent(QPaintEvent*)
{
    Janelas::pintaFundo(this);
}
