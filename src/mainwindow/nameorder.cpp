#include "nameorder.h"

#include <QCollator>
#include <QtEndian>

#include <unicode/ucol.h>

#include <algorithm>
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
    // Appends the key of name; its offset, or false when the buffer cannot hold it.
    bool append(const UCollator* collator, const QString& name, uint32_t* offset)
    {
        if (name.size() > INT_MAX / 4)
            return false;
        for (;;) {
            const size_t room = std::min<size_t>(m_capacity - m_size, INT_MAX);
            const int32_t n = ucol_getSortKey(collator, reinterpret_cast<const UChar*>(name.constData()),
                int32_t(name.size()), m_data + m_size, int32_t(room));
            if (n <= 0)
                return false;
            if (size_t(n) <= room) {
                *offset = uint32_t(m_size);
                m_size += size_t(n);
                return true;
            }
            const size_t capacity = std::max(m_capacity * 2, m_size + size_t(n) + 4096);
            if (capacity > UINT32_MAX)
                return false;
            auto* grown = static_cast<uint8_t*>(std::realloc(m_data, capacity));
            if (!grown)
                return false;
            m_data = grown;
            m_capacity = capacity;
        }
    }

private:
    uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

// One name in the sort: eight bytes of its key, from the depth the sort has reached, as one
// number, so that most comparisons touch neither the key buffer nor memory far away.
struct Entry {
    uint64_t head;
    uint32_t index;
    uint32_t offset;
};

// Eight key bytes from key on, zeros past its end.
uint64_t keyHead(const uint8_t* key)
{
    uint8_t bytes[8] = {};
    for (int i = 0; i < 8 && key[i]; ++i)
        bytes[i] = key[i];
    return qFromBigEndian<uint64_t>(bytes);
}

// Whole keys, then file order: names whose keys are equal keep the order they have in the file.
bool keyLess(const KeyBuffer& ka, const Entry& a, const KeyBuffer& kb, const Entry& b)
{
    const int c = std::strcmp(
        reinterpret_cast<const char*>(ka.at(a.offset)), reinterpret_cast<const char*>(kb.at(b.offset)));
    return c != 0 ? c < 0 : a.index < b.index;
}

// Sorts entries whose keys agree on their first depth bytes, their heads holding the eight
// after: by head, then each run of equal heads by the next eight bytes, as long as keys go on.
// Names that agree on a long start (rare) are finished by whole-key comparisons instead.
void sortByHeads(Entry* first, Entry* last, size_t depth, const KeyBuffer& keys)
{
    if (depth >= 64) {
        std::sort(first, last, [&](const Entry& a, const Entry& b) { return keyLess(keys, a, keys, b); });
        return;
    }
    std::sort(first, last, [](const Entry& a, const Entry& b) {
        return a.head != b.head ? a.head < b.head : a.index < b.index;
    });
    for (Entry* run = first; run != last;) {
        Entry* end = run + 1;
        while (end != last && end->head == run->head)
            ++end;
        // A head that ends in a zero byte holds the key's end: equal heads, equal keys.
        if (end - run > 1 && (run->head & 0xFF) != 0) {
            for (Entry* e = run; e != end; ++e) {
                if (end - e > 8)
                    __builtin_prefetch(keys.at(e[8].offset) + depth + 8);
                e->head = keyHead(keys.at(e->offset) + depth + 8);
            }
            sortByHeads(run, end, depth + 8, keys);
        }
        run = end;
    }
}

// Builds the keys of names [begin, end) and sorts their entries; false when a key failed.
bool sortRun(const UCollator* collator, const std::function<void(qsizetype, QString&)>& nameAt,
    qsizetype begin, qsizetype end, KeyBuffer& keys, Entry* entries)
{
    QString name;
    for (qsizetype i = begin; i < end; ++i) {
        nameAt(i, name);
        Entry& e = entries[i];
        if (!keys.append(collator, name, &e.offset))
            return false;
        e.index = uint32_t(i);
    }
    // Heads are taken only now: the buffer may have moved while it grew.
    for (qsizetype i = begin; i < end; ++i)
        entries[i].head = keyHead(keys.at(entries[i].offset));
    sortByHeads(entries + begin, entries + end, 0, keys);
    return true;
}

std::vector<qsizetype> collatorOrder(
    qsizetype count, const std::function<void(qsizetype, QString&)>& nameAt, const QCollator& collator)
{
    std::vector<QCollatorSortKey> keys;
    keys.reserve(count);
    QString name;
    for (qsizetype i = 0; i < count; ++i) {
        nameAt(i, name);
        keys.push_back(collator.sortKey(name));
    }
    std::vector<qsizetype> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(
        order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return keys[a].compare(keys[b]) < 0; });
    return order;
}

} // namespace

std::vector<qsizetype> collationOrder(
    qsizetype count, const std::function<void(qsizetype, QString&)>& nameAt, const QLocale& locale)
{
    // The C locale has no collation of its own: it would sort by code points, every capital
    // before every small letter and accented names last. The language-neutral order serves.
    const QLocale collationLocale = locale.language() == QLocale::C ? QLocale(QLocale::English) : locale;
    std::vector<qsizetype> order(count);
    std::iota(order.begin(), order.end(), 0);
    if (count < 2)
        return order;

    const Collator collator = openCollator(collationLocale);
    if (collator && count <= qsizetype(UINT32_MAX)) {
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
        std::vector<char> ok(runs, 0);
        std::vector<std::thread> workers;
        for (qsizetype r = runs - 1; r >= 0; --r) {
            const qsizetype begin = qsizetype(chunk) * r;
            const qsizetype end = std::min(count, begin + qsizetype(chunk));
            const auto work = [&, r, begin, end](const UCollator* c) {
                ok[r] = c && sortRun(c, nameAt, begin, end, keys[r], entries.data());
            };
            if (r == 0) {
                work(collator.get());
                break;
            }
            UErrorCode status = U_ZERO_ERROR;
            clones[r].reset(ucol_clone(collator.get(), &status));
            if (U_FAILURE(status))
                clones[r].reset();
            workers.emplace_back(work, clones[r].get());
        }
        for (std::thread& t : workers)
            t.join();
        if (std::all_of(ok.begin(), ok.end(), [](char o) { return o != 0; })) {
            std::vector<size_t> next(runs);
            for (qsizetype r = 0; r < runs; ++r)
                next[r] = chunk * size_t(r);
            for (qsizetype& out : order) {
                qsizetype best = -1;
                for (qsizetype r = 0; r < runs; ++r) {
                    const size_t end = std::min(size_t(count), chunk * size_t(r + 1));
                    if (next[r] < end
                        && (best < 0 || keyLess(keys[r], entries[next[r]], keys[best], entries[next[best]])))
                        best = r;
                }
                out = entries[next[best]++].index;
                // The keys of a sorted run lie all over its buffer: fetch ahead.
                if (const size_t ahead = next[best] + 8;
                    ahead < std::min(size_t(count), chunk * size_t(best + 1)))
                    __builtin_prefetch(keys[best].at(entries[ahead].offset));
            }
            return order;
        }
    }

    // Without a collator of its own (or a list too large for its keys), through QCollator.
    QCollator fallback(collationLocale);
    fallback.setCaseSensitivity(Qt::CaseInsensitive);
    return collatorOrder(count, nameAt, fallback);
}
