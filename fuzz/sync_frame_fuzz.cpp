// A connection's byte stream as a phone (or anyone on the network) may send it: the receive
// buffer's frame loop and envelope decoding must neither crash nor hold more than one frame, and
// the direct envelope reader must agree with the general JSON path on every text it accepts.
#include "base/Error.h"
#include "sync/SyncFrameBuffer.h"

#include <QtEndian>

#include <cstdint>
#include <cstdlib>

using namespace tavrin;

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

void compareDecoders(const QByteArray& json)
{
    const std::optional<SyncEnvelope> direct = SyncEnvelopeDecoding::direct(json);
    try {
        const SyncEnvelope general = SyncEnvelopeDecoding::general(json);
        if (direct) check(*direct == general);
    } catch (const DecodingError&) {
        check(!direct); // the direct reader never accepts what the general path refuses
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    // The first byte picks the read sizes: from 1 byte to a whole 256 KiB read.
    const qsizetype step = data[0] == 0 ? SyncFraming::kReadChunk : qsizetype(data[0]);
    const QByteArray stream(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    SyncFrameBuffer buffer;
    qsizetype delivered = 0;
    for (qsizetype at = 0; at < stream.size(); at += step) {
        const auto result = buffer.append(QByteArrayView(stream).sliced(at, std::min(step, stream.size() - at)), [&](SyncEnvelope&& e) {
            check(e.kind == SyncEnvelopeKind::hello || e.kind == SyncEnvelopeKind::requestLibrary ||
                  e.kind == SyncEnvelopeKind::library);
            ++delivered;
            return true;
        });
        check(buffer.size() < 4 + qsizetype(SyncFraming::kFrameLimit));
        if (result == SyncFrameBuffer::Result::refused) {
            check(buffer.size() == 0);
            break;
        }
    }
    check(buffer.highWater() <= stream.size());

    // The same bytes as one message text, through both decoders.
    compareDecoders(stream);
    if (stream.size() >= 4) {
        const quint32 n = qFromBigEndian<quint32>(stream.constData());
        if (n <= quint32(stream.size() - 4)) compareDecoders(stream.mid(4, n));
    }
    return 0;
}
