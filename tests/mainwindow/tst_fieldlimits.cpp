#include "fieldlimits.h"

#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;

class TestFieldLimits : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keyFilter_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("result");
        const auto accepted = [](int key) { QTest::addRow("%d", key) << key << QString::number(key); };
        const auto refused = [](int key) { QTest::addRow("%d", key) << key << u"0"_s; };
        // Backspace, line breaks, space and the marks at both ends of the list.
        for (int key : { 8, 10, 13, 32, 46, 95, 64, 92, 124, 97, 90 })
            accepted(key);
        // Control characters (copy, paste, cut, tab, escape, delete), the file's own marks
        // (double quote, section sign, currency sign) and other signs.
        for (int key : { 0, 3, 9, 22, 24, 26, 27, 127, 34, 35, 36, 37, 94, 96, 126, 167, 164, 186, 170 })
            refused(key);
        // Latin-1: only the 48 letters of the set, the ones beside them are out.
        for (int key : { 192, 196, 199, 200, 207, 209, 210, 214, 217, 220, 224, 228, 231, 232, 239, 241, 242,
                 246, 249, 252 })
            accepted(key);
        for (int key :
            { 128, 159, 160, 191, 197, 198, 208, 215, 216, 221, 223, 229, 240, 247, 248, 253, 255 })
            refused(key);
        // Past Latin-1 and below zero.
        for (int key : { 256, 0x20AC, 0x7FFF, -1, -32768 })
            refused(key);
    }

    void keyFilter()
    {
        QFETCH(int, key);
        QFETCH(QString, result);
        const qint16 code = qint16(key);
        QCOMPARE(LimitaChars(code), result);
    }

    void setHoldsBackspaceAnd138Characters()
    {
        QCOMPARE(CharsPermitidos.size(), 138);
        int accepted = 0, latin1 = 0;
        for (int key = -1; key <= 300; ++key) {
            if (LimitaChars(qint16(key)) != u"0"_s) {
                ++accepted;
                latin1 += key >= 160;
            }
        }
        QCOMPARE(accepted, 139);
        QCOMPARE(latin1, 48);
    }

    void charactersLeft_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("left");
        QTest::newRow("empty") << QString() << 35 << 35;
        QTest::newRow("tab not counted") << u"a\t"_s << 50 << 49;
        QTest::newRow("CR LF counts two") << u"Rua A\r\nCentro"_s << 100 << 87;
        QTest::newRow("lone CR and LF") << u"\r\n\n\r"_s << 10 << 6;
        QTest::newRow("file marks and signs") << u"\"§¤ºª#$%~`\u00A0"_s << 50 << 50;
        QTest::newRow("accented both cases") << u"ÇÃOçãoÜü"_s << 10 << 2;
        QTest::newRow("letters beside the set") << u"ÅåØøÝýÿß×÷"_s << 10 << 10;
        QTest::newRow("full") << QString(50, u'a') << 50 << 0;
        // Text the program put in a field can pass the limit: the count goes below zero.
        QTest::newRow("over") << QString(52, u'z') << 50 << -2;
        QTest::newRow("beyond Latin-1") << u"€—😀"_s << 5 << 5;
    }

    void charactersLeft()
    {
        QFETCH(QString, text);
        QFETCH(int, limit);
        QFETCH(int, left);
        QCOMPARE(CharsRestantes(text, qint16(limit)), qint16(left));
    }

    void countingDoesNotDependOnTheLocale()
    {
        // Turkish lower-cases "I" to a dotless i, which is not in the set.
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
        const qint16 left = CharsRestantes(u"IIi"_s, 10);
        QLocale::setDefault(before);
        QCOMPARE(left, qint16(7));
    }
};

QTEST_GUILESS_MAIN(TestFieldLimits)
#include "tst_fieldlimits.moc"
