#pragma once

#include "engine/host.h"

#include <QElapsedTimer>
#include <QStringList>

#include <cstdio>
#include <vector>

// The engine's host for the command-line tool: the window's controls become
// plain fields set from the options, and what the windows would show is kept
// for printing. Nothing here decides anything the window would decide
// differently: the passes, matching and views are the engine's.
class CliHost : public Module1::Host
{
public:
    // Criteria and selections, as the window's fields would hold them.
    QString periodFirstText, periodLastText;
    Module1::Criteria criteriaValue;
    int altitude = 0;
    Module1::ViewChoice choice = Module1::ViewChoice::None;
    QStringList ships, files;
    int shipSelected = -1, fileSelected = -1;
    QString changeList;

    // What went wrong, for the exit status.
    bool limitReached = false;
    bool fileSkipped = false;

    // Progress on standard error for passes longer than a second, when it is a
    // terminal. `total` is the number of files the pass will read.
    void startProgress(int totalFiles, bool enabled);
    void endProgress();

    QString periodFirst() override { return periodFirstText; }
    QString periodLast() override { return periodLastText; }
    Module1::Criteria criteria() override { return criteriaValue; }
    int altitudeRule() override { return altitude; }
    Module1::ViewChoice viewChoice() override { return choice; }

    void setStatus(const QString &caption) override;
    void setSearchEnabled(bool) override {}
    void setShipListEnabled(bool) override {}
    void setFileListEnabled(bool) override {}
    void setOpenEnabled(bool) override {}
    void setMainWindowEnabled(bool) override {}

    void clearShips() override { ships.clear(); shipSelected = -1; }
    void appendShip(const QString &item) override { ships << item; }
    void replaceShip(int index, const QString &item) override { ships[index] = item; }
    int shipItemCount() override { return int(ships.size()); }
    QString shipItem(int index) override { return ships.value(index); }
    int selectedShipIndex() override { return shipSelected; }
    void selectShip(int) override {} // no ship selection runs after a search here

    void clearFiles() override { files.clear(); fileSelected = -1; }
    void appendFile(const QString &name) override { files << name; }
    int fileItemCount() override { return int(files.size()); }
    QString fileItem(int index) override { return files.value(index); }
    int selectedFileIndex() override { return fileSelected; }
    void selectFile(int index) override { fileSelected = index; }

    void showPicture(const QString &) override {}
    void showLimitMessage() override;
    bool processEvents() override;

    void prepareViewWindow(Module1::ViewChoice, const QString &) override { changeList.clear(); }
    void setViewCaption(const QString &) override {}
    void draw(const Module1::ChartPrimitive &) override {}
    void appendChangeLine(const QString &line) override { changeList += line; }
    void openWithShell(const QString &) override {}
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
