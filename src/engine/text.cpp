#include "engine/text.h"

#include <cstdint>

namespace Module1 {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one.
std::size_t sequenceLength(std::string_view s, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    std::size_t len;
    std::uint32_t cp;
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + len > s.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
        return 0;
    return len;
}

} // namespace

void assignNonAscii(std::string &out, std::string_view bytes)
{
    out.clear();
    std::size_t i = 0;
    while (i < bytes.size()) {
        const std::size_t len = sequenceLength(bytes, i);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(bytes.data() + i, len);
            i += len;
        }
    }
}

std::size_t charLength(std::string_view s, std::size_t i)
{
    const std::size_t len = sequenceLength(s, i);
    return len == 0 ? 1 : len;
}

namespace {

// Index in UTF-16 units where the `count`-th character of `text` starts.
qsizetype unitOfChar(const QString &text, qsizetype count)
{
    qsizetype i = 0;
    while (i < text.size() && count > 0) {
        i += text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate() ? 2 : 1;
        --count;
    }
    return i;
}

} // namespace

QString leftChars(const QString &text, qsizetype count)
{
    return text.left(unitOfChar(text, count));
}

QString charsFrom(const QString &text, qsizetype index)
{
    return text.mid(unitOfChar(text, index));
}

std::string_view firstChars(std::string_view text, std::size_t count)
{
    std::size_t i = 0;
    while (i < text.size() && count > 0) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            ++i;
        --count;
    }
    return text.substr(0, i);
}

std::string_view lastChars(std::string_view text, std::size_t count)
{
    std::size_t i = text.size();
    while (i > 0 && count > 0) {
        --i;
        while (i > 0 && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80)
            --i;
        --count;
    }
    return text.substr(i);
}

} // namespace Module1
