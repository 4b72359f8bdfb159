#include "demodata.h"
#include "fakehost.h"
#include "workspace.h"

#include "engine/module1.h"
#include "map_window/coastline.h"

#include <QCryptographicHash>
#include <QDir>
#include <QImage>
#include <QMap>
#include <QPainter>
#include <QSet>
#include <QtTest>

namespace {

const QDate kDay(2011, 4, 7);

QByteArray digest(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

DemoData::Options small(std::uint64_t seed)
{
    DemoData::Options o;
    o.end = kDay;
    o.days = 1;
    o.mbPerDay = 0.5;
    o.seed = seed;
    o.pictures = false;
    return o;
}

} // namespace

class TestDemoData : public QObject
{
    Q_OBJECT

private slots:
    void sameSeedSameBytes()
    {
        QTemporaryDir dir;
        QString error;
        const QString name = "/20110407_AIS_FMT.log";
        QVERIFY2(DemoData::writeDayLog(dir.path() + "/a.log", kDay, small(7), &error), qPrintable(error));
        QVERIFY(DemoData::writeDayLog(dir.path() + "/b.log", kDay, small(7), &error));
        QVERIFY(DemoData::writeDayLog(dir.path() + "/c.log", kDay, small(8), &error));
        QCOMPARE(digest(dir.path() + "/a.log"), digest(dir.path() + "/b.log"));
        QVERIFY(digest(dir.path() + "/a.log") != digest(dir.path() + "/c.log"));

        // A day's log does not depend on how many days are written with it.
        DemoData::Options week = small(7);
        week.days = 7;
        week.end = kDay.addDays(3);
        QVERIFY(DemoData::generate(dir.path() + "/week", week, &error));
        QCOMPARE(QDir(dir.path() + "/week/logs").entryList(QDir::Files).size(), 7);
        QVERIFY(QFileInfo(dir.path() + "/week/work").isDir());
        QCOMPARE(digest(dir.path() + "/week/logs" + name), digest(dir.path() + "/a.log"));
    }

    // What the demo promises the browser's user: ships in each default area.
    void shipsInEveryDefaultArea_data()
    {
        QTest::addColumn<int>("area");
        QTest::newRow("A") << 0;
        QTest::newRow("B") << 1;
        QTest::newRow("C") << 2;
    }
    void shipsInEveryDefaultArea()
    {
        QFETCH(int, area);
        Workspace ws;
        QString error;
        DemoData::Options o = small(1);
        o.mbPerDay = 2;
        QVERIFY2(DemoData::generate(ws.path(""), o, &error), qPrintable(error));
        FakeHost host;
        host.text1[7] = host.text1[8] = "20110407";
        host.check1[area] = true;
        Module1::resetState();
        Module1::setHost(&host);
        Module1::searchCommand();
        Module1::setHost(nullptr);
        QVERIFY(!host.ships.isEmpty());
        QCOMPARE(host.files, QStringList{"20110407_AIS_FMT.log"});
        QVERIFY(host.skipped.isEmpty());
    }

    // One ship reports more than 150 times in an hour (the chart's overflow
    // label), and some photographs are larger than the browser's box.
    // The first map a newcomer sees: every ship's position of a day on the
    // water of the real coastline (full resolution, about 10 m a pixel).
    void shipsKeepToTheWater()
    {
#ifndef VELK_TEST_COASTLINE
        QSKIP("no coastline file was generated (libnetcdf or GSHHG missing at configure time)");
#else
        QTemporaryDir dir;
        QString error;
        DemoData::Options o = small(3);
        o.mbPerDay = 2;
        QVERIFY2(DemoData::writeDayLog(dir.path() + "/day.log", kDay, o, &error), qPrintable(error));
        Map::Coastline coast;
        QVERIFY2(coast.open(VELK_TEST_COASTLINE), qPrintable(coast.error()));
        coast.setResolution('f');
        Map::Viewport view;
        view.center = {33.885, 131.0};
        view.size = {4400, 2600};
        view.pixelsPerDegree = 4400 / 0.46;
        QImage land(view.size.toSize(), QImage::Format_Grayscale8);
        land.fill(Qt::white);
        QPainter painter(&land);
        coast.setLandBrush(Qt::black);
        coast.draw(painter, view);
        painter.end();

        QFile log(dir.path() + "/day.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        double lon = 0;
        int positions = 0;
        QStringList ashore;
        // A record gives its longitude, then its latitude.
        for (const QByteArray &line : log.readAll().split('\n')) {
            if (line.startsWith("LONGITUDE"))
                lon = line.mid(line.indexOf('=') + 1).trimmed().toDouble();
            if (!line.startsWith("LATITUDE"))
                continue;
            const double lat = line.mid(line.indexOf('=') + 1).trimmed().toDouble();
            const QPoint at = view.toScreen({lat, lon}).toPoint();
            if (!land.rect().contains(at))
                continue;
            ++positions;
            if (qGray(land.pixel(at)) < 128)
                ashore << QStringLiteral("%1,%2").arg(lat).arg(lon);
        }
        QVERIFY(positions > 1000);
        QVERIFY2(ashore.isEmpty(), qPrintable(QStringLiteral("%1 of %2 on land: %3")
                                                  .arg(ashore.size())
                                                  .arg(positions)
                                                  .arg(ashore.mid(0, 10).join(u' '))));
#endif
    }

    // The benchmarks' second shape: fixed by its seed, read like the demo's
    // logs, a heavy tail of reports a ship, and ships crossing many 0.01-degree
    // cells inside their square.
    void wanderShape()
    {
        Workspace ws;
        QString error;
        DemoData::Options o = small(5);
        o.shape = DemoData::Shape::Wander;
        o.mbPerDay = 1;
        QVERIFY2(DemoData::generate(ws.path(""), o, &error), qPrintable(error));
        const QString log = ws.path("logs/20110407_AIS_FMT.log");
        QVERIFY(DemoData::writeDayLog(ws.path("again.log"), kDay, o, &error));
        QCOMPARE(digest(ws.path("again.log")), digest(log));
        o.seed = 6;
        QVERIFY(DemoData::writeDayLog(ws.path("other.log"), kDay, o, &error));
        QVERIFY(digest(ws.path("other.log")) != digest(log));
        QVERIFY(std::abs(QFileInfo(log).size() - 1e6) < 1e5);

        QMap<QByteArray, int> reports;
        QMap<QByteArray, QSet<QPair<int, int>>> cells;
        QByteArray mmsi;
        double lon = 0;
        QFile f(log);
        QVERIFY(f.open(QIODevice::ReadOnly));
        for (const QByteArray &line : f.readAll().split('\n')) {
            if (line.startsWith("MMSI NUMBER"))
                ++reports[mmsi = line.mid(22, 9)];
            else if (line.startsWith("LONGITUDE"))
                lon = line.mid(22).trimmed().toDouble();
            else if (line.startsWith("LATITUDE")) {
                const double lat = line.mid(22).trimmed().toDouble();
                QVERIFY2(lat >= 33.5 && lat <= 34.5 && lon >= 130.5 && lon <= 131.5, line.constData());
                cells[mmsi].insert({int(std::floor(lat * 100)), int(std::floor(lon * 100))});
            }
        }
        QList<int> counts = reports.values();
        std::sort(counts.begin(), counts.end());
        QVERIFY2(counts.last() > 40 * counts[counts.size() / 2], qPrintable(QString::number(counts.last())));
        int most = 0;
        for (const auto &c : cells)
            most = std::max(most, int(c.size()));
        QVERIFY2(most > 100, qPrintable(QString::number(most)));

        FakeHost host;
        host.text1[7] = host.text1[8] = "20110407";
        Module1::resetState();
        Module1::setHost(&host);
        Module1::searchCommand();
        Module1::setHost(nullptr);
        QCOMPARE(host.ships.size(), reports.size());
        QVERIFY(host.skipped.isEmpty());
    }

    void overflowHourAndPhotos()
    {
        QTemporaryDir dir;
        QString error;
        DemoData::Options o = small(1);
        o.mbPerDay = 2;
        o.pictures = true;
        QVERIFY2(DemoData::generate(dir.path(), o, &error), qPrintable(error));

        QFile log(dir.path() + "/logs/20110407_AIS_FMT.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        QMap<QByteArray, int> perHour;
        QByteArray hour;
        int most = 0;
        while (!log.atEnd()) {
            const QByteArray line = log.readLine();
            QVERIFY(line.endsWith("\r\n"));
            if (line.startsWith("-------------------- ") && line.size() == 41)
                hour = line.mid(32, 2);
            else if (line.startsWith("MMSI NUMBER         = "))
                most = std::max(most, ++perHour[line.mid(22, 9) + hour]);
        }
        QVERIFY2(most > 150, qPrintable(QString::number(most)));

        const QStringList photos = QDir(dir.path() + "/pics").entryList({"*.jpg"}, QDir::Files);
        QVERIFY(photos.size() >= 3);
        bool large = false;
        for (const QString &name : photos) {
            const QImage image(dir.path() + "/pics/" + name);
            QVERIFY(!image.isNull());
            large = large || (image.width() > 203 && image.height() > 136);
        }
        QVERIFY(large);
    }
};

QTEST_MAIN(TestDemoData)
#include "test_demodata.moc"
