#include "urlopener.h"

#include <QDesktopServices>
#include <QUrl>

void DesktopUrlOpener::abre(const QUrl& endereco)
{
    QDesktopServices::openUrl(endereco);
}
