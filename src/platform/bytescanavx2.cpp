// The item ends 32 bytes at a time. Compiled for the baseline like the rest:
// only these functions are built for AVX2, and bytescan.cpp calls them only on
// processors that have it.
#include "platform/bytescan.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#include <immintrin.h>

namespace Platform::ByteScan::detail {

namespace {

// The end bits of the 32 bytes at `p`: the bytes and, one to the left, the
// bytes before them, so that an LF after a CR is told without a bit carried
// from block to block. Few vectors live at once, so nothing 32 bytes wide is
// spilled to the stack: MinGW's gcc cannot align such a spill on Windows.
__attribute__((target("avx2,bmi,popcnt"))) inline std::uint32_t endBits32(const char *p)
{
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p - 1));
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i end = _mm256_or_si256(
        _mm256_or_si256(_mm256_cmpeq_epi8(v, _mm256_set1_epi8(',')), _mm256_cmpeq_epi8(v, cr)),
        _mm256_andnot_si256(_mm256_cmpeq_epi8(before, cr), _mm256_cmpeq_epi8(v, _mm256_set1_epi8('\n'))));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(end));
}

} // namespace

// gcc would gather the four stores below into one vector store, at the cost
// of as many instructions again to build the vector.
#if defined(__clang__)
#define VELK_SCALAR_STORES
#else
#define VELK_SCALAR_STORES optimize("no-tree-slp-vectorize")
#endif

__attribute__((target("avx2,bmi,popcnt"), VELK_SCALAR_STORES)) std::size_t itemEndsAvx2(const char *p,
                                                                                       std::size_t length,
                                                                                       std::uint32_t base,
                                                                                       std::uint32_t *ends)
{
    std::uint32_t *out = ends;
    // With a population count the entries need no per-bit count.
    const auto append = [&](std::uint64_t bits, std::uint32_t at) __attribute__((always_inline)) {
        const int count = __builtin_popcountll(bits);
        for (int i = 0; i < 4; ++i) {
            out[i] = at + static_cast<std::uint32_t>(_tzcnt_u64(bits));
            bits = _blsr_u64(bits);
        }
        for (int i = 4; i < count; ++i) {
            out[i] = at + static_cast<std::uint32_t>(_tzcnt_u64(bits));
            bits = _blsr_u64(bits);
        }
        out += count;
    };
    const auto bits64 = [](const char *block) __attribute__((always_inline)) {
        return endBits32(block) | static_cast<std::uint64_t>(endBits32(block + 32)) << 32;
    };
    // Whole blocks, then the part of one that ends the stretch.
    const std::size_t whole = length & ~std::size_t(63);
    for (std::size_t offset = 0; offset < whole; offset += 64)
        append(bits64(p + offset), base + static_cast<std::uint32_t>(offset));
    if (whole < length)
        append(bits64(p + whole) & ((std::uint64_t(1) << (length - whole)) - 1), base + static_cast<std::uint32_t>(whole));
    return static_cast<std::size_t>(out - ends);
}

} // namespace Platform::ByteScan::detail

#else

namespace Platform::ByteScan::detail {

std::size_t itemEndsAvx2(const char *p, std::size_t length, std::uint32_t base, std::uint32_t *ends)
{
    return itemEndsBaseline(p, length, base, ends);
}

} // namespace Platform::ByteScan::detail

#endif
