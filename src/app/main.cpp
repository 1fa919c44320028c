#include "beeper.h"
#include "janelas.h"
#include "lb_principal.h"
#include "printer.h"
#include "trayicon.h"
#include "urlopener.h"
#include "windowmover.h"

#include <QApplication>
#include <QIcon>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Lurvane Brevicard"_s);
    QApplication::setApplicationVersion(u"1.1"_s);
    QApplication::setWindowIcon(LB_Principal::iconePrograma());
    // Before any window or page asks for a font.
    Janelas::instalaFontes();

    SystemBeeper beeper;
    SystemTrayIcon bandeja;
    SystemPrinter impressora;
    DesktopUrlOpener navegador;
    SystemWindowMover movedor;
    // The contacts file lives beside the executable.
    LB_Principal janela(
        QCoreApplication::applicationDirPath(), { beeper, bandeja, impressora, navegador, movedor });
    janela.show();
    return QApplication::exec();
}
