#pragma once

#include "syncaccount.h"

#include <QDialog>
#include <QPointer>

class DavClient;
class DavDiscovery;
struct DavDiscoveryResult;
class LabelButton;
class QComboBox;
class QLabel;
class QLineEdit;

// The sync account of this contacts file: the server's address, the user and the password, a
// connection test that finds the address book, and the way to forget the account. A small
// frameless window in the style of the others. Nothing in it waits on the network or the
// keyring: the test, the save and the removal answer through the event loop.
class LB_Conta : public QDialog {
    Q_OBJECT

public:
    static const QString Titulo;
    static const QString InformeServidor;
    static const QString Testando;
    static const QString ServidorNaoEncontrado;
    static const QString SenhaRecusada;
    static const QString SemCatalogo;
    static const QString CertificadoNaoConfiavel;
    static const QString EscolhaCatalogo;
    static const QString SincronizaCom;
    static const QString Gravada;
    static const QString NoChaveiro;
    static const QString SemChaveiro;
    static const QString ErroGravar;
    static const QString Removida;
    static const QString NenhumaConta;

    // storePath: the contacts file the account belongs to.
    explicit LB_Conta(const QString& storePath, QWidget* parent = nullptr);

    // Opened because the server refused the saved password: says why and asks for it again.
    void pedeSenha(const QString& motivo);

    // Where the account of storePath is kept: the user's configuration folder, as the command
    // line keeps it.
    static QString caminhoDaConta(const QString& storePath);

    QLabel* lblTitulo;
    QLabel* lblServidor;
    QLabel* lblUsuario;
    QLabel* lblSenha;
    QLabel* lblCatalogo;
    QLineEdit* txtServidor;
    QLineEdit* txtUsuario;
    QLineEdit* txtSenha;
    QComboBox* cboCatalogo;
    QLabel* lblMensagem;
    LabelButton* lblTestar;
    LabelButton* lblConfiar; // shown only while a certificate stands refused
    LabelButton* lblGravar;
    LabelButton* lblRemover;
    LabelButton* lblFechar;

Q_SIGNALS:
    // The account was saved or removed; the main window enables "Sincronizar agora" by it.
    void contaMudou();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void lblTestar_Click();
    void lblConfiar_Click();
    void lblGravar_Click();
    void lblRemover_Click();
    void testa();
    void testou(const DavDiscoveryResult& resultado);
    void grava();
    // The fields changed: what the last test found no longer holds for them.
    void esqueceTeste();
    // "Confiar no certificado" and its shape.
    void mostraConfiar(bool mostra);
    void mostraMensagem(const QString& texto, bool erro);

    QString m_storePath;
    SyncAccount m_gravada; // as the file holds it; empty when there is none
    QString m_confiavel; // the certificate trusted for this account, by its SHA-256
    QString m_recusado; // the certificate the last test refused
    QPointer<DavClient> m_cliente;
    bool m_testado = false; // the address books listed were found with the fields as they stand
    bool m_gravaAoTestar = false;
    bool m_pedeSenha = false;
};
