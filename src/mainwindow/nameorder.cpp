#include "nameorder.h"

#include <QCollator>
#include <QtEndian>

#include <unicode/ucol.h>
#include <unicode/ucoleitr.h>
#include <unicode/uset.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <thread>

namespace {

struct CollatorDeleter {
    void operator()(UCollator* c) const { ucol_close(c); }
};
using Collator = std::unique_ptr<UCollator, CollatorDeleter>;

// The collator QCollator opens for the locale when told to ignore case; its sort keys order
// names exactly as QCollator's do, without an allocation per key.
Collator openCollator(const QLocale& locale)
{
    const QByteArray name = locale.bcp47Name().toLatin1().replace('-', '_');
    UErrorCode status = U_ZERO_ERROR;
    Collator collator(ucol_open(name.constData(), &status));
    if (U_FAILURE(status))
        return {};
    ucol_setAttribute(collator.get(), UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    ucol_setAttribute(collator.get(), UCOL_STRENGTH, UCOL_SECONDARY, &status);
    ucol_setAttribute(collator.get(), UCOL_NUMERIC_COLLATION, UCOL_OFF, &status);
    ucol_setAttribute(collator.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
    return U_SUCCESS(status) ? std::move(collator) : Collator();
}

// The sort keys of a run of names, one after the other in one buffer, each ending in a zero
// byte (a key holds no other). Untouched capacity costs address space, not memory.
class KeyBuffer {
public:
    ~KeyBuffer() { std::free(m_data); }
    const uint8_t* at(uint32_t offset) const { return m_data + offset; }
    void clear() { m_size = 0; }

    // Room for n more bytes at end(), and eight beyond them that keyHead() may read; false when
    // the buffer cannot grow so far.
    bool reserve(size_t n)
    {
        n += Slack;
        if (m_capacity - m_size >= n)
            return true;
        const size_t capacity = std::max(m_capacity * 2, m_size + n + 4096);
        if (capacity > UINT32_MAX)
            return false;
        auto* grown = static_cast<uint8_t*>(std::realloc(m_data, capacity));
        if (!grown)
            return false;
        m_data = grown;
        m_capacity = capacity;
        return true;
    }
    uint8_t* end() { return m_data + m_size; }
    // What may be written at end() once reserve() has been called.
    size_t room() const { return m_capacity - m_size - Slack; }
    // Keeps the n bytes written at end() as the next key; its offset.
    uint32_t commit(size_t n)
    {
        const auto offset = uint32_t(m_size);
        m_size += n;
        return offset;
    }

    // Appends the collator's key of name; false when the buffer cannot hold it.
    bool append(const UCollator* collator, const QString& name, uint32_t* offset)
    {
        if (name.size() > INT_MAX / 4)
            return false;
        for (size_t want = size_t(name.size()) * 2 + 16;;) {
            if (!reserve(want))
                return false;
            const int32_t n = ucol_getSortKey(collator, reinterpret_cast<const UChar*>(name.constData()),
                int32_t(name.size()), end(), int32_t(std::min<size_t>(room(), INT_MAX)));
            if (n <= 0)
                return false;
            if (size_t(n) <= room()) {
                *offset = commit(size_t(n));
                return true;
            }
            want = size_t(n);
        }
    }

private:
    static constexpr size_t Slack = 8;
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

// Keys for names written in the first 256 code points (Latin-1: the letters of Portuguese and
// its neighbours, digits, punctuation), built from a table instead of through the collator, a
// few times faster. The collator's key holds the weights of every character at the first
// level, a separator, then those at the second level; compared byte by byte, it orders by the
// first level, then the second. Here a key holds the first level only, each weight replaced by
// its rank among the table's weights, and the second level is looked at only for names whose
// first levels are equal (secondaries()). That holds while each character's weights do not
// depend on its neighbours: no contraction among these characters (the root order's only one
// is "l·", so "·" stays out; a language's own ones are asked for), no second level read
// backwards, no reordered scripts, no case level.
class Latin1Keys {
public:
    bool build(const UCollator* collator)
    {
        UErrorCode status = U_ZERO_ERROR;
        if (ucol_getAttribute(collator, UCOL_FRENCH_COLLATION, &status) != UCOL_OFF
            || ucol_getAttribute(collator, UCOL_CASE_LEVEL, &status) != UCOL_OFF || U_FAILURE(status))
            return false;
        if (ucol_getReorderCodes(collator, nullptr, 0, &status) != 0)
            return false;
        status = U_ZERO_ERROR;
        std::array<bool, 256> usable;
        usable.fill(true);
        usable[0xB7] = false;
        USet* tailored = ucol_getTailoredSet(collator, &status);
        if (U_FAILURE(status))
            return false;
        UChar contraction[64];
        for (int32_t i = 0, n = uset_getItemCount(tailored); i < n; ++i) {
            UChar32 from, to;
            UErrorCode itemStatus = U_ZERO_ERROR;
            const int32_t length = uset_getItem(tailored, i, &from, &to, contraction, 64, &itemStatus);
            const bool latin1 = length > 0 && U_SUCCESS(itemStatus)
                && std::all_of(contraction, contraction + length, [](UChar c) { return c < 0x100; });
            if (latin1)
                usable[contraction[length - 1]] = false;
            else if (U_FAILURE(itemStatus))
                usable.fill(false); // a contraction too long to look at
        }
        uset_close(tailored);

        // Each character's weights, as the collator's element iterator gives them: a 32-bit
        // primary, a 16-bit secondary, split over two elements when they do not fit one.
        std::array<std::vector<uint32_t>, 256> primaries, secondaries;
        std::vector<uint32_t> allPrimaries, allSecondaries;
        UChar c = 0;
        UCollationElements* elements = ucol_openElements(collator, &c, 1, &status);
        for (int ch = 0; ch < 256 && U_SUCCESS(status); ++ch) {
            if (!usable[ch])
                continue;
            c = UChar(ch);
            ucol_setText(elements, &c, 1, &status);
            for (int32_t ce = ucol_next(elements, &status); ce != UCOL_NULLORDER && U_SUCCESS(status);) {
                int32_t next = ucol_next(elements, &status);
                uint32_t primary = uint32_t(ce) & 0xFFFF0000u;
                uint32_t secondary = uint32_t(ce) & 0xFF00u;
                if (next != UCOL_NULLORDER && (next & 0xC0) == 0xC0) {
                    primary |= uint32_t(next) >> 16;
                    secondary |= (uint32_t(next) >> 8) & 0xFFu;
                    next = ucol_next(elements, &status);
                }
                if (primary != 0) {
                    primaries[ch].push_back(primary);
                    allPrimaries.push_back(primary);
                }
                if (secondary != 0) {
                    secondaries[ch].push_back(secondary);
                    allSecondaries.push_back(secondary);
                }
                ce = next;
            }
            if (primaries[ch].size() > MaxWeights || secondaries[ch].size() > MaxWeights)
                usable[ch] = false;
        }
        ucol_closeElements(elements);
        if (U_FAILURE(status))
            return false;

        // Ranks from 1 up, one byte each: 0 ends a key.
        const auto ranks = [](std::vector<uint32_t>& all) {
            std::sort(all.begin(), all.end());
            all.erase(std::unique(all.begin(), all.end()), all.end());
            return all.size() <= 255;
        };
        if (!ranks(allPrimaries) || !ranks(allSecondaries))
            return false;
        const auto rankOf = [](const std::vector<uint32_t>& all, uint32_t w) {
            return uint8_t(1 + (std::lower_bound(all.begin(), all.end(), w) - all.begin()));
        };
        for (int ch = 0; ch < 256; ++ch) {
            Weights& w = m_chars[ch];
            w.usable = usable[ch];
            if (!w.usable)
                continue;
            for (const uint32_t p : primaries[ch])
                w.primary[w.primaries++] = rankOf(allPrimaries, p);
            for (const uint32_t s : secondaries[ch])
                w.secondary[w.secondaries++] = rankOf(allSecondaries, s);
        }
        return true;
    }

    // Appends the first-level key of name; false when a character is not in the table.
    bool append(const QString& name, KeyBuffer& keys, uint32_t* offset) const
    {
        if (name.size() > qsizetype(UINT32_MAX / MaxWeights)
            || !keys.reserve(size_t(name.size()) * MaxWeights + 1))
            return false;
        uint8_t* const start = keys.end();
        uint8_t* out = start;
        for (const QChar c : name) {
            if (c.unicode() > 0xFF || !m_chars[c.unicode()].usable)
                return false;
            const Weights& w = m_chars[c.unicode()];
            for (uint8_t k = 0; k < w.primaries; ++k)
                *out++ = w.primary[k];
        }
        *out++ = 0;
        *offset = keys.commit(size_t(out - start));
        return true;
    }

    // The second level of a name append() took: its ranks, in order.
    QByteArray secondaries(const QString& name) const
    {
        QByteArray out;
        for (const QChar c : name) {
            const Weights& w = m_chars[c.unicode()];
            out.append(reinterpret_cast<const char*>(w.secondary), w.secondaries);
        }
        return out;
    }

private:
    static constexpr size_t MaxWeights = 4;
    struct Weights {
        bool usable = false;
        uint8_t primaries = 0;
        uint8_t secondaries = 0;
        uint8_t primary[MaxWeights];
        uint8_t secondary[MaxWeights];
    };
    std::array<Weights, 256> m_chars;
};

// One name in the sort: eight bytes of its key, from the depth the sort has reached, as one
// number, so that most comparisons touch neither the key buffer nor memory far away.
struct Entry {
    uint64_t head;
    uint32_t index;
    uint32_t offset;
};

// Eight key bytes from key on, zeros past its end. The eight bytes are read at once (the buffer
// keeps room for them past its last key), and what follows the key's zero byte is dropped.
uint64_t keyHead(const uint8_t* key)
{
    uint64_t bytes;
    std::memcpy(&bytes, key, 8);
    bytes = qFromLittleEndian(bytes);
    // The lowest byte that is zero has its top bit set here; no byte below it has.
    const uint64_t zeros = (bytes - 0x0101010101010101u) & ~bytes & 0x8080808080808080u;
    if (zeros != 0)
        bytes &= ((zeros & -zeros) >> 7) - 1;
    return qbswap(bytes);
}

// What decides between names whose keys are equal when the keys hold the first level only.
struct Ties {
    const Latin1Keys* table;
    const std::function<void(qsizetype, QString&)>* nameAt;

    QByteArray secondaries(uint32_t index) const
    {
        QString name;
        (*nameAt)(index, name);
        return table->secondaries(name);
    }
};

// Whole keys, then (for first-level keys) the second level, then file order: names that sort
// equal keep the order they have in the file.
bool keyLess(const KeyBuffer& ka, const Entry& a, const KeyBuffer& kb, const Entry& b, const Ties* ties)
{
    int c = std::strcmp(
        reinterpret_cast<const char*>(ka.at(a.offset)), reinterpret_cast<const char*>(kb.at(b.offset)));
    if (c == 0 && ties)
        c = ties->secondaries(a.index).compare(ties->secondaries(b.index));
    return c != 0 ? c < 0 : a.index < b.index;
}

// Sorts entries by head, equal heads by index. They come in index order (a run's names in file
// order, or a run of equal heads as the sort before left it), so a stable radix sort, a byte at
// a time from the head's last, gives that order without comparing; a byte every head has alike
// costs no pass. A few entries are sorted by comparing. scratch is room for as many entries.
void sortHeads(Entry* first, Entry* last, Entry* scratch)
{
    const size_t n = size_t(last - first);
    if (n < 256) {
        std::sort(first, last, [](const Entry& a, const Entry& b) {
            return a.head != b.head ? a.head < b.head : a.index < b.index;
        });
        return;
    }
    uint32_t counts[8][256] = {};
    for (const Entry* e = first; e != last; ++e)
        for (int b = 0; b < 8; ++b)
            ++counts[b][(e->head >> (8 * b)) & 0xFF];
    Entry* from = first;
    Entry* to = scratch;
    for (int b = 0; b < 8; ++b) {
        const int shift = 8 * b;
        if (counts[b][(first->head >> shift) & 0xFF] == n)
            continue;
        uint32_t at[256];
        uint32_t sum = 0;
        for (int v = 0; v < 256; ++v) {
            at[v] = sum;
            sum += counts[b][v];
        }
        for (const Entry* e = from; e != from + n; ++e)
            to[at[(e->head >> shift) & 0xFF]++] = *e;
        std::swap(from, to);
    }
    if (from != first)
        std::copy(from, from + n, first);
}

// Sorts entries whose keys agree on their first depth bytes, their heads holding the eight
// after: by head, then each run of equal heads by the next eight bytes, as long as keys go on.
// Names that agree on a long start (rare) are finished by whole-key comparisons instead.
void sortByHeads(
    Entry* first, Entry* last, size_t depth, const KeyBuffer& keys, const Ties* ties, Entry* scratch)
{
    if (depth >= 64) {
        std::sort(
            first, last, [&](const Entry& a, const Entry& b) { return keyLess(keys, a, keys, b, ties); });
        return;
    }
    sortHeads(first, last, scratch);
    for (Entry* run = first; run != last;) {
        Entry* end = run + 1;
        while (end != last && end->head == run->head)
            ++end;
        if (end - run == 1) {
            // Alone with its head: in its place.
        } else if ((run->head & 0xFF) != 0) {
            for (Entry* e = run; e != end; ++e) {
                if (end - e > 8)
                    __builtin_prefetch(keys.at(e[8].offset) + depth + 8);
                e->head = keyHead(keys.at(e->offset) + depth + 8);
            }
            sortByHeads(run, end, depth + 8, keys, ties, scratch);
        } else if (ties) {
            // A head that ends in a zero byte holds the key's end: equal keys, in file order,
            // which the second level may still tell apart.
            std::vector<std::pair<QByteArray, Entry>> equal;
            equal.reserve(size_t(end - run));
            for (Entry* e = run; e != end; ++e)
                equal.emplace_back(ties->secondaries(e->index), *e);
            std::stable_sort(
                equal.begin(), equal.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            for (size_t k = 0; k < equal.size(); ++k)
                run[k] = equal[k].second;
        }
        run = end;
    }
}

// Builds the keys of names [begin, end), from the table where one is given, else through the
// collator, and sorts their entries. False when a name is not for the table, or a key failed;
// stop tells another run's failure, which makes this run's work pointless.
bool sortRun(const UCollator* collator, const Ties* ties,
    const std::function<void(qsizetype, QString&)>& nameAt, qsizetype begin, qsizetype end, KeyBuffer& keys,
    Entry* entries, std::atomic<bool>& stop)
{
    QString name;
    keys.clear();
    for (qsizetype i = begin; i < end; ++i) {
        nameAt(i, name);
        Entry& e = entries[i];
        const bool ok
            = ties ? ties->table->append(name, keys, &e.offset) : keys.append(collator, name, &e.offset);
        if (!ok || ((i & 1023) == 0 && stop.load(std::memory_order_relaxed))) {
            stop = true;
            return false;
        }
        e.index = uint32_t(i);
    }
    // Heads are taken only now: the buffer may have moved while it grew.
    for (qsizetype i = begin; i < end; ++i)
        entries[i].head = keyHead(keys.at(entries[i].offset));
    std::vector<Entry> scratch(size_t(end - begin));
    sortByHeads(entries + begin, entries + end, 0, keys, ties, scratch.data());
    return true;
}

std::vector<int> collatorOrder(
    qsizetype count, const std::function<void(qsizetype, QString&)>& nameAt, const QCollator& collator)
{
    std::vector<QCollatorSortKey> keys;
    keys.reserve(count);
    QString name;
    for (qsizetype i = 0; i < count; ++i) {
        nameAt(i, name);
        keys.push_back(collator.sortKey(name));
    }
    std::vector<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return keys[a].compare(keys[b]) < 0; });
    return order;
}

std::thread newThread(std::function<void()> work)
{
    return std::thread(std::move(work));
}

} // namespace

ThreadStarter startThread = newThread;

std::vector<int> collationOrder(
    qsizetype count, const std::function<void(qsizetype, QString&)>& nameAt, const QLocale& locale)
{
    // The C locale has no collation of its own: it would sort by code points, every capital
    // before every small letter and accented names last. The language-neutral order serves.
    const QLocale collationLocale = locale.language() == QLocale::C ? QLocale(QLocale::English) : locale;
    count = std::min<qsizetype>(count, INT_MAX);
    std::vector<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    if (count < 2)
        return order;

    const Collator collator = openCollator(collationLocale);
    if (collator) {
        // A large list is cut into one run of names per core (two at least, so that every
        // machine takes the same path), each with a collator of its own; the runs are sorted
        // side by side and merged.
        constexpr qsizetype MinPerRun = 4096;
        const qsizetype cores = std::clamp<qsizetype>(qsizetype(std::thread::hardware_concurrency()), 2, 8);
        const qsizetype runs = std::clamp<qsizetype>(count / MinPerRun, 1, cores);
        const size_t chunk = size_t((count + runs - 1) / runs);
        std::vector<KeyBuffer> keys(runs);
        std::vector<Entry> entries(count);
        std::vector<Collator> clones(runs);
        for (qsizetype r = 1; r < runs; ++r) {
            UErrorCode status = U_ZERO_ERROR;
            clones[r].reset(ucol_clone(collator.get(), &status));
            if (U_FAILURE(status))
                clones[r].reset();
        }
        std::vector<char> ok(runs, 0);
        const auto sortRuns = [&](const Ties* ties) {
            std::atomic<bool> stop = false;
            std::vector<std::thread> workers;
            workers.reserve(runs);
            for (qsizetype r = runs - 1; r >= 0; --r) {
                const qsizetype begin = qsizetype(chunk) * r;
                const qsizetype end = std::min(count, begin + qsizetype(chunk));
                const UCollator* c = r == 0 ? collator.get() : clones[r].get();
                const auto work = [&, r, begin, end, c] {
                    ok[r] = c && sortRun(c, ties, nameAt, begin, end, keys[r], entries.data(), stop);
                };
                if (r == 0) {
                    work();
                    continue;
                }
                try {
                    workers.push_back(startThread(work));
                } catch (const std::exception&) {
                    work(); // no thread to be had: the run is sorted here, as the first is
                }
            }
            for (std::thread& t : workers)
                t.join();
            return std::all_of(ok.begin(), ok.end(), [](char o) { return o != 0; });
        };
        // The table serves when every name is for it; otherwise every key comes from the
        // collator, as keys of the two kinds do not compare.
        Latin1Keys table;
        const Ties tableTies { &table, &nameAt };
        const Ties* ties = table.build(collator.get()) ? &tableTies : nullptr;
        if (ties && !sortRuns(ties))
            ties = nullptr;
        const bool sorted = ties || sortRuns(nullptr);
        if (sorted) {
            std::vector<size_t> next(runs);
            for (qsizetype r = 0; r < runs; ++r)
                next[r] = chunk * size_t(r);
            for (int& out : order) {
                qsizetype best = -1;
                for (qsizetype r = 0; r < runs; ++r) {
                    const size_t end = std::min(size_t(count), chunk * size_t(r + 1));
                    if (next[r] < end
                        && (best < 0
                            || keyLess(keys[r], entries[next[r]], keys[best], entries[next[best]], ties)))
                        best = r;
                }
                out = int(entries[next[best]++].index);
                // The keys of a sorted run lie all over its buffer: fetch ahead.
                if (const size_t ahead = next[best] + 8;
                    ahead < std::min(size_t(count), chunk * size_t(best + 1)))
                    __builtin_prefetch(keys[best].at(entries[ahead].offset));
            }
            return order;
        }
    }

    // Without a collator of its own (or keys too large for a buffer), through QCollator.
    QCollator fallback(collationLocale);
    fallback.setCaseSensitivity(Qt::CaseInsensitive);
    return collatorOrder(count, nameAt, fallback);
}

std::vector<int> extendOrder(std::vector<int> order, qsizetype count,
    const std::function<void(qsizetype, QString&)>& nameAt, const QLocale& locale)
{
    const auto first = qsizetype(order.size());
    return placeNames(std::move(order), first, count, nameAt, locale);
}

std::vector<int> placeNames(std::vector<int> order, qsizetype first, qsizetype last,
    const std::function<void(qsizetype, QString&)>& nameAt, const QLocale& locale)
{
    QCollator collator(locale.language() == QLocale::C ? QLocale(QLocale::English) : locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    last = std::min<qsizetype>(last, INT_MAX);
    QString name;
    QString listed;
    for (qsizetype i = first; i < last; ++i) {
        nameAt(i, name);
        // Before the first name that sorts after it, or sorts equal and stands later in the file.
        const auto at = std::upper_bound(order.begin(), order.end(), name, [&](const QString& n, int j) {
            nameAt(j, listed);
            const int c = collator.compare(n, listed);
            return c != 0 ? c < 0 : i < j;
        });
        order.insert(at, int(i));
    }
    return order;
}
