#include "sync/SyncFrameBuffer.h"

#include "base/Error.h"

#include <QtEndian>

#include <algorithm>

namespace tavrin {

SyncFrameBuffer::Result SyncFrameBuffer::append(QByteArrayView data, const Deliver& deliver)
{
    if (m_refused) return Result::refused;
    while (!data.isEmpty()) {
        if (m_bodyLength < 0) {
            const qsizetype take = std::min<qsizetype>(4 - m_headerSize, data.size());
            memcpy(m_header.data() + m_headerSize, data.data(), size_t(take));
            m_headerSize += take;
            data = data.sliced(take);
            m_highWater = std::max(m_highWater, size());
            if (m_headerSize < 4) break;
            const quint32 length = qFromBigEndian<quint32>(m_header.data());
            if (length >= SyncFraming::kFrameLimit) {
                m_refused = true;
                m_headerSize = 0;
                return Result::refused;
            }
            m_bodyLength = qsizetype(length);
            m_body.clear();
            m_body.reserve(m_bodyLength);
        }
        const qsizetype take = std::min<qsizetype>(m_bodyLength - m_body.size(), data.size());
        m_body.append(data.first(take));
        data = data.sliced(take);
        m_highWater = std::max(m_highWater, size());
        if (m_body.size() < m_bodyLength) break;

        const QByteArray text = std::exchange(m_body, QByteArray());
        m_headerSize = 0;
        m_bodyLength = -1;
        SyncEnvelope envelope;
        try {
            envelope = decodeEnvelope(text);
        } catch (const Error&) {
            continue; // dropped silently; the stream goes on with the next frame
        }
        if (!deliver(std::move(envelope))) return Result::stopped;
    }
    return Result::waiting;
}

} // namespace tavrin
