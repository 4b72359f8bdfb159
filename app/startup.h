#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The window's command line: velkais-log-browser [--index-dir DIR | --no-index]
// [WORKDIR] | --map [FILE...] | --help | --version.
// It is read before any window or display connection exists, so that --help
// and usage errors work on a terminal without a desktop.
namespace Startup {

enum class Action { Run, Map, Help, Version, UsageError };

struct Request
{
    Action action = Action::Run;
    QString workDir;  // empty: stay in the folder the program was started in
    QString error;    // for UsageError
    bool noIndex = false; // read every day log, without the day index
    QString indexDir;     // absolute; empty: SqliteDayIndex's default
    // The error is about WORKDIR: what a desktop entry passes, so it is shown
    // in a message box as well where a desktop can show one.
    bool folderError = false;
    QStringList mapFiles; // for Map: KML, GPX or GeoJSON files, read once the window system is up
};

Request parse(const QStringList &args);  // the arguments after the program name
QString helpText();
QString versionText();

// Whether a window could be seen, judged from the environment alone before a
// display connection is tried (a failed one ends the process): a display
// server named for the platform Qt would use, or a platform that is its own
// screen. Never offscreen or minimal, where a message box would wait for a
// click that cannot come.
bool desktopReachable(const QProcessEnvironment &env);

} // namespace Startup
