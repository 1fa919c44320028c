#include "fieldlimits.h"

#include <QLocale>
#include <QTest>

using namespace Qt::StringLiterals;

class TestFieldLimits : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void keyFilter()
    {
        // Backspace, line breaks, space, marks at both ends of the list, the Latin-1 letters of
        // the set at the edges of their runs.
        for (int key : { 8, 10, 13, 32, 46, 95, 64, 92, 124, 97, 90, 192, 196, 199, 200, 207, 209, 210, 214,
                 217, 220, 224, 228, 231, 232, 239, 241, 242, 246, 249, 252 })
            QCOMPARE(LimitaChars(qint16(key)), QString::number(key));
        // Control characters (copy 3, paste 22, cut 24, tab, escape, delete), the file's own
        // marks (double quote, "§", "¤"), "º", "ª", the Latin-1 signs and letters beside the set,
        // and codes outside Latin-1.
        for (int key :
            { 0, 3, 9, 22, 24, 26, 27, 127, 34, 35, 36, 94, 96, 126, 167, 164, 186, 170, 128, 159, 160, 191,
                197, 198, 208, 215, 216, 221, 223, 229, 240, 247, 248, 253, 255, 256, 0x20AC, -1, -32768 })
            QCOMPARE(LimitaChars(qint16(key)), u"0"_s);
        int accepted = 0, latin1 = 0;
        for (int key = -1; key <= 300; ++key) {
            const bool ok = LimitaChars(qint16(key)) != u"0"_s;
            accepted += ok;
            latin1 += ok && key >= 160;
        }
        QCOMPARE(accepted, 139); // the set and backspace
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
        QTest::newRow("outside the set") << u"\"§¤ºª#$%~`\u00A0ÅØÝýÿß×÷€😀"_s << 50 << 50;
        QTest::newRow("accented both cases") << u"ÇÃOçãoÜü"_s << 10 << 2;
        // Text the program put in a field can pass the limit: the count goes below zero.
        QTest::newRow("over") << QString(52, u'z') << 50 << -2;
    }

    void charactersLeft()
    {
        QFETCH(QString, text);
        QFETCH(int, limit);
        QFETCH(int, left);
        QCOMPARE(CharsRestantes(text, qint16(limit)), qint16(left));
        // Turkish lower-cases "I" to a dotless i, which is not in the set.
        QLocale::setDefault(QLocale(QLocale::Turkish, QLocale::Turkey));
        QCOMPARE(CharsRestantes(text + u"I"_s, qint16(limit)), qint16(left - 1));
        QLocale::setDefault(QLocale::c());
    }
};

QTEST_GUILESS_MAIN(TestFieldLimits)
#include "tst_fieldlimits.moc"
