#include "beeper.h"
#include "contactstore.h"
#include "filechooser.h"
#include "janelas.h"
#include "lb_principal.h"
#include "namelistmodel.h"
#include "printer.h"
#include "singleinstance.h"
#include "storefolder.h"
#include "synccommand.h"
#include "trayicon.h"
#include "urlopener.h"
#include "windowmover.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QThread>
#include <QTranslator>

#include <cstdlib>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// The executable's folder as the system tells it before Qt is up; empty where it cannot.
QString executableFolderEarly()
{
#ifdef Q_OS_LINUX
    const QString executable = QFileInfo(u"/proc/self/exe"_s).symLinkTarget();
    return executable.isEmpty() ? QString() : QFileInfo(executable).path();
#else
    return {};
#endif
}

} // namespace

int main(int argc, char* argv[])
{
    // --sync and --sync-account run without a window, and without a display.
    if (const std::optional<int> code = runSyncCommand(argc, argv))
        return *code;

    // The names are read and put in order while the rest of the program starts: from the very
    // start where the contacts file stands beside the executable (the folder chosen below then
    // is that one), else once the folder is known.
    std::optional<StartupNames> nomes;
    // Qt takes the first thread that asks for its thread data as the main one: this one asks
    // before the reading thread (whose file is a QObject) can.
    QThread::currentThread();
    const QString cedo = executableFolderEarly();
    if (!cedo.isEmpty()
        && QFileInfo::exists(QDir(cedo).filePath(QString::fromLatin1(ContactStore::FileName)))) {
        // Started again on the same file (from the menu, while the window sits in the tray):
        // the running copy shows its window, and this one ends before it reads anything.
        if (SingleInstance(ContactStore(cedo).path()).avisaOutraCopia())
            return 0;
        nomes.emplace(ContactStore(cedo));
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Lurvane Brevicard"_s);
    QApplication::setApplicationVersion(u"1.1"_s);
    QApplication::setDesktopFileName(u"net.tevrolurvane.Brevicard"_s);

    // Beside the executable for a portable copy, in the user's data folder for an installed one.
    const QString pasta = storeFolder(QCoreApplication::applicationDirPath());

    // The same for a copy whose file is elsewhere, and for one started at the same moment.
    SingleInstance unica(ContactStore(pasta).path());
    if (!unica.registra())
        return 0;

    if (!nomes || pasta != cedo)
        nomes.emplace(ContactStore(pasta));
    QApplication::setWindowIcon(LB_Principal::iconePrograma());
    // Before any window or page asks for a font.
    Janelas::instalaFontes();
    // Every text the program shows is Portuguese, whatever the desktop's language: Qt's own
    // (the file dialog, the fields' context menus) too, where Qt's translations are installed.
    QTranslator traducaoQt;
    if (traducaoQt.load(u"qtbase_pt_BR"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&traducaoQt);

    SystemBeeper beeper;
    SystemTrayIcon bandeja;
    SystemPrinter impressora;
    DesktopUrlOpener navegador;
    SystemWindowMover movedor;
    DialogFileChooser arquivos;
    LB_Principal janela(
        pasta, { beeper, bandeja, impressora, navegador, movedor, arquivos }, nullptr, &*nomes);
    QObject::connect(&unica, &SingleInstance::reaberto, &janela, &LB_Principal::restaura);
    janela.show();
    const int codigo = QApplication::exec();
    // A sync still inside a rewrite of the file when the window closed is not waited for; the
    // file and the sync's state are written so that a process ended anywhere loses nothing.
    if (!janela.syncEncerrado())
        std::_Exit(codigo);
    return codigo;
}
