#include "contactstore.h"
#include "cp1252.h"
#include "storetext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray EmptyStore("\x22\x0D\x0A\x22\x0D\x0A", 6);

// Two contacts in Windows-1252: a two-line address and a note, then a phone only.
const QByteArray Example = "\"Oficina Central\xA7(11) 5555-0101\xA7\xA7Rua Um, 10\xA4Sala 2\xA7"
                           "Aberto aos s\xE1"
                           "bados\xA7"
                           "05/12/2026\r\n"
                           "Padaria Lua\xA7"
                           "5555-0199\xA7\xA7\xA7\xA7"
                           "06/12/2026\r\n"
                           "\r\n"
                           "\"\r\n";

} // namespace

class TestContactStore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    ContactStore store() const { return ContactStore(m_dir.path()); }
    QString path() const { return store().path(); }
    QByteArray bytes() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void put(const QByteArray& content) const
    {
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(content), content.size());
    }
    QStringList lines() const
    {
        QStringList out;
        const StoreStatus status = store().readRecordLines(&out);
        return status == StoreStatus::Ok ? out : QStringList { u"<error>"_s };
    }

private Q_SLOTS:
    void init()
    {
        QDir(m_dir.path()).removeRecursively();
        QDir().mkpath(m_dir.path());
    }

    void ensureCreatesTheEmptyStoreOnlyWhenMissing()
    {
        QCOMPARE(store().path(), m_dir.filePath(u"LBcontatos.txt"_s));
        QCOMPARE(lines(), QStringList());
        QVERIFY(!QFile::exists(path())); // reading never creates the file
        QCOMPARE(store().ensure(), StoreStatus::Ok);
        QCOMPARE(bytes(), EmptyStore);
        QCOMPARE(lines(), QStringList());
        put("whatever");
        QCOMPARE(store().ensure(), StoreStatus::Ok);
        QCOMPARE(bytes(), QByteArray("whatever"));
        put({});
        QCOMPARE(store().ensure(), StoreStatus::Ok);
        QCOMPARE(bytes(), QByteArray());
        QCOMPARE(lines(), QStringList());
    }

    void exampleReadsAndWritesBackByteForByte()
    {
        put(Example);
        QCOMPARE(lines().size(), 2);
        QCOMPARE(ContactRecord::fromLine(lines()[0]),
            (ContactRecord { u"Oficina Central"_s, u"(11) 5555-0101"_s, {}, u"Rua Um, 10¤Sala 2"_s,
                u"Aberto aos sábados"_s, u"05/12/2026"_s }));
        QCOMPARE(ContactRecord::fromLine(lines()[1]),
            (ContactRecord { u"Padaria Lua"_s, u"5555-0199"_s, {}, {}, {}, u"06/12/2026"_s }));
        QCOMPARE(StoreText::encodeStore(lines()), Example);

        // An update that changes nothing writes the same bytes again.
        int replaced = 0;
        QCOMPARE(store().replaceRecords(u"Padaria Lua"_s, lines()[1], &replaced), StoreStatus::Ok);
        QCOMPARE(replaced, 1);
        QCOMPARE(bytes(), Example);
    }

    void handEditedContent_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("blank and space-only lines") << QByteArray("\"A\xA7"
                                                                  "1\r\n\r\n   \r\nB\xA7"
                                                                  "2\r\n\r\n\r\n\"\r\n")
                                                    << QStringList { u"A§1"_s, u"B§2"_s };
        QTest::newRow("line without separator")
            << QByteArray("\"Solo\r\n\r\n\"\r\n") << QStringList { u"Solo"_s };
        QTest::newRow("fields beyond six") << QByteArray("\"A\xA7"
                                                         "1\xA7"
                                                         "2\xA7"
                                                         "3\xA7"
                                                         "4\xA7"
                                                         "5\xA7"
                                                         "6\xA7"
                                                         "7\r\n\r\n\"\r\n")
                                           << QStringList { u"A§1§2§3§4§5§6§7"_s };
        QTest::newRow("quotes inside are lost") << QByteArray("\"Ana \"Zica\"\xA7"
                                                              "1\r\n\r\n\"\r\n")
                                                << QStringList { u"Ana Zica§1"_s };
        QTest::newRow("leading space kept") << QByteArray("\" Ana\xA7"
                                                          "1\r\n\r\n\"\r\n")
                                            << QStringList { u" Ana§1"_s };
        QTest::newRow("lone LF and CR")
            << QByteArray("\"A\nB\rC\r\n\n\"") << QStringList { u"A"_s, u"B"_s, u"C"_s };
        QTest::newRow("no final line break") << QByteArray("\"A\xA7"
                                                           "1\r\nB")
                                             << QStringList { u"A§1"_s, u"B"_s };
        QTest::newRow("tab-only line is a record") << QByteArray("\"\t\r\n\"\r\n") << QStringList { u"\t"_s };
        QTest::newRow("utf-8 with BOM") << QByteArray("\xEF\xBB\xBF\"Jo\xC3\xA3o\xC2\xA7"
                                                      "1\r\n\r\n\"\r\n")
                                        << QStringList { u"João§1"_s };
        QTest::newRow("utf-8 without BOM")
            << QByteArray("\"Concei\xC3\xA7\xC3\xA3o\xC2\xA7\xE2\x82\xAC\r\n\r\n\"\r\n")
            << QStringList { u"Conceição§€"_s };
        // A byte-order mark standing alone on a line is a character, not a blank line.
        QTest::newRow("byte-order mark inside") << QByteArray("\"Jos\xC3\xA9\xC2\xA7"
                                                              "1\r\n\xEF\xBB\xBF\r\n\r\n\"\r\n")
                                                << QStringList { u"José§1"_s, QString(QChar(0xFEFF)) };
        // A byte-order mark makes the file UTF-8 even where its bytes are not.
        QTest::newRow("bom with stray bytes") << QByteArray("\xEF\xBB\xBF\"Ana\xA7"
                                                            "1\xA7\r\n\r\n\"\r\n")
                                              << QStringList { QString::fromUtf16(u"Ana\uFFFD1\uFFFD") };
        QTest::newRow("utf-8 name without separator")
            << QByteArray("\"Gon\xC3\xA7\x61lo\r\n\"") << QStringList { u"Gonçalo"_s };
    }

    void handEditedContent()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, expected);
        put(content);
        QCOMPARE(lines(), expected);
        // The list reads names alone, straight from the bytes ("ç" in UTF-8 holds byte A7).
        NameList names;
        QCOMPARE(store().readNames(&names), StoreStatus::Ok);
        QStringList expectedNames;
        for (const QString& line : expected)
            expectedNames.append(recordName(line).toString());
        QCOMPARE(names.toStringList(), expectedNames);
        // Every rewrite puts the file back in the canonical layout, in Windows-1252.
        QCOMPARE(store().append(u"Novo§§§§§06/12/2026"_s), StoreStatus::Ok);
        QCOMPARE(bytes(), StoreText::encodeStore(expected + QStringList { u"Novo§§§§§06/12/2026"_s }));
        QStringList written = expected + QStringList { u"Novo§§§§§06/12/2026"_s };
        for (QString& line : written)
            line = Cp1252::decode(Cp1252::encode(line)); // what the code page cannot hold is '?'
        QCOMPARE(lines(), written);
    }

    void appendBuildsTheCanonicalLayout()
    {
        QCOMPARE(store().ensure(), StoreStatus::Ok);
        QCOMPARE(store().append(u"Ana§1§§§§05/12/2026"_s), StoreStatus::Ok);
        QCOMPARE(bytes(),
            QByteArray("\"Ana\xA7"
                       "1\xA7\xA7\xA7\xA7"
                       "05/12/2026\r\n\r\n\"\r\n"));
        put(Example);
        QCOMPARE(store().append(u"Zé§§§§§06/12/2026"_s), StoreStatus::Ok);
        QCOMPARE(bytes(),
            Example.chopped(5)
                + "Z\xE9\xA7\xA7\xA7\xA7\xA7"
                  "06/12/2026\r\n\r\n\"\r\n");
        // A single blank line between records, or an even number after the last: the pairwise
        // blank-line removal would have joined two records on one line.
        put("\"A\xA7"
            "1\r\n\r\nB\xA7"
            "2\r\n\r\n\r\n\r\n\"\r\n");
        QCOMPARE(store().append(u"C§3"_s), StoreStatus::Ok);
        QCOMPARE(lines(), (QStringList { u"A§1"_s, u"B§2"_s, u"C§3"_s }));
    }

    void appendToAMissingFileCreatesIt()
    {
        QCOMPARE(store().append(u"Ana§§§§§"_s), StoreStatus::Ok);
        QCOMPARE(bytes(), QByteArray("\"Ana\xA7\xA7\xA7\xA7\xA7\r\n\r\n\"\r\n"));
    }

    void replaceAndRemoveReadEveryLine()
    {
        // Records beyond any count the window knew of are never lost.
        put("\"A\xA7"
            "1\r\n\r\nB\xA7"
            "2\r\n\r\n\"\r\nC\xA7"
            "3\r\nB\xA7"
            "4\r\n");
        int n = 0;
        QCOMPARE(store().replaceRecords(u"B"_s, u"Bia§9"_s, &n), StoreStatus::Ok);
        QCOMPARE(n, 2);
        QCOMPARE(bytes(),
            QByteArray("\"A\xA7"
                       "1\r\nBia\xA7"
                       "9\r\nC\xA7"
                       "3\r\nBia\xA7"
                       "9\r\n\r\n\"\r\n"));
        QCOMPARE(store().removeRecords(u"Bia"_s, &n), StoreStatus::Ok);
        QCOMPARE(n, 2);
        QCOMPARE(lines(), (QStringList { u"A§1"_s, u"C§3"_s }));
        QCOMPARE(store().removeRecords(u"A"_s, &n), StoreStatus::Ok);
        QCOMPARE(store().removeRecords(u"C"_s, &n), StoreStatus::Ok);
        QCOMPARE(bytes(), EmptyStore);
    }

    void namesMatchExactly()
    {
        put("\"Ana\xA7"
            "1\r\nana\xA7"
            "2\r\n Ana\xA7"
            "3\r\nAna\xA7"
            "4\r\n\r\n\"\r\n");
        std::optional<ContactRecord> found;
        QCOMPARE(store().findRecord(u"Ana"_s, &found), StoreStatus::Ok);
        QVERIFY(found);
        QCOMPARE(found->fone, u"4"_s); // the last record with the name
        QCOMPARE(store().findRecord(u"ana"_s, &found), StoreStatus::Ok);
        QCOMPARE(found->fone, u"2"_s);
        QCOMPARE(store().findRecord(u"ANA"_s, &found), StoreStatus::Ok);
        QVERIFY(!found);
        int n = -1;
        QCOMPARE(store().removeRecords(u"ana"_s, &n), StoreStatus::Ok);
        QCOMPARE(n, 1);
        QCOMPARE(lines(), (QStringList { u"Ana§1"_s, u" Ana§3"_s, u"Ana§4"_s }));
    }

    void noMatchWritesNothing()
    {
        // Hand-edited bytes stay exactly as they are when nothing carries the name.
        const QByteArray content("\"A\xA7"
                                 "1\n\n\n\"");
        put(content);
        int n = -1;
        QCOMPARE(store().replaceRecords(u"Z"_s, u"Z§1"_s, &n), StoreStatus::Ok);
        QCOMPARE(n, 0);
        QCOMPARE(store().removeRecords(u"Z"_s, &n), StoreStatus::Ok);
        QCOMPARE(n, 0);
        QCOMPARE(bytes(), content);
        QFile::remove(path());
        QCOMPARE(store().removeRecords(u"Z"_s, &n), StoreStatus::Ok);
        QVERIFY(!QFile::exists(path()));
    }

    void undefinedBytesAndUtf8Files()
    {
        // Bytes the code page leaves undefined survive a rewrite of another record.
        put("\"A\x81\x8D\x8F\x90\x9D\xA7"
            "1\r\nB\xA7"
            "2\r\n\r\n\"\r\n");
        QCOMPARE(store().replaceRecords(u"B"_s, u"B§3"_s), StoreStatus::Ok);
        QCOMPARE(bytes(),
            QByteArray("\"A\x81\x8D\x8F\x90\x9D\xA7"
                       "1\r\nB\xA7"
                       "3\r\n\r\n\"\r\n"));
        // A UTF-8 file is written back in Windows-1252; what it cannot hold becomes '?'.
        put("\"Jo\xC3\xA3o \xE6\x9D\x8E\xC2\xA7"
            "1\r\n\r\n\"\r\n");
        QCOMPARE(store().append(u"B§2"_s), StoreStatus::Ok);
        QCOMPARE(bytes(),
            QByteArray("\"Jo\xE3o ?\xA7"
                       "1\r\nB\xA7"
                       "2\r\n\r\n\"\r\n"));
        // Names of a UTF-8 file are matched as read, also those the code page cannot hold.
        put("\"\xE6\x9D\x8E\xC2\xA7"
            "1\r\nGon\xC3\xA7\x61lo\xC2\xA7"
            "2\r\n?\xC2\xA7"
            "3\r\n\r\n\"\r\n");
        std::optional<ContactRecord> found;
        QCOMPARE(store().findRecord(QString::fromUtf16(u"李"), &found), StoreStatus::Ok);
        QVERIFY(found);
        QCOMPARE(found->fone, u"1"_s);
        int n = 0;
        QCOMPARE(store().removeRecords(u"Gonçalo"_s, &n), StoreStatus::Ok);
        QCOMPARE(n, 1);
        QCOMPARE(bytes(),
            QByteArray("\"?\xA7"
                       "1\r\n?\xA7"
                       "3\r\n\r\n\"\r\n"));
    }

    void largeStoresReadTheSameByNameAndByLine()
    {
        // Large enough to be read in several pieces; every kind of line end, and UTF-8 once.
        QByteArray content("\"");
        QStringList expected;
        const char* ends[] = { "\r\n", "\n", "\r" };
        for (int i = 0; i < 20000; ++i) {
            const QByteArray name = "Nome \xE7\xE3o " + QByteArray::number(i);
            content += name
                + "\xA7"
                  "(11) 5555\xA7x@y\xA7Rua\xA4"
                  "Casa\xA7nota\xA7"
                  "01/01/2026"
                + ends[i % 3];
            expected.append(Cp1252::decode(name));
        }
        content += "\r\n\"\r\n";
        for (const bool utf8 : { false, true }) {
            put(utf8 ? Cp1252::decode(content).toUtf8() : content);
            NameList names;
            QCOMPARE(store().readNames(&names), StoreStatus::Ok);
            QCOMPARE(names.toStringList(), expected);
            QStringList fromLines = lines();
            for (QString& line : fromLines)
                line = recordName(line).toString();
            QCOMPARE(fromLines, expected);
        }
    }

    void noLockOrTemporaryFileLeftBehind()
    {
        QCOMPARE(store().append(u"A§1"_s), StoreStatus::Ok);
        QCOMPARE(store().replaceRecords(u"A"_s, u"B§1"_s), StoreStatus::Ok);
        QCOMPARE(
            QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList { u"LBcontatos.txt"_s });
    }
};

QTEST_GUILESS_MAIN(TestContactStore)
#include "tst_contactstore.moc"
