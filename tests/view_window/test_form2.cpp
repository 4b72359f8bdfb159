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
    QImage white(image.size(), QImage::Format_RGB32);
    white.fill(Qt::white);
    return image.convertToFormat(QImage::Format_RGB32) == white;
}

void drawChart(Form2 &form)
{
    for (const Module1::ChartPrimitive &p : Chart::frame())
        form.draw(p);
    form.draw(Chart::countBar(5, 1));
}

} // namespace

class TestForm2 : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Platform::installFontSubstitutions(); }

    void prepareShowsControlsPerView_data();
    void prepareShowsControlsPerView();
    void changeLinesOneUnderAnother();
    void text1FollowsWindowSize_data();
    void text1FollowsWindowSize();
    void closeMidReadThenMoreMarks();
    void everyViewAfterACloseStartsInTheDesignState();
    void captionShowsEveryCharacter();
    void chartExport();
};

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
    Form2 form;
    QCOMPARE(form.parentWidget(), nullptr);
    QCOMPARE(form.Label1->text(), QStringLiteral("Time        Destination    |    ETA    |    Draught    /    Status"));
    QCOMPARE(form.Label1->parentWidget(), form.Picture1);
    QVERIFY(form.Label1->isHidden() && form.Text1->isHidden());

    // A view left open (or closed mid-read) must not leak into the next one.
    form.prepare(ViewChoice::Changes, QStringLiteral("earlier"));
    drawChart(form);
    form.appendChangeLine(QStringLiteral("09:15:42 MOJI  |  04-07 15:00  |  5.2\r\n"));

    const QString caption = QStringLiteral("Drawing... 431000000 SHIPNAME - 20110407_AIS_FMT.log");
    form.prepare(choice, caption);
    QVERIFY(form.isVisible());
    QCOMPARE(form.caption(), caption);
    QCOMPARE(form.Label1->isVisible(), listShown);
    QCOMPARE(form.Text1->isVisible(), listShown);
    QVERIFY(form.Text1->toPlainText().isEmpty());
    QVERIFY(allWhite(form.Picture1->canvas().image()));
    QCOMPARE(form.size(), QSize(680, 465));
    QCOMPARE(form.Picture1->geometry(), QRect(8, 8, 665, 449));
    QCOMPARE(form.Label1->geometry(), QRect(8, 0, 649, 25));
    QCOMPARE(form.Text1->geometry(), QRect(8, 32, 665, 425));

    // What is drawn reaches the window, at its own size.
    form.draw(Chart::countBar(5, 1));
    const QImage shown = form.Picture1->grab().toImage();
    QCOMPARE(shown.pixelColor(QPoint(132, 407) * shown.devicePixelRatio()), QColor(100, 150, 100));
}

void TestForm2::everyViewAfterACloseStartsInTheDesignState()
{
    Form2 form;
    form.prepare(ViewChoice::Chart, QStringLiteral("first"));
    const QPoint centred = form.pos();
    form.resize(900, 700);
    form.move(centred + QPoint(40, 30));
    // While it stays open the user's size and place stand.
    form.prepare(ViewChoice::Changes, QStringLiteral("second"));
    QCOMPARE(form.size(), QSize(900, 700));

    form.close();
    form.prepare(ViewChoice::Changes, QStringLiteral("third"));
    QCOMPARE(form.size(), QSize(680, 465));
    QCOMPARE(form.pos(), centred);
    QCOMPARE(form.Text1->geometry(), QRect(8, 32, 665, 425));
}

void TestForm2::captionShowsEveryCharacter()
{
    Form2 form;
    const QString caption = QStringLiteral("431000000 A[*]B [*][*] - 20110407_AIS_FMT.log");
    for (const QString &c : {QStringLiteral("Drawing... ") + caption, caption}) {
        form.prepare(ViewChoice::Chart, c);
        QCOMPARE(form.caption(), c);
        QCOMPARE(form.windowHandle()->title(), c);
    }
}

void TestForm2::changeLinesOneUnderAnother()
{
    Form2 form;
    form.prepare(ViewChoice::Changes, QStringLiteral("list"));
    form.appendChangeLine(QStringLiteral("09:15:42 MOJI  |  04-07 15:00  |  5.2\r\n"));
    form.appendChangeLine(QStringLiteral("09:15:42 NAVIGATIONAL STATUS: UNDER WAY USING ENGINE\r\n"));
    form.appendChangeLine(QStringLiteral("10:00:00 Text telegram: \r\n"));
    QCOMPARE(form.Text1->toPlainText(), QStringLiteral("09:15:42 MOJI  |  04-07 15:00  |  5.2\n"
                                                       "09:15:42 NAVIGATIONAL STATUS: UNDER WAY USING ENGINE\n"
                                                       "10:00:00 Text telegram: "));
}

void TestForm2::text1FollowsWindowSize_data()
{
    QTest::addColumn<QSize>("window");
    QTest::addColumn<QSize>("text1");
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
    QCOMPARE(form.Text1->geometry(), QRect(QPoint(8, 32), text1));
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
    QVERIFY(form.Text1->isHidden() && form.Label1->isHidden());
    QVERIFY(form.Text1->toPlainText().isEmpty());
    QVERIFY(allWhite(form.Picture1->canvas().image()));

    // The read goes on into the closed window.
    for (int n = 1; n <= 200; ++n) {
        form.draw(Chart::countBar(7, n));
        form.draw(Chart::speedTick(7 * 3600 + n, 1e300));
    }
    form.appendChangeLine(QStringLiteral("09:20:00 NAVIGATIONAL STATUS: MOORED\r\n"));
    QCoreApplication::processEvents();
    QVERIFY(!form.isVisible());

    form.prepare(ViewChoice::Chart, QStringLiteral("next"));
    QVERIFY(allWhite(form.Picture1->canvas().image()));
    QVERIFY(form.Text1->toPlainText().isEmpty());
    QVERIFY(!form.Text1->isVisible());
}

void TestForm2::chartExport()
{
    QCOMPARE(chartImageFileName(QStringLiteral("Drawing... 431000000 A/B\\C:D*E?F\"G<H>I|J - x.log")),
             QStringLiteral("Drawing... 431000000 A_B_C_D_E_F_G_H_I_J - x.log.png"));
    QCOMPARE(chartImageFileName(QStringLiteral("431000000  - ")), QStringLiteral("431000000  -.png"));

    Form2 form;
    form.prepare(ViewChoice::Chart, QStringLiteral("chart"));
    drawChart(form);
    const QImage &chart = form.Picture1->canvas().image();

    QTemporaryDir dir;
    QVERIFY(form.saveChartImage(dir.filePath(QStringLiteral("chart.png"))));
    QCOMPARE(QImage(dir.filePath(QStringLiteral("chart.png"))).convertToFormat(QImage::Format_RGB32), chart);
    QVERIFY(!form.saveChartImage(dir.filePath(QStringLiteral("missing/chart.png"))));

    QApplication::clipboard()->clear();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), chart);
}

QTEST_MAIN(TestForm2)
#include "test_form2.moc"
