#include "fakeplatform.h"
#include "labelbutton.h"
#include "lb_about.h"
#include "modalwatch.h"

#include <QAccessible>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

class TestLB_About : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void linksGoToTheBrowserAndTheWindowStaysOpen()
    {
        RecordingOpener navegador;
        ModalWatch watch;
        watch.onShown = [](QWidget* w) {
            for (const char* link : { "lblTevrolurvane", "lblPayPal" })
                QTest::mouseClick(w->findChild<LabelButton*>(QString::fromLatin1(link)), Qt::LeftButton);
            // From the keyboard: Tab to the first link, Enter, and Escape closes the window.
            QTRY_VERIFY(w->isActiveWindow());
            QTest::keyClick(w->findChild<QWidget*>(u"txtAbout"_s), Qt::Key_Tab);
            QTest::keyClick(w->focusWidget(), Qt::Key_Return);
            QVERIFY(w->isVisible());
            QTest::keyClick(w->focusWidget(), Qt::Key_Escape);
        };
        LB_About::mostra(QPoint(300, 200), navegador);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(watch.seen.value(0).pos, QPoint(300 + 208, 200 + 29)); // +3115, +430 twips
        QCOMPARE(navegador.enderecos,
            QList<QUrl>({ LB_About::SitioDoAutor, LB_About::PaginaDeDoacao, LB_About::SitioDoAutor }));
    }

    void readOnlyTextDoubleClickAndScreenReaders()
    {
        RecordingOpener navegador;
        LB_About about(navegador);
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about)); // painted once, background and all
        // The pictures come from the windows' own library.
        QVERIFY(!about.Image1->pixmap().isNull() && !about.Image2->pixmap().isNull());
        QTest::keyClicks(about.txtAbout, u"xyz"_s);
        QTest::keyClick(about.txtAbout, Qt::Key_Delete);
        QTest::keyClick(about.txtAbout, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(about.txtAbout, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text().replace(u'\n', u"\r\n"_s), LB_About::Descricao);

        // Through the window, as the desktop delivers it: the second press comes with the
        // double click, which opens the link once; a click after it opens it again.
        QTest::mouseDClick(about.windowHandle(), Qt::LeftButton, {}, about.lblPayPal->geometry().center());
        QTest::mouseClick(about.lblPayPal, Qt::LeftButton);
        QCOMPARE(navegador.enderecos, QList<QUrl>(2, LB_About::PaginaDeDoacao));

        for (const auto& [botao, papel, fala] :
            { std::tuple { about.lblPayPal, QAccessible::Link, u"Faça uma doação. Clique aqui."_s },
                { about.lblNao, QAccessible::PushButton, u"Fechar"_s } }) {
            QAccessibleInterface* a = QAccessible::queryAccessibleInterface(botao);
            QVERIFY(a && a->actionInterface());
            QCOMPARE(a->role(), papel);
            QCOMPARE(a->text(QAccessible::Name), fala);
            QCOMPARE(a->actionInterface()->actionNames().value(0), QAccessibleActionInterface::pressAction());
            QSignalSpy clicked(botao, &LabelButton::clicked);
            a->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
            QTRY_COMPARE(clicked.size(), 1);
        }
    }
};

QTEST_MAIN(TestLB_About)
#include "tst_lb_about.moc"
