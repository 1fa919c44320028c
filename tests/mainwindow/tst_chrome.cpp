#include "fakeplatform.h"
#include "imagebutton.h"
#include "lb_principal.h"

#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// The window chrome: press feedback, the notification-area icon, dragging, closing.
class TestChrome : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FakePlatform> m_fakes;
    std::unique_ptr<LB_Principal> w;

    void open()
    {
        w = std::make_unique<LB_Principal>(m_dir.path(), m_fakes->plataforma());
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    }
    void sendToStrip(QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons held)
    {
        QMouseEvent e(type, QPointF(40, 10), QPointF(40, 10), QPointF(global), button, held, {});
        QApplication::sendEvent(w->imgMove, &e);
    }

private Q_SLOTS:
    void init() { m_fakes = std::make_unique<FakePlatform>(); }
    void cleanup() { w.reset(); }

    void pressedImagesShiftAndReturn_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : { "imgAdiciona", "imgAtualiza", "imgDeleta", "imgRefresh", "imgLimpar",
                 "imgCopiar", "imgImprimir", "imgMarca" })
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void pressedImagesShiftAndReturn()
    {
        QFETCH(QString, name);
        open();
        auto* b = w->findChild<ImageButton*>(name);
        const QPoint design = b->pos();
        QCOMPARE(design, b->designRect().topLeft());
        QSignalSpy released(b, &ImageButton::released);
        QList<QPoint> atClick;
        connect(b, &ImageButton::clicked, this, [&] { atClick << b->pos(); });

        for (const Qt::MouseButton button : { Qt::LeftButton, Qt::RightButton, Qt::MiddleButton }) {
            QTest::mousePress(b, button, {}, QPoint(3, 3));
            // Ten or fifteen twips: one pixel right and one down at the usual density.
            QCOMPARE(b->pos(), design + QPoint(1, 1));
            QTest::mouseRelease(b, button, {}, QPoint(3, 3));
            QCOMPARE(b->pos(), design);
        }
        QCOMPARE(released.size(), 3);
        QCOMPARE(atClick, QList<QPoint> { design }); // only the left one clicks, once back in place

        // Released off the image: back in place, the release reported, no click.
        QTest::mousePress(b, Qt::LeftButton, {}, QPoint(3, 3));
        QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(-40, -40));
        QCOMPARE(b->pos(), design);
        QCOMPARE(released.size(), 4);
        QCOMPARE(atClick.size(), 1);

        // A second button pressed meanwhile changes nothing; the first one's release ends it.
        QTest::mousePress(b, Qt::LeftButton, {}, QPoint(3, 3));
        QTest::mousePress(b, Qt::RightButton, {}, QPoint(3, 3));
        QTest::mouseRelease(b, Qt::RightButton, {}, QPoint(3, 3));
        QCOMPARE(b->pos(), design + QPoint(1, 1));
        QTest::mouseRelease(b, Qt::LeftButton, {}, QPoint(3, 3));
        QCOMPARE(b->pos(), design);
        QCOMPARE(atClick.size(), 2);

        // A window hidden while the button is held gets no release: the image goes back anyway.
        QTest::mousePress(b, Qt::LeftButton, {}, QPoint(3, 3));
        w->hide();
        QCOMPARE(b->pos(), design);
    }

    void everyImageButtonHasAName()
    {
        open();
        const QList<ImageButton*> buttons = w->findChildren<ImageButton*>();
        QCOMPARE(buttons.size(), 21);
        for (ImageButton* b : buttons) {
            if (b == w->imgMove)
                continue; // the drag strip is no button
            QVERIFY2(!b->accessibleName().isEmpty(), qPrintable(b->objectName()));
            QCOMPARE(b->accessibleName(), b->toolTip().trimmed());
        }
    }

    void trayIconFromStartToClose()
    {
        RecordingTray& tray = m_fakes->bandeja;
        open();
        QCOMPARE(tray.chamadas, QStringList { u"adiciona"_s });
        QCOMPARE(tray.dica, u"Lurvane Brevicard"_s);

        QTest::mouseClick(w->imgMinimiza, Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QCOMPARE(tray.chamadas.size(), 2);
        w->lblNovoNome->setText(u"Digite o novo nome do contato"_s);
        w->lblNomeCount->setText(u"50 de 50"_s);
        Q_EMIT tray.botaoEsquerdo(); // the icon stays
        QVERIFY(w->isVisible());
        QCOMPARE(tray.chamadas, (QStringList { u"adiciona"_s, u"adiciona"_s }));
        QVERIFY(w->lblNovoNome->text().isEmpty());
        QVERIFY(w->lblNomeCount->text().isEmpty());

        QTest::mouseClick(w->imgMinimiza, Qt::LeftButton);
        QVERIFY(!w->isVisible());
        Q_EMIT tray.botaoDireito(); // shown first, then the icon goes
        QVERIFY(w->isVisible());
        QCOMPARE(tray.chamadas.last(), u"remove"_s);

        QTest::mouseClick(w->imgMinimiza, Qt::LeftButton);
        Q_EMIT tray.botaoEsquerdo();
        tray.chamadas.clear();
        QTest::mouseClick(w->imgFecha, Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QCOMPARE(tray.chamadas, QStringList { u"remove"_s });
    }

    void withoutATrayMinimizeKeepsTheWindowReachable()
    {
        RecordingTray& tray = m_fakes->bandeja;
        tray.temBandeja = false;
        open();
        QVERIFY(tray.chamadas.isEmpty());
        QTest::mouseClick(w->imgMinimiza, Qt::LeftButton);
        QVERIFY(w->isVisible());
        QVERIFY(w->isMinimized());
        QVERIFY(tray.chamadas.isEmpty());

        // A notification area that appears later is used by the next minimize.
        w->showNormal();
        tray.temBandeja = true;
        QTest::mouseClick(w->imgMinimiza, Qt::LeftButton);
        QVERIFY(!w->isVisible());
        QCOMPARE(tray.chamadas, QStringList { u"adiciona"_s });
        Q_EMIT tray.botaoEsquerdo();
        QVERIFY(w->isVisible());
        QVERIFY(!w->isMinimized());
    }

    void stripMovesTheWindow()
    {
        RecordingMover& mover = m_fakes->movedor;
        open();
        const QPoint start = w->pos();
        const QPoint press(600, 500);

        // The desktop takes the move over: the window leaves it alone.
        mover.aceita = true;
        sendToStrip(QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
        sendToStrip(QEvent::MouseMove, press + QPoint(30, 20), Qt::NoButton, Qt::LeftButton);
        sendToStrip(QEvent::MouseButtonRelease, press + QPoint(30, 20), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(mover.pedidos, 1);
        QCOMPARE(w->pos(), start);

        // It cannot: the window follows the pointer until the button is released, with any button.
        mover.aceita = false;
        sendToStrip(QEvent::MouseButtonPress, press, Qt::RightButton, Qt::RightButton);
        sendToStrip(QEvent::MouseMove, press + QPoint(-30, -20), Qt::NoButton, Qt::RightButton);
        QCOMPARE(w->pos(), start + QPoint(-30, -20));
        sendToStrip(QEvent::MouseMove, press + QPoint(-50, 7), Qt::NoButton, Qt::RightButton);
        QCOMPARE(w->pos(), start + QPoint(-50, 7));
        sendToStrip(QEvent::MouseButtonRelease, press + QPoint(-50, 7), Qt::RightButton, Qt::NoButton);
        sendToStrip(QEvent::MouseMove, press, Qt::NoButton, Qt::NoButton);
        QCOMPARE(w->pos(), start + QPoint(-50, 7));
        QCOMPARE(mover.pedidos, 2);
        QCOMPARE(w->imgMove->pos(), QPoint(0, 0)); // the strip itself never shifts
    }
};

QTEST_MAIN(TestChrome)
#include "tst_chrome.moc"
