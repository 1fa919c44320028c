#include "cp1252.h"
#include "vcard.h"

#include <QFile>
#include <QStringEncoder>
#include <QTest>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Contacts flattened to their five fields each, so a table column can hold them.
QStringList fields(const QList<VCard::Contact>& contacts)
{
    QStringList out;
    for (const VCard::Contact& c : contacts)
        out << c.nome << c.fone << c.mail << c.endereco << c.complemento;
    return out;
}

QByteArray crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

// A card of fields as the store keeps them: line breaks of address and complement as "¤".
ContactRecord record(const QStringList& f, const QString& date = u"05/12/2026"_s)
{
    return { f.value(0), f.value(1), f.value(2), f.value(3), f.value(4), date };
}

QStringList shown(const ContactRecord& r)
{
    const QString quebra { QChar(MarcaQuebra) };
    return { r.nome, r.fone, r.mail, QString(r.endereco).replace(quebra, u"\r\n"_s),
        QString(r.complemento).replace(quebra, u"\r\n"_s) };
}

// Reads the file in a child whose address space may grow by 64 MiB at most: a reader that copies
// per parameter or per line runs out there. ASan reserves its heap up front, beyond such a limit's
// sight, so its build checks the result alone.
bool readsInBoundedMemory(const QByteArray& file)
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#endif
#endif
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return false;
    const rlim_t pages = statm.readLine().split(' ').value(0).toULongLong();
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit { pages * sysconf(_SC_PAGESIZE) + (64 << 20), RLIM_INFINITY };
        setrlimit(RLIMIT_AS, &limit);
        try {
            VCard::read(file);
        } catch (...) {
            _exit(1);
        }
        _exit(0);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

class TestVCard : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // One card per exporter, written from the RFCs and from what each exporter emits.
    void readsWhatExportersWrite_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expected");

        // A phone's 2.1 export: UTF-8 in QUOTED-PRINTABLE, soft breaks (one inside "ã"), bare types.
        QTest::newRow("phone 2.1") << crlf(
            "BEGIN:VCARD\n"
            "VERSION:2.1\n"
            "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Concei=C3=A7=C3=A3o;Maria;;;\n"
            "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:Maria Concei=C3=A7=C3=\n"
            "=A3o\n"
            "TEL;HOME:+55 11 5555-0101\n"
            "TEL;CELL;PREF:+55 11 91234-5678\n"
            "EMAIL;HOME:maria@exemplo.com.br\n"
            "ADR;HOME;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:;;Rua S=C3=A3o Jo=C3=\n"
            "=A3o, 10;S=C3=A3o Paulo;SP;01310-100;Brasil\n"
            "NOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Anivers=C3=A1rio=0D=0ALigar =\n"
            "depois das 18h\n"
            "END:VCARD\n")
                                   << QStringList { u"Maria Conceição"_s, u"+55 11 91234-5678"_s,
                                          u"maria@exemplo.com.br"_s,
                                          u"Rua São João, 10\r\n01310-100 São Paulo - SP\r\nBrasil"_s,
                                          u"Aniversário\r\nLigar depois das 18h\r\n+55 11 5555-0101"_s };
        // Web mail 3.0: TYPE lists, repeated TYPE, item groups with labels, escapes in structured values.
        QTest::newRow("web mail 3.0")
            << crlf(
                   "BEGIN:VCARD\n"
                   "VERSION:3.0\n"
                   "FN:João da Silva\n"
                   "N:da Silva;João;;;\n"
                   "EMAIL;TYPE=INTERNET;TYPE=HOME:joao@gmail.com\n"
                   "item1.EMAIL;TYPE=INTERNET,WORK,pref:joao@empresa.com.br\n"
                   "item1.X-ABLabel:Trabalho\n"
                   "TEL;TYPE=CELL:(11) 98888-7777\n"
                   "item2.TEL:+55 21 3333-4444\n"
                   "item3.ADR;TYPE=HOME:;;Av. Atlântica\\, 500\\nApto 12;Rio de Janeiro;RJ;22010-000;Brasil\n"
                   "NOTE:Congresso\\; levar cartão\n"
                   "END:VCARD\n")
            << QStringList { u"João da Silva"_s, u"(11) 98888-7777"_s, u"joao@empresa.com.br"_s,
                   u"Av. Atlântica, 500\r\nApto 12\r\n22010-000 Rio de Janeiro - RJ\r\nBrasil"_s,
                   u"Congresso; levar cartão\r\n+55 21 3333-4444\r\njoao@gmail.com"_s };
        // A desktop address book's 3.0: a byte-order mark, LF only, folded lines, no FN (N in reading
        // order), a photo folded over many lines, an empty ADR before the real one.
        QTest::newRow("desktop 3.0")
            << QByteArray("\xEF\xBB\xBF"
                          "BEGIN:VCARD\n"
                          "VERSION:3.0\n"
                          "N:Souza;Ana;Maria;Dra.;\n"
                          "FN:\n"
                          "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQSkZJRgABAQEASABIAAD=\n"
                          " /2wBDAAMCAgMCAgMDAwMEAwMEBQgFBQQEBQoHBwYIDAoMDAsKCwsNDhIQ\n"
                          "ADR;TYPE=WORK:;;;;;;\n"
                          "ADR;TYPE=HOME:;Bloco B;Rua das Flores\\, 7;Curitiba;;;\n"
                          "NOTE:Uma nota longa que o programa dobrou em duas linhas\n"
                          "  no meio de uma palavra: conti\n"
                          " nua aqui.\n"
                          "END:VCARD\n")
            << QStringList { u"Dra. Ana Maria Souza"_s, {}, {}, u"Rua das Flores, 7\r\nBloco B\r\nCuritiba"_s,
                   u"Uma nota longa que o programa dobrou em duas linhas no meio de uma "
                   u"palavra: continua aqui."_s };
        // 4.0: PREF=1 among several, tel: URIs, a quoted parameter holding ':' and ';'; two cards.
        QTest::newRow("4.0 with PREF=1")
            << crlf("BEGIN:VCARD\n"
                    "VERSION:4.0\n"
                    "FN:Pedro Álvares\n"
                    "TEL;VALUE=uri;TYPE=\"voice,home\":tel:+55-61-5555-0000\n"
                    "TEL;VALUE=uri;PREF=1;TYPE=cell:tel:+55-61-99999-0000\n"
                    "EMAIL;PREF=2:p@a.br\n"
                    "EMAIL;PREF=1:pedro@a.br\n"
                    "ADR;LABEL=\"Ed. Central: sala 3; Brasília\";TYPE=work:;;Ed. Central;Brasília;DF;;\n"
                    "END:VCARD\n"
                    "BEGIN:VCARD\n"
                    "VERSION:4.0\n"
                    "FN:Zé\n"
                    "END:VCARD\n")
            << QStringList { u"Pedro Álvares"_s, u"+55-61-99999-0000"_s, u"pedro@a.br"_s,
                   u"Ed. Central\r\nBrasília - DF"_s, u"+55-61-5555-0000\r\np@a.br"_s, u"Zé"_s, {}, {}, {},
                   {} };
        // 2.1 in ISO-8859-1, with a QUOTED-PRINTABLE note; 2.1 unfolding keeps the white space.
        QTest::newRow("2.1 ISO-8859-1") << crlf("BEGIN:VCARD\n"
                                                "VERSION:2.1\n"
                                                "FN;CHARSET=ISO-8859-1:Jos\xE9 Ara\xFAjo\n"
                                                "TEL;WORK;VOICE:0800\n"
                                                "NOTE;CHARSET=ISO-8859-1;QUOTED-PRINTABLE:Caf=E9 =\n"
                                                "=E0 tarde\n"
                                                "ADR;CHARSET=ISO-8859-1:;;Pra\xE7\x61 da S\xE9\n"
                                                " 1;S\xE3o Paulo\n"
                                                "END:VCARD\n")
                                        << QStringList { u"José Araújo"_s, u"0800"_s, {},
                                               u"Praça da Sé 1\r\nSão Paulo"_s, u"Café à tarde"_s };
        QTest::newRow("escapes") << crlf("BEGIN:VCARD\nFN:a\\\\b\\,c\\;d\\Ne\\:f\\x\\\nEND:VCARD\n")
                                 << QStringList { u"a\\b,c;d\r\ne:f\\x\\"_s, {}, {}, {}, {} };
        QTest::newRow("no name") << crlf("BEGIN:VCARD\nVERSION:3.0\nFN: \nTEL:1\nEND:VCARD\n")
                                 << QStringList { {}, u"1"_s, {}, {}, {} };
        QTest::newRow("empty file") << QByteArray() << QStringList();
        QTest::newRow("only BEGIN") << QByteArray("BEGIN:VCARD\r\n") << QStringList();
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        quint32 x = 12345;
        for (char& c : noise)
            c = char((x = x * 1103515245 + 12345) >> 16);
        QTest::newRow("binary") << noise << QStringList();
        // Bytes that are not UTF-8 and name no charset are the Windows code page.
        QTest::newRow("Windows-1252") << QByteArray("BEGIN:VCARD\nFN:\x93Z\xE9\x94\nEND:VCARD")
                                      << QStringList { u"“Zé”"_s, {}, {}, {}, {} };
        QTest::newRow("garbage") << QByteArray("Nome;Telefone\nAna;5555\nEND:VCARD\n:\n;;:\n")
                                 << QStringList();
        // A card cut short, then another: only the whole one.
        QTest::newRow("cut short") << crlf("BEGIN:VCARD\nFN:Meio\nBEGIN:VCARD\nFN:Inteiro\nEND:VCARD\n")
                                   << QStringList { u"Inteiro"_s, {}, {}, {}, {} };
        // A 2.1 AGENT's card is part of its holder, not a contact of its own.
        QTest::newRow("agent") << crlf(
            "BEGIN:VCARD\nVERSION:2.1\nFN:Chefe\nAGENT:\nBEGIN:VCARD\nFN:Secretária\n"
            "END:VCARD\nTEL:1\nEND:VCARD\n")
                               << QStringList { u"Chefe"_s, u"1"_s, {}, {}, {} };
        // A QUOTED-PRINTABLE value that wrongly ends in '=' does not swallow the card's end.
        QTest::newRow("soft break at the end") << crlf("BEGIN:VCARD\nFN;QUOTED-PRINTABLE:Ana=\nEND:VCARD\n")
                                               << QStringList { u"Ana"_s, {}, {}, {}, {} };
        // Nor the next card's BEGIN, when its card was cut short, nor the next property; a line that
        // only looks a little like one goes on the value.
        QTest::newRow("soft break at a cut")
            << crlf("BEGIN:VCARD\nVERSION:2.1\nFN:Meio\nNOTE;ENCODING=QUOTED-PRINTABLE:corta=\nBEGIN:VCARD\n"
                    "VERSION:2.1\nFN:Inteiro\nNOTE;QUOTED-PRINTABLE:Hor=C3=A1=\nrio: "
                    "8h=\nitem1.TEL;CELL:1\nEND:VCARD\n")
            << QStringList { u"Inteiro"_s, u"1"_s, {}, {}, u"Horário: 8h"_s };
        QTest::newRow("base64 text") << crlf(
            "BEGIN:VCARD\nVERSION:3.0\nFN;ENCODING=b:Sm/Do28=\nEND:VCARD\nBEGIN:VCARD\nVERSION:2.1\nFN:Ana\n"
            "NOTE;CHARSET=ISO-8859-1;BASE64:\n  Q2Fm6SDgIHRh\n  cmRl\n\nEND:VCARD\n")
                                     << QStringList { u"João"_s, {}, {}, {}, {}, u"Ana"_s, {}, {}, {},
                                            u"Café à tarde"_s };
        // UTF-16 with its mark: a charset a value names was the file's before it was UTF-16.
        const QString utf16 = u"BEGIN:VCARD\r\nFN;CHARSET=ISO-8859-1:João 😀\r\nTEL:1\r\nEND:VCARD\r\n"_s;
        for (const auto& [order, row] : { std::pair(QStringConverter::Utf16LE, "UTF-16 LE"),
                 std::pair(QStringConverter::Utf16BE, "UTF-16 BE") })
            QTest::newRow(row) << QByteArray(
                QStringEncoder(order, QStringConverter::Flag::WriteBom).encode(utf16))
                               << QStringList { u"João 😀"_s, u"1"_s, {}, {}, {} };
        // A property line longer than any field (40 MB of parameters, a note folded past 64 KiB)
        // refuses its card, quickly and without copies; a photo has room for megabytes.
        QByteArray huge = "BEGIN:VCARD\nFN:Grande\nTEL" + QByteArray(40'000'000, ';')
            + ":1\nEND:VCARD\n"
              "BEGIN:VCARD\nFN:Longa\nNOTE:";
        for (int i = 0; i < 1100; ++i)
            huge += QByteArray(60, 'a') + "\n ";
        huge += "\nEND:VCARD\nBEGIN:VCARD\nFN:Inteiro\nPHOTO;ENCODING=b:";
        for (int i = 0; i < 16'000; ++i)
            huge += QByteArray(72, 'A') + "\n ";
        QTest::newRow("huge lines") << huge + "\nEND:VCARD\n" << QStringList { u"Inteiro"_s, {}, {}, {}, {} };
    }

    void readsWhatExportersWrite()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, expected);
        QVERIFY(readsInBoundedMemory(file));
        QCOMPARE(fields(VCard::read(file)), expected);
    }

    // A folded line reads the same wherever the fold falls, inside a UTF-8 character included.
    void foldingAtEveryPosition()
    {
        const QByteArray line = u"NOTE:Pão de queijo\\, café ☕ e 😀 às 8h"_s.toUtf8();
        const QString expected = u"Pão de queijo, café ☕ e 😀 às 8h"_s;
        for (qsizetype at = 1; at < line.size(); ++at) {
            const QByteArray card = "BEGIN:VCARD\r\nFN:x\r\n" + line.first(at) + "\r\n " + line.sliced(at)
                + "\r\nEND:VCARD\r\n";
            QCOMPARE(VCard::read(card).value(0).complemento, expected);
        }
    }

    // Export then import gives back the five fields, line breaks included; the card is 3.0 in UTF-8
    // with CR LF, no line over 75 octets.
    void exportThenImport_data()
    {
        QTest::addColumn<QStringList>("fields5"); // name, phone, e-mail, address, complement
        const QString accents = u"ÁÀÂÃÄÅÇÉÈÊËÍÌÎÏÑÓÒÔÕÖÚÙÛÜÝáàâãäåçéèêëíìîïñóòôõöúùûüýÿ"_s;
        QTest::newRow("every accent") << QStringList { accents.first(25), accents.sliced(25, 20),
            u"ação@exemplo.com.br"_s, accents, accents + u"¤"_s + accents };
        QTest::newRow("lines and empty fields")
            << QStringList { u"Ana"_s, {}, {}, u"¤Rua Um, 10¤¤Sala 2; fundos¤"_s, u"a\\b¤c,d"_s };
        QTest::newRow("separators") << QStringList { u"Silva, João; Jr."_s, u"tel:5555-0101,,22;p\\1"_s,
            u"a;b@c"_s, u"a\\nb"_s, {} };
        QTest::newRow("beyond Windows-1252")
            << QStringList { u"Łukasz Żółć 😀"_s, {}, {}, {}, u"Ωmega → ☕"_s };
    }

    void exportThenImport()
    {
        QFETCH(QStringList, fields5);
        const ContactRecord r = record(fields5);
        const QByteArray card = VCard::write(r);
        QVERIFY(card.startsWith("BEGIN:VCARD\r\nVERSION:3.0\r\n") && card.endsWith("END:VCARD\r\n"));
        QCOMPARE(QString::fromUtf8(card).toUtf8(), card);
        for (const QByteArray& line : card.split('\n')) {
            QVERIFY2(line.size() <= 76, line); // 75 octets and the CR
            QVERIFY(line.isEmpty() || line.endsWith('\r'));
        }
        QVERIFY(!card.contains(":\r\n")); // an empty field gives no property
        QCOMPARE(fields(VCard::read(card)), shown(r));
    }

    void writesVersion30()
    {
        const ContactRecord r = record({ u"Oficina Central"_s, u"(11) 5555-0101"_s, {},
                                           u"Rua Um, 10¤Sala 2"_s, u"Aberto aos sábados"_s },
            u"05/12/2026"_s);
        QCOMPARE(VCard::write(r),
            u"BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Oficina Central\r\nN:;Oficina Central;;;\r\n"
            u"TEL:(11) 5555-0101\r\nADR:;;Rua Um\\, 10\\nSala 2;;;;\r\nLABEL:Rua Um\\, 10\\nSala 2\r\n"
            u"NOTE:Aberto aos sábados\r\nREV:2026-12-05\r\nEND:VCARD\r\n"_s.toUtf8());
        // A date edited by hand into something else is left out rather than made up.
        QVERIFY(!VCard::write(record({ u"A"_s }, u"ontem"_s)).contains("REV"));
    }
};

QTEST_GUILESS_MAIN(TestVCard)
#include "tst_vcard.moc"
