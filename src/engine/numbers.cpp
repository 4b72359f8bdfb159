#include "engine/numbers.h"

#include <charconv>
#include <cstdint>
#include <cfloat>
#include <cmath>

namespace Module1 {

namespace {

inline bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

double leadingNumber(std::string_view text)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // One pass over the digits collects the mantissa for the fast path below.
    const std::size_t start = i;
    std::uint64_t mantissa = 0;
    int significant = 0;
    int fraction = 0;
    bool digits = false;
    while (i < n && isDigit(text[i])) {
        mantissa = mantissa * 10 + static_cast<unsigned>(text[i] - '0');
        significant += significant > 0 || text[i] != '0';
        ++i;
        digits = true;
    }
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && isDigit(text[i])) {
            mantissa = mantissa * 10 + static_cast<unsigned>(text[i] - '0');
            significant += significant > 0 || text[i] != '0';
            ++fraction;
            ++i;
            digits = true;
        }
    }
    if (!digits)
        return 0.0;
    std::size_t end = i;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j]))
                ++j;
            end = j;
        }
    }

    // The usual "130.9747": at most 15 significant digits and no exponent make
    // an integer mantissa and a power of ten that are both exact doubles, so one
    // division gives the correctly rounded value, the same as from_chars.
    if (end == i && significant <= 15 && fraction <= 15) {
        static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                             1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double v = static_cast<double>(mantissa) / kPowers[fraction];
        return negative ? -v : v;
    }

    double value = 0.0;
    const auto result = std::from_chars(text.data() + start, text.data() + end, value,
                                        std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on range errors: decide by the
        // exponent's sign whether it was too large or too small.
        const std::string_view num = text.substr(start, end - start);
        const auto e = num.find_first_of("eE");
        const bool tiny = e != std::string_view::npos && e + 1 < num.size() && num[e + 1] == '-';
        value = tiny ? 0.0 : DBL_MAX;
    }
    return negative ? -value : value;
}

double leadingNumber(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return leadingNumber(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

double roundHalfEven(double value)
{
    if (std::isnan(value))
        return 0.0;
    if (value > 1e15)
        return 1e15;
    if (value < -1e15)
        return -1e15;
    // The default floating-point rounding mode rounds halves to even.
    return std::nearbyint(value);
}

std::string numberText(double value)
{
    // to_chars rather than snprintf: the C library's "%g" follows the process
    // locale, and Qt sets that from the environment, so a German desktop would
    // write "12,3" into the KML file.
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, finite(value),
                                      std::chars_format::general, 15);
    return std::string(buffer, result.ptr);
}

double finite(double value)
{
    if (std::isnan(value))
        return 0.0;
    if (value > DBL_MAX)
        return DBL_MAX;
    if (value < -DBL_MAX)
        return -DBL_MAX;
    return value;
}

bool holdsNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n'))
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    if (i < text.size() && text[i] == '.')
        ++i;
    return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

} // namespace Module1
