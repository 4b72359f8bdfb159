#include "engine/dayindex.h"
#include "engine/module1.h"
#include "index/sqlitedayindex.h"
#include "main_window/form1.h"
#include "map_window/mapwindow.h"
#include "map_window/trackfile.h"
#include "platform/fonts.h"
#include "startup.h"
#include "startupbox.h"

#include <QApplication>
#include <QDir>
#include <QThread>

#include <cstdio>

namespace {

// Started from a desktop entry, the program has no terminal for its standard
// error: the reason goes into a message box as well, where one can be seen.
void showFailureOnDesktop(int &argc, char **argv, const QString &reason)
{
    if (!Startup::desktopReachable(QProcessEnvironment::systemEnvironment()))
        return;
    QApplication app(argc, argv);
    Startup::showFailure(reason);
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const Startup::Request request = Startup::parse(args);
    switch (request.action) {
    case Startup::Action::Help:
        std::fputs(Startup::helpText().toUtf8().constData(), stdout);
        return 0;
    case Startup::Action::Version:
        std::fputs(Startup::versionText().toUtf8().constData(), stdout);
        return 0;
    case Startup::Action::UsageError:
        std::fprintf(stderr, "velkais-log-browser: %s\nTry 'velkais-log-browser --help'.\n",
                     request.error.toLocal8Bit().constData());
        if (request.folderError)
            showFailureOnDesktop(argc, argv, request.error);
        return 2;
    case Startup::Action::Run:
    case Startup::Action::Map:
        break;
    }
    // Everything the program reads and writes is relative to the folder it
    // runs in, so starting in WORKDIR is the same as being started there.
    if (!request.workDir.isEmpty() && !QDir::setCurrent(request.workDir)) {
        std::fprintf(stderr, "velkais-log-browser: cannot enter %s\n", request.workDir.toLocal8Bit().constData());
        showFailureOnDesktop(argc, argv, QStringLiteral("cannot enter %1").arg(request.workDir));
        return 2;
    }

    // The files are read before the window system starts: what cannot be
    // shown is said without a display too, and in a box where a desktop
    // (a file manager's "Open with") started the program.
    std::vector<Map::Track> tracks;
    QStringList errors;
    // No files at all is the map's own menu entry: it opens empty.
    if (request.action == Startup::Action::Map && !request.mapFiles.isEmpty()) {
        errors = Map::readTrackFiles(request.mapFiles, &tracks);
        for (const QString &e : errors)
            std::fprintf(stderr, "velkais-log-browser: %s\n", e.toLocal8Bit().constData());
        if (tracks.empty()) {
            showFailureOnDesktop(argc, argv, QStringLiteral("Nothing to show:\n%1").arg(errors.join(QLatin1Char('\n'))));
            return 1;
        }
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(VELKAIS_APP_ID));
    Platform::installFontSubstitutions();
    if (request.action == Startup::Action::Map) {
        Map::MapWindow map;
        map.setAreasShown(false); // no area fields to draw into
        for (Map::Track &t : tracks)
            map.addTrack(std::move(t));
        map.show();
        map.showUnreadable(errors);
        return app.exec();
    }
    // Summaries of the day logs, shared with velkais-log, spare reading files
    // that cannot change a Search or a ship selection.
    Index::SqliteDayIndex dayIndex(request.indexDir);
    // A wrong VELKAIS_JOBS costs nothing but speed: said, and the cores used.
    if (Module1::readJobsFromEnvironment() < 0) {
        std::fprintf(stderr, "velkais-log-browser: VELKAIS_JOBS takes a number from 1 to %d; reading with one thread a core\n",
                     Module1::kMaxReadJobs);
        Module1::setReadJobs(QThread::idealThreadCount());
    }
    if (!request.noIndex)
        Module1::setDayIndex(&dayIndex);
    Form1 form;
    form.show();
    const int status = app.exec();
    Module1::setDayIndex(nullptr);
    return status;
}
