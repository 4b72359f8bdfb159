#pragma once

#include "engine/plainhost.h"

#include <QElapsedTimer>

#include <cstdio>

// The engine's host for the command-line tool: the window's controls become
// plain fields set from the options, and what the windows would show is kept
// for printing. Nothing here decides anything the window would decide
// differently: the passes, matching and views are the engine's.
// The engine's state reset for a new run over the day logs in `logs`.
// Windows users type D:\archive\logs\; the engine joins names with '/'.
void startEngineOn(const QString &logs);

// True when standard error is a terminal, where progress lines belong.
bool stderrIsTerminal();

class CliHost : public Module1::PlainHost
{
public:
    CliHost() { selectRunsSelection = false; } // a search here runs no ship selection after it

    // What went wrong, for the exit status.
    bool limitReached = false;
    bool fileSkipped = false;
    // No line for each skipped file (--quiet).
    bool quiet = false;

    // Progress on standard error for passes longer than a second, when it is a
    // terminal. `totalFiles` is the number of files the pass will read.
    void startProgress(int totalFiles, bool enabled);
    void endProgress();

    void setStatus(const QString &caption) override;
    void showLimitMessage() override;
    bool processEvents() override;
    void showError(const QString &message) override;
    void reportSkippedFile(const QString &path, const QString &reason) override;

private:
    void printProgress();

    bool m_progress = false;
    bool m_progressShown = false;
    int m_totalFiles = 0;
    int m_filesStarted = 0;
    qint64 m_bytesDone = 0;
    qint64 m_currentSize = 0;
    QElapsedTimer m_clock;
};
