#include "contactlistview.h"
#include "fakeplatform.h"
#include "imagebutton.h"
#include "lb_principal.h"

#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// The fields: limits and counters, the key filter, clipboard and clearing.
class TestCampos : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakePlatform m_fakes;
    std::unique_ptr<LB_Principal> w;

    QWidget* field(const QString& name) const { return w->findChild<QWidget*>(name); }
    QLabel* counter(const QString& name) const { return w->findChild<QLabel*>(u"lbl"_s + name + u"Count"_s); }
    QStringList counters() const
    {
        QStringList all;
        for (auto* l : { w->lblNomeCount, w->lblFoneCount, w->lblMailCount, w->lblEndCount, w->lblCompCount })
            all << l->text();
        return all;
    }
    // QTest::keyClicks knows ASCII only; other characters go as the key that types them.
    static void type(QWidget* f, const QString& text)
    {
        for (const QChar c : text) {
            if (c.unicode() < 0x80)
                QTest::keyClick(f, char(c.unicode()));
            else
                QTest::sendKeyEvent(QTest::Click, f, Qt::Key(c.toUpper().unicode()), QString(c), {});
        }
    }
    static QString clipboard() { return QGuiApplication::clipboard()->text(); }
    static void setClipboard(const QString& text) { QGuiApplication::clipboard()->setText(text); }
    static void moveOver(QWidget* target)
    {
        if (auto* e = qobject_cast<QPlainTextEdit*>(target))
            target = e->viewport();
        QTest::mouseMove(target, target->rect().center());
    }

private Q_SLOTS:
    void init()
    {
        QFile::remove(m_dir.filePath(u"LBcontatos.txt"_s));
        w = std::make_unique<LB_Principal>(m_dir.path(), m_fakes.plataforma());
        w->show();
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
    }
    void cleanup() { w.reset(); }

    void countersFollowTextFocusAndPointer()
    {
        w->txtFone->setFocus();
        QCOMPARE(counters(), (QStringList { {}, u"35 de 35"_s, {}, {}, {} }));
        QTest::keyClicks(w->txtFone, u"12"_s);
        QCOMPARE(w->lblFoneCount->text(), u"33 de 35"_s);
        // A change shows that field's counter beside the one on view.
        LB_Principal::defineTexto(w->txtEnd, u"Rua A\r\nCentro"_s);
        QCOMPARE(counters(), (QStringList { {}, u"33 de 35"_s, {}, u"87 de 100"_s, {} }));
        // The pointer over a field that has no focus shows that one alone.
        moveOver(w->txtComp);
        QCOMPARE(counters(), (QStringList { {}, {}, {}, {}, u"200 de 200"_s }));
        moveOver(w->txtMail);
        QCOMPARE(counters(), (QStringList { {}, {}, u"50 de 50"_s, {}, {} }));
        QCOMPARE(QApplication::focusWidget(), w->txtFone);
        moveOver(w->lstContatos);
        QCOMPARE(counters(), QStringList(5));
        // Focus to another field: the one left empties, the one reached shows.
        w->txtEnd->setFocus();
        QCOMPARE(counters(), (QStringList { {}, {}, {}, u"87 de 100"_s, {} }));
        w->lstContatos->setFocus();
        QCOMPARE(counters(), QStringList(5));
        // Labels and images keep their pointer movement; only the background clears.
        moveOver(w->txtNome);
        w->lblNovoNome->setText(u"Digite o novo nome do contato"_s);
        moveOver(w->lblNome);
        moveOver(w->imgCopiar);
        QCOMPARE(counters(), (QStringList { u"50 de 50"_s, {}, {}, {}, {} }));
        QCOMPARE(w->lblNovoNome->text(), u"Digite o novo nome do contato"_s);
        QTest::mouseMove(w.get(), QPoint(200, 150));
        QCOMPARE(counters(), QStringList(5));
        QVERIFY(w->lblNovoNome->text().isEmpty());
    }

    void typingStopsAtTheLimit_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("limit");
        QTest::newRow("Nome") << u"Nome"_s << 50;
        QTest::newRow("Fone") << u"Fone"_s << 35;
        QTest::newRow("Mail") << u"Mail"_s << 50;
        QTest::newRow("End") << u"End"_s << 100;
        QTest::newRow("Comp") << u"Comp"_s << 200;
    }

    void typingStopsAtTheLimit()
    {
        QFETCH(QString, name);
        QFETCH(int, limit);
        QWidget* f = field(u"txt"_s + name);
        f->setFocus();
        QTest::keyClicks(f, QString(limit - 2, u'a'));
        type(f, u"ç\r"_s); // a line break needs two places, only one is left
        const bool longField = qobject_cast<QPlainTextEdit*>(f);
        QCOMPARE(LB_Principal::textoDe(f), QString(limit - 2, u'a') + u"ç"_s);
        type(f, u"Ãxyz"_s);
        QCOMPARE(LB_Principal::textoDe(f), QString(limit - 2, u'a') + u"çÃ"_s);
        QCOMPARE(counter(name)->text(), u"0 de "_s + QString::number(limit));
        // Typing in the middle of a full field keeps the text whole.
        QTest::keyClick(f, Qt::Key_Home);
        QTest::keyClicks(f, u"b"_s);
        QVERIFY(LB_Principal::textoDe(f).endsWith(u"çÃ"_s));
        QCOMPARE(LB_Principal::textoDe(f).size(), limit);
        // Backspace still works in a full field.
        QTest::keyClick(f, Qt::Key_End);
        QTest::keyClick(f, Qt::Key_Backspace);
        QCOMPARE(counter(name)->text(), u"1 de "_s + QString::number(limit));
        if (longField) {
            QTest::keyClick(f, Qt::Key_Backspace);
            QTest::keyClick(f, Qt::Key_Return);
            QVERIFY(LB_Principal::textoDe(f).endsWith(u"a\r\n"_s));
            QCOMPARE(counter(name)->text(), u"0 de "_s + QString::number(limit));
        }
    }

    void refusedKeysChangeNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<QString>("text");
        const Qt::KeyboardModifiers none, ctrl(Qt::ControlModifier);
        for (const QString& name : { u"Nome"_s, u"End"_s }) {
            const QByteArray n = name.toLatin1();
            QTest::addRow("%s quote", n.data()) << name << int(Qt::Key_QuoteDbl) << none << u"\""_s;
            QTest::addRow("%s section", n.data()) << name << int(Qt::Key_section) << none << u"§"_s;
            QTest::addRow("%s ordinal", n.data()) << name << int(Qt::Key_masculine) << none << u"º"_s;
            QTest::addRow("%s hash", n.data()) << name << int(Qt::Key_NumberSign) << none << u"#"_s;
            QTest::addRow("%s escape", n.data()) << name << int(Qt::Key_Escape) << none << u"\x1b"_s;
            // Shortcuts, whether the platform sends their control character or the letter.
            const std::initializer_list<std::pair<Qt::Key, int>> shortcuts { { Qt::Key_C, 3 },
                { Qt::Key_V, 22 }, { Qt::Key_X, 24 }, { Qt::Key_A, 1 }, { Qt::Key_Z, 26 },
                { Qt::Key_Y, 25 } };
            for (const auto& [key, code] : shortcuts) {
                QTest::addRow("%s ctrl+%c", n.data(), char(key))
                    << name << int(key) << ctrl << QString(QChar(code));
                QTest::addRow("%s ctrl+%c as letter", n.data(), char(key))
                    << name << int(key) << ctrl << QString(QChar(key).toLower());
            }
        }
    }

    void refusedKeysChangeNothing()
    {
        QFETCH(QString, name);
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(QString, text);
        QWidget* f = field(u"txt"_s + name);
        f->setFocus();
        QTest::keyClicks(f, u"ab"_s);
        QTest::keyClick(f, Qt::Key_Left); // an undo step and a caret inside the text
        QTest::keyClicks(f, u"c"_s);
        QTest::keyClick(f, Qt::Key_End);
        QTest::keyClick(f, Qt::Key_Home, Qt::ShiftModifier); // something to copy or cut
        setClipboard(u"zz"_s);
        const QString before = counter(name)->text();
        QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(f, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(f, &release);
        QCOMPARE(LB_Principal::textoDe(f), u"acb"_s);
        QCOMPARE(counter(name)->text(), before);
        QCOMPARE(clipboard(), u"zz"_s);
        // Keys without a character still edit and move the caret.
        QTest::keyClick(f, Qt::Key_Home);
        QTest::keyClick(f, Qt::Key_Delete);
        QTest::keyClick(f, Qt::Key_End);
        QTest::keyClick(f, Qt::Key_Left);
        QTest::keyClicks(f, u"@"_s);
        QCOMPARE(LB_Principal::textoDe(f), u"c@b"_s);
        QTest::keyClick(f, Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != f);
    }

    void composedCharactersAreFiltered()
    {
        w->txtNome->setFocus();
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
        QTest::addColumn<bool>("selectAll");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("count");
        QTest::newRow("caret at start")
            << u"Fone"_s << u"555-"_s << u"123"_s << false << u"555-123"_s << u"28 de 35"_s;
        QTest::newRow("all selected")
            << u"Fone"_s << u"555-"_s << u"123"_s << true << u"555-123"_s << u"28 de 35"_s;
        QTest::newRow("40 into 35") << u"Fone"_s << QString() << QString(40, u'9') << false
                                    << QString(35, u'9') << u"0 de 35"_s;
        QTest::newRow("full field") << u"Fone"_s << QString(35, u'1') << u"2"_s << false << QString(35, u'1')
                                    << u"0 de 35"_s;
        // Outside the set, and line breaks in a one-line field, enter as they are, uncounted.
        QTest::newRow("tab and quote")
            << u"Nome"_s << u"Ana"_s << u"\t\"B§"_s << false << u"Ana\t\"B§"_s << u"46 de 50"_s;
        QTest::newRow("break in one line")
            << u"Mail"_s << u"a"_s << u"\r\nb"_s << false << u"a\r\nb"_s << u"46 de 50"_s;
        QTest::newRow("LF becomes CR LF")
            << u"End"_s << u"Rua A"_s << u"\nCentro"_s << false << u"Rua A\r\nCentro"_s << u"87 de 100"_s;
        QTest::newRow("break does not fit")
            << u"End"_s << QString(99, u'x') << u"\r\ny"_s << false << QString(99, u'x') << u"1 de 100"_s;
        QTest::newRow("cut inside a paste") << u"Comp"_s << QString(196, u'x') << u"a\nbcd"_s << false
                                            << QString(196, u'x') + u"a\r\nb"_s << u"0 de 200"_s;
    }

    void pasteGoesToTheEndAndStopsAtTheLimit()
    {
        QFETCH(QString, name);
        QFETCH(QString, before);
        QFETCH(QString, pasted);
        QFETCH(bool, selectAll);
        QFETCH(QString, after);
        QFETCH(QString, count);
        QWidget* f = field(u"txt"_s + name);
        LB_Principal::defineTexto(f, before);
        f->setFocus();
        QTest::keyClick(f, Qt::Key_Home);
        if (selectAll)
            QTest::keyClick(f, Qt::Key_End, Qt::ShiftModifier);
        setClipboard(pasted);
        QTest::mouseClick(w->findChild<ImageButton*>(u"imgCtrlv"_s + name), Qt::LeftButton);
        QCOMPARE(LB_Principal::textoDe(f), after);
        QCOMPARE(counter(name)->text(), count);
        QCOMPARE(clipboard(), pasted);
    }

    void copyOneField()
    {
        setClipboard(u"from another program"_s);
        QTest::mouseClick(w->imgCtrlcFone, Qt::LeftButton);
        QCOMPARE(clipboard(), u"from another program"_s);
        w->txtNome->setText(u"Ana"_s);
        QTest::mouseClick(w->imgCtrlcNome, Qt::LeftButton);
        QCOMPARE(clipboard(), u"Ana"_s);
        LB_Principal::defineTexto(w->txtComp, u"Casa 2\r\n\r\nfundos\u00A0"_s);
        QTest::mouseClick(w->imgCtrlcComp, Qt::LeftButton);
        QCOMPARE(clipboard(), u"Casa 2\r\n\r\nfundos\u00A0"_s);
    }

    void fieldTextUsesCrLf_data()
    {
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("read");
        QTest::newRow("CR LF") << u"Rua A\r\nCentro"_s << u"Rua A\r\nCentro"_s;
        QTest::newRow("lone LF and CR") << u"a\nb\rc"_s << u"a\r\nb\r\nc"_s;
        QTest::newRow("ends in a break") << u"a\r\n"_s << u"a\r\n"_s;
        QTest::newRow("only breaks") << u"\r\n\r\n"_s << u"\r\n\r\n"_s;
        QTest::newRow("line separator") << u"a\u2028b"_s << u"a\r\nb"_s;
        QTest::newRow("cut at the limit") << QString(98, u'x') + u"\r\nyz"_s << QString(98, u'x') + u"\r\n"_s;
        QTest::newRow("break at the limit") << QString(99, u'x') + u"\r\nyz"_s << QString(99, u'x');
    }

    void fieldTextUsesCrLf()
    {
        QFETCH(QString, set);
        QFETCH(QString, read);
        LB_Principal::defineTexto(w->txtEnd, set);
        QCOMPARE(LB_Principal::textoDe(w->txtEnd), read);
    }

    void copyTheWholeContact()
    {
        setClipboard(u"old"_s);
        QTest::mouseClick(w->imgCopiar, Qt::LeftButton);
        QCOMPARE(clipboard(), u"\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"_s);
        w->txtNome->setText(u"Ana"_s);
        w->txtFone->setText(u"123"_s);
        LB_Principal::defineTexto(w->txtEnd, u"Rua A"_s);
        QTest::mouseClick(w->imgCopiar, Qt::LeftButton);
        const QString expected = u"Ana\r\n\r\n123\r\n\r\n\r\n\r\nRua A\r\n\r\n"_s;
        QCOMPARE(expected.size(), 27);
        QCOMPARE(clipboard(), expected);
        // As it stands on screen, line breaks of the long fields kept.
        LB_Principal::defineTexto(w->txtComp, u"x\ny"_s);
        QCOMPARE(w->textoContato(), expected + u"x\r\ny"_s);
    }

    void clearingKeepsTheSelection()
    {
        QFile f(m_dir.filePath(u"LBcontatos.txt"_s));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\"Ana\xA7\r\nBia\xA7\r\n\r\n\"\r\n");
        f.close();
        QTest::mouseClick(w->imgRefresh, Qt::LeftButton);
        w->lstContatos->setCurrentIndex(w->lstContatos->model()->index(1, 0));
        w->lblNomeTopo->setText(u"Bia"_s);
        for (auto* e : { w->txtNome, w->txtFone, w->txtMail })
            e->setText(u"x"_s);
        LB_Principal::defineTexto(w->txtEnd, u"y\r\nz"_s);
        LB_Principal::defineTexto(w->txtComp, u"w"_s);
        w->txtMail->setFocus();
        QTest::mouseClick(w->imgLimpar, Qt::LeftButton);
        for (const QString& name : { u"Nome"_s, u"Fone"_s, u"Mail"_s, u"End"_s, u"Comp"_s })
            QVERIFY(LB_Principal::textoDe(field(u"txt"_s + name)).isEmpty());
        QCOMPARE(counters(),
            (QStringList { u"50 de 50"_s, u"35 de 35"_s, u"50 de 50"_s, u"100 de 100"_s, u"200 de 200"_s }));
        QCOMPARE(w->lstContatos->currentIndex().row(), 1);
        QVERIFY(w->lstContatos->selectionModel()->isRowSelected(1));
        QCOMPARE(w->lblNomeTopo->text(), u"Bia"_s);
        QCOMPARE(QApplication::focusWidget(), w->txtMail);
    }
};

QTEST_MAIN(TestCampos)
#include "tst_campos.moc"
