#include "synccommand.h"

#include "contactstore.h"
#include "davdiscovery.h"
#include "storefolder.h"
#include "syncaccount.h"
#include "syncengine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>

#include <cstring>
#include <iostream>

using namespace Qt::StringLiterals;

namespace {

enum ExitCode { Success = 0, SyncFailed = 1, Usage = 2, Stopped = 3 };

void printError(const QString& text)
{
    std::cerr << text.toLocal8Bit().constData() << std::endl;
}

// One line from standard input, the line break left out.
QString readPasswordLine()
{
    std::string line;
    std::getline(std::cin, line);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

QString configFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

QString dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

void printCertificateHint(const QString& fingerprint)
{
    if (!fingerprint.isEmpty())
        printError(u"Para confiar neste certificado: --trust-fingerprint %1"_s.arg(fingerprint));
}

int saveAccount(const QString& storePath, const QUrl& url, const QString& user,
    const std::optional<QString>& password, const QString& fingerprint)
{
    DavClient client;
    client.setCredentials(user, password.value_or(QString()));
    client.setTrustedFingerprint(fingerprint);
    DavDiscovery discovery(&client);
    int code = Success;
    QObject::connect(&discovery, &DavDiscovery::finished, [&](const QUrl& book, const QString& error) {
        if (book.isEmpty()) {
            printError(error);
            printCertificateHint(client.lastFingerprint());
            code = Usage;
        } else {
            SyncAccount account { url, user, book, fingerprint };
            if (!account.save(SyncAccount::pathFor(configFolder(), storePath))) {
                printError(u"Não foi possível gravar a conta em %1"_s.arg(configFolder()));
                code = SyncFailed;
            } else {
                if (password && !SyncPassword::write(SyncPassword::keyFor(account), *password))
                    printError(
                        u"Sem chaveiro: a senha não foi guardada; use --password-stdin a cada sincronização"_s);
                std::cout << u"Conta salva: %1"_s.arg(book.toDisplayString()).toLocal8Bit().constData()
                          << std::endl;
            }
        }
        QCoreApplication::exit(0);
    });
    // Started from the event loop, so that an answer at once (a refused address) still ends it.
    QTimer::singleShot(0, &discovery, [&] { discovery.start(url); });
    QCoreApplication::exec();
    return code;
}

int runSync(
    const QString& folder, const std::optional<QString>& password, const QString& fingerprint, bool force)
{
    const QString storePath = ContactStore(folder).path();
    const QString accountPath = SyncAccount::pathFor(configFolder(), storePath);
    SyncAccount account;
    if (!account.load(accountPath)) {
        printError(u"Nenhuma conta de sincronização para %1: use --sync-account"_s.arg(storePath));
        return Usage;
    }
    if (!fingerprint.isEmpty() && fingerprint != account.fingerprint) {
        account.fingerprint = fingerprint;
        account.save(accountPath);
    }
    SyncOptions options;
    options.storeFolder = folder;
    options.dataFolder = dataFolder();
    options.account = account;
    options.password = password ? *password : SyncPassword::read(SyncPassword::keyFor(account));
    if (!password && !account.user.isEmpty() && options.password.isNull()) {
        printError(u"Nenhuma senha guardada para %1: use --password-stdin"_s.arg(account.user));
        return Usage;
    }
    options.forceDelete = force;
    SyncEngine engine(options);
    int code = Success;
    QObject::connect(&engine, &SyncEngine::finished, [&](const SyncResult& result) {
        if (result.ok()) {
            std::cout << result.summary().toLocal8Bit().constData() << std::endl;
        } else {
            printError(result.error);
            printCertificateHint(result.fingerprint);
            if (result.stopped)
                printError(u"Nada foi alterado. Para continuar assim mesmo: --sync --force-delete"_s);
            code = result.stopped ? Stopped : SyncFailed;
        }
        QCoreApplication::exit(0);
    });
    QTimer::singleShot(0, &engine, &SyncEngine::start);
    QCoreApplication::exec();
    return code;
}

} // namespace

std::optional<int> runSyncCommand(int argc, char* argv[])
{
    // Only these options leave the window out: Qt's own (-platform, -style) still reach it.
    static const char* const ours[] = { "--sync", "--sync-account", "--user", "--password-stdin",
        "--trust-fingerprint", "--force-delete", "--help", "-h", "--help-all" };
    bool asked = false;
    for (int i = 1; i < argc; ++i)
        for (const char* option : ours)
            asked = asked || std::strcmp(argv[i], option) == 0
                || (std::strncmp(argv[i], option, std::strlen(option)) == 0
                    && argv[i][std::strlen(option)] == '=');
    if (!asked)
        return std::nullopt;

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"Lurvane Brevicard"_s);
    QCoreApplication::setApplicationVersion(u"1.1"_s);
    // Qt's own texts in the help (Usage, Options) in Portuguese too, where its translations are.
    QTranslator qtTexts;
    if (qtTexts.load(u"qtbase_pt_BR"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Agenda de contatos. Sem opções, abre a janela."_s);
    parser.addHelpOption();
    const QCommandLineOption account(u"sync-account"_s,
        u"Configura a sincronização deste arquivo de contatos com o servidor CardDAV em URL."_s, u"URL"_s);
    const QCommandLineOption user(u"user"_s, u"Usuário no servidor (com --sync-account)."_s, u"NOME"_s);
    const QCommandLineOption sync(u"sync"_s, u"Sincroniza uma vez, sem janela, e termina."_s);
    const QCommandLineOption passwordStdin(u"password-stdin"_s, u"Lê a senha da entrada padrão."_s);
    const QCommandLineOption trust(u"trust-fingerprint"_s,
        u"Confia no certificado do servidor com esta impressão digital SHA-256."_s, u"SHA256"_s);
    const QCommandLineOption force(
        u"force-delete"_s, u"Sincroniza mesmo quando muitos contatos seriam apagados."_s);
    parser.addOptions({ account, user, sync, passwordStdin, trust, force });
    if (!parser.parse(QCoreApplication::arguments())) {
        printError(parser.errorText());
        return Usage;
    }
    if (parser.isSet(u"help"_s)) {
        std::cout << parser.helpText().toLocal8Bit().constData();
        return Success;
    }
    if (parser.isSet(account) == parser.isSet(sync)) {
        printError(u"Use --sync-account URL --user NOME ou --sync (veja --help)"_s);
        return Usage;
    }
    std::optional<QString> password;
    if (parser.isSet(passwordStdin))
        password = readPasswordLine();
    const QString folder = storeFolder(QCoreApplication::applicationDirPath());
    if (parser.isSet(sync))
        return runSync(folder, password, parser.value(trust), parser.isSet(force));
    const QUrl url = QUrl::fromUserInput(parser.value(account));
    return saveAccount(ContactStore(folder).path(), url, parser.value(user), password, parser.value(trust));
}
