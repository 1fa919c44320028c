#include "synccard.h"

#include <QTest>

using namespace Qt::StringLiterals;
using SyncCard::Fields;

namespace {

// A phone's card: a photo folded over lines, a labelled second phone in an item group, a
// birthday and an X- property the program knows nothing of.
const QByteArray Phone30
    = "BEGIN:VCARD\r\n"
      "VERSION:3.0\r\n"
      "PRODID:-//Phone//EN\r\n"
      "UID:1b2c\r\n"
      "N:Souza;Ana;;;\r\n"
      "FN:Ana Souza\r\n"
      "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQAAAQABAAD/2wBDAAgGBgcGBQgHBwcJCQgK\r\n"
      " DBQNDAsLDBkSEw8UHRofHh0aHBwgJC4nICIsIxwcKDcpLDAxNDQ0Hyc5PTgyPC4zNDL/2wBDAQkJ\r\n"
      "item1.TEL;TYPE=CELL:+55 11 91234-5678\r\n"
      "item1.X-ABLabel:celular\r\n"
      "TEL;TYPE=WORK,PREF:+55 11 3333-4444\r\n"
      "EMAIL;TYPE=INTERNET:ana@example.com\r\n"
      "BDAY:1990-04-01\r\n"
      "X-SOCIALPROFILE;TYPE=twitter:ana\r\n"
      "END:VCARD\r\n";

const QByteArray Uri40 = "BEGIN:VCARD\n"
                         "VERSION:4.0\n"
                         "FN:Bia\n"
                         "TEL;VALUE=uri;TYPE=\"voice,cell\":tel:+55-21-5555-0000\n"
                         "ORG:Loja\n"
                         "END:VCARD\n";

const QByteArray Card21 = "BEGIN:VCARD\r\n"
                          "VERSION:2.1\r\n"
                          "N:Lima;Caio\r\n"
                          "FN:Caio Lima\r\n"
                          "TEL;CELL;PREF:11988887777\r\n"
                          "NOTE;ENCODING=QUOTED-PRINTABLE:linha um=0D=0A=\r\n"
                          "linha dois\r\n"
                          "END:VCARD\r\n";

} // namespace

class TestSyncCard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void read_data();
    void read();
    void patch_data();
    void patch();
};

void TestSyncCard::read_data()
{
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<QString>("fields"); // nome|fone|mail|endereco|complemento

    // The preferred phone, not the first; the labelled cell phone never lands in the complement.
    QTest::newRow("phone's 3.0") << Phone30 << u"Ana Souza|+55 11 3333-4444|ana@example.com||"_s;
    QTest::newRow("4.0 tel uri") << Uri40 << u"Bia|+55-21-5555-0000|||"_s;
    QTest::newRow("2.1 soft line break") << Card21 << u"Caio Lima|11988887777|||linha um¤linha dois"_s;
    QTest::newRow("no name") << QByteArray("BEGIN:VCARD\r\nVERSION:3.0\r\nTEL:1\r\nEND:VCARD\r\n") << u"-"_s;
    QTest::newRow("cut short") << Phone30.first(60) << u"-"_s;
}

void TestSyncCard::read()
{
    QFETCH(QByteArray, card);
    QFETCH(QString, fields);
    const std::optional<Fields> f = SyncCard::read(card);
    const QString got
        = f ? QStringList { f->nome, f->fone, f->mail, f->endereco, f->complemento }.join(u'|') : u"-"_s;
    QCOMPARE(got, fields);
}

void TestSyncCard::patch_data()
{
    QTest::addColumn<QByteArray>("card");
    QTest::addColumn<QString>("to"); // nome|fone|mail|endereco|complemento; the card's own fields are "from"
    QTest::addColumn<QByteArray>("removed"); // lines that go, in the card's order
    QTest::addColumn<QByteArray>("added"); // what takes their place (or comes before END)

    QTest::newRow("preferred phone, group and photo kept")
        << Phone30 << u"Ana Souza|+55 11 2222-1111|ana@example.com||"_s
        << QByteArray("TEL;TYPE=WORK,PREF:+55 11 3333-4444\r\n")
        << QByteArray("TEL;TYPE=WORK,PREF:+55 11 2222-1111\r\n");
    QTest::newRow("rename: FN and N") << Phone30 << u"Ana Souza Lima|+55 11 3333-4444|ana@example.com||"_s
                                      << QByteArray("N:Souza;Ana;;;\r\nFN:Ana Souza\r\n")
                                      << QByteArray("N:;Ana Souza Lima;;;\r\nFN:Ana Souza Lima\r\n");
    QTest::newRow("e-mail emptied: its line goes")
        << Phone30 << u"Ana Souza|+55 11 3333-4444|||"_s
        << QByteArray("EMAIL;TYPE=INTERNET:ana@example.com\r\n") << QByteArray();
    QTest::newRow("address and note added, escaped")
        << Phone30 << u"Ana Souza|+55 11 3333-4444|ana@example.com|Rua A, 1¤Centro|casa; fundos"_s
        << QByteArray() << QByteArray("ADR:;;Rua A\\, 1\\nCentro;;;;\r\nNOTE:casa\\; fundos\r\n");
    QTest::newRow("4.0 tel uri stays a uri")
        << Uri40 << u"Bia|+55-21-5555-1111|||"_s
        << QByteArray("TEL;VALUE=uri;TYPE=\"voice,cell\":tel:+55-21-5555-0000\n")
        << QByteArray("TEL;VALUE=uri;TYPE=\"voice,cell\":tel:+55-21-5555-1111\n");
    QTest::newRow("2.1 note in quoted-printable UTF-8")
        << Card21 << u"Caio Lima|11988887777|||ação¤fim"_s
        << QByteArray("NOTE;ENCODING=QUOTED-PRINTABLE:linha um=0D=0A=\r\nlinha dois\r\n")
        << QByteArray("NOTE;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:a=C3=A7=C3=A3o=0D=0Afim\r\n");
    QTest::newRow("long note folded at 75 octets")
        << Uri40 << u"Bia|+55-21-5555-0000|||"_s + QString(80, u'x') << QByteArray()
        << "NOTE:" + QByteArray(70, 'x') + "\n " + QByteArray(10, 'x') + "\n";
}

void TestSyncCard::patch()
{
    QFETCH(QByteArray, card);
    QFETCH(QString, to);
    QFETCH(QByteArray, removed);
    QFETCH(QByteArray, added);
    const QStringList p = to.split(u'|');
    const Fields target { p[0], p[1], p[2], p[3], p[4] };
    const QByteArray patched = SyncCard::patch(card, *SyncCard::read(card), target);

    QByteArray expected = card;
    if (removed.isEmpty())
        expected.insert(expected.indexOf("END:VCARD"), added);
    else
        expected.replace(removed, added);
    QCOMPARE(patched, expected);
    // And it reads back as the fields it was given.
    QCOMPARE(SyncCard::read(patched), std::optional(target));
}

QTEST_GUILESS_MAIN(TestSyncCard)
#include "tst_synccard.moc"
