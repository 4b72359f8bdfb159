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
    // hands over file names as they are. None opens the map empty, for the
    // menu entry; its Open... adds files then.
    const qsizetype map = args.indexOf(QStringLiteral("--map"));
    if (map >= 0) {
        if (map > 0)
            return fail(QStringLiteral("a working folder does not go with --map"));
        r.mapFiles = args.mid(1);
        r.action = Action::Map;
        return r;
    }
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        QString dir;
        if (a == QLatin1String("--index-dir")) {
            if (i + 1 >= args.size())
                return fail(QStringLiteral("--index-dir needs a value"));
            dir = args[i + 1];
            args.remove(i, 2);
        } else if (a.startsWith(QLatin1String("--index-dir="))) {
            dir = a.mid(12);
            args.remove(i, 1);
        } else {
            continue;
        }
        if (!r.indexDir.isEmpty())
            return fail(QStringLiteral("--index-dir given twice"));
        if (dir.isEmpty())
            return fail(QStringLiteral("--index-dir needs a folder"));
        // Taken from the folder the program was started in, as a shell user
        // means it, before the move into WORKDIR.
        r.indexDir = QFileInfo(dir).absoluteFilePath();
        --i;
    }
    if (r.noIndex && !r.indexDir.isEmpty())
        return fail(QStringLiteral("--index-dir does not go with --no-index"));
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
    r.folderError = !dir.isDir();
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
        "Usage: velkais-log-browser [--index-dir DIR | --no-index] [WORKDIR]\n"
        "  or:  velkais-log-browser --map [FILE...]\n"
        "Browse the daily text logs of a shore-side AIS receiving station: search a period\n"
        "of day logs for ships by MMSI and area, and view a ship's day as a chart of\n"
        "reports per hour, a list of voyage and status changes, or a KML track.\n"
        "\n"
        "The browser works in WORKDIR, or in the current folder when none is given. It\n"
        "reads the day logs from ../logs/ and the ship photographs from ../pics/, and\n"
        "writes VelkaisLogBrowser.ini and lb4velkais.kml in the working folder.\n"
        "\n"
        "Searches and ship selections keep a day index, summaries of the day logs already read,\n"
        "shared with velkais-log: in the --index-dir folder, else in $VELKAIS_INDEX_DIR, else in\n"
        "the user's cache folder, ~/.cache/velkais-log-browser/.\n"
        "\n"
        "With --map it opens only the map, with the tracks and points of the KML, GPX\n"
        "and GeoJSON files given (those velkais-log writes, and plain ones of others);\n"
        "without files it opens the map empty, and its Open... (Ctrl+O) adds files.\n"
        "\n"
        "Options:\n"
        "      --index-dir DIR  keep the day index in DIR\n"
        "      --map [FILE...]  show the files on the map, without the main window\n"
        "      --no-index       read every day log; neither use nor update the day index\n"
        "  -h, --help           print this help and exit\n"
        "      --version        print the version and exit\n"
        "\n"
        "Environment:\n"
        "  VELKAIS_JOBS         day logs a search reads at once, one a thread (default: one\n"
        "                       per core; 1 reads them one after the other)\n"
        "  VELKAIS_INDEX_DIR    where the day index is kept (see above)\n"
        "\n"
        "Exit status:\n"
        "  2  usage error: no window opens; a WORKDIR that is not a folder is shown in\n"
        "     a message box too when a desktop is there\n");
}

QString versionText()
{
    return QStringLiteral("velkais-log-browser " VELKAIS_VERSION "\n");
}

bool desktopReachable(const QProcessEnvironment &env)
{
    const auto set = [&env](const char *name) { return !env.value(QLatin1String(name)).isEmpty(); };
    const QString platforms = env.value(QStringLiteral("QT_QPA_PLATFORM"));
    if (platforms.trimmed().isEmpty()) {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
        return true;
#else
        return set("DISPLAY") || set("WAYLAND_DISPLAY");
#endif
    }
    // "wayland;xcb" is tried in turn: one that can connect is enough.
    for (const QString &entry : platforms.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString name = entry.section(QLatin1Char(':'), 0, 0).trimmed();
        if (name == QLatin1String("offscreen") || name.startsWith(QLatin1String("minimal")))
            continue;
        if (name == QLatin1String("xcb")) {
            if (set("DISPLAY"))
                return true;
            continue;
        }
        if (name.startsWith(QLatin1String("wayland"))) {
            if (set("WAYLAND_DISPLAY"))
                return true;
            continue;
        }
        return true; // windows, cocoa, eglfs, linuxfb, vnc: a screen of their own
    }
    return false;
}

} // namespace Startup
