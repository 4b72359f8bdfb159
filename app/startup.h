#pragma once

#include <QString>
#include <QStringList>

// The window's command line: velkais-log-browser [--no-index] [WORKDIR] | --map FILE...
// | --help | --version.
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
    QStringList mapFiles; // for Map: KML, GPX or GeoJSON files, read once the window system is up
};

Request parse(const QStringList &args);  // the arguments after the program name
QString helpText();
QString versionText();

} // namespace Startup
