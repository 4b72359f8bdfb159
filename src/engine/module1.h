#pragma once

#include "engine/host.h"

#include <QString>
#include <QStringList>

#include <array>
#include <string>
#include <string_view>
#include <vector>

// The log search engine: the current record, the reader, the matcher with its
// ship table, the view accumulation and the three commands that run passes.
// Module-wide plain data, as the windows and the command-line tool share one
// engine per process; every text is UTF-8.
namespace Module1 {

// The record being read. Filled by readLogFile, emptied by matchRecord after
// every record except recTime, which carries over to the next record, file and
// pass.
struct CurrentRecord
{
    std::string recTime;
    std::string recMmsi;
    std::string recName;
    std::string recLongitude;
    std::string recLatitude;
    std::string recSpeed;
    std::string recDestination;
    std::string recEta;
    std::string recDraught;
    std::string recNavStatus;
    std::string recText;
};

inline constexpr int kResultLimit = 1000;

struct SearchState
{
    int shipCount = 0;
    std::vector<std::string> shipMmsi = std::vector<std::string>(kResultLimit);
    std::string selectedMmsi;
    std::string viewMmsi;
};

struct ViewState
{
    std::string viewMode;                // "Hour", "Dest", "KML"
    std::array<int, 25> hourCount{};
    long long recSeconds = 0;
    std::string lastVoyage;
    std::string lastNavStatus;
    std::string lastText;
    std::string kmlCoordinates;
    std::string kmlLastPosition;
    double maxSpeed = 0;
};

// What the passes since the last clearPassReport() left unread: log files
// that could not be read, the files in which the user stopped a pass, and
// periods that held no day log at all. A result limit is not here: its
// message box has told the user already.
struct PassReport
{
    struct Skipped
    {
        QString path;
        QString reason;
        QString mode;           // the pass that met it first
    };
    struct Stop
    {
        QString mode;
        QString fileName;
        // A period pass's files from the stopped one on (that one read in
        // part), as paths in the log folder: what the lists leave out.
        QStringList unread;
    };
    // Nothing to read is no failure, but it must not look like a quiet sea.
    struct Empty
    {
        QString mode;
        QString folder;         // the log folder, without its closing "/"
        QString first, last;    // the period as it stood at the end of the pass
        bool folderHasLogs = false;
        bool folderExists = false;
    };
    std::vector<Skipped> skipped;
    std::vector<Stop> stops;
    std::vector<Empty> empty;

    bool complete() const { return skipped.empty() && stops.empty(); }
    // Something for the notice line or standard error.
    bool noteworthy() const { return !complete() || !empty.empty(); }
};

extern CurrentRecord record;
extern SearchState search;
extern ViewState view;
extern PassReport passReport;

// Where the passes look for day logs; "../logs/" unless the command-line tool
// is told otherwise. Always ends in "/".
extern QString logFolder;
// Where openView writes the KML document ("lb4velkais.kml" in the working
// folder); the command-line tool empties it and writes the document itself.
extern QString kmlFilePath;
inline const QString kLogSuffix = QStringLiteral("_AIS_FMT.log");
inline const QString kKmlFileName = QStringLiteral("lb4velkais.kml");
inline const QString kProgramTitle = QStringLiteral("Log Browser for VELK-AIS");
inline const QString kLimitMessage =
    QStringLiteral("該当件数が本システムで取り扱える1000件を超えました。処理を中止します。");

// The engine talks to windows only through the host; set it before any pass.
void setHost(Host *host);
Host *host();

// Back to the state at program start (empty record, counters 0, no ships).
void resetState();

// Reads one log file (a bare name in logFolder) and hands every complete record
// with an MMSI to matchRecord. Returns true when the pass must stop (result
// limit reached, or the user asked to stop).
bool readLogFile(const QString &fileName, const QString &mode);

// Applies the pass's mode and the criteria to the current record, then empties
// it. Returns true when the result limit has just been reached and reported.
bool matchRecord(const QString &mode, const QString &fileName);

bool isShipListed(std::string_view mmsi);
bool isFileListed(const QString &fileName);

// Counts, draws and collects one report of the viewed ship (mode "List2").
void accumulateView();

// Every log file whose name-date lies in the period, through readLogFile.
// Returns true when it stopped early.
bool periodPass(const QString &mode);

// Day logs a period pass reads at once, each on a worker thread, while the
// pass's own thread applies them in the period's order; 1 reads them one
// after the other on the pass's thread. Views and single files are always
// read by the thread that asks. Until set (0): VELKAIS_JOBS when it holds a
// number of 1 or more, else the number of cores.
void setReadJobs(int jobs);
int readJobs();
inline constexpr int kMaxReadJobs = 64;
// VELKAIS_JOBS as a number of jobs: 0 when unset, -1 when not a number from 1
// to kMaxReadJobs.
int readJobsFromEnvironment();

// The commands of the main window.
void searchCommand();   // Command1
void shipSelection();   // a ship selected in List1
void openView();        // Command2

// The KML document around the track. Values are XML-escaped; see kml.cpp.
QByteArray kmlHeader(const QString &shipName, const QString &folderDescription, const QString &logFileName);
QByteArray kmlFooter(const QString &shipName, const QString &lastPosition);
// The whole document for the view state left by the last read.
QByteArray kmlDocument(const QString &shipName, const QString &logFileName);

// The words the window and velkais-log use alike for an incomplete pass.
// One line per skipped file or stop, for the details and standard error:
QString skippedFileText(const QString &path, const QString &reason);
QString stopText(const PassReport::Stop &stop);
QString emptyText(const PassReport::Empty &empty);      // "no day log between 20300101 and 20300102"
QStringList passDetails(const PassReport &report);
// One short line for the whole report, empty when there is nothing to say;
// `hint` adds where the window shows the details.
QString passNotice(const PassReport &report, const QString &hint = QString());

// Decodes bytes from a log as the windows show them (invalid UTF-8 as U+FFFD).
QString toText(std::string_view bytes);

} // namespace Module1
