// A child process for the fault tests: it drives ContactStore from outside the test so that
// the test can kill it, limit its file size or run two of it against the same folder.
//
//   storetool append FOLDER PREFIX COUNT      appends PREFIX-0 .. PREFIX-(COUNT-1), one save each
//   storetool alternate FOLDER FILE_A FILE_B  rewrites the store as FILE_A, FILE_B, FILE_A, ... forever
//                                             (byte for byte when both are in the canonical layout)
//   storetool bigwrite FOLDER N               appends N records of 128 KiB each, one save each
//
// Exit codes: 0 done, 1 bad usage or sample, 2 ReadError, 3 WriteError, 4 the store held
// something it should not.

#include "contactrecord.h"
#include "contactstore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const char* statusName(StoreStatus status)
{
    switch (status) {
    case StoreStatus::Ok:
        return "Ok";
    case StoreStatus::ReadError:
        return "ReadError";
    case StoreStatus::WriteError:
        return "WriteError";
    }
    return "?";
}

int exitCodeFor(StoreStatus status)
{
    return status == StoreStatus::ReadError ? 2 : status == StoreStatus::WriteError ? 3 : 0;
}

int fail(const char* message)
{
    std::fprintf(stderr, "storetool: %s\n", message);
    return 1;
}

// Accented letters and the euro sign, so every save goes through the Windows-1252 encoder and
// not only through ASCII.
QString contactLine(const QString& name, const QString& address)
{
    return formatRecord(name, QStringLiteral("(11) 5555-0101"), QStringLiteral("caf\u00e9@exemplo.com.br"),
        address, QStringLiteral("Aberto aos s\u00e1bados \u20ac"), QStringLiteral("05/12/2026"));
}

int runAppend(const ContactStore& store, const QString& prefix, int count)
{
    for (int i = 0; i < count; ++i) {
        const QString name = prefix + u'-' + QString::number(i);
        const StoreStatus status = store.append(contactLine(name, QStringLiteral("Rua Um, 10\nSala 2")));
        if (status != StoreStatus::Ok) {
            std::printf("append %s: %s\n", qPrintable(name), statusName(status));
            return exitCodeFor(status);
        }
    }
    return 0;
}

int runBigWrite(const ContactStore& store, int count)
{
    const QString address(128 * 1024, u'\u00e3');
    for (int i = 0; i < count; ++i) {
        const StoreStatus status
            = store.append(contactLine(QStringLiteral("Grande-") + QString::number(i), address));
        if (status != StoreStatus::Ok) {
            std::printf("bigwrite %d: %s\n", i, statusName(status));
            return exitCodeFor(status);
        }
    }
    std::printf("bigwrite: Ok\n");
    return 0;
}

// A sample is read the way the store reads its own file, from a copy in a folder of its own.
bool readSample(const QString& fileName, QStringList* lines)
{
    QFile file(fileName);
    QTemporaryDir copy;
    if (!copy.isValid())
        return false;
    const ContactStore sample(copy.path());
    return file.copy(sample.path()) && sample.readRecordLines(lines) == StoreStatus::Ok;
}

// The two samples must differ by one trailing record whose name no other record carries:
// then append() turns the shorter into the longer and removeRecords() turns it back, each
// one whole rewrite, so the file never legitimately holds anything but one of the two.
int runAlternate(const ContactStore& store, const QString& fileA, const QString& fileB)
{
    QStringList a;
    QStringList b;
    if (!readSample(fileA, &a) || !readSample(fileB, &b))
        return fail("a sample cannot be read");
    const QStringList& shorter = a.size() < b.size() ? a : b;
    const QStringList& longer = a.size() < b.size() ? b : a;
    if (longer.size() != shorter.size() + 1 || longer.first(shorter.size()) != shorter)
        return fail("the samples must differ by one trailing record");
    const QString extra = longer.last();
    const QString extraName = recordName(extra).toString();
    for (const QString& line : shorter) {
        if (recordName(line) == extraName)
            return fail("the extra record's name is not unique");
    }

    for (;;) {
        QStringList current;
        StoreStatus status = store.readRecordLines(&current);
        if (status == StoreStatus::Ok) {
            if (current == shorter) {
                status = store.append(extra);
            } else if (current == longer) {
                int removed = 0;
                status = store.removeRecords(extraName, &removed);
                if (status == StoreStatus::Ok && removed != 1) {
                    std::fprintf(stderr, "storetool: removed %d records instead of 1\n", removed);
                    return 4;
                }
            } else {
                std::fprintf(stderr, "storetool: the store holds %lld records, neither sample\n",
                    static_cast<long long>(current.size()));
                return 4;
            }
        }
        if (status != StoreStatus::Ok) {
            std::printf("alternate: %s\n", statusName(status));
            return exitCodeFor(status);
        }
        std::fputs("saved\n", stdout);
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    const ContactStore store(args.value(2));
    bool ok = false;
    if (mode == QLatin1String("append") && args.size() == 5) {
        const int count = args[4].toInt(&ok);
        return ok ? runAppend(store, args[3], count) : fail("COUNT is not a number");
    }
    if (mode == QLatin1String("alternate") && args.size() == 5)
        return runAlternate(store, args[3], args[4]);
    if (mode == QLatin1String("bigwrite") && args.size() == 4) {
        const int count = args[3].toInt(&ok);
        return ok ? runBigWrite(store, count) : fail("N is not a number");
    }
    return fail("usage: storetool append FOLDER PREFIX COUNT | alternate FOLDER FILE_A FILE_B | "
                "bigwrite FOLDER N");
}
