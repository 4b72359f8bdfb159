#pragma once

#include "engine/chart.h"

#include <QString>

#include <array>
#include <string>

namespace Module1 {

// What the record matcher needs of the main window's criteria, already turned
// into numbers. The host builds it from the controls; the engine asks for it at
// the start of every file and again after every turn of the event loop, the only
// moments at which the user can have edited a field, so an edit applies from the
// next record on exactly as if the controls were read for every record.
struct Criteria
{
    std::string mmsi;                 // Text1(0), UTF-8; empty means any ship
    std::array<bool, 3> areaOn{};     // Check1(0..2)
    std::array<double, 3> latitude{}; // Text1(4), Text1(9), Text1(12)
    std::array<double, 3> longitude{};// Text1(5), Text1(10), Text1(13)
    std::array<double, 3> range{};    // Text1(6), Text1(11), Text1(14)
};

enum class ViewChoice { None, Chart, Changes, Kml }; // Option1(0), Option1(2), Option1(3)

// The engine's only way to the windows, the event loop and the message box. The
// main window implements it for the program; the command-line tool and the tests
// implement it without any window. Each member stands for one control operation
// of the main window (Form1) or the view window (Form2).
class Host
{
public:
    virtual ~Host() = default;

    // --- Form1: criteria, read at the moment of use ---
    virtual QString periodFirst() = 0;        // Text1(7)
    virtual QString periodLast() = 0;         // Text1(8)
    virtual Criteria criteria() = 0;
    virtual int altitudeRule() = 0;           // Combo1's selected index, -1 for none
    virtual ViewChoice viewChoice() = 0;      // the first selected of Option1(0), (2), (3)

    // --- Form1: controls the commands drive ---
    virtual void setStatus(const QString &caption) = 0;   // Label2
    virtual void setSearchEnabled(bool on) = 0;           // Command1
    virtual void setShipListEnabled(bool on) = 0;         // List1
    virtual void setFileListEnabled(bool on) = 0;         // List2
    virtual void setOpenEnabled(bool on) = 0;             // Command2
    virtual void setMainWindowEnabled(bool on) = 0;       // Form1 as a whole

    // List1
    virtual void clearShips() = 0;
    virtual void appendShip(const QString &item) = 0;
    virtual void replaceShip(int index, const QString &item) = 0;
    virtual int shipItemCount() = 0;
    virtual QString shipItem(int index) = 0;
    virtual int selectedShipIndex() = 0;                  // -1 for none
    // Selecting runs the ship selection (Module1::shipSelection) at once, as a
    // click would; a host without a ship list may do nothing.
    virtual void selectShip(int index) = 0;

    // List2
    virtual void clearFiles() = 0;
    virtual void appendFile(const QString &name) = 0;
    virtual int fileItemCount() = 0;
    virtual QString fileItem(int index) = 0;
    virtual int selectedFileIndex() = 0;                  // -1 for none
    virtual void selectFile(int index) = 0;               // starts nothing

    virtual void showPicture(const QString &mmsi) = 0;    // setPic
    virtual void showLimitMessage() = 0;                  // the one message box

    // One turn of the event loop. Returns true when the user asked to stop the
    // pass (Escape, or the program is ending); the engine then stops as at the
    // result limit, without a message.
    virtual bool processEvents() = 0;

    // --- Form2: the view window ---
    // Caption, cleared surface and empty change list, Text1 and Label1 shown for
    // the change list only, then the window shown modeless (Chart, Changes).
    virtual void prepareViewWindow(ViewChoice choice, const QString &caption) = 0;
    virtual void setViewCaption(const QString &caption) = 0;
    // Drawing on Form2's Picture1; creates the window hidden when it does not exist.
    virtual void draw(const ChartPrimitive &primitive) = 0;
    virtual void appendChangeLine(const QString &lineWithCrLf) = 0;  // Form2's Text1

    // --- Desktop ---
    // Hands a just-written file to the desktop's "open" action; failures ignored.
    virtual void openWithShell(const QString &absolutePath) = 0;
    // Something the user must know failed (a KML file that could not be written).
    virtual void showError(const QString &message) = 0;
    // A log file of the pass that could not be read; the pass goes on.
    virtual void reportSkippedFile(const QString &path, const QString &reason) = 0;
};

} // namespace Module1
