#include "lb_principal.h"

#include "contactlistview.h"
#include "filechooser.h"
#include "vcard.h"

#include <QDragEnterEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QSaveFile>
#include <QTimer>

using namespace Qt::StringLiterals;

const QString LB_Principal::MenuImportar = u"Importar contatos (vCard)..."_s;
const QString LB_Principal::MenuExportarTodos = u"Exportar todos os contatos (vCard)..."_s;
const QString LB_Principal::MenuExportarContato = u"Exportar contato selecionado (vCard)..."_s;
const QString LB_Principal::NenhumContatoNoArquivo = u"Nenhum contato no arquivo!"_s;
const QString LB_Principal::ErroLerArquivo = u"Erro ao ler o arquivo!"_s;
const QString LB_Principal::ErroGravarArquivo = u"Erro ao gravar o arquivo!"_s;

namespace {

// Far beyond any address book, photos included; a larger file is no contact file and would
// only freeze the window while it is read.
constexpr qint64 MaiorArquivo = 256 * 1024 * 1024;

// The local .vcf files a drag carries.
QStringList arquivosVCard(const QMimeData* dados)
{
    QStringList arquivos;
    if (!dados || !dados->hasUrls())
        return arquivos;
    for (const QUrl& url : dados->urls()) {
        const QString caminho = url.toLocalFile();
        if (caminho.endsWith(u".vcf"_s, Qt::CaseInsensitive))
            arquivos.append(caminho);
    }
    return arquivos;
}

bool leArquivo(const QString& caminho, QByteArray* bytes)
{
    QFile arquivo(caminho);
    if (!arquivo.open(QIODevice::ReadOnly) || arquivo.size() > MaiorArquivo)
        return false;
    *bytes = arquivo.readAll();
    return arquivo.error() == QFileDevice::NoError;
}

bool gravaArquivo(const QString& caminho, const QByteArray& bytes)
{
    // The whole file or, on a failure, the one that was there: never a cut-off export.
    QSaveFile arquivo(caminho);
    return arquivo.open(QIODevice::WriteOnly) && arquivo.write(bytes) == bytes.size() && arquivo.commit();
}

QString contagem(int n, const QString& um, const QString& varios)
{
    return n == 1 ? um : varios.arg(n);
}

} // namespace

void LB_Principal::preparaVCard()
{
    mnuContatos = new QMenu(this);
    mnuContatos->setObjectName(u"mnuContatos"_s);
    mnuImportar = mnuContatos->addAction(MenuImportar, this, &LB_Principal::mnuImportar_Click);
    mnuExportarTodos = mnuContatos->addAction(MenuExportarTodos, this, &LB_Principal::mnuExportarTodos_Click);
    mnuExportarContato
        = mnuContatos->addAction(MenuExportarContato, this, &LB_Principal::mnuExportarContato_Click);
    mnuImportar->setObjectName(u"mnuImportar"_s);
    mnuExportarTodos->setObjectName(u"mnuExportarTodos"_s);
    mnuExportarContato->setObjectName(u"mnuExportarContato"_s);
    mnuContatos->addSeparator();
    mnuConta = mnuContatos->addAction(MenuConta, this, &LB_Principal::mnuConta_Click);
    mnuSincronizar = mnuContatos->addAction(MenuSincronizar, this, &LB_Principal::mnuSincronizar_Click);
    mnuConta->setObjectName(u"mnuConta"_s);
    mnuSincronizar->setObjectName(u"mnuSincronizar"_s);

    lstContatos->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lstContatos, &QWidget::customContextMenuRequested, this, &LB_Principal::lstContatos_ContextMenu);
    // Files dropped anywhere on the window; the fields take them too (see trataArrasto()).
    setAcceptDrops(true);
}

void LB_Principal::lstContatos_ContextMenu(const QPoint& onde)
{
    mnuExportarContato->setEnabled(!textoSelecionado().isEmpty());
    mnuSincronizar->setEnabled(temConta());
    // The list maps its context menu to its viewport, and so the place.
    mnuContatos->popup(lstContatos->viewport()->mapToGlobal(onde));
}

void LB_Principal::mnuImportar_Click()
{
    const QStringList arquivos = m_plataforma.arquivos.escolheParaLer(this);
    if (!arquivos.isEmpty())
        importaVCard(arquivos);
}

void LB_Principal::importaVCard(const QStringList& arquivos)
{
    // Every file is read before anything is written: one that cannot be read changes nothing.
    const QString data = formatRecordDate(QDate::currentDate());
    QStringList linhas;
    for (const QString& caminho : arquivos) {
        QByteArray bytes;
        if (!leArquivo(caminho, &bytes)) {
            mostraAviso(ErroLerArquivo, AvisoAdicionaTwips);
            return;
        }
        for (const VCard::Contact& c : VCard::read(bytes)) {
            // Cleaned as a typed contact is; a card whose name is then empty is no contact.
            const QString linha = formatRecord(c.nome, c.fone, c.mail, c.endereco, c.complemento, data);
            if (!recordName(linha).isEmpty())
                linhas.append(linha);
        }
    }
    if (linhas.isEmpty()) {
        mostraAviso(NenhumContatoNoArquivo, AvisoAdicionaTwips);
        return;
    }

    int novos = 0;
    int existentes = 0;
    bool utf8 = false;
    const StoreStatus status = m_store.appendNew(linhas, &novos, &existentes, &utf8);
    if (status == StoreStatus::Ok && novos > 0)
        alteracaoLocal();
    if (status != StoreStatus::Ok) {
        mostraAviso(mensagemDeErro(status), AvisoAdicionaTwips);
    } else {
        QString texto = contagem(novos, u"1 contato importado"_s, u"%1 contatos importados"_s);
        if (existentes > 0)
            texto += u'\n' + contagem(existentes, u"1 já existia"_s, u"%1 já existiam"_s);
        mostraAviso(texto, AvisoAdicionaTwips);
        avisaUtf8(utf8);
    }
    const QString erro = recarregaLista();
    if (!erro.isEmpty())
        mostraAviso(erro, AvisoAdicionaTwips);
    lblStatus2->clear();
}

void LB_Principal::mnuExportarTodos_Click()
{
    const QString caminho = m_plataforma.arquivos.escolheParaGravar(this, u"contatos.vcf"_s);
    if (caminho.isEmpty())
        return;
    QStringList linhas;
    if (const StoreStatus status = m_store.readRecordLines(&linhas); status != StoreStatus::Ok) {
        mostraAviso(mensagemDeErro(status), AvisoAdicionaTwips);
        return;
    }
    QList<ContactRecord> registros;
    for (const QString& linha : linhas)
        registros.append(ContactRecord::fromLine(linha));
    exportaVCard(caminho, registros);
}

void LB_Principal::mnuExportarContato_Click()
{
    const QString nome = lblNomeTopo->text();
    // Characters no file name may hold on one desktop or another.
    QString sugestao = nome;
    for (QChar& c : sugestao) {
        if (c.unicode() < 0x20 || u"/\\:*?\"<>|"_s.contains(c))
            c = u'_';
    }
    const QString caminho = m_plataforma.arquivos.escolheParaGravar(
        this, (sugestao.trimmed().isEmpty() ? u"contato"_s : sugestao.trimmed()) + u".vcf"_s);
    if (caminho.isEmpty())
        return;
    std::optional<ContactRecord> registro;
    const StoreStatus status = m_store.findRecord(nome, &registro);
    if (status != StoreStatus::Ok)
        mostraAviso(mensagemDeErro(status), AvisoAdicionaTwips);
    else if (!registro) // removed by another running copy since it was shown
        mostraAviso(ContatoNaoEncontrado, AvisoAdicionaTwips);
    else
        exportaVCard(caminho, { *registro });
}

void LB_Principal::exportaVCard(const QString& caminho, const QList<ContactRecord>& registros)
{
    QByteArray bytes;
    for (const ContactRecord& r : registros)
        bytes += VCard::write(r);
    if (!gravaArquivo(caminho, bytes)) {
        mostraAviso(ErroGravarArquivo, AvisoAdicionaTwips);
        return;
    }
    mostraAviso(contagem(int(registros.size()), u"1 contato exportado"_s, u"%1 contatos exportados"_s),
        AvisoAdicionaTwips);
}

bool LB_Principal::trataArrasto(QEvent* event)
{
    const auto type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* arrasto = static_cast<QDropEvent*>(event);
    const QStringList arquivos = arquivosVCard(arrasto->mimeData());
    // Any other drag (text for a field, say) goes on as always. The files are only read: a copy,
    // never a move, after which the program they came from would delete them.
    if (arquivos.isEmpty() || !(arrasto->possibleActions() & Qt::CopyAction))
        return false;
    arrasto->setDropAction(Qt::CopyAction);
    arrasto->accept();
    if (type == QEvent::Drop) {
        // After the drop has returned: the program the files came from waits for the answer,
        // and the notices are modal.
        QTimer::singleShot(0, this, [this, arquivos] { importaVCard(arquivos); });
    }
    return true;
}

void LB_Principal::dragEnterEvent(QDragEnterEvent* event)
{
    trataArrasto(event);
}

void LB_Principal::dragMoveEvent(QDragMoveEvent* event)
{
    trataArrasto(event);
}

void LB_Principal::dropEvent(QDropEvent* event)
{
    trataArrasto(event);
}
