// velkais-coastline-convert: GSHHG's binned shoreline files (netCDF) to the
// map's own coastline file. Run at build time, so the program never needs
// libnetcdf.
//
//   velkais-coastline-convert OUT.bin IN_c.nc [IN_l.nc ...]
//
// The inputs are given from the crudest to the finest; each one's letter
// (c, l, i, h, f) is taken from its bin size.
#include "map_window/coastlinefile.h"

#include <QCoreApplication>
#include <QString>

#include <netcdf.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>

namespace {

// GSHHG keeps two Antarctic coasts: the ice front (flagged segments) and the
// grounding line (level 6). The map shows the ice front as land, as charts do.
constexpr int groundingLineLevel = 6;

struct NcFile {
    int id = -1;
    std::string path;

    explicit NcFile(const std::string &p) : path(p)
    {
        check(nc_open(p.c_str(), NC_NOWRITE, &id), "open");
    }
    ~NcFile()
    {
        if (id >= 0)
            nc_close(id);
    }
    NcFile(const NcFile &) = delete;
    NcFile &operator=(const NcFile &) = delete;

    void check(int status, const std::string &what) const
    {
        if (status != NC_NOERR)
            throw std::runtime_error(path + ": " + what + ": " + nc_strerror(status));
    }
    int var(const char *name) const
    {
        int v = -1;
        check(nc_inq_varid(id, name, &v), name);
        return v;
    }
    size_t length(const char *name) const
    {
        const int v = var(name);
        int dim = -1;
        check(nc_inq_vardimid(id, v, &dim), name);
        size_t n = 0;
        check(nc_inq_dimlen(id, dim, &n), name);
        return n;
    }
    int scalar(const char *name) const
    {
        int value = 0;
        const size_t start = 0;
        check(nc_get_var1_int(id, var(name), &start, &value), name);
        return value;
    }
    std::vector<int> ints(const char *name) const
    {
        std::vector<int> out(length(name));
        if (!out.empty())
            check(nc_get_var_int(id, var(name), out.data()), name);
        return out;
    }
    std::vector<short> shorts(const char *name) const
    {
        std::vector<short> out(length(name));
        if (!out.empty())
            check(nc_get_var_short(id, var(name), out.data()), name);
        return out;
    }
    std::vector<signed char> bytes(const char *name) const
    {
        std::vector<signed char> out(length(name));
        if (!out.empty())
            check(nc_get_var_schar(id, var(name), out.data()), name);
        return out;
    }
    bool has(const char *name) const
    {
        int v = -1;
        return nc_inq_varid(id, name, &v) == NC_NOERR;
    }
    std::string text(const char *attribute) const
    {
        size_t n = 0;
        if (nc_inq_attlen(id, NC_GLOBAL, attribute, &n) != NC_NOERR)
            return {};
        std::string s(n, '\0');
        check(nc_get_att_text(id, NC_GLOBAL, attribute, s.data()), attribute);
        return s.substr(0, s.find('\0'));
    }
};

char letterFor(int binSizeMinutes)
{
    static const std::map<int, char> letters{{1200, 'c'}, {600, 'l'}, {300, 'i'}, {120, 'h'}, {60, 'f'}};
    const auto it = letters.find(binSizeMinutes);
    return it == letters.end() ? '?' : it->second;
}

Coast::Resolution convert(const NcFile &nc, std::string *version)
{
    Coast::Resolution r;
    r.binSizeMinutes = nc.scalar("Bin_size_in_minutes");
    r.letter = letterFor(r.binSizeMinutes);
    r.binsX = nc.scalar("N_bins_in_360_longitude_range");
    r.binsY = nc.scalar("N_bins_in_180_degree_latitude_range");
    if (r.binSizeMinutes <= 0 || r.binsX * r.binSizeMinutes != 21600 || r.binsY * r.binSizeMinutes != 10800)
        throw std::runtime_error(nc.path + ": the bins do not tile the globe");
    *version = nc.text("version");

    const std::vector<short> cornerLevels = nc.shorts("Embedded_node_levels_in_a_bin");
    const std::vector<short> segmentsInBin = nc.shorts("N_segments_in_a_bin");
    const std::vector<int> firstSegment = nc.ints("Id_of_first_segment_in_a_bin");
    const std::vector<int> segmentInfo = nc.ints("Embedded_npts_levels_exit_entry_for_a_segment");
    const std::vector<int> firstPoint = nc.ints("Id_of_first_point_in_a_segment");
    const std::vector<signed char> antarctic = nc.has("Embedded_ANT_flag") ? nc.bytes("Embedded_ANT_flag")
                                                                          : std::vector<signed char>(segmentInfo.size());
    const std::vector<short> dx = nc.shorts("Relative_longitude_from_SW_corner_of_bin");
    const std::vector<short> dy = nc.shorts("Relative_latitude_from_SW_corner_of_bin");

    const size_t bins = size_t(r.binsX) * size_t(r.binsY);
    if (cornerLevels.size() != bins || segmentsInBin.size() != bins || firstSegment.size() != bins
        || firstPoint.size() != segmentInfo.size() || antarctic.size() != segmentInfo.size() || dx.size() != dy.size())
        throw std::runtime_error(nc.path + ": the array lengths do not agree");

    r.bins.resize(bins);
    for (size_t b = 0; b < bins; ++b) {
        Coast::Bin &bin = r.bins[b];
        bin.cornerLevels = Coast::unpackCornerLevels(quint16(cornerLevels[b]));
        for (int &l : bin.cornerLevels)
            l = std::min(l, 4);
        for (int k = 0; k < segmentsInBin[b]; ++k) {
            const size_t s = size_t(firstSegment[b]) + size_t(k);
            if (s >= segmentInfo.size())
                throw std::runtime_error(nc.path + ": a bin's segments run past the segment arrays");
            const int info = segmentInfo[s];
            int level = (info >> 6) & 7;
            if (antarctic[s])
                level = 1;
            else if (level == groundingLineLevel)
                continue;
            Coast::Segment seg;
            seg.level = std::clamp(level, 1, 4);
            seg.entry = (info >> 3) & 7;
            seg.exit = info & 7;
            const size_t n = size_t(info >> 9);
            const size_t first = size_t(firstPoint[s]);
            if (seg.entry > Coast::noSide || seg.exit > Coast::noSide || n < 2 || first + n > dx.size())
                throw std::runtime_error(nc.path + ": a segment does not fit the point arrays");
            seg.points.reserve(n);
            for (size_t i = first; i < first + n; ++i)
                seg.points.push_back({quint16(dx[i]), quint16(dy[i])});
            bin.segments.push_back(std::move(seg));
        }
    }
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: velkais-coastline-convert OUT.bin BINNED_GSHHS.nc...\n");
        return 2;
    }
    try {
        std::vector<Coast::Resolution> resolutions;
        std::string version;
        for (int i = 2; i < argc; ++i) {
            const NcFile nc(argv[i]);
            resolutions.push_back(convert(nc, &version));
        }
        QString error;
        if (!Coast::writeFile(QString::fromLocal8Bit(argv[1]), resolutions, QByteArray::fromStdString(version), &error)) {
            std::fprintf(stderr, "velkais-coastline-convert: %s: %s\n", argv[1], qPrintable(error));
            return 1;
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "velkais-coastline-convert: %s\n", e.what());
        return 1;
    }
    return 0;
}
