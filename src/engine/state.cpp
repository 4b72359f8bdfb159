#include "engine/internal.h"
#include "engine/module1.h"
#include "engine/numbers.h"
#include "engine/text.h"

#include <QThread>

#include <algorithm>

namespace Module1 {

CurrentRecord record;
SearchState search;
ViewState view;
PassReport passReport;
QString logFolder = QStringLiteral("../logs/");
QString kmlFilePath = kKmlFileName;

namespace detail {

Host *g_host = nullptr;
Criteria g_criteria;
int g_altitudeRule = 0;
View g_view = View::Other;
bool g_timeReplaced = false;

void refreshControls()
{
    g_criteria = g_host->criteria();
    g_altitudeRule = g_host->altitudeRule();
}

Pass passOf(const QString &mode)
{
    if (mode == QLatin1String("Search"))
        return Pass::Search;
    if (mode == QLatin1String("List2"))
        return Pass::List2;
    if (mode == QLatin1String("Export"))
        return Pass::Export;
    if (mode == QLatin1String("Passages"))
        return Pass::Passages;
    if (mode == QLatin1String("Report"))
        return Pass::Report;
    return Pass::List1;
}

View viewOf(const std::string &viewMode)
{
    if (viewMode == "Dest")
        return View::Dest;
    if (viewMode == "KML")
        return View::Kml;
    return View::Other;
}

double numberOf(const std::string &text)
{
    return leadingNumber(std::string_view(text));
}

} // namespace detail

namespace {
int g_readJobs = 0;
}

void setReadJobs(int jobs)
{
    g_readJobs = jobs;
}

int readJobsFromEnvironment()
{
    const QByteArray text = qgetenv("VELKAIS_JOBS");
    if (text.isEmpty())
        return 0;
    bool ok = false;
    const int jobs = text.trimmed().toInt(&ok);
    return ok && jobs >= 1 && jobs <= kMaxReadJobs ? jobs : -1;
}

int readJobs()
{
    if (g_readJobs > 0)
        return g_readJobs;
    const int fromEnvironment = readJobsFromEnvironment();
    if (fromEnvironment > 0)
        return fromEnvironment;
    return std::clamp(QThread::idealThreadCount(), 1, kMaxReadJobs);
}

void setHost(Host *host)
{
    detail::g_host = host;
}

Host *host()
{
    return detail::g_host;
}

void resetState()
{
    record = CurrentRecord{};
    search = SearchState{};
    view = ViewState{};
    passReport = PassReport{};
    detail::resetMatcher();
    detail::g_criteria = Criteria{};
    detail::g_altitudeRule = 0;
    detail::g_view = detail::View::Other;
    detail::g_timeReplaced = false;
}

QString toText(std::string_view bytes)
{
    return toQString(bytes);
}

} // namespace Module1
