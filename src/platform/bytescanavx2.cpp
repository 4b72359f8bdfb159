// The item ends 32 bytes at a time. Compiled for the baseline like the rest:
// only these functions are built for AVX2, and bytescan.cpp calls them only on
// processors that have it.
#include "platform/bytescan.h"

#if (defined(__GNUC__) || defined(__clang__)) && defined(__x86_64__)
#include <immintrin.h>

namespace Platform::ByteScan::detail {

namespace {

// Few vectors live at once, so nothing 32 bytes wide is spilled to the stack:
// MinGW's gcc cannot align such a spill on Windows.
__attribute__((target("avx2,bmi,popcnt"))) inline std::uint64_t bits64(const char *p, char c)
{
    const __m256i vc = _mm256_set1_epi8(c);
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(p + 32));
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(lo, vc)))) |
           static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hi, vc))))
               << 32;
}

} // namespace

__attribute__((target("avx2,bmi,popcnt"))) std::size_t itemEndsAvx2(const char *p, std::size_t length,
                                                                    std::uint32_t base, std::uint32_t *ends,
                                                                    bool &crBefore)
{
    std::uint32_t *out = ends;
    std::uint64_t crCarry = crBefore ? 1 : 0;
    for (std::size_t offset = 0; offset < length; offset += 64) {
        const char *block = p + offset;
        const std::uint64_t crBits = bits64(block, '\r');
        std::uint64_t bits = itemEndBits(bits64(block, ','), bits64(block, '\n'), crBits, crCarry);
        crCarry = crBits >> 63;
        if (length - offset < 64)
            bits &= (std::uint64_t(1) << (length - offset)) - 1;
        // With a population count the entries need no per-bit count.
        const int count = __builtin_popcountll(bits);
        const std::uint32_t at = base + static_cast<std::uint32_t>(offset);
        for (int i = 0; i < 4; ++i) {
            out[i] = at + static_cast<std::uint32_t>(_tzcnt_u64(bits));
            bits = _blsr_u64(bits);
        }
        for (int i = 4; i < count; ++i) {
            out[i] = at + static_cast<std::uint32_t>(_tzcnt_u64(bits));
            bits = _blsr_u64(bits);
        }
        out += count;
    }
    if (length > 0)
        crBefore = p[length - 1] == '\r';
    return static_cast<std::size_t>(out - ends);
}

} // namespace Platform::ByteScan::detail

#else

namespace Platform::ByteScan::detail {

std::size_t itemEndsAvx2(const char *p, std::size_t length, std::uint32_t base, std::uint32_t *ends, bool &crBefore)
{
    return itemEndsBaseline(p, length, base, ends, crBefore);
}

} // namespace Platform::ByteScan::detail

#endif
