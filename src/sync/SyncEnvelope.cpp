#include "sync/SyncEnvelope.h"

#include "base/JsonWriter.h"
#include "base/TavrinJSON.h"

#include <QtEndian>

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

SyncEnvelope decodeEnvelope(const QByteArray& json)
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
