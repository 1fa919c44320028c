// A child for the fault tests, which kill it, limit its file size or run two of it against one
// folder. It exits with the StoreStatus that stopped it (1 ReadError, 2 WriteError), 0 when done,
// 64 on bad usage. With --no-flock first, it behaves as on a file system without flock.
//   append FOLDER PREFIX COUNT  appends PREFIX-0 .. PREFIX-(COUNT-1), one save each
//   alternate FOLDER            forever: appends the record "Extra" when the store lacks it, removes
//                               it when it holds it, and prints "saved" after each save
//   bigwrite FOLDER N           appends N records of 128 KiB each, one save each

#include "contactstore.h"

#include <QCoreApplication>

#include <cstdio>

using namespace Qt::StringLiterals;

// Accented letters and the euro sign, so that every new line goes through the Windows-1252 encoder.
static StoreStatus appendAll(const ContactStore& store, const QString& prefix, int n, const QString& address)
{
    StoreStatus status = StoreStatus::Ok;
    for (int i = 0; i < n && status == StoreStatus::Ok; ++i)
        status = store.append(formatRecord(prefix + u'-' + QString::number(i), u"(11) 5555-0101"_s,
            u"café@exemplo.com.br"_s, address, u"Aberto aos sábados €"_s, u"05/12/2026"_s));
    return status;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    if (args.value(1) == u"--no-flock") {
        StoreLock::setFlockUnsupported(true);
        args.removeAt(1);
    }
    const QString mode = args.value(1);
    const ContactStore store(args.value(2));
    if (mode == u"append" && args.size() == 5)
        return int(appendAll(store, args[3], args[4].toInt(), u"Rua Um, 10\nSala 2"_s));
    if (mode == u"bigwrite" && args.size() == 4)
        return int(appendAll(store, u"Grande"_s, args[3].toInt(), QString(128 * 1024, u'ã')));
    if (mode == u"alternate" && args.size() == 3) {
        // tst_storefaults builds the same line: each save turns one of the two contents it expects
        // into the other in one whole rewrite.
        const QString extra = u"Extra§§§Praça da Sé, 1¤Fundos§§06/12/2026"_s;
        for (;;) {
            int removed = 0;
            StoreStatus status = store.removeRecords(u"Extra"_s, &removed);
            if (status == StoreStatus::Ok && removed == 0)
                status = store.append(extra);
            if (status != StoreStatus::Ok)
                return int(status);
            std::puts("saved");
            std::fflush(stdout);
        }
    }
    return 64;
}
