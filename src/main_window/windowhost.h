#pragma once

#include "engine/host.h"

#include <functional>

class Form1;
class QListWidget;

// The program's host: the engine's control operations carried out on the real
// main window and view window.
class WindowHost : public Module1::Host
{
public:
    explicit WindowHost(Form1 &form);

    // Escape during a pass: the engine stops at its next event-loop turn.
    void requestStop() { m_stopRequested = true; }
    void clearStop() { m_stopRequested = false; }
    // The program is ending; every pass still running stops, and stays stopped.
    void setEnding() { m_ending = true; }
    bool ending() const { return m_ending; }

    QString periodFirst() override;
    QString periodLast() override;
    Module1::Criteria criteria() override;
    int altitudeRule() override;
    Module1::ViewChoice viewChoice() override;

    void setStatus(const QString &caption) override;
    void setSearchEnabled(bool on) override;
    void setShipListEnabled(bool on) override;
    void setFileListEnabled(bool on) override;
    void setOpenEnabled(bool on) override;
    void setMainWindowEnabled(bool on) override;

    void clearShips() override;
    void appendShip(const QString &item) override;
    void replaceShip(int index, const QString &item) override;
    int shipItemCount() override;
    QString shipItem(int index) override;
    int selectedShipIndex() override;
    void selectShip(int index) override;

    void clearFiles() override;
    void appendFile(const QString &name) override;
    int fileItemCount() override;
    QString fileItem(int index) override;
    int selectedFileIndex() override;
    void selectFile(int index) override;

    void showPicture(const QString &mmsi) override;
    void showLimitMessage() override;
    bool processEvents() override;

    void prepareViewWindow(Module1::ViewChoice choice, const QString &caption) override;
    void setViewCaption(const QString &caption) override;
    void draw(const Module1::ChartPrimitive &primitive) override;
    void appendChangeLine(const QString &lineWithCrLf) override;

    void openWithShell(const QString &absolutePath) override;
    void showError(const QString &message) override;
    void reportSkippedFile(const QString &path, const QString &reason) override;

    static int selectedRow(const QListWidget *list);

    // The desktop's open action (Platform::shellOpen unless a test puts in
    // another desktop), and what follows when it reports a failure.
    void setShellOpener(std::function<bool(const QString &)> opener) { m_shellOpen = std::move(opener); }
    void setShellFailureHandler(std::function<void()> handler) { m_shellFailed = std::move(handler); }

private:
    Form1 &m_form;
    bool m_stopRequested = false;
    bool m_ending = false;
    std::function<bool(const QString &)> m_shellOpen;
    std::function<void()> m_shellFailed;
};
