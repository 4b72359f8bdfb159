// View accumulation, the Open command and the KML document.
//
// The golden file golden/track.kml holds the document for trackLog() below,
// with the export date written as {DATE}. To regenerate it after a deliberate
// change of the document, run this test with VELK_WRITE_GOLDEN=1 in the
// environment; it then writes the file instead of comparing, and fails so the
// run is never mistaken for a pass.
#include "engine/module1.h"
#include "fakehost.h"
#include "workspace.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QXmlStreamReader>

using namespace Module1;

namespace {

QByteArray voyage(const QByteArray &time, const QByteArray &dest, const QByteArray &eta, const QByteArray &draught = {},
                  const QByteArray &status = {}, const QByteArray &text = {})
{
    QByteArray r = logRecord(time, "431000000");
    if (!dest.isEmpty())
        r += "DESTINATION         = " + dest + "\r\n";
    if (!eta.isEmpty())
        r += "ESTIMATED TIME      = " + eta + "\r\n";
    if (!draught.isEmpty())
        r += "STATIC DRAUGHT      = " + draught + "\r\n";
    if (!status.isEmpty())
        r += "NAVIGATIONAL STATUS = " + status + "\r\n";
    if (!text.isEmpty())
        r += "TEXT STRING         = " + text + "\r\n";
    return r;
}

QByteArray trackLog()
{
    return logRecord("09:15:40", "431000000", "M&M <1>", "33.9680", "130.9740", "11.5") +
           logRecord("09:15:41", "999999999", "OTHER", "1", "2", "99") +
           logRecord("09:15:42", "431000000", {}, "33.9683", "130.9747", "12.3") +
           logRecord("09:15:43", "431000000", {}, {}, "130.9") + // no latitude: no tuple
           logRecord("09:15:44", "431000000", {}, "33.9690", "130.9750");
}

} // namespace

class TestView : public EngineTest
{
    Q_OBJECT

    void open(Module1::ViewChoice choice, const QByteArray &log, const QString &ship = "431000000 M&M <1>")
    {
        m_ws->writeLog("20110407_AIS_FMT.log", log);
        m_host->ships = {ship};
        m_host->shipSelected = 0;
        m_host->files = {"20110407_AIS_FMT.log"};
        m_host->fileSelected = 0;
        m_host->choice = choice;
        m_host->openEnabled = true;
        openView();
    }

    QList<ChartPrimitive> drawnOfKind(ChartPrimitive::Kind kind, ChartColor color) const
    {
        QList<ChartPrimitive> out;
        for (const ChartPrimitive &p : m_host->drawn)
            if (p.kind == kind && p.color == color)
                out << p;
        return out;
    }

private slots:
    void chartViewCaptionsAndMarks()
    {
        open(ViewChoice::Chart, logRecord("05:30:00", "431000000", {}, {}, {}, "12.5") +
                                    logRecord("05:59:59", "431000000") + logRecord("05:10:00", "431000000") +
                                    logRecord("00:00:00", "431000000") + logRecord("23:59:59", "431000000") +
                                    logRecord("1::2:::3", "431000000") /* six parts: no tick, hour 1 */);
        QCOMPARE(m_host->prepared.size(), size_t(1));
        QCOMPARE(m_host->viewCaption, QString("431000000 M&M <1> - 20110407_AIS_FMT.log"));
        QCOMPARE(view.hourCount[5], 3);
        QCOMPARE(view.hourCount[0], 1);
        QCOMPARE(view.hourCount[23], 1);
        QCOMPARE(view.hourCount[1], 1);
        QVERIFY(m_host->mainEnabled == false);
        QVERIFY(m_host->searchEnabled && m_host->openEnabled);

        // Hour 5's bar three times, one top edge per report.
        const auto bars = drawnOfKind(ChartPrimitive::Kind::Box, Chart::kCountColor);
        QCOMPARE(bars.size(), 6);
        QCOMPARE(bars[0].x1, 100.0 + 375 * 5);
        QCOMPARE(bars[0].x2, 450.0 + 375 * 5);
        QCOMPARE(bars[0].y1, 6100.0);
        QCOMPARE(bars[0].y2, 6060.0);
        QCOMPARE(bars[2].y2, 6100.0 - 120);

        // Ticks: none at 00:00:00, none for a time without three parts.
        const auto ticks = drawnOfKind(ChartPrimitive::Kind::FilledBox, Chart::kSpeedColor);
        QCOMPARE(ticks.size(), 4);
        const double s = 5 * 3600 + 30 * 60;
        QCOMPARE(ticks[0].x1, double(float(100 + s / 9.6)));
        QCOMPARE(ticks[0].y1, 6100.0 - 120 * 12.5);
        QCOMPARE(ticks[3].x1, double(float(100 + 86399 / 9.6)));
        QCOMPARE(ticks[3].y1, 6100.0); // no speed: zero height
    }

    void hoursOutsideTheDay()
    {
        view.hourCount[24] = 7; // left by an earlier view
        open(ViewChoice::Chart, logRecord("24:00:00", "431000000") + logRecord("99:00:00", "431000000") +
                                    logRecord("-1:00:00", "431000000") + logRecord("ab:cd:ef", "431000000"));
        QCOMPARE(view.hourCount[24], 1);
        QCOMPARE(view.hourCount[0], 1); // a time without a number counts in hour 0
        int total = 0;
        for (int c : view.hourCount)
            total += c;
        QCOMPARE(total, 2);
        const auto bars = drawnOfKind(ChartPrimitive::Kind::Box, Chart::kCountColor);
        QCOMPARE(bars.size(), 2);
        QCOMPARE(bars[0].x1, 9100.0);
    }

    void hostileSpeedsStayFinite()
    {
        m_host->altitude = 0;
        open(ViewChoice::Kml, logRecord("01:00:00", "431000000", {}, "1", "2", "1e308") +
                                  logRecord("01:00:01", "431000000", {}, "1", "2", "nan") +
                                  logRecord("01:00:02", "431000000", {}, "1", "2", "-5"));
        for (const ChartPrimitive &p : m_host->drawn)
            QVERIFY(std::isfinite(p.x1) && std::isfinite(p.y1) && std::isfinite(p.x2) && std::isfinite(p.y2));
        QCOMPARE(QString::fromStdString(view.kmlCoordinates),
                 QString("2,1,1.79769313486232e+308\r\n2,1,1\r\n2,1,-49\r\n"));
        QCOMPARE(view.maxSpeed, 1e308);
    }

    void changeList()
    {
        open(ViewChoice::Changes,
             voyage("01:00:00", {}, "04-07 15:00") +              // ETA without destination: nothing
                 voyage("02:00:00", "MOJI", "04-07 15:00", "5.2") +
                 voyage("02:30:00", "MOJI", "04-07 15:00", "5.2") + // repeated: nothing
                 voyage("03:00:00", "MOJI", "04-07 16:00", "5.2") + // ETA alone changed
                 voyage("04:00:00", {}, {}, {}, "A") + voyage("04:01:00", {}, {}) +
                 voyage("04:02:00", {}, {}, {}, "A") + voyage("04:03:00", {}, {}, {}, "B") +
                 voyage("04:04:00", {}, {}, {}, "A") + voyage("05:00:00", {}, {}, {}, {}, "HELLO") +
                 voyage("05:01:00", {}, {}, {}, {}, "HELLO"));
        QCOMPARE(m_host->prepared, std::vector<ViewChoice>{ViewChoice::Changes});
        QCOMPARE(m_host->changeLines, QStringList({"02:00:00 MOJI  |  04-07 15:00  |  5.2\r\n",
                                                   "03:00:00 MOJI  |  04-07 16:00  |  5.2\r\n",
                                                   "04:00:00 NAVIGATIONAL STATUS: A\r\n",
                                                   "04:03:00 NAVIGATIONAL STATUS: B\r\n",
                                                   "04:04:00 NAVIGATIONAL STATUS: A\r\n",
                                                   "05:00:00 Text telegram: HELLO\r\n"}));
        // A second view starts from empty last values.
        m_host->changeLines.clear();
        open(ViewChoice::Changes, voyage("06:00:00", {}, {}, {}, "B"));
        QCOMPARE(m_host->changeLines, QStringList({"06:00:00 NAVIGATIONAL STATUS: B\r\n"}));
    }

    void chartViewMakesNoChangesOrTrack()
    {
        open(ViewChoice::Chart, voyage("02:00:00", "MOJI", "x", "y", "A") +
                                    logRecord("01:00:00", "431000000", {}, "1", "2"));
        QVERIFY(m_host->changeLines.isEmpty());
        QVERIFY(view.kmlCoordinates.empty());
    }

    void altitudeRules_data()
    {
        QTest::addColumn<int>("rule");
        QTest::addColumn<QString>("track");
        QTest::newRow("speed") << 0 << "2,1,124\r\n2,1,1\r\n";
        QTest::newRow("speed x10") << 1 << "2,1,1231\r\n2,1,1\r\n";
        QTest::newRow("constant") << 2 << "2,1,10\r\n2,1,10\r\n";
        QTest::newRow("no selection") << -1 << "2,1,10\r\n2,1,10\r\n";
    }
    void altitudeRules()
    {
        QFETCH(int, rule);
        QFETCH(QString, track);
        m_host->altitude = rule;
        m_ws->write("work/lb4velkais.kml", "old");
        open(ViewChoice::Kml, logRecord("01:00:00", "431000000", {}, "1", "2", "12.3") +
                                  logRecord("01:00:01", "431000000", {}, "1", "2"));
        QCOMPARE(QString::fromStdString(view.kmlCoordinates), track);
        QCOMPARE(view.maxSpeed, 12.3);
        QVERIFY(m_host->prepared.empty());
        QVERIFY(m_host->mainEnabled);
        QCOMPARE(m_host->shellOpened, QStringList({QFileInfo("lb4velkais.kml").absoluteFilePath()}));
    }

    void kmlDocumentMatchesTheGoldenFile()
    {
        m_host->altitude = 0;
        open(ViewChoice::Kml, trackLog());
        QFile written("lb4velkais.kml");
        QVERIFY(written.open(QIODevice::ReadOnly));
        QByteArray actual = written.readAll();
        actual.replace(QDate::currentDate().toString("yyyy/MM/dd").toLatin1(), "{DATE}");

        const QString goldenPath = QFINDTESTDATA("golden/track.kml");
        if (qEnvironmentVariableIsSet("VELK_WRITE_GOLDEN")) {
            QFile g(QFileInfo(__FILE__).absolutePath() + "/golden/track.kml");
            QVERIFY(g.open(QIODevice::WriteOnly));
            g.write(actual);
            QFAIL("golden file written");
        }
        QFile golden(goldenPath);
        QVERIFY(golden.open(QIODevice::ReadOnly));
        QCOMPARE(actual, golden.readAll());

        // Any XML reader takes it: the escaped name, the quoted namespace.
        QXmlStreamReader xml(actual);
        QStringList names;
        while (!xml.atEnd()) {
            if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("name"))
                names << xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(names, QStringList({"Log Broeser for VELK-AIS", "M&M <1>", "M&M <1>"}));
    }

    void emptyTrackAndSecondExport()
    {
        open(ViewChoice::Kml, logRecord("01:00:00", "431000000"), "431000000 FIRST");
        open(ViewChoice::Kml, logRecord("01:00:00", "555555555"), "431000000 ");
        QFile written("lb4velkais.kml");
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray doc = written.readAll();
        QVERIFY(!doc.contains("FIRST"));
        QVERIFY(doc.contains("<coordinates>\r\n\r\n</coordinates>"));
        QVERIFY(doc.contains("<name></name><description>MMSI:431000000\nMax:0knots</description>"));
        QVERIFY(doc.endsWith("<coordinates></coordinates></Point></Placemark></Folder></Document></kml>\r\n"));
        QCOMPARE(doc.count("\r\n"), 3);
    }

    void unwritableKmlFileIsReported()
    {
        QDir().mkdir("lb4velkais.kml"); // a folder in the way: the file cannot be written
        open(ViewChoice::Kml, logRecord("01:00:00", "431000000", {}, "1", "2"));
        QCOMPARE(m_host->errors.size(), 1);
        QVERIFY(m_host->errors[0].contains("lb4velkais.kml"));
        QVERIFY(m_host->shellOpened.isEmpty());
        QVERIFY(m_host->searchEnabled && m_host->shipListEnabled && m_host->fileListEnabled && m_host->openEnabled);
    }

#ifdef Q_OS_UNIX
    // A named pipe in the file's place gets the document and stays a pipe.
    void kmlFileThatIsAPipeIsWrittenInPlace()
    {
        QCOMPARE(QProcess::execute("mkfifo", {"lb4velkais.kml"}), 0);
        QProcess reader;
        reader.start("cat", {"lb4velkais.kml"});
        QVERIFY(reader.waitForStarted());
        open(ViewChoice::Kml, logRecord("01:00:00", "431000000", {}, "1", "2"));
        QVERIFY(reader.waitForFinished());
        QVERIFY(reader.readAllStandardOutput().startsWith("<?xml"));
        QVERIFY(m_host->errors.empty());
        QVERIFY(!QFileInfo("lb4velkais.kml").isFile());
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList());
    }
#endif

    void openWithoutAViewOptionReadsAndShowsNothing()
    {
        open(ViewChoice::None, logRecord("01:00:00", "431000000", {}, "1", "2"));
        QVERIFY(m_host->prepared.empty());
        QVERIFY(m_host->shellOpened.isEmpty());
        QVERIFY(m_host->statusHistory.contains("List2 : 20110407_AIS_FMT.log"));
        QCOMPARE(view.hourCount[1], 1);
        QVERIFY(!QFile::exists("lb4velkais.kml"));
    }

    void viewCoversOnlyTheViewedShip()
    {
        m_host->text1[0] = "999999999"; // criteria play no part in a view
        m_host->check1[0] = true;
        open(ViewChoice::Chart, logRecord("01:00:00", "431000000", {}, "80", "80") + logRecord("02:00:00", "111111111"));
        QCOMPARE(view.hourCount[1], 1);
        QCOMPARE(view.hourCount[2], 0);
        QCOMPARE(search.viewMmsi, std::string("431000000"));
    }
};

QTEST_GUILESS_MAIN(TestView)
#include "test_view.moc"
