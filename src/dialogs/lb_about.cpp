#include "lb_about.h"

#include "janelas.h"
#include "labelbutton.h"
#include "twips.h"
#include "urlopener.h"

#include <QIcon>
#include <QPlainTextEdit>
#include <QWindow>

using namespace Qt::StringLiterals;

const QUrl LB_About::SitioDoAutor(u"http://www.tevrolurvane.net"_s);
const QUrl LB_About::PaginaDeDoacao(
    u"https://www.paypal.com/cgi-bin/webscr?cmd=_s-xclick&hosted_button_id=LBREVICARD11"_s);

const QString LB_About::Descricao = QStringList {
    u"O Lurvane Brevicard é um programa completamente intuitivo, escrito inteiramente em C++ com Qt."_s,
    u"Com ele é possível:"_s,
    u"Copiar o contato completo para a área de transferência."_s,
    u"Copiar/colar cada entrada em separado, apenas clicando nos ícones à esquerda dos títulos."_s,
    u"Postar um número teoricamente ilimitado de contatos."_s,
    u"Atualizar / Deletar / Imprimir os contatos."_s,
}.join(u"\r\n"_s);

namespace {

QLabel* figura(QWidget* parent, const QString& nome, const QString& svg, const QRect& twips, QSize tamanho)
{
    auto* l = Janelas::rotulo(parent, nome, {}, twips);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setProperty("svg", svg);
    l->setProperty("tamanho", tamanho);
    return l;
}

// Drawn from SVG at the density of the window's screen, so it stays sharp.
void desenha(QLabel* figura, qreal escala)
{
    figura->setPixmap(
        QIcon(figura->property("svg").toString()).pixmap(figura->property("tamanho").toSize(), escala));
}

} // namespace

LB_About::LB_About(UrlOpener& navegador, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_navegador(navegador)
{
    Q_INIT_RESOURCE(lurvane);
    Janelas::prepara(this, u"LB_About"_s, 4335, 2940);

    txtAbout = new QPlainTextEdit(this);
    txtAbout->setObjectName(u"txtAbout"_s);
    txtAbout->setGeometry(Twips::rect(45, 740, 4280, 1560));
    txtAbout->setReadOnly(true);
    // Read-only, yet its text can still be selected and copied, by mouse or by keys.
    txtAbout->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    txtAbout->setTabChangesFocus(true); // on to the links and "Fechar"
    Janelas::defineTextoComCrLf(txtAbout, Descricao);

    lblPayPal = new LabelButton(u"lblPayPal"_s, u"Faça uma doação. Clique aqui."_s,
        u"Faça uma doação para minha conta no PayPal. É fácil, rápido e seguro."_s,
        QRect(600, 2640, 2745, 210), this);
    Image2 = figura(this, u"Image2"_s, u":/images/doacao.svg"_s, QRect(0, 2600, 480, 300), QSize(32, 20));
    Label1 = Janelas::rotulo(this, u"Label1"_s, u"v 1.1"_s, QRect(2630, 0, 1695, 195));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label1->setIndent(6);
    lblFree = Janelas::rotulo(
        this, u"lblFree"_s, u"Lurvane Brevicard é totalmente FREE!"_s, QRect(0, 2360, 3135, 255));
    lblFree->setIndent(6);
    Label3 = Janelas::rotulo(this, u"Label3"_s, u"Tevro Lurvane"_s, QRect(1400, 270, 1455, 190));
    Label3->setIndent(4); // clear of the bold "Autor:" beside it
    Label4 = Janelas::rotulo(this, u"Label4"_s, u"Lurvane Brevicard"_s, QRect(840, 0, 3480, 195));
    Janelas::negrito(Label4);
    // "Autor:" and the name end where the address below begins, and "Autor:" where the name
    // begins: at a higher dpi they shrink rather than run into each other.
    Label2 = Janelas::rotulo(this, u"Label2"_s, u"Autor:"_s, QRect(840, 270, 560, 190));
    Janelas::negrito(Label2);
    // The caption shows the address as people write it; the tip shows it whole.
    lblTevrolurvane = new LabelButton(
        u"lblTevrolurvane"_s, SitioDoAutor.host(), SitioDoAutor.toString(), QRect(840, 460, 2055, 285), this);
    Image1 = figura(this, u"Image1"_s, u":/images/lurvane.svg"_s, QRect(10, 10, 720, 720), QSize(48, 48));
    lblNao = LabelButton::comForma(
        u"lblNao"_s, u"Fechar"_s, u"Fechar (Esc)"_s, QRect(3480, 2380, 570, 255), u"Shape2"_s, this);

    // Tab from the text goes to the links as they read, then to "Fechar".
    setTabOrder(txtAbout, lblTevrolurvane);
    setTabOrder(lblTevrolurvane, lblPayPal);
    setTabOrder(lblPayPal, lblNao);
    connect(lblTevrolurvane, &LabelButton::clicked, this, &LB_About::lblTevrolurvane_Click);
    connect(lblPayPal, &LabelButton::clicked, this, &LB_About::lblPayPal_Click);
    connect(lblNao, &LabelButton::clicked, this, &LB_About::lblNao_Click);
    Janelas::cabemTodos(this);
    desenhaFiguras();
}

void LB_About::desenhaFiguras()
{
    const qreal escala = windowHandle() ? windowHandle()->devicePixelRatio() : devicePixelRatioF();
    for (QLabel* f : { Image1, Image2 })
        desenha(f, escala);
}

void LB_About::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Now the window has a screen: drawn for it, and again when it moves to one of another scale.
    desenhaFiguras();
    connect(windowHandle(), &QWindow::screenChanged, this, &LB_About::desenhaFiguras, Qt::UniqueConnection);
}

void LB_About::mostra(const QPoint& principal, UrlOpener& navegador, QWidget* janelaPrincipal)
{
    const Janelas::DevolveFoco foco(janelaPrincipal);
    LB_About janela(navegador);
    Janelas::acimaDe(&janela, janelaPrincipal);
    janela.move(Janelas::sobrePrincipal(principal));
    janela.exec();
}

void LB_About::lblTevrolurvane_Click()
{
    m_navegador.abre(SitioDoAutor);
}

void LB_About::lblPayPal_Click()
{
    m_navegador.abre(PaginaDeDoacao);
}

void LB_About::lblNao_Click()
{
    accept();
}

void LB_About::paintEvent(QPaintEvent*)
{
    Janelas::pintaFundo(this);
}
