#include "startup.h"

#include <QFileInfo>

namespace Startup {

Request parse(const QStringList &given)
{
    Request r;
    QStringList args = given;
    r.noIndex = args.removeAll(QStringLiteral("--no-index")) > 0;
    auto fail = [&r](const QString &why) {
        r.action = Action::UsageError;
        r.error = why;
        return r;
    };
    // Everything after --map is a file to show, whatever its name: a desktop
    // hands over file names as they are.
    const qsizetype map = args.indexOf(QStringLiteral("--map"));
    if (map >= 0) {
        if (map > 0)
            return fail(QStringLiteral("--map takes files only, without a working folder"));
        r.mapFiles = args.mid(1);
        if (r.mapFiles.isEmpty())
            return fail(QStringLiteral("--map needs at least one file"));
        r.action = Action::Map;
        return r;
    }
    if (args.size() > 1)
        return fail(QStringLiteral("too many arguments"));
    if (args.isEmpty())
        return r;
    const QString &a = args.first();
    if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
        r.action = Action::Help;
        return r;
    }
    if (a == QLatin1String("--version")) {
        r.action = Action::Version;
        return r;
    }
    // Qt's own options (-style, -platform...) are refused too: a station's
    // folder never starts with a dash, and a typo should not open a window.
    if (a.startsWith(QLatin1Char('-')))
        return fail(QStringLiteral("unknown option '%1'").arg(a));
    const QFileInfo dir(a);
    if (!dir.exists())
        return fail(QStringLiteral("%1: no such folder").arg(a));
    if (!dir.isDir())
        return fail(QStringLiteral("%1: not a folder").arg(a));
    r.workDir = a;
    return r;
}

QString helpText()
{
    return QStringLiteral(
        "Usage: velkais-log-browser [--no-index] [WORKDIR]\n"
        "  or:  velkais-log-browser --map FILE...\n"
        "Browse the daily text logs of a shore-side AIS receiving station: search a period\n"
        "of day logs for ships by MMSI and area, and view a ship's day as a chart of\n"
        "reports per hour, a list of voyage and status changes, or a KML track.\n"
        "\n"
        "The browser works in WORKDIR, or in the current folder when none is given. It\n"
        "reads the day logs from ../logs/ and the ship photographs from ../pics/, and\n"
        "writes VelkaisLogBrowser.ini and lb4velkais.kml in the working folder.\n"
        "\n"
        "With --map it opens only the map, with the tracks and points of the KML, GPX\n"
        "and GeoJSON files given (those velkais-log writes, and plain ones of others).\n"
        "\n"
        "      --map FILE...  show the files on the map, without the main window\n"
        "      --no-index read every day log; neither use nor update the day index\n"
        "  -h, --help     display this help and exit\n"
        "      --version  output version information and exit\n"
        "\n"
        "On a usage error no window opens and the exit status is 2.\n");
}

QString versionText()
{
    return QStringLiteral("velkais-log-browser " VELKAIS_VERSION "\n");
}

} // namespace Startup
