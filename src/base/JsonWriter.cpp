#include "base/JsonWriter.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace tavrin {

namespace {

const char hexDigits[] = "0123456789ABCDEF";

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void civilFromDays(qint64 z, qint64& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = qint64(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += (m <= 2);
}

} // namespace

JsonWriter::JsonWriter() { m_out.reserve(4096); }

void JsonWriter::newline()
{
    static const char spaces[] = "\n                                                                ";
    qsizetype indent = qsizetype(m_stack.size()) * 2;
    m_out.append(spaces, size_t(1 + std::min<qsizetype>(indent, 64)));
    for (indent -= 64; indent > 0; --indent) m_out.push_back(' ');
}

void JsonWriter::beforeValue()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_stack.empty()) return;
    Level& level = m_stack.back();
    Q_ASSERT(!level.isObject);
    if (!level.empty) m_out.push_back(',');
    level.empty = false;
    newline();
}

void JsonWriter::key(QLatin1StringView name)
{
    Q_ASSERT(!m_stack.empty() && m_stack.back().isObject && !m_afterKey);
    Level& level = m_stack.back();
    Q_ASSERT(level.empty || level.lastKey < name);
    if (!level.empty) m_out.push_back(',');
    level.empty = false;
    level.lastKey = name;
    newline();
    m_out.push_back('"');
    m_out.append(name.data(), size_t(name.size()));
    m_out.append("\" : ", 4);
    m_afterKey = true;
}

void JsonWriter::beginObject()
{
    beforeValue();
    m_out.push_back('{');
    m_stack.push_back({true, true, {}});
}

void JsonWriter::endObject()
{
    const bool empty = m_stack.back().empty;
    m_stack.pop_back();
    if (!empty) newline();
    m_out.push_back('}');
}

void JsonWriter::beginArray()
{
    beforeValue();
    m_out.push_back('[');
    m_stack.push_back({false, true, {}});
}

void JsonWriter::endArray()
{
    const bool empty = m_stack.back().empty;
    m_stack.pop_back();
    if (!empty) newline();
    m_out.push_back(']');
}

void JsonWriter::writeEscaped(const QByteArray& utf8)
{
    m_out.reserve(m_out.size() + size_t(utf8.size()) + 8);
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': m_out.append("\\\"", 2); break;
        case '\\': m_out.append("\\\\", 2); break;
        case '/': m_out.append("\\/", 2); break; // escaped, as the phones' encoder does
        case '\n': m_out.append("\\n", 2); break;
        case '\r': m_out.append("\\r", 2); break;
        case '\t': m_out.append("\\t", 2); break;
        case '\b': m_out.append("\\b", 2); break;
        case '\f': m_out.append("\\f", 2); break;
        default:
            if (c < 0x20) {
                m_out.append("\\u00", 4);
                m_out.push_back(hexDigits[c >> 4]);
                m_out.push_back(hexDigits[c & 0xF]);
            } else {
                m_out.push_back(ch);
            }
        }
    }
}

void JsonWriter::writeString(QStringView text)
{
    m_out.push_back('"');
    // Most texts are short ASCII numbers and names: copy them without converting.
    bool plain = true;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u >= 0x7F || u == u'"' || u == u'\\' || u == u'/') {
            plain = false;
            break;
        }
    }
    if (plain) {
        for (const QChar c : text) m_out.push_back(char(c.unicode()));
        m_out.push_back('"');
        return;
    }
    if (text.isValidUtf16()) {
        writeEscaped(text.toUtf8());
    } else {
        // A lone surrogate (a damaged file, a hostile phone) is written as its escape, so that the
        // text reads back as it was instead of changing at each write.
        qsizetype start = 0;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t u = text[i].unicode();
            if (!QChar::isSurrogate(u)) continue;
            if (QChar::isHighSurrogate(u) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
                ++i;
                continue;
            }
            writeEscaped(text.sliced(start, i - start).toUtf8());
            m_out.append("\\u", 2);
            for (int shift = 12; shift >= 0; shift -= 4) m_out.push_back(hexDigits[(u >> shift) & 0xF]);
            start = i + 1;
        }
        writeEscaped(text.sliced(start).toUtf8());
    }
    m_out.push_back('"');
}

void JsonWriter::value(const QString& text)
{
    beforeValue();
    writeString(text);
}

void JsonWriter::value(QLatin1StringView text) { value(QString(text)); }

void JsonWriter::value(qint64 number)
{
    beforeValue();
    m_out.append(QByteArray::number(number).constData());
}

void JsonWriter::value(double number)
{
    beforeValue();
    if (!std::isfinite(number)) {
        m_out.append("null");
    } else if (number == std::floor(number) && std::fabs(number) < 9007199254740992.0) {
        m_out.append(QByteArray::number(qint64(number)).constData());
    } else {
        m_out.append(QByteArray::number(number, 'g', QLocale::FloatingPointShortest).constData());
    }
}

void JsonWriter::encoded(const QByteArray& json)
{
    beforeValue();
    m_out.append(json.constData(), size_t(json.size()));
}

void JsonWriter::value(bool flag)
{
    beforeValue();
    m_out.append(flag ? "true" : "false");
}

void JsonWriter::null()
{
    beforeValue();
    m_out.append("null");
}

void JsonWriter::value(const QDateTime& date)
{
    beforeValue();
    // 2026-12-04T23:18:00.123Z, always three fractional digits, always UTC.
    const qint64 ms = date.toMSecsSinceEpoch();
    qint64 days = ms / 86400000;
    qint64 rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    qint64 y;
    unsigned mo, d;
    civilFromDays(days, y, mo, d);
    char buf[64];
    const int secs = int(rest / 1000), millis = int(rest % 1000);
    std::snprintf(buf, sizeof buf, "\"%04lld-%02u-%02uT%02d:%02d:%02d.%03dZ\"", static_cast<long long>(y), mo, d,
                  secs / 3600, (secs / 60) % 60, secs % 60, millis);
    m_out.append(buf);
}

void JsonWriter::value(const QUuid& id)
{
    beforeValue();
    const QByteArray raw = id.toRfc4122();
    m_out.push_back('"');
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) m_out.push_back('-');
        const auto b = static_cast<unsigned char>(raw[i]);
        m_out.push_back(hexDigits[b >> 4]);
        m_out.push_back(hexDigits[b & 0xF]);
    }
    m_out.push_back('"');
}

void JsonWriter::data(const QByteArray& bytes)
{
    beforeValue();
    m_out.push_back('"');
    for (const char c : bytes.toBase64()) {
        if (c == '/') m_out.push_back('\\');
        m_out.push_back(c);
    }
    m_out.push_back('"');
}

void JsonWriter::value(const QJsonValue& json)
{
    switch (json.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined: null(); break;
    case QJsonValue::Bool: value(json.toBool()); break;
    case QJsonValue::Double: {
        const double d = json.toDouble();
        const qint64 i = json.toInteger();
        if (double(i) == d) value(i);
        else value(d);
        break;
    }
    case QJsonValue::String: value(json.toString()); break;
    case QJsonValue::Array: {
        beginArray();
        for (const QJsonValue& v : json.toArray()) value(v);
        endArray();
        break;
    }
    case QJsonValue::Object: {
        const QJsonObject o = json.toObject();
        beforeValue();
        m_out.push_back('{');
        m_stack.push_back({true, true, {}});
        // QJsonObject keeps its keys sorted; keys may be any text, so they are written directly.
        for (auto it = o.begin(); it != o.end(); ++it) {
            Level& level = m_stack.back();
            if (!level.empty) m_out.push_back(',');
            level.empty = false;
            newline();
            writeString(it.key());
            m_out.append(" : ", 3);
            m_afterKey = true;
            value(it.value());
        }
        endObject();
        break;
    }
    }
}

QByteArray JsonWriter::take()
{
    m_out.push_back('\n');
    QByteArray result(m_out.data(), qsizetype(m_out.size()));
    m_out.clear();
    return result;
}

} // namespace tavrin
