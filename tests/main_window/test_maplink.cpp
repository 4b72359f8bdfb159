// The main window and the map: an area drawn on the map is typed into its
// row, the map follows the fields, Ctrl+M adds the selected day, and the map
// opens only when the desktop could not open the KML view's file.
#include "engine/module1.h"
#include "main_window/form1.h"
#include "main_window/maplink.h"
#include "map_window/mapwindow.h"
#include "support/workspace.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

QByteArray day()
{
    return logRecord("00:10:00", "431000001", "KANMON MARU", "33.9683", "130.9747", "0.2") +
           logRecord("06:00:00", "431000001", {}, "91", "181", "0") + // not available: no point
           logRecord("12:00:00", "431000001", {}, "33.9455", "130.9605", "11.5") +
           logRecord("18:00:00", "431000001", {}, "33.9000", "131.0500", "14");
}

// A Search over the day, its ship and file selected, the KML view chosen.
void selectTheDay(Form1 &form)
{
    form.Text1[7]->setText(QStringLiteral("20110407"));
    form.Text1[8]->setText(QStringLiteral("20110407"));
    // Area A lies elsewhere and is switched on: the KML view's points ignore it.
    form.Check1[0]->setChecked(false);
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QCOMPARE(form.List1->count(), 1);
    QVERIFY(form.List2->item(0)->isSelected());
    form.Check1[0]->setChecked(true);
    form.Option1[3]->setChecked(true);
}

} // namespace

class TestMapLink : public QObject
{
    Q_OBJECT
private slots:
    void init() { Module1::resetState(); }
    void drawnAreaIsTypedIntoItsRow();
    void desktopWithoutKmlProgramOpensTheMap();
    void desktopWithKmlProgramOpensNothingMore();
    void ctrlMAddsTheSelectedDay();
};

void TestMapLink::drawnAreaIsTypedIntoItsRow()
{
    Workspace ws;
    Form1 form;
    form.setExitHandler([] {});
    form.mapLink()->showSelectedDay(); // nothing selected: the map alone
    Map::MapWindow *map = form.mapLink()->window();
    QVERIFY(map);
    QCOMPARE(map->trackCount(), std::size_t(0));
    Map::MapCanvas *canvas = map->canvas();
    canvas->setFixedSize(800, 600);
    QVERIFY(QTest::qWaitForWindowExposed(map));
    Map::Viewport &view = canvas->viewport();
    view.center = {0, 0};
    view.pixelsPerDegree = 1000;
    int asked = 0;
    canvas->setAreaChooser([&asked](const QPoint &) { ++asked; return 2; });

    // The map follows the fields as they are typed.
    form.Text1[4]->setText(QStringLiteral("34.5x"));
    QCOMPARE(map->scene().areas[0].latitude, 34.5);
    QVERIFY(!map->scene().areas[2].on);

    // A plain drag pans and types nothing.
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(400, 300));
    QTest::mouseMove(canvas, QPoint(450, 300));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(450, 300));
    QCOMPARE(asked, 0);
    QVERIFY(view.center.lon < 0);
    view.center = {0, 0};

    // Shift+drag: 100 by 100 pixels south-east of the centre, 0.1 degree a side.
    QTest::mousePress(canvas, Qt::LeftButton, Qt::ShiftModifier, QPoint(400, 300));
    QTest::mouseMove(canvas, QPoint(460, 350));
    QVERIFY(!map->scene().selection.isEmpty());
    QTest::mouseMove(canvas, QPoint(500, 400));
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::ShiftModifier, QPoint(500, 400));
    QCOMPARE(asked, 1);
    QVERIFY(map->scene().selection.isEmpty());
    QCOMPARE(form.Text1[12]->text(), QStringLiteral("-0.0500"));
    QCOMPARE(form.Text1[13]->text(), QStringLiteral("0.0500"));
    QCOMPARE(form.Text1[14]->text(), QStringLiteral("0.0500"));
    QVERIFY(form.Check1[2]->isChecked());
    QVERIFY(map->scene().areas[2].on);
    QCOMPARE(map->scene().areas[2].latitude, -0.05);

    form.close();
    QFile settings(QStringLiteral("VelkaisLogBrowser.ini"));
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QCOMPARE(settings.readAll(), QByteArray("Lati=34.5x\r\nLong=131.0082\r\nRang=0.002\r\nLat2=33.8714\r\n"
                                            "Lon2=130.9956\r\nRan2=0.002\r\nLat3=-0.0500\r\nLon3=0.0500\r\n"
                                            "Ran3=0.0500\r\n"));
}

void TestMapLink::desktopWithoutKmlProgramOpensTheMap()
{
    Workspace ws;
    ws.writeLog("20110407_AIS_FMT.log", day());
    Form1 form;
    form.setExitHandler([] {});
    QStringList handedOff;
    form.setShellOpener([&](const QString &path) { handedOff << path; return false; });
    selectTheDay(form);
    QTest::mouseClick(form.Command2, Qt::LeftButton);

    // The hand-off is made first, as always, with the file just written.
    QCOMPARE(handedOff.size(), 1);
    QVERIFY(handedOff[0].endsWith(QStringLiteral("/lb4velkais.kml")));
    QVERIFY(QFile::exists(handedOff[0]));
    QTRY_VERIFY(form.mapLink()->window());
    Map::MapWindow *map = form.mapLink()->window();
    QCOMPARE(map->trackCount(), std::size_t(1));
    // The KML view's points, though area A is on and holds none of them.
    const Map::Track &t = map->track(0);
    QCOMPARE(t.size(), std::size_t(3));
    QCOMPARE(t.position(1).lat, 33.9455);
    QCOMPARE(t.time(2), QStringLiteral("18:00:00"));
    QCOMPARE(t.speed(1), 11.5);
    QVERIFY(t.name.contains(QStringLiteral("KANMON MARU")));
}

void TestMapLink::desktopWithKmlProgramOpensNothingMore()
{
    Workspace ws;
    ws.writeLog("20110407_AIS_FMT.log", day());
    Form1 form;
    form.setExitHandler([] {});
    int handedOff = 0;
    form.setShellOpener([&](const QString &) { ++handedOff; return true; });
    selectTheDay(form);
    QTest::mouseClick(form.Command2, Qt::LeftButton);
    QCOMPARE(handedOff, 1);
    QTest::qWait(50);
    QVERIFY(!form.mapLink()->window());
}

void TestMapLink::ctrlMAddsTheSelectedDay()
{
    Workspace ws;
    ws.writeLog("20110407_AIS_FMT.log", day());
    Form1 form;
    form.setExitHandler([] {});
    form.show();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    selectTheDay(form);
    QTest::keyClick(&form, Qt::Key_M, Qt::ControlModifier);
    QVERIFY(form.mapLink()->window());
    QCOMPARE(form.mapLink()->window()->trackCount(), std::size_t(1));
    // Again: added to the open map, beside the first.
    form.mapLink()->showSelectedDay();
    QCOMPARE(form.mapLink()->window()->trackCount(), std::size_t(2));
}

QTEST_MAIN(TestMapLink)
#include "test_maplink.moc"
