#include "demodata.h"

#include <QCommandLineParser>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // The photographs are drawn into images, never shown: no display needed.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName("velkais-demo-data");

    QCommandLineParser parser;
    parser.setApplicationDescription("Writes invented day logs and ship photographs of a Kanmon strait station.");
    parser.addHelpOption();
    const QCommandLineOption out("out", "Workspace folder: logs/ and pics/ are written in it, and an empty work/ to start the browser in.", "DIR");
    const QCommandLineOption days("days", "Number of day logs (default 1).", "N", "1");
    const QCommandLineOption end("end", "Last day, yyyymmdd (default today).", "YYYYMMDD");
    const QCommandLineOption size("mb-per-day", "Approximate size of a day log in MB (default 2).", "M", "2");
    const QCommandLineOption ships("ships", "Ships in the fleet (default: from the size).", "K", "0");
    const QCommandLineOption seed("seed", "Seed (default 1).", "S", "1");
    const QCommandLineOption shape("shape", "strait (default): the demo's ships in the Kanmon strait; wander: 2,000 ships "
                                            "roaming a 1-degree square, a few reporting every few seconds, most rarely.",
                                   "SHAPE", "strait");
    parser.addOptions({out, days, end, size, ships, seed, shape});
    parser.process(app);

    DemoData::Options options;
    bool ok[4] = {};
    options.days = parser.value(days).toInt(&ok[0]);
    options.mbPerDay = parser.value(size).toDouble(&ok[1]);
    options.ships = parser.value(ships).toInt(&ok[2]);
    options.seed = parser.value(seed).toULongLong(&ok[3]);
    const QString shapeName = parser.value(shape);
    options.shape = shapeName == "wander" ? DemoData::Shape::Wander : DemoData::Shape::Strait;
    options.end = parser.isSet(end) ? QDate::fromString(parser.value(end), "yyyyMMdd") : QDate::currentDate();
    if (!parser.isSet(out) || !(ok[0] && ok[1] && ok[2] && ok[3]) || !options.end.isValid() || options.days < 1
        || options.mbPerDay <= 0 || options.ships < 0 || (shapeName != "strait" && shapeName != "wander")) {
        std::fputs(qPrintable(parser.helpText()), stderr);
        return 2;
    }

    QString error;
    if (!DemoData::generate(parser.value(out), options, &error)) {
        std::fprintf(stderr, "velkais-demo-data: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
