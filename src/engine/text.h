#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace Module1 {

// Stores `bytes` from a log into `out` as valid UTF-8: ASCII (the norm) is
// copied as it is, and any byte sequence that is not UTF-8 becomes U+FFFD, so
// that comparing stored texts byte by byte is comparing them as characters.
void assignNonAscii(std::string &out, std::string_view bytes);

inline bool isAscii(std::string_view s)
{
    unsigned char acc = 0;
    for (const char c : s)
        acc |= static_cast<unsigned char>(c);
    return acc < 0x80;
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
