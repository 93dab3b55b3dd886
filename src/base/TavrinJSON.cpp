#include "base/TavrinJSON.h"

#include "base/JsonWriter.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <atomic>

namespace tavrin::TavrinJSON {

namespace {

[[noreturn]] void fail(const QString& message) { throw DecodingError(message); }

QString keyError(QLatin1StringView key) { return QStringLiteral("Clé manquante : ") + key; }
QString typeError(QLatin1StringView key) { return QStringLiteral("Type inattendu : ") + key; }

int digits(QStringView s, qsizetype pos, int n, bool& ok)
{
    int v = 0;
    for (int i = 0; i < n; ++i) {
        const QChar c = s[pos + i];
        if (c < u'0' || c > u'9') { ok = false; return 0; }
        v = v * 10 + (c.unicode() - u'0');
    }
    return v;
}

// Qt's parser explains itself in English; the user reads French.
QString parseErrorText(const QJsonParseError& error)
{
    switch (error.error) {
    case QJsonParseError::NoError: return {};
    case QJsonParseError::UnterminatedObject: return QStringLiteral("objet non terminé");
    case QJsonParseError::MissingNameSeparator: return QStringLiteral("deux-points manquant après un nom");
    case QJsonParseError::UnterminatedArray: return QStringLiteral("tableau non terminé");
    case QJsonParseError::MissingValueSeparator: return QStringLiteral("virgule manquante entre deux valeurs");
    case QJsonParseError::IllegalValue: return QStringLiteral("valeur non valide");
    case QJsonParseError::TerminationByNumber: return QStringLiteral("document terminé au milieu d’un nombre");
    case QJsonParseError::IllegalNumber: return QStringLiteral("nombre non valide");
    case QJsonParseError::IllegalEscapeSequence: return QStringLiteral("séquence d’échappement non valide");
    case QJsonParseError::IllegalUTF8String: return QStringLiteral("texte UTF-8 non valide");
    case QJsonParseError::UnterminatedString: return QStringLiteral("chaîne non terminée");
    case QJsonParseError::MissingObject: return QStringLiteral("objet ou tableau attendu");
    case QJsonParseError::DeepNesting: return QStringLiteral("imbrication trop profonde");
    case QJsonParseError::DocumentTooLarge: return QStringLiteral("document trop volumineux");
    case QJsonParseError::GarbageAtEnd: return QStringLiteral("données après la fin du document");
    }
    return QStringLiteral("erreur de syntaxe");
}

} // namespace

QByteArray encode(const QJsonObject& object) { return encode(QJsonValue(object)); }
QByteArray encode(const QJsonArray& array) { return encode(QJsonValue(array)); }

QByteArray encode(const QJsonValue& value)
{
    JsonWriter writer;
    writer.value(value);
    return writer.take();
}

QJsonValue decode(const QByteArray& data)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError) fail(QStringLiteral("JSON invalide : ") + parseErrorText(error) + QStringLiteral(" (octet ")
             + QString::number(error.offset) + u')');
    if (doc.isObject()) return doc.object();
    if (doc.isArray()) return doc.array();
    fail(QStringLiteral("JSON invalide"));
}

QJsonObject decodeObject(const QByteArray& data)
{
    const QJsonValue v = decode(data);
    if (!v.isObject()) fail(QStringLiteral("JSON invalide : objet attendu"));
    return v.toObject();
}

QString encodeDate(const QDateTime& date) { return date.toUTC().toString(Qt::ISODateWithMs); }

namespace {
std::atomic<qint64> steppingClockMs{-1};
}

QDateTime now()
{
    const qint64 stepped = steppingClockMs.load() < 0 ? -1 : steppingClockMs.fetch_add(1000);
    const qint64 ms = stepped >= 0 ? stepped : QDateTime::currentMSecsSinceEpoch();
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

void setSteppingClock(const QDateTime& start) { steppingClockMs = start.isValid() ? start.toMSecsSinceEpoch() : -1; }

std::optional<QDateTime> date(QStringView s)
{
    // YYYY-MM-DDTHH:MM:SS[.fraction](Z|±HH:MM)
    if (s.size() < 20) return std::nullopt;
    bool ok = true;
    const int year = digits(s, 0, 4, ok);
    const int month = digits(s, 5, 2, ok);
    const int day = digits(s, 8, 2, ok);
    const int hour = digits(s, 11, 2, ok);
    const int minute = digits(s, 14, 2, ok);
    const int second = digits(s, 17, 2, ok);
    if (!ok || s[4] != u'-' || s[7] != u'-' || (s[10] != u'T' && s[10] != u't') || s[13] != u':' || s[16] != u':')
        return std::nullopt;
    qsizetype pos = 19;
    int millis = 0;
    if (s[pos] == u'.') {
        ++pos;
        const qsizetype start = pos;
        while (pos < s.size() && s[pos] >= u'0' && s[pos] <= u'9') {
            if (pos - start < 3) millis = millis * 10 + (s[pos].unicode() - u'0');
            ++pos;
        }
        const qsizetype n = pos - start;
        if (n == 0) return std::nullopt;
        for (qsizetype i = n; i < 3; ++i) millis *= 10;
    }
    if (pos >= s.size()) return std::nullopt;
    int offsetSeconds = 0;
    if (s[pos] == u'Z' || s[pos] == u'z') {
        ++pos;
    } else if (s[pos] == u'+' || s[pos] == u'-') {
        const int sign = s[pos] == u'-' ? -1 : 1;
        ++pos;
        if (s.size() - pos < 5) return std::nullopt;
        const int oh = digits(s, pos, 2, ok);
        const int om = digits(s, pos + 3, 2, ok);
        if (!ok || s[pos + 2] != u':' || oh > 23 || om > 59) return std::nullopt;
        offsetSeconds = sign * (oh * 3600 + om * 60);
        pos += 5;
    } else {
        return std::nullopt;
    }
    if (pos != s.size()) return std::nullopt;
    const QDate d(year, month, day);
    const QTime t(hour, minute, second, millis);
    if (!d.isValid() || !t.isValid()) return std::nullopt;
    QDateTime result(d, t, Qt::UTC);
    return result.addSecs(-offsetSeconds);
}

QString uuidString(const QUuid& id) { return id.toString(QUuid::WithoutBraces).toUpper(); }

std::optional<QUuid> uuid(QStringView text)
{
    if (text.size() != 36) return std::nullopt;
    for (qsizetype i = 0; i < 36; ++i) {
        const QChar c = text[i];
        const bool dash = (i == 8 || i == 13 || i == 18 || i == 23);
        if (dash ? c != u'-' : !isxdigit(c.unicode() < 128 ? char(c.unicode()) : 'g')) return std::nullopt;
    }
    return QUuid::fromString(text);
}

QJsonValue require(const QJsonObject& o, QLatin1StringView key)
{
    const auto it = o.constFind(key);
    if (it == o.constEnd()) fail(keyError(key));
    return *it;
}

QString requireString(const QJsonObject& o, QLatin1StringView key)
{
    const QJsonValue v = require(o, key);
    if (!v.isString()) fail(typeError(key));
    return v.toString();
}

qint64 requireInt(const QJsonObject& o, QLatin1StringView key)
{
    const QJsonValue v = require(o, key);
    if (!v.isDouble()) fail(typeError(key));
    const double d = v.toDouble();
    const qint64 i = v.toInteger();
    if (double(i) != d) fail(typeError(key));
    return i;
}

double requireDouble(const QJsonObject& o, QLatin1StringView key)
{
    const QJsonValue v = require(o, key);
    if (!v.isDouble()) fail(typeError(key));
    return v.toDouble();
}

bool requireBool(const QJsonObject& o, QLatin1StringView key)
{
    const QJsonValue v = require(o, key);
    if (!v.isBool()) fail(typeError(key));
    return v.toBool();
}

QDateTime requireDate(const QJsonObject& o, QLatin1StringView key)
{
    const QString s = requireString(o, key);
    const auto d = date(s);
    if (!d) fail(QStringLiteral("Date invalide : ") + s);
    return *d;
}

QUuid requireUUID(const QJsonObject& o, QLatin1StringView key)
{
    const auto id = uuid(requireString(o, key));
    if (!id) fail(typeError(key));
    return *id;
}

QJsonArray requireArray(const QJsonObject& o, QLatin1StringView key)
{
    const QJsonValue v = require(o, key);
    if (!v.isArray()) fail(typeError(key));
    return v.toArray();
}

QJsonObject requireObject(const QJsonObject& o, QLatin1StringView key) { return asObject(require(o, key)); }

QJsonObject asObject(const QJsonValue& v)
{
    if (!v.isObject()) fail(QStringLiteral("JSON invalide : objet attendu"));
    return v.toObject();
}

namespace {
template <typename T, typename F>
std::optional<T> optionalOf(const QJsonObject& o, QLatin1StringView key, F read)
{
    const auto it = o.constFind(key);
    if (it == o.constEnd() || it->isNull()) return std::nullopt;
    return read(o, key);
}
} // namespace

std::optional<QString> optionalString(const QJsonObject& o, QLatin1StringView key) { return optionalOf<QString>(o, key, requireString); }
std::optional<qint64> optionalInt(const QJsonObject& o, QLatin1StringView key) { return optionalOf<qint64>(o, key, requireInt); }
std::optional<double> optionalDouble(const QJsonObject& o, QLatin1StringView key) { return optionalOf<double>(o, key, requireDouble); }
std::optional<bool> optionalBool(const QJsonObject& o, QLatin1StringView key) { return optionalOf<bool>(o, key, requireBool); }
std::optional<QDateTime> optionalDate(const QJsonObject& o, QLatin1StringView key) { return optionalOf<QDateTime>(o, key, requireDate); }
std::optional<QUuid> optionalUUID(const QJsonObject& o, QLatin1StringView key) { return optionalOf<QUuid>(o, key, requireUUID); }

std::optional<QByteArray> optionalData(const QJsonObject& o, QLatin1StringView key)
{
    return optionalOf<QByteArray>(o, key, [](const QJsonObject& obj, QLatin1StringView k) {
        const QString s = requireString(obj, k);
        auto result = QByteArray::fromBase64Encoding(s.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!result) fail(typeError(k));
        return *result;
    });
}

} // namespace tavrin::TavrinJSON
