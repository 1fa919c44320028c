#include "readonlyfolder.h"
#include "vcard.h"
#include "windowtest.h"

#include <QDir>
#include <QMenu>
#include <QMimeData>

using namespace Qt::StringLiterals;

namespace {

QByteArray card(const QString& fn, const QString& rest = {})
{
    return (u"BEGIN:VCARD\r\nVERSION:3.0\r\nFN:"_s + fn + u"\r\n"_s + rest + u"END:VCARD\r\n"_s).toUtf8();
}

// The store of Tres with these record lines appended, as the file holds them.
QString tresCom(const QString& novos)
{
    return Tres.chopped(5) + novos + u"\r\n\"\r\n"_s;
}

QByteArray cards(const QString& linhasDoArquivo)
{
    QByteArray out;
    for (const QString& linha : linhasDoArquivo.split(u"\r\n"_s).mid(0, 3))
        out += VCard::write(ContactRecord::fromLine(QString(linha).remove(u'"')));
    return out;
}

} // namespace

class TestVCardWindow : public WindowTest {
    Q_OBJECT

    QString vcf(const QString& name, const QByteArray& bytes) const
    {
        const QString path = m_dir->filePath(name);
        return writeBytes(path, bytes) ? path : QString();
    }

    // Right-clicks the list and picks the action from the menu, as a user does. The menu offers
    // its vCard actions, exporting the selected contact only while one is selected, and the sync's
    // two, syncing only once an account exists.
    void pick(const QString& action)
    {
        const QPoint p(5, 5);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, p, w->lstContatos->viewport()->mapToGlobal(p));
        QApplication::sendEvent(w->lstContatos->viewport(), &menu);
        QTRY_VERIFY(w->mnuContatos->isVisible());
        QStringList texts;
        for (QAction* a : w->mnuContatos->actions())
            if (!a->isSeparator())
                texts << a->text() + (a->isEnabled() ? u""_s : u" (off)"_s);
        const bool selected = w->lstContatos->selectionModel()->hasSelection();
        QCOMPARE(texts,
            (QStringList { u"Importar contatos (vCard)..."_s, u"Exportar todos os contatos (vCard)..."_s,
                u"Exportar contato selecionado (vCard)..."_s + (selected ? u""_s : u" (off)"_s),
                u"Conta de sincronização (CardDAV)..."_s, u"Sincronizar agora (off)"_s }));
        auto* a = w->mnuContatos->findChild<QAction*>(action);
        QVERIFY(a && a->isEnabled());
        QTest::mouseClick(w->mnuContatos, Qt::LeftButton, {}, w->mnuContatos->actionGeometry(a).center());
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil)); }
    void init() { fresh(); }

    // Each action through the fake chooser: what it offers, the notice, the files' bytes after.
    void actions_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QByteArray>("vcf"); // what import reads, or what export must write
        QTest::addColumn<QString>("suggested");
        QTest::addColumn<QString>("notice");
        QTest::addColumn<QString>("store");

        QTest::newRow("export selected")
            << u"mnuExportarContato"_s << u"Bob"_s << cards(Tres.split(u"\r\n"_s)[1]) << u"Bob.vcf"_s
            << u"1 contato exportado"_s << Tres;
        QTest::newRow("export all") << u"mnuExportarTodos"_s << QString() << cards(Tres) << u"contatos.vcf"_s
                                    << u"3 contatos exportados"_s << Tres;
        // New names in the card file's order after the records there; a name listed in another
        // case, or twice in the file, is skipped; a nameless card is no contact.
        QTest::newRow("import") << u"mnuImportar"_s << QString()
                                << card(u"Zé Ninguém"_s,
                                       u"TEL:9\r\nADR:;;Rua B\\nCasa 2;;;;\r\nNOTE:\"x\"§y\r\n"_s)
                + card(u"ANA"_s) + card({}) + card(u"Dora"_s) + card(u"zé ninguém"_s)
                                << QString() << u"2 contatos importados\n2 já existiam"_s
                                << tresCom(u"Zé Ninguém§9§§Rua B¤Casa 2§xy§"_s + Hoje + u"\r\nDora§§§§§"_s
                                       + Hoje + u"\r\n"_s);
        QTest::newRow("nothing new") << u"mnuImportar"_s << QString() << card(u"bob"_s) << QString()
                                     << u"0 contatos importados\n1 já existia"_s << Tres;
        QTest::newRow("empty file") << u"mnuImportar"_s << QString() << QByteArray() << QString()
                                    << u"Nenhum contato no arquivo!"_s << Tres;
    }

    void actions()
    {
        QFETCH(QString, action);
        QFETCH(QString, selected);
        QFETCH(QByteArray, vcf);
        QFETCH(QString, suggested);
        QFETCH(QString, notice);
        QFETCH(QString, store);
        put(Tres);
        open();
        const bool exporting = action != u"mnuImportar"_s;
        const QString path = exporting ? m_dir->filePath(u"saida.vcf"_s) : this->vcf(u"entrada.vcf"_s, vcf);
        m_fakes->arquivos.paraLer = { path };
        m_fakes->arquivos.paraGravar = path;
        if (!selected.isEmpty())
            select(selected);
        pick(action);
        QTRY_COMPARE(seen(w->pos()), QStringList { notice + at(AoAdicionar) });
        QCOMPARE(file(), store);
        if (exporting) {
            QCOMPARE(m_fakes->arquivos.sugestoes, QStringList { suggested });
            QCOMPARE(readBytes(path), vcf);
        } else {
            QCOMPARE(w->nomesListados().size(), store.count(u"\r\n"_s) - 2);
        }
    }

    // What cannot be read or written changes nothing and says so; a cancelled dialog does nothing.
    void failures_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("path"); // relative to the store's folder
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<QString>("notice");
        QTest::newRow("import cancelled") << u"mnuImportar"_s << QString() << false << QString();
        QTest::newRow("a folder") << u"mnuImportar"_s << u"pasta.vcf"_s << false
                                  << u"Erro ao ler o arquivo!"_s;
        QTest::newRow("store cannot be written")
            << u"mnuImportar"_s << u"novo.vcf"_s << true << u"Erro ao gravar o arquivo de contatos!"_s;
        QTest::newRow("export cannot be written")
            << u"mnuExportarTodos"_s << u"falta/saida.vcf"_s << false << u"Erro ao gravar o arquivo!"_s;
    }

    void failures()
    {
        QFETCH(QString, action);
        QFETCH(QString, path);
        QFETCH(bool, readOnly);
        QFETCH(QString, notice);
        put(Tres);
        QDir(m_dir->path()).mkdir(u"pasta.vcf"_s);
        vcf(u"novo.vcf"_s, card(u"Novo"_s));
        open();
        const QString full = path.isEmpty() ? QString() : m_dir->filePath(path);
        m_fakes->arquivos.paraLer = full.isEmpty() ? QStringList() : QStringList { full };
        m_fakes->arquivos.paraGravar = full;
        {
            std::unique_ptr<ReadOnlyFolder> lock;
            if (readOnly)
                lock = std::make_unique<ReadOnlyFolder>(m_dir->path());
            pick(action);
            QTRY_COMPARE(
                seen(w->pos()), notice.isEmpty() ? QStringList() : QStringList { notice + at(AoAdicionar) });
        }
        QCOMPARE(file(), Tres);
        QCOMPARE(w->nomesListados().size(), 3);
    }

    // .vcf files dropped on a field are an import, in the order they came, not text for the field;
    // other files in the same drop are left out.
    void dropOfTwoFiles()
    {
        put(Tres);
        open();
        QMimeData data;
        data.setUrls({ QUrl::fromLocalFile(vcf(u"um.VCF"_s, card(u"Edu"_s) + card(u"Fê"_s))),
            QUrl::fromLocalFile(vcf(u"leia.txt"_s, card(u"Texto"_s))),
            QUrl::fromLocalFile(vcf(u"dois.vcf"_s, card(u"Иван"_s) + card(u"edu"_s))) });
        data.setText(u"file:///um.VCF"_s);
        const QPoint p = w->txtNome->rect().center();
        // Offered as a move too (the user held Shift): taken as a copy, so the file stays.
        QDragEnterEvent enter(p, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(w->txtNome, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(p, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::ShiftModifier);
        QApplication::sendEvent(w->txtNome, &drop);
        QVERIFY(drop.isAccepted() && drop.dropAction() == Qt::CopyAction);
        // A name beyond Windows-1252 makes the store UTF-8, and says so.
        QTRY_COMPARE(seen(w->pos()),
            (QStringList { u"3 contatos importados\n1 já existia"_s + at(AoAdicionar),
                LB_Principal::GravadoEmUtf8 + at(AoAdicionar) }));
        QCOMPARE(file(), u'\uFEFF' + tresCom(u"Edu§§§§§%1\r\nFê§§§§§%1\r\nИван§§§§§%1\r\n"_s.arg(Hoje)));
        QVERIFY(w->txtNome->text().isEmpty());
    }
};

QTEST_MAIN(TestVCardWindow)
#include "tst_vcardmenu.moc"
