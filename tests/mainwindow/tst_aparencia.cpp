#include "contactlistview.h"
#include "cp1252.h"
#include "fakeplatform.h"
#include "filebytes.h"
#include "lb_about.h"
#include "lb_contad.h"
#include "lb_contdel.h"
#include "lb_principal.h"
#include "lb_print.h"

#include <QAbstractItemView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

// How every window looks on desktops other than a light one at 96 dpi: this test also runs at
// 120 logical dpi (see CMakeLists.txt).
namespace {

double luminancia(QRgb c)
{
    const auto canal = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * canal(qRed(c)) + 0.7152 * canal(qGreen(c)) + 0.0722 * canal(qBlue(c));
}

double contraste(QRgb a, QRgb b)
{
    const double la = luminancia(a);
    const double lb = luminancia(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// What a dark desktop theme hands the program: near-white text on near-black.
QPalette paletaEscura()
{
    QPalette p(QColor(53, 53, 53), QColor(53, 53, 53));
    p.setColor(QPalette::Base, QColor(35, 35, 35));
    p.setColor(QPalette::Highlight, QColor(21, 83, 158));
    return p;
}

bool mostraTexto(const QWidget* w)
{
    if (!w->isVisible())
        return false;
    if (const auto* l = qobject_cast<const QLabel*>(w))
        return !l->text().isEmpty();
    if (const auto* e = qobject_cast<const QLineEdit*>(w))
        return !e->text().isEmpty();
    if (const auto* e = qobject_cast<const QPlainTextEdit*>(w))
        return !e->document()->isEmpty();
    if (const auto* v = qobject_cast<const QAbstractItemView*>(w))
        return v->model() && v->model()->rowCount() > 0;
    return false;
}

// The contrast of each control's text with what lies beneath it, at its strongest pixel (a
// glyph's stroke covers whole pixels there). The control's text pixels are those that change
// when its text colours turn transparent; text that cannot be told from its background counts 1.
QMap<QString, double> contrastes(QWidget* janela)
{
    const QImage com = janela->grab().toImage();
    QMap<QString, double> melhor;
    for (QWidget* w : janela->findChildren<QWidget*>()) {
        if (!mostraTexto(w))
            continue;
        QList<QWidget*> partes = w->findChildren<QWidget*>();
        partes << w;
        QList<QPalette> guardadas;
        for (QWidget* p : partes) {
            guardadas << p->palette();
            QPalette semTexto = p->palette();
            for (const auto papel :
                { QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText })
                semTexto.setColor(papel, Qt::transparent);
            p->setPalette(semTexto);
        }
        const QImage sem = janela->grab().toImage();
        for (int i = 0; i < partes.size(); ++i)
            partes[i]->setPalette(guardadas[i]);
        double& c = melhor[w->objectName()];
        c = 1;
        for (int y = 0; y < com.height(); ++y) {
            for (int x = 0; x < com.width(); ++x)
                c = std::max(c, contraste(com.pixel(x, y), sem.pixel(x, y)));
        }
    }
    return melhor;
}

} // namespace

class TestAparencia : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakePlatform m_fakes;

    // A window as the user sees it with the longest texts the program puts into its labels.
    std::unique_ptr<QWidget> abre(const QString& janela, const QString& mensagem)
    {
        std::unique_ptr<QWidget> w;
        if (janela == u"LB_Principal") {
            writeBytes(m_dir.filePath(u"LBcontatos.txt"_s),
                Cp1252::encode(u"\"Ana Maria§(11) 5555-1234§ana@exemplo.com§Rua das Flores, 123¤Centro§"
                               u"Apto 45§05/12/2026\r\nZeca§1§§§§05/12/2026\r\n\r\n\"\r\n"_s));
            auto* p = new LB_Principal(m_dir.path(), m_fakes.plataforma());
            w.reset(p);
            p->lstContatos->setCurrentIndex(p->lstContatos->model()->index(0, 0));
            p->lblStatus1->setText(LB_Principal::TextoTotal + u"88888"_s);
            p->lblStatus2->setText(LB_Principal::TextoAtualizado + u"28/08/2088"_s);
            p->lblNovoNome->setText(LB_Principal::DigiteNovoNome);
            for (const auto& [l, limite] : { std::pair { p->lblNomeCount, 50 }, { p->lblFoneCount, 35 },
                     { p->lblMailCount, 50 }, { p->lblEndCount, 100 }, { p->lblCompCount, 200 } })
                l->setText(u"%1 de %1"_s.arg(limite));
        } else if (janela == u"LB_ContAd") {
            auto* aviso = new LB_ContAd(m_fakes.beeper);
            aviso->Label1->setText(mensagem);
            aviso->Timer1->stop(); // it stays up while it is looked at
            w.reset(aviso);
        } else if (janela == u"LB_ContDel") {
            w = std::make_unique<LB_ContDel>(m_fakes.beeper, QPoint(0, 0), std::function<void()>());
        } else if (janela == u"LB_Print") {
            w = std::make_unique<LB_Print>(u"Ana Maria\r\n\r\n(11) 5555-1234"_s, m_fakes.impressora);
        } else {
            w = std::make_unique<LB_About>(m_fakes.navegador);
        }
        w->show();
        QApplication::setActiveWindow(w.get());
        [&] { QVERIFY(QTest::qWaitForWindowExposed(w.get())); }();
        return w;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A steady caret: the same in every grab.
        QApplication::setCursorFlashTime(0);
    }

    // Under a dark desktop palette each window looks exactly as under the light one, and every
    // text stands out from its background at 4.5 to 1 or more. Every caption shows its whole
    // text, wrapped lines included, inside the part of its place that the window shows (within
    // the frame), and no two captions' texts overlap.
    void looksTheSameEverywhere_data()
    {
        QTest::addColumn<QString>("janela");
        QTest::addColumn<QString>("mensagem");
        QTest::newRow("principal") << u"LB_Principal"_s << QString();
        // The notices that wrap furthest, in the notice's 185 x 41 label.
        for (const QString& m : { LB_Principal::SelecioneContato, LB_Principal::TituloVazio,
                 LB_Principal::ErroGravacao, u"Nenhuma impressora padrão definida!"_s })
            QTest::newRow(qPrintable(u"aviso "_s + m)) << u"LB_ContAd"_s << m;
        QTest::newRow("exclusao") << u"LB_ContDel"_s << QString();
        QTest::newRow("impressao") << u"LB_Print"_s << QString();
        QTest::newRow("sobre") << u"LB_About"_s << QString();
    }

    void looksTheSameEverywhere()
    {
        QFETCH(QString, janela);
        QFETCH(QString, mensagem);
        const QPalette clara = QApplication::palette();
        QApplication::setPalette(paletaEscura());
        auto escura = abre(janela, mensagem);
        const QImage naEscura = escura->grab().toImage();
        const QMap<QString, double> lidos = contrastes(escura.get());
        escura.reset();
        QApplication::setPalette(clara);
        auto w = abre(janela, mensagem);
        QCOMPARE(w->grab().toImage(), naEscura);
        QVERIFY(!lidos.isEmpty());
        for (auto it = lidos.cbegin(); it != lidos.cend(); ++it)
            QVERIFY2(
                it.value() >= 4.5, qPrintable(u"%1: %2 to 1"_s.arg(it.key()).arg(it.value(), 0, 'f', 2)));

        QList<std::pair<QString, QRect>> textos;
        for (QLabel* l : w->findChildren<QLabel*>()) {
            if (!mostraTexto(l))
                continue;
            // What the label itself reports it needs for its text in its current font.
            const QSize precisa = l->wordWrap()
                ? QSize(l->minimumSizeHint().width(), l->heightForWidth(l->width()))
                : l->sizeHint();
            const QRect visivel = l->geometry() & l->parentWidget()->rect().adjusted(2, 2, -2, -2);
            QVERIFY2(precisa.width() <= visivel.width() && precisa.height() <= visivel.height(),
                qPrintable(u"%1 \"%2\" needs %3 x %4 in %5 x %6"_s.arg(l->objectName(), l->text())
                               .arg(precisa.width())
                               .arg(precisa.height())
                               .arg(visivel.width())
                               .arg(visivel.height())));
            const QRect texto = QStyle::alignedRect(Qt::LeftToRight, l->alignment(), precisa, l->geometry());
            for (const auto& [outro, lugar] : textos)
                QVERIFY2(!texto.intersects(lugar), qPrintable(l->objectName() + u" runs into "_s + outro));
            textos.append({ l->objectName(), texto });
        }
        QVERIFY(!textos.isEmpty());
    }

    // Start-up sets the empty fields to empty text, and clearing empty fields does so again:
    // neither is a change, and no counter comes up.
    void emptyFieldsSetEmptyShowNoCounter()
    {
        QTemporaryDir vazio;
        LB_Principal w(vazio.path(), m_fakes.plataforma());
        const auto nenhum = [&] {
            for (QLabel* c :
                { w.lblNomeCount, w.lblFoneCount, w.lblMailCount, w.lblEndCount, w.lblCompCount })
                QVERIFY2(c->text().isEmpty(), qPrintable(c->objectName()));
        };
        nenhum();
        w.imgLimpar_Click();
        nenhum();
    }
};

QTEST_MAIN(TestAparencia)
#include "tst_aparencia.moc"
