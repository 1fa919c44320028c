#include "printer.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QString>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// Millimetres to the device's pixels, rounded to the nearest whole pixel, halves to even.
int mmParaPixels(float mm, int dpi)
{
    return static_cast<int>(std::nearbyint(mm / 25.4 * dpi));
}

} // namespace

float PrintBoxedText(QPainter& painter, const QString& strTextToPrint, float sngX, float sngY,
    float sngMaxWith, float sngMaxHeight)
{
    const QPaintDevice* device = painter.device();
    const int dpiX = device->logicalDpiX();
    const int dpiY = device->logicalDpiY();
    const QRect caixa(mmParaPixels(sngX, dpiX), mmParaPixels(sngY, dpiY), mmParaPixels(sngMaxWith, dpiX),
        mmParaPixels(sngMaxHeight, dpiY));

    // Qt draws a CR as a space; CR LF, a lone CR and a lone LF all start a new line here.
    QString texto = strTextToPrint;
    texto.replace(u"\r\n"_s, u"\n"_s);
    texto.replace(u'\r', u'\n');

    // Without Qt::TextDontClip, drawText cuts away whatever the box does not hold.
    QRect ocupado;
    painter.drawText(caixa, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, texto, &ocupado);
    return sngY + static_cast<float>(ocupado.height() * 25.4 / dpiY);
}

Printer::Resultado SystemPrinter::imprime(const QString& texto)
{
    // Without a printer Qt would quietly write the page to a PDF file nobody asked for.
    const QPrinterInfo padrao = QPrinterInfo::defaultPrinter();
    if (padrao.isNull())
        return Resultado::SemImpressora;

    QPrinter printer(padrao, QPrinter::HighResolution);
    printer.setDocName(u"Lurvane Brevicard"_s);
    QPainter painter;
    if (!painter.begin(&printer))
        return Resultado::Falhou;
    painter.setFont(QFont(u"Arial"_s, 10));
    PrintBoxedText(painter, texto, EsquerdaMm, TopoMm, LarguraMm, AlturaMm);
    // The job is handed to the printer only when the painter ends.
    const bool entregue = painter.end();
    return entregue && printer.printerState() != QPrinter::Error ? Resultado::Impresso : Resultado::Falhou;
}
