#pragma once

#include "engine/chart.h"
#include "engine/host.h"
#include "view_window/chartcanvas.h"

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QShortcut;

// The view window: the hourly chart on Picture1, and over it, in the
// change-list view, the heading Label1 and the change list Text1.
class Form2 : public QWidget
{
    Q_OBJECT
public:
    explicit Form2(QWidget *parent = nullptr);
    ~Form2() override;

    // Controls, named as everywhere else in the program.
    ChartView *Picture1 = nullptr;
    QLabel *Label1 = nullptr;
    QPlainTextEdit *Text1 = nullptr;

    // Caption, cleared surface, empty change list; Label1 and Text1 shown for
    // the change-list view only; then shown modeless and raised.
    // Every view after a close starts from the design state: client area 680 x
    // 465, centred, not maximised.
    void prepare(Module1::ViewChoice choice, const QString &caption);
    // The caption exactly as given: a ship name may hold "[*]", which a window
    // title would take for its modified-marker placeholder.
    void setCaption(const QString &caption);
    QString caption() const { return m_caption; }
    void draw(const Module1::ChartPrimitive &primitive);
    void appendChangeLine(const QString &lineWithCrLf);

    // The chart as a PNG file (Ctrl+S asks where); false when it could not be written.
    bool saveChartImage(const QString &path) const;
    // Ctrl+C: the chart image onto the clipboard.
    void copyChart() const;

signals:
    // The user closed the window (it is then back in its design-time state).
    void unloaded();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void saveChart();
    void placeInDesignState();

    QShortcut *m_save = nullptr;
    QShortcut *m_copy = nullptr;
    QString m_caption;
    bool m_placed = false;
};

// "<caption>.png" without the characters file names may not hold.
QString chartImageFileName(const QString &caption);
