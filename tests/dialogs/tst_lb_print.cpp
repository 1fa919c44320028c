#include "fakeplatform.h"
#include "labelbutton.h"
#include "lb_print.h"
#include "modalwatch.h"
#include "nomodal.h"
#include "printer.h"

#include <QImage>
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
const QString Contato = u" Ana Lima \r\n\r\n\r\n\r\nana@x.br\r\n\r\nRua A, 1\r\nfundos\r\n\r\nsala\u00a02 "_s;
const QPoint Principal(100, 60);
const QPoint OndeFica(100 + 208, 60 + 29); // +3115, +430 twips

struct Palavra {
    QString texto;
    QRectF caixa; // in millimetres from the page's top left
};

// Words of every page as pdftotext places them.
QList<QList<Palavra>> paginasDoPdf(const QString& pdf)
{
    QProcess p;
    p.start(u"pdftotext"_s, { u"-bbox"_s, pdf, u"-"_s });
    if (!p.waitForFinished() || p.exitCode() != 0)
        return {};
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression palavra(
        u"<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"_s);
    QList<QList<Palavra>> paginas;
    for (const QString& pagina : html.split(u"<page "_s).mid(1)) {
        paginas.append(QList<Palavra>());
        for (const auto& m : palavra.globalMatch(pagina)) {
            const auto mm = [&](int i) { return m.captured(i).toDouble() * 25.4 / 72; };
            paginas.last().append({ m.captured(5), QRectF(QPointF(mm(1), mm(2)), QPointF(mm(3), mm(4))) });
        }
    }
    return paginas;
}

} // namespace

class TestLB_Print : public QObject {
    Q_OBJECT

    // Opens the print window for text and clicks one of its buttons, or edits the text first.
    void abreEClica(
        FakePlatform& fakes, const QString& texto, const QString& botao, const QString& acrescimo = {})
    {
        noModal(u"LB_Print"_s, [=](QWidget* w) {
            auto* txt = w->findChild<QPlainTextEdit*>(u"txtPrint"_s);
            if (!acrescimo.isEmpty()) {
                txt->moveCursor(QTextCursor::End);
                const QStringList linhas = acrescimo.split(u'\n');
                for (qsizetype i = 0; i < linhas.size(); ++i) {
                    if (i > 0)
                        QTest::keyClick(txt, Qt::Key_Return);
                    QTest::keyClicks(txt, linhas[i]);
                }
            }
            // A right click runs no button.
            QTest::mouseClick(w->findChild<LabelButton*>(botao), Qt::RightButton);
            QTest::mouseClick(w->findChild<LabelButton*>(botao), Qt::LeftButton);
        });
        LB_Print::mostra(texto, Principal, fakes.impressora, fakes.beeper);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // No print server for this process: the system printer has no printer to find.
        qputenv("CUPS_SERVER", QTemporaryDir().filePath(u"sem-servidor"_s).toUtf8());
    }

    void simPrintsTheTextAsShownOrAsEdited()
    {
        FakePlatform fakes;
        ModalWatch watch;
        abreEClica(fakes, Contato, u"lblSim"_s);
        // All five fields empty: eight CR LF and nothing else.
        abreEClica(fakes, u"\r\n"_s.repeated(8), u"lblSim"_s);
        abreEClica(fakes, Contato, u"lblSim"_s, u"\nobs: ok"_s);
        QCOMPARE(fakes.impressora.textos,
            QStringList({ Contato, u"\r\n"_s.repeated(8), Contato + u"\r\nobs: ok"_s }));
        QCOMPARE(watch.seen.size(), 3); // no notice after a print
        QCOMPARE(watch.seen[0].pos, OndeFica);
        QCOMPARE(fakes.beeper.beeps, 0);
    }

    void naoPrintsNothing()
    {
        FakePlatform fakes;
        abreEClica(fakes, Contato, u"lblNao"_s, u"x"_s);
        QVERIFY(fakes.impressora.textos.isEmpty());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void aPrintThatDidNotHappenIsToldWhereTheWindowStood_data()
    {
        QTest::addColumn<Printer::Resultado>("resultado");
        QTest::addColumn<QString>("aviso");
        QTest::newRow("sem impressora")
            << Printer::Resultado::SemImpressora << u"Nenhuma impressora instalada!"_s;
        QTest::newRow("falhou") << Printer::Resultado::Falhou << u"Erro ao imprimir!"_s;
    }

    void aPrintThatDidNotHappenIsToldWhereTheWindowStood()
    {
        QFETCH(Printer::Resultado, resultado);
        QFETCH(QString, aviso);
        FakePlatform fakes;
        fakes.impressora.resultado = resultado;
        ModalWatch watch(&fakes.beeper.beeps);
        abreEClica(fakes, Contato, u"lblSim"_s);
        QCOMPARE(watch.seen.size(), 2);
        QCOMPARE(watch.seen[1].objectName, u"LB_ContAd"_s);
        QCOMPARE(watch.seen[1].label1, aviso);
        QCOMPARE(watch.seen[1].pos, OndeFica);
        QCOMPARE(fakes.beeper.beeps, 1);
    }

    void systemPrinterWithoutPrinterPrintsNothing()
    {
        SystemPrinter impressora;
        QCOMPARE(impressora.imprime(Contato), Printer::Resultado::SemImpressora);
    }

    // On a real printer device, written as PDF: the words stand in the box, each line ends
    // where the next word would cross the right edge, and what the box cannot hold is left out.
    void boxedTextOnAPdfPage()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(u"pagina.pdf"_s);
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(QPageSize::A4));
        printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        QStringList linhas { u"Ana Lima"_s, {}, u"palavra "_s.repeated(50).trimmed() };
        for (int i = 1; i <= 100; ++i)
            linhas << u"linha%1"_s.arg(i);
        QPainter painter(&printer);
        painter.setFont(QFont(u"Arial"_s, 10));
        const float abaixo = PrintBoxedText(painter, linhas.join(u"\r\n"_s), 10, 10, 190, 280);
        QVERIFY(painter.end());
        QVERIFY(abaixo > 290); // the laid-out text goes on below the box

        const auto paginas = paginasDoPdf(pdf);
        QCOMPARE(paginas.size(), 1);
        const QList<Palavra>& palavras = paginas[0];
        QCOMPARE(palavras.value(0).texto, u"Ana"_s);
        QVERIFY(qAbs(palavras[0].caixa.left() - 10) < 0.5);
        QVERIFY(qAbs(palavras[0].caixa.top() - 10) < 1.5);

        QList<QList<Palavra>> porLinha;
        for (const Palavra& p : palavras) {
            // A line may start inside the box and be cut through at its bottom.
            QVERIFY2(QRectF(9.5, 9.5, 191, 280.5).contains(p.caixa.topLeft()) && p.caixa.right() < 200.5,
                qPrintable(p.texto));
            if (porLinha.isEmpty() || qAbs(porLinha.last().last().caixa.top() - p.caixa.top()) > 1)
                porLinha.append(QList<Palavra>());
            porLinha.last().append(p);
        }
        // The 50 words fill lines 2 to n, each broken where the next would not fit.
        int palavrasVistas = 0;
        for (int i = 1; porLinha[i].first().texto == u"palavra"_s; ++i) {
            palavrasVistas += porLinha[i].size();
            if (porLinha[i + 1].first().texto != u"palavra"_s)
                break;
            const QRectF& ultima = porLinha[i].last().caixa;
            const double espaco = porLinha[i][1].caixa.left() - porLinha[i][0].caixa.right();
            QVERIFY(ultima.right() <= 200);
            QVERIFY(ultima.right() + espaco + porLinha[i + 1][0].caixa.width() > 200);
        }
        QCOMPARE(palavrasVistas, 50);
        // Cut at the bottom, with no second page: the lines end before the text does.
        const QString ultima = porLinha.last().last().texto;
        QVERIFY2(ultima.startsWith(u"linha"_s) && ultima.mid(5).toInt() > 50 && ultima != u"linha100"_s,
            qPrintable(ultima));
        QVERIFY(porLinha.last().last().caixa.bottom() > 280);
    }

    // On a raster device, where the clipping shows: a word wider than the box and a text
    // taller than it leave ink up to the box's right and bottom edges and nothing beyond.
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
        // 10 mm = 59 pixels, 200 mm = 1181, 290 mm = 1713.
        QVERIFY2(tinta.left() >= 59 && tinta.top() >= 59,
            qPrintable(u"%1,%2"_s.arg(tinta.left()).arg(tinta.top())));
        QCOMPARE(tinta.right(), 1181 - 1);
        QVERIFY2(tinta.bottom() <= 1713 - 1 && tinta.bottom() > 1713 - 25,
            qPrintable(QString::number(tinta.bottom())));
    }
};

QTEST_MAIN(TestLB_Print)
#include "tst_lb_print.moc"
