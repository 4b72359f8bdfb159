#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>

#include <array>
#include <cstdint>
#include <vector>

// The project's coastline file: GSHHG's binned shorelines, converted at build
// time by velkais-coastline-convert, read by the map. QtCore only, so the
// converter and the map share one definition of the format.
//
// Little-endian throughout.
//   header   magic "VLKCOAST", u32 format version, u32 resolution count,
//            u64 file size, char[16] GSHHG version (NUL padded)
//   per resolution (32 bytes): u8 letter (c l i h f), 3 reserved bytes,
//            u32 bin size in minutes, u32 bins across 360 degrees,
//            u32 bins across 180 degrees, u64 offset of its bin table,
//            u64 number of points
//   bin table, one 16-byte row per bin, bins numbered row by row from the
//            north-west (as in GSHHG): u64 offset of the bin's block, u32 its
//            size (0 for a bin without segments), u16 corner levels, u16
//            segment count
//   blocks   qCompress'ed: varint segment count, then per segment u8 level,
//            u8 entry side << 4 | exit side, varint point count, the first
//            point as two varints and the others as zigzag varint deltas
// Points are 16-bit offsets from the bin's south-west corner, 65535 being a
// whole bin side, exactly as GSHHG stores them.
namespace Coast {

inline constexpr char magic[8] = {'V', 'L', 'K', 'C', 'O', 'A', 'S', 'T'};
inline constexpr quint32 formatVersion = 1;
inline constexpr int headerSize = 40;
inline constexpr int resolutionEntrySize = 32;
inline constexpr int binRowSize = 16;
inline constexpr int maxDelta = 65535;
// Side numbers, counter-clockwise from the south; noSide marks a segment that
// closes on itself inside the bin.
inline constexpr int noSide = 4;

struct Point {
    quint16 x = 0;
    quint16 y = 0;
    bool operator==(const Point &) const = default;
};

struct Segment {
    int level = 1; // 1 land, 2 lake, 3 island in a lake, 4 pond on such an island
    int entry = noSide;
    int exit = noSide;
    std::vector<Point> points;
    bool operator==(const Segment &) const = default;
};

struct Bin {
    // Levels of the corners, counter-clockwise from the south-west.
    std::array<int, 4> cornerLevels{};
    std::vector<Segment> segments;
    bool operator==(const Bin &) const = default;
};

// Corner levels packed three bits each, south-west in the top bits, as GSHHG
// packs them.
quint16 packCornerLevels(const std::array<int, 4> &levels);
std::array<int, 4> unpackCornerLevels(quint16 packed);

// Bounds on one bin, a few times the largest of GSHHG 2.3.7's full resolution
// (92.7 KB compressed, 146 KB decoded, 46,043 points): a damaged or crafted
// block that would hold more is refused as damaged, before it is decoded
// when its size or its length prefix says so.
inline constexpr qsizetype maxBlockBytes = 256 * 1024;
inline constexpr qsizetype maxBinBytes = 1024 * 1024;
inline constexpr quint32 maxBinPoints = 200'000;

QByteArray encodeBin(const Bin &bin);
// False when the block is damaged (the levels and corners are left alone).
// `decodedBytes`, when given, gets the bytes inflated, damaged or not.
bool decodeBin(QByteArrayView block, Bin &bin, qsizetype *decodedBytes = nullptr);

struct Resolution {
    char letter = 'c';
    int binSizeMinutes = 0;
    int binsX = 0;
    int binsY = 0;
    std::vector<Bin> bins;
};

// Writes a whole file; false with a message on a write error.
bool writeFile(const QString &path, const std::vector<Resolution> &resolutions, const QByteArray &gshhgVersion,
               QString *error);

// A coastline file mapped into memory: its header and tables are checked on
// open, a bin's block is read and decoded only when asked for.
class File
{
public:
    struct Level {
        char letter = 0;
        int binSizeMinutes = 0;
        int binsX = 0;
        int binsY = 0;
        quint64 tableOffset = 0;
        quint64 pointCount = 0;
    };

    bool open(const QString &path);
    void close();
    bool isOpen() const { return m_data != nullptr; }
    QString error() const { return m_error; }
    QString fileName() const { return m_file.fileName(); }
    QString gshhgVersion() const { return m_gshhgVersion; }
    const std::vector<Level> &levels() const { return m_levels; }

    // False with error() set when the block is damaged; an empty bin reads as
    // its corner levels alone.
    bool readBin(int level, int binIndex, Bin &bin, qsizetype *decodedBytes = nullptr);
    // The size of a bin's compressed block as its row gives it; 0 for a bin of corners alone.
    quint32 blockSize(int level, int binIndex) const;

private:
    QFile m_file;
    const uchar *m_data = nullptr;
    quint64 m_size = 0;
    std::vector<Level> m_levels;
    QString m_gshhgVersion;
    QString m_error;
};

} // namespace Coast
