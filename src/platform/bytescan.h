#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VELK_HAVE_SSE2 1
#endif

// Byte searches for the item reader's hot loops: sixteen bytes at a time where
// SSE2 exists (every x86-64), one at a time elsewhere. Short items (most log
// items are 20 to 40 bytes) make a libc call per search cost more than the search.
namespace Platform::ByteScan {

inline int lowestBit(std::uint64_t mask)
{
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_ctzll(mask);
#else
    int i = 0;
    while (!(mask & 1)) {
        mask >>= 1;
        ++i;
    }
    return i;
#endif
}

// Bit i set when byte i of the 16 at `p` is a. Needs 16 readable bytes.
inline unsigned mask16(const char *p, char a)
{
#ifdef VELK_HAVE_SSE2
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), _mm_set1_epi8(a))));
#else
    unsigned mask = 0;
    for (int i = 0; i < 16; ++i)
        mask |= static_cast<unsigned>(p[i] == a) << i;
    return mask;
#endif
}

// Bit i set when byte i of the 16 * Blocks at `p` is a (Blocks 1 to 4). Needs
// that many readable bytes.
template<int Blocks>
inline std::uint64_t maskBlocks(const char *p, char a)
{
    static_assert(Blocks >= 1 && Blocks <= 4);
    std::uint64_t mask = 0;
#ifdef VELK_HAVE_SSE2
    const __m128i va = _mm_set1_epi8(a);
    for (int k = 0; k < Blocks; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
        mask |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, va)))) << (16 * k);
    }
#else
    for (int i = 0; i < 16 * Blocks; ++i)
        mask |= static_cast<std::uint64_t>(p[i] == a) << i;
#endif
    return mask;
}

// Bit i set when byte i of the 64 at `p` is a. Needs 64 readable bytes.
inline std::uint64_t mask64(const char *p, char a)
{
    return maskBlocks<4>(p, a);
}

// Bit i set when byte i of the `length` (at most 16) at `p` is not ASCII. Needs
// 16 readable bytes.
inline unsigned highBits16(const char *p, std::size_t length)
{
#ifdef VELK_HAVE_SSE2
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p))));
#else
    unsigned mask = 0;
    for (int i = 0; i < 16; ++i)
        mask |= static_cast<unsigned>(static_cast<unsigned char>(p[i]) >> 7) << i;
#endif
    return mask & ((1u << length) - 1);
}

// Where the items of `length` bytes at `p` end: comma, LF and CR each end an
// item, except an LF right after a CR, so that CR LF ends a line once. The
// byte before `p` must be readable: a CR there makes an LF at `p` end nothing.
// Writes base + offset of each end to `ends` and returns their number; `ends`
// must have room for length + kEndsSlack entries (the writes run a few
// entries ahead), and `p` must stay readable up to the next multiple of 64
// bytes past `length`.
inline constexpr std::size_t kEndsSlack = 8;
std::size_t itemEnds(const char *p, std::size_t length, std::uint32_t base, std::uint32_t *ends);

// The same with AVX2 when the processor has it (chosen once, at start-up),
// with SSE2 otherwise. Tests and benchmarks switch to the baseline to compare
// the two; VELKAIS_BASELINE_SCAN=1 in the environment does so from the start.
bool wideScanAvailable();
bool wideScanUsed();
void useWideScan(bool on);

namespace detail {

// Appends base + the index of every set bit of `mask` to `out`. Four entries
// are written whatever the count: most 64-byte blocks of a log end one to
// three items, and a loop as long as the count would mispredict its exit
// about once a block. The highest bit keeps the bit scan of an empty mask
// defined; what it writes lies past the count and is overwritten.
inline std::uint32_t *appendBits(std::uint32_t *out, std::uint64_t mask, std::uint32_t base)
{
    constexpr std::uint64_t top = std::uint64_t(1) << 63;
    std::uint32_t *const start = out;
    for (int i = 0; i < 4; ++i) {
        start[i] = base + static_cast<std::uint32_t>(lowestBit(mask | top));
        out += mask != 0;
        mask &= mask - 1;
    }
    while (mask) {
        *out++ = base + static_cast<std::uint32_t>(lowestBit(mask));
        mask &= mask - 1;
    }
    return out;
}

std::size_t itemEndsBaseline(const char *p, std::size_t length, std::uint32_t base, std::uint32_t *ends);
std::size_t itemEndsAvx2(const char *p, std::size_t length, std::uint32_t base, std::uint32_t *ends);

} // namespace detail

} // namespace Platform::ByteScan
