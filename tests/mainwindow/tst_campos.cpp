#include "imagebutton.h"
#include "windowtest.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace Qt::StringLiterals;

// The fields: limits and counters, the key filter, clipboard and clearing.
class TestCampos : public WindowTest {
    Q_OBJECT

    QWidget* field(const QString& n) const { return w->findChild<QWidget*>(u"txt"_s + n); }
    QString count(const QString& n) const { return w->findChild<QLabel*>(u"lbl"_s + n + u"Count"_s)->text(); }
    QString text(const QString& n) const { return LB_Principal::textoDe(field(n)); }
    QStringList counters() const
    {
        return { count(u"Nome"_s), count(u"Fone"_s), count(u"Mail"_s), count(u"End"_s), count(u"Comp"_s) };
    }
    void click(const QString& image) { QTest::mouseClick(w->findChild<ImageButton*>(image), Qt::LeftButton); }
    static QClipboard* clip() { return QGuiApplication::clipboard(); }
    static void moveOver(QWidget* target)
    {
        if (auto* e = qobject_cast<QPlainTextEdit*>(target))
            target = e->viewport();
        QTest::mouseMove(target, target->rect().center());
    }

private Q_SLOTS:
    void init()
    {
        fresh();
        open();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
    }

    void countersFollowTextFocusAndPointer()
    {
        w->txtFone->setFocus();
        QCOMPARE(counters(), (QStringList { {}, u"35 de 35"_s, {}, {}, {} }));
        QTest::keyClicks(w->txtFone, u"12"_s);
        // A change shows that field's counter beside the one on view.
        LB_Principal::defineTexto(w->txtEnd, u"Rua A\r\nCentro"_s);
        QCOMPARE(counters(), (QStringList { {}, u"33 de 35"_s, {}, u"87 de 100"_s, {} }));
        // The pointer over a field shows that one alone, focus or not.
        moveOver(w->txtComp);
        QCOMPARE(counters(), (QStringList { {}, {}, {}, {}, u"200 de 200"_s }));
        moveOver(w->txtMail);
        QCOMPARE(counters(), (QStringList { {}, {}, u"50 de 50"_s, {}, {} }));
        moveOver(w->lstContatos);
        QCOMPARE(counters(), QStringList(5));
        w->txtEnd->setFocus();
        QCOMPARE(counters(), (QStringList { {}, {}, {}, u"87 de 100"_s, {} }));
        w->lstContatos->setFocus(); // focus lost
        QCOMPARE(counters(), QStringList(5));
        // Labels and images keep their pointer movement; the background clears.
        moveOver(w->txtNome);
        w->lblNovoNome->setText(u"Digite o novo nome do contato"_s);
        moveOver(w->lblNome);
        moveOver(w->imgCopiar);
        QCOMPARE(counters(), (QStringList { u"50 de 50"_s, {}, {}, {}, {} }));
        QVERIFY(!w->lblNovoNome->text().isEmpty());
        QTest::mouseMove(w.get(), QPoint(200, 150));
        QCOMPARE(counters(), QStringList(5));
        QVERIFY(w->lblNovoNome->text().isEmpty());
    }

    void typingStopsAtTheLimit_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("limit");
        for (const auto& [n, l] :
            { std::pair { "Nome", 50 }, { "Fone", 35 }, { "Mail", 50 }, { "End", 100 }, { "Comp", 200 } })
            QTest::newRow(n) << QString::fromLatin1(n) << l;
    }

    void typingStopsAtTheLimit()
    {
        QFETCH(QString, name);
        QFETCH(int, limit);
        QWidget* f = field(name);
        const QString full = QString(limit - 2, u'a') + u"çÃ"_s, of = u" de "_s + QString::number(limit);
        f->setFocus();
        type(f, full.chopped(1) + u"\rÃxyz"_s); // a line break needs two places, one is left
        QTest::keyClick(f, Qt::Key_Home);
        QTest::keyClicks(f, u"b"_s); // nor in the middle: the text stays whole
        QCOMPARE(text(name), full);
        QCOMPARE(count(name), u"0"_s + of);
        QTest::keyClick(f, Qt::Key_End);
        QTest::keyClick(f, Qt::Key_Backspace);
        QCOMPARE(count(name), u"1"_s + of);
        if (qobject_cast<QPlainTextEdit*>(f)) {
            QTest::keyClick(f, Qt::Key_Backspace);
            QTest::keyClick(f, Qt::Key_Return);
            QCOMPARE(text(name), QString(limit - 2, u'a') + u"\r\n"_s);
        }
    }

    void refusedKeysChangeNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("ctrl");
        QTest::addColumn<QString>("typed");
        for (const char* n : { "Nome", "Fone", "Mail", "End", "Comp" }) {
            for (const auto& [key, t] : { std::pair { Qt::Key_QuoteDbl, "\"" }, { Qt::Key_section, "§" },
                     { Qt::Key_masculine, "º" }, { Qt::Key_NumberSign, "#" }, { Qt::Key_Escape, "\x1b" } })
                QTest::addRow("%s %s", n, t)
                    << QString::fromLatin1(n) << int(key) << 0 << QString::fromUtf8(t);
            // Shortcuts, whether the platform sends their control character or the letter.
            for (const auto& [key, code] : { std::pair { Qt::Key_C, 3 }, { Qt::Key_V, 22 }, { Qt::Key_X, 24 },
                     { Qt::Key_A, 1 }, { Qt::Key_Z, 26 }, { Qt::Key_Y, 25 } }) {
                QTest::addRow("%s ctrl+%c", n, key)
                    << QString::fromLatin1(n) << int(key) << 1 << QString(QChar(code));
                QTest::addRow("%s ctrl+%c letter", n, key)
                    << QString::fromLatin1(n) << int(key) << 1 << QString(QChar(key));
            }
        }
    }

    void refusedKeysChangeNothing()
    {
        QFETCH(QString, name);
        QFETCH(int, key);
        QFETCH(int, ctrl);
        QFETCH(QString, typed);
        QWidget* f = field(name);
        f->setFocus();
        QTest::keyClicks(f, u"ab"_s);
        QTest::keyClick(f, Qt::Key_Left);
        QTest::keyClicks(f, u"c"_s); // an undo step
        QTest::keyClick(f, Qt::Key_End);
        QTest::keyClick(f, Qt::Key_Home, Qt::ShiftModifier); // something to copy or cut
        clip()->setText(u"zz"_s);
        const QString before = count(name);
        const auto m = ctrl ? Qt::ControlModifier : Qt::NoModifier;
        QTest::sendKeyEvent(QTest::Click, f, Qt::Key(key), typed, m); // past the window's shortcuts too
        QCOMPARE(text(name), u"acb"_s);
        QCOMPARE(count(name), before);
        QCOMPARE(clip()->text(), u"zz"_s);
        // Keys without a character still edit and move.
        for (const Qt::Key k : { Qt::Key_Home, Qt::Key_Delete, Qt::Key_End, Qt::Key_Left })
            QTest::keyClick(f, k);
        QTest::keyClicks(f, u"@"_s);
        QCOMPARE(text(name), u"c@b"_s);
        QTest::keyClick(f, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != f);
    }

    void composedCharactersAreFiltered()
    {
        QInputMethodEvent composed;
        composed.setCommitString(u"é\"§ñ"_s);
        QApplication::sendEvent(w->txtNome, &composed);
        QCOMPARE(w->txtNome->text(), u"éñ"_s);
    }

    void pasteGoesToTheEndAndStopsAtTheLimit_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("left");
        const QString x99(99, u'x'), x196(196, u'x');
        QTest::newRow("selection kept") << u"Fone"_s << u"555-"_s << u"123"_s << u"555-123"_s << u"28"_s;
        QTest::newRow("40 into 35") << u"Fone"_s << QString() << QString(40, u'9') << QString(35, u'9')
                                    << u"0"_s;
        QTest::newRow("full") << u"Fone"_s << QString(35, u'1') << u"2"_s << QString(35, u'1') << u"0"_s;
        // Outside the set, and line breaks in a one-line field, enter as they are, uncounted.
        QTest::newRow("tab, quote") << u"Nome"_s << u"Ana"_s << u"\t\"B§"_s << u"Ana\t\"B§"_s << u"46"_s;
        QTest::newRow("one-line break") << u"Mail"_s << u"a"_s << u"\r\nb"_s << u"a\r\nb"_s << u"46"_s;
        QTest::newRow("LF to CR LF") << u"End"_s << u"Rua A"_s << u"\nCentro"_s << u"Rua A\r\nCentro"_s
                                     << u"87"_s;
        QTest::newRow("no room for a break") << u"End"_s << x99 << u"\r\ny"_s << x99 << u"1"_s;
        QTest::newRow("cut") << u"Comp"_s << x196 << u"a\nbcd"_s << x196 + u"a\r\nb"_s << u"0"_s;
        // Every line break of a long field reads as CR LF.
        QTest::newRow("lone CR") << u"End"_s << u"a"_s << u"\rb\r\n"_s << u"a\r\nb\r\n"_s << u"94"_s;
        QTest::newRow("line separator")
            << u"End"_s << QString() << u"\r\na\u2028\u00A0"_s << u"\r\na\r\n\u00A0"_s << u"95"_s;
    }

    void pasteGoesToTheEndAndStopsAtTheLimit()
    {
        QFETCH(QString, name);
        QFETCH(QString, before);
        QFETCH(QString, pasted);
        QFETCH(QString, after);
        QFETCH(QString, left);
        LB_Principal::defineTexto(field(name), before);
        field(name)->setFocus();
        QTest::keyClick(field(name), Qt::Key_Home);
        QTest::keyClick(field(name), Qt::Key_End, Qt::ShiftModifier);
        clip()->setText(pasted);
        click(u"imgCtrlv"_s + name);
        QCOMPARE(text(name), after);
        QVERIFY(count(name).startsWith(left + u" de "_s));
        click(u"imgCtrlc"_s + name); // copied as it reads
        QCOMPARE(clip()->text(), after);
    }

    void clearingKeepsTheSelection()
    {
        put(u"\"Ana§\r\nBia§\r\n\r\n\"\r\n"_s);
        QTest::mouseClick(w->imgRefresh, Qt::LeftButton);
        w->lstContatos->setCurrentIndex(w->lstContatos->model()->index(1, 0));
        w->lblNomeTopo->setText(u"Bia"_s);
        for (const QString& n : { u"Nome"_s, u"Fone"_s, u"Mail"_s, u"End"_s, u"Comp"_s })
            LB_Principal::defineTexto(field(n), u"y\r\nz"_s);
        w->txtMail->setFocus();
        QTest::mouseClick(w->imgLimpar, Qt::LeftButton);
        QCOMPARE(counters(),
            (QStringList { u"50 de 50"_s, u"35 de 35"_s, u"50 de 50"_s, u"100 de 100"_s, u"200 de 200"_s }));
        QVERIFY(w->lstContatos->selectionModel()->isRowSelected(1));
        QCOMPARE(w->lblNomeTopo->text(), u"Bia"_s);
        QCOMPARE(QApplication::focusWidget(), w->txtMail);
        // An empty field copies nothing; the whole contact is copied even when empty.
        clip()->setText(u"from another program"_s);
        QTest::mouseClick(w->imgCtrlcFone, Qt::LeftButton);
        QCOMPARE(clip()->text(), u"from another program"_s);
        QTest::mouseClick(w->imgCopiar, Qt::LeftButton);
        QCOMPARE(clip()->text(), u"\r\n"_s.repeated(8));
    }
};

QTEST_MAIN(TestCampos)
#include "tst_campos.moc"
