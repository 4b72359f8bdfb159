#pragma once

#include "engine/host.h"

#include <QStringList>

namespace Module1 {

// A host without windows whose controls are plain fields: what the
// command-line tool, the benchmarks and the tests build on. Window operations
// do nothing; derived hosts override what they need to see.
class PlainHost : public Host
{
public:
    QString first, last;                  // Text1(7), Text1(8)
    Criteria given;                       // Text1(0), the area boxes and fields
    int altitude = 0;                     // Combo1
    ViewChoice choice = ViewChoice::None; // Option1
    QStringList ships, files;             // List1, List2
    int shipSelected = -1, fileSelected = -1;
    bool selectRunsSelection = true;      // selectShip acts as a click in List1
    QString changeList;                   // Form2's Text1

    QString periodFirst() override { return first; }
    QString periodLast() override { return last; }
    Criteria criteria() override { return given; }
    int altitudeRule() override { return altitude; }
    ViewChoice viewChoice() override { return choice; }

    void setStatus(const QString &) override {}
    void setSearchEnabled(bool) override {}
    void setShipListEnabled(bool) override {}
    void setFileListEnabled(bool) override {}
    void setOpenEnabled(bool) override {}
    void setMainWindowEnabled(bool) override {}

    void clearShips() override;
    void appendShip(const QString &item) override { ships.append(item); }
    void replaceShip(int index, const QString &item) override { ships[index] = item; }
    int shipItemCount() override { return int(ships.size()); }
    QString shipItem(int index) override { return ships.value(index); }
    int selectedShipIndex() override { return shipSelected; }
    void selectShip(int index) override;

    void clearFiles() override;
    void appendFile(const QString &name) override { files.append(name); }
    int fileItemCount() override { return int(files.size()); }
    QString fileItem(int index) override { return files.value(index); }
    int selectedFileIndex() override { return fileSelected; }
    void selectFile(int index) override { fileSelected = index; }

    void showPicture(const QString &) override {}
    void showLimitMessage() override {}
    bool processEvents() override { return false; }

    void prepareViewWindow(ViewChoice, const QString &) override { changeList.clear(); }
    void setViewCaption(const QString &) override {}
    void draw(const ChartPrimitive &) override {}
    void appendChangeLine(const QString &lineWithCrLf) override { changeList += lineWithCrLf; }
    void openWithShell(const QString &) override {}
    void showError(const QString &) override {}
    void reportSkippedFile(const QString &, const QString &) override {}
};

} // namespace Module1
