#include "printer.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QString>
#include <QTextLayout>

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

    // CR LF, a lone CR and a lone LF all start a new line.
    QString texto = strTextToPrint;
    texto.replace(u"\r\n"_s, u"\n"_s);
    texto.replace(u'\r', u'\n');

    QTextOption opcoes(Qt::AlignLeft | Qt::AlignTop);
    opcoes.setWrapMode(QTextOption::WordWrap); // a word wider than the box stays whole
    painter.save();
    painter.setClipRect(caixa, Qt::IntersectClip);
    qreal y = caixa.top();
    for (const QString& paragrafo : texto.split(u'\n')) {
        QTextLayout layout(paragrafo, painter.font(), painter.device());
        layout.setTextOption(opcoes);
        layout.beginLayout();
        for (QTextLine linha = layout.createLine(); linha.isValid(); linha = layout.createLine()) {
            linha.setLeadingIncluded(true);
            linha.setLineWidth(caixa.width());
            linha.setPosition(QPointF(0, y));
            y += linha.height();
        }
        layout.endLayout();
        // Lines wholly below the box are left out of the page, not just hidden by the clip,
        // so that no program that reads the page's text finds them there.
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine linha = layout.lineAt(i);
            if (linha.y() < caixa.y() + caixa.height())
                linha.draw(&painter, QPointF(caixa.left(), 0));
        }
    }
    painter.restore();
    return sngY + static_cast<float>((y - caixa.top()) * 25.4 / dpiY);
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
