#include "lb_principal.h"

#include "beeper.h"
#include "contactlistview.h"
#include "fieldlimits.h"
#include "imagebutton.h"
#include "janelas.h"
#include "lb_contad.h"
#include "namelistmodel.h"
#include "syncrunner.h"
#include "twips.h"

#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSvgRenderer>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>

#include <tuple>

using namespace Qt::StringLiterals;

const QString LB_Principal::TextoTotal = u"Total de contatos: "_s;
const QString LB_Principal::ErroLeitura = u"Erro ao ler o arquivo de contatos!"_s;
const QString LB_Principal::ErroGravacao = u"Erro ao gravar o arquivo de contatos!"_s;
const QString LB_Principal::GravadoEmUtf8
    = u"O arquivo de contatos passou a ser gravado em UTF-8 para guardar todos os caracteres."_s;
const QString LB_Principal::SalvamentoRestaurado
    = u"O último salvamento foi interrompido; os contatos foram restaurados."_s;

namespace {

using Janelas::Fundo;
using Janelas::Moldura;
const QColor Texto(85, 83, 74);

QPixmap svgPixmap(const QString& path, qreal devicePixelRatio, QSize size = {})
{
    QSvgRenderer renderer(path);
    if (size.isEmpty())
        size = renderer.defaultSize();
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), size));
    return pixmap;
}

} // namespace

LB_Principal::LB_Principal(
    const QString& pastaContatos, const Plataforma& plataforma, QWidget* parent, StartupNames* nomes)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_store(pastaContatos)
    , m_plataforma(plataforma)
{
    Q_INIT_RESOURCE(lurvane);
    setObjectName(u"LB_Principal"_s);
    setWindowTitle(u"Lurvane Brevicard"_s);
    setFixedSize(Twips::toPixels(LarguraTwips), Twips::toPixels(AlturaTwips));
    // Labels and fields in the fields' dark grey over the window's light background.
    Janelas::veste(this, Texto, Fundo);
    setAutoFillBackground(true);

    criaControles();
    Form_Load(nomes);
}

QIcon LB_Principal::iconePrograma()
{
    Q_INIT_RESOURCE(lurvane);
    // Drawn at each size the desktop asks for most, so the small ones stay sharp.
    QIcon icon;
    for (const int size : { 16, 24, 32, 48, 64, 128 })
        icon.addPixmap(svgPixmap(u":/images/lurvane.svg"_s, 1, QSize(size, size)));
    return icon;
}

void LB_Principal::criaControles()
{
    const auto image
        = [this](const char* name, const char* file, int l, int t, int w, int h, const QString& hint) {
              auto* b = new ImageButton(QString::fromLatin1(name),
                  u":/images/"_s + QString::fromLatin1(file) + u".svg"_s, Twips::rect(l, t, w, h), this);
              if (!hint.isEmpty()) {
                  b->setToolTip(hint);
                  b->setAccessibleName(hint.trimmed());
              }
              return b;
          };

    // The strip goes first, at the bottom of the stack: what stands on it is drawn over it.
    imgMove = image("imgMove", "move", 0, 0, 7575, 330, {});
    imgMove->setAccessibleRole(QAccessible::TitleBar); // it drags the window; it presses nothing
    imgMove->setFocusPolicy(Qt::NoFocus);

    lstContatos = new ContactListView(this);
    lstContatos->setObjectName(u"lstContatos"_s);
    lstContatos->setGeometry(Twips::rect(145, 385, 2770, 3150));
    m_nomes = new NameListModel(this);
    lstContatos->setModel(m_nomes);

    const auto linha = [&](const char* name, int l, int t, int w, int maxLength) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(Twips::rect(l, t, w, 300));
        e->setMaxLength(maxLength);
        return e;
    };
    const auto texto = [&](const char* name, int l, int t, int w, int h, Qt::ScrollBarPolicy scroll) {
        auto* e = new QPlainTextEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(Twips::rect(l, t, w, h));
        e->setTabChangesFocus(true);
        e->setVerticalScrollBarPolicy(scroll);
        e->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        return e;
    };
    txtNome = linha("txtNome", 3150, 690, 4320, LimiteCampo::Nome);
    txtFone = linha("txtFone", 3150, 1290, 1800, LimiteCampo::Fone);
    txtMail = linha("txtMail", 5040, 1290, 2430, LimiteCampo::Mail);
    txtEnd = texto("txtEnd", 3150, 1890, 1800, 1440, Qt::ScrollBarAlwaysOff);
    txtComp = texto("txtComp", 5040, 1890, 2430, 1440, Qt::ScrollBarAlwaysOn);

    // Field titles, each with its copy and paste icons to its left, and its counter to the right.
    struct Titulo {
        QWidget* campo;
        QLabel** titulo;
        QLabel** contador;
        ImageButton** copia;
        ImageButton** cola;
        const char* nome;
        const char* texto;
        int left;
        int top;
        int right;
    };
    const Titulo titulos[] = {
        { txtNome, &lblNome, &lblNomeCount, &imgCtrlcNome, &imgCtrlvNome, "Nome", "Nome", 3150, 435, 7470 },
        { txtFone, &lblFone, &lblFoneCount, &imgCtrlcFone, &imgCtrlvFone, "Fone", "Telefone", 3150, 1035,
            4950 },
        { txtMail, &lblMail, &lblMailCount, &imgCtrlcMail, &imgCtrlvMail, "Mail", "E-mail", 5040, 1035,
            7470 },
        { txtEnd, &lblEnd, &lblEndCount, &imgCtrlcEnd, &imgCtrlvEnd, "End", "Endereço", 3150, 1635, 4950 },
        { txtComp, &lblComp, &lblCompCount, &imgCtrlcComp, &imgCtrlvComp, "Comp", "Complemento", 5040, 1635,
            7470 },
    };
    for (const Titulo& t : titulos) {
        const QString nome = QString::fromLatin1(t.nome);
        const QString texto = QString::fromUtf8(t.texto);
        *t.copia = image(("imgCtrlc" + QByteArray(t.nome)).constData(), "ctrlc", t.left, t.top + 45, 105, 150,
            u" Copiar "_s);
        *t.cola = image(("imgCtrlv" + QByteArray(t.nome)).constData(), "ctrlv", t.left + 120, t.top + 45, 105,
            150, u" Colar "_s);
        *t.contador
            = Janelas::rotulo(this, u"lbl"_s + nome + u"Count"_s, {}, QRect(t.right - 780, t.top, 780, 255));
        (*t.contador)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        (*t.contador)->setFont(Janelas::fonte(7));
        // The title ends where its counter's place begins, so the two never run into each
        // other; a title wider than that shrinks.
        *t.titulo = Janelas::rotulo(this, u"lbl"_s + nome, texto, QRect(t.left + 240, t.top, 1440, 255));
        // A screen reader names the field as its title does: the title stands apart from it.
        t.campo->setAccessibleName(texto);
        (*t.titulo)->setToolTip(u"Copiar "_s + texto);
        Janelas::negrito(*t.titulo, 8.25);
        (*t.titulo)->adjustSize();
        (*t.titulo)->resize(
            qMin((*t.titulo)->width(), (*t.contador)->x() - (*t.titulo)->x()), Twips::toPixels(255));
    }

    imgRefresh = image("imgRefresh", "refresh", 5750, 3480, 315, 480, u"Refresh"_s);
    lblNovoNome = Janelas::rotulo(this, u"lblNovoNome"_s, {}, QRect(3930, 435, 2775, 255));
    // The hint stands beside the name's title, which ends where the hint begins.
    lblNome->resize(qMin(lblNome->width(), lblNovoNome->x() - lblNome->x()), lblNome->height());
    Label2 = Janelas::rotulo(this, u"Label2"_s, u"v 1.1"_s, QRect(5330, 60, 600, 255));
    // Ends a little before the version begins, so the two never touch.
    Label1 = Janelas::rotulo(this, u"Label1"_s, u"Lurvane Brevicard"_s, QRect(3150, 60, 2150, 255));
    Label1->setFont(Janelas::fonte(9, true, u"Verdana"_s));
    Label2->setFont(Janelas::fonte(7, false, u"Verdana"_s));
    imgFecha = image("imgFecha", "fecha", 6985, 45, 465, 315, u"Fechar"_s);
    imgMinimiza = image("imgMinimiza", "minimiza", 6480, 45, 465, 315, u"Minimizar"_s);
    for (ImageButton* b : { imgFecha, imgMinimiza })
        b->setCursor(Qt::PointingHandCursor);
    lblStatus1 = Janelas::rotulo(this, u"lblStatus1"_s, {}, QRect(190, 115, 2055, 255));
    Janelas::negrito(lblStatus1, 8.25);
    imgImprimir = image("imgImprimir", "imprimir", 6825, 3480, 315, 480, u"Imprimir contato"_s);
    imgCopiar = image("imgCopiar", "copiar", 6465, 3480, 315, 480, u"Copiar contato"_s);
    imgLimpar = image("imgLimpar", "limpar", 6100, 3480, 315, 480, u"Limpar campos"_s);
    // Up to the place of the right-aligned "Contatos", so the whole date fits beside it.
    lblStatus2 = Janelas::rotulo(this, u"lblStatus2"_s, {}, QRect(190, 3520, 1825, 255));
    lblContatos = Janelas::rotulo(this, u"lblContatos"_s, u"Contatos"_s, QRect(2015, 3520, 900, 255));
    lblContatos->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Janelas::negrito(lblContatos, 8.25);
    lstContatos->setAccessibleName(lblContatos->text());
    // The current contact's name: kept below the visible area, never shown.
    lblNomeTopo = Janelas::rotulo(this, u"lblNomeTopo"_s, {}, QRect(3150, 4200, 2775, 255));
    lblNomeTopo->hide();
    imgMarca = image("imgMarca", "marca", 7190, 3480, 315, 480, u"Sobre o programa"_s);
    imgDeleta = image("imgDeleta", "deleta", 4110, 3420, 450, 675, u"Deletar"_s);
    imgAtualiza = image("imgAtualiza", "atualiza", 3635, 3420, 450, 690, u"Atualizar"_s);
    imgAdiciona = image("imgAdiciona", "adiciona", 3150, 3420, 450, 675, u"Adicionar"_s);

    // Texts on the strip let the pointer through, so the whole strip drags the window.
    for (QLabel* l : { lblStatus1, Label1, Label2 })
        l->setAttribute(Qt::WA_TransparentForMouseEvents);

    shpLB_Principal = new QFrame(this);
    shpLB_Principal->setObjectName(u"shpLB_Principal"_s);
    shpLB_Principal->setFrameStyle(QFrame::Box | QFrame::Plain);
    QPalette moldura = shpLB_Principal->palette();
    moldura.setColor(QPalette::WindowText, Moldura);
    shpLB_Principal->setPalette(moldura);
    shpLB_Principal->setAttribute(Qt::WA_TransparentForMouseEvents);

    connect(imgRefresh, &ImageButton::clicked, this, &LB_Principal::imgRefresh_Click);
    connect(imgAdiciona, &ImageButton::clicked, this, &LB_Principal::imgAdiciona_Click);
    connect(imgAtualiza, &ImageButton::clicked, this, &LB_Principal::imgAtualiza_Click);
    connect(imgDeleta, &ImageButton::clicked, this, &LB_Principal::imgDeleta_Click);
    // Mouse and arrow keys both change the selection; the model's reset after a reload
    // clears it without a signal, as nothing is then shown anew.
    connect(lstContatos->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &LB_Principal::lstContatos_Click);
    preparaCampos();
    preparaJanela();
    preparaVCard();
    preparaSync();
    preparaTeclado();
    Janelas::cabemTodos(this);
}

void LB_Principal::preparaTeclado()
{
    // Every image's action from the keyboard, wherever the focus is in the window. Control
    // with Shift and a letter: no field edits with those (Control+Shift+A deselects and
    // Control+Shift+Z redoes on Linux desktops, so adding and updating take other letters),
    // and no desktop moves or closes windows with them.
    const std::pair<ImageButton*, QKeySequence> atalhos[] = {
        { imgAdiciona, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N) },
        { imgAtualiza, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T) },
        { imgDeleta, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D) },
        { imgRefresh, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R) },
        { imgLimpar, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_L) },
        { imgCopiar, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O) },
        { imgImprimir, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P) },
        { imgMarca, QKeySequence(Qt::Key_F1) },
        { imgMinimiza, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M) },
        { imgFecha, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Q) },
    };
    for (const auto& [botao, tecla] : atalhos)
        botao->setShortcut(tecla);
    // A field's copy and paste images act on the field holding the focus.
    const std::array<std::tuple<QWidget*, ImageButton*, ImageButton*>, 5> campos { {
        { txtNome, imgCtrlcNome, imgCtrlvNome },
        { txtFone, imgCtrlcFone, imgCtrlvFone },
        { txtMail, imgCtrlcMail, imgCtrlvMail },
        { txtEnd, imgCtrlcEnd, imgCtrlvEnd },
        { txtComp, imgCtrlcComp, imgCtrlvComp },
    } };
    for (const auto& [campo, copia, cola] : campos) {
        copia->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), campo);
        cola->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V), campo);
    }

    // Tab goes through the fields, the list, then the images as they read: the strip's two,
    // each field's pair, the row below.
    QList<QWidget*> ordem { txtNome, txtFone, txtMail, txtEnd, txtComp, lstContatos, imgMinimiza, imgFecha };
    for (const auto& [campo, copia, cola] : campos)
        ordem << copia << cola;
    ordem << imgAdiciona << imgAtualiza << imgDeleta << imgRefresh << imgLimpar << imgCopiar << imgImprimir
          << imgMarca;
    for (qsizetype i = 1; i < ordem.size(); ++i)
        setTabOrder(ordem[i - 1], ordem[i]);
}

void LB_Principal::Form_Load(StartupNames* iniciais)
{
    // The name list without border, its names drawn over the tiled picture (drawn again for
    // the screen the window opens on, once it has one).
    desenhaParaATela();
    // Its place in the lower right corner is taken when it is first shown, on the screen that
    // is primary then.

    // The frame around the whole window, drawn over everything at the edges.
    shpLB_Principal->setGeometry(rect());
    shpLB_Principal->raise();

    // The notification-area icon is there from the start; the window is shown after loading.
    adicionaIcone();

    m_nomes->setNames(NameList());
    for (const Campo& c : m_campos)
        defineTexto(c.texto, {});

    SortedNames nomes;
    // A save in place that a crash cut short is put back first, and the user told.
    bool restaurado = false;
    StoreStatus status = m_store.restoreCutSave(&restaurado);
    if (restaurado && iniciais) {
        // The names read meanwhile came from the file cut short: they are read again.
        StoreStatus lido;
        iniciais->take(&lido, &nomes);
        iniciais = nullptr;
    }
    if (status == StoreStatus::Ok)
        status = m_store.ensure();
    if (status == StoreStatus::Ok && !(iniciais && iniciais->take(&status, &nomes))) {
        NameList lidos;
        status = m_store.readNames(&lidos);
        nomes = sortNames(std::move(lidos));
    }
    // A store that cannot be created or read still opens the window, empty, with the reason.
    m_avisoInicial = status == StoreStatus::Ok && restaurado ? SalvamentoRestaurado : mensagemDeErro(status);
    preencheLista(std::move(nomes));
    lembraCampos();
    txtNome->setFocus();
}

QPoint LB_Principal::posicaoInicial(const QRect& area)
{
    const QPoint canto
        = Twips::lowerRightCorner(QSize(Twips::fromPixels(area.width()), Twips::fromPixels(area.height())),
            QSize(LarguraTwips, AlturaTwips));
    QPoint onde = area.topLeft() + Twips::point(canto.x(), canto.y());
    // On a screen lower than the window the top stays on it: the strip that drags the window
    // and the close image at its right end, which the right-hand placement keeps in view.
    onde.setY(qMax(onde.y(), area.top()));
    return onde;
}

void LB_Principal::posicionaNoCanto()
{
    // The primary screen's area without its taskbars and panels; the window's native handle
    // is made on that screen, whatever screen stands at the desktop's origin.
    QScreen* tela = QGuiApplication::primaryScreen();
    if (!tela)
        return;
    setScreen(tela);
    move(posicaoInicial(tela->availableGeometry()));
}

void LB_Principal::desenhaParaATela()
{
    const qreal escala = windowHandle() ? windowHandle()->devicePixelRatio() : devicePixelRatioF();
    lstContatos->setTile(svgPixmap(u":/images/fundo_lista.svg"_s, escala));
}

void LB_Principal::setVisible(bool visible)
{
    // Placed before its native window exists, so that the window is made and mapped at its
    // place. Moved once made (from showEvent, say), Qt tells the window manager the position
    // with static gravity while the window is being mapped, and openbox's first move then
    // started from twice the real place, off the screen.
    if (visible && !m_posicionada) {
        m_posicionada = true;
        posicionaNoCanto();
    }
    QWidget::setVisible(visible);
}

void LB_Principal::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_acompanhaTela) {
        m_acompanhaTela = true;
        desenhaParaATela();
        // Moved to a screen of another scale, the tiles are drawn again for it.
        connect(windowHandle(), &QWindow::screenChanged, this, &LB_Principal::desenhaParaATela);
    }
    // The first sync once the window is up; inicia() runs once.
    QTimer::singleShot(0, m_sync, &SyncRunner::inicia);
    if (!m_avisoInicial.isEmpty()) {
        // After the window is on screen, so the notice has a window to stand over.
        QTimer::singleShot(
            0, this, [this] { mostraAviso(std::exchange(m_avisoInicial, {}), AvisoAdicionaTwips); });
    }
}

void LB_Principal::imgRefresh_Click()
{
    const QString erro = recarregaLista();
    if (!erro.isEmpty())
        mostraAviso(erro, AvisoAdicionaTwips);
}

QString LB_Principal::recarregaLista()
{
    NameList nomes;
    const StoreStatus status = m_store.readNames(&nomes);
    // An unreadable file is not an empty one: the list stays as it was.
    if (status != StoreStatus::Ok)
        return mensagemDeErro(status);
    preencheLista(std::move(nomes));
    return {};
}

template<typename Nomes>
void LB_Principal::preencheLista(Nomes nomes)
{
    // Names read again as they were listed leave the rows alone; the selection goes all the same.
    if (!m_nomes->setNames(std::move(nomes)))
        lstContatos->selectionModel()->clear();
    lblStatus1->setText(TextoTotal + QString::number(m_nomes->rowCount()));
}

QStringList LB_Principal::nomesListados() const
{
    return m_nomes->names();
}

QString LB_Principal::textoDe(const QWidget* campo)
{
    if (const auto* linha = qobject_cast<const QLineEdit*>(campo))
        return linha->text();
    return Janelas::textoComCrLf(static_cast<const QPlainTextEdit*>(campo));
}

void LB_Principal::defineTexto(QWidget* campo, const QString& texto)
{
    // The same text again is no change: the multi-line editor would report one all the same,
    // and its counter would come up (at start-up and on clearing empty fields).
    if (textoDe(campo) == texto)
        return;
    if (auto* linha = qobject_cast<QLineEdit*>(campo))
        linha->setText(texto);
    else
        Janelas::defineTextoComCrLf(static_cast<QPlainTextEdit*>(campo), texto);
}

QString LB_Principal::textoContato() const
{
    const QString entre = u"\r\n\r\n"_s;
    return textoDe(txtNome) + entre + textoDe(txtFone) + entre + textoDe(txtMail) + entre + textoDe(txtEnd)
        + entre + textoDe(txtComp);
}

void LB_Principal::mostraAviso(const QString& mensagem, int esquerdaTwips)
{
    LB_ContAd::mostra(
        m_plataforma.beeper, mensagem, pos() + Twips::point(esquerdaTwips, AvisoTopoTwips), this);
}

void LB_Principal::avisaUtf8(bool passouAUtf8)
{
    if (passouAUtf8)
        mostraAviso(GravadoEmUtf8, AvisoAdicionaTwips);
}

QString LB_Principal::mensagemDeErro(StoreStatus status)
{
    switch (status) {
    case StoreStatus::Ok:
        return {};
    case StoreStatus::ReadError:
        return ErroLeitura;
    case StoreStatus::WriteError:
        return ErroGravacao;
    }
    return {};
}
