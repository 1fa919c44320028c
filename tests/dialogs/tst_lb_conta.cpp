// The account window against real servers, started by tests/sync/conta.py: Radicale on loopback
// (bia holds one address book, alice two, carla none) and one behind a certificate no one signed.
#include "labelbutton.h"
#include "lb_conta.h"
#include "syncaccount.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QString Senha = u"segredo"_s;

QString ambiente(const char* nome)
{
    return qEnvironmentVariable(nome);
}

SyncAccount contaGravada(const QString& store)
{
    SyncAccount conta;
    conta.load(LB_Conta::caminhoDaConta(store));
    return conta;
}

// The test under way has answered.
bool testou(const LB_Conta& j)
{
    return j.lblMensagem->text() != LB_Conta::Testando;
}

QString senhaGuardada(const SyncAccount& conta)
{
    std::optional<QString> lida;
    QObject contexto;
    SyncPassword::readAsync(SyncPassword::keyFor(conta), &contexto, [&](const QString& s) { lida = s; });
    (void)QTest::qWaitFor([&] { return lida.has_value(); }, 20000);
    return lida.value_or(u"(sem resposta)"_s);
}

} // namespace

class TestLB_Conta : public QObject {
    Q_OBJECT

    // In the temporary home the driver gives: the keyring's second run finds the first run's account.
    QString store() const { return QDir::home().filePath(u"app/LBcontatos.txt"_s); }
    bool chaveiro() const { return !ambiente("LB_KEYRING").isEmpty(); }

private Q_SLOTS:
    void initTestCase()
    {
        if (ambiente("LB_DAV_URL").isEmpty())
            QSKIP("run by tests/sync/conta.py, which starts the servers");
        QDir::home().mkpath(u"app"_s);
    }

    void descobre_data()
    {
        QTest::addColumn<QString>("endereco");
        QTest::addColumn<QString>("usuario");
        QTest::addColumn<QString>("senha");
        QTest::addColumn<QString>("primeiraResposta");
        QTest::addColumn<bool>("confia");
        QTest::addColumn<QString>("escolhe");
        QTest::addColumn<QString>("catalogo"); // saved; empty: nothing saved
        const QString url = ambiente("LB_DAV_URL");
        const QString tls = ambiente("LB_DAV_TLS_URL");
        const QString impressao = ambiente("LB_DAV_FINGERPRINT");
        QTest::newRow("um catálogo") << url << u"bia"_s << Senha << LB_Conta::Gravada << false << QString()
                                     << u"/bia/agenda/"_s;
        QTest::newRow("vários: o usuário escolhe")
            << url << u"alice"_s << Senha << LB_Conta::EscolhaCatalogo.arg(2) << false << u"Trabalho"_s
            << u"/alice/trabalho/"_s;
        QTest::newRow("senha recusada")
            << url << u"alice"_s << u"errada"_s << LB_Conta::SenhaRecusada << false << QString() << QString();
        QTest::newRow("nenhum catálogo")
            << url << u"carla"_s << Senha << LB_Conta::SemCatalogo << false << QString() << QString();
        QTest::newRow("servidor não encontrado")
            << ambiente("LB_DAV_CLOSED_URL") << u"alice"_s << Senha << LB_Conta::ServidorNaoEncontrado
            << false << QString() << QString();
        QTest::newRow("HTTP fora deste computador")
            << u"http://example.invalid/"_s << u"alice"_s << Senha << u"O servidor precisa de HTTPS"_s
            << false << QString() << QString();
        // The fingerprint shown, the last pair on its second line, is the one trusted and saved.
        QTest::newRow("certificado não confiável") << tls << u"alice"_s << Senha << impressao.right(47)
                                                   << true << QString() << u"/alice/contatos/"_s;
    }

    void descobre()
    {
        QFETCH(QString, endereco);
        QFETCH(QString, usuario);
        QFETCH(QString, senha);
        QFETCH(QString, primeiraResposta);
        QFETCH(bool, confia);
        QFETCH(QString, escolhe);
        QFETCH(QString, catalogo);
        QFile::remove(LB_Conta::caminhoDaConta(store()));

        LB_Conta j(store());
        QSignalSpy mudou(&j, &LB_Conta::contaMudou);
        j.show();
        QVERIFY(QTest::qWaitForWindowExposed(&j));
        QTest::keyClicks(j.txtServidor, endereco);
        QTest::keyClick(j.txtServidor, Qt::Key_Tab);
        QTest::keyClicks(j.focusWidget(), usuario);
        QTest::keyClick(j.focusWidget(), Qt::Key_Tab);
        QCOMPARE(j.focusWidget(), j.txtSenha);
        QTest::keyClicks(j.txtSenha, senha);
        // Enter saves, after a test that finds the address book.
        QTest::keyClick(j.txtSenha, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(testou(j), 30000);
        QVERIFY2(j.lblMensagem->text().contains(primeiraResposta), qPrintable(j.lblMensagem->text()));
        QCOMPARE(j.lblConfiar->isVisible(), confia);
        if (confia) {
            QCOMPARE(mudou.size(), 0);
            QTest::mouseClick(j.lblConfiar, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(testou(j), 30000);
            QTest::mouseClick(j.lblGravar, Qt::LeftButton);
        }
        if (!escolhe.isEmpty()) {
            QCOMPARE(mudou.size(), 0);
            QCOMPARE(j.cboCatalogo->count(), 2);
            j.cboCatalogo->setCurrentIndex(j.cboCatalogo->findText(escolhe));
            QTest::mouseClick(j.lblGravar, Qt::LeftButton);
        }
        const SyncAccount conta = contaGravada(store());
        QCOMPARE(conta.addressBook.path(), catalogo);
        QCOMPARE(mudou.size(), catalogo.isEmpty() ? 0 : 1);
        if (catalogo.isEmpty())
            return;
        QCOMPARE(conta.user, usuario);
        QCOMPARE(conta.fingerprint, confia ? ambiente("LB_DAV_FINGERPRINT") : QString());
        QTRY_COMPARE_WITH_TIMEOUT(
            j.lblMensagem->text(), chaveiro() ? LB_Conta::NoChaveiro : LB_Conta::SemChaveiro, 20000);
        QCOMPARE(senhaGuardada(conta), Senha);
        QFile arquivo(LB_Conta::caminhoDaConta(store()));
        QVERIFY(arquivo.open(QIODevice::ReadOnly) && !arquivo.readAll().contains(Senha.toUtf8()));
    }

    // A refused password asked for again over the saved account; then the account removed, its
    // password with it, every contact left as it was.
    void pedeSenhaERemove()
    {
        const QByteArray contatos = "\"Ana\xa7"
                                    "1\xa7\xa7\xa7\xa7"
                                    "01/01/2020\r\n\r\n\"\r\n";
        QFile arquivo(store());
        QVERIFY(arquivo.open(QIODevice::WriteOnly) && arquivo.write(contatos) == contatos.size());
        arquivo.close();
        // In a keyring, run twice: the second run reads the password the first one left there.
        if (ambiente("LB_FASE") != u"le"_s) {
            QFile::remove(LB_Conta::caminhoDaConta(store()));
            LB_Conta j(store());
            j.txtServidor->setText(ambiente("LB_DAV_URL"));
            j.txtUsuario->setText(u"bia"_s);
            j.txtSenha->setText(Senha);
            QTest::mouseClick(j.lblGravar, Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(j.lblMensagem->text().startsWith(LB_Conta::Gravada + u' '), 30000);
            if (ambiente("LB_FASE") == u"grava"_s)
                return;
        }

        {
            // The keyring answers through the event loop in the order asked: a read that waited in
            // a loop of its own would let a later read answer first.
            QStringList ordem;
            QObject contexto;
            for (const QString& n : { u"1"_s, u"2"_s })
                SyncPassword::readAsync(SyncPassword::keyFor(contaGravada(store())), &contexto,
                    [&ordem, n](const QString&) { ordem.append(n); });
            QTRY_COMPARE_WITH_TIMEOUT(ordem, QStringList({ u"1"_s, u"2"_s }), 20000);
        }
        LB_Conta j(store());
        QSignalSpy mudou(&j, &LB_Conta::contaMudou);
        QCOMPARE(j.txtServidor->text(), ambiente("LB_DAV_URL"));
        QCOMPARE(j.txtUsuario->text(), u"bia"_s);
        QTRY_COMPARE_WITH_TIMEOUT(j.txtSenha->text(), Senha, 20000); // from memory, or the keyring
        j.pedeSenha(u"Senha recusada"_s);
        j.show();
        QVERIFY(QTest::qWaitForWindowActive(&j));
        QCOMPARE(j.focusWidget(), j.txtSenha);
        QVERIFY(j.txtSenha->text().isEmpty());
        QCOMPARE(j.lblMensagem->text(), u"Senha recusada"_s);
        QTest::keyClicks(j.txtSenha, Senha);
        QTest::keyClick(j.txtSenha, Qt::Key_Enter);
        QTRY_COMPARE_WITH_TIMEOUT(mudou.size(), 1, 30000);

        const SyncAccount conta = contaGravada(store());
        QTest::mouseClick(j.lblRemover, Qt::LeftButton);
        QCOMPARE(mudou.size(), 2);
        QCOMPARE(j.lblMensagem->text(), LB_Conta::Removida);
        QVERIFY(!QFile::exists(LB_Conta::caminhoDaConta(store())));
        QVERIFY(senhaGuardada(conta).isEmpty());
        QVERIFY(arquivo.open(QIODevice::ReadOnly));
        QCOMPARE(arquivo.readAll(), contatos);
        QTest::mouseClick(j.lblRemover, Qt::LeftButton);
        QCOMPARE(j.lblMensagem->text(), LB_Conta::NenhumaConta);
        QCOMPARE(mudou.size(), 2);
    }
};

QTEST_MAIN(TestLB_Conta)
#include "tst_lb_conta.moc"
