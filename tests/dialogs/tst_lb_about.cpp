#include "fakeplatform.h"
#include "labelbutton.h"
#include "lb_about.h"
#include "modalwatch.h"
#include "nomodal.h"

#include <QClipboard>
#include <QPlainTextEdit>
#include <QTest>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

class TestLB_About : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linksGoToTheBrowserAndTheWindowStaysOpen()
    {
        RecordingOpener navegador;
        ModalWatch watch;
        noModal(u"LB_About"_s, [](QWidget* w) {
            for (const char* link : { "lblTevrolurvane", "lblPayPal", "lblTevrolurvane" }) {
                QTest::mouseClick(w->findChild<LabelButton*>(QString::fromLatin1(link)), Qt::LeftButton);
                QVERIFY(w->isVisible());
            }
            QTest::mouseClick(w->findChild<LabelButton*>(u"lblNao"_s), Qt::LeftButton);
        });
        LB_About::mostra(QPoint(300, 200), navegador);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(watch.seen.size(), 1);
        QCOMPARE(watch.seen[0].pos, QPoint(300 + 208, 200 + 29)); // +3115, +430 twips
        QCOMPARE(navegador.enderecos,
            QList<QUrl>({ LB_About::SitioDoAutor, LB_About::PaginaDeDoacao, LB_About::SitioDoAutor }));
        QCOMPARE(LB_About::SitioDoAutor.scheme(), u"http"_s);
        QCOMPARE(LB_About::PaginaDeDoacao.scheme(), u"https"_s);
        QVERIFY(!QUrlQuery(LB_About::PaginaDeDoacao).queryItemValue(u"hosted_button_id"_s).isEmpty());
    }

    void descriptionIsReadOnlyButCanBeCopied()
    {
        RecordingOpener navegador;
        LB_About about(navegador);
        about.show();
        QVERIFY(!about.Image1->pixmap().isNull() && !about.Image2->pixmap().isNull());
        QPlainTextEdit* txt = about.txtAbout;
        QCOMPARE(txt->blockCount(), 6);
        QVERIFY(
            txt->toPlainText().startsWith(u"O Lurvane Brevicard é um programa completamente intuitivo, "_s));
        txt->setFocus();
        QTest::keyClicks(txt, u"xyz"_s);
        QTest::keyClick(txt, Qt::Key_Delete);
        QTest::keyClick(txt, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(txt, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text().replace(u'\n', u"\r\n"_s), LB_About::Descricao);
    }
};

QTEST_MAIN(TestLB_About)
#include "tst_lb_about.moc"
