#include "lb_contdel.h"

#include "beeper.h"
#include "janelas.h"
#include "labelbutton.h"
#include "twips.h"

#include <QKeyEvent>

#include <utility>

using namespace Qt::StringLiterals;

const QString LB_ContDel::Pergunta = u"Deseja realmente deletar esse contato?"_s;

LB_ContDel::LB_ContDel(Beeper& beeper, const QPoint& topLeft, std::function<void()> deleta, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , Label1(Janelas::rotulo(this, u"Label1"_s, Pergunta, QRect(120, 120, 2775, 615)))
    , lblSim(LabelButton::comForma(
          u"lblSim"_s, u" SIM "_s, u" Deletar (S) "_s, QRect(2955, 360, 570, 375), u"shpSim"_s, this))
    , lblNao(LabelButton::comForma(
          u"lblNao"_s, u" NÃO "_s, u" Fechar (Esc) "_s, QRect(3570, 360, 570, 375), u"shpNao"_s, this))
    , m_deleta(std::move(deleta))
{
    Janelas::prepara(this, u"LB_ContDel"_s, 4335, 735);

    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Janelas::negrito(Label1, 9.75);
    Janelas::cabemTodos(this);

    // Enter, perhaps still down from the field, never deletes: " SIM " takes S, or Space once
    // Tab has brought the focus to it. The focus starts on " NÃO ".
    lblSim->recusaEnter();
    lblNao->setFocus();
    connect(lblSim, &LabelButton::clicked, this, &LB_ContDel::lblSim_Click);
    connect(lblNao, &LabelButton::clicked, this, &LB_ContDel::lblNao_Click);

    // Form_Load: placed and announced before it is shown.
    move(topLeft);
    beeper.beep();
}

bool LB_ContDel::confirma(
    Beeper& beeper, const QPoint& topLeft, std::function<void()> deleta, QWidget* principal)
{
    const Janelas::DevolveFoco foco(principal);
    LB_ContDel janela(beeper, topLeft, std::move(deleta));
    Janelas::acimaDe(&janela, principal);
    return janela.exec() == QDialog::Accepted;
}

bool LB_ContDel::confirmaTexto(Beeper& beeper, const QPoint& topLeft, const QString& pergunta,
    const QString& dicaSim, QWidget* principal)
{
    const Janelas::DevolveFoco foco(principal);
    LB_ContDel janela(beeper, topLeft, {});
    janela.perguntaLonga(pergunta, dicaSim);
    Janelas::acimaDe(&janela, principal);
    return janela.exec() == QDialog::Accepted;
}

void LB_ContDel::perguntaLonga(const QString& pergunta, const QString& dicaSim)
{
    // Five lines of the question's font where the deletion's has two; the buttons stay at the
    // bottom right.
    constexpr int Acrescimo = 480;
    const int dy = Twips::toPixels(Acrescimo);
    Label1->setText(pergunta);
    Label1->resize(Label1->width(), Label1->height() + dy);
    for (const char* nome : { "shpSim", "lblSim", "shpNao", "lblNao" })
        if (auto* w = findChild<QWidget*>(QString::fromLatin1(nome)))
            w->move(w->x(), w->y() + dy);
    lblSim->setToolTip(dicaSim);
    setFixedSize(width(), height() + dy);
    m_aceitaTeclaSim = false;
}

void LB_ContDel::reject()
{
    // Escape, or the desktop closing the window, answers as " NÃO ".
    lblNao_Click();
}

void LB_ContDel::keyPressEvent(QKeyEvent* event)
{
    // S counts only when pressed while the question stands, as the buttons' keys do.
    if (m_aceitaTeclaSim && event->key() == Qt::Key_S
        && !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier))) {
        if (!event->isAutoRepeat())
            m_teclaSim = true;
        return;
    }
    QDialog::keyPressEvent(event);
}

void LB_ContDel::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_S && !event->isAutoRepeat() && std::exchange(m_teclaSim, false))
        lblSim_Click();
    else
        QDialog::keyReleaseEvent(event);
}

void LB_ContDel::lblSim_Click()
{
    if (m_deleta)
        m_deleta();
    FechaJanela(true);
}

void LB_ContDel::lblNao_Click()
{
    FechaJanela(false);
}

void LB_ContDel::FechaJanela(bool deletou)
{
    done(deletou ? QDialog::Accepted : QDialog::Rejected);
}

void LB_ContDel::paintEvent(QPaintEvent*)
{
    Janelas::pintaFundo(this);
}
