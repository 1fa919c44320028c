#include "lb_contad.h"

#include "beeper.h"
#include "janelas.h"
#include "twips.h"

#include <QLabel>
#include <QTimer>

using namespace Qt::StringLiterals;

LB_ContAd::LB_ContAd(Beeper& beeper, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , Label1(new QLabel(u"Contato Inserido!"_s, this))
    , Timer1(new QTimer(this))
{
    Janelas::prepara(this, u"LB_ContAd"_s, 2895, 735);
    // It only tells: the user's window keeps the focus while it stands, and the field being
    // typed in keeps its caret.
    setAttribute(Qt::WA_ShowWithoutActivating);

    Label1->setObjectName(u"Label1"_s);
    Label1->setGeometry(Twips::rect(60, 140, 2775, 615));
    Label1->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1->setWordWrap(true);
    Janelas::negrito(Label1, 9.75);
    // Fitted again whenever the caller sets a longer message.
    Janelas::cabemTodos(this);

    Timer1->setObjectName(u"Timer1"_s);
    Timer1->setSingleShot(true);
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(IntervaloMs);
    connect(Timer1, &QTimer::timeout, this, &LB_ContAd::Timer1_Timer);
    Timer1->start();
    beeper.beep();
}

void LB_ContAd::mostra(Beeper& beeper, const QString& mensagem, const QPoint& topLeft, QWidget* principal)
{
    const Janelas::DevolveFoco foco(principal);
    LB_ContAd aviso(beeper);
    Janelas::acimaDe(&aviso, principal);
    aviso.Label1->setText(mensagem);
    aviso.move(topLeft);
    aviso.exec();
}

LB_ContAd* LB_ContAd::avisa(
    Beeper& beeper, const QString& mensagem, const QPoint& topLeft, QWidget* principal, int intervaloMs)
{
    auto* aviso = new LB_ContAd(beeper);
    connect(aviso, &QDialog::finished, aviso, &QObject::deleteLater);
    // It belongs to no window, yet goes with the one it tells about.
    if (principal)
        connect(principal, &QObject::destroyed, aviso, &QObject::deleteLater);
    aviso->setModal(false);
    Janelas::acimaDe(aviso, principal);
    aviso->Label1->setText(mensagem);
    QPoint onde = topLeft;
    if (mensagem.contains(u'\n')) {
        // Several lines: as wide as the main window leaves room for, as tall as they need, at
        // the captions' size, and never past the main window's bottom.
        QLabel* l = aviso->Label1;
        const QRect janela = principal ? principal->window()->frameGeometry() : QRect();
        if (principal)
            aviso->setFixedWidth(
                std::max(aviso->width(), janela.right() - topLeft.x() - Twips::toPixels(90)));
        Janelas::negrito(l, 8.25);
        l->resize(aviso->width() - 2 * l->x(), l->height());
        const QRect texto = QFontMetrics(l->font(), l)
                                .boundingRect(QRect(0, 0, l->width() - 1, 10000),
                                    int(l->alignment()) | Qt::TextWordWrap, mensagem);
        l->resize(l->width(), std::max(l->height(), texto.height() + 2));
        aviso->setFixedHeight(std::max(aviso->height(), l->geometry().bottom() + Twips::toPixels(120)));
        if (principal)
            onde.setY(std::max(janela.top(), std::min(onde.y(), janela.bottom() - aviso->height() - 4)));
    }
    aviso->Timer1->start(intervaloMs);
    aviso->move(onde);
    aviso->setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    if (principal && principal->window()->isActiveWindow())
        aviso->m_devolve = principal->window();
    aviso->show();
    return aviso;
}

void LB_ContAd::reject()
{
    // Escape does not close the notice: only its timer does.
}

bool LB_ContAd::event(QEvent* event)
{
    // A desktop that activates it all the same gives the keys straight back, and the field
    // being typed in its caret.
    if (event->type() == QEvent::WindowActivate && m_devolve)
        m_devolve->activateWindow();
    return QDialog::event(event);
}

void LB_ContAd::Timer1_Timer()
{
    accept();
}

void LB_ContAd::paintEvent(QPaintEvent*)
{
    Janelas::pintaFundo(this);
}
