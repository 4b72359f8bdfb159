#include "engine/internal.h"
#include "engine/module1.h"
#include "engine/numbers.h"
#include "engine/text.h"

namespace Module1 {

using namespace detail;

void accumulateView()
{
    Host &host = *g_host;
    const std::string &time = record.recTime;

    const double hour = leadingNumber(firstChars(time, 2));
    const double n = roundHalfEven(hour);
    // Only hours 0 to 24 have a counter; an hour such as -1 or 99 (a damaged
    // time) is neither counted nor drawn.
    if (n >= 0 && n <= 24) {
        int &count = view.hourCount[static_cast<std::size_t>(n)];
        ++count;
        host.draw(Chart::countBar(hour, count));
    }

    std::string_view parts[3];
    int partCount = 0;
    std::size_t from = 0;
    for (;;) {
        const std::size_t colon = time.find(':', from);
        if (partCount < 3)
            parts[partCount] = std::string_view(time).substr(from, colon == std::string::npos ? std::string::npos : colon - from);
        ++partCount;
        if (colon == std::string::npos)
            break;
        from = colon + 1;
    }
    if (partCount == 3) {
        const double seconds = roundHalfEven(finite(finite(leadingNumber(parts[0]) * 3600.0) +
                                                    finite(leadingNumber(parts[1]) * 60.0) +
                                                    leadingNumber(parts[2])));
        view.recSeconds = static_cast<long long>(seconds);
        if (view.recSeconds > 0 && view.recSeconds < 86400)
            host.draw(Chart::speedTick(static_cast<double>(view.recSeconds), numberOf(record.recSpeed)));
    }

    if (g_view == View::Dest) {
        if (!record.recDestination.empty()) {
            std::string voyage = record.recDestination + "  |  " + record.recEta + "  |  " + record.recDraught;
            if (voyage != view.lastVoyage) {
                view.lastVoyage = std::move(voyage);
                host.appendChangeLine(toQString(record.recTime + " " + view.lastVoyage + "\r\n"));
            }
        }
        if (!record.recNavStatus.empty() && record.recNavStatus != view.lastNavStatus) {
            view.lastNavStatus = record.recNavStatus;
            host.appendChangeLine(toQString(record.recTime + " NAVIGATIONAL STATUS: " + view.lastNavStatus + "\r\n"));
        }
        if (!record.recText.empty() && record.recText != view.lastText) {
            view.lastText = record.recText;
            host.appendChangeLine(toQString(record.recTime + " Text telegram: " + view.lastText + "\r\n"));
        }
    } else if (g_view == View::Kml && !record.recLongitude.empty() && !record.recLatitude.empty()) {
        const double speed = numberOf(record.recSpeed);
        std::string altitude;
        if (g_altitudeRule == 0)
            altitude = numberText(finite(speed * 10) + 1);
        else if (g_altitudeRule == 1)
            altitude = numberText(finite(speed * 100) + 1);
        else
            altitude = "10";
        view.kmlLastPosition = record.recLongitude + "," + record.recLatitude + "," + altitude;
        view.kmlCoordinates += view.kmlLastPosition;
        view.kmlCoordinates += "\r\n";
        if (view.maxSpeed < speed)
            view.maxSpeed = speed;
    }
}

} // namespace Module1
