// The log reader and the current record: how items become records.
#include "engine/itemrules.h"
#include "engine/module1.h"
#include "fakehost.h"
#include "platform/itemreader.h"
#include "workspace.h"

#include <QRandomGenerator>
#include <QTest>

#include <string>
#include <vector>

using namespace Module1;

namespace {

const QByteArray kExample = "-------------------- 09:15:42\r\n"
                            "MMSI NUMBER         = 431000000\r\n"
                            "NAME                = SAMPLE MARU\r\n"
                            "LONGITUDE           = 130.9747\r\n"
                            "LATITUDE            = 33.9683\r\n"
                            "SPEED OVER GROUND   = 12.3 [knots]\r\n"
                            "DESTINATION         = MOJI\r\n"
                            "ESTIMATED TIME      = 04-07 15:00\r\n"
                            "STATIC DRAUGHT      = 5.2\r\n"
                            "NAVIGATIONAL STATUS = UNDER WAY USING ENGINE\r\n"
                            "TEXT STRING         = HELLO, WORLD\r\n"
                            "--------------------\r\n";

// The items of `bytes` by the rules alone, one byte at a time: comma, CR and
// LF end an item, the LF of a CR LF ends nothing, an item keeps its first
// kMaxItem bytes.
std::vector<std::string> referenceItems(const QByteArray &bytes)
{
    std::vector<std::string> items;
    std::string item;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\n' && i > 0 && bytes[i - 1] == '\r')
            continue;
        if (c == ',' || c == '\n' || c == '\r') {
            items.push_back(item);
            item.clear();
        } else if (item.size() < Platform::ItemReader::kMaxItem) {
            item += c;
        }
    }
    if (!item.empty())
        items.push_back(item);
    return items;
}

std::vector<std::string> readItems(const QString &path)
{
    Platform::ItemReader reader;
    std::vector<std::string> items;
    if (!reader.open(path))
        return items;
    std::string_view item;
    while (reader.next(item))
        items.emplace_back(item);
    return items;
}

// The same through forEach, each item classified where the reader keeps it
// (with what follows it in the reader's memory) as the reading loop does; the
// classifications are appended to `keys`.
std::vector<std::string> readItemsAtOnce(const QString &path, std::vector<Module1::detail::ItemRules::Classified> &keys)
{
    using namespace Module1::detail::ItemRules;
    Platform::ItemReader reader;
    std::vector<std::string> items;
    if (!reader.open(path))
        return items;
    reader.forEach([&](std::string_view item) {
        items.emplace_back(item);
        keys.push_back(classify(item, true));
        return true;
    });
    return items;
}

// Log-like text with what the rules must survive: labels, hyphen runs, "="
// anywhere, CR, LF and commas in every mix, bytes that are not UTF-8.
QByteArray trickyText(QRandomGenerator &random, qsizetype size)
{
    static const QByteArray pieces[] = {
        "MMSI NUMBER         = 431000000", "NAME                = ", "LONGITUDE           =", "LATITUDE            = 3",
        "SPEED OVER GROUND   = 1 [knots]", "TEXT STRING         = ", "MESSAGE TYPE        = 1", "--------------------",
        "-------------------- 01:02:03", "----------", "=", "==", " ", "x", "\r\n", "\r", "\n", ",", "\xff", "\xc3\xa9",
        "\xe2\x82", QByteArray(19, '-'), QByteArray(45, 'a'), QByteArray(63, '='),
    };
    QByteArray text;
    while (text.size() < size)
        text += pieces[random.bounded(int(std::size(pieces)))];
    return text;
}

} // namespace

// Records every hand-over with the record as matchRecord saw it.

class TestReader : public EngineTest
{
    Q_OBJECT

private slots:
    void workedExampleInEveryMode()
    {
        // The view in "Dest" mode shows what the record carried.
        m_ws->writeLog("20110407_AIS_FMT.log", kExample);
        search.viewMmsi = "431000000";
        view.viewMode = "Dest";
        QCOMPARE(readLogFile("20110407_AIS_FMT.log", "List2"), false);
        QCOMPARE(m_host->changeLines,
                 QStringList({"09:15:42 MOJI  |  04-07 15:00  |  5.2\r\n",
                              "09:15:42 NAVIGATIONAL STATUS: UNDER WAY USING ENGINE\r\n",
                              "09:15:42 Text telegram: HELLO\r\n"}));
        QCOMPARE(record.recTime, std::string("23:59:59"));
        QVERIFY(record.recMmsi.empty() && record.recName.empty() && record.recText.empty());

        // Search mode reads keys 1 to 6 only.
        m_host->text1[7] = "20110407";
        m_host->text1[8] = "20110407";
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({"431000000 SAMPLE MARU"}));
    }

    void statusLineNamesModeAndFile()
    {
        m_ws->writeLog("20110407_AIS_FMT.log", kExample);
        readLogFile("20110407_AIS_FMT.log", "Search");
        QCOMPARE(m_host->statusHistory, QStringList({"Search : 20110407_AIS_FMT.log", ""}));
    }

    void separatorTimes_data()
    {
        QTest::addColumn<QByteArray>("separator");
        QTest::addColumn<QString>("time");
        QTest::newRow("hyphens alone") << QByteArray("--------------------") << "23:59:59";
        QTest::newRow("plain time") << QByteArray("-------------------- 09:15:42") << "09:15:42";
        QTest::newRow("date and time") << QByteArray("-------------------- 2011/04/07 21:05:00") << "21:05:00";
        QTest::newRow("leading blank kept") << QByteArray("-------------------- 9:15:42") << " 9:15:42";
        QTest::newRow("colons checked only") << QByteArray("-------------------- 99:99:99") << "99:99:99";
        QTest::newRow("wrong colons") << QByteArray("-------------------- 09-15-42") << "23:59:59";
        QTest::newRow("hyphens inside text") << QByteArray("x--------------------y 12:00:01") << "12:00:01";
        QTest::newRow("nineteen hyphens are no separator") << QByteArray("------------------- 12:00:01")
                                                            << "10:00:00";
    }
    void separatorTimes()
    {
        QFETCH(QByteArray, separator);
        QFETCH(QString, time);
        m_ws->writeLog("20110407_AIS_FMT.log", "-------------------- 10:00:00\r\n" + separator + "\r\n");
        readLogFile("20110407_AIS_FMT.log", "Search");
        QCOMPARE(QString::fromStdString(record.recTime), time);
    }

    void keyItems()
    {
        // Each row: the record's lines after the MMSI, and what the change list
        // shows for it in the "Dest" view (status line carries the key's value).
        search.viewMmsi = "431000000";
        view.viewMode = "Dest";
        const QByteArray head = "-------------------- 01:02:03\r\nMMSI NUMBER         = 431000000\r\n";
        m_ws->writeLog("20110407_AIS_FMT.log",
                       head + "xx NAVIGATIONAL STATUS = MOORED\r\n"            // key in mid-item
                           + head + "Navigational Status = AGROUND\r\n"       // other case: ignored
                           + head + "NAVIGATIONAL STATUS = NAME                = X\r\n" // a name: NAME ranks higher
                           + head + "NAVIGATIONAL STATUS =\r\n"              // nothing after "="
                           + head + "a=b NAVIGATIONAL STATUS = FISHING\r\n");  // first "=" of the item
        readLogFile("20110407_AIS_FMT.log", "List2");
        QCOMPARE(m_host->changeLines, QStringList({"01:02:03 NAVIGATIONAL STATUS: MOORED\r\n",
                                                   "01:02:03 NAVIGATIONAL STATUS:  NAVIGATIONAL STATUS = FISHING\r\n"}));
    }

    void keyInsideAnotherKeysValueCountsForTheHigherKey()
    {
        // "NAME" comes before "LATITUDE" in the key table: the item is a name.
        m_ws->writeLog("20110407_AIS_FMT.log",
                       "-------------------- 01:02:03\r\nMMSI NUMBER         = 431000000\r\n"
                       "LATITUDE            = NAME                = X\r\n");
        searchCommand(); // period fields empty: no file at all
        QVERIFY(m_host->ships.isEmpty());
        m_host->text1[8] = "99999999";
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({"431000000 NAME                = X"}));
    }

    void speedValues_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("speed");
        QTest::newRow("unit") << QByteArray("SPEED OVER GROUND   = 0.0 [knots]") << "0.0 ";
        QTest::newRow("no unit") << QByteArray("SPEED OVER GROUND   = 12.3") << "0";
        QTest::newRow("unit alone") << QByteArray("SPEED OVER GROUND   = [knots]") << "";
        QTest::newRow("first unit") << QByteArray("SPEED OVER GROUND   = 7[knots][knots]") << "7";
    }
    void speedValues()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, speed);
        m_ws->writeLog("20110407_AIS_FMT.log", "-------------------- 01:02:03\r\n" + line + "\r\n");
        readLogFile("20110407_AIS_FMT.log", "Search");
        QCOMPARE(QString::fromStdString(record.recSpeed), speed); // no MMSI: never handed over
    }

    void mmsiIsTheLastNineCharacters()
    {
        m_ws->writeLog("20110407_AIS_FMT.log", "MMSI NUMBER         = 123\r\n");
        readLogFile("20110407_AIS_FMT.log", "Search");
        QCOMPARE(m_host->ships, QStringList({"    = 123 "}));
    }

    void telegramWithTwentyHyphensIsASeparator()
    {
        search.viewMmsi = "431000000";
        view.viewMode = "Dest";
        m_ws->writeLog("20110407_AIS_FMT.log",
                       "-------------------- 01:00:00\r\nMMSI NUMBER         = 431000000\r\n"
                       "NAVIGATIONAL STATUS = MOORED\r\n"
                       "TEXT STRING         = ----------------------- 02:00:00\r\n"
                       "MMSI NUMBER         = 431000000\r\nNAVIGATIONAL STATUS = AT ANCHOR\r\n");
        readLogFile("20110407_AIS_FMT.log", "List2");
        QCOMPARE(m_host->changeLines, QStringList({"01:00:00 NAVIGATIONAL STATUS: MOORED\r\n",
                                                   "02:00:00 NAVIGATIONAL STATUS: AT ANCHOR\r\n"}));
    }

    void fieldsCarryOverOnlyUntilAHandOver()
    {
        m_host->text1[8] = "99999999";
        // A record without MMSI leaks its name into the next record; after a
        // hand-over the next record starts without a name.
        m_ws->writeLog("20110407_AIS_FMT.log",
                       "-------------------- 01:00:00\r\nNAME                = LEAKED\r\n"
                       "-------------------- 01:00:01\r\nMMSI NUMBER         = 111111111\r\n"
                       "-------------------- 01:00:02\r\nMMSI NUMBER         = 222222222\r\n");
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({"111111111 LEAKED", "222222222 "}));
    }

    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("eol");
        QTest::newRow("CR LF") << QByteArray("\r\n");
        QTest::newRow("LF") << QByteArray("\n");
        QTest::newRow("CR") << QByteArray("\r");
    }
    void lineEnds()
    {
        QFETCH(QByteArray, eol);
        m_host->text1[8] = "99999999";
        QByteArray log = logRecord("01:00:00", "111111111", "ONE") + logRecord("01:00:01", "222222222", "TWO");
        log.replace("\r\n", eol);
        log.chop(eol.size()); // no final line end either
        m_ws->writeLog("20110407_AIS_FMT.log", log);
        m_ws->writeLog("20110408_AIS_FMT.log", "MMSI NUMBER         = 333333333\rNAME                = THREE\n"
                                               "-------------------- 5\r\nMMSI NUMBER         = 444444444");
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({"111111111 ONE", "222222222 TWO", "333333333 THREE", "444444444 "}));
    }

    void emptyFileAndFileWithoutSeparator()
    {
        m_host->text1[8] = "99999999";
        m_ws->writeLog("20110406_AIS_FMT.log", "");
        m_ws->writeLog("20110407_AIS_FMT.log", "MMSI NUMBER         = 111111111\r\nMMSI NUMBER         = 222222222\r\n");
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({"222222222 "}));
    }

    void timeCarriesOverFromFileToFile()
    {
        search.viewMmsi = "431000000";
        view.viewMode = "Dest";
        m_ws->writeLog("20110406_AIS_FMT.log", "-------------------- 07:08:09\r\n");
        m_ws->writeLog("20110407_AIS_FMT.log", "MMSI NUMBER         = 431000000\r\nNAVIGATIONAL STATUS = MOORED\r\n");
        readLogFile("20110406_AIS_FMT.log", "Search");
        readLogFile("20110407_AIS_FMT.log", "List2");
        QCOMPARE(m_host->changeLines, QStringList({"07:08:09 NAVIGATIONAL STATUS: MOORED\r\n"}));
    }

    void modeNamesAreCaseSensitive()
    {
        search.viewMmsi = "431000000";
        view.viewMode = "Dest";
        m_ws->writeLog("20110407_AIS_FMT.log", kExample);
        readLogFile("20110407_AIS_FMT.log", "list2");
        QVERIFY(m_host->changeLines.isEmpty());
    }

    void overflowCountsAfterEveryFile()
    {
        m_ws->writeLog("20110407_AIS_FMT.log", "");
        view.hourCount[5] = 150;
        view.hourCount[6] = 151;
        view.hourCount[7] = 1234;
        view.hourCount[24] = 999; // hour 24 has no column
        readLogFile("20110407_AIS_FMT.log", "Search");
        QCOMPARE(int(m_host->drawn.size()), 2);
        QCOMPARE(m_host->drawn[0].text, QString("151"));
        QCOMPARE(m_host->drawn[0].x1, 140.0 + 375 * 6);
        QCOMPARE(m_host->drawn[1].text, QString("234"));
        QCOMPARE(m_host->drawn[1].color, Chart::kOverflowColor);
    }

    void unreadableFilesAreSkippedAndReported()
    {
        m_host->text1[8] = "99999999";
        QDir(m_ws->logs()).mkdir("20110406_AIS_FMT.log"); // a folder is not a log
        m_ws->writeLog("20110407_AIS_FMT.log", logRecord("01:00:00", "111111111"));
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({"111111111 "}));
        QVERIFY(readLogFile("missing_AIS_FMT.log", "Search") == false);
        QCOMPARE(m_host->skipped.size(), 1);
        QVERIFY(m_host->skipped[0].endsWith("missing_AIS_FMT.log"));
        // The missing file is in the report (a folder is no log file at all).
        QCOMPARE(passReport.skipped.size(), std::size_t(1));
        QVERIFY(passReport.stops.empty());
        QCOMPARE(m_host->status, QString());
    }

    void hugeItemsAreCutNotHeld()
    {
        // 3 MB without a line end, then a record: the reader keeps 64 KiB of the
        // long item (a name that leaks into the record) and still finds the record.
        m_host->text1[8] = "99999999";
        QByteArray log = "NAME                = " + QByteArray(3 << 20, 'x') + "\n";
        log += logRecord("01:00:00", "111111111");
        m_ws->writeLog("20110407_AIS_FMT.log", log);
        searchCommand();
        QCOMPARE(m_host->ships.size(), 1);
        QCOMPARE(m_host->ships[0], "111111111 " + QString(65536 - 22, 'x'));
    }

    void longItemsGiveTheCallerItsTurns()
    {
        // 1 MB without a line end spans eight reads: the hook runs between them,
        // and a hook that says stop ends the file there.
        m_ws->writeLog("long.log", QByteArray(1 << 20, 'x') + "\nnext\n");
        Platform::ItemReader reader;
        QVERIFY(reader.open(m_ws->logs() + "/long.log"));
        int calls = 0;
        reader.setLongItemHook([&] { return ++calls < 1000; });
        std::string_view item;
        QVERIFY(reader.next(item));
        QCOMPARE(item.size(), Platform::ItemReader::kMaxItem);
        QVERIFY(calls >= 7);
        QVERIFY(reader.next(item));
        QCOMPARE(item, std::string_view("next"));

        QVERIFY(reader.open(m_ws->logs() + "/long.log"));
        calls = 0;
        reader.setLongItemHook([&] { return ++calls < 3; });
        QVERIFY(reader.next(item));
        QCOMPARE(calls, 3);
        QVERIFY(!reader.next(item));
    }

    void invalidUtf8IsShownAsReplacementCharacters()
    {
        m_host->text1[8] = "99999999";
        m_ws->writeLog("20110407_AIS_FMT.log", logRecord("01:00:00", "111111111", "A\xff\x00Z"));
        QByteArray withNul = logRecord("01:00:00", "222222222");
        withNul += QByteArray("NAME                = N\0L\r\n", 27);
        m_ws->writeLog("20110408_AIS_FMT.log", withNul);
        searchCommand();
        QCOMPARE(m_host->ships.value(0), QString("111111111 A\uFFFD"));
        QCOMPARE(m_host->ships.value(1), QString::fromUtf8("222222222 N\0L", 13));
    }

    void fileTruncatedOrDeletedWhileItIsRead()
    {
        m_host->text1[8] = "99999999";
        QByteArray log;
        for (int i = 0; i < 20000; ++i)
            log += logRecord("01:00:00", QByteArray::number(100000000 + i % 500));
        m_ws->writeLog("20110407_AIS_FMT.log", log);
        m_ws->writeLog("20110408_AIS_FMT.log", log);
        const QString first = m_ws->logs() + "/20110407_AIS_FMT.log";
        const QString second = m_ws->logs() + "/20110408_AIS_FMT.log";
        m_host->selectRunsSelection = false;
        m_host->onEvents = [&] {
            if (m_host->status.contains("20110407"))
                QFile::resize(first, 1000);
            if (m_host->status.contains("20110408"))
                QFile::remove(second);
        };
        searchCommand();
        // What was read stands; the rest of the pass goes on.
        QVERIFY(!m_host->ships.isEmpty());
        QVERIFY(m_host->ships.size() <= 500);
        QCOMPARE(m_host->status, QString());
    }

    void logFolderThatIsAFile()
    {
        m_host->text1[8] = "99999999";
        m_ws->write("notafolder", logRecord("01:00:00", "111111111"));
        logFolder = "../notafolder/";
        searchCommand();
        logFolder = "../logs/";
        QVERIFY(m_host->ships.isEmpty());
    }

    void userStopEndsThePass()
    {
        m_host->text1[8] = "99999999";
        m_host->stopOnEvents = true;
        m_ws->writeLog("20110407_AIS_FMT.log", logRecord("01:00:00", "111111111"));
        m_ws->writeLog("20110408_AIS_FMT.log", logRecord("01:00:00", "222222222"));
        searchCommand();
        // The first event-loop turn of the first file stops the whole pass, no message.
        QVERIFY(m_host->ships.isEmpty());
        QCOMPARE(m_host->limitMessages, 0);
        QVERIFY(m_host->searchEnabled && m_host->shipListEnabled && m_host->fileListEnabled);
    }

    void userStopDiscardsTheHalfReadRecord()
    {
        // Stopped right after the MMSI of 20110406, whose record must not reach
        // the next pass as a report in 20110405.
        m_host->text1[7] = "20110405";
        m_host->text1[8] = "20110406";
        m_host->selectRunsSelection = false;
        m_ws->writeLog("20110405_AIS_FMT.log", logRecord("01:00:00", "111111111", "A", "34", "131"));
        m_ws->writeLog("20110406_AIS_FMT.log", "MMSI NUMBER         = 431000000\r\nNAME                = B\r\n" +
                                                   logRecord("02:00:00", "222222222"));
        m_host->onEvents = [&] { m_host->stopOnEvents = m_host->status.contains("20110406"); };
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({"111111111 A"}));
        QVERIFY(record.recMmsi.empty() && record.recName.empty() && record.recLatitude.empty());
        QCOMPARE(record.recTime, std::string("01:00:00"));
        QCOMPARE(passReport.stops.size(), std::size_t(1));
        QCOMPARE(stopText(passReport.stops[0]), QString("Search stopped at 20110406_AIS_FMT.log"));

        m_host->onEvents = nullptr;
        m_host->stopOnEvents = false;
        m_host->text1[8] = "20110405";
        m_host->ships = {"431000000 B"};
        m_host->shipSelected = 0;
        shipSelection();
        QVERIFY(m_host->files.isEmpty());
    }

    void valuesAsTheGeneralRulesGiveThem()
    {
        // The short cuts for a line's value: copied in place or appended, as
        // assignText stores it, and the speed's unit where find() puts it.
        using namespace Module1::detail::ItemRules;
        QRandomGenerator random(5);
        const char alphabet[] = "0123456789. [knots]\xc3\xa9\xff";
        for (int i = 0; i < 20000; ++i) {
            std::string value;
            for (int n = int(random.bounded(24u)); n > 0; --n)
                value += alphabet[random.bounded(quint32(sizeof alphabet - 1))];
            if (random.bounded(2u))
                value += "[knots]";
            // Within an item, as the reader hands them over: readable past the end.
            const std::string item = "SPEED OVER GROUND   = " + value + std::string(64, '\0');
            const std::string_view text(item.data() + 22, value.size());
            std::string fast(random.bounded(20u), 'x'), general;
            if (random.bounded(2u))
                fast.assign(value.size(), 'y');
            assignItemText(fast, text);
            assignText(general, text);
            QCOMPARE(fast, general);
            QCOMPARE(speedUnitAt(text), text.find("[knots]"));
        }
    }

    void keyCutsCountCharacters()
    {
        m_host->text1[8] = "99999999";
        m_ws->writeLog("20110407_AIS_FMT.log",
                       "-------------------- \xE3\x81\x82" "1:15:42\r\n"
                       "MMSI NUMBER         = XYA\xE3\x81\x82" "12345\r\n"
                       "NAME                =\xE3\x81\x82\xE3\x81\x84\xE3\x81\x86\r\n"
                       // An MMSI with a character outside the BMP: List1's first
                       // nine characters must still name it.
                       "-------------------- 01:00:00\r\n"
                       "MMSI NUMBER         = 1234567\xF0\x9D\x9F\x98" "8\r\n");
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({QString::fromUtf8("XYA\u3042" "12345 \u3044\u3046"),
                                             QString::fromUtf8("1234567\U0001D7D8" "8 ")}));
        m_host->shipSelected = 1;
        shipSelection();
        QCOMPARE(m_host->files, QStringList({"20110407_AIS_FMT.log"}));

        // A stray byte at the end of a separator is one character of its time.
        m_ws->writeLog("20110408_AIS_FMT.log", "-------------------- 01:15:4\x80\r\n");
        readLogFile("20110408_AIS_FMT.log", "Search");
        QCOMPARE(QString::fromStdString(record.recTime), QString("01:15:4\uFFFD"));
    }

    void itemsAndKeysAlikeOnEitherScan()
    {
        // Every item as the rules make it, with the wide scans and the baseline,
        // where items and CR LF pairs straddle blocks, stretches and reads, and
        // every item classified alike by the short and the general path.
        using namespace Module1::detail::ItemRules;
        QRandomGenerator random(27);
        const qsizetype read = 128 << 10;
        QByteArray splitPair = QByteArray(read - 1, 'a') + "\r\n" + QByteArray(4095, 'b') + "\r\nc";
        QByteArray endsAtRead = QByteArray(read - 2, 'd') + "\r\n" + "e,";
        QByteArray longItem = "NAME                = " + QByteArray(70000, 'n') + "\r\n-------------------- 01:02:03";
        // An MMSI line across two reads, then one without its blank at the
        // file's end, in the same carry buffer: no blank may follow it there.
        QByteArray staleBlank = QByteArray(read - 12, 'a') + "\r\nMMSI NUMBER         = 123456789\r\nMMSI NUMBER         =";
        const QByteArray texts[] = {trickyText(random, 300000), trickyText(random, 5000), splitPair, endsAtRead,
                                    endsAtRead.left(read), longItem, QByteArray(3 * read, '-'), "\r\n\r\n\n\r",
                                    staleBlank};
        const bool wide = Platform::ByteScan::wideScanUsed();
        for (const QByteArray &text : texts) {
            m_ws->writeLog("items.log", text);
            const std::vector<std::string> expected = referenceItems(text);
            for (const bool on : {true, false}) {
                Platform::ByteScan::useWideScan(on);
                QVERIFY(readItems(m_ws->logs() + "/items.log") == expected);
                std::vector<Classified> inPlace;
                QVERIFY(readItemsAtOnce(m_ws->logs() + "/items.log", inPlace) == expected);
                for (std::size_t i = 0; i < expected.size(); ++i) {
                    const std::string padded = expected[i] + '\0' + std::string(Platform::ItemReader::kReadable, ' ');
                    const Classified general = classifyAnyLength(std::string_view(padded.data(), expected[i].size()), true);
                    QCOMPARE(inPlace[i].key, general.key);
                    if (general.key != kNoKey && general.key != kSeparatorKey)
                        QCOMPARE(inPlace[i].firstEquals, general.firstEquals);
                }
            }
            for (const std::string &copy : expected) {
                // Padded as the reader's buffers are.
                const std::string padded = copy + std::string(Platform::ItemReader::kReadable, '-');
                const std::string_view item(padded.data(), copy.size());
                for (const bool allKeys : {false, true}) {
                    const Classified fast = classify(item, allKeys), general = classifyAnyLength(item, allKeys);
                    QCOMPARE(fast.key, general.key);
                    if (fast.key != kNoKey && fast.key != kSeparatorKey)
                        QCOMPARE(fast.firstEquals, general.firstEquals);
                    QCOMPARE(general.key == kSeparatorKey, hasSeparator(item));
                }
            }
        }
        Platform::ByteScan::useWideScan(wide);
    }

    void passReportWording()
    {
        PassReport r;
        QCOMPARE(passNotice(r, "Ctrl+I"), QString());
        r.stops.push_back({"List1", "20110406_AIS_FMT.log"});
        QCOMPARE(passNotice(r, "Ctrl+I"), QString("Ship selection stopped at 20110406_AIS_FMT.log"));
        r.skipped.push_back({"../logs/a_AIS_FMT.log", "Permission denied"});
        r.skipped.push_back({"../logs/b_AIS_FMT.log", "No such file or directory"});
        QCOMPARE(passNotice(r, "Ctrl+I"), QString("Ship selection stopped at 20110406_AIS_FMT.log; "
                                                   "2 log files could not be read - details: Ctrl+I"));
        QCOMPARE(passNotice(r), QString("Ship selection stopped at 20110406_AIS_FMT.log; 2 log files could not be read"));
        QCOMPARE(passDetails(r).value(1), QString("../logs/a_AIS_FMT.log could not be read: Permission denied"));

        PassReport::Empty empty{"Search", "../logs", "20300101", "20300101", true, true};
        QCOMPARE(emptyText(empty), QString("no day log for 20300101"));
        empty.folderHasLogs = false;
        QCOMPARE(emptyText(empty), QString("no day logs in ../logs"));
        PassReport quiet;
        quiet.empty.push_back(empty);
        QVERIFY(quiet.complete() && quiet.noteworthy());
        QCOMPARE(passNotice(quiet, "Ctrl+I"), QString("no day logs in ../logs"));
    }
};

QTEST_GUILESS_MAIN(TestReader)
#include "test_reader.moc"
