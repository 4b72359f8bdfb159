// velkais-log-browser's own command line.
#include "startup.h"

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
    }

    // The program as a terminal sees it. No display is reachable, so a window
    // that opened by mistake would make the program fail differently.
    void process_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("Usage: velkais-log-browser [--no-index] [WORKDIR]\n")
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
