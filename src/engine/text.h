#pragma once

#include <QString>

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace Module1 {

// Stores `bytes` from a log into `out` as valid UTF-8: ASCII (the norm) is
// copied as it is, and any byte sequence that is not UTF-8 becomes U+FFFD, so
// that comparing stored texts byte by byte is comparing them as characters.
void assignNonAscii(std::string &out, std::string_view bytes);

// Eight bytes at a time, the last eight overlapping the ones before: values
// are a few to a few dozen bytes, and a loop per byte would run as long.
inline bool isAscii(std::string_view s)
{
    const char *p = s.data();
    const std::size_t n = s.size();
    std::uint64_t acc = 0;
    if (n >= 8) {
        std::uint64_t w;
        for (std::size_t i = 0; i + 8 < n; i += 8) {
            std::memcpy(&w, p + i, 8);
            acc |= w;
        }
        std::memcpy(&w, p + n - 8, 8);
        acc |= w;
    } else if (n >= 4) {
        std::uint32_t a, b;
        std::memcpy(&a, p, 4);
        std::memcpy(&b, p + n - 4, 4);
        acc = a | b;
    } else {
        for (std::size_t i = 0; i < n; ++i)
            acc |= static_cast<unsigned char>(p[i]);
    }
    return (acc & 0x8080808080808080ull) == 0;
}

// Inline for the common all-ASCII value of a few bytes: no call, one copy.
inline void assignText(std::string &out, std::string_view bytes)
{
    if (isAscii(bytes)) {
        // clear + append reuses the capacity through the short append path;
        // assign goes through the general replace and costs twice as much.
        out.clear();
        out.append(bytes.data(), bytes.size());
    }
    else
        assignNonAscii(out, bytes);
}

// The first / last `count` characters (code points) of valid UTF-8 text; the
// whole text when it is shorter.
std::string_view firstChars(std::string_view text, std::size_t count);
std::string_view lastChars(std::string_view text, std::size_t count);

// Bytes taken by the character at s[i] of raw log bytes, as assignText decodes
// them: a valid UTF-8 sequence is one character, any other byte one U+FFFD.
std::size_t charLength(std::string_view s, std::size_t i);

// The same cuts on the windows' texts, counting characters, not UTF-16 units:
// a character outside the BMP is a surrogate pair there.
QString leftChars(const QString &text, qsizetype count);
QString charsFrom(const QString &text, qsizetype index);

inline QString toQString(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline std::string toStd(const QString &text)
{
    return text.toStdString();
}

} // namespace Module1
