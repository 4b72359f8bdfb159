#include "engine/module1.h"

namespace Module1 {

namespace {

// The user's names for the passes, not the mode texts of the status line.
QString passName(const QString &mode)
{
    if (mode == QLatin1String("Search"))
        return QStringLiteral("Search");
    if (mode == QLatin1String("List1"))
        return QStringLiteral("Ship selection");
    if (mode == QLatin1String("List2"))
        return QStringLiteral("Open");
    return mode;
}

} // namespace

QString skippedFileText(const QString &path, const QString &reason)
{
    return QStringLiteral("%1 could not be read: %2").arg(path, reason);
}

QString stopText(const PassReport::Stop &stop)
{
    return QStringLiteral("%1 stopped at %2").arg(passName(stop.mode), stop.fileName);
}

QString emptyText(const PassReport::Empty &empty)
{
    if (!empty.folderHasLogs)
        return QStringLiteral("no day logs in %1").arg(empty.folder);
    if (empty.first == empty.last)
        return QStringLiteral("no day log for %1").arg(empty.first);
    return QStringLiteral("no day log between %1 and %2").arg(empty.first, empty.last);
}

QStringList passDetails(const PassReport &report)
{
    QStringList lines;
    for (const PassReport::Stop &stop : report.stops)
        lines << stopText(stop);
    for (const PassReport::Skipped &skipped : report.skipped)
        lines << skippedFileText(skipped.path, skipped.reason);
    for (const PassReport::Empty &empty : report.empty)
        lines << emptyText(empty);
    return lines;
}

QString passNotice(const PassReport &report, const QString &hint)
{
    QStringList parts;
    for (const PassReport::Stop &stop : report.stops)
        parts << stopText(stop);
    // A file met by two passes is one file.
    QStringList paths;
    for (const PassReport::Skipped &skipped : report.skipped) {
        if (!paths.contains(skipped.path))
            paths << skipped.path;
    }
    if (const auto n = paths.size(); n == 1)
        parts << QStringLiteral("1 log file could not be read");
    else if (n > 1)
        parts << QStringLiteral("%1 log files could not be read").arg(n);
    // Only the first: a Search that found nothing leaves no ship to select.
    if (!report.empty.empty())
        parts << emptyText(report.empty.front());
    QString notice = parts.join(QStringLiteral("; "));
    // A lone stop says all there is; anything more is in the details.
    const bool more = !report.skipped.empty() || report.stops.size() > 1;
    if (more && !hint.isEmpty())
        notice += QStringLiteral(" - details: ") + hint;
    return notice;
}

} // namespace Module1
