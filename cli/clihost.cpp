#include "clihost.h"

#include "engine/module1.h"

#include <QDir>
#include <QFileInfo>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

bool stderrIsTerminal()
{
    return isatty(fileno(stderr));
}

void CliHost::startProgress(int totalFiles, bool enabled)
{
    m_progress = enabled;
    m_totalFiles = totalFiles;
    m_filesStarted = 0;
    m_bytesDone = 0;
    m_currentSize = 0;
    m_clock.start();
}

void CliHost::endProgress()
{
    if (m_progressShown)
        std::fputs("\r\033[K", stderr);
    m_progressShown = false;
    m_progress = false;
}

void CliHost::setStatus(const QString &caption)
{
    // The reader names every file it starts ("mode : name") and empties the
    // line after it: that is all the progress line needs.
    if (caption.isEmpty()) {
        m_bytesDone += m_currentSize;
        m_currentSize = 0;
        return;
    }
    ++m_filesStarted;
    const QString name = caption.section(QStringLiteral(" : "), 1);
    m_currentSize = QFileInfo(Module1::logFolder + name).size();
}

void CliHost::printProgress()
{
    if (!m_progress || m_clock.elapsed() < 1000)
        return;
    const double seconds = m_clock.elapsed() / 1000.0;
    std::fprintf(stderr, "\r\033[Kfile %d of %d, %.0f MB/s", m_filesStarted, m_totalFiles,
                 m_bytesDone / 1e6 / seconds);
    std::fflush(stderr);
    m_progressShown = true;
}

bool CliHost::processEvents()
{
    printProgress();
    return false;
}

void CliHost::showLimitMessage()
{
    limitReached = true;
    endProgress();
    // Said first in English, for the scripts and terminals the tool serves,
    // then in the words of the window's message box.
    std::fprintf(stderr, "velkais-log: more than 1000 results, the most this program handles: stopped, the first 1000 "
                         "are printed (%s)\n",
                 Module1::kLimitMessage.toUtf8().constData());
}

void CliHost::showError(const QString &message)
{
    std::fprintf(stderr, "velkais-log: %s\n", message.toUtf8().constData());
}

void CliHost::reportSkippedFile(const QString &path, const QString &reason)
{
    fileSkipped = true;
    if (quiet)
        return;
    // In the words of the window's details.
    std::fprintf(stderr, "%svelkais-log: %s\n", m_progressShown ? "\r\033[K" : "",
                 Module1::skippedFileText(path, reason).toUtf8().constData());
}

void startEngineOn(const QString &logs)
{
    Module1::resetState();
    const QString folder = QDir::fromNativeSeparators(logs);
    Module1::logFolder = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    Module1::kmlFilePath.clear();
}
