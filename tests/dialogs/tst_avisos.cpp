#include "fakeplatform.h"
#include "labelbutton.h"
#include "lb_contad.h"
#include "lb_contdel.h"
#include "modalwatch.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

// The notice and the delete question.
class TestAvisos : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void noticeClosesItselfAndOnlyThen()
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

    // A click, S, Space on the focused " SIM ", Escape or Enter on " NÃO " (where the focus
    // starts) answer; Enter on " SIM " and keys held down since before the question do not.
    void onlyADeliberateClickOrKeyAnswersTheQuestion_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("answer");
        for (const auto& [how, answer] : { std::pair { "lblSim", true }, { "lblNao", false }, { "S", true },
                 { "Space", true }, { "Escape", false }, { "Return", false } })
            QTest::newRow(how) << QString::fromLatin1(how) << answer;
    }

    void onlyADeliberateClickOrKeyAnswersTheQuestion()
    {
        QFETCH(QString, how);
        QFETCH(bool, answer);
        RecordingBeeper beeper;
        int deletions = 0;
        bool visibleWhileDeleting = false;
        std::tuple<QPoint, QString, int> shown;
        QTimer::singleShot(0, [&] {
            auto* janela = qobject_cast<LB_ContDel*>(QApplication::activeModalWidget());
            QVERIFY(janela);
            shown = { janela->pos(), janela->Label1->text(), beeper.beeps };
            QCOMPARE(janela->focusWidget(), janela->lblNao);
            QTest::keyClick(janela->lblSim, Qt::Key_Return);
            for (const Qt::Key key : { Qt::Key_Return, Qt::Key_Space, Qt::Key_S }) {
                QKeyEvent repeat(QEvent::KeyPress, key, Qt::NoModifier, {}, true);
                QApplication::sendEvent(janela->lblSim, &repeat);
                QTest::keyRelease(janela->lblSim, key);
            }
            QTest::mousePress(janela->lblSim, Qt::LeftButton); // released off the button
            QTest::mouseRelease(janela->lblSim, Qt::LeftButton, {}, QPoint(-5, -5));
            QVERIFY(janela->isVisible());
            QCOMPARE(deletions, 0);
            if (auto* label = janela->findChild<QLabel*>(how))
                QTest::mouseClick(label, Qt::LeftButton);
            else
                QTest::keyClick(
                    how == u"Space" ? janela->lblSim : janela->lblNao, QKeySequence(how)[0].key());
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

QTEST_MAIN(TestAvisos)
#include "tst_avisos.moc"
