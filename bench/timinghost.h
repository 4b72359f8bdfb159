#pragma once

#include "engine/host.h"

#include <functional>

// Passes every call on to the host it wraps and notes when the engine selects
// the first ship. The Search command ends by selecting it, and the selection
// runs the whole ship-selection pass inside that call, so the moment of the
// call splits a Search click into its Search pass and its ship selection
// without relying on how the window reacts to the selection.
class TimingHost : public Module1::Host
{
public:
    struct Stamp
    {
        double wall = -1, cpu = -1;
    };

    TimingHost(Module1::Host &inner, std::function<Stamp()> clock) : m_inner(inner), m_clock(std::move(clock)) {}

    void reset() { selectStart = selectEnd = Stamp{}; }
    Stamp selectStart, selectEnd; // the outermost selectShip call of the last command

    QString periodFirst() override { return m_inner.periodFirst(); }
    QString periodLast() override { return m_inner.periodLast(); }
    Module1::Criteria criteria() override { return m_inner.criteria(); }
    int altitudeRule() override { return m_inner.altitudeRule(); }
    Module1::ViewChoice viewChoice() override { return m_inner.viewChoice(); }

    void setStatus(const QString &c) override { m_inner.setStatus(c); }
    void setSearchEnabled(bool on) override { m_inner.setSearchEnabled(on); }
    void setShipListEnabled(bool on) override { m_inner.setShipListEnabled(on); }
    void setFileListEnabled(bool on) override { m_inner.setFileListEnabled(on); }
    void setOpenEnabled(bool on) override { m_inner.setOpenEnabled(on); }
    void setMainWindowEnabled(bool on) override { m_inner.setMainWindowEnabled(on); }

    void clearShips() override { m_inner.clearShips(); }
    void appendShip(const QString &item) override { m_inner.appendShip(item); }
    void replaceShip(int index, const QString &item) override { m_inner.replaceShip(index, item); }
    int shipItemCount() override { return m_inner.shipItemCount(); }
    QString shipItem(int index) override { return m_inner.shipItem(index); }
    int selectedShipIndex() override { return m_inner.selectedShipIndex(); }
    void selectShip(int index) override
    {
        const bool outermost = m_depth++ == 0;
        if (outermost)
            selectStart = m_clock();
        m_inner.selectShip(index);
        if (outermost)
            selectEnd = m_clock();
        --m_depth;
    }

    void clearFiles() override { m_inner.clearFiles(); }
    void appendFile(const QString &name) override { m_inner.appendFile(name); }
    int fileItemCount() override { return m_inner.fileItemCount(); }
    QString fileItem(int index) override { return m_inner.fileItem(index); }
    int selectedFileIndex() override { return m_inner.selectedFileIndex(); }
    void selectFile(int index) override { m_inner.selectFile(index); }

    void showPicture(const QString &mmsi) override { m_inner.showPicture(mmsi); }
    void showLimitMessage() override { m_inner.showLimitMessage(); }
    bool processEvents() override { return m_inner.processEvents(); }

    void prepareViewWindow(Module1::ViewChoice c, const QString &caption) override { m_inner.prepareViewWindow(c, caption); }
    void setViewCaption(const QString &caption) override { m_inner.setViewCaption(caption); }
    void draw(const Module1::ChartPrimitive &p) override { m_inner.draw(p); }
    void appendChangeLine(const QString &line) override { m_inner.appendChangeLine(line); }
    void openWithShell(const QString &path) override { m_inner.openWithShell(path); }
    void showError(const QString &message) override { m_inner.showError(message); }
    void reportSkippedFile(const QString &path, const QString &reason) override { m_inner.reportSkippedFile(path, reason); }

private:
    Module1::Host &m_inner;
    std::function<Stamp()> m_clock;
    int m_depth = 0;
};
