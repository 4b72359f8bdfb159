#pragma once

#include <QFile>
#include <QString>

#include <string_view>
#include <vector>

namespace Platform {

// Reads a text file as "delimited items": an item is the text of a line up to the
// next comma or line end. Comma, LF and CR all end an item, so CR LF yields one
// extra empty item; every consumer ignores empty items, which makes the three
// line-end conventions read alike. Items are raw bytes: no trimming, quotes are
// ordinary characters, no decoding.
class ItemReader
{
public:
    // An item longer than this keeps its first kMaxItem bytes; the rest up to the
    // next delimiter is skipped. A file without any line end (a receiver that
    // wrote garbage, a binary dropped into the folder) would otherwise need memory
    // as large as the file.
    static constexpr std::size_t kMaxItem = 64 * 1024;

    ItemReader() = default;
    ItemReader(const ItemReader &) = delete;
    ItemReader &operator=(const ItemReader &) = delete;

    // Opens the file; on failure returns false and errorString() tells why.
    bool open(const QString &path);
    void close();

    // Next item, valid until the next call. False at the end of the file or when
    // reading failed (then failed() is true). The memory after an item stays
    // readable for ByteScan::kPadding bytes, for the padded byte searches.
    bool next(std::string_view &item);

    bool failed() const { return m_failed; }
    QString errorString() const { return m_error; }
    qint64 bytesConsumed() const { return m_consumed; }

private:
    bool refill();

    QFile m_file;
    std::vector<char> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    bool m_atEnd = true;
    bool m_failed = false;
    QString m_error;
    std::vector<char> m_carry; // an item that spans two reads, plus padding
    std::size_t m_carryLength = 0;
    qint64 m_consumed = 0;
};

} // namespace Platform
