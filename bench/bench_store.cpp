// How the store's operations scale with the number of contacts, measured against the least any
// version of them could cost: reading the file's bytes and rewriting them atomically (Floor).
//
//   bench_store [--memory=warm|glibc] [Google Benchmark flags]   run the benchmarks
//   bench_store --generate N PATH                                 write a store of N contacts
//
// --memory says how malloc is set up, which matters more than it should on a virtual machine
// where the first touch of a fresh page costs microseconds (about 2.5 ms per MB here):
//   warm  (default) freed memory is kept and reused, never handed back: the steady state of a
//         long-running program, and figures that depend on the work done, not on which
//         benchmark happened to run before;
//   glibc malloc as it comes: glibc moves its mmap threshold as large buffers are freed, so
//         whether a 20 MB buffer is a fresh mapping (faulted in page by page) or reused heap
//         depends on the history of the process. What the program gets, but order-dependent.
//
// Every store is generated once per size, with the same seed, so figures from different runs
// compare. Operations that change the file put the original bytes back outside the timed region,
// so the file does not grow or shrink across iterations.

#include "contactrecord.h"
#include "contactstore.h"
#include "storetext.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <random>

#include <fcntl.h>
#include <unistd.h>

#ifdef __GLIBC__
#include <malloc.h>
#endif

using namespace Qt::StringLiterals;

namespace {

// ---------------------------------------------------------------------------------------------
// Test stores

struct Name {
    QString shown;
    QString ascii; // for the e-mail address
};

const std::array<Name, 24> FirstNames = { {
    { u"João"_s, u"joao"_s },
    { u"José"_s, u"jose"_s },
    { u"Antônio"_s, u"antonio"_s },
    { u"Sebastião"_s, u"sebastiao"_s },
    { u"Estêvão"_s, u"estevao"_s },
    { u"Luís"_s, u"luis"_s },
    { u"Fábio"_s, u"fabio"_s },
    { u"Sérgio"_s, u"sergio"_s },
    { u"Cássio"_s, u"cassio"_s },
    { u"Rogério"_s, u"rogerio"_s },
    { u"André"_s, u"andre"_s },
    { u"Mário"_s, u"mario"_s },
    { u"Maria"_s, u"maria"_s },
    { u"Inês"_s, u"ines"_s },
    { u"Márcia"_s, u"marcia"_s },
    { u"Lúcia"_s, u"lucia"_s },
    { u"Cláudia"_s, u"claudia"_s },
    { u"Mônica"_s, u"monica"_s },
    { u"Vânia"_s, u"vania"_s },
    { u"Glória"_s, u"gloria"_s },
    { u"Conceição"_s, u"conceicao"_s },
    { u"Letícia"_s, u"leticia"_s },
    { u"Adélia"_s, u"adelia"_s },
    { u"Beatriz"_s, u"beatriz"_s },
} };

const std::array<Name, 20> Surnames = { {
    { u"Conceição"_s, u"conceicao"_s },
    { u"Gonçalves"_s, u"goncalves"_s },
    { u"Magalhães"_s, u"magalhaes"_s },
    { u"Simões"_s, u"simoes"_s },
    { u"Araújo"_s, u"araujo"_s },
    { u"Brandão"_s, u"brandao"_s },
    { u"Falcão"_s, u"falcao"_s },
    { u"Assunção"_s, u"assuncao"_s },
    { u"Guimarães"_s, u"guimaraes"_s },
    { u"Patrício"_s, u"patricio"_s },
    { u"Romão"_s, u"romao"_s },
    { u"Sá"_s, u"sa"_s },
    { u"Lemos Peçanha"_s, u"pecanha"_s },
    { u"Antunes"_s, u"antunes"_s },
    { u"Ribeiro"_s, u"ribeiro"_s },
    { u"Nóbrega"_s, u"nobrega"_s },
    { u"Estêves"_s, u"esteves"_s },
    { u"Frazão"_s, u"frazao"_s },
    { u"Monção"_s, u"moncao"_s },
    { u"Gusmão"_s, u"gusmao"_s },
} };

const std::array<QString, 12> Streets = {
    u"Rua São João"_s,
    u"Avenida Paulista"_s,
    u"Rua da Conceição"_s,
    u"Travessa Açucena"_s,
    u"Rua Barão de Itapetininga"_s,
    u"Alameda Santos"_s,
    u"Rua Visconde de Mauá"_s,
    u"Praça da Sé"_s,
    u"Rua Amélia Peçanha"_s,
    u"Avenida Brigadeiro Faria Lima"_s,
    u"Rua Dom Pedro II"_s,
    u"Largo do Paiçandu"_s,
};

const std::array<QString, 10> Towns = {
    u"Bela Vista - São Paulo/SP"_s,
    u"Centro - Niterói/RJ"_s,
    u"Savassi - Belo Horizonte/MG"_s,
    u"Boa Viagem - Recife/PE"_s,
    u"Moinhos de Vento - Porto Alegre/RS"_s,
    u"Batel - Curitiba/PR"_s,
    u"Pituba - Salvador/BA"_s,
    u"Aldeota - Fortaleza/CE"_s,
    u"Asa Sul - Brasília/DF"_s,
    u"Jardim Goiás - Goiânia/GO"_s,
};

const std::array<QString, 8> Notes = {
    u"Prefere ligação à tarde."_s,
    u"Cliente desde a inauguração; pedir orçamento em março."_s,
    u"Aniversário da esposa em novembro.\nMandar cartão."_s,
    u"Só atende por WhatsApp."_s,
    u"Indicação do Sr. Gonçalves."_s,
    u"Fornecedor de papelaria.\nPagamento à vista tem 5% de desconto."_s,
    u"Não ligar depois das 20h."_s,
    u"Ex-colega da faculdade."_s,
};

const std::array<int, 10> AreaCodes = { 11, 21, 31, 81, 51, 41, 71, 85, 61, 62 };

QString padded(int value, int width)
{
    return QString::number(value).rightJustified(width, u'0');
}

// The record lines of a store of count contacts, in file order (the order they were added).
// Every name is unique: it ends with the contact's number.
QStringList generateRecordLines(int count)
{
    std::mt19937 rng(20240229u);
    const auto pick = [&rng](int n) { return int(rng() % unsigned(n)); };

    QStringList lines;
    lines.reserve(count);
    for (int i = 1; i <= count; ++i) {
        const Name& first = FirstNames[pick(int(FirstNames.size()))];
        const Name& last = Surnames[pick(int(Surnames.size()))];
        const QString number = QString::number(i);
        const QString nome = first.shown + u' ' + last.shown + u' ' + number;
        const QString fone = u'(' + QString::number(AreaCodes[pick(int(AreaCodes.size()))]) + u") 9"_s
            + padded(pick(10000), 4) + u'-' + padded(pick(10000), 4);
        const QString mail = first.ascii + u'.' + last.ascii + number + u"@exemplo.com.br"_s;
        const QString endereco = Streets[pick(int(Streets.size()))] + u", "_s
            + QString::number(1 + pick(3000)) + u" - apto "_s + QString::number(11 + pick(190)) + u'\n'
            + Towns[pick(int(Towns.size()))] + u" - CEP "_s + padded(pick(100000), 5) + u'-'
            + padded(pick(1000), 3);
        const QString& complemento = Notes[pick(int(Notes.size()))];
        const QString data = padded(1 + pick(28), 2) + u'/' + padded(1 + pick(12), 2) + u'/'
            + QString::number(2000 + pick(25));
        lines.append(formatRecord(nome, fone, mail, endereco, complemento, data));
    }
    return lines;
}

// Written the way the store writes (atomically, synced), so that every timed operation starts
// from a file in the same state as the one Floor rewrites, with no write-back left pending.
bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

// One store per size, in its own folder, kept for the whole run.
struct Dataset {
    QTemporaryDir dir;
    std::unique_ptr<ContactStore> store;
    QByteArray bytes; // the file as generated
    QString nearEnd; // a name 2% before the end
    QString middle; // the name of the middle record
    QString replacement; // a new line for the middle record, same name
    QString extra; // a line to append
};

std::map<int, std::unique_ptr<Dataset>>& datasets()
{
    static std::map<int, std::unique_ptr<Dataset>> all;
    return all;
}

Dataset* dataset(int count)
{
    auto& slot = datasets()[count];
    if (!slot) {
        auto d = std::make_unique<Dataset>();
        if (!d->dir.isValid())
            return nullptr;
        const QStringList lines = generateRecordLines(count);
        d->store = std::make_unique<ContactStore>(d->dir.path());
        d->bytes = StoreText::encodeStore(lines);
        d->nearEnd = recordName(lines.at(count - 1 - count / 50)).toString();
        d->middle = recordName(lines.at(count / 2)).toString();
        d->replacement = formatRecord(d->middle, u"(11) 98765-4321"_s, u"novo.endereco@exemplo.com.br"_s,
            u"Rua Nova, 10\nCentro - Santos/SP"_s, u"Mudou-se em janeiro."_s, u"01/02/2024"_s);
        d->extra = formatRecord(u"Zé Ninguém da Silva"_s, u"(21) 91234-5678"_s, u"ze@exemplo.com.br"_s,
            u"Rua do Ouvidor, 50\nCentro - Rio de Janeiro/RJ"_s, u"Acrescentado agora."_s, u"15/08/2024"_s);
        slot = std::move(d);
    }
    return slot.get();
}

// The dataset for the benchmark's size, with its file as generated; nullptr (and the benchmark
// marked as failed) when the folder or the file cannot be made.
Dataset* prepare(benchmark::State& state)
{
    Dataset* d = dataset(int(state.range(0)));
    if (!d || !writeBytes(d->store->path(), d->bytes)) {
        state.SkipWithError("cannot write the test store");
        return nullptr;
    }
    state.counters["file_MB"] = double(d->bytes.size()) / 1e6;
    return d;
}

// Puts the generated bytes back without counting the time.
void restore(benchmark::State& state, const Dataset& d)
{
    state.PauseTiming();
    if (!writeBytes(d.store->path(), d.bytes))
        state.SkipWithError("cannot restore the test store");
    state.ResumeTiming();
}

// ---------------------------------------------------------------------------------------------
// Benchmarks

// Runs op once per iteration until it reports a failure. After a change the original bytes
// are put back, outside the timed region, so every iteration changes the same file.
template<typename Op>
void timeEach(benchmark::State& state, Op op, bool putBack = false)
{
    Dataset* d = prepare(state);
    if (!d)
        return;
    for (auto _ : state) {
        if (const char* failure = op(*d)) {
            state.SkipWithError(failure);
            break;
        }
        if (putBack)
            restore(state, *d);
    }
}

// The whole file, as the floors read it; nullptr when it cannot be read.
const char* readAll(const QString& path, QByteArray* bytes)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return "open for reading failed";
    *bytes = in.readAll();
    return nullptr;
}

// What no implementation can beat: the file's bytes read, and the same bytes written back with
// an atomic rewrite as durable as the store's own: QSaveFile (temporary file, write, flushed,
// renamed), then the folder flushed, without which the rename may not outlive a power cut.
void Floor(benchmark::State& state)
{
    timeEach(state, [](Dataset& d) -> const char* {
        QByteArray bytes;
        if (const char* failure = readAll(d.store->path(), &bytes))
            return failure;
        QSaveFile out(d.store->path());
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
            return "atomic rewrite failed";
        const int folder
            = ::open(QFile::encodeName(d.dir.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const bool synced = folder >= 0 && ::fsync(folder) == 0;
        if (folder >= 0)
            ::close(folder);
        return synced ? nullptr : "flushing the folder failed";
    });
}

// Reading alone, the least a read-only operation can cost.
void FloorRead(benchmark::State& state)
{
    timeEach(state, [](Dataset& d) {
        QByteArray bytes;
        const char* failure = readAll(d.store->path(), &bytes);
        benchmark::DoNotOptimize(bytes.data());
        return failure;
    });
}

// What the name list reads at start-up and on refresh: every record's name.
void ReadRecords(benchmark::State& state)
{
    timeEach(state, [&state](Dataset& d) {
        NameList names;
        const bool ok = d.store->readNames(&names) == StoreStatus::Ok && names.size() == state.range(0);
        benchmark::DoNotOptimize(names.size());
        return ok ? nullptr : "readNames failed";
    });
}

void FindRecord(benchmark::State& state)
{
    timeEach(state, [](Dataset& d) {
        std::optional<ContactRecord> record;
        const bool ok = d.store->findRecord(d.nearEnd, &record) == StoreStatus::Ok && record;
        benchmark::DoNotOptimize(record);
        return ok ? nullptr : "findRecord did not find the record";
    });
}

void Append(benchmark::State& state)
{
    timeEach(
        state,
        [](Dataset& d) { return d.store->append(d.extra) == StoreStatus::Ok ? nullptr : "append failed"; },
        true);
}

void ReplaceRecords(benchmark::State& state)
{
    timeEach(
        state,
        [](Dataset& d) {
            int replaced = 0;
            const bool ok = d.store->replaceRecords(d.middle, d.replacement, &replaced) == StoreStatus::Ok;
            return ok && replaced == 1 ? nullptr : "replaceRecords did not replace one record";
        },
        true);
}

void RemoveRecords(benchmark::State& state)
{
    timeEach(
        state,
        [](Dataset& d) {
            int removed = 0;
            const bool ok = d.store->removeRecords(d.middle, &removed) == StoreStatus::Ok;
            return ok && removed == 1 ? nullptr : "removeRecords did not remove one record";
        },
        true);
}

// Three sizes; enough repetitions for a median that means something on a shared machine, and a
// short minimum time so that the 100,000-contact cases take a couple of seconds each. Wall-clock
// time, since the atomic rewrite waits on the disk.
void sizes(benchmark::internal::Benchmark* b)
{
    b->Arg(1000)
        ->Arg(10000)
        ->Arg(100000)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MinTime(0.1)
        ->Repetitions(9)
        ->ReportAggregatesOnly(true);
}

BENCHMARK(Floor)->Apply(sizes);
BENCHMARK(FloorRead)->Apply(sizes);
BENCHMARK(ReadRecords)->Apply(sizes);
BENCHMARK(FindRecord)->Apply(sizes);
BENCHMARK(Append)->Apply(sizes);
BENCHMARK(ReplaceRecords)->Apply(sizes);
BENCHMARK(RemoveRecords)->Apply(sizes);

int generate(const char* countText, const char* path)
{
    char* end = nullptr;
    const long count = std::strtol(countText, &end, 10);
    if (!end || *end != '\0' || count < 0 || count > 10'000'000) {
        std::fprintf(stderr, "bench_store: bad contact count '%s'\n", countText);
        return 2;
    }
    const QByteArray bytes = StoreText::encodeStore(generateRecordLines(int(count)));
    if (!writeBytes(QString::fromLocal8Bit(path), bytes)) {
        std::fprintf(stderr, "bench_store: cannot write %s\n", path);
        return 1;
    }
    return 0;
}

// Takes --memory=... out of the arguments and sets malloc up for it; false on a bad value.
bool setMemoryMode(int& argc, char** argv, const char** mode)
{
    *mode = "warm";
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--memory=", 9) == 0)
            *mode = argv[i] + 9;
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    if (std::strcmp(*mode, "glibc") == 0)
        return true;
    if (std::strcmp(*mode, "warm") != 0) {
        std::fprintf(stderr, "bench_store: --memory is warm or glibc, not '%s'\n", *mode);
        return false;
    }
#ifdef __GLIBC__
    // Everything from the heap, and nothing handed back to the system.
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
#else
    std::fprintf(stderr, "bench_store: not glibc, --memory=warm has no effect\n");
#endif
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "--generate") == 0) {
        if (argc != 4) {
            std::fprintf(stderr, "usage: bench_store --generate N PATH\n");
            return 2;
        }
        return generate(argv[2], argv[3]);
    }

    const char* memory = nullptr;
    if (!setMemoryMode(argc, argv, &memory))
        return 2;
    QCoreApplication app(argc, argv);
    benchmark::AddCustomContext("memory", memory);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The temporary folders go before Qt's own statics do.
    datasets().clear();
    return 0;
}
