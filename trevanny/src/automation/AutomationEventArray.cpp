#include "trevanny/AutomationEventArray.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "trevanny/AutomationNotifications.h"
#include "winport/GlobalMemory.h"
#include "winport/RegistryObject.h"

namespace {

const char kServerKey[] = "SOFTWARE\\VOKDWEN\\KIVSERVER";
// The card link type whose records travel in the event record's own layout.
constexpr int kConvertingCardLinkType = 4;
// The record layouts of ConvertRecordLayout.
constexpr int kTimeFirstLayout = 1;
constexpr int kEventLayout = 101;

constexpr WPARAM kSortNotification = 31;
constexpr WPARAM kIsolateNotification = 19;
constexpr WPARAM kEraseNotification = 20;
constexpr size_t kKeptSortScratchBytes = size_t{64} << 20;

// Sort keys. Signed numbers are biased into unsigned order so that no comparison subtracts
// (a difference of two times near the int limits would overflow).
inline uint64_t biased(int32_t v) { return static_cast<uint32_t>(v) ^ 0x80000000u; }
inline uint32_t controlKey(const CAutomationEvent& e) { return uint32_t{e.GetProcessNumber()} << 8 | e.GetControlNumber(); }

struct TimeOrder {
    bool operator()(const CAutomationEvent& a, const CAutomationEvent& b) const
    {
        const uint64_t ka = biased(a.m_Time) << 32 | biased(static_cast<int32_t>(a.m_Path));
        const uint64_t kb = biased(b.m_Time) << 32 | biased(static_cast<int32_t>(b.m_Path));
        return ka != kb ? ka < kb : controlKey(a) < controlKey(b);
    }
};

struct PathControlTimeOrder {
    bool operator()(const CAutomationEvent& a, const CAutomationEvent& b) const
    {
        const uint64_t ka = biased(static_cast<int32_t>(a.m_Path)) << 32 | controlKey(a);
        const uint64_t kb = biased(static_cast<int32_t>(b.m_Path)) << 32 | controlKey(b);
        return ka != kb ? ka < kb : a.m_Time < b.m_Time;
    }
};

struct PathTimeOrder {
    bool operator()(const CAutomationEvent& a, const CAutomationEvent& b) const
    {
        const uint64_t ka = biased(static_cast<int32_t>(a.m_Path)) << 32 | biased(a.m_Time);
        const uint64_t kb = biased(static_cast<int32_t>(b.m_Path)) << 32 | biased(b.m_Time);
        return ka != kb ? ka < kb : controlKey(a) < controlKey(b);
    }
};

// ---- sorting ----
//
// A stable radix sort on the words of the order's key, most significant first. The order
// the array is already in decides how much of the key must be sorted: a stable sort keeps the
// order of equal keys, so sorting on a leading part of the key is enough when, for equal
// values of that part, the array's present order already is the wanted one; and an array in
// time order needs only its runs of equal times put in order. Only the bits that vary across
// the array are sorted on (a bit every event shares orders nothing), in digits of at most 11
// bits: a pass over the events costs about the same up to 10 bits and grows beyond, as the
// digit's buckets stop fitting the caches. Up to 65,536 events (1 MB, held by the caches) the
// digits are sorted least significant first, a pass each; a larger array is first split into
// buckets by its most significant digit (up to 12 bits), one pass over the whole array, and
// each bucket then sorted on the digits below within the caches: a pass over memory costs
// several over the caches, and an array in memory is read and written twice instead of once
// per digit. An array of more than 4M events is sorted in pieces that are then merged, so that
// its scratch space stays within what the array may keep for the next sort (kSortPieceEvents).

enum class KeyWord { Time, Path, Control };
constexpr size_t kKeyWords = 3;

template <KeyWord W>
uint32_t keyWord(const CAutomationEvent& e)
{
    if constexpr (W == KeyWord::Time) return static_cast<uint32_t>(biased(e.m_Time));
    else if constexpr (W == KeyWord::Path) return static_cast<uint32_t>(biased(static_cast<int32_t>(e.m_Path)));
    else return controlKey(e);
}

// The order's key words of the event, indexed by KeyWord.
std::array<uint32_t, kKeyWords> keyWords(const CAutomationEvent& e)
{
    return {keyWord<KeyWord::Time>(e), keyWord<KeyWord::Path>(e), keyWord<KeyWord::Control>(e)};
}

// What one pass over the events tells the sort: which of the three orders they are in (bit m
// for mode m; bit 3 when the times alone never go down) and which bits of each key word vary
// among them.
constexpr unsigned kTimesRise = 8;

struct ArrayShape {
    unsigned held = 15;
    std::array<uint32_t, kKeyWords> varying{};
};

// Which orders of [e, end) (bits as ArrayShape::held) among those in Held some event breaks
// against the one before it (`before` first, left as the last event).
template <unsigned Held>
unsigned breaksIn(const CAutomationEvent* e, const CAutomationEvent* end, const CAutomationEvent*& before)
{
    unsigned broken = 0;
    for (; e != end; before = e++) {
        if constexpr ((Held & 1) != 0) {
            if (TimeOrder{}(*e, *before)) broken |= 1;
        }
        if constexpr ((Held & 2) != 0) {
            if (PathControlTimeOrder{}(*e, *before)) broken |= 2;
        }
        if constexpr ((Held & 4) != 0) {
            if (PathTimeOrder{}(*e, *before)) broken |= 4;
        }
        if constexpr ((Held & kTimesRise) != 0) {
            if (e->m_Time < before->m_Time) broken |= kTimesRise;
        }
    }
    return broken;
}

template <size_t... Held>
constexpr auto breaksInTable(std::index_sequence<Held...>)
{
    return std::array{&breaksIn<static_cast<unsigned>(Held)>...};
}

ArrayShape shapeOf(const CAutomationEvent* first, const CAutomationEvent* last)
{
    ArrayShape shape;
    if (first == last) return shape;
    // A block at a time: the orders no block before has broken are checked, then the bits
    // that some event has set and another clear are gathered while the block is in the caches.
    static constexpr auto kBreaksIn = breaksInTable(std::make_index_sequence<16>{});
    uint32_t anyT = 0, anyP = 0, anyC = 0, allT = ~0u, allP = ~0u, allC = ~0u;
    const CAutomationEvent* before = first;
    for (const CAutomationEvent* e = first; e != last;) {
        const CAutomationEvent* end = e + std::min<size_t>(static_cast<size_t>(last - e), 4096);
        if (shape.held) shape.held &= ~kBreaksIn[shape.held](e, end, before);
        for (; e != end; ++e) {
            const uint32_t t = keyWord<KeyWord::Time>(*e), p = keyWord<KeyWord::Path>(*e), c = keyWord<KeyWord::Control>(*e);
            anyT |= t, anyP |= p, anyC |= c, allT &= t, allP &= p, allC &= c;
        }
    }
    shape.varying = {anyT & ~allT, anyP & ~allP, anyC & ~allC};
    return shape;
}

// One digit of the key: `bits` bits of a key word from bit `shift` up.
struct Digit {
    KeyWord word;
    unsigned shift;
    unsigned bits;

    uint32_t Of(const std::array<uint32_t, kKeyWords>& key) const
    {
        return (key[static_cast<size_t>(word)] >> shift) & ((uint32_t{1} << bits) - 1);
    }
};

constexpr unsigned kMaxDigitBits = 11;
// The digit that first splits a large array into buckets (sortDigits) is up to this wide.
constexpr unsigned kTopDigitBits = 12;
// The splitting digit is narrower for fewer events: about this many events to a bucket at least.
constexpr size_t kEventsPerTopBucket = 1024;
// Buckets of a digit's counts: room for the widest digit.
constexpr size_t kDigitBuckets = size_t{1} << std::max(kMaxDigitBits, kTopDigitBits);

// The digits of one key word covering its varying bits, least significant first: as few as
// digits of kMaxDigitBits allow, then as narrow as that number allows.
void addDigits(KeyWord word, uint32_t varying, std::vector<Digit>& digits)
{
    auto cover = [varying](unsigned width, auto&& take) {
        uint64_t rest = varying;
        while (rest != 0) {
            const auto lo = static_cast<unsigned>(std::countr_zero(rest));
            const uint64_t window = ((uint64_t{1} << (lo + width)) - 1) & rest;
            const auto hi = static_cast<unsigned>(63 - std::countl_zero(window));
            take(lo, hi - lo + 1);
            rest &= ~window;
        }
    };
    auto count = [&](unsigned width) {
        unsigned n = 0;
        cover(width, [&n](unsigned, unsigned) { ++n; });
        return n;
    };
    const unsigned fewest = count(kMaxDigitBits);
    unsigned width = 1;
    while (count(width) > fewest) ++width;
    cover(width, [&](unsigned shift, unsigned bits) { digits.push_back({word, shift, bits}); });
}

// Below this many events a comparison sort is quicker than a radix sort's bucket counts.
constexpr size_t kSmallSort = size_t{1} << 14;

// One pass: moves the events from src to dst by the digit's bucket offsets `at`, and counts
// the next digit's buckets (the counts do not depend on the order) when there is one.
template <KeyWord W>
void scatter(const CAutomationEvent* src, size_t n, CAutomationEvent* dst, uint32_t* at, const Digit& digit,
             uint32_t* nextCounts, const Digit* next)
{
    const uint32_t mask = (uint32_t{1} << digit.bits) - 1;
    const unsigned shift = digit.shift;
    if (next) {
        for (const CAutomationEvent* e = src; e != src + n; ++e) {
            nextCounts[next->Of(keyWords(*e))]++;
            std::memcpy(static_cast<void*>(dst + at[(keyWord<W>(*e) >> shift) & mask]++), e, sizeof *e);
        }
    } else {
        for (const CAutomationEvent* e = src; e != src + n; ++e)
            std::memcpy(static_cast<void*>(dst + at[(keyWord<W>(*e) >> shift) & mask]++), e, sizeof *e);
    }
}

// LSD passes over the digits, least significant first, from `data`; the events end in `into`
// (data or free). Each pass writes where the passes left can still end in `into` without a
// copy: `into`, or another of free, data and `spare` (when given: room for n events that the
// caches hold). `counts` has room for two digits' buckets.
void lsdPasses(CAutomationEvent* data, CAutomationEvent* free, size_t n, const Digit* digits, size_t count,
               CAutomationEvent* into, CAutomationEvent* spare, uint32_t* counts)
{
    std::array<CAutomationEvent*, 3> others{};
    size_t otherCount = 0;
    for (CAutomationEvent* b : {spare, free, data}) {
        if (b && b != into) others[otherCount++] = b;
    }
    uint32_t* at = counts;
    uint32_t* nextCounts = counts + kDigitBuckets;
    std::fill(at, at + (size_t{1} << digits[0].bits), 0);
    for (const CAutomationEvent* e = data; e != data + n; ++e) at[digits[0].Of(keyWords(*e))]++;

    CAutomationEvent* src = data;
    for (size_t d = 0; d < count; ++d) {
        CAutomationEvent* dst = (count - 1 - d) % 2 == 0 ? into : others[0];
        if (dst == src) dst = src == others[0] ? (otherCount > 1 ? others[1] : into) : others[0];
        uint32_t sum = 0;
        for (size_t k = 0; k < (size_t{1} << digits[d].bits); ++k) sum += std::exchange(at[k], sum);
        const Digit* next = d + 1 < count ? &digits[d + 1] : nullptr;
        if (next) std::fill(nextCounts, nextCounts + (size_t{1} << next->bits), 0);
        switch (digits[d].word) {
        case KeyWord::Time: scatter<KeyWord::Time>(src, n, dst, at, digits[d], nextCounts, next); break;
        case KeyWord::Path: scatter<KeyWord::Path>(src, n, dst, at, digits[d], nextCounts, next); break;
        case KeyWord::Control: scatter<KeyWord::Control>(src, n, dst, at, digits[d], nextCounts, next); break;
        }
        src = dst;
        std::swap(at, nextCounts);
    }
    if (src != into) std::memcpy(static_cast<void*>(into), src, n * sizeof(CAutomationEvent));
}

// Up to this many events (1 MB) the digits left are sorted pass after pass within the
// processor's caches; above it the most significant digit first splits the events into
// buckets (one pass over the whole array instead of one per digit).
constexpr size_t kCachedSortEvents = size_t{1} << 16;
size_t g_cachedSortEvents = kCachedSortEvents;
// Buckets this small are put in order by insertion.
constexpr size_t kInsertionEvents = 48;

// Sorts the n events at `data` on digits[0..count) (least significant first), stably, with
// `free` as room for as many and `spare` for g_cachedSortEvents; the events end in `into`
// (data or free).
void sortDigits(CAutomationEvent* data, CAutomationEvent* free, size_t n, const Digit* digits, size_t count,
                CAutomationEvent* into, CAutomationEvent* spare, uint32_t* counts)
{
    if (count == 0 || n < 2) {
        if (into != data && n > 0) std::memcpy(static_cast<void*>(into), data, n * sizeof(CAutomationEvent));
        return;
    }
    if (n <= kInsertionEvents) {
        if (into != data) std::memcpy(static_cast<void*>(into), data, n * sizeof(CAutomationEvent));
        auto less = [digits, count](const CAutomationEvent& x, const CAutomationEvent& y) {
            const auto kx = keyWords(x);
            const auto ky = keyWords(y);
            for (size_t d = count; d-- > 0;) {
                const uint32_t dx = digits[d].Of(kx);
                const uint32_t dy = digits[d].Of(ky);
                if (dx != dy) return dx < dy;
            }
            return false;
        };
        for (CAutomationEvent* i = into + 1; i < into + n; ++i) {
            const CAutomationEvent e = *i;
            CAutomationEvent* j = i;
            for (; j > into && less(e, j[-1]); --j) *j = j[-1];
            *j = e;
        }
        return;
    }
    if (n <= g_cachedSortEvents || count == 1) {
        lsdPasses(data, free, n, digits, count, into, n <= g_cachedSortEvents ? spare : nullptr, counts);
        return;
    }
    // The most significant digit splits the events into `free`, each bucket then sorted on the
    // digits below it, back and forth between its place in `free` and the same place in `data`.
    const Digit& top = digits[count - 1];
    const size_t buckets = size_t{1} << top.bits;
    // Four sets of counts, so that neighbours of one bucket (as in an array in another order)
    // do not wait on each other's increments.
    std::vector<uint32_t> four(4 * buckets);
    const CAutomationEvent* e = data;
    for (; e + 4 <= data + n; e += 4) {
        four[top.Of(keyWords(e[0]))]++;
        four[buckets + top.Of(keyWords(e[1]))]++;
        four[2 * buckets + top.Of(keyWords(e[2]))]++;
        four[3 * buckets + top.Of(keyWords(e[3]))]++;
    }
    for (; e != data + n; ++e) four[top.Of(keyWords(*e))]++;
    std::vector<uint32_t> at(buckets + 1);
    for (size_t k = 0; k < buckets; ++k)
        at[k + 1] = at[k] + four[k] + four[buckets + k] + four[2 * buckets + k] + four[3 * buckets + k];
    std::vector<uint32_t> bounds = at;
    switch (top.word) {
    case KeyWord::Time: scatter<KeyWord::Time>(data, n, free, at.data(), top, nullptr, nullptr); break;
    case KeyWord::Path: scatter<KeyWord::Path>(data, n, free, at.data(), top, nullptr, nullptr); break;
    case KeyWord::Control: scatter<KeyWord::Control>(data, n, free, at.data(), top, nullptr, nullptr); break;
    }
    for (size_t k = 0; k < buckets; ++k) {
        const size_t s = bounds[k];
        const size_t m = bounds[k + 1] - s;
        if (m == 0) continue;
        sortDigits(free + s, data + s, m, digits, count - 1, into == data ? data + s : free + s, spare, counts);
    }
}

// Merges the sorted runs [first, mid) and [mid, last) stably (on equal events the first run's
// go first), with scratch space for the second run.
template <class Less>
void mergeRuns(CAutomationEvent* first, CAutomationEvent* mid, CAutomationEvent* last, Less less, CAutomationEvent* scratch)
{
    if (mid == first || mid == last || !less(*mid, mid[-1])) return;
    // Events of the first run that no event of the second goes before stay where they are.
    CAutomationEvent* low = std::upper_bound(first, mid, *mid, less);
    const size_t m = static_cast<size_t>(last - mid);
    std::memcpy(static_cast<void*>(scratch), mid, m * sizeof(CAutomationEvent));
    // From the back: the greater of the two last events goes last, the second run's on a tie.
    CAutomationEvent* left = mid;
    CAutomationEvent* out = last;
    for (size_t right = m; right > 0;) {
        const bool takeLeft = left > low && less(scratch[right - 1], left[-1]);
        const CAutomationEvent* from = takeLeft ? left - 1 : scratch + right - 1;
        std::memcpy(static_cast<void*>(--out), from, sizeof(CAutomationEvent));
        left -= takeLeft;
        right -= !takeLeft;
    }
}

// The order on some of the key words, most significant first.
class WordsOrder {
public:
    explicit WordsOrder(const std::vector<KeyWord>& words) : m_count(std::min(words.size(), kKeyWords))
    {
        for (size_t i = 0; i < m_count; ++i) m_words[i] = static_cast<size_t>(words[i]);
    }
    bool operator()(const CAutomationEvent& a, const CAutomationEvent& b) const
    {
        const auto ka = keyWords(a);
        const auto kb = keyWords(b);
        for (size_t i = 0; i < m_count; ++i) {
            if (ka[m_words[i]] != kb[m_words[i]]) return ka[m_words[i]] < kb[m_words[i]];
        }
        return false;
    }

private:
    std::array<size_t, kKeyWords> m_words{};
    size_t m_count;
};

// Events a sort takes scratch space for at once: 64 MB, what the array may keep for the next
// sort. A larger array is sorted in pieces of at most this many events in the same scratch
// space, which are then merged, up to kMaxSortPieces pieces (the merges move about pieces / 2
// times the events); beyond that the scratch space is as large as the array, for that sort
// only. Fresh memory is dear where it comes in small pages (every page is a fault, and on a
// virtual machine often a second one in the host): 160 MB of it cost more than the radix
// passes of a 10M-event sort, the merges less.
constexpr size_t kSortPieceEvents = kKeptSortScratchBytes / sizeof(CAutomationEvent);
constexpr size_t kMaxSortPieces = 4;
size_t g_sortPieceEvents = kSortPieceEvents;

// Sorts on the key words (most significant first), over the bits the shape says vary.
void radixSort(CAutomationEvent* first, CAutomationEvent* last, const std::vector<KeyWord>& words, const ArrayShape& shape,
               CEventSortScratch& scratch)
{
    const size_t n = static_cast<size_t>(last - first);
    size_t pieces = (n + g_sortPieceEvents - 1) / g_sortPieceEvents;
    if (pieces > kMaxSortPieces) pieces = 1;
    const size_t piece = (n + pieces - 1) / pieces;
    const bool split = piece > g_cachedSortEvents;
    std::vector<Digit> digits;
    for (auto w = words.rbegin(); w != words.rend(); ++w) {
        const uint32_t varying = shape.varying[static_cast<size_t>(*w)];
        if (!split || w + 1 != words.rend() || varying == 0) {
            addDigits(*w, varying, digits);
            continue;
        }
        // The splitting digit is the top bits that vary, as many as give buckets of about
        // kEventsPerTopBucket events or more, up to kTopDigitBits.
        const auto width =
            std::clamp<unsigned>(static_cast<unsigned>(std::bit_width(piece / kEventsPerTopBucket)), 1, kTopDigitBits);
        const auto hi = static_cast<unsigned>(31 - std::countl_zero(varying));
        const unsigned lo = hi + 1 > width ? hi + 1 - width : 0;
        const uint32_t window = varying & static_cast<uint32_t>((uint64_t{1} << (hi + 1)) - (uint64_t{1} << lo));
        addDigits(*w, varying & ~window, digits);
        const auto low = static_cast<unsigned>(std::countr_zero(window));
        digits.push_back({*w, low, hi - low + 1});
    }
    if (digits.empty()) return;
    auto* space = reinterpret_cast<CAutomationEvent*>(scratch.Reserve(piece * sizeof(CAutomationEvent)));
    std::vector<uint32_t> counts(2 * kDigitBuckets);
    // Room for the buckets' passes within the caches, when the pieces are split.
    std::unique_ptr<std::byte[]> spare(split ? new std::byte[g_cachedSortEvents * sizeof(CAutomationEvent)] : nullptr);
    for (size_t at = 0; at < n; at += piece) {
        const size_t m = std::min(piece, n - at);
        sortDigits(first + at, space, m, digits.data(), digits.size(), first + at,
                   reinterpret_cast<CAutomationEvent*>(spare.get()), counts.data());
    }
    for (size_t at = piece; at < n; at += piece)
        mergeRuns(first, first + at, first + std::min(n, at + piece), WordsOrder(words), space);
}

template <class Less>
void stableSort(CAutomationEvent* first, CAutomationEvent* last, Less less)
{
    if (last - first <= 16) {
        // Insertion: the runs an array in time order leaves are mostly of a few events.
        for (CAutomationEvent* i = first + 1; i < last; ++i) {
            const CAutomationEvent e = *i;
            CAutomationEvent* j = i;
            for (; j > first && less(e, j[-1]); --j) *j = j[-1];
            *j = e;
        }
    } else if (!std::is_sorted(first, last, less)) {
        std::stable_sort(first, last, less);
    }
}

// Puts each run of events that `same` holds equal into the order `less`, stably: the runs a
// sort on a leading part of the key left. Long runs take the radix sort on `tieWords`.
template <class Same, class Less>
void sortRuns(CAutomationEvent* first, CAutomationEvent* last, Same same, Less less, const std::vector<KeyWord>& tieWords,
              CEventSortScratch& scratch)
{
    for (CAutomationEvent* run = first; run < last;) {
        CAutomationEvent* end = run + 1;
        while (end < last && same(*run, *end)) ++end;
        if (static_cast<size_t>(end - run) < kSmallSort) stableSort(run, end, less);
        else radixSort(run, end, tieWords, shapeOf(run, end), scratch);
        run = end;
    }
}

void sortEvents(CAutomationEvent* first, CAutomationEvent* last, int mode, CEventSortScratch& scratch)
{
    if (mode < CAutomationEventArray::SortByTime || mode > CAutomationEventArray::SortByPathTime) return;
    const size_t n = static_cast<size_t>(last - first);
    // The bucket counts are 32-bit.
    if (n < kSmallSort || n > UINT32_MAX) {
        switch (mode) {
        case CAutomationEventArray::SortByTime: std::stable_sort(first, last, TimeOrder{}); break;
        case CAutomationEventArray::SortByPathControlTime: std::stable_sort(first, last, PathControlTimeOrder{}); break;
        default: std::stable_sort(first, last, PathTimeOrder{}); break;
        }
        return;
    }
    const ArrayShape shape = shapeOf(first, last);
    const unsigned held = shape.held;
    if (held & (1u << mode)) return;
    using W = KeyWord;
    auto sameTime = [](const CAutomationEvent& a, const CAutomationEvent& b) { return a.m_Time == b.m_Time; };
    auto samePathTime = [](const CAutomationEvent& a, const CAutomationEvent& b) {
        return a.m_Path == b.m_Path && a.m_Time == b.m_Time;
    };
    switch (mode) {
    case CAutomationEventArray::SortByTime:
        // From either path order, events of one time are already in (path, control) order;
        // from times that only rise, the runs of one time are put in order.
        if (held & 6) radixSort(first, last, {W::Time}, shape, scratch);
        else if (held & kTimesRise) sortRuns(first, last, sameTime, TimeOrder{}, {W::Path, W::Control}, scratch);
        else radixSort(first, last, {W::Time, W::Path, W::Control}, shape, scratch);
        break;
    case CAutomationEventArray::SortByPathControlTime:
        // From rising times, or path and time order, events of one path and control are in time order.
        if (held & (kTimesRise | 4)) radixSort(first, last, {W::Path, W::Control}, shape, scratch);
        else radixSort(first, last, {W::Path, W::Control, W::Time}, shape, scratch);
        break;
    default:
        // From rising times, events of one path are in time order (and, from time order, their
        // runs of one time in control order already); from path and control order, events
        // of one path and time are in control order.
        if (held & kTimesRise) {
            radixSort(first, last, {W::Path}, shape, scratch);
            if (!(held & 1)) sortRuns(first, last, samePathTime, PathTimeOrder{}, {W::Control}, scratch);
        } else if (held & 2) {
            radixSort(first, last, {W::Path, W::Time}, shape, scratch);
        } else {
            radixSort(first, last, {W::Path, W::Time, W::Control}, shape, scratch);
        }
        break;
    }
}

// Replaces out's events by the given ones, with one allocation.
void assignEvents(CAutomationEventArray& out, const std::vector<CAutomationEvent>& events)
{
    out.SetSize(static_cast<INT_PTR>(events.size()));
    if (!events.empty()) std::memcpy(static_cast<void*>(out.GetData()), events.data(), events.size() * sizeof(CAutomationEvent));
}

}  // namespace

CAutomationEventArray::CAutomationEventArray()
    : CAutomationRecordSource(RecordSizeForPathMode(m_nMaxPathsMode))
{
    CTemplateSnapAutoEvent::InitialiseNames();
    int cardLinkType = 0;
    CLocalMachineRegistryObject registry{CString()};
    registry.GetInt(kServerKey, "CardLinkType", cardLinkType, 0);
    m_bCardLinkType4 = cardLinkType == kConvertingCardLinkType;
}

CAutomationEventArray::~CAutomationEventArray() = default;

void CAutomationEventArray::reserveOneMore()
{
    const INT_PTR n = GetSize();
    if (n < GetAllocSize()) return;
    // Room for half as many again: appends stay amortised constant however large the array
    // (the class library's step of at most 1024 elements would copy a large array each time).
    Reserve(n + std::max<INT_PTR>(WinportArrayGrowBy(n, 0), n / 2));
}

int CAutomationEventArray::AddAtTime(const CAutomationEvent& ev)
{
    const INT_PTR n = GetSize();
    if (n > 0 && ev.m_Time == 0 && GetData()[n - 1].m_Time > 0) {
        // The state at time 0 holds one event per control: a second one replaces the first.
        CAutomationEvent* data = GetData();
        auto byTime = [](const CAutomationEvent& e, int32_t t) { return e.m_Time < t; };
        for (CAutomationEvent* e = std::lower_bound(data, data + n, 0, byTime); e != data + n && e->m_Time == 0; ++e) {
            if (e->IsSameControl(ev)) {
                *e = ev;
                return static_cast<int>(e - data);
            }
        }
    }
    const CAutomationEvent copy = ev;  // ev may be an element of this array
    reserveOneMore();
    CAutomationEvent* data = GetData();
    if (n == 0 || copy.m_Time >= data[n - 1].m_Time) return static_cast<int>(Add(copy));
    const CAutomationEvent* after = std::upper_bound(data, data + n, copy.m_Time,
                                                     [](int32_t t, const CAutomationEvent& e) { return t < e.m_Time; });
    const INT_PTR index = after - data;
    InsertAt(index, copy);
    return static_cast<int>(index);
}

int CAutomationEventArray::GetAtTime(long time, int after) const
{
    if (time == -1) return 0;
    const INT_PTR n = GetSize();
    if (n == 0) return -1;
    const CAutomationEvent* data = GetData();
    const CAutomationEvent* end = data + n;
    const CAutomationEvent* found;
    if (after == 0) {
        found = std::lower_bound(data, end, time, [](const CAutomationEvent& e, long t) { return e.m_Time < t; });
    } else {
        found = std::upper_bound(data, end, time, [](long t, const CAutomationEvent& e) { return t < e.m_Time; });
    }
    // Never past the end: the last index stands for "everything is earlier".
    return static_cast<int>(found == end ? n - 1 : found - data);
}

// Scratch space is at most 64 MB up to 16M events (a larger array is sorted in up to four
// pieces, then merged), so that the array can keep it for the next sort; beyond 16M events it
// is as large as the array, for that sort only.
void CAutomationEventArray::Sort(SortMode mode)
{
    if (m_hStatusWnd) PostAutomationNotification(kSortNotification, 0);
    sortEvents(GetData(), GetData() + GetSize(), mode, m_sortScratch);
    // Scratch space is kept for the next sort only up to 64 MB (4 million events), so that a
    // large sorted array never holds twice its memory.
    if (m_sortScratch.Bytes() > kKeptSortScratchBytes) m_sortScratch.Release();
}

/// For tests (which declare it themselves): the most events Sort sorts digit by digit before
/// it splits them by their most significant digit first (0: the usual 65,536). Set it while
/// no sort runs.
void SetEventSortCachedEventsForTesting(size_t events)
{
    g_cachedSortEvents = events > 0 ? events : kCachedSortEvents;
}

/// For tests (which declare it themselves): the most events Sort sorts at once before it
/// merges (0: the usual 4M events, 64 MB of scratch space). Set it while no sort runs.
void SetEventSortPieceEventsForTesting(size_t events)
{
    g_sortPieceEvents = events > 0 ? events : kSortPieceEvents;
}

void CAutomationEventArray::FreeExtra()
{
    CArray::FreeExtra();
    m_sortScratch.Release();
}

void CAutomationEventArray::RemoveAll()
{
    CArray::RemoveAll();
    m_sortScratch.Release();
}

std::byte* CEventSortScratch::Reserve(size_t bytes)
{
    if (bytes <= m_mapped) {
        m_bytes = std::max(m_bytes, bytes);
        return static_cast<std::byte*>(m_block);
    }
    Release();
    // Fresh pages, on large pages for a large block, all provided at once: the first pass
    // writes every one of them.
    m_block = winport::ReservePages(bytes, m_mapped);
    m_bytes = bytes;
    return static_cast<std::byte*>(m_block);
}

void CEventSortScratch::Release()
{
    winport::FreeReservedPages(m_block, m_mapped);
    m_block = nullptr;
    m_mapped = 0;
    m_bytes = 0;
}

namespace {

// The start of a query's time window; settles an end time of -1 in the caller's filter.
// False when no event lies at or after the start time.
bool windowStart(const CAutomationEventArray& events, CEventFilter& filter, INT_PTR& start)
{
    const INT_PTR n = events.GetSize();
    if (n == 0) return false;
    start = events.GetAtTime(filter.m_nStartTime, 0);
    if (filter.m_nEndTime == -1) filter.m_nEndTime = events[n - 1].m_Time;
    return filter.m_nStartTime == -1 || events[start].m_Time >= filter.m_nStartTime;
}

// Calls take(i) for each index of the window whose event passes the filter.
template <class Take>
void walkWindow(const CAutomationEventArray& events, CEventFilter& filter, Take take)
{
    INT_PTR start = 0;
    if (!windowStart(events, filter, start)) return;
    const EventFilterMatch match(filter);
    const CAutomationEvent* data = events.GetData();
    const INT_PTR n = events.GetSize();
    const long end = filter.m_nEndTime;
    for (INT_PTR i = start; i < n && data[i].m_Time <= end; ++i) {
        if (match.Passes(data[i])) take(i);
    }
}

}  // namespace

unsigned int CAutomationEventArray::GetFilteredTotal(CEventFilter& filter, CArray<int, int>* indices) const
{
    if (!indices) {
        unsigned int count = 0;
        walkWindow(*this, filter, [&](INT_PTR) { ++count; });
        return count;
    }
    std::vector<int> found;
    walkWindow(*this, filter, [&](INT_PTR i) { found.push_back(static_cast<int>(i)); });
    indices->SetSize(static_cast<INT_PTR>(found.size()));
    std::copy(found.begin(), found.end(), indices->GetData());
    return static_cast<unsigned int>(found.size());
}

int CAutomationEventArray::GetAllFilteredEvents(CEventFilter& filter, CAutomationEventArray& out) const
{
    std::vector<CAutomationEvent> found;
    walkWindow(*this, filter, [&](INT_PTR i) { found.push_back(GetData()[i]); });
    assignEvents(out, found);
    return static_cast<int>(found.size());
}

int CAutomationEventArray::GetFilteredEvents(CEventFilter& filter, int maxCount, int& first, int& next,
                                             CAutomationEventArray& out, int forward) const
{
    out.RemoveAll();
    const INT_PTR n = GetSize();
    if (n == 0) return 0;
    INT_PTR start = next;
    if (next < 1) {
        // From the start time. When every event is earlier, a forward page is empty; a backward
        // page walks from the last event.
        if (!windowStart(*this, filter, start) && forward) return 0;
    } else if (filter.m_nEndTime == -1) {
        filter.m_nEndTime = GetData()[n - 1].m_Time;
    }
    if (start >= n) return 0;

    const EventFilterMatch match(filter);
    const CAutomationEvent* data = GetData();
    const long end = filter.m_nEndTime;
    const INT_PTR step = forward ? 1 : -1;
    std::vector<CAutomationEvent> page;
    page.reserve(static_cast<size_t>(std::clamp<INT_PTR>(maxCount, 0, 4096)));
    INT_PTR firstTaken = -1;
    INT_PTR i = start;
    for (; i >= 0 && i < n && static_cast<INT_PTR>(page.size()) < maxCount; i += step) {
        if (forward && data[i].m_Time > end) break;
        if (!match.Passes(data[i])) continue;
        if (firstTaken < 0) firstTaken = i;
        page.push_back(data[i]);
    }
    next = static_cast<int>(i);
    if (forward) {
        if (firstTaken >= 0) first = static_cast<int>(firstTaken);
    } else {
        first = static_cast<int>(i);
        if (firstTaken >= 0) next = static_cast<int>(firstTaken);
        // Taken from the highest index down: back into array order, then into time order.
        std::reverse(page.begin(), page.end());
        CEventSortScratch scratch;
        sortEvents(page.data(), page.data() + page.size(), SortByTime, scratch);
    }
    assignEvents(out, page);
    return static_cast<int>(page.size());
}

int CAutomationEventArray::GetFilteredEvents(CEventFilter& filter, int maxCount, int& next, CAutomationEventArray& out,
                                             int forward) const
{
    int first = 0;
    return GetFilteredEvents(filter, maxCount, first, next, out, forward);
}

void CAutomationEventArray::IsolateProgress(int index, int count)
{
    if (m_hStatusWnd) PostProgress(kIsolateNotification, index, count);
}

void CAutomationEventArray::EraseProgress(int index, int count)
{
    if (m_hStatusWnd) PostProgress(kEraseNotification, index, count);
}

void CAutomationEventArray::DebugMe() const
{
    for (INT_PTR i = 0; i < GetSize(); ++i) GetAt(i).DebugMe();
}

int CAutomationEventArray::FetchRecords(int count, int firstIndex, void* out) const
{
    if (count < 1) return count;
    const INT_PTR n = GetSize();
    if (!out || firstIndex < 0 || firstIndex >= n) return 0;
    const int written = static_cast<int>(std::min<INT_PTR>(count, n - firstIndex));
    const CAutomationEvent* e = GetData() + firstIndex;
    BYTE* r = static_cast<BYTE*>(out);
    // Each record is put together in registers (little-endian words) and stored whole.
    if (m_nRecordSize == 12) {
        for (int k = 0; k < written; ++k, ++e, r += 12) {
            const uint64_t head = static_cast<uint32_t>(e->m_Time) | uint64_t{static_cast<BYTE>(e->m_Path)} << 40 |
                                  uint64_t{e->GetProcessNumber()} << 48 | uint64_t{e->GetControlNumber()} << 56;
            const uint32_t tail = e->m_OldValue | uint32_t{static_cast<uint16_t>(e->GetValue())} << 16;
            std::memcpy(r, &head, 8);
            std::memcpy(r + 8, &tail, 4);
        }
        return written;
    }
    for (int k = 0; k < written; ++k, ++e, r += 16) {
        const uint64_t head = static_cast<uint32_t>(e->m_Time) | uint64_t{static_cast<uint16_t>(e->m_Path)} << 32 |
                              uint64_t{e->GetProcessNumber()} << 56;
        const uint64_t tail = e->GetControlNumber() | uint64_t{e->m_OldValue} << 16 |
                              uint64_t{static_cast<uint16_t>(e->GetValue())} << 32;
        std::memcpy(r, &head, 8);
        std::memcpy(r + 8, &tail, 8);
        if (m_bCardLinkType4) {
            ConvertRecordLayout(r, kTimeFirstLayout, kEventLayout, 16);
            r[13] = 0;  // the event layout's reserved byte (the conversion leaves the value's high byte there)
        }
    }
    return written;
}

int CAutomationEventArray::GetBlockCount(int blockBytes) const
{
    const int64_t perBlock = m_nRecordSize > 0 ? blockBytes / m_nRecordSize : 0;
    if (perBlock < 1) return 0;
    return static_cast<int>((static_cast<int64_t>(GetSize()) + perBlock - 1) / perBlock);
}

void CAutomationEventArray::Serialize(CArchive& ar)
{
    CArray::Serialize(ar);
    if (ar.IsLoading()) {
        CAutomationEvent* e = GetData();
        for (INT_PTR i = 0; i < GetSize(); ++i) e[i].ClearReserved();
    }
}
