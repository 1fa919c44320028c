#pragma once

#include "contactstore.h"
#include "namelistmodel.h"
#include "plataforma.h"

#include <QPoint>
#include <QPointer>
#include <QWidget>

#include <array>

class ContactListView;
class QAction;
class QMenu;
class ImageButton;
class LB_ContAd;
class QFrame;
class QIcon;
class QInputMethodEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class NameListModel;
class StartupNames;
class SyncRunner;
struct SyncFim;
struct SyncResult;

// The main window: the sorted name list on the left, the five fields of one contact on the
// right, the image buttons below, and a drawn strip on top in place of a title bar.
class LB_Principal : public QWidget {
    Q_OBJECT
public:
    // Client area in twips.
    static constexpr int LarguraTwips = 7560;
    static constexpr int AlturaTwips = 3825;

    static const QString TextoTotal; // "Total de contatos: "
    static const QString ErroLeitura;
    static const QString ErroGravacao;
    static const QString GravadoEmUtf8;
    static const QString SalvamentoRestaurado;
    static const QString TituloVazio;
    static const QString NomeExiste;
    static const QString ContatoInserido;
    static const QString SelecioneContato;
    static const QString ContatoAtualizado;
    static const QString ContatoDeletado;
    static const QString ContatoNaoEncontrado;
    static const QString DigiteNovoNome;
    static const QString TextoAtualizado; // "Atualizado: "
    // vCard import and export, from the name list's context menu or files dropped on the window.
    static const QString MenuImportar;
    static const QString MenuExportarTodos;
    static const QString MenuExportarContato;
    // Sync with a CardDAV server, from the same menu.
    static const QString MenuConta;
    static const QString MenuSincronizar;
    static const QString NenhumContatoNoArquivo;
    static const QString ErroLerArquivo;
    static const QString ErroGravarArquivo;

    // pastaContatos: the folder that holds LBcontatos.txt; nomes, when given, its names already
    // on their way (read while the program was starting).
    LB_Principal(const QString& pastaContatos, const Plataforma& plataforma, QWidget* parent = nullptr,
        StartupNames* nomes = nullptr);

    static QIcon iconePrograma();
    // The window's top left on first showing: the lower right corner of area, a screen's
    // area without its panels (screen pixels).
    static QPoint posicaoInicial(const QRect& area);

    // The names as the list shows them, top to bottom.
    QStringList nomesListados() const;

    // The background sync of this window's contacts file.
    SyncRunner* sincronizacao() const { return m_sync; }
    // False when closing found a sync busy past its wait: the program then ends without
    // waiting for it (the sync's own guarantees make the next one finish its work).
    bool syncEncerrado() const { return m_syncEncerrado; }
    // The notice a sync's result gets; empty where it says nothing.
    static QString textoDoSync(const SyncResult& r, const QString& pastaDados);

    // A field's text with CR LF between its lines, as the store, the clipboard and the
    // counters see it; and the setter that takes such a text.
    static QString textoDe(const QWidget* campo);
    static void defineTexto(QWidget* campo, const QString& texto);
    // The five fields as they stand, joined by CR LF CR LF.
    QString textoContato() const;

    ContactListView* lstContatos;
    QLineEdit* txtNome;
    QLineEdit* txtFone;
    QLineEdit* txtMail;
    QPlainTextEdit* txtEnd;
    QPlainTextEdit* txtComp;
    QFrame* shpLB_Principal;

    ImageButton* imgCtrlcNome;
    ImageButton* imgCtrlcFone;
    ImageButton* imgCtrlcMail;
    ImageButton* imgCtrlcEnd;
    ImageButton* imgCtrlcComp;
    ImageButton* imgCtrlvNome;
    ImageButton* imgCtrlvFone;
    ImageButton* imgCtrlvMail;
    ImageButton* imgCtrlvEnd;
    ImageButton* imgCtrlvComp;
    ImageButton* imgRefresh;
    ImageButton* imgFecha;
    ImageButton* imgMinimiza;
    ImageButton* imgImprimir;
    ImageButton* imgCopiar;
    ImageButton* imgLimpar;
    ImageButton* imgMarca;
    ImageButton* imgMove;
    ImageButton* imgDeleta;
    ImageButton* imgAtualiza;
    ImageButton* imgAdiciona;

    QLabel* lblNovoNome;
    QLabel* Label2;
    QLabel* Label1;
    QLabel* lblStatus1;
    QLabel* lblStatus2;
    QLabel* lblNomeCount;
    QLabel* lblFoneCount;
    QLabel* lblMailCount;
    QLabel* lblEndCount;
    QLabel* lblCompCount;
    QLabel* lblContatos;
    QLabel* lblNomeTopo;
    QLabel* lblNome;
    QLabel* lblFone;
    QLabel* lblMail;
    QLabel* lblEnd;
    QLabel* lblComp;

    // The name list's context menu; exporting the selected contact only while one is selected.
    QMenu* mnuContatos;
    QAction* mnuImportar;
    QAction* mnuExportarTodos;
    QAction* mnuExportarContato;
    QAction* mnuConta;
    QAction* mnuSincronizar; // only once an account exists

public Q_SLOTS:
    void imgRefresh_Click();
    void lstContatos_Click();
    void imgAdiciona_Click();
    void imgAtualiza_Click();
    void imgDeleta_Click();
    void minimize_to_tray();
    // Brings the window back from the notification area or the taskbar, and to the front.
    void restaura();
    void imgFecha_Click();
    void imgCopiar_Click();
    void imgLimpar_Click();
    // Empties the five counters, as pointer movement over the list or the background does.
    void apagaContadores();
    void lstContatos_ContextMenu(const QPoint& onde);
    void mnuImportar_Click();
    void mnuExportarTodos_Click();
    void mnuExportarContato_Click();
    void mnuConta_Click();
    void mnuSincronizar_Click();
    // The account window, over this one; motivo, when given, says why it opened by itself
    // (a password the server refused).
    void abreConta(const QString& motivo = {});
    // Adds the contacts of these vCard files in one rewrite of the store, skipping names already
    // listed, and tells how many came in.
    void importaVCard(const QStringList& arquivos);

    void setVisible(bool visible) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void criaControles();
    // Shortcuts and the Tab order.
    void preparaTeclado();
    void Form_Load(StartupNames* nomes);
    void posicionaNoCanto();
    // The tiled background at the density of the window's screen.
    void desenhaParaATela();
    template<typename Nomes>
    void preencheLista(Nomes nomes);
    // Notices stand 2500 twips below the window's top, across over the button of the operation
    // they report: the list's and adding's at 3115, updating's at 3615, deleting's at 4115.
    static constexpr int AvisoTopoTwips = 2500;
    static constexpr int AvisoAdicionaTwips = 3115;
    static constexpr int AvisoAtualizaTwips = 3615;
    static constexpr int AvisoDeletaTwips = 4115;
    void mostraAviso(const QString& mensagem, int esquerdaTwips);
    static QString mensagemDeErro(StoreStatus status);
    // After the operation's own notice, once a change has made the store UTF-8.
    void avisaUtf8(bool passouAUtf8);

    // Contact operations.
    QString textoSelecionado() const;
    QString registroDosCampos(const QString& data) const;
    // Reads the names again; on failure the list stays as it was and the reason is returned.
    QString recarregaLista();

    // vCard import and export: lb_principal_vcard.cpp.
    void preparaVCard();
    void exportaVCard(const QString& caminho, const QList<ContactRecord>& registros);
    // Takes a drag of .vcf files, wherever on the window it comes; any other drag is left alone.
    bool trataArrasto(QEvent* event);

    // Sync: the account window in lb_principal_conta.cpp, the background runs in
    // lb_principal_sync.cpp.
    void preparaSync();
    bool temConta() const;
    void syncTerminou(const SyncFim& fim);
    // After a sync the user started met a safety stop: asks whether to go past it, and on yes
    // runs that sync once more with the deletes allowed.
    void perguntaExclusoes(const QString& motivo);
    // The fields as last shown from the file or saved: a difference is an edit in progress,
    // which a sync never overwrites.
    void lembraCampos();
    // A record in the five fields and its date, remembered as shown (see editando()).
    void mostraRegistro(const ContactRecord& registro);
    bool editando() const;
    // A change of the file from this window: the sync follows it after a pause.
    void alteracaoLocal();

    // The print and about windows, opened modally over this one; each returns when its
    // window has closed.
    void abreImpressao();
    void abreSobre();

    // Field limits, counters, the key filter, clipboard and clearing: lb_principal_campos.cpp.
    // Window chrome, notification-area icon, dragging and closing: lb_principal_janela.cpp.
    struct Campo {
        QWidget* texto;
        QLabel* contador;
        qint16 limite;
        // What the field may hold: its limit, or more where a record brought a longer text.
        // Typing and pasting never lengthen a text past it; deleting lowers it to the limit.
        mutable int permitido = 0;
    };
    void preparaCampos();
    void preparaJanela();
    void limitaTextoLongo(const Campo& campo);
    void ajustaPermitido(const Campo& campo);
    // Shows a record's field whole, however long the file has it.
    void mostraCampo(const Campo& campo, const QString& texto);
    void mostraContador(const Campo& campo);
    void mostraSoContador(const Campo& campo);
    bool filtraEntrada(QObject* campo, QInputMethodEvent* entrada);
    void copiaCampo(const Campo& campo);
    void colaNoCampo(const Campo& campo);
    void Form_MouseMove();
    void Form_Unload();
    bool adicionaIcone();
    // Moving the window after the pointer where the desktop cannot move it.
    bool arrastaPelaFaixa(QEvent* event);

    std::array<Campo, 5> m_campos {};
    bool m_posicionada = false;
    bool m_acompanhaTela = false;
    bool m_arrastoManual = false;
    QPoint m_arrastoPonteiro;
    QPoint m_arrastoJanela;

    ContactStore m_store;
    Plataforma m_plataforma;
    NameListModel* m_nomes;
    QString m_avisoInicial;

    SyncRunner* m_sync = nullptr;
    std::array<QString, 5> m_mostrados {};
    QString m_ultimoErroSync; // a failure told once, not at every retry
    QString m_dicaBandeja;
    QPointer<LB_ContAd> m_avisoSync; // a newer result takes its place
    bool m_syncEncerrado = true;
};
