#include "fieldlimits.h"
#include "imagebutton.h"
#include "keptcopy.h"
#include "namelistmodel.h"
#include "nameorder.h"
#include "twips.h"
#include "windowtest.h"

#include <QCollator>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <algorithm>
#include <numeric>
#include <random>
#include <system_error>

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
        // Focus starts in the name and goes round the fields, the list, then the images as they
        // read: the strip's, each field's pair, the row below. Tab leaves the multi-line fields.
        QTRY_COMPARE(QApplication::focusWidget(), w->txtNome);
        QStringList order,
            expected { u"txtFone"_s, u"txtMail"_s, u"txtEnd"_s, u"txtComp"_s, u"lstContatos"_s,
                u"imgMinimiza"_s, u"imgFecha"_s };
        for (const char* n : { "Nome", "Fone", "Mail", "End", "Comp" })
            expected << u"imgCtrlc"_s + QLatin1String(n) << u"imgCtrlv"_s + QLatin1String(n);
        expected << u"imgAdiciona"_s << u"imgAtualiza"_s << u"imgDeleta"_s << u"imgRefresh"_s
                 << u"imgLimpar"_s << u"imgCopiar"_s << u"imgImprimir"_s << u"imgMarca"_s << u"txtNome"_s;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order, expected);
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

    // No thread to be had (a limit on processes, say): start-up reads the names and builds
    // their keys on its own thread, a list large enough for several runs of keys included.
    void startUpWithoutThreads()
    {
        QStringList names;
        QString content(u'"');
        for (int i = 9999; i >= 0; --i) {
            names.prepend(u"Nome %1"_s.arg(i, 5, 10, QChar(u'0')));
            content += names.first() + u"§1\r\n"_s;
        }
        put(content + u"\r\n\"\r\n"_s);
        const ThreadStarter threads = std::exchange(startThread, [](std::function<void()>) -> std::thread {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        });
        StartupNames startup(ContactStore(m_dir->path()));
        w = std::make_unique<LB_Principal>(m_dir->path(), m_fakes->plataforma(), nullptr, &startup);
        startThread = threads;
        QCOMPARE(w->nomesListados(), names);
    }

    // The list's order is QCollator's, ignoring case, equal names in file order: the sort keys
    // it builds itself must agree with it on every name a file can hold.
    void collationIsQCollators_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QLocale>("locale");
        const QStringList varied { u"Érica"_s, u"erica"_s, u"Erica"_s, u"ERICA"_s, u"érica"_s, u"Çaçá"_s,
            u"caca"_s, u"cacá"_s, u"Cabral"_s, u"çapo"_s, u" Ana"_s, u"  ana"_s, u"Ana"_s, u""_s,
            u"ana-maria"_s, u"ana maria"_s, u"Ana.Maria"_s, u"anamaria"_s, u"(11) 5555"_s, u"2 irmãos"_s,
            u"10 irmãos"_s, u"Zé"_s, u"ze"_s, u"Zöe"_s, u"o'Neil"_s, u"ONeil"_s, u"ñandu"_s, u"nandu"_s,
            u"Ñ"_s, u"a\\b"_s, u"[x]"_s, u"_"_s, u"Ana"_s, u"ánA"_s, u"àna"_s, u"Äna"_s, u"ana"_s, u" "_s,
            u"Zeca"_s, u"a\u00A0b"_s, u"Straße"_s, u"strasse"_s, u"Ærø"_s, u"ª"_s, u"a\tb"_s, u"a\u00ADb"_s,
            u"ll"_s, u"½"_s, u"a\r\nb"_s };
        for (const QLocale& locale :
            { QLocale(QLocale::Portuguese, QLocale::Brazil), QLocale::c(), QLocale(QLocale::Spanish),
                QLocale(QLocale::Danish), QLocale(QLocale::French, QLocale::Canada) })
            QTest::addRow("varied, %s", qPrintable(locale.name())) << varied << locale;
        // Beyond the first 256 code points, an accent of its own, a contraction.
        QTest::newRow("varied and more")
            << varied + QStringList { u"Œuvre"_s, u"l·l"_s, u"日本"_s, u"😀 emoji"_s, u"Ana\u0301"_s }
            << QLocale(QLocale::Portuguese, QLocale::Brazil);
        QTest::newRow("none") << QStringList() << QLocale::c();
        // Enough names for the list to be cut into runs and merged.
        std::mt19937 rng(13);
        QStringList random;
        for (int i = 0; i < 10000; ++i) {
            QString name(qsizetype(rng() % 12), Qt::Uninitialized);
            for (QChar& c : name)
                c = CharsPermitidos.at(qsizetype(rng() % CharsPermitidos.size()));
            random << name;
        }
        QTest::newRow("10,000 random") << random << QLocale(QLocale::Portuguese, QLocale::Brazil);
    }

    void collationIsQCollators()
    {
        QFETCH(QStringList, names);
        QFETCH(QLocale, locale);
        QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        std::vector<int> expected(names.size());
        std::iota(expected.begin(), expected.end(), 0);
        std::stable_sort(expected.begin(), expected.end(),
            [&](int a, int b) { return collator.sortKey(names[a]).compare(collator.sortKey(names[b])) < 0; });
        const auto nameAt = [&](qsizetype i, QString& out) { out = names[i]; };
        QCOMPARE(collationOrder(names.size(), nameAt, locale), expected);
        // Names added behind a list in order are put where a sort of them all puts them.
        QCOMPARE(extendOrder(collationOrder(names.size() / 2, nameAt, locale), names.size(), nameAt, locale),
            expected);
    }

    // A file that is no contacts file can hold a "name" of megabytes: the list shows its start,
    // and selecting it still finds the whole record.
    void aVeryLongNameShowsItsStart_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::addColumn<qsizetype>("shown");
        const QString latin = QString(1500, u'á');
        QTest::newRow("Windows-1252")
            << Cp1252::encode(u"\"%1§1§§§§01/01/2020\r\n\r\n\"\r\n"_s.arg(latin)) << latin << qsizetype(1000);
        // A character outside the basic plane is never cut in two.
        const QString utf8 = QString(999, u'a') + u"😀"_s + QString(600, u'b');
        QTest::newRow("UTF-8") << u"\"%1§1§§§§01/01/2020\r\n\r\n\"\r\n"_s.arg(utf8).toUtf8() << utf8
                               << qsizetype(999);
    }

    void aVeryLongNameShowsItsStart()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QFETCH(qsizetype, shown);
        put(file);
        open();
        QCOMPARE(w->lstContatos->model()->index(0, 0).data().toString(), name.left(shown));
        select(name);
        QCOMPARE(w->txtNome->text(), name);
        QCOMPARE(w->lblStatus2->text(), u"Atualizado: 01/01/2020"_s);
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
        // The same names again leave the rows as they are, but not the selection.
        w->lstContatos->setCurrentIndex(w->lstContatos->model()->index(2, 0));
        QTest::mouseClick(w->imgRefresh, Qt::LeftButton);
        QCOMPARE(w->nomesListados(), (QStringList { u"A"_s, u"B"_s, u"C"_s }));
        QVERIFY(!w->lstContatos->selectionModel()->hasSelection());

        // An unreadable file: a notice, and the list stays.
        QFile::remove(storePath());
        QVERIFY(QDir().mkdir(storePath()));
        QTest::mouseClick(w->imgRefresh, Qt::LeftButton);
        QCOMPARE(seen(w->pos()), QStringList { u"Erro ao ler o arquivo de contatos!"_s + at(AoAdicionar) });
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
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("cannot read") << u"directory"_s << u"Erro ao ler o arquivo de contatos!"_s
                                     << QStringList();
        QTest::newRow("cannot create")
            << u"no folder"_s << u"Erro ao gravar o arquivo de contatos!"_s << QStringList();
        QTest::newRow("link to a disk not there")
            << u"dangling link"_s << u"Erro ao ler o arquivo de contatos!"_s << QStringList();
        QTest::newRow("save in place cut short")
            << u"cut save"_s << u"O último salvamento foi interrompido; os contatos foram restaurados."_s
            << QStringList { u"Ana"_s, u"Bob"_s, u"Carla"_s };
    }

    void startUpFailuresOpenAnEmptyWindowWithTheReason()
    {
        QFETCH(QString, start);
        QFETCH(QString, message);
        QFETCH(QStringList, names);
        // A directory where the file should be cannot be read; a folder that does not exist
        // cannot hold a new store (permission bits would not stop root).
        const QString folder = start == u"no folder" ? m_dir->filePath(u"missing/folder"_s) : m_dir->path();
        if (start == u"directory")
            QVERIFY(QDir().mkdir(storePath()));
        if (start == u"dangling link")
            QVERIFY(QFile::link(u"missing/LBcontatos.txt"_s, storePath()));
        const QTemporaryDir keep;
        qputenv("XDG_DATA_HOME", QFile::encodeName(keep.path()));
        if (start == u"cut save") {
            // Killed while it wrote the new content over the old, in place.
            put(Tres);
            QFile store(storePath());
            QVERIFY(store.open(QIODevice::ReadWrite));
            QVERIFY(KeptCopy(ContactStore::defaultKeepFolder(), storePath())
                        .keep(store.handle(), "\"\r\n\"\r\n"));
            QVERIFY(store.resize(20));
        }
        open(folder);
        QCOMPARE(w->nomesListados(), names);
        QCOMPARE(w->lblStatus1->text(), u"Total de contatos: %1"_s.arg(names.size()));
        QTRY_COMPARE(seen(w->pos()), QStringList { message + at(AoAdicionar) });
        QVERIFY(w->isVisible()); // the notice stands over a window that is already shown
        QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 5000);
        QCOMPARE(m_fakes->beeper.beeps, 1);
        QVERIFY(!QFile::exists(m_dir->filePath(u"missing"_s)));
        QCOMPARE(QFileInfo(storePath()).isSymLink(), start == u"dangling link");
        QCOMPARE(QDir(ContactStore::defaultKeepFolder()).isEmpty(), true);
        if (!names.isEmpty())
            QCOMPARE(file(), Tres);
    }
};

QTEST_MAIN(TestLB_Principal)
#include "tst_lb_principal.moc"
