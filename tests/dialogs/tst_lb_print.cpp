#include "fakeplatform.h"
#include "labelbutton.h"
#include "lb_print.h"
#include "modalwatch.h"

#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Spaces at both ends, an empty field, a line break inside a field, a non-breaking space.
const QString Contato = u" Ana \r\n\r\n\r\n\r\nana@x.br\r\n\r\nRua A\r\nfundos\r\n\r\nsala\u00a02 "_s;

// Opens the print window, types extra at the end of its text and clicks a button (or strikes
// the key botao names); the notices
// that follow run their time.
void imprime(ModalWatch& watch, FakePlatform& fakes, const QString& texto, const QString& botao,
    const QString& extra = {})
{
    watch.onShown = [=](QWidget* w) {
        if (w->objectName() != u"LB_Print")
            return;
        auto* txt = w->findChild<QPlainTextEdit*>(u"txtPrint"_s);
        txt->moveCursor(QTextCursor::End);
        QTest::keyClick(txt, Qt::Key_Return);
        QTest::keyClicks(txt, extra);
        if (extra.isEmpty())
            QTest::keyClick(txt, Qt::Key_Backspace);
        if (auto* b = w->findChild<LabelButton*>(botao)) {
            QTest::mouseClick(b, Qt::RightButton); // runs no button
            QTest::mouseClick(b, Qt::LeftButton);
        } else { // Enter on the focused "SIM", Escape anywhere
            QTRY_VERIFY(w->isActiveWindow()); // Tab moves the focus in the active window only
            QTest::keyClick(txt, Qt::Key_Tab);
            QTest::keyClick(w->focusWidget(), QKeySequence(botao)[0].key());
        }
    };
    LB_Print::mostra(texto, QPoint(100, 60), fakes.impressora, fakes.beeper);
}

// The lines of a PDF as pdftotext places their words, in millimetres.
struct Linha {
    double topo, esquerda, direita, primeira;
    QStringList palavras;
};
QList<Linha> linhasDoPdf(const QString& pdf, int* paginas)
{
    QProcess p;
    p.start(u"pdftotext"_s, { u"-bbox"_s, pdf, u"-"_s });
    p.waitForFinished();
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    *paginas = int(html.count(u"<page "_s));
    static const QRegularExpression palavra(
        u"<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"[\\d.]+\">([^<]*)</word>"_s);
    QList<Linha> linhas;
    for (const auto& m : palavra.globalMatch(html)) {
        const auto mm = [&](int i) { return m.captured(i).toDouble() * 25.4 / 72; };
        if (linhas.isEmpty() || qAbs(linhas.last().topo - mm(2)) > 0.5)
            linhas.append({ mm(2), mm(1), 0, mm(3), {} });
        linhas.last().direita = mm(3);
        linhas.last().palavras << m.captured(4);
    }
    return linhas;
}

} // namespace

class TestLB_Print : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // No print server for this process, so the system printer finds no printer.
        qputenv("CUPS_SERVER", QTemporaryDir().filePath(u"nenhum"_s).toUtf8());
    }

    // A print that did not happen is told where the print window stood; a good one is not told.
    void printsTheTextAsShownOrAsEditedAndNaoPrintsNothing()
    {
        FakePlatform fakes;
        ModalWatch watch(&fakes.beeper.beeps);
        imprime(watch, fakes, Contato, u"lblSim"_s);
        imprime(watch, fakes, u"\r\n"_s.repeated(8), u"lblSim"_s); // all five fields empty
        imprime(watch, fakes, Contato, u"lblSim"_s, u"obs: ok"_s);
        imprime(watch, fakes, Contato, u"lblNao"_s, u"x"_s);
        imprime(watch, fakes, Contato, u"Return"_s, u"y"_s);
        imprime(watch, fakes, Contato, u"Escape"_s, u"z"_s);
        const QList<std::pair<Printer::Resultado, QString>> falhas {
            { Printer::Resultado::SemImpressora, u"Nenhuma impressora instalada!"_s },
            { Printer::Resultado::SemPadrao, u"Nenhuma impressora padrão definida!"_s },
            { Printer::Resultado::Falhou, u"Erro ao imprimir!"_s },
        };
        for (const auto& [resultado, aviso] : falhas) {
            fakes.impressora.resultado = resultado;
            imprime(watch, fakes, Contato, u"lblSim"_s);
            QCOMPARE(watch.seen.last().label1, aviso);
            QCOMPARE(watch.seen.last().pos, watch.seen[0].pos);
        }
        // While the job runs the window answers, but a second "SIM", "NÃO" or Escape neither
        // prints again nor closes it before the job's end tells its result.
        int entradas = 0;
        bool aberta = false;
        fakes.impressora.enquantoImprime = [&] {
            QWidget* janela = QApplication::activeModalWidget();
            if (entradas++ || !janela)
                return;
            for (const QString& botao : { u"lblSim"_s, u"lblNao"_s })
                QTest::mouseClick(janela->findChild<LabelButton*>(botao), Qt::LeftButton);
            QTest::keyClick(janela, Qt::Key_Escape);
            aberta = janela->isVisible();
        };
        imprime(watch, fakes, Contato, u"lblSim"_s);
        QVERIFY(aberta);
        QCOMPARE(fakes.impressora.textos,
            QStringList({ Contato, u"\r\n"_s.repeated(8), Contato + u"\r\nobs: ok"_s, Contato + u"\r\ny"_s,
                Contato, Contato, Contato, Contato }));
        // A notice after each print that did not happen, none after one that did.
        QCOMPARE(watch.seen.size(), 14);
        QCOMPARE(watch.seen[0].pos, QPoint(100 + 208, 60 + 29)); // +3115, +430 twips
        QCOMPARE(fakes.beeper.beeps, 4);
        QCOMPARE(SystemPrinter().imprime(Contato), Printer::Resultado::SemImpressora);
    }

    // On a printer writing PDF: the words stand in the box, each line ends where its next
    // word would cross the right edge, and the lines the box cannot hold are left out.
    void boxedTextOnAPdfPage()
    {
        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFileName(dir.filePath(u"p.pdf"_s));
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        QStringList palavras;
        for (int i = 1; i <= 3000; ++i)
            palavras << QString::number(i * 7);
        QPainter painter(&printer);
        painter.setFont(QFont(u"Arial"_s, 10));
        PrintBoxedText(painter, u"Ana\r\n"_s + palavras.join(u' '), 10, 10, 190, 280);
        QVERIFY(painter.end());

        int paginas = 0;
        const QList<Linha> linhas = linhasDoPdf(printer.outputFileName(), &paginas);
        QCOMPARE(paginas, 1);
        QCOMPARE(linhas.value(0).palavras, QStringList(u"Ana"_s));
        QVERIFY(qAbs(linhas[0].topo - 10) < 1);
        QStringList impressas;
        for (qsizetype i = 0; i < linhas.size(); ++i) {
            const Linha& l = linhas[i];
            QVERIFY(qAbs(l.esquerda - 10) < 0.1 && l.direita <= 200 && l.topo < 290);
            // A space is 0.98 mm in Arial 10 points.
            if (i > 0 && i + 1 < linhas.size())
                QVERIFY(l.direita + 0.98 + linhas[i + 1].primeira - 10 > 200);
            impressas << l.palavras;
        }
        impressas.removeFirst();
        QCOMPARE(impressas, palavras.first(impressas.size()));
        QVERIFY(impressas.size() < palavras.size() && linhas.last().topo > 280);
    }

    // On a raster device: a word wider than the box and a text taller than it leave ink up to
    // the box's right and bottom edges and nothing beyond.
    void clippedAtTheBoxEdges()
    {
        QImage pagina(1240, 1754, QImage::Format_RGB32); // A4 at 150 dots per inch
        pagina.setDotsPerMeterX(5906);
        pagina.setDotsPerMeterY(5906);
        pagina.fill(Qt::white);
        QPainter painter(&pagina);
        painter.setFont(QFont(u"Arial"_s, 10));
        PrintBoxedText(painter, u"W"_s.repeated(400) + u"\r\nlinha"_s.repeated(120), 10, 10, 190, 280);
        painter.end();
        QRect tinta;
        for (int y = 0; y < pagina.height(); ++y)
            for (int x = 0; x < pagina.width(); ++x)
                if (pagina.pixel(x, y) != qRgb(255, 255, 255))
                    tinta |= QRect(x, y, 1, 1);
        // 10 mm is 59 pixels, 200 mm 1181, 290 mm 1713.
        QVERIFY(tinta.left() >= 59 && tinta.top() >= 59);
        QCOMPARE(tinta.right(), 1180);
        QVERIFY(tinta.bottom() <= 1712 && tinta.bottom() > 1690);
    }
};

QTEST_MAIN(TestLB_Print)
#include "tst_lb_print.moc"
