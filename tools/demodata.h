#pragma once

#include <QDate>
#include <QString>

#include <cstdint>

// Invented but plausible day logs of a shore station at the Kanmon strait, and
// photographs for some of the ships. Everything follows from the options: the
// same seed gives the same bytes, and a day's log does not depend on which other
// days are written with it.
namespace DemoData {

// Strait: the demo's ships on the fairways and berths of the strait.
// Wander: about 2,000 ships roaming a 1-degree square around the station, a
// few reporting every few seconds and most a few times a day or less (a Zipf
// law over the fleet), so that each ship crosses many 0.01-degree cells a day.
// The benchmarks use it for the index's cost on logs unlike the demo's.
enum class Shape { Strait, Wander };

struct Options
{
    QDate end;                // last day written
    int days = 1;
    double mbPerDay = 2;      // rough size of one day's log in millions of bytes
    int ships = 0;            // ships in the fleet; 0 derives it from mbPerDay
    std::uint64_t seed = 1;
    bool pictures = true;     // drawing the MMSI on them needs a QGuiApplication
    Shape shape = Shape::Strait;
};

// The fleet size used for these options.
int fleetSize(const Options &options);

// DIR/logs/<yyyymmdd>_AIS_FMT.log for every day of the period and, when asked
// for, DIR/pics/<mmsi>.jpg. Returns false with `error` set when a file could
// not be written.
bool generate(const QString &dir, const Options &options, QString *error);

// One day's log, written atomically to `path`.
bool writeDayLog(const QString &path, QDate day, const Options &options, QString *error);

} // namespace DemoData
