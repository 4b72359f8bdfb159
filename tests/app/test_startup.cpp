// velkais-log-browser's own command line.
#include "startup.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using Startup::Action;

class TestStartup : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("workDir");
        QTest::addColumn<QString>("error");
        const QString dir = m_dir.path();
        const QString file = m_dir.filePath("day.log");
        QFile(file).open(QIODevice::WriteOnly);

        QTest::newRow("none") << QStringList{} << int(Action::Run) << QString() << QString();
        QTest::newRow("workdir") << QStringList{dir} << int(Action::Run) << dir << QString();
        QTest::newRow("help") << QStringList{"--help"} << int(Action::Help) << QString() << QString();
        QTest::newRow("-h") << QStringList{"-h"} << int(Action::Help) << QString() << QString();
        QTest::newRow("version") << QStringList{"--version"} << int(Action::Version) << QString() << QString();
        QTest::newRow("qt option") << QStringList{"-style"} << int(Action::UsageError) << QString()
                                   << "unknown option '-style'";
        QTest::newRow("missing") << QStringList{dir + "/none"} << int(Action::UsageError) << QString()
                                 << dir + "/none: no such folder";
        QTest::newRow("a file") << QStringList{file} << int(Action::UsageError) << QString()
                                << file + ": not a folder";
        QTest::newRow("help and more") << QStringList{"--help", dir} << int(Action::UsageError) << QString()
                                       << "too many arguments";
        QTest::newRow("no index") << QStringList{"--no-index", dir} << int(Action::Run) << dir << QString();
        QTest::newRow("index dir") << QStringList{"--index-dir", "cache", dir} << int(Action::Run) << dir << QString();
        QTest::newRow("index dir=") << QStringList{dir, "--index-dir=cache"} << int(Action::Run) << dir << QString();
        QTest::newRow("index dir alone") << QStringList{"--index-dir"} << int(Action::UsageError) << QString()
                                         << "--index-dir needs a value";
        QTest::newRow("index dir twice") << QStringList{"--index-dir", "a", "--index-dir=b"} << int(Action::UsageError)
                                         << QString() << "--index-dir given twice";
        QTest::newRow("index dir and none") << QStringList{"--index-dir", "a", "--no-index"}
                                            << int(Action::UsageError) << QString()
                                            << "--index-dir does not go with --no-index";
        // After --map every argument is a file, even one named like an option.
        QTest::newRow("map") << QStringList{"--map", file, "--help"} << int(Action::Map) << QString() << QString();
        QTest::newRow("map alone") << QStringList{"--map"} << int(Action::Map) << QString() << QString();
        QTest::newRow("map and folder") << QStringList{dir, "--map", file} << int(Action::UsageError) << QString()
                                        << "a working folder does not go with --map";
    }
    void parse()
    {
        QFETCH(QStringList, args);
        QFETCH(int, action);
        const Startup::Request r = Startup::parse(args);
        QCOMPARE(int(r.action), action);
        QTEST(r.workDir, "workDir");
        QTEST(r.error, "error");
        QCOMPARE(r.noIndex, args.contains("--no-index"));
        // Taken from the folder the program starts in, before it moves to WORKDIR.
        if (r.action == Action::Run)
            QCOMPARE(r.indexDir, args.join(' ').contains("cache") ? QDir::current().filePath("cache") : QString());
        QCOMPARE(r.folderError, r.error.endsWith("folder"));
    }

    // A message box is tried only where someone can see it, and close it.
    void desktopReachable_data()
    {
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<bool>("reachable");
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
        QTest::newRow("nothing") << QStringList{} << true; // a desktop is always there
#else
        QTest::newRow("nothing") << QStringList{} << false;
#endif
#if !defined(Q_OS_WIN) && !defined(Q_OS_MACOS)
        QTest::newRow("X") << QStringList{"DISPLAY=:0"} << true;
        QTest::newRow("empty DISPLAY") << QStringList{"DISPLAY="} << false;
        QTest::newRow("Wayland") << QStringList{"WAYLAND_DISPLAY=wayland-0"} << true;
#endif
        QTest::newRow("xcb without X") << QStringList{"QT_QPA_PLATFORM=xcb", "WAYLAND_DISPLAY=w"} << false;
        QTest::newRow("offscreen") << QStringList{"QT_QPA_PLATFORM=offscreen", "DISPLAY=:0"} << false;
        QTest::newRow("minimal") << QStringList{"QT_QPA_PLATFORM=minimal"} << false;
        QTest::newRow("fallback list") << QStringList{"QT_QPA_PLATFORM=wayland;xcb", "DISPLAY=:1"} << true;
        QTest::newRow("own screen") << QStringList{"QT_QPA_PLATFORM=linuxfb:fb=/dev/fb0"} << true;
    }
    void desktopReachable()
    {
        QFETCH(QStringList, env);
        QProcessEnvironment e;
        for (const QString &v : env)
            e.insert(v.section('=', 0, 0), v.section('=', 1));
        QTEST(Startup::desktopReachable(e), "reachable");
    }

    // Offscreen nobody could close a box: the missing folder still ends at once.
    void missingFolderOffscreenEndsAtOnce()
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(BROWSER), {m_dir.filePath("none")});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().replace("\r\n", "\n").contains("no such folder\n"));
    }

    // The program as a terminal sees it. No display is reachable, so a window
    // that opened by mistake would make the program fail differently.
    void process_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("Usage: velkais-log-browser [--index-dir DIR | --no-index] [WORKDIR]\n")
                              << QByteArray();
        QTest::newRow("version") << QStringList{"--version"} << 0
                                 << QByteArray("velkais-log-browser " VELKAIS_VERSION "\n") << QByteArray();
        QTest::newRow("bad option") << QStringList{"--chart"} << 2 << QByteArray()
                                    << QByteArray("velkais-log-browser: unknown option '--chart'\n");
        QTest::newRow("missing folder") << QStringList{m_dir.filePath("none")} << 2 << QByteArray()
                                        << QByteArray("no such folder\n");
    }
    void process()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(BROWSER), args);
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QTEST(p.exitCode(), "status");
        QByteArray stdOut = p.readAllStandardOutput();
        QByteArray stdErr = p.readAllStandardError();
#ifdef Q_OS_WIN
        // The C runtime writes the messages as text there: CR LF line ends.
        stdOut.replace("\r\n", "\n");
        stdErr.replace("\r\n", "\n");
#endif
        QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), stdOut.constData());
        QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.contains(err), stdErr.constData());
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "test_startup.moc"
