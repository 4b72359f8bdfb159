#pragma once

#include "engine/module1.h"
#include "engine/report.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace ReportView {

class RangeModel;
class SilenceModel;

// Paints the report through paintReport, at the widget's size.
class ReportCanvas : public QWidget
{
    Q_OBJECT
public:
    explicit ReportCanvas(QWidget *parent = nullptr);
    void setReports(const Module1::StationReport *report, const Module1::StationReport *compare);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    const Module1::StationReport *m_report = nullptr;
    const Module1::StationReport *m_compare = nullptr;
};

// The station report window: the station's position (remembered in a file
// of its own beside the settings file), an optional period to compare, the
// picture, and the tables of silent periods and of the range per sector.
// The period is the main window's From and To, asked for when a report is made.
class ReportWindow : public QWidget
{
    Q_OBJECT
public:
    explicit ReportWindow(QWidget *parent = nullptr);

    // The period to report, "From" and "To" as the main window holds them.
    void setPeriodSource(std::function<std::pair<QString, QString>()> source) { m_period = std::move(source); }
    // Whether the engine is free for a pass (no pass of the main window under way).
    void setEngineFree(std::function<bool()> free) { m_engineFree = std::move(free); }

    // Reads the period (and the compared one) and shows the report. False when
    // nothing could be reported; the notice line says why.
    bool makeReport();
    const Module1::StationReport *report() const { return m_report ? &*m_report : nullptr; }
    bool isRunning() const { return m_running; }
    void requestStop() { m_stop = true; }
    const Module1::StationReport *compared() const { return m_compare ? &*m_compare : nullptr; }

    QLineEdit *stationField() const { return m_station; }
    QLineEdit *compareField() const { return m_compareField; }
    QLabel *noticeLine() const { return m_notice; }
    QTableView *silenceTable() const { return m_silenceView; }
    QTableView *rangeTable() const { return m_rangeView; }
    // The station's position typed elsewhere (a right click on the map).
    void setStation(double latitude, double longitude);

    QImage image() const;
    bool saveImage(const QString &path);
    void copyImage();
    bool exportCsv(const QString &path);

    // The file beside the settings file that keeps the station's position.
    static QString stationFilePath();

signals:
    // A double click on a sector's farthest position: that ship's day on the map.
    void showShipDay(const QString &mmsi, const QString &fileName);
    void passRunning(bool running);
    // "Show on map": the range outline around the station on the sea map.
    void showRangeOnMap();
    // The report's range outline changed (none when the report has no range).
    void reportChanged();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    bool readPeriod(const QString &from, const QString &to, Module1::StationReport &out, Module1::PassReport &left);
    void rangeActivated(const QModelIndex &index);
    void saveStation();
    void showNotice(const QString &text);

    std::function<std::pair<QString, QString>()> m_period;
    std::function<bool()> m_engineFree;
    std::optional<Module1::StationReport> m_report, m_compare;
    QLineEdit *m_station = nullptr, *m_compareField = nullptr;
    QPushButton *m_run = nullptr;
    QLabel *m_notice = nullptr, *m_status = nullptr;
    ReportCanvas *m_canvas = nullptr;
    SilenceModel *m_silences = nullptr;
    RangeModel *m_range = nullptr;
    QSortFilterProxyModel *m_silenceSort = nullptr, *m_rangeSort = nullptr;
    QTableView *m_silenceView = nullptr, *m_rangeView = nullptr;
    bool m_running = false;
    bool m_stop = false;
    bool m_closeAfterPass = false;
};

} // namespace ReportView
