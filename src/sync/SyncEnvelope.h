#pragma once

// One message of the sync protocol, its JSON form and its length-prefixed frame.

#include "library/LibrarySnapshot.h"

#include <QByteArray>
#include <QLatin1StringView>
#include <QString>

#include <optional>

namespace tavrin {

enum class SyncEnvelopeKind { hello, requestLibrary, library };

QLatin1StringView rawValue(SyncEnvelopeKind kind);
std::optional<SyncEnvelopeKind> syncEnvelopeKind(QStringView raw);

struct SyncEnvelope {
    SyncEnvelopeKind kind = SyncEnvelopeKind::hello;
    QString platform;
    std::optional<LibrarySnapshot> snapshot;
    std::optional<QString> peerName;

    bool operator==(const SyncEnvelope&) const = default;
};

QByteArray encodeEnvelope(const SyncEnvelope& envelope);
// Throws DecodingError: unknown or missing kind, missing platform, invalid snapshot, not JSON.
SyncEnvelope decodeEnvelope(const QByteArray& json);

// decodeEnvelope's two roads. A phone's library may be 8 MB, so a well-formed envelope is read
// straight from its UTF-8 into the records; anything the direct reader does not take exactly
// (escaped keys, unknown keys, fractions, malformed text…) goes through the general JSON path,
// which decides and gives the error message. Both are exposed so they can be checked against
// each other.
namespace SyncEnvelopeDecoding {
std::optional<SyncEnvelope> direct(QByteArrayView json);
SyncEnvelope general(const QByteArray& json);
} // namespace SyncEnvelopeDecoding

namespace SyncFraming {

// A frame announcing this many bytes or more is refused by every receiver.
inline constexpr quint32 kFrameLimit = 8'000'000;
// One read takes at most this much from a connection.
inline constexpr qsizetype kReadChunk = 262'144;

// 4-byte big-endian length, then the JSON. None when the JSON is too long to be accepted.
std::optional<QByteArray> frame(const QByteArray& json);
// Encodes and frames an envelope; none when it cannot be sent.
std::optional<QByteArray> frame(const SyncEnvelope& envelope);

} // namespace SyncFraming

} // namespace tavrin
