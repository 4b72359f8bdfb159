#include "engine/module1.h"
#include "main_window/form1.h"
#include "main_window/passnotice.h"
#include "platform/desktop.h"
#include "platform/fonts.h"
#include "support/workspace.h"
#include "view_window/form2.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QBuffer>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <memory>

namespace {

const QString kSettings = QStringLiteral("VelkaisLogBrowser.ini");
constexpr int kAreaFields[9] = {4, 5, 6, 9, 10, 11, 12, 13, 14};
const char *const kInitialArea[9] = {"33.7761", "131.0082", "0.002", "33.8714", "130.9956",
                                     "0.002",   "33.9683",  "130.9747", "0.02"};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QImage stripes(int width, int height)
{
    // Red top-left quarter, so a picture shown from its top-left corner is red there.
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(0, 0, 200));
    for (int y = 0; y < height / 2; ++y)
        for (int x = 0; x < width / 2; ++x)
            image.setPixel(x, y, qRgb(220, 0, 0));
    return image;
}

// Three days, one ship each, so how far a Search got shows in List1.
void writeThreeDays(const Workspace &ws)
{
    ws.writeLog("20110405_AIS_FMT.log", logRecord("01:00:00", "431000001", "FIRST", "34", "131", "5"));
    ws.writeLog("20110406_AIS_FMT.log", logRecord("01:00:00", "431000002", "SECOND", "34", "131", "5"));
    ws.writeLog("20110407_AIS_FMT.log", logRecord("01:00:00", "431000003", "THIRD", "34", "131", "5"));
}

void setPeriod(Form1 &form, const QString &first, const QString &last)
{
    form.Text1[7]->setText(first);
    form.Text1[8]->setText(last);
}

// Stands in for the desktop's handler of file URLs.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl &url) { urls << url; }
};

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT

private slots:
    void init() { Module1::resetState(); }

    void startsWithDefaults();
    void controlsArePlaced_data();
    void controlsArePlaced();
    void tabOrderFollowsTheForm();
    void optionsStartUnchosenAndStayExclusive();

    void settingsAreRead_data();
    void settingsAreRead();
    void hostileSettingsFilesAreSurvived_data();
    void hostileSettingsFilesAreSurvived();
    void closingWritesTheNineLines();
    void closingWithAnUnwritableSettingsFileStillEnds();

    void areaRowsFollowTheirBoxes();

    void setPicShowsOnlyNineCharacterNames_data();
    void setPicShowsOnlyNineCharacterNames();
    void truncatedPhotographIsSurvived();
    void typingTheNinthCharacterShowsThePhotograph();
    void largePhotographIsClippedNotDecodedWhole();

    void searchSelectsTheFirstShipThroughTheList();
    void clearingTheShipListStartsNoSelection();
    void escapeStopsARunningPass();
    void escapeStopsOnlyThePassUnderWay();
    void clickOnTheSelectedShipListsItsDaysAgain();
    void listsKeepTheirSelection();
    void stoppedSelectionAddsToAStoppedSearch();
    void nothingToReadIsNoticed();
    void unreadableFileIsNoticedUntilACompleteSearch();
    void settingsRewrittenInAReadOnlyFolder();
    void closingDuringAPassStopsIt();
    void closingTheViewWindowBringsTheMainWindowBack();
    void defaultExitQuitsAndLeavesTheViewWindowClosed();
    void defaultExitDuringAPassEndsTheProcess();
    void shellHandOffOpensTheFile();
};

void TestForm1::startsWithDefaults()
{
    Workspace ws;
    Form1 form;
    const QString today = QDate::currentDate().toString("yyyyMMdd");
    QCOMPARE(form.Text1[7]->text(), today);
    QCOMPARE(form.Text1[8]->text(), today);
    QCOMPARE(form.Text1[0]->text(), QString());
    for (int k = 0; k < 9; ++k)
        QCOMPARE(form.Text1[kAreaFields[k]]->text(), QString::fromLatin1(kInitialArea[k]));
    QCOMPARE(form.Combo1->currentIndex(), 0);
    QCOMPARE(form.Combo1->count(), 3);
    QCOMPARE(form.Combo1->itemText(1), QStringLiteral("Speed expressed by altitude(X10)"));
    QVERIFY(!form.Combo1->isEditable());
    for (int k = 0; k < 3; ++k) {
        QVERIFY(!form.Check1[k]->isChecked());
        QVERIFY(form.Frame1[k]->isHidden());
    }
    QVERIFY(!form.Command2->isEnabled());
    QVERIFY(form.Command1->isEnabled());
    QCOMPARE(form.List1->count(), 0);
    QCOMPARE(form.List2->count(), 0);
    QVERIFY(form.Picture1->pixmap().isNull());
    QCOMPARE(form.Label2->text(), QString());
    QVERIFY(!form.Label3->text().isEmpty());
    QCOMPARE(form.windowTitle(), QStringLiteral("Log Browser for VELK-AIS"));
    QCOMPARE(form.size(), QSize(747, 489));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(!form.windowIcon().isNull());
    QVERIFY(!form.Image1[0]->pixmap().isNull());
    QCOMPARE(form.focusWidget(), form.Text1[7]);
    QVERIFY(!form.passRunning());
    QVERIFY(Module1::host() != nullptr);
    QCOMPARE(Module1::host()->viewChoice(), Module1::ViewChoice::None);
    QCOMPARE(Module1::host()->altitudeRule(), 0);
    // Indices that belong to no control.
    QVERIFY(!form.Text1[1] && !form.Text1[3] && !form.Label1[2] && !form.Option1[1]);
}

void TestForm1::controlsArePlaced_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("toolTip");

    const QString period = QStringLiteral("検索するログファイルの期間を指定します。対象とする期間が長いと処理に時間がかかることがあります。");
    QTest::newRow("Text1(7)") << "Text1(7)" << "Form1" << QRect(64, 8, 97, 23) << QString() << period;
    QTest::newRow("Text1(0)") << "Text1(0)" << "Form1" << QRect(64, 40, 105, 23) << QString()
                              << QStringLiteral("検索するMMSIコードを記入します。");
    QTest::newRow("Check1(2)") << "Check1(2)" << "Form1" << QRect(64, 136, 41, 17) << "C)"
                               << QStringLiteral("指定した座標付近のログを検索します。");
    QTest::newRow("Frame1(1)") << "Frame1(1)" << "Form1" << QRect(112, 104, 377, 25) << QString() << QString();
    QTest::newRow("Text1(9)") << "Text1(9)" << "Frame1(1)" << QRect(16, 0, 89, 23) << QString()
                              << QStringLiteral("緯度を指定します。");
    QTest::newRow("Label1(17)") << "Label1(17)" << "Frame1(2)" << QRect(112, 0, 33, 25) << ", E" << QString();
    QTest::newRow("Text1(13)") << "Text1(13)" << "Frame1(2)" << QRect(136, 0, 89, 23) << QString()
                               << QStringLiteral("経度を指定します。");
    QTest::newRow("Text1(6)") << "Text1(6)" << "Frame1(0)" << QRect(256, 0, 89, 23) << QString() << QString();
    QTest::newRow("Command1") << "Command1" << "Form1" << QRect(48, 168, 249, 33) << "Search" << QString();
    QTest::newRow("Image1(0)") << "Image1(0)" << "Form1" << QRect(152, 208, 32, 32) << QString() << QString();
    QTest::newRow("List1") << "List1" << "Form1" << QRect(8, 272, 257, 208) << QString() << QString();
    QTest::newRow("Command2") << "Command2" << "Form1" << QRect(488, 288, 249, 33) << "Open" << QString();
    QTest::newRow("Option1(3)") << "Option1(3)" << "Form1" << QRect(496, 392, 249, 19) << "Google Earth"
                                << QStringLiteral("Google Earth で航跡を表示します。");
    QTest::newRow("Combo1") << "Combo1" << "Form1" << QRect(520, 416, 209, 20) << QString()
                            << QStringLiteral("速度を高度で表現します。一定の高度での表示も選択できます。");
    QTest::newRow("Picture1") << "Picture1" << "Form1" << QRect(520, 24, 203, 136) << QString() << QString();
    QTest::newRow("Label3") << "Label3" << "Form1" << QRect(448, 464, 297, 25) << QString() << QString();
}

void TestForm1::controlsArePlaced()
{
    QFETCH(QString, name);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, toolTip);

    Workspace ws;
    Form1 form;
    auto *widget = form.findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QCOMPARE(widget->parentWidget()->objectName(), parentName);
    QCOMPARE(widget->geometry(), geometry);
    QCOMPARE(widget->toolTip(), toolTip);
    if (!text.isEmpty()) {
        QString shown;
        if (auto *label = qobject_cast<QLabel *>(widget))
            shown = label->text();
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            shown = button->text();
        QCOMPARE(shown, text);
    }
}

void TestForm1::tabOrderFollowsTheForm()
{
    Workspace ws;
    Form1 form;
    const QList<QWidget *> expected = {
        form.Text1[7],   form.Text1[8],   form.Text1[0],   form.Check1[0], form.Text1[4],  form.Text1[5],
        form.Text1[6],   form.Command1,   form.List1,      form.List2,     form.Option1[0], form.Option1[2],
        form.Option1[3], form.Combo1,     form.Command2,   form.Picture1,  form.Check1[1], form.Check1[2],
        form.Text1[9],   form.Text1[10],  form.Text1[11],  form.Text1[12], form.Text1[13], form.Text1[14]};
    QList<QWidget *> chain;
    QWidget *w = form.Text1[7];
    do {
        if (expected.contains(w))
            chain << w;
        w = w->nextInFocusChain();
    } while (w != form.Text1[7] && chain.size() < 100);
    QCOMPARE(chain, expected);

    // Fonts travel with the same controls; faces are asked for by their Windows names.
    QCOMPARE(form.Text1[12]->font().family(), Platform::kGothic);
    QCOMPARE(form.Text1[12]->font().pointSizeF(), 14.25);
    QCOMPARE(form.List2->font().family(), Platform::kPGothic);
    QCOMPARE(form.Label1[16]->font().family(), Platform::kPGothic);
    QCOMPARE(form.Option1[2]->font().pointSizeF(), 11.25);
    QCOMPARE(form.Label3->font().pointSizeF(), 9.75);
    QCOMPARE(form.Command1->font().family(), Platform::kArial);
    QCOMPARE(form.Command1->font().pointSizeF(), 12.0);
}

void TestForm1::optionsStartUnchosenAndStayExclusive()
{
    Workspace ws;
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(form.Option1[2], Qt::LeftButton, {}, QPoint(6, 9));
    QCOMPARE(Module1::host()->viewChoice(), Module1::ViewChoice::Changes);
    QTest::mouseClick(form.Option1[0], Qt::LeftButton, {}, QPoint(6, 9));
    QVERIFY(!form.Option1[2]->isChecked());
    QCOMPARE(Module1::host()->viewChoice(), Module1::ViewChoice::Chart);
    // A chosen option cannot be unchosen by clicking it again.
    QTest::mouseClick(form.Option1[0], Qt::LeftButton, {}, QPoint(6, 9));
    QCOMPARE(Module1::host()->viewChoice(), Module1::ViewChoice::Chart);
    QTest::mouseClick(form.Option1[3], Qt::LeftButton, {}, QPoint(6, 9));
    QCOMPARE(Module1::host()->viewChoice(), Module1::ViewChoice::Kml);
    form.Combo1->setCurrentIndex(2);
    QCOMPARE(Module1::host()->altitudeRule(), 2);
}

void TestForm1::settingsAreRead_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("expected");

    QTest::newRow("key inside the item") << QByteArray("xLati=5\r\n") << 4 << "5";
    QTest::newRow("keys are case-sensitive") << QByteArray("lati=5\r\n") << 4 << "33.7761";
    QTest::newRow("value after the first =") << QByteArray("Lati=1=2\r\n") << 4 << "1=2";
    QTest::newRow("first = of the item, not of the key") << QByteArray("a=b Lati=5\r\n") << 4 << "b Lati=5";
    QTest::newRow("earlier key of the table wins") << QByteArray("Long=Lati=5\r\n") << 4 << "Lati=5";
    QTest::newRow("bare key empties the field") << QByteArray("Lati=\r\n") << 4 << "";
    QTest::newRow("comma ends the value") << QByteArray("Lati=33,5\r\n") << 4 << "33";
    QTest::newRow("later line wins") << QByteArray("Ran2=1\r\nRan2=2\r\n") << 11 << "2";
    QTest::newRow("LF line ends") << QByteArray("Lat3=1\nLon3=2\nRan3=3") << 14 << "3";
    QTest::newRow("UTF-8") << QByteArray("Lat2=\xe5\x8c\x97\r\n") << 9 << QStringLiteral("北");
    QTest::newRow("Latin-1 fallback") << QByteArray("Lat2=\xe9\r\n") << 9 << QStringLiteral("é");
    QTest::newRow("empty file") << QByteArray() << 12 << "33.9683";
}

void TestForm1::settingsAreRead()
{
    QFETCH(QByteArray, content);
    QFETCH(int, field);
    QFETCH(QString, expected);

    Workspace ws;
    ws.write("work/" + kSettings, content);
    Form1 form;
    QCOMPARE(form.Text1[field]->text(), expected);
    // Settings never touch the period or the boxes.
    QCOMPARE(form.Text1[7]->text(), QDate::currentDate().toString("yyyyMMdd"));
    QVERIFY(form.Frame1[0]->isHidden());
}

void TestForm1::hostileSettingsFilesAreSurvived_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("latitude");

    QByteArray garbage(256 * 1024, '\0');
    QRandomGenerator random(42);
    for (char &c : garbage)
        c = static_cast<char>(random.bounded(256));
    QTest::newRow("binary garbage") << garbage << QString();
    const QByteArray longValue(10000, '7');
    QTest::newRow("10,000-character line") << QByteArray("Lati=" + longValue + "\r\nLong=2\r\n")
                                           << QString::fromLatin1(longValue);
    QTest::newRow("no line end at all") << QByteArray(300 * 1024, 'x') << "33.7761";
    QTest::newRow("NUL bytes in a value") << QByteArray("Lati=1\0002\r\n", 10) << QStringLiteral("1\u00002");
}

void TestForm1::hostileSettingsFilesAreSurvived()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, latitude);

    Workspace ws;
    ws.write("work/" + kSettings, content);
    Form1 form;
    if (!latitude.isEmpty())
        QCOMPARE(form.Text1[4]->text(), latitude);
    bool exited = false;
    form.setExitHandler([&] { exited = true; });
    form.close();
    QVERIFY(exited);
    QCOMPARE(readAll(kSettings).count("\r\n"), 9);
}

void TestForm1::closingWritesTheNineLines()
{
    Workspace ws;
    Form1 form;
    int exits = 0;
    form.setExitHandler([&] { ++exits; });
    form.Check1[1]->setChecked(true);
    form.Text1[6]->clear();
    form.Text1[9]->setText(QStringLiteral("北緯33"));
    form.Text1[13]->setText(QStringLiteral("a=b"));
    form.close();

    QCOMPARE(exits, 1);
    QCOMPARE(readAll(kSettings), QByteArray("Lati=33.7761\r\nLong=131.0082\r\nRang=\r\nLat2=\xe5\x8c\x97\xe7\xb7\xaf"
                                            "33\r\nLon2=130.9956\r\nRan2=0.002\r\nLat3=33.9683\r\nLon3=a=b\r\n"
                                            "Ran3=0.02\r\n"));
    // No temporary file is left beside it.
    QCOMPARE(QDir().entryList(QDir::Files), QStringList{kSettings});
}

void TestForm1::closingWithAnUnwritableSettingsFileStillEnds()
{
    Workspace ws;
    // A folder in the file's place cannot be replaced by a file.
    QVERIFY(QDir().mkdir(kSettings));
    Form1 form;
    QCOMPARE(form.Text1[4]->text(), QStringLiteral("33.7761"));
    bool exited = false;
    form.setExitHandler([&] { exited = true; });
    form.close();
    QVERIFY(exited);
    QVERIFY(QFileInfo(kSettings).isDir());
}

void TestForm1::areaRowsFollowTheirBoxes()
{
    Workspace ws;
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.Text1[10]->setText(QStringLiteral("kept"));

    QTest::mouseClick(form.Check1[1], Qt::LeftButton, {}, QPoint(5, 8));
    QVERIFY(form.Check1[1]->isChecked());
    QVERIFY(form.Frame1[1]->isVisible());
    QVERIFY(form.Text1[10]->isVisible());
    QVERIFY(form.Frame1[0]->isHidden());
    QVERIFY(form.Frame1[2]->isHidden());

    QTest::mouseClick(form.Check1[1], Qt::LeftButton, {}, QPoint(5, 8));
    QVERIFY(form.Frame1[1]->isHidden());
    QCOMPARE(form.Text1[10]->text(), QStringLiteral("kept"));
    QVERIFY(Module1::host()->criteria().areaOn == (std::array<bool, 3>{false, false, false}));

    form.Check1[2]->setChecked(true);
    QVERIFY(form.Frame1[2]->isVisible());
    const Module1::Criteria c = Module1::host()->criteria();
    QVERIFY(c.areaOn[2]);
    QCOMPARE(c.latitude[2], 33.9683);
    QCOMPARE(c.longitude[2], 130.9747);
    QCOMPARE(c.range[2], 0.02);
    QCOMPARE(c.longitude[1], 0.0);  // "kept" holds no number
}

void TestForm1::setPicShowsOnlyNineCharacterNames_data()
{
    QTest::addColumn<QString>("mmsi");
    QTest::addColumn<bool>("shown");

    QTest::newRow("nine with a photograph") << "431000000" << true;
    QTest::newRow("nine, not digits") << "abcdefghi" << true;
    QTest::newRow("eight with a file of that name") << "43100000" << false;
    QTest::newRow("ten with a file of that name") << "4310000000" << false;
    QTest::newRow("nine without a file") << "431999999" << false;
    QTest::newRow("nine, the file is no picture") << "000000000" << false;
    QTest::newRow("nine, a folder of that name") << "111111111" << false;
    QTest::newRow("nine, a JPEG header and nothing else") << "222222222" << false;
    QTest::newRow("nine question marks") << "?????????" << false;
    QTest::newRow("empty") << "" << false;
}

void TestForm1::setPicShowsOnlyNineCharacterNames()
{
    QFETCH(QString, mmsi);
    QFETCH(bool, shown);

    Workspace ws;
    for (const char *name : {"431000000", "abcdefghi", "43100000", "4310000000"})
        QVERIFY(stripes(120, 80).save(ws.path(QStringLiteral("pics/%1.jpg").arg(name)), "JPG"));
    ws.write("pics/000000000.jpg", "this is not a picture\n");
    ws.write("pics/222222222.jpg", QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11));
    QVERIFY(QDir(ws.path("pics")).mkdir("111111111.jpg"));

    Form1 form;
    // Whatever the box showed before is replaced or emptied.
    form.setPic(QStringLiteral("431000000"));
    QVERIFY(!form.Picture1->pixmap().isNull());
    form.setPic(mmsi);
    QCOMPARE(!form.Picture1->pixmap().isNull(), shown);
    if (shown) {
        // At its own size, not scaled to the box.
        QCOMPARE(form.Picture1->pixmap().size(), QSize(120, 80));
        QCOMPARE(form.Picture1->alignment(), Qt::AlignLeft | Qt::AlignTop);
    }
    QCOMPARE(form.Text1[0]->text(), QString());
}

// A photograph cut off in the middle shows what could be decoded, or nothing;
// it never takes the window down.
void TestForm1::truncatedPhotographIsSurvived()
{
    Workspace ws;
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(stripes(400, 300).save(&buffer, "JPG"));
    ws.write("pics/431000000.jpg", jpeg.left(jpeg.size() / 2));
    Form1 form;
    form.setPic(QStringLiteral("431000000"));
    QVERIFY(form.Picture1->pixmap().isNull() || form.Picture1->pixmap().width() <= 203);
}

void TestForm1::typingTheNinthCharacterShowsThePhotograph()
{
    Workspace ws;
    QVERIFY(stripes(50, 40).save(ws.path("pics/431000000.jpg"), "JPG"));
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::keyClicks(form.Text1[0], QStringLiteral("43100000"));
    QVERIFY(form.Picture1->pixmap().isNull());
    QTest::keyClick(form.Text1[0], Qt::Key_0);
    QVERIFY(!form.Picture1->pixmap().isNull());
    QTest::keyClick(form.Text1[0], Qt::Key_1);
    QVERIFY(form.Picture1->pixmap().isNull());
    QTest::keyClick(form.Text1[0], Qt::Key_Backspace);
    QVERIFY(!form.Picture1->pixmap().isNull());
}

void TestForm1::largePhotographIsClippedNotDecodedWhole()
{
    Workspace ws;
    QVERIFY(stripes(3000, 2400).save(ws.path("pics/431000000.jpg"), "JPG"));
    Form1 form;

    // Decoding the whole picture would need about 28 MB; the box needs 110 kB.
    const int previousLimit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(2);
    form.setPic(QStringLiteral("431000000"));
    QImageReader::setAllocationLimit(previousLimit);

    const QPixmap shown = form.Picture1->pixmap();
    QCOMPARE(shown.size(), QSize(203, 136));
    const QColor corner = shown.toImage().pixelColor(100, 60);
    QVERIFY2(corner.red() > 180 && corner.blue() < 60, qPrintable(corner.name()));
}

void TestForm1::searchSelectsTheFirstShipThroughTheList()
{
    Workspace ws;
    writeThreeDays(ws);
    QVERIFY(stripes(60, 40).save(ws.path("pics/431000002.jpg"), "JPG"));
    Form1 form;
    form.show();
    setPeriod(form, "20110406", "20110407");
    QTest::mouseClick(form.Command1, Qt::LeftButton);

    QCOMPARE(form.List1->count(), 2);
    QCOMPARE(form.List1->item(0)->text(), QStringLiteral("431000002 SECOND"));
    QCOMPARE(form.List1->currentRow(), 0);
    // The ship selection ran inside the Search: photograph, file list, Open.
    QVERIFY(!form.Picture1->pixmap().isNull());
    QCOMPARE(form.List2->count(), 1);
    QCOMPARE(form.List2->item(0)->text(), QStringLiteral("20110406_AIS_FMT.log"));
    QVERIFY(form.List2->item(0)->isSelected());
    QVERIFY(form.Command2->isEnabled());
    QVERIFY(form.Command1->isEnabled() && form.List1->isEnabled() && form.List2->isEnabled());
    QCOMPARE(form.Label2->text(), QString());
    QVERIFY(!form.passRunning());

    // A click on the second ship runs its selection.
    QTest::mouseClick(form.List1->viewport(), Qt::LeftButton, {},
                      form.List1->visualItemRect(form.List1->item(1)).center());
    QCOMPARE(form.List2->count(), 1);
    QCOMPARE(form.List2->item(0)->text(), QStringLiteral("20110407_AIS_FMT.log"));
    QVERIFY(form.Picture1->pixmap().isNull());
    QCOMPARE(form.Text1[0]->text(), QString());
}

void TestForm1::clearingTheShipListStartsNoSelection()
{
    Workspace ws;
    writeThreeDays(ws);
    Form1 form;
    setPeriod(form, "20110405", "20110407");
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QCOMPARE(form.List1->count(), 3);
    form.List2->addItem(QStringLiteral("marker"));

    Module1::host()->clearShips();
    QCOMPARE(form.List1->count(), 0);
    // A ship selection would have emptied List2 first.
    QCOMPARE(form.List2->item(form.List2->count() - 1)->text(), QStringLiteral("marker"));
}

void TestForm1::escapeStopsARunningPass()
{
    Workspace ws;
    writeThreeDays(ws);
    Form1 form;
    form.show();
    setPeriod(form, "20110405", "20110407");

    bool sawPass = false;
    QTimer::singleShot(0, &form, [&] {
        sawPass = form.passRunning();
        QTest::keyClick(form.Text1[0], Qt::Key_Escape);
    });
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QVERIFY(sawPass);
    QVERIFY(form.List1->count() < 3);
    QVERIFY(form.Command1->isEnabled());

    // Escape outside a pass changes nothing; the next Search starts afresh.
    QTest::keyClick(form.Text1[0], Qt::Key_Escape);
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QCOMPARE(form.List1->count(), 3);
    QCOMPARE(form.List2->count(), 1);
}

namespace {

// Presses Escape at the first event-loop turn in which the status line names `file`.
void escapeWhenReading(Form1 &form, const QString &file)
{
    auto *timer = new QTimer(&form);
    QObject::connect(timer, &QTimer::timeout, &form, [&form, timer, file] {
        if (form.Label2->text().contains(file)) {
            timer->stop();
            QTest::keyClick(form.Text1[0], Qt::Key_Escape);
        }
    });
    timer->start(0);
}

void clickItem(QListWidget *list, int row, Qt::KeyboardModifiers modifiers = {})
{
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, list->visualItemRect(list->item(row)).center());
}

} // namespace

void TestForm1::escapeStopsOnlyThePassUnderWay()
{
    Workspace ws;
    writeThreeDays(ws);
    Form1 form;
    form.show();
    const QString usual = form.Label3->text();
    const QRect place = form.Label3->geometry();
    setPeriod(form, "20110405", "20110407");
    escapeWhenReading(form, "20110406");
    QTest::mouseClick(form.Command1, Qt::LeftButton);

    // The stopped Search selected its first ship, whose days were all listed.
    QCOMPARE(form.List1->count(), 1);
    QCOMPARE(form.List2->count(), 1);
    QVERIFY(form.List2->item(0)->isSelected());
    QVERIFY(form.Command2->isEnabled());
    QCOMPARE(form.Label3->text(), QStringLiteral("Search stopped at 20110406_AIS_FMT.log"));
    QCOMPARE(form.Label3->geometry(), place);

    // The ship list is still the stopped Search's, whatever is selected since.
    clickItem(form.List1, 0);
    QCOMPARE(form.List2->count(), 1);
    QCOMPARE(form.Label3->text(), QStringLiteral("Search stopped at 20110406_AIS_FMT.log"));
    // The details name the days the list leaves out, by their full paths.
    QTest::keyClick(&form, Qt::Key_I, Qt::ControlModifier);
    const QString logs = QFileInfo(ws.logs()).canonicalFilePath();
    // Windows shows the paths with its own separators.
    const QString text =
        QDir::fromNativeSeparators(form.passNotice()->detailsWindow()->findChild<QPlainTextEdit *>()->toPlainText());
    QVERIFY2(text.contains("not read:\n    " + logs + "/20110406_AIS_FMT.log (read in part)\n    " + logs +
                           "/20110407_AIS_FMT.log"),
             qPrintable(text));
    QVERIFY(!text.contains("20110405"));

    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QCOMPARE(form.List1->count(), 3);
    QCOMPARE(form.Label3->text(), usual);
    QVERIFY(form.passNotice()->detailsWindow()->findChild<QPlainTextEdit *>()->toPlainText().contains("every day log"));
}

// A stopped ship selection adds to the stopped Search whose list it read
// from; a complete one takes only its own share away again.
void TestForm1::stoppedSelectionAddsToAStoppedSearch()
{
    Workspace ws;
    writeThreeDays(ws);
    ws.writeLog("20110408_AIS_FMT.log", logRecord("01:00:00", "431000001", "FIRST", "34", "131", "5"));
    Form1 form;
    form.show();
    setPeriod(form, "20110405", "20110408");
    escapeWhenReading(form, "20110406");
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QCOMPARE(form.List1->count(), 1);
    escapeWhenReading(form, "20110407");
    clickItem(form.List1, 0);
    QCOMPARE(form.List2->count(), 1);
    const QString label = form.Label3->text();
    QVERIFY2(label.startsWith(QStringLiteral("Search stopped: 20110406, selection: 20110407")), qPrintable(label));
    QVERIFY(form.Label3->toolTip().contains("ship selection stopped at 20110407_AIS_FMT.log"));

    clickItem(form.List1, 0);
    QCOMPARE(form.List2->count(), 2);
    QCOMPARE(form.Label3->text(), QStringLiteral("Search stopped at 20110406_AIS_FMT.log"));
}

// An empty period or a missing log folder ends as quietly as ever (empty
// lists, no message box), but the notice line tells it from a quiet sea.
void TestForm1::nothingToReadIsNoticed()
{
    Workspace ws;
    writeThreeDays(ws);
    Form1 form;
    form.show();
    const QString usual = form.Label3->text();
    setPeriod(form, "20300101", "20300102");
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QCOMPARE(form.List1->count(), 0);
    QCOMPARE(form.Label3->text(), QStringLiteral("no day log between 20300101 and 20300102"));

    setPeriod(form, "20110405", "20110405");
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QCOMPARE(form.Label3->text(), usual);

    QVERIFY(QDir(ws.logs()).removeRecursively());
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QCOMPARE(form.List1->count(), 0);
    QCOMPARE(form.Label3->text(), QStringLiteral("no day logs in ../logs"));
    QVERIFY(QDir::fromNativeSeparators(form.Label3->toolTip())
                .contains("there is no folder " + QFileInfo(ws.path("")).canonicalFilePath() + "/logs"));
}

void TestForm1::clickOnTheSelectedShipListsItsDaysAgain()
{
    Workspace ws;
    writeThreeDays(ws);
    ws.writeLog("20110408_AIS_FMT.log", logRecord("01:00:00", "431000001", "FIRST", "34", "131", "5"));
    Form1 form;
    form.show();
    setPeriod(form, "20110405", "20110407");
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QCOMPARE(form.List2->count(), 1);

    int selections = 0;
    connect(form.List2->model(), &QAbstractItemModel::modelReset, &form, [&] { ++selections; });
    form.Text1[8]->setText("20110408");
    clickItem(form.List1, 0);
    QCOMPARE(selections, 1);
    QCOMPARE(form.List2->count(), 2);
    clickItem(form.List1, 1);
    QCOMPARE(selections, 2);
    QCOMPARE(form.List2->item(0)->text(), QStringLiteral("20110406_AIS_FMT.log"));
}

void TestForm1::listsKeepTheirSelection()
{
    Workspace ws;
    writeThreeDays(ws);
    Form1 form;
    form.show();
    setPeriod(form, "20110405", "20110407");
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    for (QListWidget *list : {static_cast<QListWidget *>(form.List1), static_cast<QListWidget *>(form.List2)}) {
        clickItem(list, 0, Qt::ControlModifier);
        QVERIFY(list->item(0)->isSelected());
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
        QVERIFY(list->item(0)->isSelected());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, list->viewport()->height() - 3));
        QVERIFY(list->item(0)->isSelected());
    }
    QVERIFY(form.Command2->isEnabled());
}

void TestForm1::unreadableFileIsNoticedUntilACompleteSearch()
{
    Workspace ws;
    writeThreeDays(ws);
    Form1 form;
    form.show();
    const QString usual = form.Label3->text();
    setPeriod(form, "20110405", "20110407");
    // Removed after the folder was listed: as a file the receiver holds open.
    // One thread: a worker reading ahead may have read the file before the
    // pass's first turn removes it.
    const QString third = ws.logs() + "/20110407_AIS_FMT.log";
    QTimer::singleShot(0, &form, [&] { QFile::remove(third); });
    Module1::setReadJobs(1);
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    Module1::setReadJobs(0);

    QCOMPARE(form.List1->count(), 2);
    QCOMPARE(form.Label3->text(), QStringLiteral("1 log file could not be read - details: Ctrl+I"));
    QTest::keyClick(&form, Qt::Key_I, Qt::ControlModifier);
    QDialog *details = form.passNotice()->detailsWindow();
    QVERIFY(details && details->isVisible() && !details->isModal());
    QVERIFY(details->windowTitle().startsWith("Day logs not read"));
    const QString text = QDir::fromNativeSeparators(details->findChild<QPlainTextEdit *>()->toPlainText());
    QVERIFY2(text.contains("Search could not read:\n    " + QFileInfo(ws.logs()).canonicalFilePath() +
                           "/20110407_AIS_FMT.log could not be read: "),
             qPrintable(text));
    auto *buttons = details->findChild<QDialogButtonBox *>();
    QVERIFY(buttons && buttons->button(QDialogButtonBox::Close));
    buttons->button(QDialogButtonBox::Close)->click();
    QVERIFY(!details->isVisible());

    // The ship selection that follows reads every file of its period, but
    // the ship list is still the one the Search could not finish.
    clickItem(form.List1, 1);
    QCOMPARE(form.Label3->text(), QStringLiteral("1 log file could not be read - details: Ctrl+I"));
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    QCOMPARE(form.Label3->text(), usual);
}

void TestForm1::settingsRewrittenInAReadOnlyFolder()
{
    VELK_SKIP_WITHOUT_PERMISSION_BITS();
    Workspace ws;
    ws.write("work/" + kSettings, "Lati=1\r\n");
    QFile::setPermissions(".", QFile::ReadOwner | QFile::ExeOwner);
    const bool privileged = QFile(QStringLiteral("probe")).open(QIODevice::WriteOnly);
    if (privileged) {
        QFile::remove(QStringLiteral("probe"));
        QFile::setPermissions(".", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSKIP("permissions do not bind this user; the unprivileged run covers it");
    }
    {
        Form1 form;
        form.setExitHandler([] {});
        form.Text1[4]->setText(QStringLiteral("12.5"));
        form.close();
    }
    QFile::setPermissions(".", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(readAll(kSettings).startsWith("Lati=12.5\r\n"));
}

void TestForm1::closingDuringAPassStopsIt()
{
    Workspace ws;
    writeThreeDays(ws);
    Form1 form;
    form.show();
    setPeriod(form, "20110405", "20110407");
    int exits = 0;
    bool runningAtExit = false;
    form.setExitHandler([&] {
        ++exits;
        runningAtExit = form.passRunning();
    });
    QTimer::singleShot(0, &form, [&] { form.close(); });
    QTest::mouseClick(form.Command1, Qt::LeftButton);

    QCOMPARE(exits, 1);
    QVERIFY(runningAtExit);
    QVERIFY(form.List1->count() < 3);
    QCOMPARE(readAll(kSettings).count("\r\n"), 9);
}

void TestForm1::closingTheViewWindowBringsTheMainWindowBack()
{
    Workspace ws;
    Form1 form;
    form.setExitHandler([] {});
    form.show();
    Form2 *view = form.viewWindow();
    QCOMPARE(form.viewWindow(), view);
    QVERIFY(view->isHidden());
    Module1::host()->prepareViewWindow(Module1::ViewChoice::Chart, QStringLiteral("Drawing... x"));
    Module1::host()->setMainWindowEnabled(false);
    QVERIFY(view->isVisible());
    QVERIFY(!form.isEnabled());
    Module1::host()->setViewCaption(QStringLiteral("431000000 A - 20110407_AIS_FMT.log"));
    QCOMPARE(view->caption(), QStringLiteral("431000000 A - 20110407_AIS_FMT.log"));

    // Kept above its main window, yet not disabled with it.
    QVERIFY(view->windowHandle());
    QCOMPARE(view->windowHandle()->transientParent(), form.windowHandle());
    QVERIFY(view->isEnabled());

    view->close();
    QVERIFY(form.isEnabled());
    QVERIFY(form.isVisible());
    // Controls the commands disabled one by one stay disabled.
    QVERIFY(!form.Command2->isEnabled());
    // A later view is still the main window's.
    Module1::host()->prepareViewWindow(Module1::ViewChoice::Changes, QStringLiteral("again"));
    QCOMPARE(view->windowHandle()->transientParent(), form.windowHandle());
}

void TestForm1::defaultExitQuitsAndLeavesTheViewWindowClosed()
{
    Workspace ws;
    Form1 form;
    form.show();
    Module1::host()->prepareViewWindow(Module1::ViewChoice::Changes, QStringLiteral("view"));
    QVERIFY(form.viewWindow()->isVisible());

    QTimer::singleShot(0, &form, [&] { form.close(); });
    bool timedOut = false;
    QTimer::singleShot(5000, qApp, [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!timedOut);
    QVERIFY(!form.isVisible());
    QVERIFY(!form.viewWindow()->isVisible());
    QCOMPARE(readAll(kSettings).count("\r\n"), 9);
}

// The child's side of defaultExitDuringAPassEndsTheProcess: closes the window
// from inside a Search with the default exit handler, in the station folder the
// parent prepared.
static int closeDuringPass(int argc, char **argv)
{
    QApplication app(argc, argv);
    QDir::setCurrent(qEnvironmentVariable("VELK_CLOSE_DURING_PASS"));
    Form1 form;
    form.show();
    setPeriod(form, "20110405", "20110407");
    QTimer::singleShot(0, &form, [&] { form.close(); });
    form.Command1->click();
    // Only reached when closing did not end the process.
    return 3;
}

void TestForm1::defaultExitDuringAPassEndsTheProcess()
{
    Workspace ws;
    writeThreeDays(ws);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VELK_CLOSE_DURING_PASS", ws.path("work"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(readAll(ws.path("work/" + kSettings)).count("\r\n"), 9);
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("VELK_CLOSE_DURING_PASS"))
        return closeDuringPass(argc, argv);
    QApplication app(argc, argv);
    Platform::installFontSubstitutions();
    TestForm1 test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

// The track goes to the desktop's "open" as a local file URL, which Qt hands
// to ShellExecute on Windows: a path with a drive letter and backslashes must
// arrive as that same file, not as a URL-escaped name.
void TestForm1::shellHandOffOpensTheFile()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    const QString path = QDir::toNativeSeparators(QDir::current().absoluteFilePath("lb4velkais.kml"));
    Platform::shellOpen(path);
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(catcher.urls.size(), 1);
    QVERIFY(catcher.urls[0].isLocalFile());
    QCOMPARE(QDir::toNativeSeparators(catcher.urls[0].toLocalFile()), path);
}

#include "test_form1.moc"
