#pragma once

#include "engine/host.h"
#include "engine/passages.h"

#include <QObject>
#include <QPointer>

class Form1;
class PassagesWindow;

// Between the main window and the passages window: Ctrl+P reads the passages
// of the main window's period, MMSI field and active areas as a pass of the
// main window (its status line, Escape and notice line), and a passage
// double-clicked in the window is shown on the map.
class PassagesLink : public QObject
{
    Q_OBJECT
public:
    explicit PassagesLink(Form1 &form);
    ~PassagesLink() override;

    // Nothing while another pass reads: the reader's record is shared.
    void open();
    void showOnMap(const Module1::Passage &passage);
    PassagesWindow *window() const;

private:
    Form1 &m_form;
    QPointer<PassagesWindow> m_window;
    Module1::Criteria m_criteria; // of the last pass
};
