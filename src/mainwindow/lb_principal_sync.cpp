#include "beeper.h"
#include "contactlistview.h"
#include "lb_contad.h"
#include "lb_contdel.h"
#include "lb_principal.h"
#include "syncrunner.h"
#include "trayicon.h"
#include "twips.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTimer>

using namespace Qt::StringLiterals;

const QString LB_Principal::MenuSincronizar = u"Sincronizar agora"_s;

namespace {

// A notice with more than its one line stands this long: names and a folder take reading.
constexpr int AvisoLongoMs = 6000;

// Background results tell without a sound: the user did not ask for them.
class Silencio final : public Beeper {
public:
    void beep() override { }
};

QString contagem(int n, const QString& singular)
{
    return QString::number(n) + u' ' + singular + (n == 1 ? u""_s : u"s"_s);
}

// At most three names, then how many more.
QString nomes(const QStringList& lista)
{
    QString texto = lista.mid(0, 3).join(u", "_s);
    if (lista.size() > 3)
        texto += u" e mais %1"_s.arg(lista.size() - 3);
    return texto;
}

// The folder as the user knows it, with a break allowed after each slash: a long path still
// wraps inside the notice.
QString caminhoLegivel(const QString& caminho)
{
    QString texto = caminho;
    const QString casa = QDir::homePath();
    if (!casa.isEmpty() && casa != u"/"_s && texto.startsWith(casa + u'/'))
        texto.replace(0, casa.size(), u"~"_s);
    return texto.replace(u'/', u"/\u200B"_s);
}

} // namespace

QString LB_Principal::textoDoSync(const SyncResult& r, const QString& pastaDados)
{
    if (r.offline)
        return u"Sem conexão com o servidor: as alterações esperam a próxima sincronização."_s;
    if (r.stopped)
        return r.error + u".\nNada foi alterado. Para decidir, use \"Sincronizar agora\"."_s;
    if (!r.ok())
        return u"Erro na sincronização: "_s + r.error;
    QString texto = u"Sincronizado: "_s + contagem(r.received, u"recebido"_s) + u", "_s
        + contagem(r.sent, u"enviado"_s);
    if (!r.conflictNames.isEmpty())
        texto += u"\nConflito, as duas versões ficaram: "_s + nomes(r.conflictNames);
    if (!r.removedNames.isEmpty())
        texto += u"\nExcluídos no servidor: "_s + nomes(r.removedNames) + u"\nGuardados em "_s
            + caminhoLegivel(SyncEngine::backupPath(pastaDados, QDate::currentDate()));
    return texto;
}

void LB_Principal::preparaSync()
{
    const QString dados = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    m_sync = new SyncRunner(QFileInfo(m_store.path()).path(),
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation), dados, nullptr, this);
    m_sync->preservados = [this] {
        QSet<QString> nomes;
        if (!editando())
            return nomes;
        for (const QString& nome : { lblNomeTopo->text(), storedName(textoDe(txtNome)) })
            if (!nome.isEmpty())
                nomes.insert(nameKey(nome));
        return nomes;
    };
    m_sync->aberto = [this] {
        const QString selecionado = textoSelecionado();
        return selecionado.isEmpty() ? QString() : recordName(selecionado).toString();
    };
    connect(m_sync, &SyncRunner::terminou, this, &LB_Principal::syncTerminou);
}

void LB_Principal::mnuSincronizar_Click()
{
    m_sync->sincronizaAgora();
}

void LB_Principal::alteracaoLocal()
{
    m_sync->alteracaoLocal();
}

void LB_Principal::lembraCampos()
{
    for (size_t i = 0; i < m_campos.size(); ++i)
        m_mostrados[i] = textoDe(m_campos[i].texto);
}

bool LB_Principal::editando() const
{
    for (size_t i = 0; i < m_campos.size(); ++i)
        if (m_mostrados[i] != textoDe(m_campos[i].texto))
            return true;
    return false;
}

void LB_Principal::syncTerminou(const SyncFim& fim)
{
    const SyncResult& r = fim.resultado;
    QString texto = textoDoSync(r, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    // A safety stop asks the user only after a sync they started, when no contact is being
    // edited: the question then takes the keys, and a background run may come while they type.
    // Otherwise the notice tells them how to decide; a periodic run that meets the same stop
    // again says nothing, and never asks.
    const bool pergunta = r.stopped && fim.doUsuario && !editando();
    if (r.stopped && fim.doUsuario && !pergunta)
        texto = r.error
            + u".\nNada foi alterado. Para decidir, termine a edição do contato e use \"Sincronizar agora\"."_s;
    m_dicaBandeja = u"Lurvane Brevicard\nÚltima sincronização, "_s
        + QDateTime::currentDateTime().toString(u"dd/MM/yyyy HH:mm"_s) + u":\n"_s
        + texto.section(u'\n', 0, 0);
    m_plataforma.bandeja.defineDica(m_dicaBandeja);

    if (r.received > 0) {
        // The list from the names the sync's thread read, unless a change made here since is
        // newer than them; the open contact stays selected.
        const QString selecionado = textoSelecionado();
        if (fim.nomes && fim.geracao == m_sync->geracao())
            preencheLista(std::move(*fim.nomes));
        else
            recarregaLista();
        const QString nome = selecionado.isEmpty() ? QString() : recordName(selecionado).toString();
        for (int i = 0; !nome.isEmpty() && i < m_nomes->rowCount(); ++i) {
            const QModelIndex linha = m_nomes->index(i);
            if (linha.data(NameListModel::NameRole).toString() != selecionado)
                continue;
            // Selected again without reading it on this thread: the sync's thread did.
            const QSignalBlocker semReler(lstContatos->selectionModel());
            lstContatos->selectionModel()->setCurrentIndex(linha, QItemSelectionModel::ClearAndSelect);
            lstContatos->viewport()->update();
            break;
        }
        // A contact being edited keeps what the user typed; the sync left its record alone.
        if (!nome.isEmpty() && fim.aberto == nome && fim.registro && !editando()) {
            mostraRegistro(*fim.registro);
            apagaContadores();
        }
    }

    // Told: what the user asked for, a change, a new failure. A quiet periodic run, being
    // offline and the same failure again say nothing.
    bool mostra = fim.doUsuario && !pergunta;
    if (r.ok())
        mostra = mostra || r.received + r.sent + r.conflicts > 0 || !r.removedNames.isEmpty();
    else if (!r.busy && !r.offline && r.status != 401)
        mostra = mostra || r.error != m_ultimoErroSync;
    m_ultimoErroSync = r.ok() ? QString() : r.error;
    if (mostra) {
        // Without holding the window: the user may be typing, and keeps the caret and the keys.
        Silencio silencio;
        if (m_avisoSync)
            m_avisoSync->done(QDialog::Accepted);
        m_avisoSync = LB_ContAd::avisa(fim.doUsuario ? m_plataforma.beeper : silencio, texto,
            pos() + Twips::point(AvisoAdicionaTwips, AvisoTopoTwips), this,
            texto.contains(u'\n') ? AvisoLongoMs : LB_ContAd::IntervaloMs);
    }
    if (pergunta)
        QTimer::singleShot(0, this, [this, motivo = r.error] { perguntaExclusoes(motivo); });
    // Asked once: the runner syncs no more by itself until the account changes.
    if (r.status == 401)
        QTimer::singleShot(0, this, [this] { abreConta(u"Senha recusada"_s); });
}

void LB_Principal::perguntaExclusoes(const QString& motivo)
{
    // Where the delete question stands; S does not answer this one, Enter and Escape say no.
    if (LB_ContDel::confirmaTexto(m_plataforma.beeper,
            pos() + Twips::point(AvisoAdicionaTwips, AvisoTopoTwips),
            motivo + u".\nDeseja realmente continuar a sincronização?"_s, u" Continuar e excluir "_s, this))
        m_sync->sincronizaExcluindo();
}
