#pragma once

#include "contactrecord.h"
#include "namelistmodel.h"
#include "syncengine.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QThread;
class QTimer;

// The runner's sense of time: a monotonic clock and one alarm. The program's is real; a test
// moves one by hand, and sees the schedule without waiting minutes.
class SyncClock : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual qint64 agoraMs() const = 0;
    // toca() once, about ms from now; replaces the alarm set before.
    virtual void alarme(qint64 ms) = 0;

Q_SIGNALS:
    void toca();
};

class RelogioReal final : public SyncClock {
    Q_OBJECT
public:
    explicit RelogioReal(QObject* parent = nullptr);
    qint64 agoraMs() const override;
    void alarme(qint64 ms) override;

private:
    QElapsedTimer m_desde;
    QTimer* m_timer;
};

// What the window gets back from one sync.
struct SyncFim {
    SyncResult resultado;
    bool doUsuario = false; // started from the menu
    // After a sync that changed the file: its names, read and sorted off the window's thread,
    // with the local-change count they were read at (an older list than the window's is dropped).
    std::shared_ptr<SortedNames> nomes;
    int geracao = 0;
    // The open contact's record as the file has it now; nullopt where it is gone or was not read.
    QString aberto;
    std::optional<ContactRecord> registro;
};

// Runs the sync of one contacts file from the window: one at a time, on a thread of its own
// with its own event loop (the engine, its network access and its reads and rewrites of the
// file never run on the window's thread), on a schedule: once at start-up, 10 s after the last
// local change, every 15 minutes, and on demand. Failures back off, as long as the server
// asks (Retry-After) and at least a minute, doubling to the period; a refused password stops
// the automatic runs until the account changes or the user asks.
class SyncRunner : public QObject {
    Q_OBJECT
public:
    static constexpr qint64 AposAlteracaoMs = 10'000;
    static constexpr qint64 PeriodoMs = 15 * 60'000;
    static constexpr qint64 EsperaMinimaMs = 60'000; // the first wait after a failure
    static constexpr qint64 EsperaMaximaMs = 24 * 3600'000; // a Retry-After beyond this is cut

    // storeFolder: where LBcontatos.txt is; configFolder and dataFolder: the user's, for the
    // account and for the state and backups. clock: nullptr for the real one.
    SyncRunner(const QString& storeFolder, const QString& configFolder, const QString& dataFolder,
        SyncClock* clock = nullptr, QObject* parent = nullptr);
    ~SyncRunner() override;

    // Asked at each start: the names the sync must leave alone (the contact being edited), and
    // the open contact, whose record is read again after a sync that changed the file.
    std::function<QSet<QString>()> preservados;
    std::function<QString()> aberto;

    // The window is on screen: the first sync now, then the schedule.
    void inicia();
    // A change of the file from the window: a sync once 10 s have passed without another.
    void alteracaoLocal();
    // From the menu: at once, whatever the schedule, or right after the one running.
    void sincronizaAgora();
    // The user said yes to the deletes a safety stop held back: one sync at once, as from the
    // menu, that goes past the stop. Only that run: the next one stops again if it meets one.
    void sincronizaExcluindo();
    // The account was saved or removed: a refused password no longer holds the runs back.
    void contaMudou();

    // Another clock from now on (a test's); the runner does not own it.
    void defineRelogio(SyncClock* clock);

    bool emAndamento() const { return m_rodando; }
    int geracao() const { return m_geracao->load(); }
    // Stops a running sync: its requests are dropped and its thread ends, waited for at most ms.
    // False when the thread is still busy (inside a rewrite of the file): it is then left to the
    // end of the program, whose guarantees the next sync relies on anyway.
    bool encerra(int ms);

Q_SIGNALS:
    void comecou(bool doUsuario);
    void terminou(const SyncFim& fim);

private:
    void agenda();
    void comeca(bool doUsuario);
    void executa(SyncOptions opcoes, bool doUsuario);
    void fim(SyncFim fim);

    QString m_pastaContatos;
    QString m_pastaConfig;
    QString m_pastaDados;
    SyncClock* m_relogio;
    QThread* m_thread = nullptr;
    QObject* m_trabalho = nullptr; // lives on m_thread; the engine is its child
    bool m_iniciado = false;
    bool m_rodando = false;
    bool m_encerrado = false;
    bool m_pedidoUsuario = false; // asked from the menu while another ran
    bool m_excluir = false; // the user's run asked for goes past a safety stop
    bool m_semSenha = false; // the server refused the password
    std::optional<qint64> m_aposAlteracao; // when the change-triggered run is due
    qint64 m_periodico = 0; // when the next periodic run is due
    qint64 m_naoAntes = 0; // no automatic run before this, after a failure
    int m_falhas = 0;
    std::shared_ptr<std::atomic<int>> m_geracao = std::make_shared<std::atomic<int>>(0);
    std::function<void()> m_cancelar;
};
