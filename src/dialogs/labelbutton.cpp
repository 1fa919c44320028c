#include "labelbutton.h"

#include "accessiblebutton.h"
#include "janelas.h"
#include "twips.h"

#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <utility>

LabelButton::LabelButton(
    const QString& nome, const QString& legenda, const QString& dica, const QRect& twips, QWidget* parent)
    : QLabel(legenda, parent)
{
    installAccessibleButton<LabelButton>();
    setObjectName(nome);
    // A screen reader says the caption without the spaces that pad it on the shape.
    setAccessibleName(legenda.trimmed());
    setGeometry(Twips::rect(twips.x(), twips.y(), twips.width(), twips.height()));
    setToolTip(dica);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    Janelas::negrito(this);
}

LabelButton* LabelButton::comForma(const QString& nome, const QString& legenda, const QString& dica,
    const QRect& twips, const QString& nomeForma, QWidget* parent)
{
    auto* forma = new QFrame(parent);
    forma->setObjectName(nomeForma);
    forma->setGeometry(Twips::rect(twips.x(), twips.y(), twips.width(), twips.height()));
    forma->setAutoFillBackground(true);
    QPalette cor = forma->palette();
    cor.setColor(QPalette::Window, Janelas::Moldura);
    forma->setPalette(cor);

    auto* botao = new LabelButton(nome, legenda, dica, twips, parent);
    botao->m_role = QAccessible::PushButton;
    botao->setAlignment(Qt::AlignCenter);
    QPalette branco = botao->palette();
    branco.setColor(QPalette::WindowText, Qt::white);
    botao->setPalette(branco);
    botao->raise();
    return botao;
}

void LabelButton::mousePressEvent(QMouseEvent* event)
{
    // Accepted, so that the release comes back here wherever the pointer is then.
    event->accept();
}

void LabelButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Not a second press, as QWidget would make it: the first click has already run it.
    event->accept();
    m_doubleClick = true;
}

void LabelButton::mouseReleaseEvent(QMouseEvent* event)
{
    if (std::exchange(m_doubleClick, false))
        return;
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
}

void LabelButton::keyPressEvent(QKeyEvent* event)
{
    const int tecla = event->key();
    const bool enter = tecla == Qt::Key_Return || tecla == Qt::Key_Enter;
    if ((tecla != Qt::Key_Space && !(enter && m_aceitaEnter)) || (event->modifiers() & ~Qt::KeypadModifier)) {
        QLabel::keyPressEvent(event);
        return;
    }
    // Only a press that begins here counts, and it runs on its release: a key held down since
    // before the window opened arrives as repeats alone and answers nothing.
    if (!event->isAutoRepeat() && m_tecla == 0)
        m_tecla = tecla;
}

void LabelButton::keyReleaseEvent(QKeyEvent* event)
{
    if (m_tecla == 0 || event->key() != m_tecla || event->isAutoRepeat()) {
        QLabel::keyReleaseEvent(event);
        return;
    }
    m_tecla = 0;
    Q_EMIT clicked();
}

void LabelButton::focusOutEvent(QFocusEvent* event)
{
    m_tecla = 0;
    QLabel::focusOutEvent(event);
}

void LabelButton::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    // In the caption's own colour: white on a button's shape, dark beside a link.
    QPainter painter(this);
    painter.setPen(QPen(palette().color(foregroundRole()), 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
}
