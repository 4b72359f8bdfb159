#include "view_window/form2.h"

#include "platform/fonts.h"

#include <QtTest>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTemporaryDir>

using Module1::ViewChoice;
namespace Chart = Module1::Chart;

namespace {

bool allWhite(const QImage &image)
{
    const QImage plain = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            if (plain.pixel(x, y) != qRgb(255, 255, 255))
                return false;
    return true;
}

void drawChart(Form2 &form)
{
    for (const Module1::ChartPrimitive &p : Chart::frame())
        form.draw(p);
    for (const Module1::ChartPrimitive &p : Chart::hourLabels())
        form.draw(p);
    form.draw(Chart::countBar(5, 1));
}

} // namespace

class TestForm2 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Platform::installFontSubstitutions(); }

    void designTimeState();
    void prepareShowsControlsPerView_data();
    void prepareShowsControlsPerView();
    void secondViewStartsEmptyWithoutClosing();
    void drawReachesPicture1();
    void changeLinesOneUnderAnother();
    void text1FollowsWindowSize_data();
    void text1FollowsWindowSize();
    void closeMidReadThenMoreMarks();
    void imageFileName_data();
    void imageFileName();
    void chartExport();
};

void TestForm2::designTimeState()
{
    Form2 form;
    QVERIFY(form.isWindow());
    QCOMPARE(form.parentWidget(), nullptr);
    QCOMPARE(form.Picture1->objectName(), QStringLiteral("Picture1"));
    QCOMPARE(form.Label1->objectName(), QStringLiteral("Label1"));
    QCOMPARE(form.Text1->objectName(), QStringLiteral("Text1"));

    const QString heading = form.Label1->text();
    QCOMPARE(heading, QStringLiteral("Time        Destination    |    ETA    |    Draught    /    Status"));
    QCOMPARE(heading.size(), 66);
    QCOMPARE(form.Label1->parentWidget(), form.Picture1);
    QCOMPARE(form.Label1->geometry(), QRect(8, 0, 649, 25));
    QCOMPARE(form.Picture1->geometry(), QRect(8, 8, 665, 449));
    QCOMPARE(form.Text1->geometry(), QRect(8, 32, 665, 425));
    QCOMPARE(form.size(), QSize(680, 465));
    QVERIFY(form.Label1->isHidden());
    QVERIFY(form.Text1->isHidden());
    QVERIFY(form.Text1->toPlainText().isEmpty());
    QCOMPARE(form.Text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QVERIFY(allWhite(form.Picture1->canvas().image()));
}

void TestForm2::prepareShowsControlsPerView_data()
{
    QTest::addColumn<ViewChoice>("choice");
    QTest::addColumn<bool>("listShown");
    QTest::newRow("chart") << ViewChoice::Chart << false;
    QTest::newRow("change list") << ViewChoice::Changes << true;
}

void TestForm2::prepareShowsControlsPerView()
{
    QFETCH(ViewChoice, choice);
    QFETCH(bool, listShown);
    const QString caption = QStringLiteral("Drawing... 431000000 SHIPNAME - 20110407_AIS_FMT.log");
    Form2 form;
    form.prepare(choice, caption);
    QVERIFY(form.isVisible());
    QCOMPARE(form.windowTitle(), caption);
    QCOMPARE(form.Label1->isVisible(), listShown);
    QCOMPARE(form.Text1->isVisible(), listShown);
    QVERIFY(form.Picture1->isVisible());
    QCOMPARE(form.Text1->size(), QSize(665, 425));
}

void TestForm2::secondViewStartsEmptyWithoutClosing()
{
    Form2 form;
    form.prepare(ViewChoice::Changes, QStringLiteral("first"));
    drawChart(form);
    form.appendChangeLine(QStringLiteral("09:15:42 MOJI  |  04-07 15:00  |  5.2\r\n"));
    form.prepare(ViewChoice::Chart, QStringLiteral("second"));
    QVERIFY(allWhite(form.Picture1->canvas().image()));
    QVERIFY(form.Text1->toPlainText().isEmpty());
    QVERIFY(!form.Text1->isVisible());
    QVERIFY(!form.Label1->isVisible());
}

void TestForm2::drawReachesPicture1()
{
    Form2 form;
    form.prepare(ViewChoice::Chart, QStringLiteral("chart"));
    form.draw(Chart::countBar(5, 1));
    QCOMPARE(form.Picture1->canvas().image().pixelColor(132, 407), QColor(100, 150, 100));
    // The window shows what the canvas holds, at its own size.
    const QImage shown = form.Picture1->grab().toImage();
    QCOMPARE(shown.deviceIndependentSize(), QSizeF(665, 449));
    QCOMPARE(shown.pixelColor(QPointF(132, 407).toPoint() * shown.devicePixelRatio()), QColor(100, 150, 100));
}

void TestForm2::changeLinesOneUnderAnother()
{
    Form2 form;
    form.prepare(ViewChoice::Changes, QStringLiteral("list"));
    form.appendChangeLine(QStringLiteral("09:15:42 MOJI  |  04-07 15:00  |  5.2\r\n"));
    form.appendChangeLine(QStringLiteral("09:15:42 NAVIGATIONAL STATUS: UNDER WAY USING ENGINE\r\n"));
    form.appendChangeLine(QStringLiteral("10:00:00 Text telegram: \r\n"));
    QCOMPARE(form.Text1->toPlainText(),
             QStringLiteral("09:15:42 MOJI  |  04-07 15:00  |  5.2\n"
                            "09:15:42 NAVIGATIONAL STATUS: UNDER WAY USING ENGINE\n"
                            "10:00:00 Text telegram: "));
    QCOMPARE(form.Text1->blockCount(), 3);
}

void TestForm2::text1FollowsWindowSize_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QSize>("text1");
    QTest::newRow("design size") << QSize(680, 465) << QSize(665, 425);
    QTest::newRow("67 px wider, 20 px taller") << QSize(747, 485) << QSize(732, 445);
    QTest::newRow("smaller") << QSize(400, 300) << QSize(385, 260);
    QTest::newRow("tiny: never negative") << QSize(10, 30) << QSize(0, 0);
}

void TestForm2::text1FollowsWindowSize()
{
    QFETCH(QSize, window);
    QFETCH(QSize, text1);
    Form2 form;
    form.prepare(ViewChoice::Changes, QStringLiteral("list"));
    form.resize(window);
    QTRY_COMPARE(form.size(), window);
    QCOMPARE(form.Text1->size(), text1);
    QCOMPARE(form.Text1->pos(), QPoint(8, 32));
    QCOMPARE(form.Picture1->geometry(), QRect(8, 8, 665, 449));
    QCOMPARE(form.Label1->geometry(), QRect(8, 0, 649, 25));
}

void TestForm2::closeMidReadThenMoreMarks()
{
    Form2 form;
    QSignalSpy unloaded(&form, &Form2::unloaded);
    form.prepare(ViewChoice::Changes, QStringLiteral("Drawing... list"));
    drawChart(form);
    form.appendChangeLine(QStringLiteral("09:15:42 MOJI  |    |  \r\n"));

    QVERIFY(form.close());
    QCOMPARE(unloaded.count(), 1);
    QVERIFY(!form.isVisible());
    QVERIFY(form.Text1->isHidden());
    QVERIFY(form.Label1->isHidden());
    QVERIFY(form.Text1->toPlainText().isEmpty());
    QVERIFY(allWhite(form.Picture1->canvas().image()));

    // The read goes on into the closed window.
    for (int n = 1; n <= 200; ++n) {
        form.draw(Chart::countBar(7, n));
        form.draw(Chart::speedTick(7 * 3600 + n, 1e300));
    }
    form.appendChangeLine(QStringLiteral("09:20:00 NAVIGATIONAL STATUS: MOORED\r\n"));
    std::array<int, 25> counts{};
    counts[7] = 200;
    for (const Module1::ChartPrimitive &p : Chart::overflowCounts(counts))
        form.draw(p);
    form.setWindowTitle(QStringLiteral("list"));
    QCoreApplication::processEvents();
    QVERIFY(!form.isVisible());

    form.prepare(ViewChoice::Chart, QStringLiteral("next"));
    QVERIFY(allWhite(form.Picture1->canvas().image()));
    QVERIFY(form.Text1->toPlainText().isEmpty());
    QVERIFY(!form.Text1->isVisible());
    QVERIFY(!form.Label1->isVisible());
}

void TestForm2::imageFileName_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "431000000 SHIPNAME - 20110407_AIS_FMT.log"
                           << "431000000 SHIPNAME - 20110407_AIS_FMT.log.png";
    QTest::newRow("forbidden characters") << "Drawing... 431000000 A/B\\C:D*E?F\"G<H>I|J - x.log"
                                          << "Drawing... 431000000 A_B_C_D_E_F_G_H_I_J - x.log.png";
    QTest::newRow("control character") << QStringLiteral("a\tb") << "a_b.png";
    QTest::newRow("empty ship name ends in blanks") << "431000000  - " << "431000000  -.png";
    QTest::newRow("nothing left") << " . " << "chart.png";
}

void TestForm2::imageFileName()
{
    QFETCH(QString, caption);
    QFETCH(QString, name);
    QCOMPARE(chartImageFileName(caption), name);
}

void TestForm2::chartExport()
{
    Form2 form;
    form.prepare(ViewChoice::Chart, QStringLiteral("chart"));
    drawChart(form);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("chart.png"));
    QVERIFY(form.saveChartImage(path));
    QImage saved(path);
    QCOMPARE(saved.size(), form.Picture1->canvas().image().size());
    QCOMPARE(saved.pixelColor(132 * saved.devicePixelRatio(), 407 * saved.devicePixelRatio()), QColor(100, 150, 100));
    QVERIFY(!form.saveChartImage(dir.filePath(QStringLiteral("missing/chart.png"))));

    QApplication::clipboard()->clear();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
    const QImage copied = QApplication::clipboard()->image();
    QCOMPARE(copied.size(), form.Picture1->canvas().image().size());
    QCOMPARE(copied.convertToFormat(QImage::Format_RGB32), form.Picture1->canvas().image());
}

QTEST_MAIN(TestForm2)
#include "test_form2.moc"
