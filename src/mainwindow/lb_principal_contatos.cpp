#include "lb_principal.h"

#include "contactlistview.h"
#include "lb_contdel.h"
#include "namelistmodel.h"
#include "twips.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace Qt::StringLiterals;

const QString LB_Principal::TituloVazio = u"O campo TÍTULO não pode ficar vazio!"_s;
const QString LB_Principal::NomeExiste = u"Este nome já existe!"_s;
const QString LB_Principal::ContatoInserido = u"Contato inserido com sucesso!"_s;
const QString LB_Principal::SelecioneContato = u"É preciso selecionar um contato primeiro!"_s;
const QString LB_Principal::ContatoAtualizado = u"Contato atualizado com sucesso!"_s;
const QString LB_Principal::ContatoDeletado = u"Contato deletado com sucesso!"_s;
const QString LB_Principal::ContatoNaoEncontrado = u"Contato não encontrado!"_s;
const QString LB_Principal::DigiteNovoNome = u"Digite o novo nome do contato"_s;
const QString LB_Principal::TextoAtualizado = u"Atualizado: "_s;

namespace {

QString comQuebras(const QString& campo)
{
    QString texto = campo;
    return texto.replace(MarcaQuebra, u"\r\n"_s);
}

} // namespace

QString LB_Principal::textoSelecionado() const
{
    const QModelIndexList selecionados = lstContatos->selectionModel()->selectedIndexes();
    return selecionados.isEmpty() ? QString() : selecionados.first().data(NameListModel::NameRole).toString();
}

QString LB_Principal::registroDosCampos(const QString& data) const
{
    return formatRecord(
        textoDe(txtNome), textoDe(txtFone), textoDe(txtMail), textoDe(txtEnd), textoDe(txtComp), data);
}

void LB_Principal::mostraRegistro(const ContactRecord& registro)
{
    mostraCampo(m_campos[0], registro.nome);
    mostraCampo(m_campos[1], registro.fone);
    mostraCampo(m_campos[2], registro.mail);
    mostraCampo(m_campos[3], comQuebras(registro.endereco));
    mostraCampo(m_campos[4], comQuebras(registro.complemento));
    lblStatus2->setText(TextoAtualizado + registro.data);
    lembraCampos();
}

void LB_Principal::lstContatos_Click()
{
    // Clearing the selection is no choice of a contact.
    if (!lstContatos->selectionModel()->hasSelection())
        return;
    const QString nome = recordName(textoSelecionado()).toString();
    lblNomeTopo->setText(nome);

    std::optional<ContactRecord> registro;
    const StoreStatus status = m_store.findRecord(nome, &registro);
    if (registro)
        mostraRegistro(*registro);
    // Filling the fields ran their counters; after a selection none is shown.
    apagaContadores();
    if (status != StoreStatus::Ok)
        mostraAviso(mensagemDeErro(status), AvisoAdicionaTwips);
}

void LB_Principal::imgAdiciona_Click()
{
    const QString linha = registroDosCampos(formatRecordDate(QDate::currentDate()));
    const QString nome = recordName(linha).toString();
    if (nome.isEmpty()) {
        mostraAviso(TituloVazio, AvisoAdicionaTwips);
    } else {
        // The name as it will be stored against every listed name as it would be stored, without
        // regard to case: "ana" or " Ana" beside Ana would make two contacts that every later
        // update or delete changes together.
        // One notice per listed name that has the key.
        const int iguais = m_nomes->countWithKey(nameKey(nome));
        for (int i = 0; i < iguais; ++i)
            mostraAviso(NomeExiste, AvisoAdicionaTwips);
        if (iguais > 0) {
            defineTexto(txtNome, {});
        } else {
            bool utf8 = false;
            const StoreStatus status = m_store.append(linha, &utf8);
            if (status == StoreStatus::Ok) {
                lembraCampos();
                alteracaoLocal();
            }
            mostraAviso(
                status == StoreStatus::Ok ? ContatoInserido : mensagemDeErro(status), AvisoAdicionaTwips);
            avisaUtf8(utf8);
        }
    }
    const QString erro = recarregaLista();
    if (!erro.isEmpty())
        mostraAviso(erro, AvisoAdicionaTwips);
    lblStatus2->clear();
    lblNovoNome->setText(DigiteNovoNome);
}

void LB_Principal::imgAtualiza_Click()
{
    // One date for every record the update replaces.
    const QString data = formatRecordDate(QDate::currentDate());
    if (textoSelecionado().isEmpty()) {
        mostraAviso(SelecioneContato, AvisoAtualizaTwips);
        return;
    }
    const QString linha = registroDosCampos(data);
    if (recordName(linha).isEmpty()) {
        mostraAviso(TituloVazio, AvisoAtualizaTwips);
    } else {
        int substituidos = 0;
        bool utf8 = false;
        const StoreStatus status = m_store.replaceRecords(lblNomeTopo->text(), linha, &substituidos, &utf8);
        // Another running copy or a hand edit may have removed the record since it was shown.
        if (status == StoreStatus::Ok && substituidos > 0) {
            lembraCampos();
            alteracaoLocal();
        }
        if (status != StoreStatus::Ok)
            mostraAviso(mensagemDeErro(status), AvisoAtualizaTwips);
        else
            mostraAviso(substituidos > 0 ? ContatoAtualizado : ContatoNaoEncontrado, AvisoAtualizaTwips);
        avisaUtf8(utf8);
    }
    const QString erro = recarregaLista();
    if (!erro.isEmpty())
        mostraAviso(erro, AvisoAtualizaTwips);
    apagaContadores();
    lblStatus2->clear();
}

void LB_Principal::imgDeleta_Click()
{
    if (textoSelecionado().isEmpty()) {
        mostraAviso(SelecioneContato, AvisoDeletaTwips);
        return;
    }
    if (storedName(textoDe(txtNome)).isEmpty()) {
        mostraAviso(TituloVazio, AvisoDeletaTwips);
        return;
    }

    QString resultado;
    QString erroLeitura;
    bool utf8 = false;
    const auto deleta = [&] {
        int removidos = 0;
        const StoreStatus status = m_store.removeRecords(lblNomeTopo->text(), &removidos, &utf8);
        if (status != StoreStatus::Ok)
            resultado = mensagemDeErro(status);
        else
            resultado = removidos > 0 ? ContatoDeletado : ContatoNaoEncontrado;
        if (removidos > 0)
            alteracaoLocal();
        erroLeitura = recarregaLista();
    };
    // The question stands where the add notice would.
    if (!LB_ContDel::confirma(
            m_plataforma.beeper, pos() + Twips::point(AvisoAdicionaTwips, AvisoTopoTwips), deleta, this))
        return;

    // The question is gone before the notice comes, and the fields empty only after it.
    lblStatus2->clear();
    mostraAviso(resultado, AvisoDeletaTwips);
    avisaUtf8(utf8);
    if (!erroLeitura.isEmpty())
        mostraAviso(erroLeitura, AvisoDeletaTwips);
    // Only a contact really gone takes the fields with it: otherwise they may be the last copy.
    if (resultado == ContatoDeletado) {
        for (QWidget* campo : std::initializer_list<QWidget*> { txtNome, txtFone, txtMail, txtEnd, txtComp })
            defineTexto(campo, {});
        lembraCampos();
    }
}
