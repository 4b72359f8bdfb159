#pragma once

#include "engine/host.h"

#include <QStringList>

#include <functional>
#include <vector>

// A host without windows: the controls are plain fields the tests set and read.
class FakeHost : public Module1::Host
{
public:
    // Criteria as the user would type them.
    QString text1[15];
    bool check1[3] = {false, false, false};
    int combo1 = 0;
    Module1::ViewChoice choice = Module1::ViewChoice::None;

    // What the engine did to the controls.
    QStringList ships, files;
    int shipSelected = -1, fileSelected = -1;
    bool searchEnabled = true, shipListEnabled = true, fileListEnabled = true, openEnabled = false,
         mainEnabled = true;
    QString status, viewCaption, picture;
    QStringList statusHistory, changeLines, skipped, errors, shellOpened;
    std::vector<Module1::ChartPrimitive> drawn;
    std::vector<Module1::ViewChoice> prepared;
    int limitMessages = 0;
    int eventTurns = 0;
    bool stopOnEvents = false;
    std::function<void()> onEvents;  // runs inside an event-loop turn
    bool selectRunsSelection = true; // selectShip behaves like a click in List1

    FakeHost()
    {
        text1[4] = "33.7761"; text1[5] = "131.0082"; text1[6] = "0.002";
        text1[9] = "33.8714"; text1[10] = "130.9956"; text1[11] = "0.002";
        text1[12] = "33.9683"; text1[13] = "130.9747"; text1[14] = "0.02";
    }

    QString periodFirst() override { return text1[7]; }
    QString periodLast() override { return text1[8]; }
    Module1::Criteria criteria() override;
    int altitudeRule() override { return combo1; }
    Module1::ViewChoice viewChoice() override { return choice; }

    void setStatus(const QString &c) override { status = c; statusHistory << c; }
    void setSearchEnabled(bool on) override { searchEnabled = on; }
    void setShipListEnabled(bool on) override { shipListEnabled = on; }
    void setFileListEnabled(bool on) override { fileListEnabled = on; }
    void setOpenEnabled(bool on) override { openEnabled = on; }
    void setMainWindowEnabled(bool on) override { mainEnabled = on; }

    void clearShips() override { ships.clear(); shipSelected = -1; }
    void appendShip(const QString &item) override { ships << item; }
    void replaceShip(int i, const QString &item) override { ships[i] = item; }
    int shipItemCount() override { return int(ships.size()); }
    QString shipItem(int i) override { return ships.value(i); }
    int selectedShipIndex() override { return shipSelected; }
    void selectShip(int i) override;

    void clearFiles() override { files.clear(); fileSelected = -1; }
    void appendFile(const QString &name) override { files << name; }
    int fileItemCount() override { return int(files.size()); }
    QString fileItem(int i) override { return files.value(i); }
    int selectedFileIndex() override { return fileSelected; }
    void selectFile(int i) override { fileSelected = i; }

    void showPicture(const QString &mmsi) override { picture = mmsi; }
    void showLimitMessage() override { ++limitMessages; }
    bool processEvents() override;

    void prepareViewWindow(Module1::ViewChoice c, const QString &caption) override
    {
        prepared.push_back(c);
        viewCaption = caption;
        drawn.clear();
        changeLines.clear();
    }
    void setViewCaption(const QString &caption) override { viewCaption = caption; }
    void draw(const Module1::ChartPrimitive &p) override { drawn.push_back(p); }
    void appendChangeLine(const QString &line) override { changeLines << line; }
    void openWithShell(const QString &path) override { shellOpened << path; }
    void showError(const QString &message) override { errors << message; }
    void reportSkippedFile(const QString &path, const QString &) override { skipped << path; }
};
