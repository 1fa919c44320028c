#include "contactrecord.h"
#include "cp1252.h"
#include "recordlines.h"

#include <QTest>

using namespace Qt::StringLiterals;

// A record as a line of text, and text as the file's bytes.
class TestRecordText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void formatting_data()
    {
        QTest::addColumn<QStringList>("fields");
        QTest::addColumn<QString>("line");
        const auto row = [](const char* name, QStringList fields, const char16_t* line) {
            QTest::newRow(name) << fields << QString::fromUtf16(line);
        };
        row("example",
            { u"Oficina Central"_s, u"(11) 5555-0101"_s, {}, u"Rua Um, 10\r\nSala 2"_s,
                u"Aberto aos sábados"_s },
            u"Oficina Central§(11) 5555-0101§§Rua Um, 10¤Sala 2§Aberto aos sábados§05/12/2026");
        row("only spaces are trimmed", { u"  Ana  Maria "_s, u"\t5555 "_s, {}, {}, {} },
            u"Ana  Maria§\t5555§§§§05/12/2026");
        row("break at the end of the address", { u"A"_s, {}, {}, u"Rua A\r\n"_s, u" \r\nx"_s },
            u"A§§§Rua A¤§¤x§05/12/2026");
        row("lone CR and LF in multi-line fields", { u"A"_s, {}, {}, u"a\rb\nc\n\rd"_s, {} },
            u"A§§§a¤b¤c¤¤d§§05/12/2026");
        row("breaks in single-line fields", { u"Ana\r\nMaria"_s, u"1\n2"_s, u"a@b\r"_s, {}, {} },
            u"Ana Maria§1 2§a@b§§§05/12/2026");
        row("markers and quotes removed", { u"\"Ana\" §1"_s, u"§"_s, {}, {}, u"x\"y"_s },
            u"Ana 1§§§§xy§05/12/2026");
        row("controls removed", { u"A\u0001n\u007Fa\u0085"_s, {}, {}, {}, {} }, u"Ana§§§§§05/12/2026");
        row("undefined code page bytes kept", { u"A\u0081\u009D"_s, {}, {}, {}, {} },
            u"A\u0081\u009D§§§§§05/12/2026");
        // Left to the store, which keeps them in a UTF-8 file; half a pair no file can hold.
        row("outside the code page",
            { u"Zoë 李 \U0001F600"_s + QChar(0xDC00) + QChar(0xD800) + u"x"_s, {}, {}, {}, {} },
            u"Zoë 李 \U0001F600x§§§§§05/12/2026");
    }

    void formatting()
    {
        QFETCH(QStringList, fields);
        QFETCH(QString, line);
        QCOMPARE(formatRecord(fields[0], fields[1], fields[2], fields[3], fields[4], u"05/12/2026"_s), line);
    }

    void dateUsesTheLocaleSeparator()
    {
        const QDate day(2026, 12, 5);
        QCOMPARE(formatRecordDate(day, QLocale(QLocale::Portuguese, QLocale::Brazil)), u"05/12/2026"_s);
        QCOMPARE(formatRecordDate(day, QLocale(QLocale::German, QLocale::Germany)), u"05.12.2026"_s);
        // Month-first locales still store day first; only the separator is the locale's.
        QCOMPARE(formatRecordDate(QDate(2026, 1, 9), QLocale(QLocale::English, QLocale::UnitedStates)),
            u"09/01/2026"_s);
        QCOMPARE(formatRecordDate(day, QLocale(QLocale::Dutch, QLocale::Netherlands)), u"05-12-2026"_s);
        QCOMPARE(formatRecordDate(day, QLocale::c()), u"05/12/2026"_s);
    }

    void highBlock()
    {
        QCOMPARE(Cp1252::decode("\x80\x93\x94\x8A\x9F"), u"€“”ŠŸ"_s);
        // The five undefined bytes read as the C1 characters of the same number.
        QCOMPARE(Cp1252::decode("\x81\x8D\x8F\x90\x9D"), u"\u0081\u008D\u008F\u0090\u009D"_s);
        QCOMPARE(Cp1252::decode("\xA7\xA4\xE7\xC3"), u"§¤çÃ"_s);
    }

    void unmappableBecomesQuestionMark()
    {
        // A C1 character the code page does not hold, a CJK character, an emoji (one '?' for
        // the surrogate pair) and a lone surrogate.
        QCOMPARE(Cp1252::encode(u"a\u0080b\u4E2Dc\U0001F600d"_s), QByteArray("a?b?c?d"));
        QCOMPARE(Cp1252::encode(QString(QChar(0xD800))), QByteArray("?"));
        QCOMPARE(Cp1252::encode(u"€"_s), QByteArray("\x80"));
    }

    void fileDecoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("bom only ascii") << QByteArray("\xEF\xBB\xBF") << QString();
        // Valid UTF-8 in form but a cp1252 file in fact would need every high byte to pair
        // up; one stray byte makes the whole file cp1252.
        QTest::newRow("mixed") << QByteArray("Jos\xC3\xA9 e \xE9") << u"JosÃ© e é"_s;
        QTest::newRow("overlong") << QByteArray("\xC0\xAF") << u"À¯"_s;
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << u"í\u00A0€"_s;
        QTest::newRow("truncated") << QByteArray("ab\xE2\x82") << u"abâ‚"_s;
    }

    void fileDecoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const RecordLines lines(bytes);
        QCOMPARE(lines.texts(), text.isEmpty() ? QStringList() : QStringList { text });
    }
};

QTEST_GUILESS_MAIN(TestRecordText)
#include "tst_recordtext.moc"
