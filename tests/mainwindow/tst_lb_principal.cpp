#include "imagebutton.h"
#include "nameorder.h"
#include "twips.h"
#include "windowtest.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace Qt::StringLiterals;

class TestLB_Principal : public WindowTest {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }

    void init() { fresh(); }

    void firstStartCreatesTheEmptyStore()
    {
        open();
        QCOMPARE(bytes(), QByteArray("\"\r\n\"\r\n"));
        QCOMPARE(w->lblStatus1->text(), u"Total de contatos: 0"_s);
        QCOMPARE(w->nomesListados(), QStringList());
        QVERIFY(w->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(m_fakes->beeper.beeps, 0); // no notice on a good start
        // Focus starts in the name and goes round the fields and the list; Tab leaves the
        // multi-line fields.
        QTRY_COMPARE(QApplication::focusWidget(), w->txtNome);
        for (QWidget* next :
            QWidgetList { w->txtFone, w->txtMail, w->txtEnd, w->txtComp, w->lstContatos, w->txtNome }) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), next);
        }
        QVERIFY(w->txtEnd->toPlainText().isEmpty() && w->txtComp->toPlainText().isEmpty());
    }

    void existingFileListsSortedNames()
    {
        // Added in the order Zeca, ana, Bruno; a duplicate, a blank line, a line of spaces,
        // a hand-edited leading space, a line without separator.
        put(Cp1252::encode(
            u"\"Zeca§1\r\nana§\r\n\r\n   \r\nBruno§\r\nÉrica§\r\nana§\r\n Zu§\r\nSolo\r\n\r\n\"\r\n"_s));
        const QByteArray before = bytes();
        open();
        QCOMPARE(w->nomesListados(),
            (QStringList { u" Zu"_s, u"ana"_s, u"ana"_s, u"Bruno"_s, u"Érica"_s, u"Solo"_s, u"Zeca"_s }));
        QCOMPARE(w->lblStatus1->text(), u"Total de contatos: 7"_s);
        QCOMPARE(bytes(), before); // start-up leaves an existing file alone
    }

    void collationIgnoresCaseInEveryLocale()
    {
        const QStringList names { u"Zeca"_s, u"ana"_s, u"Bruno"_s, u"Érica"_s, u"eduardo"_s, u"Ana"_s };
        const auto nameAt = [&](qsizetype i, QString& out) { out = names[i]; };
        // Equal but for case: file order.
        const std::vector<qsizetype> expected { 1, 5, 2, 4, 3, 0 };
        QCOMPARE(
            collationOrder(names.size(), nameAt, QLocale(QLocale::Portuguese, QLocale::Brazil)), expected);
        QCOMPARE(collationOrder(names.size(), nameAt, QLocale::c()), expected);
        QVERIFY(collationOrder(0, nameAt, QLocale::c()).empty());
    }

    void placedOnAnyScreen_data()
    {
        QTest::addColumn<QRect>("area"); // a screen without its panels
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("whole screen") << QRect(0, 0, 1024, 768) << QPoint(514, 478);
        QTest::newRow("panel below") << QRect(0, 0, 1024, 728) << QPoint(514, 438);
        QTest::newRow("second screen, panels left and on top")
            << QRect(1064, 30, 984, 738) << QPoint(1538, 478);
        QTest::newRow("smaller than the window") << QRect(0, 0, 400, 200) << QPoint(-110, 0);
    }

    void placedOnAnyScreen()
    {
        QFETCH(QRect, area);
        QFETCH(QPoint, expected);
        const QPoint at = LB_Principal::posicaoInicial(area);
        QCOMPARE(at, expected);
        // The strip that drags it and the close image stay where the pointer can reach them.
        QVERIFY(area.contains(Twips::rect(6985, 45, 465, 315).translated(at)));
        QVERIFY(area.contains(QPoint(area.left(), at.y())));
    }

    void refreshReadsTheFileAgain()
    {
        put(u"\"B§\r\n\r\n\"\r\n"_s);
        open();
        w->lstContatos->setCurrentIndex(w->lstContatos->model()->index(0, 0));
        w->txtNome->setText(u"kept"_s);
        put(u"\"B§\r\nA§\r\nC§\r\n\r\n\"\r\n"_s);
        QTest::mouseClick(w->imgRefresh, Qt::LeftButton);
        QCOMPARE(w->nomesListados(), (QStringList { u"A"_s, u"B"_s, u"C"_s }));
        QCOMPARE(w->lblStatus1->text(), u"Total de contatos: 3"_s);
        QVERIFY(!w->lstContatos->selectionModel()->hasSelection());
        QCOMPARE(w->txtNome->text(), u"kept"_s);

        // An unreadable file: a notice, and the list stays.
        QFile::remove(storePath());
        QVERIFY(QDir().mkdir(storePath()));
        QTest::mouseClick(w->imgRefresh, Qt::LeftButton);
        QCOMPARE(seen(w->pos()), QStringList { u"Erro ao ler o arquivo de contatos!"_s + at({ 208, 167 }) });
        QCOMPARE(w->nomesListados(), (QStringList { u"A"_s, u"B"_s, u"C"_s }));
        QCOMPARE(w->lblStatus1->text(), u"Total de contatos: 3"_s);

        // A missing file is an empty store; refreshing does not create it, nor tells anything.
        QVERIFY(QDir().rmdir(storePath()));
        QTest::mouseClick(w->imgRefresh, Qt::LeftButton);
        QCOMPARE(w->nomesListados(), QStringList());
        QCOMPARE(w->lblStatus1->text(), u"Total de contatos: 0"_s);
        QVERIFY(!QFile::exists(storePath()));
        QCOMPARE(m_fakes->beeper.beeps, 1);
    }

    void startUpFailuresOpenAnEmptyWindowWithTheReason_data()
    {
        QTest::addColumn<bool>("creatable");
        QTest::addColumn<QString>("message");
        QTest::newRow("cannot read") << true << u"Erro ao ler o arquivo de contatos!"_s;
        QTest::newRow("cannot create") << false << u"Erro ao gravar o arquivo de contatos!"_s;
    }

    void startUpFailuresOpenAnEmptyWindowWithTheReason()
    {
        QFETCH(bool, creatable);
        QFETCH(QString, message);
        // A directory where the file should be cannot be read; a folder that does not exist
        // cannot hold a new store (permission bits would not stop root).
        const QString folder = creatable ? m_dir->path() : m_dir->filePath(u"missing/folder"_s);
        if (creatable)
            QVERIFY(QDir().mkdir(storePath()));
        open(folder);
        QCOMPARE(w->nomesListados(), QStringList());
        QCOMPARE(w->lblStatus1->text(), u"Total de contatos: 0"_s);
        QTRY_COMPARE(seen(w->pos()), QStringList { message + at({ 208, 167 }) });
        QVERIFY(w->isVisible()); // the notice stands over a window that is already shown
        QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 5000);
        QCOMPARE(m_fakes->beeper.beeps, 1);
        QVERIFY(!QFile::exists(m_dir->filePath(u"missing"_s)));
    }
};

QTEST_MAIN(TestLB_Principal)
#include "tst_lb_principal.moc"
