#include "sync/SyncEnvelope.h"

#include "base/JsonWriter.h"
#include "base/TavrinJSON.h"

#include <QStringDecoder>
#include <QtEndian>

#include <array>

namespace tavrin {

namespace {
const QLatin1StringView kKind("kind"), kPeerName("peerName"), kPlatform("platform"), kSnapshot("snapshot");
}

QLatin1StringView rawValue(SyncEnvelopeKind kind)
{
    switch (kind) {
    case SyncEnvelopeKind::hello: return QLatin1StringView("hello");
    case SyncEnvelopeKind::requestLibrary: return QLatin1StringView("requestLibrary");
    case SyncEnvelopeKind::library: return QLatin1StringView("library");
    }
    return {};
}

std::optional<SyncEnvelopeKind> syncEnvelopeKind(QStringView raw)
{
    for (SyncEnvelopeKind k : {SyncEnvelopeKind::hello, SyncEnvelopeKind::requestLibrary, SyncEnvelopeKind::library})
        if (raw == rawValue(k)) return k;
    return std::nullopt;
}

QByteArray encodeEnvelope(const SyncEnvelope& envelope)
{
    JsonWriter w;
    w.beginObject();
    w.field(kKind, rawValue(envelope.kind));
    if (envelope.peerName) w.field(kPeerName, *envelope.peerName);
    w.field(kPlatform, envelope.platform);
    if (envelope.snapshot) {
        w.key(kSnapshot);
        writeJson(w, *envelope.snapshot);
    }
    w.endObject();
    return w.take();
}

namespace SyncEnvelopeDecoding {

SyncEnvelope general(const QByteArray& json)
{
    using namespace TavrinJSON;
    const QJsonObject o = decodeObject(json);
    SyncEnvelope e;
    const QString kind = requireString(o, kKind);
    const auto parsed = syncEnvelopeKind(kind);
    if (!parsed) throw DecodingError(QStringLiteral("Message inconnu : ") + kind);
    e.kind = *parsed;
    e.platform = requireString(o, kPlatform);
    e.peerName = optionalString(o, kPeerName);
    const QJsonValue snapshot = o.value(kSnapshot);
    if (!snapshot.isUndefined() && !snapshot.isNull()) e.snapshot = librarySnapshotFromJson(asObject(snapshot));
    return e;
}

namespace {

// Anything the direct reader leaves to the general path.
struct NotDirect {};
[[noreturn]] void bail() { throw NotDirect{}; }

void mark(unsigned& seen, unsigned bit)
{
    if (seen & bit) bail(); // a repeated key
    seen |= bit;
}

// Hexadecimal digit values, -1 for any other byte: identifiers are most of a library's bytes.
constexpr std::array<qint8, 256> kHex = [] {
    std::array<qint8, 256> table{};
    for (size_t c = 0; c < 256; ++c) table[c] = -1;
    for (int i = 0; i < 10; ++i) table[size_t('0' + i)] = qint8(i);
    for (int i = 0; i < 6; ++i) table[size_t('a' + i)] = table[size_t('A' + i)] = qint8(10 + i);
    return table;
}();

int hexValue(char c) { return kHex[uchar(c)]; }

class DirectReader {
public:
    explicit DirectReader(QByteArrayView json) : m_p(json.data()), m_end(json.data() + json.size()) {}

    SyncEnvelope envelope()
    {
        SyncEnvelope e;
        unsigned seen = 0;
        object([&](QByteArrayView key) {
            if (key == "kind") {
                mark(seen, 1);
                const auto kind = syncEnvelopeKind(string());
                if (!kind) bail();
                e.kind = *kind;
            } else if (key == "platform") {
                mark(seen, 2);
                e.platform = string();
            } else if (key == "peerName") {
                mark(seen, 4);
                if (!null()) e.peerName = string();
            } else if (key == "snapshot") {
                mark(seen, 8);
                if (!null()) e.snapshot = snapshot();
            } else {
                bail();
            }
        });
        if ((seen & 3) != 3) bail();
        whitespace();
        if (m_p != m_end) bail();
        return e;
    }

private:
    void whitespace()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t')) ++m_p;
    }

    void expect(char c)
    {
        whitespace();
        if (m_p >= m_end || *m_p != c) bail();
        ++m_p;
    }

    bool next(char c)
    {
        whitespace();
        if (m_p < m_end && *m_p == c) {
            ++m_p;
            return true;
        }
        return false;
    }

    template <typename F>
    void object(F&& field)
    {
        expect('{');
        if (next('}')) return;
        do {
            expect('"');
            const char* start = m_p;
            while (m_p < m_end && *m_p != '"' && *m_p != '\\' && uchar(*m_p) >= 0x20) ++m_p;
            if (m_p >= m_end || *m_p != '"') bail();
            const QByteArrayView key(start, m_p - start);
            ++m_p;
            expect(':');
            field(key);
        } while (next(','));
        expect('}');
    }

    template <typename F>
    void array(F&& element)
    {
        expect('[');
        if (next(']')) return;
        do element();
        while (next(','));
        expect(']');
    }

    bool null()
    {
        whitespace();
        if (m_end - m_p >= 4 && memcmp(m_p, "null", 4) == 0) {
            m_p += 4;
            return true;
        }
        return false;
    }

    bool boolean()
    {
        whitespace();
        if (m_end - m_p >= 4 && memcmp(m_p, "true", 4) == 0) {
            m_p += 4;
            return true;
        }
        if (m_end - m_p >= 5 && memcmp(m_p, "false", 5) == 0) {
            m_p += 5;
            return false;
        }
        bail();
    }

    // Plain integers only, small enough to be exact as doubles.
    qint64 integer()
    {
        whitespace();
        const bool negative = m_p < m_end && *m_p == '-';
        if (negative) ++m_p;
        const char* start = m_p;
        qint64 value = 0;
        while (m_p < m_end && *m_p >= '0' && *m_p <= '9') {
            if (m_p - start == 15) bail();
            value = value * 10 + (*m_p++ - '0');
        }
        const qsizetype digits = m_p - start;
        if (digits == 0 || (digits > 1 && *start == '0')) bail();
        if (m_p < m_end && (*m_p == '.' || *m_p == 'e' || *m_p == 'E')) bail();
        return negative ? -value : value;
    }

    QString string()
    {
        expect('"');
        const char* start = m_p;
        bool ascii = true;
        while (m_p < m_end && *m_p != '"') {
            const uchar c = uchar(*m_p);
            if (c == '\\') return escapedString(start);
            if (c < 0x20) bail();
            ascii = ascii && c < 0x80;
            ++m_p;
        }
        if (m_p >= m_end) bail();
        const QByteArrayView text(start, m_p - start);
        ++m_p;
        return ascii ? QString::fromLatin1(text) : utf8(text);
    }

    QString escapedString(const char* start)
    {
        QByteArray bytes(start, m_p - start);
        while (m_p < m_end && *m_p != '"') {
            const uchar c = uchar(*m_p++);
            if (c < 0x20) bail();
            if (c != '\\') {
                bytes += char(c);
                continue;
            }
            if (m_p >= m_end) bail();
            switch (*m_p++) {
            case '"': bytes += '"'; break;
            case '\\': bytes += '\\'; break;
            case '/': bytes += '/'; break;
            case 'b': bytes += '\b'; break;
            case 'f': bytes += '\f'; break;
            case 'n': bytes += '\n'; break;
            case 'r': bytes += '\r'; break;
            case 't': bytes += '\t'; break;
            case 'u': {
                if (m_end - m_p < 4) bail();
                char32_t code = 0;
                for (int i = 0; i < 4; ++i) {
                    const int h = hexValue(*m_p++);
                    if (h < 0) bail();
                    code = code * 16 + char32_t(h);
                }
                if (QChar::isSurrogate(code)) bail(); // pairs are left to the general path
                bytes += QString(QChar(char16_t(code))).toUtf8();
                break;
            }
            default: bail();
            }
        }
        if (m_p >= m_end) bail();
        ++m_p;
        return utf8(bytes);
    }

    static QString utf8(QByteArrayView bytes)
    {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString text = decoder(bytes);
        if (decoder.hasError()) bail();
        for (QChar c : text)
            if (c.isNonCharacter()) bail();
        return text;
    }

    QUuid uuid()
    {
        expect('"');
        if (m_end - m_p < 37 || m_p[36] != '"') bail();
        const char* s = m_p;
        if (s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-') bail();
        // Where each of the 16 bytes starts in the hyphenated text.
        static constexpr int starts[16] = {0, 2, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 28, 30, 32, 34};
        char bytes[16];
        int invalid = 0;
        for (int i = 0; i < 16; ++i) {
            const int high = hexValue(s[starts[i]]), low = hexValue(s[starts[i] + 1]);
            invalid |= high | low; // negative once any digit is not hexadecimal
            bytes[i] = char((high << 4) | (low & 0xF));
        }
        if (invalid < 0) bail();
        m_p += 37;
        return QUuid::fromRfc4122(QByteArrayView(bytes, 16));
    }

    QDateTime date()
    {
        const auto d = TavrinJSON::date(string());
        if (!d) bail();
        return *d;
    }

    LibrarySnapshot snapshot()
    {
        LibrarySnapshot s;
        unsigned seen = 0;
        object([&](QByteArrayView key) {
            if (key == "version") mark(seen, 1), s.version = integer();
            else if (key == "updatedAt") mark(seen, 2), s.updatedAt = date();
            else if (key == "days") mark(seen, 4), array([&] { s.days.push_back(day()); });
            else if (key == "spreadsheets") mark(seen, 8), array([&] { s.spreadsheets.push_back(spreadsheet()); });
            else bail();
        });
        if (seen != 15) bail();
        return s;
    }

    DayRecord day()
    {
        DayRecord d;
        unsigned seen = 0;
        object([&](QByteArrayView key) {
            if (key == "id") mark(seen, 1), d.id = uuid();
            else if (key == "name") mark(seen, 2), d.name = string();
            else if (key == "createdAt") mark(seen, 4), d.createdAt = date();
            else if (key == "sortIndex") mark(seen, 8), d.sortIndex = integer();
            else bail();
        });
        if (seen != 15) bail();
        return d;
    }

    SpreadsheetRecord spreadsheet()
    {
        SpreadsheetRecord s;
        unsigned seen = 0;
        object([&](QByteArrayView key) {
            if (key == "id") mark(seen, 1), s.id = uuid();
            else if (key == "dayID") mark(seen, 2), s.dayID = uuid();
            else if (key == "title") mark(seen, 4), s.title = string();
            else if (key == "createdAt") mark(seen, 8), s.createdAt = date();
            else if (key == "updatedAt") mark(seen, 16), s.updatedAt = date();
            else if (key == "isOpen") mark(seen, 32), s.isOpen = boolean();
            else if (key == "rows") mark(seen, 64), array([&] { s.rows.push_back(row()); });
            else bail();
        });
        if (seen != 127) bail();
        return s;
    }

    RowRecord row()
    {
        RowRecord r;
        unsigned seen = 0;
        object([&](QByteArrayView key) {
            if (key == "id") mark(seen, 1), r.id = uuid();
            else if (key == "photoNumber") mark(seen, 2), r.photoNumber = string();
            else if (key == "assignedNumber") mark(seen, 4), r.assignedNumber = string();
            else bail();
        });
        if (seen != 7) bail();
        return r;
    }

    const char* m_p;
    const char* m_end;
};

} // namespace

std::optional<SyncEnvelope> direct(QByteArrayView json)
{
    try {
        return DirectReader(json).envelope();
    } catch (const NotDirect&) {
        return std::nullopt;
    }
}

} // namespace SyncEnvelopeDecoding

SyncEnvelope decodeEnvelope(const QByteArray& json)
{
    if (auto envelope = SyncEnvelopeDecoding::direct(json)) return std::move(*envelope);
    return SyncEnvelopeDecoding::general(json);
}

namespace SyncFraming {

std::optional<QByteArray> frame(const QByteArray& json)
{
    if (quint64(json.size()) >= kFrameLimit) return std::nullopt;
    QByteArray out(4 + json.size(), Qt::Uninitialized);
    qToBigEndian(quint32(json.size()), out.data());
    memcpy(out.data() + 4, json.constData(), size_t(json.size()));
    return out;
}

std::optional<QByteArray> frame(const SyncEnvelope& envelope) { return frame(encodeEnvelope(envelope)); }

} // namespace SyncFraming

} // namespace tavrin
