#include "lb_contdel.h"

#include "beeper.h"
#include "twips.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

using namespace Qt::StringLiterals;

const QString LB_ContDel::Pergunta = u"Deseja realmente deletar esse contato?"_s;

namespace {

const QColor Fundo(249, 248, 240);
const QColor Moldura(47, 127, 134);

QLabel* botao(QWidget* parent, const QString& name, const QString& text, const QString& dica, int leftTwips)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    l->setToolTip(dica);
    l->setAccessibleName(text.trimmed());
    l->setAlignment(Qt::AlignCenter);
    l->setGeometry(Twips::rect(leftTwips, 360, 570, 375));
    l->setCursor(Qt::PointingHandCursor);
    QFont f = l->font();
    f.setBold(true);
    f.setPointSizeF(8.25);
    l->setFont(f);
    return l;
}

} // namespace

LB_ContDel::LB_ContDel(Beeper& beeper, const QPoint& topLeft, std::function<void()> deleta, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , Label1(new QLabel(Pergunta, this))
    , lblSim(botao(this, u"lblSim"_s, u" SIM "_s, u" Deletar "_s, 2955))
    , lblNao(botao(this, u"lblNao"_s, u" NÃO "_s, u" Fechar "_s, 3570))
    , m_deleta(std::move(deleta))
{
    setObjectName(u"LB_ContDel"_s);
    setWindowTitle(u"Lurvane Brevicard"_s);
    setFixedSize(Twips::toPixels(4335), Twips::toPixels(735));

    Label1->setObjectName(u"Label1"_s);
    Label1->setGeometry(Twips::rect(120, 120, 2775, 615));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont font = Label1->font();
    font.setBold(true);
    font.setPointSizeF(9.75);
    Label1->setFont(font);

    lblSim->installEventFilter(this);
    lblNao->installEventFilter(this);

    // Form_Load: placed and announced before it is shown.
    move(topLeft);
    beeper.beep();
}

bool LB_ContDel::confirma(Beeper& beeper, const QPoint& topLeft, std::function<void()> deleta)
{
    LB_ContDel janela(beeper, topLeft, std::move(deleta));
    return janela.exec() == QDialog::Accepted;
}

void LB_ContDel::reject()
{
    // Escape does not answer the question: only the two buttons do.
}

bool LB_ContDel::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        auto* label = static_cast<QLabel*>(watched);
        // A click is a release over the button that was pressed.
        if (label->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
            if (label == lblSim)
                lblSim_Click();
            else if (label == lblNao)
                lblNao_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
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
    QPainter painter(this);
    // A frame around the window and one around each button.
    painter.fillRect(rect(), Moldura);
    painter.fillRect(rect().adjusted(2, 2, -2, -2), Fundo);
    painter.setPen(Moldura);
    for (const QLabel* b : { lblSim, lblNao })
        painter.drawRect(b->geometry().adjusted(0, 0, -1, -1));
}
