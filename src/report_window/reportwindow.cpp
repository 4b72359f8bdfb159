#include "report_window/reportwindow.h"

#include "engine/module1.h"
#include "engine/plainhost.h"
#include "platform/files.h"
#include "report_window/reportpainter.h"
#include "report_window/reporttables.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace ReportView {

namespace {

// The engine's host while the report reads: the period as given, the file
// being read on the window's status line, and Escape to stop.
class ReportHost : public Module1::PlainHost
{
public:
    ReportHost(QLabel &status, bool &stop) : m_status(status), m_stop(stop) {}
    void setStatus(const QString &caption) override { m_status.setText(caption); }
    bool processEvents() override
    {
        QCoreApplication::processEvents();
        return m_stop;
    }

private:
    QLabel &m_status;
    bool &m_stop;
};

const QString kStationFile = QStringLiteral("VelkaisLogBrowser.station");

} // namespace

ReportCanvas::ReportCanvas(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(480, 240);
}

void ReportCanvas::setReports(const Module1::StationReport *report, const Module1::StationReport *compare)
{
    m_report = report;
    m_compare = compare;
    update();
}

void ReportCanvas::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_report)
        paintReport(painter, size(), *m_report, m_compare);
    else
        painter.fillRect(rect(), Qt::white);
}

QString ReportWindow::stationFilePath()
{
    return QDir::current().filePath(kStationFile);
}

ReportWindow::ReportWindow(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Station report - %1").arg(Module1::kProgramTitle));
    resize(1100, 760);

    m_station = new QLineEdit(this);
    m_station->setObjectName(QStringLiteral("station"));
    m_station->setPlaceholderText(QStringLiteral("LAT,LON (or a right click on the map)"));
    m_compareField = new QLineEdit(this);
    m_compareField->setObjectName(QStringLiteral("compare"));
    m_compareField->setPlaceholderText(QStringLiteral("FROM,TO to compare (yyyymmdd)"));
    m_run = new QPushButton(QStringLiteral("&Report"), this);
    auto *save = new QPushButton(QStringLiteral("Save PNG"), this);
    auto *copy = new QPushButton(QStringLiteral("Copy"), this);
    auto *csv = new QPushButton(QStringLiteral("Export CSV"), this);
    auto *map = new QPushButton(QStringLiteral("Show on map"), this);
    m_notice = new QLabel(this);
    m_notice->setWordWrap(true);
    m_status = new QLabel(this);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Station"), this));
    top->addWidget(m_station, 2);
    top->addWidget(new QLabel(QStringLiteral("Compare"), this));
    top->addWidget(m_compareField, 2);
    top->addWidget(m_run);
    top->addWidget(save);
    top->addWidget(copy);
    top->addWidget(csv);
    top->addWidget(map);

    m_canvas = new ReportCanvas(this);
    m_silences = new SilenceModel(this);
    m_range = new RangeModel(this);
    const auto table = [this](QAbstractTableModel *model, QSortFilterProxyModel *&sort) {
        sort = new QSortFilterProxyModel(this);
        sort->setSourceModel(model);
        sort->setSortRole(Qt::UserRole);
        auto *view = new QTableView(this);
        view->setModel(sort);
        view->setSortingEnabled(true);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->horizontalHeader()->setStretchLastSection(true);
        view->verticalHeader()->hide();
        return view;
    };
    m_silenceView = table(m_silences, m_silenceSort);
    m_rangeView = table(m_range, m_rangeSort);
    auto *tabs = new QTabWidget(this);
    tabs->addTab(m_silenceView, QStringLiteral("Silent periods"));
    tabs->addTab(m_rangeView, QStringLiteral("Range (double click: the ship's day on the map)"));
    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_canvas);
    split->addWidget(tabs);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_notice);
    layout->addWidget(split, 1);
    layout->addWidget(m_status);

    connect(m_run, &QPushButton::clicked, this, &ReportWindow::makeReport);
    connect(m_station, &QLineEdit::returnPressed, this, &ReportWindow::makeReport);
    connect(m_compareField, &QLineEdit::returnPressed, this, &ReportWindow::makeReport);
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save report"), QStringLiteral("report.png"),
                                                          QStringLiteral("PNG images (*.png)"));
        if (!path.isEmpty() && !saveImage(path))
            showNotice(QStringLiteral("Could not write %1.").arg(path));
    });
    connect(copy, &QPushButton::clicked, this, &ReportWindow::copyImage);
    connect(csv, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), QStringLiteral("report.csv"),
                                                          QStringLiteral("CSV files (*.csv)"));
        if (!path.isEmpty() && !exportCsv(path))
            showNotice(QStringLiteral("Could not write %1.").arg(path));
    });
    connect(map, &QPushButton::clicked, this, &ReportWindow::showRangeOnMap);
    connect(m_rangeView, &QTableView::doubleClicked, this, &ReportWindow::rangeActivated);
    new QShortcut(QKeySequence::Save, this, [save] { save->click(); });
    new QShortcut(QKeySequence::Copy, this, [this] { copyImage(); });

    QFile file(stationFilePath());
    if (file.open(QIODevice::ReadOnly)) {
        const QString text = QString::fromUtf8(file.readLine(256)).trimmed();
        if (Module1::parseStation(text))
            m_station->setText(text);
    }
}

void ReportWindow::setStation(double latitude, double longitude)
{
    m_station->setText(QStringLiteral("%1,%2").arg(latitude, 0, 'f', 5).arg(longitude, 0, 'f', 5));
    saveStation();
}

void ReportWindow::saveStation()
{
    const QString text = m_station->text().trimmed();
    if (!Module1::parseStation(text))
        return;
    QString why;
    if (!Platform::writeFileAtomically(stationFilePath(), text.toUtf8() + '\n', &why))
        showNotice(QStringLiteral("The station's position could not be kept in %1: %2").arg(stationFilePath(), why));
}

void ReportWindow::showNotice(const QString &text)
{
    m_notice->setText(text);
}

void ReportWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_running) {
        m_stop = true;
        return;
    }
    QWidget::keyPressEvent(event);
}

void ReportWindow::closeEvent(QCloseEvent *event)
{
    // The window is deleted on close, and the pass runs inside its call:
    // closing stops the pass, and the window closes once it has returned.
    if (m_running) {
        m_stop = true;
        m_closeAfterPass = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

bool ReportWindow::readPeriod(const QString &from, const QString &to, Module1::StationReport &out,
                              Module1::PassReport &left)
{
    Module1::PeriodFigures figures;
    figures.now = QDateTime::currentDateTime();
    // An empty From takes every day log, as in a Search: the days then start
    // at the first of them.
    QString firstDay = from;
    if (firstDay.isEmpty()) {
        const QStringList names = Platform::listFiles(Module1::logFolder, Module1::kLogSuffix);
        if (!names.isEmpty())
            firstDay = names.first().left(8);
    }
    if (!Module1::periodDates(firstDay, to, figures.now.date(), figures.first, figures.last)) {
        showNotice(QStringLiteral("No day lies between '%1' and '%2'.").arg(from, to));
        return false;
    }
    Module1::ReportOptions options;
    options.station = Module1::parseStation(m_station->text());
    ReportHost host(*m_status, m_stop);
    host.first = from;
    host.last = to;
    // The engine's pass report belongs to the main window's notice line:
    // this pass keeps its own.
    const Module1::PassReport before = Module1::passReport;
    Module1::passReport = {};
    Module1::Host *const previous = Module1::host();
    Module1::setHost(&host);
    Module1::stationPass(figures);
    Module1::setHost(previous);
    left = Module1::passReport;
    Module1::passReport = before;
    out = Module1::computeReport(figures, options);
    return true;
}

bool ReportWindow::makeReport()
{
    if (m_running)
        return false;
    if (m_engineFree && !m_engineFree()) {
        showNotice(QStringLiteral("A search is under way: make the report when it has ended."));
        return false;
    }
    const auto [from, to] = m_period ? m_period() : std::pair<QString, QString>();
    QStringList compare;
    const QString compareText = m_compareField->text().trimmed();
    if (!compareText.isEmpty()) {
        compare = compareText.split(QLatin1Char(','));
        if (compare.size() != 2) {
            showNotice(QStringLiteral("Compare takes FROM,TO, as the main window's From and To."));
            return false;
        }
    }
    const QString stationText = m_station->text().trimmed();
    if (!stationText.isEmpty() && !Module1::parseStation(stationText)) {
        showNotice(QStringLiteral("The station's position takes LAT,LON in decimal degrees."));
        return false;
    }
    saveStation();

    m_running = true;
    m_stop = false;
    m_run->setEnabled(false);
    emit passRunning(true);
    Module1::StationReport a, b;
    Module1::PassReport leftA, leftB;
    bool ok = readPeriod(from.trimmed(), to.trimmed(), a, leftA);
    if (ok && !compare.isEmpty() && !m_stop)
        ok = readPeriod(compare[0].trimmed(), compare[1].trimmed(), b, leftB);
    m_status->clear();
    m_running = false;
    m_run->setEnabled(true);
    emit passRunning(false);
    if (m_closeAfterPass) {
        QTimer::singleShot(0, this, &QWidget::close);
        return false;
    }
    if (!ok)
        return false;

    m_report = std::move(a);
    if (compare.isEmpty())
        m_compare.reset();
    else
        m_compare = std::move(b);
    const Module1::StationReport *other = m_compare ? &*m_compare : nullptr;
    m_canvas->setReports(&*m_report, other);
    m_silences->setReport(*m_report);
    m_range->setReports(*m_report, other);
    m_silenceView->resizeColumnsToContents();
    m_rangeView->resizeColumnsToContents();

    QStringList notes;
    for (const Module1::PassReport *left : {&leftA, &leftB}) {
        const QString n = Module1::passNotice(*left);
        if (!n.isEmpty())
            notes << n;
    }
    if (!m_report->hasRange)
        notes << QStringLiteral("No range without the station's position: type LAT,LON above, or right-click the map.");
    if (!m_report->fixedStationsHeard)
        notes << QStringLiteral("No base station or aid to navigation was heard: a stretch without ships cannot be told "
                                "from a receiver that heard nothing.");
    showNotice(notes.join(QLatin1Char('\n')));
    emit reportChanged();
    return true;
}

void ReportWindow::rangeActivated(const QModelIndex &index)
{
    const int row = m_rangeSort->mapToSource(index).row();
    const QString mmsi = m_range->mmsi(row);
    if (!mmsi.isEmpty())
        emit showShipDay(mmsi, m_range->fileName(row));
}

QImage ReportWindow::image() const
{
    if (!m_report)
        return {};
    return reportImage(m_canvas->size(), *m_report, m_compare ? &*m_compare : nullptr);
}

bool ReportWindow::saveImage(const QString &path)
{
    const QImage picture = image();
    return !picture.isNull() && picture.save(path, "PNG");
}

void ReportWindow::copyImage()
{
    const QImage picture = image();
    if (!picture.isNull())
        QApplication::clipboard()->setImage(picture);
}

bool ReportWindow::exportCsv(const QString &path)
{
    if (!m_report)
        return false;
    QString why;
    return Platform::writeFileAtomically(path, Module1::reportCsv(*m_report, m_compare ? &*m_compare : nullptr, true), &why);
}

} // namespace ReportView
