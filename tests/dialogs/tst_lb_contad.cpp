#include "lb_contad.h"
#include "modalwatch.h"
#include "recordingbeeper.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestLB_ContAd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void closesItselfAndOnlyThen()
    {
        RecordingBeeper beeper;
        ModalWatch watch(&beeper.beeps);
        // Escape does nothing: the notice has no way to close but its timer.
        QTimer::singleShot(100, [] {
            if (QWidget* w = QApplication::activeModalWidget())
                QTest::keyClick(w, Qt::Key_Escape);
        });
        QElapsedTimer clock;
        clock.start();
        LB_ContAd::mostra(beeper, u"Este nome já existe!"_s, QPoint(40, 50));
        QVERIFY(clock.elapsed() >= LB_ContAd::IntervaloMs - 50);
        QCOMPARE(watch.seen.size(), 1);
        QCOMPARE(watch.seen[0].beepsWhenSeen, 1); // it beeps before it is shown, once
        QCOMPARE(watch.seen[0].label1, u"Este nome já existe!"_s);
        QCOMPARE(watch.seen[0].pos, QPoint(40, 50));
        QVERIFY(!QApplication::activeModalWidget());

        // Each notice is a fresh one, with its own beep.
        LB_ContAd::mostra(beeper, u"Contato inserido com sucesso!"_s, QPoint(0, 0));
        QCOMPARE(beeper.beeps, 2);
        QCOMPARE(watch.seen.size(), 2);
    }
};

QTEST_MAIN(TestLB_ContAd)
#include "tst_lb_contad.moc"
