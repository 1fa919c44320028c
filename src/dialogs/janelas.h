#pragma once

#include "twips.h"

#include <QApplication>
#include <QColor>
#include <QDialog>
#include <QEvent>
#include <QFont>
#include <QHash>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextDocument>
#include <QWidget>
#include <QWindow>

// What the windows share: their colours and fonts, their bold captions that fit their places,
// their framed background.
namespace Janelas {

inline const QColor Fundo(249, 248, 240);
inline const QColor Moldura(47, 127, 134);
// The frame that the small windows draw around themselves, in pixels; no caption reaches into it.
inline constexpr int Borda = 2;

// The windows ask for the families they were drawn with. Where a desktop lacks them (every
// Linux desktop does), look-alikes with the same widths stand in, rather than whatever the
// desktop's default sans serif is: the captions were laid out for those widths. Installed
// once, before the first font is asked for; the printed page's Arial takes its stand-in here too.
inline void instalaFontes()
{
    static const bool instaladas = [] {
        const QStringList semelhantes { QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans") };
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), semelhantes);
        QFont::insertSubstitutions(QStringLiteral("Arial"), semelhantes);
        QFont::insertSubstitutions(QStringLiteral("Verdana"), { QStringLiteral("DejaVu Sans") });
        return true;
    }();
    Q_UNUSED(instaladas);
}

inline QFont fonte(
    qreal pontos = 8.25, bool negrito = false, const QString& familia = QStringLiteral("MS Sans Serif"))
{
    instalaFontes();
    QFont f(familia);
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(pontos);
    f.setBold(negrito);
    return f;
}

// A window's whole palette, set rather than taken from the desktop: the windows paint their
// own light background, and under a dark desktop theme the desktop's text colours are
// near-white. texto is the captions' and the fields' text, campo the fields' background.
inline QPalette paleta(const QColor& texto, const QColor& campo)
{
    // Frames and scroll bars take their shades from the light grey of the buttons.
    QPalette p(QColor(239, 239, 239), Fundo);
    p.setColor(QPalette::WindowText, texto);
    p.setColor(QPalette::Text, texto);
    p.setColor(QPalette::ButtonText, texto);
    p.setColor(QPalette::Base, campo);
    p.setColor(QPalette::AlternateBase, campo);
    p.setColor(QPalette::PlaceholderText, QColor(128, 128, 128));
    // Selected names and text: white on the frame colour, readable at 4.6 to 1.
    p.setColor(QPalette::Highlight, Moldura);
    p.setColor(QPalette::HighlightedText, Qt::white);
    return p;
}

// The colours and the font of a whole window; its controls take them unless they set their own.
inline void veste(QWidget* janela, const QColor& texto, const QColor& campo)
{
    janela->setPalette(paleta(texto, campo));
    janela->setFont(fonte());
}

// Where the print and about windows stand: 3115 twips right of and 430 below the main
// window's top left, wherever it has been dragged.
inline QPoint sobrePrincipal(const QPoint& principal)
{
    return principal + Twips::point(3115, 430);
}

// A small window's name, the program's name as its title, and its fixed size in twips.
inline void prepara(QDialog* janela, const QString& nome, int larguraTwips, int alturaTwips)
{
    janela->setObjectName(nome);
    janela->setWindowTitle(QStringLiteral("Lurvane Brevicard"));
    janela->setFixedSize(Twips::toPixels(larguraTwips), Twips::toPixels(alturaTwips));
    // Black captions, white text boxes.
    veste(janela, Qt::black, Qt::white);
}

// Keeps a small window above the main window (its transient parent for the desktop), while
// the main window does not own it: it has no parent widget and comes and goes on its own.
inline void acimaDe(QDialog* janela, QWidget* principal)
{
    if (!principal || !principal->window()->windowHandle())
        return;
    janela->winId(); // the native window, which carries the hint
    janela->windowHandle()->setTransientParent(principal->window()->windowHandle());
}

// Held while a small window is open over principal: when it closes, principal and the control
// that had its focus get it back. Without a window manager nothing else gives it back, and the
// keys the user types next would go nowhere. Asked of principal rather than of the application:
// right after another small window, the activation may still be on its way back.
class DevolveFoco {
public:
    explicit DevolveFoco(QWidget* principal)
        : m_foco(principal ? principal->window()->focusWidget() : QApplication::focusWidget())
    {
    }
    ~DevolveFoco()
    {
        if (!m_foco || !m_foco->isVisible())
            return;
        m_foco->activateWindow();
        m_foco->setFocus(Qt::ActiveWindowFocusReason);
    }
    DevolveFoco(const DevolveFoco&) = delete;
    DevolveFoco& operator=(const DevolveFoco&) = delete;

private:
    QPointer<QWidget> m_foco;
};

inline void negrito(QWidget* w, qreal pontos = 8.25)
{
    w->setFont(fonte(pontos, true));
}

inline QLabel* rotulo(QWidget* parent, const QString& nome, const QString& texto, const QRect& twips)
{
    auto* l = new QLabel(texto, parent);
    l->setObjectName(nome);
    // Some labels show text from the contacts file: never read as markup.
    l->setTextFormat(Qt::PlainText);
    l->setGeometry(Twips::rect(twips.x(), twips.y(), twips.width(), twips.height()));
    return l;
}

// Where a label draws its text: its contents less the indent on the sides it is aligned to,
// and less what its window hides (outside the window, under the frame).
inline QRect lugarDoTexto(const QLabel* l)
{
    QRect r = l->contentsRect().adjusted(l->margin(), l->margin(), -l->margin(), -l->margin());
    const int recuo = l->indent();
    const Qt::Alignment a = l->alignment();
    if (recuo > 0) {
        if (a & Qt::AlignLeft)
            r.setLeft(r.left() + recuo);
        if (a & Qt::AlignRight)
            r.setRight(r.right() - recuo);
        if (a & Qt::AlignTop)
            r.setTop(r.top() + recuo);
        if (a & Qt::AlignBottom)
            r.setBottom(r.bottom() - recuo);
    }
    if (const QWidget* pai = l->parentWidget())
        r &= QRect(l->mapFrom(pai, QPoint(0, 0)), pai->size()).adjusted(Borda, Borda, -Borda, -Borda);
    return r;
}

// Whether the text, in the font f, fits the label's place whole, every wrapped line included.
// A pixel is kept spare across, for the overhang of a last bold letter.
inline bool cabe(const QLabel* l, const QFont& f)
{
    const QRect lugar = lugarDoTexto(l);
    const int quebra = l->wordWrap() ? int(Qt::TextWordWrap) : 0;
    const QRect texto = QFontMetrics(f, l).boundingRect(lugar, int(l->alignment()) | quebra, l->text());
    return texto.width() < lugar.width() && texto.height() <= lugar.height();
}

// Keeps each caption whole in the place it was laid out for. Where the desktop's font is
// wider or its dpi higher than that, the caption's font shrinks until its text fits rather
// than being cut off; when a shorter text comes, the font grows back to its design size.
// Fitted before each paint, so texts that the program sets later fit too.
class Ajuste : public QObject {
public:
    explicit Ajuste(QWidget* janela)
        : QObject(janela)
    {
    }

    void acompanha(QLabel* l)
    {
        m_desenho.insert(l, l->font());
        l->installEventFilter(this);
        ajusta(l);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ajusta(static_cast<QLabel*>(watched));
        return false;
    }

private:
    void ajusta(QLabel* l) const
    {
        // Down to 8 pixels a letter at the most, whatever the dpi.
        QFont f = m_desenho.value(l, l->font());
        while (!l->text().isEmpty() && f.pointSizeF() * l->logicalDpiY() / 72 > 8 && !cabe(l, f))
            f.setPointSizeF(f.pointSizeF() - 0.25);
        // The font is only set when it changes: the change repaints the label once more.
        if (l->font() != f)
            l->setFont(f);
    }

    QHash<const QLabel*, QFont> m_desenho;
};

// Every caption of the window fits from here on; the fonts that the captions have now are the
// sizes they shrink from, so they are set before.
inline void cabemTodos(QWidget* janela)
{
    auto* ajuste = new Ajuste(janela);
    for (QLabel* l : janela->findChildren<QLabel*>())
        ajuste->acompanha(l);
}

// A multi-line field's text with CR LF between its lines, as the store, the clipboard and the
// printer take it. The raw text keeps a non-breaking space as the user typed it; only the
// block and line separators change.
inline QString textoComCrLf(const QPlainTextEdit* campo)
{
    QString texto = campo->document()->toRawText();
    texto.replace(QChar::ParagraphSeparator, QStringLiteral("\r\n"));
    texto.replace(QChar::LineSeparator, QStringLiteral("\r\n"));
    return texto;
}

inline void defineTextoComCrLf(QPlainTextEdit* campo, const QString& texto)
{
    QString semCr = texto;
    campo->setPlainText(semCr.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

// The window's background inside its frame.
inline void pintaFundo(QWidget* janela)
{
    QPainter painter(janela);
    const QRect area = janela->rect();
    painter.fillRect(area, Moldura);
    painter.fillRect(area.adjusted(Borda, Borda, -Borda, -Borda), Fundo);
}

} // namespace Janelas
