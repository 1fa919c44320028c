#include "fakeplatform.h"
#include "imagebutton.h"
#include "labelbutton.h"
#include "lb_principal.h"
#include "modalwatch.h"
#include "nomodal.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

// The print and about windows as the main window opens them.
class TestSecundarias : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void printWindowComposesTheFieldsAndLeavesThemAlone()
    {
        QTemporaryDir dir;
        FakePlatform fakes;
        LB_Principal w(dir.path(), fakes.plataforma());
        w.show();
        w.txtNome->setText(u" Ana "_s);
        w.txtMail->setText(u"ana@x.br"_s);
        LB_Principal::defineTexto(w.txtEnd, u"Rua A\r\nfundos"_s);
        LB_Principal::defineTexto(w.txtComp, u"sala\u00a02\r\n"_s);
        ModalWatch watch;

        for (const QPoint onde : { QPoint(40, 30), QPoint(300, 210) }) {
            w.move(onde); // wherever it has been dragged
            noModal(u"LB_Print"_s, [](QWidget* janela) {
                auto* txt = janela->findChild<QPlainTextEdit*>(u"txtPrint"_s);
                txt->moveCursor(QTextCursor::End);
                QTest::keyClicks(txt, u"!"_s);
                QTest::mouseClick(janela->findChild<LabelButton*>(u"lblSim"_s), Qt::LeftButton);
            });
            QTest::mouseClick(w.imgImprimir, Qt::LeftButton);
            QCOMPARE(watch.seen.last().pos, onde + QPoint(208, 29));
        }
        // Composed anew each time, the edit of the first window gone with it.
        const QString esperado
            = u" Ana \r\n\r\n\r\n\r\nana@x.br\r\n\r\nRua A\r\nfundos\r\n\r\nsala\u00a02\r\n!"_s;
        QCOMPARE(fakes.impressora.textos, QStringList({ esperado, esperado }));
        QCOMPARE(w.textoContato(), esperado.chopped(1));
        QCOMPARE(watch.seen.size(), 2);
    }

    void aboutWindowOpensBesideTheMainWindow()
    {
        QTemporaryDir dir;
        FakePlatform fakes;
        LB_Principal w(dir.path(), fakes.plataforma());
        w.show();
        w.move(120, 90);
        ModalWatch watch;
        noModal(u"LB_About"_s, [](QWidget* janela) {
            QTest::mouseClick(janela->findChild<LabelButton*>(u"lblPayPal"_s), Qt::LeftButton);
            QTest::mouseClick(janela->findChild<LabelButton*>(u"lblNao"_s), Qt::LeftButton);
        });
        QTest::mouseClick(w.imgMarca, Qt::LeftButton);
        QCOMPARE(watch.seen.size(), 1);
        QCOMPARE(watch.seen[0].pos, QPoint(120 + 208, 90 + 29));
        QCOMPARE(fakes.navegador.enderecos.size(), 1);
        QVERIFY(fakes.impressora.textos.isEmpty());
    }
};

QTEST_MAIN(TestSecundarias)
#include "tst_secundarias.moc"
