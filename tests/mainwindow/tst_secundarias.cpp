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
    void openedBesideTheMainWindowWithTheFieldsAsTheyStand()
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
                QTest::keyClicks(janela->findChild<QPlainTextEdit*>(u"txtPrint"_s), u"!"_s);
                QTest::mouseClick(janela->findChild<LabelButton*>(u"lblSim"_s), Qt::LeftButton);
            });
            QTest::mouseClick(w.imgImprimir, Qt::LeftButton);
            QCOMPARE(watch.seen.last().pos, onde + QPoint(208, 29));
        }
        // Composed anew each time: the first window's edit went with it, the fields are untouched.
        const QString texto
            = u" Ana \r\n\r\n\r\n\r\nana@x.br\r\n\r\nRua A\r\nfundos\r\n\r\nsala\u00a02\r\n"_s;
        QCOMPARE(fakes.impressora.textos, QStringList({ u"!"_s + texto, u"!"_s + texto }));
        QCOMPARE(w.textoContato(), texto);

        noModal(u"LB_About"_s, [](QWidget* janela) { janela->close(); });
        QTest::mouseClick(w.imgMarca, Qt::LeftButton);
        QCOMPARE(watch.seen.last().objectName, u"LB_About"_s);
        QCOMPARE(watch.seen.last().pos, QPoint(300 + 208, 210 + 29));
    }
};

QTEST_MAIN(TestSecundarias)
#include "tst_secundarias.moc"
