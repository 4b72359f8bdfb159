#include "engine/module1.h"

#include "engine/numbers.h"
#include "engine/text.h"
#include "platform/files.h"

namespace Module1 {

namespace {

// Values go into the document as UTF-8 with &, < and > escaped, and without the
// characters XML 1.0 does not allow at all (controls other than tab, LF and CR,
// U+FFFE, U+FFFF): a ship named "M&M" must not make the file unreadable.
QByteArray escaped(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < value.size() && value.at(i + 1).isLowSurrogate()) {
            out += c;
            out += value.at(++i);
            continue;
        }
        if (c.isSurrogate() || u == 0xFFFE || u == 0xFFFF || (u < 0x20 && u != '\t' && u != '\n' && u != '\r'))
            continue;
        if (u == '&')
            out += QLatin1String("&amp;");
        else if (u == '<')
            out += QLatin1String("&lt;");
        else if (u == '>')
            out += QLatin1String("&gt;");
        else
            out += c;
    }
    return out.toUtf8();
}

} // namespace

QByteArray kmlHeader(const QString &shipName, const QString &folderDescription, const QString &logFileName)
{
    QByteArray h;
    h += "<?xml version=\"1.0\" encoding=\"UTF-8\"?><kml xmlns=\"http://earth.google.com/kml/2.2\">";
    h += "<Document><name>Log Broeser for VELK-AIS</name><open>1</open>";
    h += "<description>";
    h += Platform::localDate().toString(QStringLiteral("yyyy/MM/dd")).toLatin1();
    h += "\n";
    h += escaped(logFileName);
    h += "</description>";
    h += "<Style id=\"yellowLineGreenPoly\"><LineStyle><color>7f00ffff</color><width>4</width></LineStyle>";
    h += "<PolyStyle><color>7f00ff00</color></PolyStyle></Style><Folder><name>";
    h += escaped(shipName);
    h += "</name>";
    h += "<description>";
    h += escaped(folderDescription);
    h += "</description><Placemark><styleUrl>#yellowLineGreenPoly</styleUrl>";
    h += "<LineString><extrude>1</extrude><tessellate>1</tessellate><altitudeMode>absolute</altitudeMode>"
         "<coordinates>";
    return h;
}

QByteArray kmlFooter(const QString &shipName, const QString &lastPosition)
{
    QByteArray f;
    f += "</coordinates></LineString></Placemark><Placemark><name>";
    f += escaped(shipName);
    f += "</name><description>Final position</description><visibility>1</visibility>"
         "<styleUrl>#downArrowIcon</styleUrl><Point><altitudeMode>relativeToGround</altitudeMode><coordinates>";
    f += escaped(lastPosition);
    f += "</coordinates></Point></Placemark></Folder></Document></kml>";
    return f;
}

QByteArray kmlDocument(const QString &shipName, const QString &logFileName)
{
    const QString description = QStringLiteral("MMSI:") + toQString(search.viewMmsi) + QLatin1Char('\n') +
                                QStringLiteral("Max:") + QString::fromStdString(numberText(view.maxSpeed)) +
                                QStringLiteral("knots");
    QByteArray doc = kmlHeader(shipName, description, logFileName);
    doc += "\r\n";
    doc += escaped(toQString(view.kmlCoordinates));
    doc += "\r\n";
    doc += kmlFooter(shipName, toQString(view.kmlLastPosition));
    doc += "\r\n";
    return doc;
}

} // namespace Module1
