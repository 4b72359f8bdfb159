#include "map_window/track.h"

#include "engine/export.h"

#include <algorithm>

namespace Map {

namespace {
// Levels kept per track: a frame asks for two (line and dots), a dense part
// in view for a few coarser ones, zooming in and out again for more.
constexpr std::size_t kLevelsKept = 16;
}

void Track::reserve(std::size_t n)
{
    m_geo.reserve(n);
    m_world.reserve(n);
    m_speed.reserve(n);
    m_timeAt.reserve(n);
    m_statusOf.reserve(n);
}

bool Track::append(LatLon p, double speed, QStringView time, QStringView status)
{
    if (!isOnGlobe(p))
        return false;
    // The pool's offsets are 32-bit; a file that long is refused long before.
    if (m_geo.size() >= std::numeric_limits<std::uint32_t>::max() - 1)
        return false;
    m_geo.push_back(p);
    // Unwrapped across 180 degrees: each point's world longitude lies within
    // half a turn of the one before, so a line from 179.5 E to 179.5 W runs
    // on past 180 (where the coastline repeats) instead of around the world.
    // Loose points keep within half a turn of the first, so that they cannot
    // wander off by whole turns.
    QPointF world = project(p);
    if (!m_world.empty()) {
        const double previous = line ? m_world.back().x() : m_world.front().x();
        world.setX(world.x() + 360.0 * std::round((previous - world.x()) / 360.0));
    }
    m_world.push_back(world);
    m_speed.push_back(std::isfinite(speed) ? float(speed) : std::numeric_limits<float>::quiet_NaN());
    m_bounds.extend({p.lat, world.x()});
    if (std::isfinite(speed) && !(m_maxSpeed >= speed))
        m_maxSpeed = speed;

    if (time.isEmpty()) {
        m_timeAt.push_back(std::numeric_limits<std::uint32_t>::max());
    } else {
        m_timeAt.push_back(std::uint32_t(m_times.size()));
        m_times += time.toUtf8();
        m_times += '\0';
    }

    std::uint16_t statusIndex = 0;
    if (!status.isEmpty()) {
        if (m_statuses.isEmpty())
            m_statuses << QString();
        // Statuses repeat: most points carry the one of the point before.
        const std::uint16_t previous = m_statusOf.empty() ? 0 : m_statusOf.back();
        if (previous != 0 && m_statuses[previous] == status) {
            statusIndex = previous;
        } else {
            const qsizetype found = m_statuses.indexOf(status.toString());
            if (found > 0)
                statusIndex = std::uint16_t(found);
            else if (m_statuses.size() < std::numeric_limits<std::uint16_t>::max()) {
                m_statuses << status.toString();
                statusIndex = std::uint16_t(m_statuses.size() - 1);
            }
        }
    }
    m_statusOf.push_back(statusIndex);
    m_levels.clear();
    return true;
}

QString Track::time(std::size_t i) const
{
    const std::uint32_t at = m_timeAt[i];
    if (at == std::numeric_limits<std::uint32_t>::max())
        return {};
    return QString::fromUtf8(m_times.constData() + at);
}

QString Track::status(std::size_t i) const
{
    return m_statuses.value(m_statusOf[i]);
}

std::shared_ptr<const ThinnedTrack> Track::thinned(double pixelsPerDegree, double cellPixels) const
{
    // The smallest power-of-two cell at least cellPixels wide on screen: a
    // finer one would keep the sub-pixel jitter of a ship at anchor.
    const double cell = cellPixels / std::max(pixelsPerDegree, 1e-9);
    const int exponent = std::clamp(int(std::ceil(std::log2(cell))), -40, 10);
    const auto found = std::find_if(m_levels.begin(), m_levels.end(),
                                    [exponent](const Level &l) { return l.exponent == exponent; });
    if (found != m_levels.end()) {
        // Most recently used last.
        std::rotate(found, found + 1, m_levels.end());
        return m_levels.back().kept;
    }
    if (m_levels.size() >= kLevelsKept)
        m_levels.erase(m_levels.begin());
    auto kept = std::make_shared<ThinnedTrack>();
    kept->indices = thinPoints(m_world, std::ldexp(1.0, exponent));
    const std::size_t n = kept->indices.size();
    kept->blocks.reserve((n + ThinnedTrack::kBlock - 1) / ThinnedTrack::kBlock);
    for (std::size_t from = 0; from < n; from += ThinnedTrack::kBlock) {
        const std::size_t to = std::min(n, from + ThinnedTrack::kBlock);
        double x0 = std::numeric_limits<double>::infinity(), y0 = x0, x1 = -x0, y1 = -x0;
        for (std::size_t k = from == 0 ? 0 : from - 1; k < to; ++k) {
            const QPointF w = m_world[kept->indices[k]];
            x0 = std::min(x0, w.x());
            x1 = std::max(x1, w.x());
            y0 = std::min(y0, w.y());
            y1 = std::max(y1, w.y());
        }
        kept->blocks.emplace_back(QPointF(x0, y0), QPointF(x1, y1));
    }
    m_levels.push_back({exponent, std::move(kept)});
    return m_levels.back().kept;
}

std::size_t Track::memoryBytes() const
{
    std::size_t bytes = m_geo.capacity() * sizeof(LatLon) + m_world.capacity() * sizeof(QPointF) +
                        m_speed.capacity() * sizeof(float) + m_timeAt.capacity() * sizeof(std::uint32_t) +
                        std::size_t(m_times.capacity()) + m_statusOf.capacity() * sizeof(std::uint16_t);
    for (const Level &l : m_levels)
        bytes += l.kept->indices.capacity() * sizeof(std::uint32_t) + l.kept->blocks.capacity() * sizeof(QRectF);
    return bytes;
}

std::vector<std::uint32_t> thinPoints(const std::vector<QPointF> &world, double cell)
{
    std::vector<std::uint32_t> kept;
    if (world.empty())
        return kept;
    // A distance from the last point kept, not a fixed grid: a ship at anchor
    // swinging across a grid line would keep every other point.
    kept.push_back(0);
    QPointF last = world[0];
    const std::size_t n = world.size();
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const QPointF p = world[i];
        if (std::fabs(p.x() - last.x()) >= cell || std::fabs(p.y() - last.y()) >= cell) {
            kept.push_back(std::uint32_t(i));
            last = p;
        }
    }
    if (n > 1)
        kept.push_back(std::uint32_t(n - 1));
    kept.shrink_to_fit();
    return kept;
}

Track fromDayTrack(const Module1::Track &day)
{
    Track track;
    track.name = day.name == day.mmsi || day.name.isEmpty()
                     ? day.mmsi + QStringLiteral(" ") + day.fileName.left(8)
                     : QStringLiteral("%1 %2 %3").arg(day.mmsi, day.name, day.fileName.left(8));
    track.reserve(day.points.size());
    QString status;
    for (const Module1::TrackPoint &p : day.points) {
        if (!p.navStatus.empty())
            status = QString::fromStdString(p.navStatus);
        track.append({p.latitude, p.longitude}, p.speed.value_or(Track::noSpeed),
                     QString::fromStdString(p.time), status);
    }
    return track;
}

} // namespace Map
