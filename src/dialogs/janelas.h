#pragma once

#include "twips.h"

#include <QColor>
#include <QDialog>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QWidget>
#include <QWindow>

// What the small windows share: their colours, their bold captions, their framed background.
namespace Janelas {

inline const QColor Fundo(249, 248, 240);
inline const QColor Moldura(47, 127, 134);

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

inline void negrito(QWidget* w, qreal pontos = 8.25)
{
    QFont f = w->font();
    f.setBold(true);
    f.setPointSizeF(pontos);
    w->setFont(f);
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

// The captions keep the places they were laid out for; where the desktop's font is wider
// than that, each caption's font shrinks until its text fits rather than being cut off.
inline void cabemTodos(QWidget* janela)
{
    for (QLabel* l : janela->findChildren<QLabel*>()) {
        if (l->wordWrap())
            continue; // it takes a second line instead
        const int largura = l->contentsRect().width() - qMax(l->indent(), 0) - 1;
        QFont f = l->font();
        while (!l->text().isEmpty() && f.pointSizeF() > 6
            && QFontMetrics(f).horizontalAdvance(l->text()) > largura)
            f.setPointSizeF(f.pointSizeF() - 0.25);
        l->setFont(f);
    }
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

// The window's background inside a two-pixel frame.
inline void pintaFundo(QWidget* janela)
{
    QPainter painter(janela);
    const QRect area = janela->rect();
    painter.fillRect(area, Moldura);
    painter.fillRect(area.adjusted(2, 2, -2, -2), Fundo);
}

} // namespace Janelas
