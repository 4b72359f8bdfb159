#pragma once

#include "engine/passages.h"
#include "passages_window/passagechart.h"

#include <QWidget>

#include <optional>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class PassageModel;
class PassageProxy;

// The bar chart's surface: paints through paintPassageChart at its own size.
class PassageChartView : public QWidget
{
    Q_OBJECT
public:
    explicit PassageChartView(QWidget *parent = nullptr);
    void setChart(PassageChartData chart);
    const PassageChartData &chart() const { return m_chart; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    PassageChartData m_chart;
};

// The passages of the main window's period, MMSI field and active areas: a
// table sortable by every column and filtered by area, the chart of passages
// per day (per hour for one day), "Export CSV" and "Save PNG". A double click
// on a row asks for that passage on the map.
class PassagesWindow : public QWidget
{
    Q_OBJECT
public:
    explicit PassagesWindow(QWidget *parent = nullptr);
    ~PassagesWindow() override;

    // While the pass reads: the caption says so and the table is empty.
    void setReading(const QString &caption);
    // `notice` says what the pass left unread, empty when it read everything.
    void setPassages(std::vector<Module1::Passage> passages, bool perHour, const QString &caption,
                     const QString &notice);

    PassageModel *model() const { return m_model; }
    PassageProxy *proxy() const { return m_proxy; }
    QTableView *table() const { return m_table; }
    QComboBox *areaFilter() const { return m_area; }
    PassageChartView *chartView() const { return m_chart; }
    QLabel *noticeLabel() const { return m_notice; }

    // The passages the table shows, in its order, as "Export CSV" writes them.
    QByteArray csv() const;
    bool exportCsv(const QString &path, QString *error = nullptr) const;
    QImage chartImage() const;
    bool savePng(const QString &path) const;

signals:
    void passageActivated(const Module1::Passage &passage);

private:
    void exportCsvAsked();
    void savePngAsked();
    void updateCount();

    PassageModel *m_model = nullptr;
    PassageProxy *m_proxy = nullptr;
    QTableView *m_table = nullptr;
    QComboBox *m_area = nullptr;
    QLabel *m_count = nullptr;
    QLabel *m_notice = nullptr;
    QPushButton *m_exportCsv = nullptr;
    QPushButton *m_savePng = nullptr;
    PassageChartView *m_chart = nullptr;
};
