#include "printer.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QString>
#include <QTextLayout>

#include <cmath>

#ifndef Q_OS_WIN
#include <QBuffer>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QPdfWriter>
#include <QPromise>
#include <QThread>
#include <QTimer>
#include <cups/cups.h>

#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#endif

using namespace Qt::StringLiterals;

namespace {

const QString NomeDoTrabalho = u"Lurvane Brevicard"_s;

void desenhaPagina(QPainter& painter, const QString& texto)
{
    painter.setFont(QFont(u"Arial"_s, 10));
    PrintBoxedText(painter, texto, SystemPrinter::EsquerdaMm, SystemPrinter::TopoMm, SystemPrinter::LarguraMm,
        SystemPrinter::AlturaMm);
}

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

#ifdef Q_OS_WIN

SystemPrinter::~SystemPrinter() = default;

// Qt's Windows print engine reports a job the spooler did not take.
Printer::Resultado SystemPrinter::imprime(const QString& texto)
{
    // Without a printer Qt would quietly write the page to a PDF file nobody asked for.
    const QPrinterInfo padrao = QPrinterInfo::defaultPrinter();
    if (padrao.isNull())
        return QPrinterInfo::availablePrinterNames().isEmpty() ? Resultado::SemImpressora
                                                               : Resultado::SemPadrao;

    QPrinter printer(padrao, QPrinter::HighResolution);
    printer.setDocName(NomeDoTrabalho);
    QPainter painter;
    if (!painter.begin(&printer))
        return Resultado::Falhou;
    desenhaPagina(painter, texto);
    // The job is handed to the printer only when the painter ends.
    const bool entregue = painter.end();
    return entregue && printer.printerState() != QPrinter::Error ? Resultado::Impresso : Resultado::Falhou;
}

#else

namespace {

// From "SIM" to the server's last answer. A server that has not answered by then counts as one
// that failed: a print server on a network can accept a connection and never answer.
constexpr int LimiteMs = 10000;

// The print server's queues as libcups lists them, freed with the list.
struct Filas {
    cups_dest_t* lista = nullptr;
    int quantas = 0;
    ~Filas() { cupsFreeDests(quantas, lista); }
};

// A connection to the print server of the job's own, closed with it.
struct Conexao {
    http_t* http;
    ~Conexao()
    {
        if (http)
            httpClose(http);
    }
};

// When the job stops waiting for the server: at its time limit, or as soon as the window has
// given up on it (the program is ending).
struct Prazo {
    QDeadlineTimer limite;
    const QPromise<Printer::Resultado>& promessa;
    bool esgotado = false;
};

// Called by libcups whenever the server has been silent for a moment: 0 ends the wait.
int continuaEsperando(http_t*, void* dados)
{
    auto* prazo = static_cast<Prazo*>(dados);
    prazo->esgotado = prazo->esgotado || prazo->limite.hasExpired() || prazo->promessa.isCanceled();
    return prazo->esgotado ? 0 : 1;
}

// The page as a PDF on the queue's own paper and margins, the ones Qt's print engine would
// use for it; empty when it could not be drawn.
QByteArray paginaEmPdf(const char* fila, const QString& texto)
{
    const QPrinter printer(QPrinterInfo::printerInfo(QString::fromLocal8Bit(fila)), QPrinter::HighResolution);
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    QPdfWriter escritor(&pdf);
    escritor.setTitle(NomeDoTrabalho);
    escritor.setResolution(printer.resolution());
    escritor.setPageLayout(printer.pageLayout());
    QPainter painter;
    if (!painter.begin(&escritor))
        return {};
    desenhaPagina(painter, texto);
    return painter.end() ? pdf.data() : QByteArray();
}

// Submits the PDF to the queue; true only when the server took the whole job. A job it took
// in part is cancelled, so that no half page prints.
bool enviaAoServidor(http_t* http, const char* fila, const QByteArray& pdf)
{
    const QByteArray titulo = NomeDoTrabalho.toUtf8();
    const int trabalho = cupsCreateJob(http, fila, titulo.constData(), 0, nullptr);
    if (trabalho <= 0)
        return false;
    const bool aceito = cupsStartDocument(http, fila, trabalho, titulo.constData(), CUPS_FORMAT_PDF, 1)
            == HTTP_STATUS_CONTINUE
        && cupsWriteRequestData(http, pdf.constData(), size_t(pdf.size())) == HTTP_STATUS_CONTINUE
        && cupsFinishDocument(http, fila) <= IPP_STATUS_OK_EVENTS_COMPLETE;
    if (!aceito)
        cupsCancelJob2(http, fila, trabalho, 0);
    return aceito;
}

// The whole job, on a thread of its own: every call here may wait on the server.
Printer::Resultado imprimeNoServidor(const QString& texto, Prazo& prazo)
{
    // libcups waits up to a minute for each answer on its shared connection; on this one it
    // asks continuaEsperando every twentieth of a second.
    const Conexao conexao { httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1,
        int(qMax<qint64>(prazo.limite.remainingTime(), 0)), nullptr) };
    // No print server at all looks the same to the user: there is no printer to print on.
    if (!conexao.http)
        return Printer::Resultado::SemImpressora;
    httpSetTimeout(conexao.http, 0.05, continuaEsperando, &prazo);

    Filas filas;
    filas.quantas = cupsGetDests2(conexao.http, &filas.lista);
    if (prazo.esgotado)
        return Printer::Resultado::Falhou;
    if (filas.quantas <= 0)
        return Printer::Resultado::SemImpressora;
    const cups_dest_t* padrao = cupsGetDest(nullptr, nullptr, filas.quantas, filas.lista);
    if (!padrao)
        return Printer::Resultado::SemPadrao;

    // A stopped queue would hold the job until someone starts it again, and the server takes
    // it all the same; a queue that refuses jobs is known before any page is drawn.
    const char* estado = cupsGetOption("printer-state", padrao->num_options, padrao->options);
    const char* aceita = cupsGetOption("printer-is-accepting-jobs", padrao->num_options, padrao->options);
    if ((estado && std::atoi(estado) == IPP_PSTATE_STOPPED) || (aceita && std::strcmp(aceita, "true") != 0))
        return Printer::Resultado::Falhou;

    const QByteArray pdf = paginaEmPdf(padrao->name, texto);
    return !pdf.isEmpty() && enviaAoServidor(conexao.http, padrao->name, pdf) ? Printer::Resultado::Impresso
                                                                              : Printer::Resultado::Falhou;
}

} // namespace

SystemPrinter::~SystemPrinter()
{
    // A job given up on ends within moments of being told; one still inside Qt's own print
    // calls after that is left to the end of the process.
    m_trabalho.cancel();
    for (const QDeadlineTimer limite(2000); !m_trabalho.isFinished() && !limite.hasExpired();)
        QThread::msleep(10);
}

// Qt's print engine for CUPS hands the page over without looking at the server's answer, so a
// queue that is stopped or refuses jobs would lose the page in silence. The page is drawn
// into a PDF here and submitted through libcups, whose answers tell what became of it. All of
// it runs off the interface thread, which keeps answering the user meanwhile.
Printer::Resultado SystemPrinter::imprime(const QString& texto)
{
    QPromise<Resultado> promessa;
    m_trabalho = promessa.future();
    promessa.start();
    const QDeadlineTimer limite(LimiteMs);
    try {
        std::thread([promessa = std::move(promessa), texto, limite]() mutable {
            Prazo prazo { limite, promessa };
            promessa.addResult(imprimeNoServidor(texto, prazo));
            promessa.finish();
        }).detach();
    } catch (const std::system_error&) {
        return Resultado::Falhou;
    }

    QEventLoop espera;
    QFutureWatcher<Resultado> vigia;
    QObject::connect(&vigia, &QFutureWatcherBase::finished, &espera, &QEventLoop::quit);
    vigia.setFuture(m_trabalho);
    // Past the job's own limit only when it is stuck in Qt's print calls, which wait on the
    // server as libcups's shared connection does.
    QTimer::singleShot(LimiteMs + 1000, &espera, &QEventLoop::quit);
    if (!m_trabalho.isFinished())
        espera.exec();
    if (!m_trabalho.isFinished() || m_trabalho.resultCount() == 0) {
        m_trabalho.cancel();
        return Resultado::Falhou;
    }
    return m_trabalho.result();
}

#endif
