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
    SyncAccount contaGravada() const
    {
        SyncAccount c;
        c.load(LB_Conta::caminhoDaConta(store()));
        return c;
    }
    static bool testou(const LB_Conta& j) { return j.lblMensagem->text() != LB_Conta::Testando; }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariable("LB_DAV_URL").isEmpty())
            QSKIP("run by tests/sync/conta.py, which starts the servers");
        QDir::home().mkpath(u"app"_s);
    }

    void descobre_data()
    {
        QTest::addColumn<QString>("endereco");
        QTest::addColumn<QString>("usuario");
        QTest::addColumn<QString>("senha");
        QTest::addColumn<QString>("resposta"); // what the window says after the first test
        QTest::addColumn<QString>("depois"); // the address book then picked; "*": the certificate trusted
        QTest::addColumn<QString>("catalogo"); // saved; empty: nothing saved
        const QString url = qEnvironmentVariable("LB_DAV_URL");
        QTest::newRow("um") << url << u"bia"_s << Senha << LB_Conta::Gravada << QString()
                            << u"/bia/agenda/"_s;
        QTest::newRow("vários") << url << u"alice"_s << Senha << LB_Conta::EscolhaCatalogo.arg(2)
                                << u"Trabalho"_s << u"/alice/trabalho/"_s;
        QTest::newRow("senha recusada")
            << url << u"alice"_s << u"errada"_s << LB_Conta::SenhaRecusada << QString() << QString();
        QTest::newRow("nenhum") << url << u"carla"_s << Senha << LB_Conta::SemCatalogo << QString()
                                << QString();
        QTest::newRow("servidor não encontrado")
            << qEnvironmentVariable("LB_DAV_CLOSED_URL") << u"alice"_s << Senha
            << LB_Conta::ServidorNaoEncontrado << QString() << QString();
        // The fingerprint's second half, on a line of its own, is shown; then trusted and saved.
        QTest::newRow("certificado") << qEnvironmentVariable("LB_DAV_TLS_URL") << u"alice"_s << Senha
                                     << qEnvironmentVariable("LB_DAV_FINGERPRINT").right(47) << u"*"_s
                                     << u"/alice/contatos/"_s;
    }

    void descobre()
    {
        QFETCH(QString, endereco);
        QFETCH(QString, usuario);
        QFETCH(QString, senha);
        QFETCH(QString, resposta);
        QFETCH(QString, depois);
        QFETCH(QString, catalogo);
        QFile::remove(LB_Conta::caminhoDaConta(store()));
        LB_Conta j(store());
        QSignalSpy mudou(&j, &LB_Conta::contaMudou);
        j.show();
        QVERIFY(QTest::qWaitForWindowExposed(&j));
        for (const QString& texto : { endereco, usuario, senha }) {
            QTest::keyClicks(j.focusWidget(), texto);
            QTest::keyClick(j.focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(j.focusWidget(), j.cboCatalogo);
        // Enter in a field saves, after a test that finds the address book.
        QTest::keyClick(j.txtSenha, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(testou(j), 30000);
        QVERIFY2(j.lblMensagem->text().contains(resposta), qPrintable(j.lblMensagem->text()));
        QCOMPARE(j.lblConfiar->isVisible(), depois == u"*"_s);
        if (!depois.isEmpty()) {
            QCOMPARE(mudou.size(), 0);
            if (depois == u"*"_s)
                QTest::mouseClick(j.lblConfiar, Qt::LeftButton);
            else
                j.cboCatalogo->setCurrentIndex(j.cboCatalogo->findText(depois));
            QTRY_VERIFY_WITH_TIMEOUT(testou(j), 30000);
            QTest::mouseClick(j.lblGravar, Qt::LeftButton);
        }
        const SyncAccount conta = contaGravada();
        QCOMPARE(conta.addressBook.path(), catalogo);
        QCOMPARE(mudou.size(), catalogo.isEmpty() ? 0 : 1);
        if (catalogo.isEmpty())
            return;
        QCOMPARE(
            conta.fingerprint, depois == u"*"_s ? qEnvironmentVariable("LB_DAV_FINGERPRINT") : QString());
        QTRY_COMPARE_WITH_TIMEOUT(j.lblMensagem->text(),
            qEnvironmentVariableIsSet("LB_KEYRING") ? LB_Conta::NoChaveiro : LB_Conta::SemChaveiro, 20000);
        QCOMPARE(senhaGuardada(conta), Senha);
    }

    // A refused password asked for again over the account the last row saved (in a keyring, by a
    // program run before); then the account removed, its password with it, every contact as it was.
    void pedeSenhaERemove()
    {
        const QByteArray contatos = "\"Ana\2471\247\247\247\24701/01/2020\r\n\r\n\"\r\n";
        QFile arquivo(store());
        QVERIFY(arquivo.open(QIODevice::WriteOnly) && arquivo.write(contatos) == contatos.size());
        arquivo.close();
        {
            // The keyring answers through the event loop in the order asked: a read that waited in
            // a loop of its own would let a later read answer first.
            QStringList ordem;
            QObject contexto;
            for (const QString& n : { u"1"_s, u"2"_s })
                SyncPassword::readAsync(SyncPassword::keyFor(contaGravada()), &contexto,
                    [&ordem, n](const QString&) { ordem.append(n); });
            QTRY_COMPARE_WITH_TIMEOUT(ordem, QStringList({ u"1"_s, u"2"_s }), 20000);
        }
        LB_Conta j(store());
        QSignalSpy mudou(&j, &LB_Conta::contaMudou);
        QCOMPARE(j.txtServidor->text(), qEnvironmentVariable("LB_DAV_TLS_URL"));
        QCOMPARE(j.cboCatalogo->currentData().toUrl(), contaGravada().addressBook);
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

        const SyncAccount conta = contaGravada();
        QTest::mouseClick(j.lblRemover, Qt::LeftButton);
        QCOMPARE(mudou.size(), 2);
        QCOMPARE(j.lblMensagem->text(), LB_Conta::Removida);
        QVERIFY(!QFile::exists(LB_Conta::caminhoDaConta(store())));
        QVERIFY(senhaGuardada(conta).isEmpty());
        QVERIFY(arquivo.open(QIODevice::ReadOnly));
        QCOMPARE(arquivo.readAll(), contatos);
    }
};

QTEST_MAIN(TestLB_Conta)
#include "tst_lb_conta.moc"
