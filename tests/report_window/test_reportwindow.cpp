// The report window: what it reads and paints, the station file beside the
// settings file, the double click to the map, and the way in from the main
// window (Ctrl+R) and the map (a right click sets the station).
#include "engine/module1.h"
#include "main_window/form1.h"
#include "main_window/maplink.h"
#include "main_window/reportlink.h"
#include "map_window/mapwindow.h"
#include "report_window/reportpainter.h"
#include "report_window/reportwindow.h"
#include "support/workspace.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

using namespace ReportView;

namespace {

QByteArray day(int firstMinute)
{
    QByteArray log;
    for (int m = firstMinute; m < 24 * 60; m += 5)
        log += logRecord(QTime(m / 60, m % 60).toString("HH:mm:ss").toLatin1(), "431000001", {}, "34.105", "131.005");
    return log;
}

} // namespace

class TestReportWindow : public QObject
{
    Q_OBJECT
private slots:
    void init() { Module1::resetState(); }

    void readsPaintsAndRemembers()
    {
        Workspace ws;
        ws.writeLog("20110401_AIS_FMT.log", day(0));
        ws.writeLog("20110403_AIS_FMT.log", day(120)); // silent until 02:00, after a day without log
        ReportWindow w;
        w.setPeriodSource([] { return std::pair(QStringLiteral("20110401"), QStringLiteral("20110403")); });
        w.stationField()->setText("34.005,131.005");
        QVERIFY(w.makeReport());
        QCOMPARE(w.silenceTable()->model()->rowCount(), 2); // the missing day, the night after it
        QCOMPARE(w.rangeTable()->model()->rowCount(), Module1::kSectors);

        // Painted: the busy cells, the missing day, the silence's mark.
        const QImage image = reportImage(QSize(900, 400), *w.report());
        const StripGeometry g = stripGeometry(QSize(900, 400), *w.report());
        QVERIFY(image.pixelColor(g.cell(0, 10).toPoint()) != kEmptyColor);
        QCOMPARE(image.pixelColor(g.cell(1, 10).toPoint()), kNoLogColor);
        QCOMPARE(image.pixelColor(g.cell(2, 5).toPoint()), kEmptyColor);
        QCOMPARE(image.pixelColor(g.mark(2, 3600).toPoint()), kSilentColor);

        // The double click shows the farthest ship's day.
        QSignalSpy shown(&w, &ReportWindow::showShipDay);
        w.rangeTable()->sortByColumn(1, Qt::DescendingOrder);
        const QModelIndex busiest = w.rangeTable()->model()->index(0, 0);
        emit w.rangeTable()->doubleClicked(busiest);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0][0].toString(), QStringLiteral("431000001"));
        QCOMPARE(shown[0][1].toString(), QStringLiteral("20110401_AIS_FMT.log"));

        // The station in its own file; the settings file is not touched.
        QFile station(ReportWindow::stationFilePath());
        QVERIFY(station.open(QIODevice::ReadOnly));
        QCOMPARE(station.readAll(), QByteArray("34.005,131.005\n"));
        QVERIFY(!QFile::exists("VelkaisLogBrowser.ini"));
        ReportWindow again;
        QCOMPARE(again.stationField()->text(), QStringLiteral("34.005,131.005"));
        QVERIFY(w.exportCsv("report.csv") && w.saveImage("report.png"));

        // Escape stops the reading; what was not read is said, not shown as silence.
        QCoreApplication::postEvent(&w, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
        QVERIFY(w.makeReport());
        QVERIFY(w.noticeLine()->text().contains("stopped"));
        QCOMPARE(w.report()->days.back().state, Module1::DayLine::State::NotRead);
        // Closed while it reads: the pass stops, then the window closes.
        w.show();
        QCoreApplication::postEvent(&w, new QCloseEvent);
        QVERIFY(!w.makeReport());
        QTRY_VERIFY(!w.isVisible());
    }

    void openedByCtrlRAndTheMapSetsTheStation()
    {
        Workspace ws;
        ws.writeLog("20110401_AIS_FMT.log", day(0));
        Form1 form;
        form.setExitHandler([] {});
        form.Text1[7]->setText("20110401");
        form.Text1[8]->setText("20110401");
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(&form, Qt::Key_R, Qt::ControlModifier);
        ReportWindow *w = form.reportLink()->window();
        QVERIFY(w && w->isVisible());

        Map::MapWindow *map = form.mapLink()->showMap();
        map->canvas()->setStationChooser([](const QPoint &) { return true; });
        QContextMenuEvent click(QContextMenuEvent::Mouse, map->canvas()->rect().center(), map->canvas()->mapToGlobal(map->canvas()->rect().center()));
        QApplication::sendEvent(map->canvas(), &click);
        QVERIFY(!w->stationField()->text().isEmpty());
        QVERIFY(w->makeReport());
        QVERIFY(!map->scene().range.outlines.empty());
        QVERIFY(map->scene().range.station.has_value());
    }
};

QTEST_MAIN(TestReportWindow)
#include "test_reportwindow.moc"
