#include "cp1252.h"
#include "recordlines.h"

#include <QTest>

class TestCp1252 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void highBlock()
    {
        QCOMPARE(Cp1252::decode("\x80\x93\x94\x8A\x9F"), QString::fromUtf16(u"€“”ŠŸ"));
        // The five undefined bytes read as the C1 characters of the same number.
        QCOMPARE(
            Cp1252::decode("\x81\x8D\x8F\x90\x9D"), QString::fromUtf16(u"\u0081\u008D\u008F\u0090\u009D"));
        QCOMPARE(Cp1252::decode("\xA7\xA4\xE7\xC3"), QString::fromUtf16(u"§¤çÃ"));
    }

    void unmappableBecomesQuestionMark()
    {
        // A C1 character the code page does not hold, a CJK character, an emoji (one '?' for
        // the surrogate pair) and a lone surrogate.
        QCOMPARE(Cp1252::encode(QString::fromUtf16(u"a\u0080b\u4E2Dc\U0001F600d")), QByteArray("a?b?c?d"));
        QCOMPARE(Cp1252::encode(QString(QChar(0xD800))), QByteArray("?"));
        QCOMPARE(Cp1252::encode(QString::fromUtf16(u"€")), QByteArray("\x80"));
    }

    void fileDecoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("bom only ascii") << QByteArray("\xEF\xBB\xBF") << QString();
        // Valid UTF-8 in form but a cp1252 file in fact would need every high byte to pair
        // up; one stray byte makes the whole file cp1252.
        QTest::newRow("mixed") << QByteArray("Jos\xC3\xA9 e \xE9") << QString::fromUtf16(u"JosÃ© e é");
        QTest::newRow("overlong") << QByteArray("\xC0\xAF") << QString::fromUtf16(u"À¯");
        QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QString::fromUtf16(u"í\u00A0€");
        QTest::newRow("truncated") << QByteArray("ab\xE2\x82") << QString::fromUtf16(u"abâ‚");
    }

    void fileDecoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const RecordLines lines(bytes);
        QCOMPARE(lines.texts(), text.isEmpty() ? QStringList() : QStringList { text });
    }
};

QTEST_GUILESS_MAIN(TestCp1252)
#include "tst_cp1252.moc"
