#include "main_window/passnotice.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QVBoxLayout>

namespace {

const QString kDetailsKey = QStringLiteral("Ctrl+I");
const QString kSearch = QStringLiteral("Search");

// Full paths: the window may have been started anywhere, and "../logs" says
// nothing about which folder that was.
QString fullPath(const QString &path)
{
    return QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
}

// What each pass fills, in the words of the window.
QString listOf(const QString &mode)
{
    if (mode == kSearch)
        return QStringLiteral("The ship list is from a Search");
    if (mode == QLatin1String("List1"))
        return QStringLiteral("The list of days is from a ship selection");
    return QStringLiteral("The view is from an Open");
}

QString passOf(const QString &mode)
{
    if (mode == kSearch)
        return QStringLiteral("the Search");
    if (mode == QLatin1String("List1"))
        return QStringLiteral("the ship selection");
    return QStringLiteral("the Open");
}

void append(Module1::PassReport &to, const Module1::PassReport &from)
{
    to.stops.insert(to.stops.end(), from.stops.begin(), from.stops.end());
    to.skipped.insert(to.skipped.end(), from.skipped.begin(), from.skipped.end());
    to.empty.insert(to.empty.end(), from.empty.begin(), from.empty.end());
}

QStringList stopDetails(const Module1::PassReport::Stop &stop)
{
    QStringList lines;
    if (stop.mode == QLatin1String("List2")) {
        lines << QStringLiteral("%1 stopped at %2; it shows the day only up to there:")
                     .arg(listOf(stop.mode), stop.fileName)
              << QStringLiteral("    %1 (read in part)").arg(fullPath(Module1::logFolder + stop.fileName));
        return lines;
    }
    lines << QStringLiteral("%1 stopped at %2. The days of its period not read:").arg(listOf(stop.mode), stop.fileName);
    for (qsizetype i = 0; i < stop.unread.size(); ++i)
        lines << QStringLiteral("    ") + fullPath(stop.unread[i]) + (i == 0 ? QStringLiteral(" (read in part)") : QString());
    return lines;
}

QString emptyDetails(const Module1::PassReport::Empty &empty)
{
    const QString folder = fullPath(empty.folder);
    QString what;
    if (!empty.folderExists)
        what = QStringLiteral("there is no folder %1").arg(folder);
    else if (!empty.folderHasLogs)
        what = QStringLiteral("%1 holds no day log (*%2)").arg(folder, Module1::kLogSuffix);
    else
        what = QStringLiteral("%1 holds no day log %2")
                   .arg(folder, empty.first == empty.last
                                    ? QStringLiteral("for %1").arg(empty.first)
                                    : QStringLiteral("between %1 and %2").arg(empty.first, empty.last));
    QString pass = passOf(empty.mode);
    pass[0] = pass[0].toUpper();
    return QStringLiteral("%1 read nothing: %2.").arg(pass, what);
}

// The notice in the fewest words: passes by a word, days by their dates.
QString briefNotice(const Module1::PassReport &report)
{
    QStringList parts;
    for (const auto &stop : report.stops) {
        const QString day = stop.fileName.left(8);
        QString pass = passOf(stop.mode).section(QLatin1Char(' '), -1);
        if (parts.isEmpty()) {
            pass[0] = pass[0].toUpper();
            parts << QStringLiteral("%1 stopped: %2").arg(pass, day);
        } else {
            parts << QStringLiteral("%1: %2").arg(pass, day);
        }
    }
    QStringList paths;
    for (const auto &skipped : report.skipped) {
        if (!paths.contains(skipped.path))
            paths << skipped.path;
    }
    if (!paths.isEmpty())
        parts << QStringLiteral("%1 unreadable").arg(paths.size());
    if (!report.empty.empty())
        parts << Module1::emptyText(report.empty.front());
    return parts.join(QStringLiteral(", "));
}

} // namespace

PassNotice::PassNotice(QWidget *window, QLabel *label)
    : QObject(window)
    , m_window(window)
    , m_label(label)
    , m_usual(label->text())
{
    auto *shortcut = new QShortcut(QKeySequence(kDetailsKey), window);
    connect(shortcut, &QShortcut::activated, this, &PassNotice::showDetails);
}

Module1::PassReport PassNotice::shown() const
{
    Module1::PassReport report = m_search;
    append(report, m_latest);
    return report;
}

void PassNotice::passStarted(bool search)
{
    Module1::passReport = Module1::PassReport{};
    // A Search replaces the ship list; any other pass leaves it, and with it
    // what the Search that made it left out.
    if (search)
        m_search = Module1::PassReport{};
    m_latest = Module1::PassReport{};
    refresh();
}

void PassNotice::passEnded(bool search)
{
    const Module1::PassReport &report = Module1::passReport;
    if (search) {
        // The Search's own share, apart from the ship selection it ran at its end.
        for (const auto &stop : report.stops)
            (stop.mode == kSearch ? m_search : m_latest).stops.push_back(stop);
        for (const auto &skipped : report.skipped)
            (skipped.mode == kSearch ? m_search : m_latest).skipped.push_back(skipped);
        for (const auto &empty : report.empty)
            (empty.mode == kSearch ? m_search : m_latest).empty.push_back(empty);
    } else {
        m_latest = report;
    }
    refresh();
}

void PassNotice::refresh()
{
    if (m_details)
        m_detailsText->setPlainText(detailsText());
    const Module1::PassReport all = shown();
    if (!all.noteworthy()) {
        m_label->setText(m_usual);
        m_label->setToolTip(QString());
        return;
    }
    // The label never grows or moves: what does not fit is said in short,
    // and cut at its end, never the key to the details.
    const QFontMetrics metrics(m_label->font());
    QString notice = Module1::passNotice(all, kDetailsKey);
    if (metrics.horizontalAdvance(notice) > m_label->width()) {
        // The key to the details, where it still fits; the tooltip says it all.
        notice = briefNotice(all) + QStringLiteral(" (%1)").arg(kDetailsKey);
        if (metrics.horizontalAdvance(notice) > m_label->width())
            notice = metrics.elidedText(briefNotice(all), Qt::ElideRight, m_label->width());
    }
    m_label->setText(notice);
    m_label->setToolTip(detailsText());
}

QString PassNotice::detailsText() const
{
    const Module1::PassReport report = shown();
    if (!report.noteworthy())
        return QStringLiteral("The lists hold every day log of their period.");
    QStringList paragraphs;
    for (const auto &stop : report.stops)
        paragraphs << stopDetails(stop).join(QLatin1Char('\n'));
    for (const QString mode : {kSearch, QStringLiteral("List1"), QStringLiteral("List2")}) {
        QStringList lines;
        for (const auto &skipped : report.skipped) {
            if (skipped.mode == mode)
                lines << QStringLiteral("    ") + Module1::skippedFileText(fullPath(skipped.path), skipped.reason);
        }
        if (!lines.isEmpty())
            paragraphs << QStringLiteral("Day logs %1 could not read:\n").arg(passOf(mode)) + lines.join(QLatin1Char('\n'));
    }
    for (const auto &empty : report.empty)
        paragraphs << emptyDetails(empty);
    return paragraphs.join(QStringLiteral("\n\n"));
}

void PassNotice::showDetails()
{
    if (!m_details) {
        m_details = new QDialog(m_window);
        m_details->setObjectName(QStringLiteral("PassDetails"));
        m_details->setWindowTitle(QStringLiteral("Day logs not read - ") + Module1::kProgramTitle);
        m_details->setModal(false);
        m_details->resize(640, 260);
        m_detailsText = new QPlainTextEdit(m_details);
        m_detailsText->setReadOnly(true);
        m_detailsText->setLineWrapMode(QPlainTextEdit::NoWrap);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, m_details);
        connect(buttons, &QDialogButtonBox::rejected, m_details.data(), &QDialog::close);
        auto *layout = new QVBoxLayout(m_details);
        layout->addWidget(m_detailsText);
        layout->addWidget(buttons);
    }
    m_detailsText->setPlainText(detailsText());
    m_details->show();
    m_details->raise();
}
