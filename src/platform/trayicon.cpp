#include "trayicon.h"

#include <QSystemTrayIcon>

SystemTrayIcon::SystemTrayIcon(QObject* parent)
    : TrayIcon(parent)
{
}

bool SystemTrayIcon::disponivel() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void SystemTrayIcon::adiciona(const QIcon& icone, const QString& dica)
{
    if (!m_icone) {
        m_icone = new QSystemTrayIcon(this);
        // Queued: a right click removes the icon, and on X11 that deletes the icon's own
        // widget, which must not happen inside its mouse handler.
        connect(
            m_icone, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason motivo) {
                if (motivo == QSystemTrayIcon::Trigger)
                    Q_EMIT botaoEsquerdo();
                else if (motivo == QSystemTrayIcon::Context)
                    Q_EMIT botaoDireito();
            },
            Qt::QueuedConnection);
    }
    m_icone->setIcon(icone);
    m_icone->setToolTip(dica);
    m_icone->show();
}

void SystemTrayIcon::remove()
{
    if (m_icone)
        m_icone->hide();
}

void SystemTrayIcon::defineDica(const QString& dica)
{
    if (m_icone)
        m_icone->setToolTip(dica);
}
