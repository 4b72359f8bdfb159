#include "engine/export.h"

#include "engine/internal.h"
#include "engine/numbers.h"
#include "engine/text.h"

#include <QIODevice>

#include <array>
#include <charconv>
#include <cmath>

namespace Module1 {

namespace {

RecordSink *g_sink = nullptr;

// Only one export pass can run at a time: the reader's record is shared.
class SinkScope
{
public:
    explicit SinkScope(RecordSink &sink) { g_sink = &sink; }
    ~SinkScope() { g_sink = nullptr; }
    SinkScope(const SinkScope &) = delete;
    SinkScope &operator=(const SinkScope &) = delete;
};

const QString kExportMode = QStringLiteral("Export");

// Column names, in the order of every row and every object.
constexpr std::array<std::string_view, 16> kFields = {
    "file",        "date",     "recTime",        "recMmsi", "recName",    "recLongitude",
    "recLatitude", "recSpeed", "recDestination", "recEta",  "recDraught", "recNavStatus",
    "recText",     "latitude", "longitude",      "speed"};
constexpr std::size_t kFlushAt = 64 * 1024;

// The record's texts for the columns recTime to recText.
std::array<const std::string *, 11> textsOf(const CurrentRecord &r)
{
    return {&r.recTime,  &r.recMmsi,        &r.recName, &r.recLongitude, &r.recLatitude, &r.recSpeed,
            &r.recDestination, &r.recEta, &r.recDraught, &r.recNavStatus, &r.recText};
}

// The shortest text that reads back as the same double ("130.9747", "1e+20"),
// valid as a JSON number and as a CSV reader's number alike.
void appendNumber(std::string &out, double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// A field quoted only when it holds a comma, a quote or a line end, quotes doubled.
void appendCsvField(std::string &out, std::string_view text)
{
    // A plain loop: find_first_of calls memchr for every character.
    bool quote = false;
    for (const char c : text)
        quote |= c == ',' || c == '"' || c == '\r' || c == '\n';
    if (!quote) {
        out += text;
        return;
    }
    out += '"';
    for (const char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// A JSON string of valid UTF-8 text: the reader stores nothing else. Only the
// quote, the backslash and control characters need escapes.
void appendJsonString(std::string &out, std::string_view text)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
    out += '"';
}

// The number columns: always with a point or an exponent ("0.0", "33.0"), so
// that a reader guessing types from a day at anchor, or from a whole-degree
// position, does not make integer columns that a later 12.5 no longer fits.
void appendReal(std::string &out, double value)
{
    const std::size_t start = out.size();
    appendNumber(out, value);
    if (out.find_first_of(".e", start) == std::string::npos)
        out += ".0";
}

void appendJsonNumber(std::string &out, std::optional<double> value)
{
    if (value)
        appendReal(out, *value);
    else
        out += "null";
}

// The latitude, longitude and speed columns. A position off the globe (the
// AIS "not available" 181, 91) is no position, as it is no GeoJSON point;
// the record's texts still say what the log said.
std::array<std::optional<double>, 3> numberColumns(const CurrentRecord &rec)
{
    std::optional<double> latitude = fieldNumber(rec.recLatitude);
    std::optional<double> longitude = fieldNumber(rec.recLongitude);
    if (!isPosition(longitude, latitude))
        latitude = longitude = std::nullopt;
    return {latitude, longitude, fieldNumber(rec.recSpeed)};
}

} // namespace

bool detail::exportRecord(const QString &fileName)
{
    return g_sink && g_sink->take(record, fileName);
}

bool exportPeriod(RecordSink &sink)
{
    const SinkScope scope(sink);
    return periodPass(kExportMode);
}

bool exportFile(const QString &fileName, RecordSink &sink)
{
    const SinkScope scope(sink);
    return readLogFile(fileName, kExportMode);
}

std::optional<double> fieldNumber(std::string_view text)
{
    if (!holdsNumber(text))
        return std::nullopt;
    return leadingNumber(text);
}

bool isPosition(std::optional<double> longitude, std::optional<double> latitude)
{
    return longitude && latitude && std::isfinite(*longitude) && std::isfinite(*latitude) &&
           std::fabs(*longitude) <= 180 && std::fabs(*latitude) <= 90;
}

QByteArray csvColumnTypes()
{
    QByteArray line;
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        if (i > 0)
            line += ',';
        line += i < 13 ? "\"String\"" : "\"Real\"";
    }
    return line + "\r\n";
}

RecordWriter::RecordWriter(RecordFormat format, QIODevice &out)
    : m_format(format), m_out(out)
{
    m_buffer.reserve(kFlushAt + 4096);
    if (m_format == RecordFormat::Csv) {
        for (std::size_t i = 0; i < kFields.size(); ++i) {
            if (i > 0)
                m_buffer += ',';
            m_buffer += kFields[i];
        }
        m_buffer += "\r\n";
    } else if (m_format == RecordFormat::GeoJson) {
        m_buffer += "{\"type\":\"FeatureCollection\",\"features\":[\n";
    }
}

bool RecordWriter::take(const CurrentRecord &rec, const QString &fileName)
{
    if (fileName != m_fileName) {
        m_fileName = fileName;
        m_fileUtf8 = toStd(fileName);
        m_dateUtf8 = toStd(leftChars(fileName, 8));
    }
    if (m_format == RecordFormat::Csv)
        csvRow(rec);
    else
        jsonRecord(rec);
    ++m_count;
    return m_buffer.size() >= kFlushAt && !flush();
}

void RecordWriter::csvRow(const CurrentRecord &rec)
{
    appendCsvField(m_buffer, m_fileUtf8);
    m_buffer += ',';
    appendCsvField(m_buffer, m_dateUtf8);
    for (const std::string *text : textsOf(rec)) {
        m_buffer += ',';
        appendCsvField(m_buffer, *text);
    }
    for (const std::optional<double> &value : numberColumns(rec)) {
        m_buffer += ',';
        if (value)
            appendReal(m_buffer, *value);
    }
    m_buffer += "\r\n";
}

void RecordWriter::jsonRecord(const CurrentRecord &rec)
{
    const auto numbers = numberColumns(rec);
    const std::optional<double> &latitude = numbers[0], &longitude = numbers[1];
    if (m_format == RecordFormat::GeoJson) {
        if (m_count > 0)
            m_buffer += ",\n";
        m_buffer += "{\"type\":\"Feature\",\"geometry\":";
        if (latitude) {
            m_buffer += "{\"type\":\"Point\",\"coordinates\":[";
            appendNumber(m_buffer, *longitude);
            m_buffer += ',';
            appendNumber(m_buffer, *latitude);
            m_buffer += "]}";
        } else {
            m_buffer += "null";
        }
        m_buffer += ",\"properties\":";
    }

    const auto texts = textsOf(rec);
    const std::string_view values[] = {m_fileUtf8, m_dateUtf8};
    for (std::size_t i = 0; i < 13; ++i) {
        m_buffer += i == 0 ? "{\"" : ",\"";
        m_buffer += kFields[i];
        m_buffer += "\":";
        appendJsonString(m_buffer, i < 2 ? values[i] : std::string_view(*texts[i - 2]));
    }
    for (std::size_t i = 0; i < 3; ++i) {
        m_buffer += ",\"";
        m_buffer += kFields[13 + i];
        m_buffer += "\":";
        appendJsonNumber(m_buffer, numbers[i]);
    }
    m_buffer += m_format == RecordFormat::GeoJson ? "}}" : "}\n";
}

bool RecordWriter::flush()
{
    if (!m_failed && !m_buffer.empty()) {
        const auto size = static_cast<qint64>(m_buffer.size());
        m_failed = m_out.write(m_buffer.data(), size) != size;
    }
    m_buffer.clear();
    return !m_failed;
}

bool RecordWriter::finish()
{
    if (m_format == RecordFormat::GeoJson)
        m_buffer += "\n]}\n";
    return flush();
}

} // namespace Module1
