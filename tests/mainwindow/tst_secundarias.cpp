#include "imagebutton.h"
#include "labelbutton.h"
#include "windowtest.h"

using namespace Qt::StringLiterals;

// The print and about windows as the main window opens them.
class TestSecundarias : public WindowTest {
    Q_OBJECT
private Q_SLOTS:
    void openedBesideTheMainWindowWithTheFieldsAsTheyStand()
    {
        fresh();
        open();
        watch->onShown = [](QWidget* janela) {
            if (auto* txt = janela->findChild<QPlainTextEdit*>(u"txtPrint"_s)) {
                QTest::keyClicks(txt, u"!"_s);
                QTest::mouseClick(janela->findChild<LabelButton*>(u"lblSim"_s), Qt::LeftButton);
            } else {
                janela->close();
            }
        };
        w->txtNome->setText(u" Ana "_s);
        w->txtMail->setText(u"ana@x.br"_s);
        LB_Principal::defineTexto(w->txtEnd, u"Rua A\r\nfundos"_s);
        LB_Principal::defineTexto(w->txtComp, u"sala\u00a02\r\n"_s);
        for (const QPoint onde : { QPoint(40, 30), QPoint(300, 210) }) {
            w->move(onde); // wherever it has been dragged
            QTest::mouseClick(w->imgImprimir, Qt::LeftButton);
            QCOMPARE(seen(onde).last(), u"LB_Print @208,29"_s);
        }
        // Composed anew each time: the first window's edit went with it, the fields are untouched.
        const QString texto
            = u" Ana \r\n\r\n\r\n\r\nana@x.br\r\n\r\nRua A\r\nfundos\r\n\r\nsala\u00a02\r\n"_s;
        QCOMPARE(m_fakes->impressora.textos, QStringList({ u"!"_s + texto, u"!"_s + texto }));
        QCOMPARE(w->textoContato(), texto);

        QTest::mouseClick(w->imgMarca, Qt::LeftButton);
        QCOMPARE(seen(QPoint(300, 210)).last(), u"LB_About @208,29"_s);
    }
};

QTEST_MAIN(TestSecundarias)
#include "tst_secundarias.moc"
