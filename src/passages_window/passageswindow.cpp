#include "passages_window/passageswindow.h"

#include "engine/passageformat.h"
#include "passages_window/passagemodel.h"
#include "platform/files.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

PassageChartView::PassageChartView(QWidget *parent) : QWidget(parent)
{
    setMinimumHeight(160);
}

void PassageChartView::setChart(PassageChartData chart)
{
    m_chart = std::move(chart);
    update();
}

void PassageChartView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintPassageChart(painter, size(), m_chart);
}

PassagesWindow::PassagesWindow(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Passages"));
    setWindowTitle(QStringLiteral("Passages"));
    resize(980, 640);

    m_model = new PassageModel(this);
    m_proxy = new PassageProxy(this);
    m_proxy->setSourceModel(m_model);

    m_area = new QComboBox(this);
    m_area->addItems({QStringLiteral("All areas"), QStringLiteral("Area A"), QStringLiteral("Area B"),
                      QStringLiteral("Area C")});
    m_count = new QLabel(this);
    m_exportCsv = new QPushButton(QStringLiteral("Export CSV..."), this);
    m_savePng = new QPushButton(QStringLiteral("Save PNG..."), this);
    auto *bar = new QHBoxLayout;
    bar->addWidget(m_area);
    bar->addWidget(m_count, 1);
    bar->addWidget(m_exportCsv);
    bar->addWidget(m_savePng);

    m_table = new QTableView(this);
    m_table->setModel(m_proxy);
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(-1, Qt::AscendingOrder); // the order of entry until a header is clicked
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    // Fixed sizes: sizing columns to their contents would read every row.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    m_table->setToolTip(QStringLiteral("Double click a passage to see it on the map"));

    m_chart = new PassageChartView(this);
    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(m_table);
    split->addWidget(m_chart);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    m_notice = new QLabel(this);
    m_notice->setWordWrap(true);
    m_notice->setStyleSheet(QStringLiteral("color: #b00000"));
    m_notice->hide();

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(split, 1);
    layout->addWidget(m_notice);

    connect(m_area, &QComboBox::currentIndexChanged, this, [this](int i) {
        m_proxy->setArea(i - 1);
        updateCount();
    });
    connect(m_exportCsv, &QPushButton::clicked, this, &PassagesWindow::exportCsvAsked);
    connect(m_savePng, &QPushButton::clicked, this, &PassagesWindow::savePngAsked);
    connect(m_table, &QTableView::doubleClicked, this, [this](const QModelIndex &index) {
        const QModelIndex source = m_proxy->mapToSource(index);
        if (source.isValid())
            emit passageActivated(m_model->passage(source.row()));
    });
}

PassagesWindow::~PassagesWindow() = default;

void PassagesWindow::setReading(const QString &caption)
{
    setWindowTitle(caption);
    m_model->setPassages({});
    m_chart->setChart({});
    m_count->setText(QStringLiteral("Reading the day logs... (Esc stops)"));
    m_notice->hide();
    m_exportCsv->setEnabled(false);
    m_savePng->setEnabled(false);
}

void PassagesWindow::setPassages(std::vector<Module1::Passage> passages, bool perHour, const QString &caption,
                                 const QString &notice)
{
    setWindowTitle(caption);
    m_chart->setChart(passageChart(passages, perHour));
    m_model->setPassages(std::move(passages));
    m_notice->setText(notice);
    m_notice->setVisible(!notice.isEmpty());
    m_exportCsv->setEnabled(true);
    m_savePng->setEnabled(true);
    if (m_table->horizontalHeader()->count() > 0) {
        // Widths from the header texts and one typical row, not from every row.
        m_table->resizeColumnsToContents();
    }
    updateCount();
}

void PassagesWindow::updateCount()
{
    const int shown = m_proxy->rowCount();
    const int all = m_model->rowCount();
    m_count->setText(shown == all ? QStringLiteral("%1 passages").arg(all)
                                  : QStringLiteral("%1 of %2 passages").arg(shown).arg(all));
}

QByteArray PassagesWindow::csv() const
{
    std::vector<Module1::Passage> shown;
    shown.reserve(std::size_t(m_proxy->rowCount()));
    for (int r = 0; r < m_proxy->rowCount(); ++r)
        shown.push_back(m_model->passage(m_proxy->mapToSource(m_proxy->index(r, 0)).row()));
    return Module1::formatPassages(shown, Module1::PassageFormat::Csv, std::nullopt);
}

bool PassagesWindow::exportCsv(const QString &path, QString *error) const
{
    QString why;
    const bool ok = Platform::writeFileAtomically(path, csv(), &why);
    if (error)
        *error = why;
    return ok;
}

QImage PassagesWindow::chartImage() const
{
    return passageChartImage(m_chart->size().expandedTo(QSize(640, 300)), m_chart->chart());
}

bool PassagesWindow::savePng(const QString &path) const
{
    return chartImage().save(path, "PNG");
}

void PassagesWindow::exportCsvAsked()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export CSV"), QStringLiteral("passages.csv"),
                                                      QStringLiteral("CSV (*.csv)"));
    if (path.isEmpty())
        return;
    QString why;
    if (!exportCsv(path, &why))
        QMessageBox::warning(this, windowTitle(), QStringLiteral("%1\n%2").arg(path, why));
}

void PassagesWindow::savePngAsked()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save PNG"), QStringLiteral("passages.png"),
                                                      QStringLiteral("PNG (*.png)"));
    if (!path.isEmpty() && !savePng(path))
        QMessageBox::warning(this, windowTitle(), QStringLiteral("%1 could not be written.").arg(path));
}
