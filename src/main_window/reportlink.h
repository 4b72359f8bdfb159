#pragma once

#include <QObject>
#include <QPointer>

class Form1;

namespace ReportView {
class ReportWindow;
}

// Between the main window and the station report: Ctrl+R opens the report
// window over the main window's From and To; while it reads, the main window
// waits; a double click on a farthest position shows that ship's day on the
// map, and the report's range outline is drawn on the map.
class ReportLink : public QObject
{
    Q_OBJECT
public:
    explicit ReportLink(Form1 &form);
    ~ReportLink() override;

    // Opens (or raises) the report window.
    ReportView::ReportWindow *open();
    ReportView::ReportWindow *window() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The report's outline and station onto the map, opening it when asked.
    void pushRange(bool open);

    Form1 &m_form;
    QPointer<ReportView::ReportWindow> m_window;
};

// The one entry point for menus and shortcuts: opens the report window.
void openReportWindow(Form1 &form);
