#pragma once

#include <QString>

class CliHost;
namespace Index {
class SqliteDayIndex;
}

struct IndexRun
{
    QString folder;      // the log folder, ending in "/"
    QString from, to;    // the period; an empty bound leaves that side open
    QString indexDir;    // as given, for the worker processes
    int jobs = 1;
    bool worker = false; // one of the processes of a parallel run: names on standard input
};

// velkais-log index: summarises every file of the period the index does not
// hold yet. With more than one job the files are shared out among that many
// processes of this program, each reading its files one by one, each file
// from an empty record; they all write to the same database.
int indexCommand(const IndexRun &run, Index::SqliteDayIndex &index, CliHost &host);
