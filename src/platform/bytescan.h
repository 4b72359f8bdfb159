#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define VELK_HAVE_SSE2 1
#endif

// Byte searches for the item reader's hot loops: sixteen bytes at a time where
// SSE2 exists (every x86-64), eight at a time elsewhere. Short items (most log
// items are 20 to 40 bytes) make a libc call per search cost more than the search.
namespace Platform::ByteScan {

inline int lowestBit(std::uint64_t mask);

inline std::uint64_t zeroBytes(std::uint64_t v)
{
    return (v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull;
}

// First byte in [p, end) equal to a, b or c; `end` when there is none.
inline const char *findAny3(const char *p, const char *end, char a, char b, char c)
{
#ifdef VELK_HAVE_SSE2
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), vc = _mm_set1_epi8(c);
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)),
                                         _mm_cmpeq_epi8(v, vc));
        const int mask = _mm_movemask_epi8(hit);
        if (mask)
            return p + lowestBit(static_cast<unsigned>(mask));
        p += 16;
    }
#else
    const std::uint64_t ones = 0x0101010101010101ull;
    while (end - p >= 8) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        if (zeroBytes(v ^ (ones * static_cast<unsigned char>(a))) | zeroBytes(v ^ (ones * static_cast<unsigned char>(b))) |
            zeroBytes(v ^ (ones * static_cast<unsigned char>(c))))
            break;
        p += 8;
    }
#endif
    while (p < end && *p != a && *p != b && *p != c)
        ++p;
    return p;
}

// First byte in [p, end) equal to a; `end` when there is none.
inline const char *find(const char *p, const char *end, char a)
{
#ifdef VELK_HAVE_SSE2
    const __m128i va = _mm_set1_epi8(a);
    while (end - p >= 16) {
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), va));
        if (mask)
            return p + lowestBit(static_cast<unsigned>(mask));
        p += 16;
    }
#endif
    while (p < end && *p != a)
        ++p;
    return p;
}

// The same searches for buffers that stay readable for kPadding bytes past
// `end` (the item reader pads its buffers so): whole 16-byte loads, hits past
// `end` masked off, no byte-by-byte tail. Most items are shorter than 48 bytes,
// so the tail loop would otherwise be the larger part of the work.
inline constexpr std::size_t kPadding = 16;

inline const char *findPadded(const char *p, const char *end, char a)
{
#ifdef VELK_HAVE_SSE2
    const __m128i va = _mm_set1_epi8(a);
    for (; p < end; p += 16) {
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), va));
        if (mask) {
            const char *hit = p + lowestBit(static_cast<unsigned>(mask));
            return hit < end ? hit : end;
        }
    }
    return end;
#else
    return find(p, end, a);
#endif
}

inline const char *findAny3Padded(const char *p, const char *end, char a, char b, char c)
{
#ifdef VELK_HAVE_SSE2
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), vc = _mm_set1_epi8(c);
    for (; p < end; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const int mask = _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)),
                                                        _mm_cmpeq_epi8(v, vc)));
        if (mask) {
            const char *hit = p + lowestBit(static_cast<unsigned>(mask));
            return hit < end ? hit : end;
        }
    }
    return end;
#else
    return findAny3(p, end, a, b, c);
#endif
}

// Bit i set when byte i of the 64 at `p` is a, b or c. Needs 64 readable bytes.
inline std::uint64_t mask64(const char *p, char a, char b, char c)
{
#ifdef VELK_HAVE_SSE2
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), vc = _mm_set1_epi8(c);
    std::uint64_t mask = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * k));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)),
                                         _mm_cmpeq_epi8(v, vc));
        mask |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hit))) << (16 * k);
    }
    return mask;
#else
    std::uint64_t mask = 0;
    for (int i = 0; i < 64; ++i)
        mask |= static_cast<std::uint64_t>(p[i] == a || p[i] == b || p[i] == c) << i;
    return mask;
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

} // namespace Platform::ByteScan
