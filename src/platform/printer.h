#pragma once

#include <QFuture>

class QPainter;
class QString;

// Prints one page of text on the default printer.
class Printer {
public:
    // SemPadrao: printers are installed, but none is the default. Falhou: the printer or its
    // queue did not take the page.
    enum class Resultado { Impresso, SemImpressora, SemPadrao, Falhou };

    virtual ~Printer() = default;
    virtual Resultado imprime(const QString& texto) = 0;
};

// The text word-wrapped in the box of PrintBoxedText below, Arial 10 points, one page. On
// CUPS the page goes to the print server as a PDF, and only a job the server took counts as
// printed. The job runs on a thread of its own while the caller's window keeps answering
// (imprime returns once it is done, or has failed, after ten seconds at most).
class SystemPrinter final : public Printer {
public:
    SystemPrinter() = default;
    ~SystemPrinter() override;

    // Where the text stands on the page, in millimetres from the printable area's top left.
    static constexpr float EsquerdaMm = 10;
    static constexpr float TopoMm = 10;
    static constexpr float LarguraMm = 190;
    static constexpr float AlturaMm = 280;

    Resultado imprime(const QString& texto) override;

private:
    QFuture<Resultado> m_trabalho; // the last job
};

// Draws the text on the painter's device inside the box given in millimetres: left-aligned
// from the box's top, lines broken at spaces where a word would cross the right edge and at
// every line break, in the painter's current font; whatever falls outside the box is cut
// off. A word wider than the box is not broken. Returns the millimetre position just below
// the text (as laid out, cut or not).
float PrintBoxedText(QPainter& painter, const QString& strTextToPrint, float sngX, float sngY,
    float sngMaxWith, float sngMaxHeight);
