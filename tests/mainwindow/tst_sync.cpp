#include "lb_contad.h"
#include "syncaccount.h"
#include "synclock.h"
#include "syncrunner.h"
#include "windowtest.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

namespace {

// Time moved by hand: the schedule's minutes pass at once.
struct RelogioFalso final : SyncClock {
    qint64 agora = 0, toque = -1;
    qint64 agoraMs() const override { return agora; }
    void alarme(qint64 ms) override { toque = agora + ms; }
    void avanca(qint64 ms)
    {
        agora += ms;
        if (toque >= 0 && toque <= agora && (toque = -1) < 0)
            Q_EMIT toca();
    }
};

// A server that answers every request with the same bytes, or never when they are empty.
struct RespostaFixa : QTcpServer {
    explicit RespostaFixa(const QByteArray& resposta)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this, resposta] {
            while (QTcpSocket* s = nextPendingConnection()) {
                ++conexoes;
                connect(s, &QTcpSocket::readyRead, s, [s, resposta] {
                    if (!resposta.isEmpty() && s->readAll().contains("\r\n\r\n"))
                        s->write(resposta), s->disconnectFromHost();
                });
            }
        });
    }
    int conexoes = 0;
};

int portaLivre()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost);
    return s.serverPort();
}

QString vcard(const QString& uid, const QString& nome, const QString& fone)
{
    return u"BEGIN:VCARD\r\nVERSION:3.0\r\nUID:%1\r\nFN:%2\r\nN:;%2;;;\r\nTEL:%3\r\nEND:VCARD\r\n"_s.arg(
        uid, nome, fone);
}

} // namespace

class TestSync : public WindowTest {
    Q_OBJECT

    QTemporaryDir m_casa;
    QProcess m_radicale;
    QProcess m_lento;
    int m_porta = 0;
    int m_livros = 0;
    QNetworkAccessManager m_rede;
    RelogioFalso m_relogio;

    int http(const QByteArray& metodo, const QString& caminho, const QByteArray& corpo = {})
    {
        QNetworkRequest pedido(QUrl(u"http://127.0.0.1:%1%2"_s.arg(m_porta).arg(caminho)));
        pedido.setRawHeader("Content-Type", corpo.startsWith("BEGIN") ? "text/vcard" : "application/xml");
        QNetworkReply* r = m_rede.sendCustomRequest(pedido, metodo, corpo);
        QSignalSpy fim(r, &QNetworkReply::finished);
        [&] { QVERIFY(fim.wait(30000)); }();
        r->deleteLater();
        return r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }

    // A fresh address book on the Radicale: its path.
    QString novoLivro()
    {
        const QString livro = u"/alice/livro%1/"_s.arg(++m_livros);
        const int status = http("MKCOL", livro,
            R"(<?xml version="1.0"?><mkcol xmlns="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav"><set><prop>)"
            R"(<resourcetype><collection/><C:addressbook/></resourcetype></prop></set></mkcol>)");
        [&] { QCOMPARE(status, 201); }();
        return livro;
    }

    // The account of this test's contacts file, saved as the account window saves it.
    void conta(const QUrl& livro)
    {
        const SyncAccount a { livro, {}, livro, {} };
        QVERIFY(a.save(SyncAccount::pathFor(
            QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation), storePath())));
    }

    // The window over its own store, its runner on the hand-moved clock.
    void abre()
    {
        m_relogio.agora = 0;
        open();
        w->sincronizacao()->defineRelogio(&m_relogio);
    }
    void espera(int ms = 60000) { QTRY_VERIFY_WITH_TIMEOUT(!w->sincronizacao()->emAndamento(), ms); }
    LB_ContAd* aviso() const
    {
        for (QWidget* j : QApplication::topLevelWidgets())
            if (j->objectName() == u"LB_ContAd"_s && j->isVisible())
                return static_cast<LB_ContAd*>(j);
        return nullptr;
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The user's own folders are never touched.
        for (const char* v : { "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME" })
            qputenv(v, QFile::encodeName(m_casa.filePath(QString::fromLatin1(v))));
        m_porta = portaLivre();
        m_radicale.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_radicale.start(u"/usr/bin/python3"_s,
            { u"-m"_s, u"radicale"_s, u"--config"_s, u""_s, u"--server-hosts"_s,
                u"127.0.0.1:%1"_s.arg(m_porta), u"--storage-filesystem-folder"_s, m_casa.filePath(u"dav"_s),
                u"--auth-type"_s, u"none"_s });
        QVERIFY(m_radicale.waitForStarted());
        QTcpSocket s;
        QTRY_VERIFY_WITH_TIMEOUT(
            (s.abort(), s.connectToHost(QHostAddress::LocalHost, quint16(m_porta)), s.waitForConnected(200)),
            20000);
        QCOMPARE(http("MKCOL", u"/alice/"_s), 201);
    }
    void cleanupTestCase()
    {
        for (QProcess* p : { &m_lento, &m_radicale }) {
            p->kill();
            p->waitForFinished();
        }
    }
    void init() { fresh(); }
    void cleanup() { w.reset(); }

    // Each step: "altera" a change made in the window, "menu" the user asks, "+N" N ms pass;
    // "=K" after it: K syncs begun so far. The window's first showing begins one.
    void agenda_data()
    {
        QTest::addColumn<QString>("passos"); // the server first
        QTest::addColumn<int>("janelasConta");
        QTest::newRow("at start, then every 15 minutes") << u"radicale =1 +899999=1 +1=2 +900000=3"_s << 0;
        QTest::newRow("10 s after the last change") << u"radicale =1 altera +5000 altera +9999=1 +1=2"_s << 0;
        QTest::newRow("a change pulls the periodic run nearer")
            << u"radicale =1 +600000=1 altera +10000=2 +899999=2 +1=3"_s << 0;
        QTest::newRow("on demand, at any time") << u"radicale =1 menu=2 +1000 menu=3"_s << 0;
        QTest::newRow("offline: the wait doubles, changes too wait")
            << u"fora =1 +59999=1 +1=2 +119999=2 +1=3 altera +10000=3 menu=4"_s << 0;
        QTest::newRow("503: the server's Retry-After") << u"503 =1 +299999=1 +1=2"_s << 0;
        QTest::newRow("401: asked once, no retries until the user asks")
            << u"401 =1 +3600000=1 altera +3600000=1 menu=2"_s << 2;
    }
    void agenda()
    {
        QFETCH(QString, passos);
        QFETCH(int, janelasConta);
        const QString servidor = passos.section(u' ', 0, 0);
        const QHash<QString, QByteArray> respostas {
            { u"503"_s, "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 300\r\nContent-Length: 0\r\n\r\n" },
            { u"401"_s, "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic\r\nContent-Length: 0\r\n\r\n" },
        };
        std::unique_ptr<RespostaFixa> falso;
        QUrl livro(u"http://127.0.0.1:%1%2"_s.arg(m_porta).arg(novoLivro()));
        if (servidor != u"radicale"_s) {
            falso = std::make_unique<RespostaFixa>(respostas[servidor]);
            livro.setPort(servidor == u"fora"_s ? portaLivre() : falso->serverPort());
        }
        conta(livro);
        abre();
        SyncRunner* s = w->sincronizacao();
        QSignalSpy comecou(s, &SyncRunner::comecou);
        for (const QString& passo : passos.split(u' ').mid(1)) {
            const QString acao = passo.section(u'=', 0, 0);
            if (acao == u"altera"_s)
                s->alteracaoLocal();
            else if (acao == u"menu"_s)
                w->mnuSincronizar->trigger();
            else if (acao.startsWith(u'+'))
                m_relogio.avanca(acao.mid(1).toLongLong());
            if (passo.contains(u'=')) {
                QTRY_COMPARE_WITH_TIMEOUT(int(comecou.size()), passo.section(u'=', 1).toInt(), 20000);
                espera();
            }
        }
        QCOMPARE(int(comecou.size()), passos.section(u'=', -1).toInt());
        QTRY_COMPARE(int(std::count_if(watch->seen.cbegin(), watch->seen.cend(),
                         [](const ModalWatch::Seen& j) { return j.objectName == u"LB_Conta"_s; })),
            janelasConta);
    }

    // A phone changes a contact and adds one: the list and the open contact follow, unless the
    // user is editing it; then that contact waits for the next run, and their edit is kept.
    void janelaAcompanha_data()
    {
        QTest::addColumn<bool>("edita");
        QTest::newRow("not editing: the fields follow") << false;
        QTest::newRow("editing: left for the next run") << true;
    }
    void janelaAcompanha()
    {
        QFETCH(bool, edita);
        const QString livro = novoLivro();
        QCOMPARE(http("PUT", livro + u"ana.vcf"_s, vcard(u"ana"_s, u"Ana"_s, u"111"_s).toUtf8()), 201);
        conta(QUrl(u"http://127.0.0.1:%1%2"_s.arg(m_porta).arg(livro)));
        abre();
        QTRY_COMPARE(w->nomesListados(), QStringList { u"Ana"_s });
        espera();
        select(u"Ana"_s);
        QCOMPARE(w->txtFone->text(), u"111"_s);
        if (edita) {
            w->txtMail->setFocus();
            QTest::keyClicks(w->txtMail, u"ana@novo"_s);
        }
        QCOMPARE(http("PUT", livro + u"ana.vcf"_s, vcard(u"ana"_s, u"Ana"_s, u"222"_s).toUtf8()), 201);
        QCOMPARE(http("PUT", livro + u"bia.vcf"_s, vcard(u"bia"_s, u"Bia"_s, u"333"_s).toUtf8()), 201);
        w->mnuSincronizar->trigger();
        espera();

        QCOMPARE(w->nomesListados(), (QStringList { u"Ana"_s, u"Bia"_s }));
        QCOMPARE(w->lstContatos->selectionModel()->selectedIndexes().size(), 1);
        QCOMPARE(w->txtFone->text(), edita ? u"111"_s : u"222"_s);
        QCOMPARE(w->txtMail->text(), edita ? u"ana@novo"_s : u""_s);
        QVERIFY(file().contains(edita ? u"Ana§111§§"_s : u"Ana§222§§"_s));
        // The notice, which neither holds the window nor takes the field being typed in.
        QTRY_VERIFY(aviso());
        QCOMPARE(aviso()->Label1->text(),
            edita ? u"Sincronizado: 1 recebido, 0 enviados"_s : u"Sincronizado: 2 recebidos, 0 enviados"_s);
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(m_fakes->bandeja.dica.section(u'\n', -1), aviso()->Label1->text());
        if (!edita)
            return;
        QCOMPARE(QApplication::focusWidget(), w->txtMail);
        QTest::keyClicks(w->txtMail, u".br"_s);
        QCOMPARE(w->txtMail->text(), u"ana@novo.br"_s);
        // Saved, the edit and the phone's change meet field by field.
        w->imgAtualiza_Click();
        w->mnuSincronizar->trigger();
        espera();
        QVERIFY(file().contains(u"Ana§222§ana@novo.br§"_s));
    }

    // A phone deletes 7 of 8 cards, more than a sync deletes unasked. Only a sync from the menu
    // asks; "no" keeps the file, "yes" deletes (kept in the backup) in that one run only.
    void paradaSegura()
    {
        const QString livro = novoLivro(), motivo = u"A sincronização apagaria 7 contatos deste arquivo.\n"_s;
        const QString copia = SyncEngine::backupPath(
            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation), QDate::currentDate());
        const auto telefone = [&](const QByteArray& metodo, int de) {
            for (int i = de; i < 8 && !metodo.isEmpty(); ++i)
                QVERIFY(http(metodo, livro + u"%1.vcf"_s.arg(i),
                            vcard(u"z%1"_s.arg(i), u"Zé %1"_s.arg(i), {}).toUtf8())
                    < 300);
        };
        telefone("PUT", 0);
        conta(QUrl(u"http://127.0.0.1:%1%2"_s.arg(m_porta).arg(livro)));
        abre();
        QTRY_COMPARE_WITH_TIMEOUT(w->nomesListados().size(), 8, 30000);
        espera();
        // Each step: the phone's requests, a sync from the menu or the clock, the answer; the
        // questions asked so far, the contacts in the file, whether the deleted are in the backup.
        using Passo = std::tuple<QByteArray, bool, QString, int, int>;
        for (const auto& [fone, menu, resposta, perguntas, ficam] :
            { Passo { "DELETE", false, {}, 0, 8 }, Passo { {}, true, u"lblNao"_s, 1, 8 },
                Passo { {}, false, {}, 1, 8 }, Passo { {}, true, u"lblSim"_s, 2, 1 },
                Passo { "PUT", true, {}, 2, 8 }, Passo { "DELETE", false, {}, 2, 8 } }) {
            telefone(fone, 1);
            QSignalSpy comecou(w->sincronizacao(), &SyncRunner::comecou);
            m_resposta = resposta;
            menu ? w->mnuSincronizar->trigger() : m_relogio.avanca(SyncRunner::PeriodoMs);
            QTRY_COMPARE_WITH_TIMEOUT(int(comecou.size()), resposta == u"lblSim"_s ? 2 : 1, 30000);
            espera();
            QTRY_COMPARE(int(watch->seen.size()), perguntas);
            QCOMPARE(int(file().count(u"Zé "_s)), ficam);
            QCOMPARE(readBytes(copia).contains("FN:Zé 5"), perguntas == 2);
            QVERIFY(perguntas || aviso()->Label1->text().endsWith(u"decidir, use \"Sincronizar agora\"."_s));
        }
        QCOMPARE(watch->seen[0].label1, motivo + u"Deseja realmente continuar a sincronização?"_s);
    }

    // Closing while the server keeps the sync waiting: the window closes, the sync stops and
    // leaves its lock free.
    void fechaDuranteSync()
    {
        RespostaFixa mudo({});
        conta(QUrl(u"http://127.0.0.1:%1/alice/x/"_s.arg(mudo.serverPort())));
        abre();
        QTRY_VERIFY(mudo.conexoes > 0 && w->sincronizacao()->emAndamento());
        w->close();
        QVERIFY(w->syncEncerrado());
        SyncLock trava;
        const QString dados = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QCOMPARE(
            trava.tryLock(SyncState::pathFor(dados, storePath()) + u".lock"_s), SyncLock::Result::Locked);
    }

    // 10,000 contacts (LB_CONTATOS) from a server that waits LB_ATRASO_MS before each answer: the
    // window's thread is timed all along by a 10 ms timer; the worst delay is printed.
    void respondeDuranteSync()
    {
        const int n = qEnvironmentVariableIntValue("LB_CONTATOS") ?: 10000;
        const int atraso
            = qEnvironmentVariableIsSet("LB_ATRASO_MS") ? qEnvironmentVariableIntValue("LB_ATRASO_MS") : 200;
        const QString livro = novoLivro();
        const QDir pasta(m_casa.filePath(u"dav/collection-root"_s + livro));
        for (int i = 0; i < n; ++i)
            QVERIFY(writeBytes(
                pasta.filePath(u"c%1.vcf"_s.arg(i)), vcard(u"c%1"_s.arg(i), u"C %1"_s.arg(i), {}).toUtf8()));
        m_lento.start(u"/usr/bin/python3"_s,
            { QStringLiteral(LB_TESTS_SYNC "/slowproxy.py"), QString::number(m_porta),
                QString::number(atraso) });
        QVERIFY(m_lento.waitForReadyRead(20000));
        const int proxy = m_lento.readLine().trimmed().toInt();
        conta(QUrl(u"http://127.0.0.1:%1%2"_s.arg(proxy).arg(livro)));

        abre();
        QTRY_VERIFY(w->sincronizacao()->emAndamento());
        QElapsedTimer relogio;
        relogio.start();
        qint64 anterior = 0, pior = 0;
        QTimer pulso;
        pulso.setTimerType(Qt::PreciseTimer);
        connect(&pulso, &QTimer::timeout, this, [&] {
            pior = std::max(pior, relogio.elapsed() - anterior - 10);
            anterior = relogio.elapsed();
        });
        pulso.start(10);
        espera(600000);
        QCOMPARE(w->nomesListados().size(), n);
        qInfo("%d contatos, %d ms de espera: sincronização em %lld ms, pior atraso da janela %lld ms", n,
            atraso, relogio.elapsed(), pior);
        QVERIFY2(pior < 3000, "the window froze for seconds");
        m_lento.kill();
        m_lento.waitForFinished();
    }
};

QTEST_MAIN(TestSync)
#include "tst_sync.moc"
