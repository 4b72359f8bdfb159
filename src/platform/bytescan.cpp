#include "platform/bytescan.h"

#include <atomic>
#include <cstdlib>

namespace Platform::ByteScan {

namespace detail {

std::size_t itemEndsBaseline(const char *p, std::size_t length, std::uint32_t base, std::uint32_t *ends)
{
    std::uint32_t *out = ends;
    for (std::size_t offset = 0; offset < length; offset += 64) {
        const char *block = p + offset;
        std::uint64_t bits = 0;
#ifdef VELK_HAVE_SSE2
        // The bytes and, one to the left, the bytes before them: an LF ends
        // an item unless a CR stands before it, which that second load tells
        // without carrying a bit from block to block.
        const __m128i comma = _mm_set1_epi8(','), lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
        for (int k = 0; k < 4; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * k));
            const __m128i before = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * k - 1));
            const __m128i end = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, cr)),
                                             _mm_andnot_si128(_mm_cmpeq_epi8(before, cr), _mm_cmpeq_epi8(v, lf)));
            bits |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(end))) << (16 * k);
        }
#else
        for (int i = 0; i < 64; ++i) {
            const char c = block[i];
            const bool end = c == ',' || c == '\r' || (c == '\n' && block[i - 1] != '\r');
            bits |= static_cast<std::uint64_t>(end) << i;
        }
#endif
        if (length - offset < 64)
            bits &= (std::uint64_t(1) << (length - offset)) - 1;
        out = appendBits(out, bits, base + static_cast<std::uint32_t>(offset));
    }
    return static_cast<std::size_t>(out - ends);
}

} // namespace detail

namespace {

using ItemEnds = std::size_t (*)(const char *, std::size_t, std::uint32_t, std::uint32_t *);

bool cpuHasAvx2()
{
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("popcnt");
#else
    return false;
#endif
}

bool avx2()
{
    static const bool has = cpuHasAvx2();
    return has;
}

// Read by every reading thread, switched only by tests and benchmarks; chosen
// on first use, so that no static initializer elsewhere finds it unset.
std::atomic<ItemEnds> g_itemEnds{nullptr};

ItemEnds chosenScan()
{
    ItemEnds scan = g_itemEnds.load(std::memory_order_relaxed);
    if (!scan) [[unlikely]] {
        const char *baseline = std::getenv("VELKAIS_BASELINE_SCAN");
        const bool wide = avx2() && !(baseline && *baseline && *baseline != '0');
        scan = wide ? detail::itemEndsAvx2 : detail::itemEndsBaseline;
        g_itemEnds.store(scan, std::memory_order_relaxed);
    }
    return scan;
}

} // namespace

std::size_t itemEnds(const char *p, std::size_t length, std::uint32_t base, std::uint32_t *ends)
{
    return chosenScan()(p, length, base, ends);
}

bool wideScanAvailable()
{
    return avx2();
}

bool wideScanUsed()
{
    return chosenScan() == detail::itemEndsAvx2;
}

void useWideScan(bool on)
{
    g_itemEnds.store(on && avx2() ? detail::itemEndsAvx2 : detail::itemEndsBaseline, std::memory_order_relaxed);
}

} // namespace Platform::ByteScan
