#pragma once

#include "engine/host.h"
#include "engine/module1.h"

#include <QStringList>

// The least a host must do for the Search and the ship selection: the two lists
// and the criteria, no window, no event loop, no drawing.
class HeadlessHost : public Module1::Host
{
public:
    QString first, last;
    Module1::Criteria given;
    QStringList ships, files;
    int shipSelected = -1, fileSelected = -1;
    int limitMessages = 0;
    QStringList skipped;

    QString periodFirst() override { return first; }
    QString periodLast() override { return last; }
    Module1::Criteria criteria() override { return given; }
    int altitudeRule() override { return 0; }
    Module1::ViewChoice viewChoice() override { return Module1::ViewChoice::None; }

    void setStatus(const QString &) override {}
    void setSearchEnabled(bool) override {}
    void setShipListEnabled(bool) override {}
    void setFileListEnabled(bool) override {}
    void setOpenEnabled(bool) override {}
    void setMainWindowEnabled(bool) override {}

    void clearShips() override { ships.clear(); shipSelected = -1; }
    void appendShip(const QString &item) override { ships.append(item); }
    void replaceShip(int index, const QString &item) override { ships[index] = item; }
    int shipItemCount() override { return int(ships.size()); }
    QString shipItem(int index) override { return ships.value(index); }
    int selectedShipIndex() override { return shipSelected; }
    void selectShip(int index) override
    {
        shipSelected = index;
        Module1::shipSelection();
    }

    void clearFiles() override { files.clear(); fileSelected = -1; }
    void appendFile(const QString &name) override { files.append(name); }
    int fileItemCount() override { return int(files.size()); }
    QString fileItem(int index) override { return files.value(index); }
    int selectedFileIndex() override { return fileSelected; }
    void selectFile(int index) override { fileSelected = index; }

    void showPicture(const QString &) override {}
    void showLimitMessage() override { ++limitMessages; }
    bool processEvents() override { return false; }

    void prepareViewWindow(Module1::ViewChoice, const QString &) override {}
    void setViewCaption(const QString &) override {}
    void draw(const Module1::ChartPrimitive &) override {}
    void appendChangeLine(const QString &) override {}
    void openWithShell(const QString &) override {}
    void showError(const QString &) override {}
    void reportSkippedFile(const QString &path, const QString &) override { skipped.append(path); }
};
