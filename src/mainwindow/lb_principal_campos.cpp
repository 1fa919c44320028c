#include "fieldlimits.h"
#include "imagebutton.h"
#include "lb_principal.h"

#include "contactlistview.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The character a key press gives a field, or an empty text for a key that gives none.
// Control with a letter is the letter's control character (Ctrl+C is 3, Ctrl+V 22, Ctrl+X
// 24), whatever text the platform attaches, so that the editing shortcuts meet the filter as
// the characters they are. Control with Alt is left alone: on some layouts it types "@".
QString caracteresDaTecla(const QKeyEvent* tecla)
{
    const int k = tecla->key();
    switch (k) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
        // Focus moves and Delete edits; none of them types a character.
        return {};
    case Qt::Key_Backspace:
        return u"\b"_s;
    default:
        break;
    }
    const Qt::KeyboardModifiers m = tecla->modifiers();
    if ((m & Qt::ControlModifier) && !(m & Qt::AltModifier)) {
        if (k >= Qt::Key_A && k <= Qt::Key_Z)
            return QString(QChar(char16_t(k - Qt::Key_A + 1)));
        if (k == Qt::Key_BracketLeft || k == Qt::Key_Backslash || k == Qt::Key_BracketRight)
            return QString(QChar(char16_t(k - Qt::Key_BracketLeft + 27)));
    }
    return tecla->text();
}

bool aceita(QChar c)
{
    // Codes past the 16-bit signed range are no key code of a permitted character anyway.
    const qint16 codigo = c.unicode() > 0x7FFF ? qint16(-1) : qint16(c.unicode());
    return LimitaChars(codigo).toShort() != 0;
}

bool todosAceitos(const QString& texto)
{
    return std::all_of(texto.cbegin(), texto.cend(), aceita);
}

} // namespace

void LB_Principal::preparaCampos()
{
    m_campos = { {
        { txtNome, lblNomeCount, LimiteCampo::Nome, LimiteCampo::Nome },
        { txtFone, lblFoneCount, LimiteCampo::Fone, LimiteCampo::Fone },
        { txtMail, lblMailCount, LimiteCampo::Mail, LimiteCampo::Mail },
        { txtEnd, lblEndCount, LimiteCampo::End, LimiteCampo::End },
        { txtComp, lblCompCount, LimiteCampo::Comp, LimiteCampo::Comp },
    } };
    limitaTextoLongo(m_campos[3]);
    limitaTextoLongo(m_campos[4]);

    const std::array<std::pair<ImageButton*, ImageButton*>, 5> botoes { {
        { imgCtrlcNome, imgCtrlvNome },
        { imgCtrlcFone, imgCtrlvFone },
        { imgCtrlcMail, imgCtrlvMail },
        { imgCtrlcEnd, imgCtrlvEnd },
        { imgCtrlcComp, imgCtrlvComp },
    } };
    for (std::size_t i = 0; i < m_campos.size(); ++i) {
        const Campo& c = m_campos[i];
        c.texto->installEventFilter(this);
        if (auto* linha = qobject_cast<QLineEdit*>(c.texto)) {
            linha->setMouseTracking(true);
            connect(linha, &QLineEdit::textChanged, this, [this, &c] {
                ajustaPermitido(c);
                mostraContador(c);
            });
        } else {
            // The editor's pointer events arrive at its viewport.
            auto* longo = static_cast<QPlainTextEdit*>(c.texto);
            longo->viewport()->setMouseTracking(true);
            longo->viewport()->installEventFilter(this);
            connect(longo, &QPlainTextEdit::textChanged, this, [this, &c] { mostraContador(c); });
        }
        connect(botoes[i].first, &ImageButton::clicked, this, [this, &c] { copiaCampo(c); });
        connect(botoes[i].second, &ImageButton::clicked, this, [this, &c] { colaNoCampo(c); });
    }
    lstContatos->viewport()->setMouseTracking(true);
    lstContatos->viewport()->installEventFilter(this);

    connect(imgCopiar, &ImageButton::clicked, this, &LB_Principal::imgCopiar_Click);
    connect(imgLimpar, &ImageButton::clicked, this, &LB_Principal::imgLimpar_Click);
}

void LB_Principal::limitaTextoLongo(const Campo& c)
{
    // The editor has no maximum length of its own. However text came in (typing, the program,
    // the context menu, dragging), what passes the limit is taken off the end of what was just
    // inserted, so the text that was there stays whole. A line break counts two, as CR LF.
    auto* campo = static_cast<QPlainTextEdit*>(c.texto);
    auto inserido = std::make_shared<std::pair<int, int>>(0, 0);
    connect(campo->document(), &QTextDocument::contentsChange, campo,
        [inserido](int posicao, int, int acrescentados) {
            *inserido = { posicao, acrescentados };
        });
    connect(campo, &QPlainTextEdit::textChanged, this, [this, campo, &c, inserido] {
        int excesso = int(textoDe(campo).size()) - c.permitido;
        if (excesso > 0) {
            QTextDocument* doc = campo->document();
            // The document's last character is its closing block separator, never part of the text.
            const int fim = std::min(inserido->first + inserido->second, doc->characterCount() - 1);
            int inicio = fim;
            while (excesso > 0 && inicio > 0) {
                const QChar ch = doc->characterAt(--inicio);
                excesso -= (ch == QChar::ParagraphSeparator || ch == QChar::LineSeparator) ? 2 : 1;
            }
            QTextCursor corte(doc);
            corte.setPosition(inicio);
            corte.setPosition(fim, QTextCursor::KeepAnchor);
            corte.removeSelectedText();
        }
        ajustaPermitido(c);
    });
}

void LB_Principal::ajustaPermitido(const Campo& c)
{
    c.permitido = std::max(int(c.limite), int(textoDe(c.texto).size()));
    if (auto* linha = qobject_cast<QLineEdit*>(c.texto))
        linha->setMaxLength(c.permitido);
}

void LB_Principal::mostraCampo(const Campo& c, const QString& texto)
{
    // A record may hold more than the field lets anyone type (a hand-written note, a file from
    // an editor): shown cut, the next update would save it cut.
    c.permitido = std::max(c.permitido, int(texto.size()));
    if (auto* linha = qobject_cast<QLineEdit*>(c.texto))
        linha->setMaxLength(c.permitido);
    defineTexto(c.texto, texto);
    ajustaPermitido(c);
}

bool LB_Principal::eventFilter(QObject* watched, QEvent* event)
{
    // A field would take dropped .vcf files as text: they are an import wherever they land.
    if (trataArrasto(event))
        return true;
    if (watched == imgMove)
        return arrastaPelaFaixa(event);
    if (watched == lstContatos->viewport()) {
        if (event->type() == QEvent::MouseMove)
            apagaContadores();
        return false;
    }
    for (const Campo& c : m_campos) {
        const bool noCampo = watched == c.texto;
        if (!noCampo
            && !(qobject_cast<QPlainTextEdit*>(c.texto)
                && watched == static_cast<QPlainTextEdit*>(c.texto)->viewport()))
            continue;
        switch (event->type()) {
        case QEvent::KeyPress:
            return noCampo && !todosAceitos(caracteresDaTecla(static_cast<QKeyEvent*>(event)));
        case QEvent::InputMethod:
            return noCampo && filtraEntrada(watched, static_cast<QInputMethodEvent*>(event));
        case QEvent::FocusIn:
        case QEvent::MouseMove:
            mostraSoContador(c);
            break;
        case QEvent::FocusOut:
            if (noCampo)
                c.contador->clear();
            break;
        default:
            break;
        }
        return false;
    }
    return QWidget::eventFilter(watched, event);
}

bool LB_Principal::filtraEntrada(QObject* campo, QInputMethodEvent* entrada)
{
    // Composed characters (a dead key and a letter) arrive from the input method rather than
    // as key presses; only the permitted ones of its text go on to the field.
    if (todosAceitos(entrada->commitString()))
        return false;
    QString permitidos = entrada->commitString();
    permitidos.removeIf([](QChar c) { return !aceita(c); });
    QInputMethodEvent filtrado(entrada->preeditString(), entrada->attributes());
    filtrado.setCommitString(permitidos, entrada->replacementStart(), entrada->replacementLength());
    QCoreApplication::sendEvent(campo, &filtrado);
    return true;
}

void LB_Principal::mostraContador(const Campo& campo)
{
    campo.contador->setText(QString::number(CharsRestantes(textoDe(campo.texto), campo.limite)) + u" de "_s
        + QString::number(campo.limite));
}

void LB_Principal::mostraSoContador(const Campo& campo)
{
    mostraContador(campo);
    for (const Campo& outro : m_campos) {
        if (&outro != &campo)
            outro.contador->clear();
    }
}

void LB_Principal::apagaContadores()
{
    for (const Campo& c : m_campos)
        c.contador->clear();
}

void LB_Principal::copiaCampo(const Campo& campo)
{
    const QString texto = textoDe(campo.texto);
    // An empty field leaves whatever another program put on the clipboard.
    if (texto.isEmpty())
        return;
    QClipboard* area = QGuiApplication::clipboard();
    area->clear();
    area->setText(texto);
}

void LB_Principal::colaNoCampo(const Campo& campo)
{
    const QString colado = QGuiApplication::clipboard()->text();
    if (colado.isEmpty())
        return;
    // At the end whatever the caret or the selection; the field's own limit cuts what does not
    // fit (a line break that arrives as a lone LF grows to CR LF in the long fields, so the
    // cut here is only a first bound).
    defineTexto(campo.texto, (textoDe(campo.texto) + colado).left(campo.permitido));
}

void LB_Principal::imgCopiar_Click()
{
    QClipboard* area = QGuiApplication::clipboard();
    area->clear();
    area->setText(textoContato());
}

void LB_Principal::imgLimpar_Click()
{
    for (const Campo& c : m_campos)
        defineTexto(c.texto, {});
    lembraCampos();
}
