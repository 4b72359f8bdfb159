#include "coastlinefile.h"

#include <QSaveFile>
#include <QtEndian>

#include <cstring>

namespace Coast {

namespace {

void putVarint(QByteArray &out, quint32 v)
{
    while (v >= 0x80) {
        out.append(char(v | 0x80));
        v >>= 7;
    }
    out.append(char(v));
}

quint32 zigzag(int v)
{
    return (quint32(v) << 1) ^ quint32(v >> 31);
}

int unzigzag(quint32 v)
{
    return int(v >> 1) ^ -int(v & 1);
}

// Reads from a block that may be damaged: every read is bounded, and a failed
// one leaves the reader failed for good.
struct Reader {
    const uchar *p;
    const uchar *end;
    bool ok = true;

    quint32 varint()
    {
        quint32 v = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            if (p == end) {
                ok = false;
                return 0;
            }
            const uchar c = *p++;
            v |= quint32(c & 0x7f) << shift;
            if (!(c & 0x80))
                return v;
        }
        ok = false;
        return 0;
    }
    int byte()
    {
        if (p == end) {
            ok = false;
            return 0;
        }
        return *p++;
    }
};

template <typename T>
void put(QByteArray &out, T v)
{
    char buf[sizeof(T)];
    qToLittleEndian(v, buf);
    out.append(buf, sizeof(T));
}

template <typename T>
T get(const uchar *p)
{
    return qFromLittleEndian<T>(p);
}

} // namespace

quint16 packCornerLevels(const std::array<int, 4> &levels)
{
    quint16 packed = 0;
    for (int k = 0; k < 4; ++k)
        packed |= quint16((levels[k] & 7) << (9 - 3 * k));
    return packed;
}

std::array<int, 4> unpackCornerLevels(quint16 packed)
{
    std::array<int, 4> levels{};
    for (int k = 0; k < 4; ++k)
        levels[k] = (packed >> (9 - 3 * k)) & 7;
    return levels;
}

QByteArray encodeBin(const Bin &bin)
{
    if (bin.segments.empty())
        return {};
    QByteArray raw;
    putVarint(raw, quint32(bin.segments.size()));
    for (const Segment &s : bin.segments) {
        raw.append(char(s.level));
        raw.append(char((s.entry << 4) | s.exit));
        putVarint(raw, quint32(s.points.size()));
        Point prev;
        for (size_t i = 0; i < s.points.size(); ++i) {
            const Point p = s.points[i];
            if (i == 0) {
                putVarint(raw, p.x);
                putVarint(raw, p.y);
            } else {
                putVarint(raw, zigzag(int(p.x) - int(prev.x)));
                putVarint(raw, zigzag(int(p.y) - int(prev.y)));
            }
            prev = p;
        }
    }
    return qCompress(raw, 9);
}

bool decodeBin(QByteArrayView block, Bin &bin, qsizetype *decodedBytes)
{
    bin.segments.clear();
    if (decodedBytes)
        *decodedBytes = 0;
    if (block.isEmpty())
        return true;
    // qUncompress trusts the length prefix for its first allocation and grows
    // past it when the stream is longer: the prefix is bounded here, and the
    // block's size bounds what a lying one can inflate to (zlib's ratio is at
    // most about 1:1032).
    if (block.size() < 4 || block.size() > maxBlockBytes)
        return false;
    const quint32 declared = qFromBigEndian<quint32>(block.data());
    if (declared == 0 || declared > quint32(maxBinBytes))
        return false;
    const QByteArray raw = qUncompress(reinterpret_cast<const uchar *>(block.data()), block.size());
    if (decodedBytes)
        *decodedBytes = raw.size();
    if (raw.size() != qsizetype(declared))
        return false;
    Reader r{reinterpret_cast<const uchar *>(raw.constData()), reinterpret_cast<const uchar *>(raw.constData()) + raw.size()};
    const quint32 count = r.varint();
    // Every segment takes at least four bytes, which bounds a damaged count.
    if (!r.ok || count > quint32(raw.size()) / 4)
        return false;
    bin.segments.resize(count);
    quint32 points = 0;
    for (Segment &s : bin.segments) {
        s.level = r.byte();
        const int sides = r.byte();
        s.entry = sides >> 4;
        s.exit = sides & 15;
        const quint32 n = r.varint();
        if (!r.ok || s.level < 1 || s.level > 4 || s.entry > noSide || s.exit > noSide || n < 2
            || n > quint32(r.end - r.p) || n > maxBinPoints - points) {
            bin.segments.clear();
            return false;
        }
        points += n;
        s.points.resize(n);
        int x = 0, y = 0;
        for (quint32 i = 0; i < n; ++i) {
            const quint32 a = r.varint();
            const quint32 b = r.varint();
            x = i == 0 ? int(a) : x + unzigzag(a);
            y = i == 0 ? int(b) : y + unzigzag(b);
            if (!r.ok || x < 0 || x > maxDelta || y < 0 || y > maxDelta) {
                bin.segments.clear();
                return false;
            }
            s.points[i] = {quint16(x), quint16(y)};
        }
    }
    if (r.p != r.end) {
        bin.segments.clear();
        return false;
    }
    return true;
}

bool writeFile(const QString &path, const std::vector<Resolution> &resolutions, const QByteArray &gshhgVersion,
               QString *error)
{
    QByteArray header;
    header.append(magic, sizeof magic);
    put<quint32>(header, formatVersion);
    put<quint32>(header, quint32(resolutions.size()));
    put<quint64>(header, 0); // the file size, known at the end
    QByteArray version = gshhgVersion.left(15);
    version.append(QByteArray(16 - version.size(), '\0'));
    header.append(version);

    quint64 offset = headerSize + resolutionEntrySize * resolutions.size();
    QByteArray entries, tables, blocks;
    std::vector<std::vector<QByteArray>> encoded;
    for (const Resolution &r : resolutions) {
        auto &e = encoded.emplace_back();
        e.reserve(r.bins.size());
        for (const Bin &b : r.bins)
            e.push_back(encodeBin(b));
    }
    quint64 tableBytes = 0;
    for (const Resolution &r : resolutions)
        tableBytes += binRowSize * r.bins.size();
    quint64 blockOffset = offset + tableBytes;
    for (size_t k = 0; k < resolutions.size(); ++k) {
        const Resolution &r = resolutions[k];
        quint64 points = 0;
        for (const Bin &b : r.bins)
            for (const Segment &s : b.segments)
                points += s.points.size();
        entries.append(r.letter);
        entries.append(QByteArray(3, '\0'));
        put<quint32>(entries, quint32(r.binSizeMinutes));
        put<quint32>(entries, quint32(r.binsX));
        put<quint32>(entries, quint32(r.binsY));
        put<quint64>(entries, offset + tables.size());
        put<quint64>(entries, points);
        for (size_t i = 0; i < r.bins.size(); ++i) {
            const QByteArray &block = encoded[k][i];
            put<quint64>(tables, block.isEmpty() ? 0 : blockOffset + blocks.size());
            put<quint32>(tables, quint32(block.size()));
            put<quint16>(tables, packCornerLevels(r.bins[i].cornerLevels));
            put<quint16>(tables, quint16(std::min<size_t>(r.bins[i].segments.size(), 0xffff)));
            blocks.append(block);
        }
    }
    const quint64 total = blockOffset + blocks.size();
    qToLittleEndian<quint64>(total, header.data() + 16);

    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = out.errorString();
        return false;
    }
    out.write(header);
    out.write(entries);
    out.write(tables);
    out.write(blocks);
    if (!out.commit()) {
        *error = out.errorString();
        return false;
    }
    return true;
}

bool File::open(const QString &path)
{
    close();
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot read the coastline file %1: %2").arg(path, m_file.errorString());
        return false;
    }
    const qint64 size = m_file.size();
    auto fail = [&](const QString &why) {
        m_error = QStringLiteral("the coastline file %1 %2").arg(path, why);
        close();
        return false;
    };
    if (size < headerSize)
        return fail(QStringLiteral("is too short to be a coastline file (%1 bytes)").arg(size));
    // Mapped, so that only the pages of the bins drawn are ever read in.
    const uchar *data = m_file.map(0, size);
    if (!data)
        return fail(QStringLiteral("cannot be mapped: %1").arg(m_file.errorString()));
    m_data = data;
    m_size = quint64(size);
    if (std::memcmp(data, magic, sizeof magic) != 0)
        return fail(QStringLiteral("is not a coastline file of this program"));
    const quint32 version = get<quint32>(data + 8);
    if (version != formatVersion)
        return fail(QStringLiteral("has format version %1; this program reads version %2 (convert it again with "
                                   "velkais-coastline-convert)")
                        .arg(version)
                        .arg(formatVersion));
    const quint32 count = get<quint32>(data + 12);
    const quint64 declared = get<quint64>(data + 16);
    if (declared != m_size)
        return fail(QStringLiteral("is damaged or truncated: %1 bytes where its header says %2").arg(m_size).arg(declared));
    if (count == 0 || count > 5 || headerSize + resolutionEntrySize * quint64(count) > m_size)
        return fail(QStringLiteral("is damaged: %1 resolutions").arg(count));
    m_gshhgVersion = QString::fromLatin1(reinterpret_cast<const char *>(data + 24), 16).section(QChar(0), 0, 0);
    for (quint32 k = 0; k < count; ++k) {
        const uchar *e = data + headerSize + resolutionEntrySize * k;
        Level l;
        l.letter = char(e[0]);
        l.binSizeMinutes = int(get<quint32>(e + 4));
        l.binsX = int(get<quint32>(e + 8));
        l.binsY = int(get<quint32>(e + 12));
        l.tableOffset = get<quint64>(e + 16);
        l.pointCount = get<quint64>(e + 24);
        const bool shapeOk = l.binSizeMinutes > 0 && l.binSizeMinutes <= 60 * 180 && 21600 % l.binSizeMinutes == 0
                             && l.binsX == 21600 / l.binSizeMinutes && l.binsY == 10800 / l.binSizeMinutes;
        if (!shapeOk || l.tableOffset > m_size || quint64(l.binsX) * l.binsY * binRowSize > m_size - l.tableOffset)
            return fail(QStringLiteral("is damaged: the table of resolution '%1' does not fit").arg(QChar(l.letter)));
        m_levels.push_back(l);
    }
    m_error.clear();
    return true;
}

void File::close()
{
    if (m_data)
        m_file.unmap(const_cast<uchar *>(m_data));
    m_data = nullptr;
    m_size = 0;
    m_file.close();
    m_levels.clear();
}

quint32 File::blockSize(int level, int binIndex) const
{
    const Level &l = m_levels[level];
    return get<quint32>(m_data + l.tableOffset + quint64(binIndex) * binRowSize + 8);
}

bool File::readBin(int level, int binIndex, Bin &bin, qsizetype *decodedBytes)
{
    if (decodedBytes)
        *decodedBytes = 0;
    const Level &l = m_levels[level];
    const uchar *row = m_data + l.tableOffset + quint64(binIndex) * binRowSize;
    const quint64 offset = get<quint64>(row);
    const quint32 size = get<quint32>(row + 8);
    bin.cornerLevels = unpackCornerLevels(get<quint16>(row + 12));
    bin.segments.clear();
    if (size == 0)
        return true;
    if (offset > m_size || size > m_size - offset || !decodeBin({m_data + offset, qsizetype(size)}, bin, decodedBytes)) {
        m_error = QStringLiteral("the coastline file %1 is damaged (bin %2 of resolution '%3')")
                      .arg(m_file.fileName())
                      .arg(binIndex)
                      .arg(QChar(l.letter));
        return false;
    }
    return true;
}

} // namespace Coast
