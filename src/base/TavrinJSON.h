#pragma once

#include "base/Error.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>

#include <optional>

// The one JSON convention of Tavrin: every file and message is written indented with sorted
// keys and slashes escaped, dates as ISO 8601 UTC with three fractional digits, identifiers as
// upper-case hyphenated UUIDs. Decoding is strict: the record readers throw DecodingError.
namespace tavrin::TavrinJSON {

QByteArray encode(const QJsonObject& object);
QByteArray encode(const QJsonArray& array);
QByteArray encode(const QJsonValue& value);

// Parses a whole document; throws DecodingError when it is not JSON.
QJsonValue decode(const QByteArray& data);
QJsonObject decodeObject(const QByteArray& data);

// 2026-12-04T23:18:00.123Z
QString encodeDate(const QDateTime& date);
// Accepts internet date-time with or without fractional seconds; none otherwise.
std::optional<QDateTime> date(QStringView text);
// Now, at the millisecond precision the files keep.
QDateTime now();
// Makes now() start at `start` and advance one second per call, so that pictures and files made
// twice are identical; a null date gives the real clock back.
void setSteppingClock(const QDateTime& start);

QString uuidString(const QUuid& id);
std::optional<QUuid> uuid(QStringView text);

// Strict field readers: a missing key or a wrong type throws DecodingError.
QJsonValue require(const QJsonObject& o, QLatin1StringView key);
QString requireString(const QJsonObject& o, QLatin1StringView key);
qint64 requireInt(const QJsonObject& o, QLatin1StringView key);
double requireDouble(const QJsonObject& o, QLatin1StringView key);
bool requireBool(const QJsonObject& o, QLatin1StringView key);
QDateTime requireDate(const QJsonObject& o, QLatin1StringView key);
QUuid requireUUID(const QJsonObject& o, QLatin1StringView key);
QJsonArray requireArray(const QJsonObject& o, QLatin1StringView key);
QJsonObject requireObject(const QJsonObject& o, QLatin1StringView key);
QJsonObject asObject(const QJsonValue& v);

// Optional variants: an absent key or JSON null gives none; a present value of the wrong type throws.
std::optional<QString> optionalString(const QJsonObject& o, QLatin1StringView key);
std::optional<qint64> optionalInt(const QJsonObject& o, QLatin1StringView key);
std::optional<double> optionalDouble(const QJsonObject& o, QLatin1StringView key);
std::optional<bool> optionalBool(const QJsonObject& o, QLatin1StringView key);
std::optional<QDateTime> optionalDate(const QJsonObject& o, QLatin1StringView key);
std::optional<QUuid> optionalUUID(const QJsonObject& o, QLatin1StringView key);
std::optional<QByteArray> optionalData(const QJsonObject& o, QLatin1StringView key);

// Writers that omit absent optional values.
template <typename T, typename F>
void putOptional(QJsonObject& o, QLatin1StringView key, const std::optional<T>& v, F toJson)
{
    if (v) o.insert(key, toJson(*v));
}
inline QJsonValue dataValue(const QByteArray& bytes) { return QString::fromLatin1(bytes.toBase64()); }

// Arrays of records: reads every element with fromJson, throwing on the first bad one.
template <typename T, typename F>
QList<T> requireList(const QJsonObject& o, QLatin1StringView key, F fromJson)
{
    const QJsonArray a = requireArray(o, key);
    QList<T> out;
    out.reserve(a.size());
    for (const QJsonValue& v : a) out.push_back(fromJson(asObject(v)));
    return out;
}
template <typename T, typename F>
QJsonArray toArray(const QList<T>& list, F toJson)
{
    QJsonArray a;
    for (const T& item : list) a.append(toJson(item));
    return a;
}

} // namespace tavrin::TavrinJSON
