#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QString>
#include <QUuid>

#include <optional>
#include <string>
#include <vector>

namespace tavrin {

// Streams indented JSON straight into bytes. Records write their keys in sorted order through
// it, which keeps every keystroke's library write to a fraction of a millisecond (building a
// QJsonObject for thousands of rows costs ten times more).
class JsonWriter {
public:
    JsonWriter();

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // Keys of one object must come in ascending order.
    void key(QLatin1StringView name);

    void value(const QString& text);
    void value(QLatin1StringView text);
    void value(qint64 number);
    void value(int number) { value(qint64(number)); }
    void value(double number);
    void value(bool flag);
    void null();
    void value(const QDateTime& date);
    void value(const QUuid& id);
    void data(const QByteArray& bytes);
    // Any JSON value; object keys come out sorted.
    void value(const QJsonValue& json);
    // A value already encoded as JSON (compact, on one line), written as it is.
    void encoded(const QByteArray& json);

    // key + value in one call.
    template <typename T>
    void field(QLatin1StringView name, const T& v)
    {
        key(name);
        value(v);
    }
    // Absent values are omitted.
    template <typename T>
    void field(QLatin1StringView name, const std::optional<T>& v)
    {
        if (v) field(name, *v);
    }
    void dataField(QLatin1StringView name, const std::optional<QByteArray>& bytes)
    {
        if (!bytes) return;
        key(name);
        data(*bytes);
    }

    // key + an array of plain values, or of records each written by its
    // writeJson(JsonWriter&, const Record&).
    template <typename List>
    void array(QLatin1StringView name, const List& items)
    {
        key(name);
        beginArray();
        for (const auto& item : items) {
            if constexpr (requires { value(item); }) value(item);
            else writeJson(*this, item);
        }
        endArray();
    }

    // The finished document, ending with a line break.
    QByteArray take();
    // A whole document holding one record.
    template <typename Record>
    static QByteArray document(const Record& record)
    {
        JsonWriter w;
        writeJson(w, record);
        return w.take();
    }

private:
    void beforeValue();
    void newline();
    void writeString(QStringView text);
    // UTF-8 text between the quotes, escaped.
    void writeEscaped(const QByteArray& utf8);

    std::string m_out;
    struct Level {
        bool isObject;
        bool empty;
        QLatin1StringView lastKey;
    };
    std::vector<Level> m_stack;
    bool m_afterKey = false;
};

} // namespace tavrin
