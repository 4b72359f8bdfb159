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

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4), clamped
// to +/-1e15 so that any result converts to an integer safely.
double roundHalfEven(double value);

// Decimal text with "." and at most 15 significant digits, no trailing zeros or
// point: what C's "%.15g" gives (124, 125.5, 1e+20).
std::string numberText(double value);

// Clamps a product that overflowed back into the finite range.
double finite(double value);

} // namespace Module1
