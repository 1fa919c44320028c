#include "contactstore.h"
#include "cp1252.h"
#include "filebytes.h"
#include "storetext.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Test files are written as text here: cp() gives their Windows-1252 bytes ("§" is A7, "¤" A4),
// utf8() their UTF-8 bytes.
QByteArray cp(const char16_t* text)
{
    return Cp1252::encode(QString::fromUtf16(text));
}
QByteArray utf8(const char16_t* text)
{
    return QString::fromUtf16(text).toUtf8();
}

const QByteArray EmptyStore("\x22\x0D\x0A\x22\x0D\x0A", 6);

// Two contacts: a two-line address and a note, then a phone only.
const QByteArray Example
    = cp(u"\"Oficina Central§(11) 5555-0101§§Rua Um, 10¤Sala 2§Aberto aos sábados§05/12/2026\r\n"
         u"Padaria Lua§5555-0199§§§§06/12/2026\r\n\r\n\"\r\n");

} // namespace

class TestContactStore : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    ContactStore store() const { return ContactStore(m_dir.path()); }
    QString path() const { return store().path(); }
    QByteArray bytes() const { return readBytes(path()); }
    void put(const QByteArray& content) const { QVERIFY(writeBytes(path(), content)); }
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

    void handEditedContent_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QByteArray>("writtenAs"); // "cp", "utf8" or "bom": how a rewrite encodes it
        const auto row = [](const char* name, const QByteArray& content, const QStringList& expected,
                             const char* writtenAs = "cp") {
            QTest::newRow(name) << content << expected << QByteArray(writtenAs);
        };
        row("blank and space-only lines", cp(u"\"A§1\r\n\r\n   \r\nB§2\r\n\r\n\r\n\"\r\n"),
            { u"A§1"_s, u"B§2"_s });
        row("line without separator", cp(u"\"Solo\r\n\r\n\"\r\n"), { u"Solo"_s });
        row("fields beyond six", cp(u"\"A§1§2§3§4§5§6§7\r\n\r\n\"\r\n"), { u"A§1§2§3§4§5§6§7"_s });
        row("quotes inside are lost", cp(u"\"Ana \"Zica\"§1\r\n\r\n\"\r\n"), { u"Ana Zica§1"_s });
        row("leading space kept", cp(u"\" Ana§1\r\n\r\n\"\r\n"), { u" Ana§1"_s });
        // Where a file has CR LF, only CR LF ends a line: a lone LF or CR was pasted into a field.
        row("lone LF and CR in a CR LF file", cp(u"\"A§§§Rua\nCasa§x\ry\r\nB\r\n\n\""),
            { u"A§§§Rua\nCasa§x\ry"_s, u"B"_s, u"\n"_s });
        // However far the first CR LF stands: past the first read of the name list, too.
        const QString longRecord = u"A§§§§"_s + QString(300 * 1024, u'n');
        row("first record longer than a read",
            Cp1252::encode(u'"' + longRecord + u"\r\nB§§§Rua\nApto 3§\r\n\""_s),
            { longRecord, u"B§§§Rua\nApto 3§"_s });
        // Files an editor saved without any CR LF end lines at either.
        row("LF-only file", cp(u"\"A§1\nB§2\n\n\"\n"), { u"A§1"_s, u"B§2"_s });
        row("CR-only file", cp(u"\"A§1\rB§2\r\r\"\r"), { u"A§1"_s, u"B§2"_s });
        row("no final line break", cp(u"\"A§1\r\nB"), { u"A§1"_s, u"B"_s });
        row("tab-only line is a record", cp(u"\"\t\r\n\"\r\n"), { u"\t"_s });
        row("utf-8 with BOM", "\xEF\xBB\xBF" + utf8(u"\"João§1\r\n\r\n\"\r\n"), { u"João§1"_s }, "bom");
        row("ascii with BOM", "\xEF\xBB\xBF" + utf8(u"\"Joao§1\r\n\r\n\"\r\n"), { u"Joao§1"_s }, "bom");
        row("utf-8 without BOM", utf8(u"\"Conceição§€\r\n\r\n\"\r\n"), { u"Conceição§€"_s }, "utf8");
        // "ç" in UTF-8 holds byte A7, the separator's byte in Windows-1252.
        row("utf-8 name without separator", utf8(u"\"Gonçalo\r\n\""), { u"Gonçalo"_s }, "utf8");
        // A byte-order mark standing alone on a line is a character, not a blank line.
        row("byte-order mark inside", utf8(u"\"José§1\r\n\uFEFF\r\n\r\n\"\r\n"), { u"José§1"_s, u"\uFEFF"_s },
            "utf8");
        // An editor's mark before Windows-1252 bytes: the bytes decide, and the mark goes.
        row("BOM before Windows-1252", "\xEF\xBB\xBF" + cp(u"\"Zé Conceição§1§\r\nÂngela§2\r\n\r\n\"\r\n"),
            { u"Zé Conceição§1§"_s, u"Ângela§2"_s });
    }

    void handEditedContent()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, expected);
        QFETCH(QByteArray, writtenAs);
        put(content);
        QCOMPARE(lines(), expected);
        // The list reads names alone, straight from the bytes.
        NameList names;
        QCOMPARE(store().readNames(&names), StoreStatus::Ok);
        QStringList expectedNames;
        for (const QString& line : expected)
            expectedNames.append(recordName(line).toString());
        QCOMPARE(names.toStringList(), expectedNames);
        // Every rewrite puts the file back in the canonical layout, in the file's own encoding.
        const QStringList written = expected + QStringList { u"Novo§§§§§06/12/2026"_s };
        QCOMPARE(store().append(written.last()), StoreStatus::Ok);
        const QString layout = u'"' + written.join(u"\r\n"_s) + u"\r\n\r\n\"\r\n"_s;
        QCOMPARE(bytes(),
            writtenAs == "cp" ? StoreText::encodeStore(written)
                              : (writtenAs == "bom" ? "\xEF\xBB\xBF" : "") + layout.toUtf8());
        QCOMPARE(lines(), written);
    }

    // Records nobody touched keep every byte through an add, an update and a delete of another,
    // whatever they hold that the program itself would not write; the name changed is matched
    // as read, also where the code page cannot hold it.
    void changesKeepOtherRecordsByteForByte_data()
    {
        QTest::addColumn<QByteArray>("mark");
        QTest::addColumn<QByteArray>("untouched"); // record lines as the file has them
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("utf8");
        const QByteArray bom("\xEF\xBB\xBF");
        const char16_t* other = u"Ωmega§2§§Rua\n😀 Łódź§§05/12/2026\r\nŁukasz Żółć§1§§§§05/12/2026";
        QTest::newRow("lone LF") << QByteArray() << cp(u"Ana§1\r\nBia§2§§Rua Um\nCasa 2§§05/12/2026")
                                 << u"Outro"_s << false;
        QTest::newRow("lone CR") << QByteArray() << cp(u"Ana§1\r\nBia§2§§Rua Um\rCasa 2§§05/12/2026")
                                 << u"Outro"_s << false;
        // Bytes the code page leaves undefined.
        QTest::newRow("undefined bytes")
            << QByteArray() << QByteArray("A\x81\x8D\x8F\x90\x9D") + cp(u"§1\r\nB§2") << u"Gonçalo"_s
            << false;
        QTest::newRow("UTF-8") << QByteArray() << utf8(other) << u"李 Gonçalo"_s << true;
        QTest::newRow("UTF-8 with mark") << bom << utf8(other) << u"Gonçalo"_s << true;
    }

    void changesKeepOtherRecordsByteForByte()
    {
        QFETCH(QByteArray, mark);
        QFETCH(QByteArray, untouched);
        QFETCH(QString, name);
        QFETCH(bool, utf8);
        const auto enc = [utf8](const QString& text) { return utf8 ? text.toUtf8() : Cp1252::encode(text); };
        const auto file = [&](const QString& after) {
            return mark + '"' + untouched + "\r\n" + enc(after) + "\r\n\"\r\n";
        };
        put(file(name + u"§3\r\n"_s));
        const QStringList before = lines();
        QCOMPARE(before.size(), 3);

        QCOMPARE(store().append(u"Novo§§§§§06/12/2026"_s), StoreStatus::Ok);
        QCOMPARE(bytes(), file(name + u"§3\r\nNovo§§§§§06/12/2026\r\n"_s));
        const QString outro = name + u"§9 – 10§§§§06/12/2026"_s;
        QCOMPARE(store().replaceRecords(name, outro), StoreStatus::Ok); // no count asked for
        QCOMPARE(bytes(), file(outro + u"\r\nNovo§§§§§06/12/2026\r\n"_s));
        QCOMPARE(lines().at(2), outro);
        QCOMPARE(store().removeRecords(u"Novo"_s), StoreStatus::Ok);
        int n = 0;
        QCOMPARE(store().removeRecords(name, &n), StoreStatus::Ok);
        QCOMPARE(n, 1);
        QCOMPARE(bytes(), mark + '"' + untouched + "\r\n\r\n\"\r\n");
        QCOMPARE(lines(), before.first(2));
    }

    // Windows-1252 while it holds every character, then UTF-8 with a mark: "Amor ?" or "????" twice
    // would be one contact. "JosÃ©" (no "§", not UTF-8) alone would read as "José".
    void becomesUtf8OnlyWhenItMust_data()
    {
        QTest::addColumn<QByteArray>("change"); // to the records JosÃ©, Zé: add, import, update or delete Zé
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<bool>("utf8");
        const QStringList four { u"Amor 😍§3"_s, u"Иван§4"_s, u"Петр§5"_s, u"Amor 😘§6"_s };
        const QStringList before { u"JosÃ©"_s, u"Zé§2"_s };
        QTest::newRow("add within") << QByteArray("add") << QStringList { u"Zoë €“”§3"_s }
                                    << before + QStringList { u"Zoë €“”§3"_s } << false;
        QTest::newRow("add beyond") << QByteArray("add") << four.first(1) << before + four.first(1) << true;
        QTest::newRow("import") << QByteArray("import") << four << before + four << true;
        QTest::newRow("update") << QByteArray("update") << four.sliced(1, 1)
                                << QStringList { before[0], four[1] } << true;
        QTest::newRow("delete") << QByteArray("delete") << QStringList() << before.first(1) << true;
    }

    void becomesUtf8OnlyWhenItMust()
    {
        QFETCH(QByteArray, change);
        QFETCH(QStringList, lines);
        QFETCH(QStringList, after);
        QFETCH(bool, utf8);
        const auto stored = [utf8](const QStringList& records) {
            const QString text
                = u'"' + records.join(u"\r\n"_s) + u"\r\n"_s.repeated(records.size() > 0) + u"\r\n\"\r\n"_s;
            return utf8 ? "\xEF\xBB\xBF" + text.toUtf8() : Cp1252::encode(text);
        };
        put(cp(u"\"JosÃ©\r\nZé§2\r\n\r\n\"\r\n"));
        bool becameUtf8 = !utf8;
        const StoreStatus status = change == "add" ? store().append(lines[0], &becameUtf8)
            : change == "import"                   ? store().appendNew(lines, nullptr, nullptr, &becameUtf8)
            : change == "update" ? store().replaceRecords(u"Zé"_s, lines[0], nullptr, &becameUtf8)
                                 : store().removeRecords(u"Zé"_s, nullptr, &becameUtf8);
        QCOMPARE(std::pair(status, becameUtf8), std::pair(StoreStatus::Ok, utf8));
        QCOMPARE(bytes(), stored(after));
        // Once only; each name is its own to a delete.
        int removed = 0;
        QCOMPARE(store().removeRecords(recordName(after.last()).toString(), &removed, &becameUtf8),
            StoreStatus::Ok);
        QCOMPARE(std::pair(removed, becameUtf8), std::pair(1, false));
        QCOMPARE(bytes(), stored(after.first(after.size() - 1)));
    }

    void appendBuildsTheCanonicalLayout()
    {
        QCOMPARE(store().append(u"Ana§1§§§§05/12/2026"_s), StoreStatus::Ok); // creates a missing file
        QCOMPARE(bytes(), cp(u"\"Ana§1§§§§05/12/2026\r\n\r\n\"\r\n"));
        put(Example);
        QCOMPARE(ContactRecord::fromLine(lines().value(0)),
            (ContactRecord { u"Oficina Central"_s, u"(11) 5555-0101"_s, {}, u"Rua Um, 10¤Sala 2"_s,
                u"Aberto aos sábados"_s, u"05/12/2026"_s }));
        QCOMPARE(store().append(u"Zé§§§§§06/12/2026"_s), StoreStatus::Ok);
        QCOMPARE(bytes(), Example.chopped(5) + cp(u"Zé§§§§§06/12/2026\r\n\r\n\"\r\n"));
        // A single blank line between records, or an even number after the last: the pairwise
        // blank-line removal would have joined two records on one line.
        put(cp(u"\"A§1\r\n\r\nB§2\r\n\r\n\r\n\r\n\"\r\n"));
        QCOMPARE(store().append(u"C§3"_s), StoreStatus::Ok);
        QCOMPARE(lines(), (QStringList { u"A§1"_s, u"B§2"_s, u"C§3"_s }));
    }

    // An import adds in one rewrite what adding one by one would: names already stored, by the add's
    // comparison, or earlier in the same batch are skipped; the file keeps its encoding.
    void appendNewSkipsTakenNames()
    {
        put(utf8(u"\"José§1\r\nŁukasz§2\r\n\r\n\"\r\n"));
        int added = -1;
        int taken = -1;
        const QStringList batch { u"JOSÉ§9"_s, u"Ωmega§3"_s, u"ana§4"_s, u"Ana§5"_s, u"łukasz§6"_s };
        QCOMPARE(store().appendNew(batch, &added, &taken), StoreStatus::Ok);
        QCOMPARE(std::pair(added, taken), std::pair(2, 3));
        const QByteArray after = utf8(u"\"José§1\r\nŁukasz§2\r\nΩmega§3\r\nana§4\r\n\r\n\"\r\n");
        QCOMPARE(bytes(), after);
        QCOMPARE(store().appendNew({ u"josé§7"_s }, &added, &taken), StoreStatus::Ok);
        QCOMPARE(std::pair(added, taken), std::pair(0, 1));
        QCOMPARE(bytes(), after);
    }

    void replaceAndRemoveReadEveryLine()
    {
        // Records beyond any count the window knew of are never lost.
        put(cp(u"\"A§1\r\n\r\nB§2\r\n\r\n\"\r\nC§3\r\nB§4\r\n"));
        int n = 0;
        QCOMPARE(store().replaceRecords(u"B"_s, u"Bia§9"_s, &n), StoreStatus::Ok);
        QCOMPARE(n, 2);
        QCOMPARE(bytes(), cp(u"\"A§1\r\nBia§9\r\nC§3\r\nBia§9\r\n\r\n\"\r\n"));
        QCOMPARE(store().removeRecords(u"Bia"_s, &n), StoreStatus::Ok);
        QCOMPARE(n, 2);
        QCOMPARE(lines(), (QStringList { u"A§1"_s, u"C§3"_s }));
        QCOMPARE(store().removeRecords(u"A"_s, &n), StoreStatus::Ok);
        QCOMPARE(store().removeRecords(u"C"_s, &n), StoreStatus::Ok);
        QCOMPARE(bytes(), EmptyStore);
        // No lock or temporary file is left behind by the saves.
        QCOMPARE(
            QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList { u"LBcontatos.txt"_s });
    }

    // A change finds its records by the name as the file holds it: the same characters in the
    // file's encoding, up to the first separator, and nothing more.
    void changesFindTheNameAsStored_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("newLine"); // none: a delete
        QTest::addColumn<QStringList>("after");
        const QByteArray twins = cp(u"\"Zé§1\r\nZéa§2\r\nZé\r\nZé§3\r\n\r\n\"\r\n");
        QTest::newRow("delete") << twins << u"Zé"_s << QString() << QStringList { u"Zéa§2"_s };
        // The first one replaced makes the file UTF-8: the next is still found.
        QTest::newRow("update that makes it UTF-8")
            << twins << u"Zé"_s << u"Zé 😍§4"_s
            << QStringList { u"Zé 😍§4"_s, u"Zéa§2"_s, u"Zé 😍§4"_s, u"Zé 😍§4"_s };
        QTest::newRow("a name with the separator")
            << twins << u"Zé§1"_s << QString() << QStringList { u"Zé§1"_s, u"Zéa§2"_s, u"Zé"_s, u"Zé§3"_s };
        QTest::newRow("beyond the code page")
            << cp(u"\"Z?§1\r\n\r\n\"\r\n") << u"Z😍"_s << QString() << QStringList { u"Z?§1"_s };
        QTest::newRow("undefined byte") << QByteArray("\"A\x81") + cp(u"§1\r\nA§2\r\n\r\n\"\r\n")
                                        << u"A\u0081"_s << QString() << QStringList { u"A§2"_s };
        QTest::newRow("UTF-8") << utf8(u"\"李§1\r\n李李§2\r\n\r\n\"\r\n") << u"李"_s << QString()
                               << QStringList { u"李李§2"_s };
    }

    void changesFindTheNameAsStored()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, name);
        QFETCH(QString, newLine);
        QFETCH(QStringList, after);
        put(file);
        int n = -1;
        const StoreStatus status
            = newLine.isEmpty() ? store().removeRecords(name, &n) : store().replaceRecords(name, newLine, &n);
        QCOMPARE(status, StoreStatus::Ok);
        QCOMPARE(lines(), after);
    }

    void namesMatchExactly()
    {
        // Hand-edited bytes stay exactly as they are when nothing carries the name.
        const QByteArray content = cp(u"\"Ana§1\nana§2\n Ana§3\nAna§4\n\n\n\"");
        put(content);
        int n = -1;
        QCOMPARE(store().replaceRecords(u"ANA"_s, u"Z§1"_s, &n), StoreStatus::Ok);
        QCOMPARE(n, 0);
        QCOMPARE(store().removeRecords(u"Ana "_s, &n), StoreStatus::Ok);
        QCOMPARE(n, 0);
        QCOMPARE(bytes(), content);
        std::optional<ContactRecord> found;
        QCOMPARE(store().findRecord(u"Ana"_s, &found), StoreStatus::Ok);
        QVERIFY(found);
        QCOMPARE(found->fone, u"4"_s); // the last record with the name
        QCOMPARE(store().findRecord(u"ana"_s, &found), StoreStatus::Ok);
        QCOMPARE(found->fone, u"2"_s);
        QCOMPARE(store().findRecord(u"ANA"_s, &found), StoreStatus::Ok);
        QVERIFY(!found);
        QCOMPARE(store().removeRecords(u"ana"_s, &n), StoreStatus::Ok);
        QCOMPARE(n, 1);
        QCOMPARE(lines(), (QStringList { u"Ana§1"_s, u" Ana§3"_s, u"Ana§4"_s }));
        // No file, nothing to remove: none is created.
        QFile::remove(path());
        QCOMPARE(store().removeRecords(u"Z"_s, &n), StoreStatus::Ok);
        QVERIFY(!QFile::exists(path()));
    }

    void largeStoresReadTheSameByNameAndByLine()
    {
        // Large enough to be read in several pieces; CR LF, or lone LF and CR, and UTF-8 once.
        QStringList expected;
        QString crLf(u'"'), lone(u'"');
        for (int i = 0; i < 20000; ++i) {
            expected.append(u"Nome ção "_s + QString::number(i));
            const QString line = expected.last() + u"§(11) 5555§x@y§Rua¤Casa§nota§01/01/2026"_s;
            crLf += line + u"\r\n"_s;
            lone += line + (i % 2 ? u"\n"_s : u"\r"_s);
        }
        for (const QString& content : { crLf, lone })
            for (const QByteArray& bytes : { Cp1252::encode(content), content.toUtf8() }) {
                put(bytes);
                NameList names;
                QCOMPARE(store().readNames(&names), StoreStatus::Ok);
                QCOMPARE(names.toStringList(), expected);
                QStringList fromLines = lines();
                for (QString& line : fromLines)
                    line = recordName(line).toString();
                QCOMPARE(fromLines, expected);
            }
        // Made UTF-8 by one name, every line is written anew, in more pieces than one call takes.
        put(Cp1252::encode(crLf));
        QCOMPARE(store().append(u"Amor 😍"_s), StoreStatus::Ok);
        QCOMPARE(bytes(), "\xEF\xBB\xBF" + (crLf + u"Amor 😍\r\n\r\n\"\r\n"_s).toUtf8());
    }
};

QTEST_GUILESS_MAIN(TestContactStore)
#include "tst_contactstore.moc"
