#include "imagebutton.h"
#include "lb_principal.h"
#include "syncrunner.h"
#include "trayicon.h"
#include "twips.h"
#include "windowmover.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMouseEvent>

using namespace Qt::StringLiterals;

void LB_Principal::preparaJanela()
{
    // The icon the notification area shows; main() gives the application one, tests do not.
    if (windowIcon().isNull())
        setWindowIcon(iconePrograma());

    // Where each button stands while pressed, in twips: down and right of its design place.
    const struct {
        ImageButton* botao;
        int esquerda;
        int topo;
    } afundados[] = {
        { imgAdiciona, 3160, 3430 },
        { imgAtualiza, 3645, 3430 },
        { imgDeleta, 4120, 3430 },
        { imgRefresh, 5760, 3495 },
        { imgLimpar, 6115, 3490 },
        { imgCopiar, 6475, 3490 },
        { imgImprimir, 6835, 3495 },
        { imgMarca, 7200, 3490 },
    };
    for (const auto& a : afundados)
        a.botao->setPressedPos(Twips::point(a.esquerda, a.topo));

    // These two open their windows on the release of any button, not only on a click.
    connect(imgImprimir, &ImageButton::released, this, [this] { abreImpressao(); });
    connect(imgMarca, &ImageButton::released, this, [this] { abreSobre(); });
    connect(imgMinimiza, &ImageButton::clicked, this, &LB_Principal::minimize_to_tray);
    connect(imgFecha, &ImageButton::clicked, this, &LB_Principal::imgFecha_Click);

    // The icon's clicks reach the window as pointer movement does, and clear the same labels.
    connect(&m_plataforma.bandeja, &TrayIcon::botaoEsquerdo, this, [this] {
        restaura();
        Form_MouseMove();
    });
    connect(&m_plataforma.bandeja, &TrayIcon::botaoDireito, this, [this] {
        // While a small window is up, the icon stays: it is the way back to that window.
        const bool janelaAberta = QApplication::activeModalWidget();
        restaura();
        Form_MouseMove();
        if (!janelaAberta)
            m_plataforma.bandeja.remove();
    });

    imgMove->installEventFilter(this);
    // Pointer movement over the bare background clears the counters and the hint.
    setMouseTracking(true);
}

bool LB_Principal::adicionaIcone()
{
    // Asked every time: a notification area can appear or go away while the program runs.
    if (!m_plataforma.bandeja.disponivel())
        return false;
    m_plataforma.bandeja.adiciona(
        windowIcon(), m_dicaBandeja.isEmpty() ? u"Lurvane Brevicard"_s : m_dicaBandeja);
    return true;
}

void LB_Principal::minimize_to_tray()
{
    // Without a notification area a hidden window could never be brought back: it goes to the
    // taskbar instead.
    if (!m_plataforma.bandeja.disponivel()) {
        showMinimized();
        return;
    }
    hide();
    adicionaIcone();
}

void LB_Principal::restaura()
{
    // A small window waits for an answer or its time: it comes to the front, and the main
    // window stays beneath it.
    if (QWidget* janela = QApplication::activeModalWidget()) {
        if (isHidden() || isMinimized()) {
            setWindowState(windowState() & ~Qt::WindowMinimized);
            show();
        }
        janela->raise();
        janela->activateWindow();
        return;
    }
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void LB_Principal::imgFecha_Click()
{
    close();
}

void LB_Principal::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    QWidget::closeEvent(event);
}

void LB_Principal::Form_Unload()
{
    m_plataforma.bandeja.remove();
    // A sync under way stops: its requests are dropped; what it had not finished, the next one
    // does. A step that rewrites the file is waited for, about two seconds at most.
    m_syncEncerrado = m_sync->encerra(2000);
}

void LB_Principal::mouseMoveEvent(QMouseEvent* event)
{
    // Only the bare background and what is drawn on it without events of its own (the frame):
    // a label, an image, a field or the list may pass its movement up here.
    if (!childAt(event->position().toPoint()))
        Form_MouseMove();
    QWidget::mouseMoveEvent(event);
}

void LB_Principal::Form_MouseMove()
{
    apagaContadores();
    lblNovoNome->clear();
}

bool LB_Principal::arrastaPelaFaixa(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto* press = static_cast<QMouseEvent*>(event);
        // A second button while one is held goes on with the same drag; a press with no
        // other button down starts anew, even if the last drag's release never came.
        if (m_arrastoManual && press->buttons() != press->button())
            return false;
        m_arrastoManual = false;
        if (m_plataforma.movedor.iniciaMovimento(this))
            return false;
        m_arrastoManual = true;
        m_arrastoPonteiro = press->globalPosition().toPoint();
        m_arrastoJanela = pos();
        return false;
    }
    case QEvent::MouseMove:
        if (m_arrastoManual)
            move(m_arrastoJanela + static_cast<QMouseEvent*>(event)->globalPosition().toPoint()
                - m_arrastoPonteiro);
        return false;
    // The release never reaches a window that is hidden, no longer active or lost its grab.
    case QEvent::Hide:
    case QEvent::WindowDeactivate:
    case QEvent::UngrabMouse:
        m_arrastoManual = false;
        return false;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton)
            m_arrastoManual = false;
        return false;
    default:
        return false;
    }
}
