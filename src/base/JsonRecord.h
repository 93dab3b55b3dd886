#pragma once

// A record's file shape written once: a table of its fields (key and member) that one function
// writes and one reads. The table lists the keys in ascending order, the order the writer needs,
// and is found by the record's own `jsonFields(const Record*)`. Reading is strict: every key is
// required, a missing key or a wrong type throws DecodingError.
//
//     static auto jsonFields(const DayRecord*)
//     {
//         return std::tuple{JsonRecord::field(kCreatedAt, &DayRecord::createdAt), …};
//     }
//     void writeJson(JsonWriter& w, const DayRecord& d) { JsonRecord::write(w, d); }
//     DayRecord dayRecordFromJson(const QJsonObject& o) { return JsonRecord::read<DayRecord>(o); }

#include "base/Error.h"
#include "base/JsonWriter.h"
#include "base/TavrinJSON.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QStringList>

#include <tuple>

namespace tavrin::JsonRecord {

template <typename Record, typename T>
struct Field {
    QLatin1StringView key;
    T Record::*member;
};

template <typename Record, typename T>
constexpr Field<Record, T> field(QLatin1StringView key, T Record::*member)
{
    return {key, member};
}

template <typename Record>
Record read(const QJsonObject& o);

namespace detail {

inline void readValue(const QJsonObject& o, QLatin1StringView key, QString& v) { v = TavrinJSON::requireString(o, key); }
inline void readValue(const QJsonObject& o, QLatin1StringView key, QUuid& v) { v = TavrinJSON::requireUUID(o, key); }
inline void readValue(const QJsonObject& o, QLatin1StringView key, QDateTime& v) { v = TavrinJSON::requireDate(o, key); }
inline void readValue(const QJsonObject& o, QLatin1StringView key, bool& v) { v = TavrinJSON::requireBool(o, key); }
inline void readValue(const QJsonObject& o, QLatin1StringView key, qint64& v) { v = TavrinJSON::requireInt(o, key); }

inline void readValue(const QJsonObject& o, QLatin1StringView key, QStringList& v)
{
    v.clear();
    for (const QJsonValue& item : TavrinJSON::requireArray(o, key)) {
        if (!item.isString()) throw DecodingError(QStringLiteral("Type inattendu : ") + key);
        v.push_back(item.toString());
    }
}

template <typename Record>
void readValue(const QJsonObject& o, QLatin1StringView key, QList<Record>& v)
{
    v = TavrinJSON::requireList<Record>(o, key, [](const QJsonObject& item) { return read<Record>(item); });
}

template <typename T>
void writeValue(JsonWriter& w, QLatin1StringView key, const QList<T>& v)
{
    w.array(key, v);
}

template <typename T>
void writeValue(JsonWriter& w, QLatin1StringView key, const T& v)
{
    w.field(key, v);
}

} // namespace detail

template <typename Record>
void write(JsonWriter& w, const Record& record)
{
    w.beginObject();
    std::apply([&](const auto&... f) { (detail::writeValue(w, f.key, record.*(f.member)), ...); },
               jsonFields(static_cast<const Record*>(nullptr)));
    w.endObject();
}

template <typename Record>
Record read(const QJsonObject& o)
{
    Record record{};
    std::apply([&](const auto&... f) { (detail::readValue(o, f.key, record.*(f.member)), ...); },
               jsonFields(static_cast<const Record*>(nullptr)));
    return record;
}

} // namespace tavrin::JsonRecord
