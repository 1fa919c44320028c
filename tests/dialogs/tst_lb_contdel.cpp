#include "labelbutton.h"
#include "lb_contdel.h"
#include "recordingbeeper.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestLB_ContDel : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void onlyAClickOnAButtonAnswers_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("answer");
        QTest::newRow("sim") << u"lblSim"_s << true;
        QTest::newRow("nao") << u"lblNao"_s << false;
    }

    void onlyAClickOnAButtonAnswers()
    {
        QFETCH(QString, button);
        QFETCH(bool, answer);
        RecordingBeeper beeper;
        int deletions = 0;
        bool visibleWhileDeleting = false;
        std::tuple<QPoint, QString, int> shown;
        QTimer::singleShot(0, [&] {
            auto* janela = qobject_cast<LB_ContDel*>(QApplication::activeModalWidget());
            QVERIFY(janela);
            shown = { janela->pos(), janela->Label1->text(), beeper.beeps };
            // Keys, and a press that is released off the button, leave the question open.
            for (Qt::Key key : { Qt::Key_Escape, Qt::Key_Return, Qt::Key_Space, Qt::Key_S })
                QTest::keyClick(janela, key);
            QLabel* label = janela->findChild<QLabel*>(button);
            QTest::mousePress(label, Qt::LeftButton);
            QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(-5, -5));
            QVERIFY(janela->isVisible());
            QCOMPARE(deletions, 0);
            QTest::mouseClick(label, Qt::LeftButton);
        });
        const bool sim = LB_ContDel::confirma(beeper, QPoint(40, 30), [&] {
            ++deletions;
            visibleWhileDeleting = QApplication::activeModalWidget() != nullptr;
        });
        QCOMPARE(sim, answer);
        QCOMPARE(shown, std::tuple(QPoint(40, 30), u"Deseja realmente deletar esse contato?"_s, 1));
        QCOMPARE(deletions, answer ? 1 : 0);
        QCOMPARE(visibleWhileDeleting, answer); // the file changes before the window goes
        QVERIFY(!QApplication::activeModalWidget());
    }
};

QTEST_MAIN(TestLB_ContDel)
#include "tst_lb_contdel.moc"
