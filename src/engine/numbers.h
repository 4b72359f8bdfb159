#pragma once

#include <QString>

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace Module1 {

// The one way text becomes a number: blanks, tabs and line feeds are skipped,
// then an optional sign, digits with at most one "." (never a comma, whatever the
// locale) and an optional exponent are taken as far as they go. A text without a
// leading number gives 0.
// The result is always finite: a number too large for a double (1e400) gives
// +/-DBL_MAX and one too small gives 0, so no NaN or infinity ever reaches an
// area comparison, a drawing coordinate or the KML text. Ordinary values are
// exactly what strtod gives.
double leadingNumber(std::string_view text);
double leadingNumber(const QString &text);
// Whether that rule finds a number in the text at all, rather than giving 0
// for none: after blanks and a sign, a digit, or a point followed by a digit.
bool holdsNumber(std::string_view text);

namespace detail {

// The receiver's usual positions, "33.9119" or "131.1436": four to eight
// bytes of digits with at most one dot. They are read as one word, the dot
// taken out and the digits combined in three multiplications, with none of
// the loop's branches, whose exit is mispredicted for nearly every number;
// the day index parses both numbers of every record with this. False for any
// other text.
// The number of eight digit values (0 to 9), the first in the lowest byte.
inline std::uint64_t eightDigits(std::uint64_t v)
{
    v = v * 10 + (v >> 8);
    v = ((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32)) +
         ((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32))) >>
        32;
    return std::uint32_t(v);
}

inline bool shortDecimal(const char *p, std::size_t n, std::uint64_t &mantissa, long &fraction)
{
    if constexpr (std::endian::native != std::endian::little)
        return false;
    if (n < 4 || n > 8)
        return false;
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    const auto below = [](std::size_t bytes) { return bytes >= 8 ? ~0ull : (1ull << (8 * bytes)) - 1; };
    // Two overlapping four-byte loads: the bytes they share are the same.
    std::uint32_t head, tail;
    std::memcpy(&head, p, 4);
    std::memcpy(&tail, p + n - 4, 4);
    const std::uint64_t word = head | (std::uint64_t(tail) << (8 * (n - 4)));
    // The first dot (a borrow can only mark bytes above it); a second one
    // fails the digit test below.
    const std::uint64_t x = word ^ (kOnes * '.');
    const std::uint64_t dots = (x - kOnes) & ~x & (kOnes * 0x80) & below(n);
    std::uint64_t digits = word;
    std::size_t count = n;
    fraction = 0;
    if (dots) {
        const std::size_t dot = std::size_t(std::countr_zero(dots)) / 8;
        digits = (word & below(dot)) | ((word >> 8) & ~below(dot));
        count = n - 1;
        fraction = long(n - 1 - dot);
    }
    // Unused bytes as '0', so that every byte must be a digit.
    digits = (digits & below(count)) | (~below(count) & (kOnes * '0'));
    constexpr std::uint64_t kHigh = kOnes * 0xF0;
    if ((digits & kHigh) != kOnes * 0x30 || ((digits + kOnes * 6) & kHigh) != kOnes * 0x30)
        return false;
    // The first digit is the lowest byte: zeros go in front.
    mantissa = eightDigits((digits - kOnes * '0') << (8 * (8 - count)));
    return true;
}

// The receiver's own shape of a position, one to three digits, a dot and four
// decimals ("131.0757", "33.9268"), in fewer steps than shortDecimal: two
// loads make the eight digits with zeros in front of the whole part. The
// mantissa is shortDecimal's; the fraction is 4.
inline bool fourDecimals(const char *p, std::size_t n, std::uint64_t &mantissa)
{
    if constexpr (std::endian::native != std::endian::little)
        return false;
    if (n - 6 > 2 || p[n - 5] != '.')
        return false;
    std::uint32_t head, decimals;
    std::memcpy(&head, p, 4);
    std::memcpy(&decimals, p + n - 4, 4);
    // The whole part's digits last in a word of four, '0' before them: the
    // dot and what follows it are shifted out.
    const unsigned shift = 8 * unsigned(9 - n);
    const std::uint32_t whole = head << shift | 0x30303030u >> (32 - shift);
    const std::uint64_t digits = whole | std::uint64_t(decimals) << 32;
    constexpr std::uint64_t kOnes = 0x0101010101010101ull, kHigh = kOnes * 0xF0;
    if ((digits & kHigh) != kOnes * 0x30 || ((digits + kOnes * 6) & kHigh) != kOnes * 0x30)
        return false;
    mantissa = eightDigits(digits - kOnes * '0');
    return true;
}


// "digits[.digits]" from `p` on, as one integer of all its digits, with how
// many stand before the point and after it; `p` stops at the first character
// that is not part of it.
inline std::uint64_t decimalDigits(const char *&p, const char *end, long &wholeDigits, long &fraction)
{
    std::uint64_t mantissa = 0;
    const char *const whole = p;
    while (p < end && static_cast<unsigned>(*p - '0') < 10)
        mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
    wholeDigits = p - whole;
    fraction = 0;
    if (p < end && *p == '.') {
        const char *const part = ++p;
        while (p < end && static_cast<unsigned>(*p - '0') < 10)
            mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
        fraction = p - part;
    }
    return mantissa;
}
} // namespace detail

// leadingNumber for a text that is nothing but "[-]digits[.digits]" with at
// most 15 digits, as the receiver writes positions, at a fraction of its cost;
// any other text goes to leadingNumber. The result is the same either way:
// with so few digits both divide the same exact mantissa by the same power.
inline double positionNumber(std::string_view text)
{
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char *p = text.data();
    const char *const end = p + text.size();
    const bool negative = p < end && *p == '-';
    p += negative;
    {
        std::uint64_t mantissa;
        long fraction;
        if (detail::fourDecimals(p, std::size_t(end - p), mantissa)) {
            const double v = static_cast<double>(mantissa) / kPowers[4];
            return negative ? -v : v;
        }
        if (detail::shortDecimal(p, std::size_t(end - p), mantissa, fraction)) {
            const double v = static_cast<double>(mantissa) / kPowers[fraction];
            return negative ? -v : v;
        }
    }
    long wholeDigits = 0, fraction = 0;
    const std::uint64_t mantissa = detail::decimalDigits(p, end, wholeDigits, fraction);
    if (p != end || wholeDigits + fraction == 0 || wholeDigits + fraction > 15)
        return leadingNumber(text);
    const double v = static_cast<double>(mantissa) / kPowers[fraction];
    return negative ? -v : v;
}

// leadingNumber for a text that starts with "digits[.digits]", at most 15
// digits, followed by nothing or by anything but an exponent ("12.5 [knots]"),
// at a fraction of its cost; any other text goes to leadingNumber. The result
// is the same either way, as with positionNumber.
inline double leadingDecimal(std::string_view text)
{
    static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char *p = text.data();
    const char *const end = p + text.size();
    long wholeDigits = 0, fraction = 0;
    const std::uint64_t mantissa = detail::decimalDigits(p, end, wholeDigits, fraction);
    if (wholeDigits == 0 || wholeDigits + fraction > 15 || (p < end && (*p == 'e' || *p == 'E')))
        return leadingNumber(text);
    return static_cast<double>(mantissa) / kPowers[fraction];
}

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4), clamped
// to +/-1e15 so that any result converts to an integer safely.
double roundHalfEven(double value);

// Decimal text with "." and at most 15 significant digits, no trailing zeros or
// point: what C's "%.15g" gives (124, 125.5, 1e+20).
std::string numberText(double value);

// Clamps a product that overflowed back into the finite range.
double finite(double value);

} // namespace Module1
