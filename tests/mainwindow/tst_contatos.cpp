#include "imagebutton.h"
#include "namelistmodel.h"
#include "readonlyfolder.h"
#include "windowtest.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <sys/resource.h>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

// Notice and question places, relative to the main window, in pixels.
const QPoint AoAtualizar(241, 167);
const QPoint AoDeletar(274, 167);
const QPoint Pergunta(208, 167);

} // namespace

class TestContatos : public WindowTest {
    Q_OBJECT

    bool selected() const { return w->lstContatos->selectionModel()->hasSelection(); }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }
    void init() { fresh(); }

    void selectingShowsTheLastRecordOfThatExactName()
    {
        put(u"\"Ana§1§a@x§Rua A¤Centro§x¤y¤z§05/12/2026\r\nana§9§§§§01/01/2001\r\nAna§2§b@x§ R ¤§§06/12/2026\r\n\r\n\"\r\n"_s);
        open();
        for (QLabel* c :
            { w->lblNomeCount, w->lblFoneCount, w->lblMailCount, w->lblEndCount, w->lblCompCount })
            c->setText(u"x"_s);
        select(u"Ana"_s);
        QCOMPARE(w->lblNomeTopo->text(), u"Ana"_s);
        QCOMPARE(
            w->textoContato(), u"Ana\r\n\r\n2\r\n\r\nb@x\r\n\r\n R \r\n\r\n\r\n"_s); // as stored, untrimmed
        QCOMPARE(w->lblStatus2->text(), u"Atualizado: 06/12/2026"_s);
        for (QLabel* c :
            { w->lblNomeCount, w->lblFoneCount, w->lblMailCount, w->lblEndCount, w->lblCompCount })
            QVERIFY(c->text().isEmpty());

        // The arrow keys select too; a name that differs in case is another contact.
        QTest::keyClick(w->lstContatos, Qt::Key_Down);
        QCOMPARE(w->lblNomeTopo->text(), u"ana"_s);
        QCOMPARE(w->txtFone->text(), u"9"_s);

        // The record gone from the file: the fields stay, the current name follows the list.
        put(u"\"ana§9§§§§01/01/2001\r\n\r\n\"\r\n"_s);
        QTest::keyClick(w->lstContatos, Qt::Key_Up);
        QCOMPARE(w->lblNomeTopo->text(), u"Ana"_s);
        QCOMPARE(w->txtFone->text(), u"9"_s);
        QCOMPARE(w->lblStatus2->text(), u"Atualizado: 01/01/2001"_s);
        QCOMPARE(m_fakes->beeper.beeps, 0);

        put(u"\"Ana§1§§Rua A¤Centro§x¤y¤z§05/12/2026\r\n\"\r\n"_s);
        QTest::keyClick(w->lstContatos, Qt::Key_Down);
        QTest::keyClick(w->lstContatos, Qt::Key_Up);
        QCOMPARE(LB_Principal::textoDe(w->txtEnd), u"Rua A\r\nCentro"_s);
        QCOMPARE(LB_Principal::textoDe(w->txtComp), u"x\r\ny\r\nz"_s);
        QCOMPARE(w->txtEnd->document()->blockCount(), 2);
    }

    void addingAppendsTheFieldsAsARecord()
    {
        put(u"\"\r\n\"\r\n"_s);
        open();
        type(w->txtNome, u"  Zeca  "_s);
        type(w->txtEnd, u"Rua A\r\nCentro\r\n"_s);
        QTest::mouseClick(w->imgAdiciona, Qt::LeftButton);
        QCOMPARE(seen(w->pos()), QStringList { u"Contato inserido com sucesso!"_s + at(AoAdicionar) });
        QCOMPARE(file(), u"\"Zeca§§§Rua A¤Centro¤§§%1\r\n\r\n\"\r\n"_s.arg(Hoje));
        QCOMPARE(w->nomesListados(), QStringList { u"Zeca"_s });
        QCOMPARE(w->lblStatus1->text(), u"Total de contatos: 1"_s);
        QCOMPARE(w->lblNovoNome->text(), u"Digite o novo nome do contato"_s);
        QCOMPARE(w->txtNome->text(), u"  Zeca  "_s); // the fields keep what was stored
        QVERIFY(!selected());

        // Behind the records already there, each of which keeps its bytes.
        put(Tres);
        open();
        select(u"Bob"_s);
        type(w->txtNome, u"Dora"_s);
        QTest::mouseClick(w->imgAdiciona, Qt::LeftButton);
        QCOMPARE(file(), QString(Tres).insert(Tres.size() - 5, u"Dora§2§§Rua A¤Centro§§%1\r\n"_s.arg(Hoje)));
        QCOMPARE(w->nomesListados(), (QStringList { u"Ana"_s, u"Bob"_s, u"Carla"_s, u"Dora"_s }));
        QVERIFY(w->lblStatus2->text().isEmpty());
        QCOMPARE(m_fakes->beeper.beeps, 2); // one notice each
    }

    void addingRefusesAnEmptyOrTakenName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("notices");
        QTest::addColumn<QString>("nameAfter");
        const QString empty = u"O campo TÍTULO não pode ficar vazio!"_s;
        const QString taken = u"Este nome já existe!"_s;
        QTest::newRow("spaces") << u"   "_s << QStringList { empty } << u"   "_s;
        QTest::newRow("other case") << u"bob"_s << QStringList { taken } << QString();
        QTest::newRow("leading space") << u" Bob"_s << QStringList { taken } << QString();
        QTest::newRow("accented, other case") << u"josé"_s << QStringList { taken } << QString();
        QTest::newRow("listed twice") << u"Ana"_s << QStringList { taken, taken } << QString();
    }

    void addingRefusesAnEmptyOrTakenName()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, notices);
        QFETCH(QString, nameAfter);
        const QString before = u"\"Ana§1\r\nBob§\r\nJOSÉ§\r\nAna§2\r\n\"\r\n"_s;
        put(before);
        open();
        type(w->txtNome, name);
        type(w->txtFone, u"555"_s);
        QTest::mouseClick(w->imgAdiciona, Qt::LeftButton);
        QStringList expected;
        for (const QString& n : notices)
            expected << n + at(AoAdicionar);
        QCOMPARE(seen(w->pos()), expected);
        QCOMPARE(m_fakes->beeper.beeps, notices.size());
        QCOMPARE(file(), before);
        QCOMPARE(w->txtNome->text(), nameAfter);
        QCOMPARE(w->txtFone->text(), u"555"_s);
        QCOMPARE(w->lblNovoNome->text(), u"Digite o novo nome do contato"_s);
    }

    // The duplicate check's keys, and the order, follow the list through each refresh as if made anew.
    void keysFollowTheList_data()
    {
        QTest::addColumn<QByteArrayList>("before");
        QTest::addColumn<QByteArrayList>("after");
        QTest::addColumn<bool>("utf8After");
        using L = QByteArrayList;
        QTest::newRow("added") << L { "Ana", "Bob" } << L { "Ana", "Bob", "bob" } << false;
        QTest::newRow("twin added") << L { "Ana", "Bob" } << L { "Ana", "Bob", "Bob" } << false;
        QTest::newRow("one of two gone")
            << L { "Ana", "Bob", "ana", "Cy" } << L { "Ana", "Bob", "Cy" } << false;
        QTest::newRow("renamed") << L { "Ana", "Bob", "Cy" } << L { "Ana", "Zeca", "Cy" } << false;
        QTest::newRow("renamed, added")
            << L { "Ana", "Bob", "Cy" } << L { "Ana", "Zeca", "Cy", "Al" } << false;
        QTest::newRow("twins joined") << L { "A", "B", "A" } << L { "A", "A" } << false;
        QTest::newRow("twins parted") << L { "A", "A" } << L { "A", "B", "A" } << false;
        QTest::newRow("emptied") << L { "Ana" } << L {} << false;
        QTest::newRow("unchanged") << L { "Bob", "Ana" } << L { "Bob", "Ana" } << false;
        // Placed among names that sort equal by its place in the file, before and after it.
        QTest::newRow("renamed between twins")
            << L { "ana", "Bob", "ANA", "Cy" } << L { "ana", "Ana", "ANA", "Cy" } << false;
        QTest::newRow("gone and added at the end")
            << L { "cy", "Bob", "Cy", "ana" } << L { "cy", "Cy", "ana", "CY" } << false;
        QTest::newRow("now UTF-8") << L { "Jos\xC3\xA9", "B" } << L { "Jos\xC3\xA9", "B" } << true;
    }

    void keysFollowTheList()
    {
        QFETCH(QByteArrayList, before);
        QFETCH(QByteArrayList, after);
        QFETCH(bool, utf8After);
        const auto list = [](const QByteArrayList& names, bool utf8) {
            NameList list;
            for (const QByteArray& name : names)
                list.add(name, utf8);
            list.setUtf8(utf8);
            return list;
        };
        NameListModel model;
        model.setNames(list(before, false));
        QCOMPARE(model.countWithKey(u"JOSÉ"_s), 0); // the keys are made here, and follow from here
        model.setNames(list(after, utf8After));
        NameListModel sorted; // and the order, where names were only added, as a sort's
        sorted.setNames(list(after, utf8After));
        QCOMPARE(model.names(), sorted.names());
        const QStringList now = list(after, utf8After).toStringList();
        for (const QString& name : list(before, false).toStringList() + now + QStringList { u"José"_s }) {
            const auto same = [&](const QString& n) { return nameKey(n) == nameKey(name); };
            QCOMPARE(model.countWithKey(nameKey(name)), int(std::count_if(now.begin(), now.end(), same)));
        }
    }

    // Names Windows-1252 cannot hold: UTF-8 once, with a notice; deleting one leaves the other.
    void namesBeyondWindows1252StayApart()
    {
        put(Tres);
        open();
        for (const QString& nome : { u"Amor 😍"_s, u"Amor 😘"_s }) {
            w->txtNome->setText(nome);
            QTest::mouseClick(w->imgAdiciona, Qt::LeftButton);
        }
        const QString inserido = u"Contato inserido com sucesso!"_s + at(AoAdicionar);
        QCOMPARE(seen(w->pos()),
            (QStringList { inserido,
                u"O arquivo de contatos passou a ser gravado em UTF-8 para guardar todos os caracteres."_s
                    + at(AoAdicionar),
                inserido }));
        select(u"Amor 😍"_s);
        QTest::mouseClick(w->imgDeleta, Qt::LeftButton);
        QCOMPARE(file(), u'\uFEFF' + QString(Tres).insert(Tres.size() - 5, u"Amor 😘§§§§§%1\r\n"_s.arg(Hoje)));
        QCOMPARE(w->nomesListados(), (QStringList { u"Amor 😘"_s, u"Ana"_s, u"Bob"_s, u"Carla"_s }));
    }

    void updatingReplacesTheRecordInItsPlace()
    {
        put(Tres);
        open();
        // An empty name only reloads: the selection and its date go, nothing is written.
        select(u"Bob"_s);
        type(w->txtNome, u"  "_s);
        QTest::mouseClick(w->imgAtualiza, Qt::LeftButton);
        QCOMPARE(file(), Tres);
        QVERIFY(!selected());
        QVERIFY(w->lblStatus2->text().isEmpty());

        select(u"Bob"_s);
        type(w->txtNome, u" Bruno "_s);
        type(w->txtComp, u"apto 3\r\n"_s);
        w->lblNomeCount->setText(u"x"_s);
        QTest::mouseClick(w->imgAtualiza, Qt::LeftButton);
        QCOMPARE(seen(w->pos()),
            (QStringList { u"O campo TÍTULO não pode ficar vazio!"_s + at(AoAtualizar),
                u"Contato atualizado com sucesso!"_s + at(AoAtualizar) }));
        QCOMPARE(file(),
            QString(Tres).replace(
                u"Bob§2§§Rua A¤Centro§§02/02/2021"_s, u"Bruno§2§§Rua A¤Centro§apto 3¤§"_s + Hoje));
        QCOMPARE(w->nomesListados(), (QStringList { u"Ana"_s, u"Bruno"_s, u"Carla"_s }));
        QVERIFY(!selected());
        QVERIFY(w->lblStatus2->text().isEmpty());
        QVERIFY(w->lblNomeCount->text().isEmpty());
        QCOMPARE(w->lblStatus1->text(), u"Total de contatos: 3"_s);

        // Without a selection again, the next click is refused and nothing is written.
        const QString after = file();
        QTest::mouseClick(w->imgAtualiza, Qt::LeftButton);
        QCOMPARE(watch->seen.last().label1, u"É preciso selecionar um contato primeiro!"_s);
        QCOMPARE(file(), after);
        QCOMPARE(m_fakes->beeper.beeps, 3);
    }

    void updatingOrDeletingAContactGoneFromTheFile_data()
    {
        QTest::addColumn<bool>("deleting");
        QTest::newRow("update") << false;
        QTest::newRow("delete") << true;
    }

    void updatingOrDeletingAContactGoneFromTheFile()
    {
        QFETCH(bool, deleting);
        put(Tres);
        open();
        select(u"Bob"_s);
        // Another copy of the program removed Bob meanwhile, and left its file as it likes.
        const QString other = u"\"Ana§1\r\n\r\n\r\nCarla§3\r\n\"\r\n"_s;
        put(other);
        QTest::mouseClick(deleting ? w->imgDeleta : w->imgAtualiza, Qt::LeftButton);
        QCOMPARE(watch->seen.last().label1, u"Contato não encontrado!"_s);
        QCOMPARE(watch->seen.last().pos - w->pos(), deleting ? AoDeletar : AoAtualizar);
        QCOMPARE(file(), other); // not even rewritten
        QCOMPARE(w->nomesListados(), (QStringList { u"Ana"_s, u"Carla"_s }));
        QCOMPARE(w->lblStatus1->text(), u"Total de contatos: 2"_s);
        QCOMPARE(w->txtNome->text(), u"Bob"_s); // the fields may be the last copy
        QCOMPARE(w->txtEnd->toPlainText(), u"Rua A\nCentro"_s);
    }

    void deletingAfterSim()
    {
        put(Tres);
        open();
        select(u"Bob"_s);
        type(w->txtNome, u"Carla"_s); // the field does not choose the record
        QTest::mouseClick(w->imgDeleta, Qt::LeftButton);
        QCOMPARE(seen(w->pos()),
            (QStringList {
                u"LB_ContDel"_s + at(Pergunta), u"Contato deletado com sucesso!"_s + at(AoDeletar) }));
        QCOMPARE(watch->seen[1].beepsWhenSeen, 2); // the question beeped, then the notice
        QCOMPARE(m_fakes->beeper.beeps, 2);
        QCOMPARE(watch->seen[1].state, u"Carla"_s); // the fields empty only after the notice
        QCOMPARE(file(), u"\"Carla§3§c@x§§§01/01/2020\r\nAna§1§§§§03/03/2022\r\n\r\n\"\r\n"_s);
        QCOMPARE(w->nomesListados(), (QStringList { u"Ana"_s, u"Carla"_s }));
        QCOMPARE(w->textoContato(), u"\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n"_s);
        QCOMPARE(w->lblStatus1->text(), u"Total de contatos: 2"_s);
        QVERIFY(w->lblStatus2->text().isEmpty());
        QVERIFY(!selected());

        // Updating and deleting take every record of the name, and none that differs in case.
        put(u"\"Ana§1\r\nana§2\r\nAna§3\r\n\r\n\"\r\n"_s);
        open();
        select(u"Ana"_s);
        QTest::mouseClick(w->imgAtualiza, Qt::LeftButton);
        const QString ana = u"Ana§3§§§§"_s + Hoje;
        QCOMPARE(file(), u"\"%1\r\nana§2\r\n%1\r\n\r\n\"\r\n"_s.arg(ana));
        select(u"ana"_s);
        QTest::mouseClick(w->imgDeleta, Qt::LeftButton);
        QCOMPARE(file(), u"\"%1\r\n%1\r\n\r\n\"\r\n"_s.arg(ana));
        select(u"Ana"_s);
        QTest::mouseClick(w->imgDeleta, Qt::LeftButton);
        QCOMPARE(file(), u"\"\r\n\"\r\n"_s);
        QCOMPARE(w->lblStatus1->text(), u"Total de contatos: 0"_s);
    }

    void deletingIsRefusedOrCancelled()
    {
        put(Tres);
        open();
        QTest::mouseClick(w->imgDeleta, Qt::LeftButton);
        select(u"Bob"_s);
        type(w->txtNome, u" "_s);
        QTest::mouseClick(w->imgDeleta, Qt::LeftButton);
        type(w->txtNome, u"Bob"_s);
        m_resposta = u"lblNao"_s;
        QTest::mouseClick(w->imgDeleta, Qt::LeftButton);
        QCOMPARE(seen(w->pos()),
            (QStringList { u"É preciso selecionar um contato primeiro!"_s + at(AoDeletar),
                u"O campo TÍTULO não pode ficar vazio!"_s + at(AoDeletar), u"LB_ContDel"_s + at(Pergunta) }));
        QCOMPARE(m_fakes->beeper.beeps, 3);
        QCOMPARE(file(), Tres);
        QVERIFY(selected());
        QCOMPARE(w->textoContato(), u"Bob\r\n\r\n2\r\n\r\n\r\n\r\nRua A\r\nCentro\r\n\r\n"_s);
        QCOMPARE(w->lblStatus2->text(), u"Atualizado: 02/02/2021"_s);
    }

    void aFailedWriteChangesNothing()
    {
        // A file-size limit below the store's size but above the lock file's: reading works,
        // the lock is taken, every rewrite fails.
        const QString big = QString(Tres).replace(u"c@x"_s, QString(400, u'c'));
        put(big);
        open();
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old {};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 300;
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);

        type(w->txtNome, u"Dora"_s);
        QTest::mouseClick(w->imgAdiciona, Qt::LeftButton);
        select(u"Bob"_s);
        QTest::mouseClick(w->imgAtualiza, Qt::LeftButton);
        select(u"Bob"_s);
        QTest::mouseClick(w->imgDeleta, Qt::LeftButton);
        setrlimit(RLIMIT_FSIZE, &old);

        const QString error = u"Erro ao gravar o arquivo de contatos!"_s;
        QCOMPARE(seen(w->pos()),
            (QStringList { error + at(AoAdicionar), error + at(AoAtualizar), u"LB_ContDel"_s + at(Pergunta),
                error + at(AoDeletar) }));
        QCOMPARE(file(), big);
        QCOMPARE(w->nomesListados(), (QStringList { u"Ana"_s, u"Bob"_s, u"Carla"_s }));
        QCOMPARE(w->txtNome->text(), u"Bob"_s);
    }

    // Records as people's files have them: longer than the fields let anyone type, a lone line
    // break pasted into the address, a name of a no-break space.
    void recordsAsTheFileHasThem()
    {
        const QString nome = QString(70, u'N');
        const QString nota = QString(260, u'n');
        put(u"\"%1§1§§Rua A\nCasa\rFundos§%2§01/01/2020\r\n\u00A0§§§§§<b>\r\n\r\n\"\r\n"_s.arg(nome, nota));
        open();
        select(nome);
        QCOMPARE(w->txtNome->text(), nome);
        QCOMPARE(LB_Principal::textoDe(w->txtComp), nota);
        QCOMPARE(LB_Principal::textoDe(w->txtEnd), u"Rua A\r\nCasa\r\nFundos"_s);
        // Typing never lengthens them; the counters say how far past the limit they are.
        w->txtComp->setFocus();
        QTest::keyClick(w->txtComp, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(w->txtComp, 'x');
        QTest::keyClick(w->txtNome, 'x');
        QCOMPARE(w->lblCompCount->text(), u"-60 de 200"_s);
        QCOMPARE(w->txtNome->text(), nome);
        QCOMPARE(LB_Principal::textoDe(w->txtComp), nota);

        // An update of the phone alone keeps the rest whole.
        type(w->txtFone, u"2"_s);
        QTest::mouseClick(w->imgAtualiza, Qt::LeftButton);
        QCOMPARE(file(),
            u"\"%1§2§§Rua A¤Casa¤Fundos§%2§%3\r\n\u00A0§§§§§<b>\r\n\r\n\"\r\n"_s.arg(nome, nota, Hoje));
        // Deleting works, and what was deleted cannot be typed back.
        select(nome);
        QTest::keyClick(w->txtComp, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClick(w->txtComp, Qt::Key_Backspace);
        QTest::keyClick(w->txtComp, 'x');
        QCOMPARE(LB_Principal::textoDe(w->txtComp), nota.chopped(1));
        QCOMPARE(w->lblCompCount->text(), u"-59 de 200"_s);

        // The name that adding accepted is no empty name to deleting either; a date is no markup.
        select(u"\u00A0"_s);
        QCOMPARE(w->lblStatus2->textFormat(), Qt::PlainText);
        QTest::mouseClick(w->imgDeleta, Qt::LeftButton);
        QCOMPARE(w->nomesListados(), QStringList { nome });
    }

    void aFolderThatCannotBeWrittenFailsAtOnce()
    {
        QElapsedTimer waited;
        waited.start();
        {
            const ReadOnlyFolder readOnly(m_dir->path());
            open();
            type(w->txtNome, u"Dora"_s);
            QTest::mouseClick(w->imgAdiciona, Qt::LeftButton);
        }
        // Only a lock that another running copy holds is worth waiting for.
        QVERIFY2(waited.elapsed() < 2500, qPrintable(u"waited %1 ms"_s.arg(waited.elapsed())));
        const QString error = u"Erro ao gravar o arquivo de contatos!"_s;
        QCOMPARE(watch->seen.size(), 2);
        QCOMPARE(watch->seen.last().label1, error);
        QCOMPARE(bytes(), QByteArray("<missing>"));
    }
};

QTEST_MAIN(TestContatos)
#include "tst_contatos.moc"
