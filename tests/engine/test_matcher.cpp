// The record matcher, the ship table and the Search and ship-selection passes.
#include "engine/module1.h"
#include "fakehost.h"
#include "workspace.h"

#include <QTest>

using namespace Module1;

class TestMatcher : public EngineTest
{
    Q_OBJECT

    void everyPeriod()
    {
        m_host->text1[7] = "";
        m_host->text1[8] = "99999999";
    }

private slots:
    void searchListsEveryShipOnceInOrderOfFirstAppearance()
    {
        everyPeriod();
        m_ws->writeLog("20110407_AIS_FMT.log", logRecord("01:00:00", "222222222", "B") +
                                                   logRecord("01:00:01", "111111111") +
                                                   logRecord("01:00:02", "222222222", "B"));
        m_ws->writeLog("20110408_AIS_FMT.log", logRecord("01:00:00", "333333333", "C") +
                                                   logRecord("01:00:01", "111111111"));
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({"222222222 B", "111111111 ", "333333333 C"}));
        QCOMPARE(search.shipCount, 0); // the ship selection that followed reset it
        // The first ship is selected, its files listed, the first file selected, Open on.
        QCOMPARE(m_host->shipSelected, 0);
        QCOMPARE(m_host->picture, QString("222222222"));
        QCOMPARE(m_host->files, QStringList({"20110407_AIS_FMT.log"}));
        QCOMPARE(m_host->fileSelected, 0);
        QVERIFY(m_host->openEnabled && m_host->searchEnabled && m_host->shipListEnabled && m_host->fileListEnabled);
    }

    void namesAreRefreshedByLaterRecordsWhateverTheCriteria()
    {
        everyPeriod();
        m_host->check1[0] = true;
        m_host->text1[4] = "34";
        m_host->text1[5] = "131";
        m_host->text1[6] = "1";
        m_ws->writeLog("20110407_AIS_FMT.log", logRecord("01:00:00", "111111111", {}, "34", "131") +
                                                   logRecord("01:00:01", "111111111", "FIRST", "80", "10"));
        m_ws->writeLog("20110408_AIS_FMT.log", logRecord("01:00:00", "111111111", "SECOND") +
                                                   logRecord("01:00:00", "111111111"));
        m_host->selectRunsSelection = false;
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({"111111111 SECOND"}));
    }

    void mmsiCriterionIsExact()
    {
        everyPeriod();
        m_ws->writeLog("20110407_AIS_FMT.log", logRecord("01:00:00", "431000000") + logRecord("01:00:00", "431000001"));
        m_host->text1[0] = "431000000";
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({"431000000 "}));
        m_host->text1[0] = " 431000000";
        searchCommand();
        QVERIFY(m_host->ships.isEmpty());
        QVERIFY(!m_host->openEnabled);
    }

    void areaSquares_data()
    {
        QTest::addColumn<QList<bool>>("on");
        QTest::addColumn<QByteArray>("lat");
        QTest::addColumn<QByteArray>("lon");
        QTest::addColumn<bool>("listed");
        const QList<bool> a{true, false, false};
        QTest::newRow("corner is inside") << a << QByteArray("35") << QByteArray("130") << true;
        QTest::newRow("outside") << a << QByteArray("35.5") << QByteArray("131") << false;
        QTest::newRow("no position is 0,0") << a << QByteArray() << QByteArray() << false;
        QTest::newRow("no area on") << QList<bool>{false, false, false} << QByteArray("80") << QByteArray("1") << true;
        QTest::newRow("inside C only") << QList<bool>{true, false, true} << QByteArray("10.5") << QByteArray("20.5") << true;
        QTest::newRow("inside neither") << QList<bool>{true, false, true} << QByteArray("12") << QByteArray("20") << false;
        QTest::newRow("B off is ignored") << a << QByteArray("-5") << QByteArray("-5") << false;
        QTest::newRow("text positions") << a << QByteArray("abc") << QByteArray("1e400") << false;
    }
    void areaSquares()
    {
        QFETCH(QList<bool>, on);
        QFETCH(QByteArray, lat);
        QFETCH(QByteArray, lon);
        QFETCH(bool, listed);
        everyPeriod();
        for (int k = 0; k < 3; ++k)
            m_host->check1[k] = on[k];
        m_host->text1[4] = "34"; m_host->text1[5] = "131"; m_host->text1[6] = "1";
        m_host->text1[9] = "-5"; m_host->text1[10] = "-5"; m_host->text1[11] = "1";
        m_host->text1[12] = "10"; m_host->text1[13] = "20"; m_host->text1[14] = "0.5";
        m_ws->writeLog("20110407_AIS_FMT.log", logRecord("01:00:00", "111111111", {}, lat, lon));
        searchCommand();
        QCOMPARE(m_host->ships.size() == 1, listed);
    }

    void emptyRangeMatchesOnlyTheCentre()
    {
        everyPeriod();
        m_host->check1[1] = true;
        m_host->text1[9] = "33.5";
        m_host->text1[10] = "130.25";
        m_host->text1[11] = "";
        m_ws->writeLog("20110407_AIS_FMT.log", logRecord("01:00:00", "111111111", {}, "33.5", "130.25") +
                                                   logRecord("01:00:00", "222222222", {}, "33.5", "130.2500001"));
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({"111111111 "}));
    }

    void periodIsComparedAsText_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QStringList>("files");
        QTest::newRow("one day") << "20110407" << "20110407" << QStringList({"20110407_AIS_FMT.log"});
        QTest::newRow("first after last") << "20110408" << "20110407" << QStringList();
        QTest::newRow("empty first is open") << "" << "20110407"
                                             << QStringList({"20110331_AIS_FMT.log", "20110407_AIS_FMT.log"});
        QTest::newRow("empty last takes none") << "" << "" << QStringList();
        // A short name is compared by its first eight characters, "2011_AIS".
        QTest::newRow("prefix as first") << "201104" << "99999999"
                                         << QStringList({"20110407_AIS_FMT.log", "20110501_AIS_FMT.log", "2011_AIS_FMT.log"});
        QTest::newRow("prefix as last") << "" << "201104" << QStringList({"20110331_AIS_FMT.log"});
    }
    void periodIsComparedAsText()
    {
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QStringList, files);
        for (const char *name : {"20110501_AIS_FMT.log", "20110407_AIS_FMT.log", "2011_AIS_FMT.log", "20110331_AIS_FMT.log"})
            m_ws->writeLog(name, logRecord("01:00:00", "111111111"));
        // Not log files: hidden, other case, other suffix.
        m_ws->writeLog(".20110407_AIS_FMT.log", logRecord("01:00:00", "111111111"));
        m_ws->writeLog("20110407_ais_fmt.log", logRecord("01:00:00", "111111111"));
        m_ws->writeLog("20110407_AIS_FMT.log.bak", logRecord("01:00:00", "111111111"));
        m_host->text1[7] = first;
        m_host->text1[8] = last;
        searchCommand();
        QCOMPARE(m_host->files, files);
        QCOMPARE(m_host->openEnabled, !files.isEmpty());
    }

    void periodEditedDuringThePassAppliesToTheFilesStillToCome()
    {
        everyPeriod();
        m_ws->writeLog("20110407_AIS_FMT.log", logRecord("01:00:00", "111111111"));
        m_ws->writeLog("20110408_AIS_FMT.log", logRecord("01:00:00", "222222222"));
        m_ws->writeLog("20110409_AIS_FMT.log", logRecord("01:00:00", "333333333"));
        m_host->selectRunsSelection = false;
        m_host->onEvents = [&] {
            if (m_host->status.startsWith("Search : 20110407"))
                m_host->text1[8] = "20110408";
            if (m_host->status.startsWith("Search : 20110408"))
                m_host->text1[0] = "999999999"; // the MMSI applies from the next record on
        };
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({"111111111 "}));
    }

    void resultLimitStopsTheSearchAtTheThousandthShip()
    {
        everyPeriod();
        QByteArray log;
        for (int i = 0; i < 1005; ++i)
            log += logRecord("01:00:00", QByteArray::number(100000000 + i));
        m_ws->writeLog("20110407_AIS_FMT.log", log);
        m_ws->writeLog("20110408_AIS_FMT.log", logRecord("01:00:00", "999999999"));
        m_host->selectRunsSelection = false;
        searchCommand();
        QCOMPARE(m_host->ships.size(), 1000);
        QCOMPARE(m_host->ships.last(), QString("100000999 "));
        QCOMPARE(m_host->limitMessages, 1);
        QVERIFY(m_host->searchEnabled && m_host->shipListEnabled && m_host->fileListEnabled);
        QCOMPARE(m_host->shipSelected, 0);
        // The record that reached the limit was emptied like any other; the
        // message box told the user, the notice line has nothing to add.
        QVERIFY(record.recMmsi.empty());
        QVERIFY(passReport.complete());
    }

    void fileListLimit()
    {
        everyPeriod();
        for (int d = 0; d < 1001; ++d)
            m_ws->writeLog(QString("%1_AIS_FMT.log").arg(10000000 + d), logRecord("01:00:00", "111111111"));
        searchCommand();
        QCOMPARE(m_host->files.size(), 1000);
        QCOMPARE(m_host->limitMessages, 1);
        QVERIFY(m_host->openEnabled);
    }

    void shipSelectionListsTheFilesWhereTheShipMatches()
    {
        everyPeriod();
        m_ws->writeLog("20110406_AIS_FMT.log", logRecord("01:00:00", "222222222", {}, "34", "131"));
        m_ws->writeLog("20110407_AIS_FMT.log", logRecord("01:00:00", "111111111", {}, "0", "0") +
                                                   logRecord("02:00:00", "111111111", {}, "34", "131") +
                                                   logRecord("03:00:00", "111111111", {}, "34", "131"));
        m_ws->writeLog("20110408_AIS_FMT.log", logRecord("01:00:00", "111111111", {}, "0", "0"));
        m_ws->writeLog("20110409_AIS_FMT.log", logRecord("01:00:00", "111111111", {}, "34", "131"));
        m_host->check1[0] = true;
        m_host->text1[4] = "34"; m_host->text1[5] = "131"; m_host->text1[6] = "1";
        searchCommand();
        QCOMPARE(m_host->ships, QStringList({"222222222 ", "111111111 "}));
        m_host->shipSelected = 1;
        shipSelection();
        QCOMPARE(m_host->files, QStringList({"20110407_AIS_FMT.log", "20110409_AIS_FMT.log"}));
        QCOMPARE(m_host->fileSelected, 0);
        QCOMPARE(m_host->picture, QString("111111111"));

        // Another MMSI in the criterion: nothing matches, Open stays off.
        m_host->text1[0] = "222222222";
        shipSelection();
        QVERIFY(m_host->files.isEmpty());
        QVERIFY(!m_host->openEnabled);

        // A period that no longer holds the ship's days.
        m_host->text1[0] = "";
        m_host->text1[7] = "20110410";
        shipSelection();
        QVERIFY(m_host->files.isEmpty());
        QVERIFY(!m_host->openEnabled);
    }

    void searchWithoutResultsLeavesThePictureAlone()
    {
        everyPeriod();
        m_host->picture = "untouched";
        searchCommand();
        QVERIFY(m_host->ships.isEmpty() && m_host->files.isEmpty());
        QCOMPARE(m_host->picture, QString("untouched"));
        QVERIFY(!m_host->openEnabled);
        QCOMPARE(m_host->shipSelected, -1);
    }

    void missingLogFolder()
    {
        everyPeriod();
        logFolder = "../nowhere/";
        searchCommand();
        logFolder = "../logs/";
        QVERIFY(m_host->ships.isEmpty());
        QVERIFY(m_host->skipped.isEmpty());
    }

    void shipTableLookups()
    {
        everyPeriod();
        m_ws->writeLog("20110407_AIS_FMT.log", logRecord("01:00:00", "111111111") + logRecord("01:00:00", "222222222"));
        m_host->selectRunsSelection = false;
        searchCommand();
        QCOMPARE(search.shipCount, 2);
        QVERIFY(isShipListed("222222222"));
        QVERIFY(!isShipListed("333333333"));
        search.shipCount = 1;
        QVERIFY(!isShipListed("222222222"));
        search.shipCount = 0;
        QVERIFY(!isShipListed("111111111"));
        m_host->files = {"a", "b"};
        QVERIFY(isFileListed("b"));
        QVERIFY(!isFileListed("B"));
    }
};

QTEST_GUILESS_MAIN(TestMatcher)
#include "test_matcher.moc"
