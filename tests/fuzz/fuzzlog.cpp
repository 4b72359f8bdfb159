#include "fuzzlog.h"

#include "engine/module1.h"
#include "engine/passageformat.h"
#include "engine/passages.h"
#include "fakehost.h"
#include "settledindex.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>

namespace {

QString text(const std::uint8_t *&p, const std::uint8_t *end, int maxLength)
{
    if (p == end)
        return {};
    int n = *p++ % (maxLength + 1);
    QByteArray bytes;
    while (n-- > 0 && p < end)
        bytes += char(*p++);
    return QString::fromLatin1(bytes);
}

struct Folder
{
    QTemporaryDir dir;
    Folder()
    {
        QDir(dir.path()).mkdir("logs");
        Module1::logFolder = dir.path() + "/logs/";
    }
};

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// A Search and the ship selection it ends with, from a fresh engine state,
// with or without the day index: what the lists and the record are left with.
QStringList searchOutcome(const FakeHost &criteria, Module1::DayIndex *index)
{
    FakeHost host = criteria;
    Module1::resetState();
    Module1::setHost(&host);
    Module1::setDayIndex(index);
    Module1::searchCommand();
    Module1::setDayIndex(nullptr);
    const Module1::CurrentRecord &r = Module1::record;
    QStringList out = host.ships + QStringList{"|"} + host.files;
    for (const std::string *f : {&r.recTime, &r.recName, &r.recLongitude, &r.recLatitude, &r.recSpeed})
        out << QString::fromStdString(*f);
    return out;
}

} // namespace

int fuzzLogFile(const std::uint8_t *data, std::size_t size)
{
    static Folder folder;
    const std::uint8_t *p = data;
    const std::uint8_t *end = data + size;

    FakeHost host;
    Module1::resetState();
    Module1::setHost(&host);
    host.text1[0] = text(p, end, 10);
    for (int k = 0; k < 3; ++k)
        host.check1[k] = p < end && (*p++ & 1);
    for (int field : {4, 5, 6, 12})
        host.text1[field] = text(p, end, 12);
    host.altitude = p < end ? int(*p++ % 4) - 1 : 0;
    const std::string ship = text(p, end, 9).toStdString();
    host.text1[7] = "";
    host.text1[8] = "99999999";

    // The same bytes twice: the second file is read after whatever the first
    // left behind. Settled an hour back, so that the day index summarises them.
    const QString name = "20110407_AIS_FMT.log";
    for (const QString &n : {name, QStringLiteral("20110408_AIS_FMT.log")}) {
        QFile file(Module1::logFolder + n);
        file.open(QIODevice::WriteOnly);
        file.write(reinterpret_cast<const char *>(p), end - p);
        file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime);
    }

    // The day index, while it summarises the files and once it answers for
    // them, changes nothing.
    // Never destroyed: at exit Qt SQL's own statics may be gone before it.
    static auto *index = new SettledIndex(folder.dir.path() + "/index");
    const QStringList plain = searchOutcome(host, nullptr);
    check(searchOutcome(host, index) == plain);
    check(searchOutcome(host, index) == plain);
    // The passages of the two days (one across midnight, maybe), likewise.
    const auto passages = [&](Module1::DayIndex *i) {
        FakeHost h = host;
        Module1::resetState();
        Module1::setHost(&h);
        Module1::setDayIndex(i);
        const std::vector<Module1::Passage> found = Module1::passagesPeriod({});
        Module1::setDayIndex(nullptr);
        for (const Module1::Passage &f : found) {
            for (const std::optional<double> &v : {f.speedMin, f.speedMedian, f.speedMax, f.bearing})
                check(!v || std::isfinite(*v));
            check(f.fixes > 0 && f.area >= 0 && f.area < 3);
        }
        return Module1::formatPassages(found, Module1::PassageFormat::Jsonl, std::nullopt);
    };
    const QByteArray plainPassages = passages(nullptr);
    check(passages(index) == plainPassages);
    Module1::resetState();
    Module1::setHost(&host);

    host.selectRunsSelection = true;
    Module1::searchCommand();
    check(host.ships.size() <= Module1::kResultLimit);

    for (auto choice : {Module1::ViewChoice::Chart, Module1::ViewChoice::Changes, Module1::ViewChoice::Kml}) {
        host.ships = {QString::fromStdString(ship) + " X"};
        host.shipSelected = 0;
        host.files = {name};
        host.fileSelected = 0;
        host.choice = choice;
        Module1::kmlFilePath.clear();
        Module1::openView();
        for (int c : Module1::view.hourCount)
            check(c >= 0);
        for (const Module1::ChartPrimitive &prim : host.drawn)
            check(std::isfinite(prim.x1) && std::isfinite(prim.y1) && std::isfinite(prim.x2) && std::isfinite(prim.y2));
        check(std::isfinite(Module1::view.maxSpeed));
        // Longitude and latitude are copied as the log wrote them; the altitude,
        // the third value of every tuple, is computed and must be a finite number.
        const QByteArray track = QByteArray::fromStdString(Module1::view.kmlCoordinates);
        for (const QByteArray &tuple : track.split('\n')) {
            const QList<QByteArray> values = tuple.trimmed().split(',');
            if (values.size() == 3)
                check(!values[2].contains("nan") && !values[2].contains("inf"));
        }
        check(Module1::kmlDocument("n", name).endsWith("</kml>\r\n"));
    }
    Module1::setHost(nullptr);
    return 0;
}
