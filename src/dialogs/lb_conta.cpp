#include "lb_conta.h"

#include "davclient.h"
#include "davdiscovery.h"
#include "janelas.h"
#include "labelbutton.h"
#include "twips.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTimer>

using namespace Qt::StringLiterals;

const QString LB_Conta::Titulo = u"Conta de sincronização (CardDAV)"_s;
const QString LB_Conta::InformeServidor = u"Informe o endereço do servidor."_s;
const QString LB_Conta::Testando = u"Testando a conexão..."_s;
const QString LB_Conta::ServidorNaoEncontrado
    = u"Servidor não encontrado. Verifique o endereço e a conexão com a internet."_s;
const QString LB_Conta::SenhaRecusada = u"Senha recusada. Verifique o usuário e a senha."_s;
const QString LB_Conta::SemCatalogo = u"Nenhum catálogo de endereços encontrado neste endereço."_s;
const QString LB_Conta::CertificadoNaoConfiavel
    = u"Certificado do servidor não confiável. Confie nele só se esta for a impressão digital (SHA-256) "
      u"do seu servidor:\n%1"_s;
const QString LB_Conta::EscolhaCatalogo = u"O servidor tem %1 catálogos de endereços: escolha um na lista."_s;
const QString LB_Conta::SincronizaCom = u"Este arquivo de contatos sincroniza com %1"_s;
const QString LB_Conta::Gravada = u"Conta gravada."_s;
const QString LB_Conta::NoChaveiro = u"Conta gravada. A senha ficou no chaveiro do sistema."_s;
const QString LB_Conta::SemChaveiro
    = u"Conta gravada. Sem chaveiro no sistema: a senha fica guardada só até o programa fechar."_s;
const QString LB_Conta::ErroGravar = u"Não foi possível gravar a conta."_s;
const QString LB_Conta::Removida = u"Conta removida. Os contatos continuam no arquivo."_s;
const QString LB_Conta::NenhumaConta = u"Nenhuma conta gravada."_s;

namespace {

// Errors in a dark red that reads on the windows' light background (7 to 1).
const QColor CorDeErro(160, 0, 0);

QLineEdit* campo(QWidget* parent, const QString& nome, const QString& legenda, const QRect& twips)
{
    auto* c = new QLineEdit(parent);
    c->setObjectName(nome);
    c->setAccessibleName(legenda);
    c->setGeometry(Twips::rect(twips.x(), twips.y(), twips.width(), twips.height()));
    return c;
}

QLabel* legenda(QWidget* parent, const QString& nome, const QString& texto, int topo, QWidget* campo)
{
    QLabel* l = Janelas::rotulo(parent, nome, texto, QRect(90, topo, 1125, 300));
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    l->setBuddy(campo);
    return l;
}

// An address as typed without a scheme goes to HTTPS: a server is reached over plain HTTP only
// on this computer, where the user types it whole.
QUrl enderecoDigitado(const QString& texto)
{
    const QString t = texto.trimmed();
    return QUrl::fromUserInput(t.contains(u"://"_s) ? t : u"https://"_s + t);
}

// "AB:CD:..." on two lines of sixteen pairs, so that it fits the window.
QString emDuasLinhas(const QString& impressao)
{
    QStringList pares = impressao.split(u':');
    if (pares.size() <= 16)
        return impressao;
    return pares.mid(0, 16).join(u':') + u":\n"_s + pares.mid(16).join(u':');
}

} // namespace

QString LB_Conta::caminhoDaConta(const QString& storePath)
{
    return SyncAccount::pathFor(
        QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation), storePath);
}

LB_Conta::LB_Conta(const QString& storePath, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
    , m_storePath(storePath)
{
    Janelas::prepara(this, u"LB_Conta"_s, 5400, 3480);

    lblTitulo = Janelas::rotulo(this, u"lblTitulo"_s, Titulo, QRect(90, 60, 5220, 270));
    Janelas::negrito(lblTitulo, 9.75);

    txtServidor = campo(this, u"txtServidor"_s, u"Servidor"_s, QRect(1230, 420, 4080, 300));
    txtServidor->setPlaceholderText(u"https://servidor.exemplo/"_s);
    txtUsuario = campo(this, u"txtUsuario"_s, u"Usuário"_s, QRect(1230, 780, 4080, 300));
    txtSenha = campo(this, u"txtSenha"_s, u"Senha"_s, QRect(1230, 1140, 4080, 300));
    txtSenha->setEchoMode(QLineEdit::Password);
    cboCatalogo = new QComboBox(this);
    cboCatalogo->setObjectName(u"cboCatalogo"_s);
    cboCatalogo->setAccessibleName(u"Catálogo de endereços"_s);
    cboCatalogo->setGeometry(Twips::rect(1230, 1500, 4080, 300));
    cboCatalogo->setPlaceholderText(u"Teste a conexão para ver os catálogos"_s);
    // Its list opens in a window of its own, which takes the desktop's menu colours.
    cboCatalogo->view()->setPalette(palette());

    lblServidor = legenda(this, u"lblServidor"_s, u"Servidor:"_s, 420, txtServidor);
    lblUsuario = legenda(this, u"lblUsuario"_s, u"Usuário:"_s, 780, txtUsuario);
    lblSenha = legenda(this, u"lblSenha"_s, u"Senha:"_s, 1140, txtSenha);
    lblCatalogo = legenda(this, u"lblCatalogo"_s, u"Catálogo:"_s, 1500, cboCatalogo);

    lblMensagem = Janelas::rotulo(this, u"lblMensagem"_s, {}, QRect(90, 1890, 5220, 810));
    lblMensagem->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblMensagem->setWordWrap(true);
    // The fingerprint can be copied, to compare it with the one the server's owner gives.
    lblMensagem->setTextInteractionFlags(Qt::TextSelectableByMouse);

    lblTestar = LabelButton::comForma(u"lblTestar"_s, u"Testar conexão"_s,
        u"Procura o catálogo de endereços no servidor"_s, QRect(90, 2790, 1650, 270), u"shpTestar"_s, this);
    lblConfiar = LabelButton::comForma(u"lblConfiar"_s, u"Confiar no certificado"_s,
        u"Confia neste certificado para esta conta e testa de novo"_s, QRect(1830, 2790, 2250, 270),
        u"shpConfiar"_s, this);
    lblGravar = LabelButton::comForma(u"lblGravar"_s, u"Gravar"_s, u"Grava a conta (Enter)"_s,
        QRect(90, 3135, 1200, 270), u"shpGravar"_s, this);
    lblRemover = LabelButton::comForma(u"lblRemover"_s, u"Remover conta"_s,
        u"Esquece a conta e a senha; os contatos ficam no arquivo"_s, QRect(1380, 3135, 1650, 270),
        u"shpRemover"_s, this);
    lblFechar = LabelButton::comForma(
        u"lblFechar"_s, u"Fechar"_s, u"Fechar (Esc)"_s, QRect(4110, 3135, 1200, 270), u"shpFechar"_s, this);
    mostraConfiar(false);

    setTabOrder(txtServidor, txtUsuario);
    setTabOrder(txtUsuario, txtSenha);
    setTabOrder(txtSenha, cboCatalogo);
    setTabOrder(cboCatalogo, lblTestar);
    setTabOrder(lblTestar, lblConfiar);
    setTabOrder(lblConfiar, lblGravar);
    setTabOrder(lblGravar, lblRemover);
    setTabOrder(lblRemover, lblFechar);
    connect(lblTestar, &LabelButton::clicked, this, &LB_Conta::lblTestar_Click);
    connect(lblConfiar, &LabelButton::clicked, this, &LB_Conta::lblConfiar_Click);
    connect(lblGravar, &LabelButton::clicked, this, &LB_Conta::lblGravar_Click);
    connect(lblRemover, &LabelButton::clicked, this, &LB_Conta::lblRemover_Click);
    connect(lblFechar, &LabelButton::clicked, this, &LB_Conta::reject);
    for (QLineEdit* c : { txtServidor, txtUsuario, txtSenha })
        connect(c, &QLineEdit::textEdited, this, &LB_Conta::esqueceTeste);
    Janelas::cabemTodos(this);

    // The saved account fills the fields; its password comes from the keyring when it answers.
    m_gravada.load(caminhoDaConta(m_storePath));
    txtServidor->setFocus();
    if (!m_gravada.isValid())
        return;
    txtServidor->setText(m_gravada.server.toString());
    txtUsuario->setText(m_gravada.user);
    cboCatalogo->addItem(m_gravada.addressBook.path(), m_gravada.addressBook);
    cboCatalogo->setCurrentIndex(0); // a placeholder keeps the first item from being picked by itself
    m_confiavel = m_gravada.fingerprint;
    mostraMensagem(SincronizaCom.arg(m_gravada.addressBook.toDisplayString()), false);
    if (m_gravada.user.isEmpty())
        return;
    SyncPassword::readAsync(SyncPassword::keyFor(m_gravada), this, [this](const QString& senha) {
        // Never over what the user typed meanwhile, nor a password the server refused.
        if (!m_pedeSenha && !txtSenha->isModified() && txtSenha->text().isEmpty())
            txtSenha->setText(senha);
    });
}

void LB_Conta::pedeSenha(const QString& motivo)
{
    m_pedeSenha = true;
    txtSenha->clear();
    mostraMensagem(motivo, true);
    txtSenha->setFocus();
}

void LB_Conta::mostraMensagem(const QString& texto, bool erro)
{
    QPalette p = lblMensagem->palette();
    p.setColor(QPalette::WindowText, erro ? CorDeErro : QColor(Qt::black));
    lblMensagem->setPalette(p);
    lblMensagem->setText(texto);
    // Said by a screen reader as it comes, the focus staying where the user typed.
    QAccessibleEvent aviso(lblMensagem, erro ? QAccessible::Alert : QAccessible::NameChanged);
    QAccessible::updateAccessibility(&aviso);
}

void LB_Conta::esqueceTeste()
{
    m_testado = false;
    // A certificate refused for other fields is not the one to trust for these.
    m_recusado.clear();
    mostraConfiar(false);
}

void LB_Conta::mostraConfiar(bool mostra)
{
    findChild<QWidget*>(u"shpConfiar"_s)->setVisible(mostra);
    lblConfiar->setVisible(mostra);
}

void LB_Conta::lblTestar_Click()
{
    m_gravaAoTestar = false;
    testa();
}

void LB_Conta::lblConfiar_Click()
{
    if (m_recusado.isEmpty())
        return;
    m_confiavel = m_recusado;
    testa();
}

void LB_Conta::lblGravar_Click()
{
    if (m_testado && cboCatalogo->currentIndex() >= 0)
        return grava();
    if (m_testado) {
        mostraMensagem(EscolhaCatalogo.arg(cboCatalogo->count()), true);
        cboCatalogo->setFocus();
        return;
    }
    // Only an account whose address book was found is saved: the test runs first.
    m_gravaAoTestar = true;
    testa();
}

void LB_Conta::testa()
{
    if (txtServidor->text().trimmed().isEmpty()) {
        m_gravaAoTestar = false;
        mostraMensagem(InformeServidor, true);
        txtServidor->setFocus();
        return;
    }
    // A test still under way is dropped with its client: only the latest fields count.
    if (m_cliente)
        m_cliente->deleteLater();
    auto* cliente = new DavClient(this);
    m_cliente = cliente;
    cliente->setCredentials(txtUsuario->text().trimmed(), txtSenha->text());
    cliente->setTrustedFingerprint(m_confiavel);
    auto* descoberta = new DavDiscovery(cliente, cliente);
    connect(descoberta, &DavDiscovery::discovered, this, [this, cliente](const DavDiscoveryResult& r) {
        if (cliente != m_cliente)
            return;
        m_cliente = nullptr;
        cliente->deleteLater();
        testou(r);
    });
    m_recusado.clear();
    mostraConfiar(false);
    mostraMensagem(Testando, false);
    // Started from the event loop: an address refused at once still answers after this returns.
    QTimer::singleShot(
        0, descoberta, [descoberta, url = enderecoDigitado(txtServidor->text())] { descoberta->start(url); });
}

void LB_Conta::testou(const DavDiscoveryResult& r)
{
    using Falha = DavDiscoveryResult::Failure;
    const bool gravar = std::exchange(m_gravaAoTestar, false);
    switch (r.failure) {
    case Falha::None:
        break;
    case Falha::Offline:
        return mostraMensagem(ServidorNaoEncontrado, true);
    case Falha::PasswordRefused:
        mostraMensagem(SenhaRecusada, true);
        txtSenha->setFocus();
        txtSenha->selectAll();
        return;
    case Falha::NoAddressBook:
        return mostraMensagem(SemCatalogo, true);
    case Falha::Untrusted:
        m_recusado = r.fingerprint;
        mostraMensagem(CertificadoNaoConfiavel.arg(emDuasLinhas(r.fingerprint)), true);
        mostraConfiar(true);
        return;
    case Falha::BadAddress:
    case Falha::Unexpected:
        return mostraMensagem(r.error, true);
    }

    cboCatalogo->clear();
    int gravado = -1;
    for (const DavAddressBook& b : r.books) {
        if (b.url == m_gravada.addressBook)
            gravado = cboCatalogo->count();
        cboCatalogo->addItem(b.displayName.isEmpty() ? b.url.path() : b.displayName, b.url);
        cboCatalogo->setItemData(cboCatalogo->count() - 1, b.url.toDisplayString(), Qt::ToolTipRole);
    }
    // Of several, the one this account already syncs with stays picked; otherwise the user picks.
    cboCatalogo->setCurrentIndex(r.books.size() == 1 ? 0 : gravado);
    m_testado = true;
    if (cboCatalogo->currentIndex() < 0) {
        mostraMensagem(EscolhaCatalogo.arg(r.books.size()), false);
        cboCatalogo->setFocus();
        return;
    }
    mostraMensagem(u"Conexão bem-sucedida: catálogo \"%1\"."_s.arg(cboCatalogo->currentText()), false);
    if (gravar)
        grava();
}

void LB_Conta::grava()
{
    const SyncAccount conta { enderecoDigitado(txtServidor->text()), txtUsuario->text().trimmed(),
        cboCatalogo->currentData().toUrl(), m_confiavel };
    if (!conta.save(caminhoDaConta(m_storePath)))
        return mostraMensagem(ErroGravar, true);
    // The password of an account this one replaced is forgotten with it.
    if (m_gravada.isValid() && SyncPassword::keyFor(m_gravada) != SyncPassword::keyFor(conta))
        SyncPassword::removeAsync(SyncPassword::keyFor(m_gravada), this);
    m_gravada = conta;
    m_pedeSenha = false;
    mostraMensagem(Gravada, false);
    if (!conta.user.isEmpty())
        SyncPassword::writeAsync(SyncPassword::keyFor(conta), txtSenha->text(), this, [this](bool guardada) {
            // Unless something newer has been said meanwhile.
            if (lblMensagem->text() == Gravada)
                mostraMensagem(guardada ? NoChaveiro : SemChaveiro, false);
        });
    // The password is already at hand for a sync this starts: the keyring is asked after memory.
    Q_EMIT contaMudou();
}

void LB_Conta::lblRemover_Click()
{
    const QString caminho = caminhoDaConta(m_storePath);
    SyncAccount conta;
    conta.load(caminho);
    if (!QFile::exists(caminho))
        return mostraMensagem(NenhumaConta, true);
    // Only the account and its password go: the contacts file is not touched.
    if (!QFile::remove(caminho))
        return mostraMensagem(u"Não foi possível remover a conta."_s, true);
    if (conta.isValid())
        SyncPassword::removeAsync(SyncPassword::keyFor(conta), this);
    m_gravada = SyncAccount();
    m_confiavel.clear();
    m_testado = false;
    txtSenha->clear();
    cboCatalogo->clear();
    mostraMensagem(Removida, false);
    Q_EMIT contaMudou();
}

void LB_Conta::keyPressEvent(QKeyEvent* event)
{
    // Enter in a field saves, as a window's default button would; Escape closes (QDialog).
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        && !(event->modifiers() & ~Qt::KeypadModifier)) {
        lblGravar_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void LB_Conta::paintEvent(QPaintEvent*)
{
    Janelas::pintaFundo(this);
}
