#pragma once

#include <QString>

#include <cstdint>
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
    std::uint64_t mantissa = 0;
    const char *const whole = p;
    while (p < end && static_cast<unsigned>(*p - '0') < 10)
        mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
    const long wholeDigits = p - whole;
    long fraction = 0;
    if (p < end && *p == '.') {
        const char *const part = ++p;
        while (p < end && static_cast<unsigned>(*p - '0') < 10)
            mantissa = mantissa * 10 + static_cast<unsigned>(*p++ - '0');
        fraction = p - part;
    }
    if (p != end || wholeDigits + fraction == 0 || wholeDigits + fraction > 15)
        return leadingNumber(text);
    const double v = static_cast<double>(mantissa) / kPowers[fraction];
    return negative ? -v : v;
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
