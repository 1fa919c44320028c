#include "beeper.h"
#include "contactstore.h"
#include "filechooser.h"
#include "janelas.h"
#include "lb_principal.h"
#include "printer.h"
#include "singleinstance.h"
#include "storefolder.h"
#include "trayicon.h"
#include "urlopener.h"
#include "windowmover.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Lurvane Brevicard"_s);
    QApplication::setApplicationVersion(u"1.1"_s);
    QApplication::setDesktopFileName(u"net.tevrolurvane.Brevicard"_s);
    QApplication::setWindowIcon(LB_Principal::iconePrograma());
    // Before any window or page asks for a font.
    Janelas::instalaFontes();
    // Every text the program shows is Portuguese, whatever the desktop's language: Qt's own
    // (the file dialog, the fields' context menus) too, where Qt's translations are installed.
    QTranslator traducaoQt;
    if (traducaoQt.load(u"qtbase_pt_BR"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&traducaoQt);

    // Beside the executable for a portable copy, in the user's data folder for an installed one.
    const QString pasta = storeFolder(QCoreApplication::applicationDirPath());

    // Started again on the same file (from the menu, while the window sits in the tray): the
    // running copy shows its window and this one is done.
    SingleInstance unica(ContactStore(pasta).path());
    if (!unica.registra())
        return 0;

    SystemBeeper beeper;
    SystemTrayIcon bandeja;
    SystemPrinter impressora;
    DesktopUrlOpener navegador;
    SystemWindowMover movedor;
    DialogFileChooser arquivos;
    LB_Principal janela(pasta, { beeper, bandeja, impressora, navegador, movedor, arquivos });
    QObject::connect(&unica, &SingleInstance::reaberto, &janela, &LB_Principal::restaura);
    janela.show();
    return QApplication::exec();
}
