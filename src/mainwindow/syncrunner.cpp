#include "syncrunner.h"

#include <QThread>
#include <QTimer>

using namespace Qt::StringLiterals;

RelogioReal::RelogioReal(QObject* parent)
    : SyncClock(parent)
    , m_timer(new QTimer(this))
{
    m_desde.start();
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &SyncClock::toca);
}

qint64 RelogioReal::agoraMs() const
{
    return m_desde.elapsed();
}

void RelogioReal::alarme(qint64 ms)
{
    // QTimer counts in int milliseconds: a day is far within.
    m_timer->start(int(std::clamp<qint64>(ms, 0, SyncRunner::EsperaMaximaMs)));
}

namespace {

// What the worker thread shares with the window's: the local-change count, and whether the
// window still waits for an answer.
struct Compartilhado {
    std::shared_ptr<std::atomic<int>> geracao;
    std::atomic<bool> cancelado { false };
};

} // namespace

SyncRunner::SyncRunner(const QString& storeFolder, const QString& configFolder, const QString& dataFolder,
    SyncClock* clock, QObject* parent)
    : QObject(parent)
    , m_pastaContatos(storeFolder)
    , m_pastaConfig(configFolder)
    , m_pastaDados(dataFolder)
    , m_relogio(clock ? clock : new RelogioReal(this))
{
    connect(m_relogio, &SyncClock::toca, this, &SyncRunner::agenda);
}

SyncRunner::~SyncRunner()
{
    encerra(2000);
}

void SyncRunner::defineRelogio(SyncClock* clock)
{
    disconnect(m_relogio, &SyncClock::toca, this, &SyncRunner::agenda);
    m_relogio = clock;
    connect(m_relogio, &SyncClock::toca, this, &SyncRunner::agenda);
}

void SyncRunner::inicia()
{
    if (std::exchange(m_iniciado, true))
        return;
    m_periodico = m_relogio->agoraMs();
    agenda();
}

void SyncRunner::alteracaoLocal()
{
    ++*m_geracao;
    m_aposAlteracao = m_relogio->agoraMs() + AposAlteracaoMs;
    agenda();
}

void SyncRunner::sincronizaAgora()
{
    if (m_rodando) {
        m_pedidoUsuario = true;
        return;
    }
    comeca(true);
}

void SyncRunner::sincronizaExcluindo()
{
    m_excluir = true;
    sincronizaAgora();
}

void SyncRunner::contaMudou()
{
    m_semSenha = false;
    m_falhas = 0;
    m_naoAntes = 0;
    agenda();
}

void SyncRunner::agenda()
{
    if (!m_iniciado || m_rodando || m_encerrado)
        return;
    if (m_pedidoUsuario)
        return comeca(true);
    if (m_semSenha)
        return; // until the account changes or the user asks
    const qint64 agora = m_relogio->agoraMs();
    const qint64 quando = std::max(std::min(m_aposAlteracao.value_or(m_periodico), m_periodico), m_naoAntes);
    if (quando <= agora)
        return comeca(false);
    m_relogio->alarme(quando - agora);
}

void SyncRunner::comeca(bool doUsuario)
{
    m_pedidoUsuario = false;
    m_aposAlteracao.reset();
    SyncOptions opcoes;
    // Consumed by the first run the user asked for, whatever comes of it.
    opcoes.forceDelete = std::exchange(m_excluir, false) && doUsuario;
    opcoes.storeFolder = m_pastaContatos;
    opcoes.dataFolder = m_pastaDados;
    if (!opcoes.account.load(SyncAccount::pathFor(m_pastaConfig, ContactStore(m_pastaContatos).path()))) {
        // No account: nothing to do until one is made; the schedule goes on.
        m_periodico = m_relogio->agoraMs() + PeriodoMs;
        return agenda();
    }
    m_rodando = true;
    Q_EMIT comecou(doUsuario);
    if (opcoes.account.user.isEmpty())
        return executa(std::move(opcoes), doUsuario);
    // The keyring answers on this thread's event loop; it never waits here.
    SyncPassword::readAsync(
        SyncPassword::keyFor(opcoes.account), this, [this, opcoes, doUsuario](const QString& senha) mutable {
            opcoes.password = senha;
            executa(std::move(opcoes), doUsuario);
        });
}

void SyncRunner::executa(SyncOptions opcoes, bool doUsuario)
{
    if (m_encerrado)
        return;
    if (!m_thread) {
        m_thread = new QThread(this);
        m_thread->setObjectName(u"sincronizacao"_s);
        m_trabalho = new QObject;
        m_trabalho->moveToThread(m_thread);
        // Deleted on its own thread, engine and network access with it, once its loop has ended.
        QObject* trabalho = m_trabalho;
        connect(
            m_thread, &QThread::finished, trabalho, [trabalho] { delete trabalho; }, Qt::DirectConnection);
        m_thread->start();
    }
    if (preservados)
        opcoes.leaveAlone = preservados();
    const QString aberto = this->aberto ? this->aberto() : QString();
    auto compartilhado = std::make_shared<Compartilhado>();
    compartilhado->geracao = m_geracao;
    // A stop from encerra() reaches the worker through this.
    m_cancelar = [compartilhado] { compartilhado->cancelado = true; };
    QPointer<SyncRunner> eu(this);
    QObject* trabalho = m_trabalho;
    QMetaObject::invokeMethod(
        trabalho, [trabalho, opcoes = std::move(opcoes), doUsuario, aberto, compartilhado, eu]() mutable {
            const QString pasta = opcoes.storeFolder;
            auto* motor = new SyncEngine(std::move(opcoes), trabalho);
            QObject::connect(motor, &SyncEngine::finished, trabalho,
                [motor, pasta, doUsuario, aberto, compartilhado, eu](const SyncResult& r) {
                    motor->deleteLater();
                    SyncFim fim;
                    fim.resultado = r;
                    fim.doUsuario = doUsuario;
                    if (r.received > 0 && !compartilhado->cancelado) {
                        // The window only swaps the list in: reading and sorting 10,000 names is
                        // more than its thread may spend.
                        fim.geracao = compartilhado->geracao->load();
                        const ContactStore store(pasta);
                        NameList nomes;
                        if (store.readNames(&nomes) == StoreStatus::Ok)
                            fim.nomes = std::make_shared<SortedNames>(sortNames(std::move(nomes)));
                        fim.aberto = aberto;
                        if (!aberto.isEmpty())
                            store.findRecord(aberto, &fim.registro);
                    }
                    if (compartilhado->cancelado)
                        return;
                    SyncRunner* runner = eu.data();
                    if (!runner)
                        return;
                    QMetaObject::invokeMethod(
                        runner,
                        [eu, fim = std::move(fim)]() mutable {
                            if (eu)
                                eu->fim(std::move(fim));
                        },
                        Qt::QueuedConnection);
                });
            motor->start();
        });
}

void SyncRunner::fim(SyncFim fim)
{
    m_rodando = false;
    const SyncResult& r = fim.resultado;
    const qint64 agora = m_relogio->agoraMs();
    if (r.ok() || r.stopped) {
        // A safety stop is no failure of the server: it waits for the user, and the schedule
        // goes on as after a sync (each run stops again until the user decides).
        m_falhas = 0;
        m_naoAntes = 0;
        m_periodico = agora + PeriodoMs;
    } else if (r.busy) {
        // The command line syncs this file: tried again shortly, quietly.
        m_aposAlteracao = std::min(m_aposAlteracao.value_or(agora + EsperaMinimaMs), agora + EsperaMinimaMs);
    } else if (r.status == 401) {
        m_semSenha = true;
    } else {
        // Offline, or the server failed: the changes wait. Back off, doubling up to the period,
        // never sooner than the server asked.
        const qint64 espera = std::min(EsperaMinimaMs << std::min(m_falhas, 10), PeriodoMs);
        ++m_falhas;
        m_naoAntes = agora + std::min(std::max(espera, qint64(r.retryAfter) * 1000), EsperaMaximaMs);
        m_periodico = std::max(m_periodico, m_naoAntes);
    }
    Q_EMIT terminou(fim);
    agenda();
}

bool SyncRunner::encerra(int ms)
{
    m_encerrado = true;
    if (!m_thread)
        return true;
    if (m_cancelar)
        m_cancelar();
    m_thread->quit();
    if (!m_thread->wait(ms)) {
        // Busy inside a step: neither it nor its thread may be deleted under it.
        m_thread->setParent(nullptr);
        m_thread = nullptr;
        return false;
    }
    delete m_thread;
    m_thread = nullptr;
    return true;
}
