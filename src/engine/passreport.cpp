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

QStringList passDetails(const PassReport &report)
{
    QStringList lines;
    for (const PassReport::Stop &stop : report.stops)
        lines << stopText(stop);
    for (const PassReport::Skipped &skipped : report.skipped)
        lines << skippedFileText(skipped.path, skipped.reason);
    return lines;
}

QString passNotice(const PassReport &report, const QString &hint)
{
    QStringList parts;
    if (!report.stops.empty())
        parts << stopText(report.stops.front());
    if (const auto n = report.skipped.size(); n == 1)
        parts << QStringLiteral("1 log file could not be read");
    else if (n > 1)
        parts << QStringLiteral("%1 log files could not be read").arg(n);
    QString notice = parts.join(QStringLiteral("; "));
    // A lone stop says all there is; anything more is in the details.
    const bool more = !report.skipped.empty() || report.stops.size() > 1;
    if (more && !hint.isEmpty())
        notice += QStringLiteral(" - details: ") + hint;
    return notice;
}

} // namespace Module1
