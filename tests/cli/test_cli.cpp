// velkais-log as a script sees it: output bytes and exit status.
#include "velkaislog.h"
#include "workspace.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {

QByteArray withStatus(const QByteArray &time, const QByteArray &mmsi, const QByteArray &status,
                      const QByteArray &lat = "33.9683", const QByteArray &lon = "130.9747")
{
    return logRecord(time, mmsi, {}, lat, lon, "10") + "NAVIGATIONAL STATUS = " + status + "\r\n";
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

    Workspace *m_ws = nullptr;

private slots:
    void init()
    {
        m_ws = new Workspace;
        m_ws->writeLog("20110406_AIS_FMT.log", logRecord("23:00:00", "222222222", "B", "34", "131"));
        m_ws->writeLog("20110407_AIS_FMT.log",
                       withStatus("09:15:42", "431000000", "MOORED") + logRecord("09:15:43", "222222222", "B2") +
                           withStatus("10:00:00", "431000000", "UNDER WAY", "33.97", "130.98") +
                           logRecord("24:10:00", "431000000", "M&M <X>"));
        m_ws->writeLog("20110408_AIS_FMT.log", logRecord("00:00:01", "333333333", {}, "0", "0"));
    }
    void cleanup() { delete m_ws; }

    void search()
    {
        Run r = velkaisLog({"search", "--from", "20110406", "--to", "20110408"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("222222222 B2\n431000000 M&M <X>\n333333333 \n"));

        r = velkaisLog({"search", "--from", "20110406", "--to", "20110408", "--area", "33.9683,130.9747,0.02"});
        QCOMPARE(r.out, QByteArray("431000000 M&M <X>\n"));
        r = velkaisLog({"search", "--from", "", "--to", "20110408", "--area=34,131,0", "--area", "0,0,0"});
        // An empty range matches only the centre; a record without position is at 0,0.
        QCOMPARE(r.out, QByteArray("222222222 B2\n431000000 M&M <X>\n333333333 \n"));
        r = velkaisLog({"search", "--from", "20110408", "--to", "20110408", "--mmsi", "431000000"});
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(r.status, 0);
    }

    // Nothing to read is no failure (status 0, the usual empty output), but
    // standard error tells it from a period without ships.
    void nothingToReadIsSaid()
    {
        for (const char *command : {"search", "records"}) {
            const Run r = velkaisLog({command, "--from", "20300101", "--to", "20300102"});
            QCOMPARE(r.status, 0);
            QCOMPARE(r.err, QByteArray("velkais-log: no day log between 20300101 and 20300102\n"));
        }
        QVERIFY(QDir(m_ws->path("empty")).mkpath("."));
        const Run days = velkaisLog({"days", "--logs", "../empty", "--from", "0", "--to", "9", "--ship", "1"});
        QCOMPARE(days.status, 0);
        QCOMPARE(days.out, QByteArray());
        QCOMPARE(days.err, QByteArray("velkais-log: no day logs in ../empty\n"));
        QCOMPARE(velkaisLog({"search", "--from", "20110406", "--to", "20110406"}).err, QByteArray());
    }

    void days()
    {
        Run r = velkaisLog({"days", "--from", "0", "--to", "9", "--ship", "222222222"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("20110406_AIS_FMT.log\n20110407_AIS_FMT.log\n"));
        r = velkaisLog({"days", "--from", "0", "--to", "9", "--ship", "222222222", "--area", "34,131,0.5"});
        QCOMPARE(r.out, QByteArray("20110406_AIS_FMT.log\n"));
    }

    void hoursAndChanges()
    {
        Run r = velkaisLog({"hours", "--file", "20110407_AIS_FMT.log", "--ship", "431000000"});
        QCOMPARE(r.status, 0);
        QByteArray expected;
        for (int h = 0; h <= 24; ++h)
            expected += QStringLiteral("%1 %2\n").arg(h, 2, 10, QLatin1Char('0')).arg(h == 9 || h == 10 || h == 24 ? 1 : 0).toLatin1();
        QCOMPARE(r.out, expected);

        r = velkaisLog({"changes", "--file", "20110407_AIS_FMT.log", "--ship", "431000000"});
        QCOMPARE(r.out, QByteArray("09:15:42 NAVIGATIONAL STATUS: MOORED\r\n10:00:00 NAVIGATIONAL STATUS: UNDER WAY\r\n"));
    }

    void kml()
    {
        Run r = velkaisLog({"kml", "--file", "20110407_AIS_FMT.log", "--ship", "431000000", "--name", "A&B", "--altitude", "2"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?><kml xmlns=\"http://earth.google.com/kml/2.2\">"));
        QVERIFY(r.out.contains("<Folder><name>A&amp;B</name><description>MMSI:431000000\nMax:10knots</description>"));
        QVERIFY(r.out.contains("<coordinates>\r\n130.9747,33.9683,10\r\n130.98,33.97,10\r\n\r\n</coordinates>"));
        QVERIFY(r.out.contains(QDate::currentDate().toString("yyyy/MM/dd").toLatin1() + "\n20110407_AIS_FMT.log"));
        QVERIFY(!QFile::exists("lb4velkais.kml"));

        Run toFile = velkaisLog({"kml", "--file", "20110407_AIS_FMT.log", "--ship", "431000000", "--name", "A&B",
                                 "--altitude", "2", "--out", "track.kml"});
        QCOMPARE(toFile.status, 0);
        QVERIFY(toFile.out.isEmpty());
        QFile f("track.kml");
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), r.out);
    }

    void exitStatuses_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("no command") << QStringList() << 2 << QByteArray("no command given");
        QTest::newRow("unknown command") << QStringList({"list"}) << 2 << QByteArray("unknown command 'list'");
        QTest::newRow("missing option") << QStringList({"search", "--from", "1"}) << 2 << QByteArray("search needs --to");
        QTest::newRow("option of another command")
            << QStringList({"hours", "--file", "x", "--ship", "1", "--area", "1,2,3"}) << 2 << QByteArray("--area does not go with hours");
        QTest::newRow("fourth area") << QStringList({"search", "--from", "", "--to", "9", "--area", "1", "--area", "1",
                                                     "--area", "1", "--area", "1"})
                                     << 2 << QByteArray("at most three --area");
        QTest::newRow("bad altitude") << QStringList({"kml", "--file", "x", "--ship", "1", "--altitude", "3"}) << 2
                                      << QByteArray("--altitude takes 0, 1 or 2");
        QTest::newRow("value missing") << QStringList({"search", "--from"}) << 2 << QByteArray("--from needs a value");
        QTest::newRow("no log folder") << QStringList({"search", "--from", "", "--to", "9", "--logs", "nowhere"}) << 1
                                       << QByteArray("cannot read the log folder nowhere");
        QTest::newRow("no such day") << QStringList({"hours", "--file", "20990101_AIS_FMT.log", "--ship", "1"}) << 1
                                     << QByteArray("20990101_AIS_FMT.log could not be read: no such file");
        QTest::newRow("records format") << QStringList({"records", "--from", "0", "--to", "9", "--format", "gpx"}) << 2
                                        << QByteArray("records --format takes csv, jsonl or geojson");
        QTest::newRow("track format") << QStringList({"track", "--file", "x", "--ship", "1", "--format", "csv"}) << 2
                                      << QByteArray("track --format takes gpx or geojson");
        QTest::newRow("track without format") << QStringList({"track", "--file", "x", "--ship", "1"}) << 2
                                              << QByteArray("track needs --format");
        QTest::newRow("offset") << QStringList({"track", "--file", "x", "--ship", "1", "--format", "gpx", "--utc-offset", "+9:00"})
                                << 2 << QByteArray("--utc-offset takes");
        QTest::newRow("offset with geojson")
            << QStringList({"track", "--file", "x", "--ship", "1", "--format", "geojson", "--utc-offset", "+09:00"}) << 1
            << QByteArray("x could not be read: no such file");
        QTest::newRow("no such day to track") << QStringList({"track", "--file", "x", "--ship", "1", "--format", "gpx"})
                                              << 1 << QByteArray("x could not be read: no such file");
        QTest::newRow("area not a number") << QStringList({"search", "--from", "0", "--to", "9", "--area", "abc"}) << 2
                                           << QByteArray("--area takes three numbers LAT,LON,RANGE, not 'abc'");
        QTest::newRow("area without range") << QStringList({"records", "--from", "0", "--to", "9", "--area", "55,15"})
                                            << 2 << QByteArray("not '55,15'");
        QTest::newRow("area with semicolons") << QStringList({"days", "--from", "0", "--to", "9", "--ship", "1",
                                                              "--area", "55;15;1"})
                                              << 2 << QByteArray("not '55;15;1'");
        QTest::newRow("date with dashes") << QStringList({"search", "--from", "2014-10-02", "--to", "2014-10-02"}) << 2
                                          << QByteArray("--from '2014-10-02' matches no day log name");
        QTest::newRow("empty to") << QStringList({"records", "--from", "", "--to", ""}) << 2
                                  << QByteArray("no day log name lies between --from '' and --to ''");
        QTest::newRow("to before from") << QStringList({"search", "--from", "20110408", "--to", "20110407"}) << 2
                                        << QByteArray("no day log name lies between");
        QTest::newRow("index date") << QStringList({"index", "--to", "2011/04"}) << 2
                                    << QByteArray("--to '2011/04' matches no day log name");
        QTest::newRow("unwritable") << QStringList({"records", "--from", "0", "--to", "9", "--out", "nowhere/r.csv"}) << 1
                                    << QByteArray("cannot write nowhere/r.csv");
    }
    void exitStatuses()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QByteArray, err);
        const Run r = velkaisLog(args);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(err), r.err.constData());
        // A usage error is the reason and where to read more, not the whole usage.
        if (status == 2) {
            QCOMPARE(r.err.count('\n'), 2);
            QVERIFY2(r.err.contains("\nTry 'velkais-log ") && r.err.endsWith("--help'.\n"), r.err.constData());
        }
    }

    void help()
    {
        const Run r = velkaisLog({"--help"});
        QCOMPARE(r.status, 0);
        for (const char *option : {"--logs", "--from", "--to", "--mmsi", "--area", "--ship", "--file", "--name", "--altitude", "--out", "--format", "--utc-offset"})
            QVERIFY(r.out.contains(option));
        for (const char *command : {"search", "days", "hours", "changes", "kml", "records", "track", "index"})
            QVERIFY(r.out.contains(QByteArray("\n  ") + command + ' '));

        const Run track = velkaisLog({"track", "--help"});
        QCOMPARE(track.status, 0);
        QVERIFY(track.out.startsWith("Usage: velkais-log track [--logs DIR] --file NAME --ship MMSI"));
        QCOMPARE(track.out.count("Usage:"), 1);
        QVERIFY(track.out.contains("  --utc-offset +HH:MM"));
        QVERIFY(!track.out.contains("--area") && !track.out.contains("--gap"));
        QCOMPARE(velkaisLog({"--ship", "1", "records", "--help"}).out.count("--altitude"), 0);
    }

    // "-" and /dev/stdout are standard output; a named pipe gets the bytes
    // and stays a pipe.
    void outInPlace()
    {
        const QStringList kml = {"kml", "--file", "20110407_AIS_FMT.log", "--ship", "431000000"};
        const QByteArray document = velkaisLog(kml).out;
        QVERIFY(!document.isEmpty());
        Run r = velkaisLog(kml + QStringList{"--out", "-"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, document);
        QVERIFY(!QFile::exists("-"));
#ifdef Q_OS_UNIX
        r = velkaisLog(kml + QStringList{"--out=/dev/stdout"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, document);
#endif
        r = velkaisLog({"records", "--from", "0", "--to", "9", "--out", "-"});
        QVERIFY(r.out.startsWith("file,date,"));

#ifdef Q_OS_UNIX
        const QStringList records = {"records", "--from", "0", "--to", "9", "--format", "jsonl"};
        const QByteArray lines = velkaisLog(records).out;
        QCOMPARE(QProcess::execute("mkfifo", {"pipe"}), 0);
        QProcess reader;
        reader.start("cat", {"pipe"});
        QVERIFY(reader.waitForStarted());
        r = velkaisLog(records + QStringList{"--out", "pipe"});
        QCOMPARE(r.status, 0);
        QVERIFY(reader.waitForFinished());
        QCOMPARE(reader.readAllStandardOutput(), lines);
        QVERIFY(!QFileInfo("pipe").isFile());
        QVERIFY(QDir().entryList(QDir::Files | QDir::Hidden).isEmpty());
#endif
    }

    // A run that exits 1 leaves the file it was to replace as it was, and
    // makes none under a new name.
    void failedRunKeepsTheOldFile()
    {
        QFile locked(m_ws->logs() + "/20110405_AIS_FMT.log");
        QVERIFY(locked.open(QIODevice::WriteOnly));
        locked.write(logRecord("01:00:00", "555555555"));
        locked.close();
        locked.setPermissions(QFileDevice::Permissions());
        if (QFile(locked.fileName()).open(QIODevice::ReadOnly))
            QSKIP("running with privileges that read any file");
        m_ws->write("work/old.csv", "old");
        m_ws->write("work/old.kml", "old");

        Run r = velkaisLog({"records", "--from", "0", "--to", "9", "--out", "old.csv"});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("old.csv not written: not every log file could be read"), r.err.constData());
        r = velkaisLog({"kml", "--file", "20110405_AIS_FMT.log", "--ship", "555555555", "--out", "old.kml"});
        QCOMPARE(r.status, 1);
        r = velkaisLog({"records", "--from", "0", "--to", "9", "--out", "new.csv"});
        QCOMPARE(r.status, 1);
        for (const QString name : {"old.csv", "old.kml"}) {
            QFile f(name);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("old"));
        }
        QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList({"old.csv", "old.kml"}));
        // Standard output gets what could be read.
        QVERIFY(velkaisLog({"records", "--from", "0", "--to", "9"}).out.contains("431000000"));
    }

    void unreadableFileOfThePeriodIsSkipped()
    {
        VELK_SKIP_WITHOUT_PERMISSION_BITS();
        QDir(m_ws->logs()).mkdir("20110405_AIS_FMT.log");
        QFile locked(m_ws->logs() + "/20110404_AIS_FMT.log");
        QVERIFY(locked.open(QIODevice::WriteOnly));
        locked.write(logRecord("01:00:00", "555555555"));
        locked.close();
        locked.setPermissions(QFileDevice::Permissions());
        const Run r = velkaisLog({"search", "--from", "", "--to", "20110406"});
        if (QFile(locked.fileName()).open(QIODevice::ReadOnly))
            QSKIP("running with privileges that read any file");
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.startsWith("velkais-log: ../logs/20110404_AIS_FMT.log could not be read: "));
        QVERIFY(r.err.endsWith("velkais-log: 1 log file could not be read\n"));
        QCOMPARE(r.out, QByteArray("222222222 B\n"));
        const Run quiet = velkaisLog({"search", "--quiet", "--from", "", "--to", "20110406"});
        QCOMPARE(quiet.status, 1);
        QCOMPARE(quiet.err, QByteArray("velkais-log: 1 log file could not be read\n"));
    }

    void limitReached()
    {
        QByteArray log;
        for (int i = 0; i < 1001; ++i)
            log += logRecord("01:00:00", QByteArray::number(100000000 + i));
        m_ws->writeLog("20110409_AIS_FMT.log", log);
        const Run r = velkaisLog({"search", "--from", "20110409", "--to", "20110409"});
        QCOMPARE(r.status, 3);
        QCOMPARE(r.out.count('\n'), 1000);
        QVERIFY2(r.err.startsWith("velkais-log: more than 1000 results, the most this program handles"), r.err);
    }

    // Windows paths as an operator types them: a drive letter, backslashes,
    // the trailing separator the window's own "..\\logs\\" has.
    void windowsLogPaths()
    {
#ifndef Q_OS_WIN
        QSKIP("drive letters and backslashes name folders on Windows only");
#endif
        const QStringList period = {"--from", "20110406", "--to", "20110408"};
        const QByteArray expected = velkaisLog(QStringList{"search"} + period).out;
        QVERIFY(!expected.isEmpty());
        const QString absolute = QDir::toNativeSeparators(QDir(m_ws->logs()).absolutePath());
        QCOMPARE(absolute.mid(1, 2), QString(":\\"));
        for (const QString &logs : {absolute, absolute + "\\", QString("..\\logs\\"), QString("..\\logs")}) {
            const Run r = velkaisLog(QStringList{"search", "--logs", logs} + period);
            QCOMPARE(r.status, 0);
            QCOMPARE(r.out, expected);
        }
        const Run r = velkaisLog({"hours", "--logs", absolute, "--file", "20110407_AIS_FMT.log", "--ship", "431000000"});
        QCOMPARE(r.status, 0);
        QVERIFY(r.out.startsWith("00 0\n"));
    }

    // index builds the summaries, in worker processes; a search then gives
    // what --no-index gives; a cache folder that cannot be made costs one
    // line on standard error and nothing else. index counts what it stored
    // and names the rest by reason; a name holding a line feed is one file to
    // the worker processes as to one process.
    void dayIndex()
    {
        const QString today = QDate::currentDate().toString("yyyyMMdd") + "_AIS_FMT.log";
        m_ws->writeLog(today, logRecord("01:00:00", "444444444"));
        QStringList days = {"20110406", "20110407", "20110408"};
#ifndef Q_OS_WIN
        // Windows names cannot hold one.
        m_ws->writeLog("2011\n0409_AIS_FMT.log", logRecord("01:00:00", "555555555"));
        days << "2011\n0409";
#endif
        for (const QString &name : days)
            m_ws->settleLog(name + "_AIS_FMT.log");
        QTest::qSleep(2100); // the change times settle too
        const QString dir = m_ws->path("index");
        const QStringList period = {"--from", "20110406", "--to", "20110408"};
        Run r = velkaisLog({"index", "--jobs", "2", "--index-dir", dir});
        QCOMPARE(r.status, 0);
        QVERIFY2(r.out.startsWith(QByteArray::number(days.size()) + " files stored (") &&
                     r.out.endsWith(" s), 1 today's log\n"),
                 r.out);
        QVERIFY2(r.err.isEmpty(), r.err);
        r = velkaisLog({"index", "--jobs", "2", "--index-dir", dir});
        QCOMPARE(r.out, "0 files stored, " + QByteArray::number(days.size()) + " already current, 1 today's log\n");
        r = velkaisLog({"index", "--jobs", "2", "--index-dir", dir, "--quiet"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out + r.err, QByteArray());
        m_ws->writeLog("20110406_AIS_FMT.log", logRecord("23:00:00", "222222222", "C", "34", "131"));
        m_ws->settleLog("20110406_AIS_FMT.log");
        r = velkaisLog(QStringList{"index", "--index-dir", dir} + period);
        QCOMPARE(r.out, QByteArray("0 files stored, 2 already current, 1 changed too recently\n"));

        const QByteArray plain = velkaisLog(QStringList{"search", "--no-index"} + period).out;
        QCOMPARE(velkaisLog(QStringList{"search", "--index-dir", dir} + period).out, plain);
        m_ws->write("blocker", "");
        r = velkaisLog(QStringList{"search", "--index-dir", m_ws->path("blocker/index")} + period);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, plain);
        QCOMPARE(r.err.count('\n'), 1);
        r = velkaisLog(QStringList{"index", "--index-dir", m_ws->path("blocker/index")});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QByteArray());
        QVERIFY2(r.err.count('\n') == 1 && r.err.contains("blocker/index") && r.err.contains("is a file, not a folder"),
                 r.err);
        QCOMPARE(velkaisLog({"index", "--no-index"}).status, 2);
    }

    // The window's menu entry and a cron job share an index through one
    // variable; --index-dir still wins.
    void indexFolderFromTheEnvironment()
    {
        m_ws->settleLog("20110406_AIS_FMT.log");
        qputenv("VELKAIS_INDEX_DIR", m_ws->path("shared").toUtf8());
        const Run r = velkaisLog({"index", "--from", "20110406", "--to", "20110406"});
        const Run given = velkaisLog({"index", "--from", "20110406", "--to", "20110406", "--index-dir", "own"});
        qunsetenv("VELKAIS_INDEX_DIR");
        QCOMPARE(r.status, 0);
        QCOMPARE(QDir(m_ws->path("shared")).entryList({"*.sqlite"}).size(), 1);
        QCOMPARE(given.status, 0);
        QCOMPARE(QDir("own").entryList({"*.sqlite"}).size(), 1);
    }

    // What index could not do fails the run, on standard error also with
    // --quiet: a cache folder or database it may not write (one line, before
    // any file is read), a log it may not read. Run again by ctest without
    // root's capabilities.
    void dayIndexReportsWhatItCouldNotDo()
    {
        m_ws->write("probe", "");
        QFile probe(m_ws->path("probe"));
        probe.setPermissions(QFileDevice::Permissions());
        if (probe.open(QIODevice::ReadOnly))
            QSKIP("running with privileges that read and write any file");
        for (const QString name : {"20110406", "20110407", "20110408"})
            m_ws->settleLog(name + "_AIS_FMT.log");
        QTest::qSleep(2100);
        const auto readOnly = QFileDevice::ReadOwner | QFileDevice::ExeOwner;
        QDir().mkpath(m_ws->path("locked"));
        QFile(m_ws->path("locked")).setPermissions(readOnly);
        Run r = velkaisLog({"index", "--index-dir", m_ws->path("locked/index")});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QByteArray());
        QVERIFY2(r.err.count('\n') == 1 && r.err.contains("locked/index") && r.err.contains("no permission"), r.err);

        const QString dir = m_ws->path("index");
        QCOMPARE(velkaisLog({"index", "--index-dir", dir, "--to", "20110406"}).status, 0);
        for (const QString &name : QDir(dir).entryList(QDir::Files))
            QFile(dir + "/" + name).setPermissions(QFileDevice::ReadOwner);
        r = velkaisLog({"index", "--index-dir", dir});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.count('\n') == 1 && r.err.contains("no permission to write the database file"), r.err);
        // A Search hands its two summaries to the store's own thread, which
        // fails on the first and says so once; the Search itself succeeds.
        r = velkaisLog({"search", "--from", "20110406", "--to", "20110408", "--index-dir", dir});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, velkaisLog({"search", "--from", "20110406", "--to", "20110408", "--no-index"}).out);
        QVERIFY2(r.err.count('\n') == 1 && r.err.contains("cannot write the day index"), r.err);
        for (const QString &name : QDir(dir).entryList(QDir::Files))
            QFile(dir + "/" + name).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);

        QFile(m_ws->logs() + "/20110407_AIS_FMT.log").setPermissions(QFileDevice::Permissions());
        r = velkaisLog({"index", "--jobs", "2", "--index-dir", dir});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.out.startsWith("1 file stored (114 bytes in ") &&
                     r.out.endsWith(" s), 1 already current, 1 could not be read\n"),
                 r.out);
        QVERIFY2(r.err.count('\n') == 2 && r.err.contains("20110407_AIS_FMT.log could not be read: ") &&
                     r.err.endsWith("velkais-log: 1 log file could not be read\n"),
                 r.err);
        r = velkaisLog({"index", "--index-dir", dir, "--quiet"});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(r.err, QByteArray("velkais-log: 1 log file could not be read\n"));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
