#pragma once

#include "engine/plainhost.h"

#include <QStringList>

#include <functional>
#include <vector>

// The windowless host with everything the engine does to the controls kept for
// the tests to read, and the criteria typed as texts, as into the window.
class FakeHost : public Module1::PlainHost
{
public:
    QString text1[15]; // the fields Text1(0) to Text1(14) as typed
    bool check1[3] = {false, false, false};

    bool searchEnabled = true, shipListEnabled = true, fileListEnabled = true, openEnabled = false,
         mainEnabled = true;
    QString status, viewCaption, picture;
    QStringList statusHistory, changeLines, skipped, errors, shellOpened;
    std::vector<Module1::ChartPrimitive> drawn;
    std::vector<Module1::ViewChoice> prepared;
    int limitMessages = 0;
    int eventTurns = 0;
    bool stopOnEvents = false;
    std::function<void()> onEvents; // runs inside an event-loop turn

    FakeHost();

    QString periodFirst() override { return text1[7]; }
    QString periodLast() override { return text1[8]; }
    Module1::Criteria criteria() override;

    void setStatus(const QString &c) override { status = c; statusHistory << c; }
    void setSearchEnabled(bool on) override { searchEnabled = on; }
    void setShipListEnabled(bool on) override { shipListEnabled = on; }
    void setFileListEnabled(bool on) override { fileListEnabled = on; }
    void setOpenEnabled(bool on) override { openEnabled = on; }
    void setMainWindowEnabled(bool on) override { mainEnabled = on; }

    void showPicture(const QString &mmsi) override { picture = mmsi; }
    void showLimitMessage() override { ++limitMessages; }
    bool processEvents() override;

    void prepareViewWindow(Module1::ViewChoice c, const QString &caption) override;
    void setViewCaption(const QString &caption) override { viewCaption = caption; }
    void draw(const Module1::ChartPrimitive &p) override { drawn.push_back(p); }
    void appendChangeLine(const QString &line) override { changeLines << line; }
    void openWithShell(const QString &path) override { shellOpened << path; }
    void showError(const QString &message) override { errors << message; }
    void reportSkippedFile(const QString &path, const QString &) override { skipped << path; }
};

#include "engine/module1.h"
#include "workspace.h"

#include <QObject>

#include <memory>

// Base of the engine tests: every test function gets a temporary workspace and
// a FakeHost installed as the engine's host, over a fresh engine state.
class EngineTest : public QObject
{
    Q_OBJECT
protected:
    Workspace *m_ws = nullptr;
    FakeHost *m_host = nullptr;

private slots:
    void init()
    {
        m_workspace = std::make_unique<Workspace>();
        m_fake = std::make_unique<FakeHost>();
        m_ws = m_workspace.get();
        m_host = m_fake.get();
        Module1::resetState();
        Module1::setHost(m_host);
    }
    void cleanup()
    {
        Module1::setHost(nullptr);
        m_fake.reset();
        m_workspace.reset();
    }

private:
    std::unique_ptr<Workspace> m_workspace;
    std::unique_ptr<FakeHost> m_fake;
};
