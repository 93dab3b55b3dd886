#pragma once

#include "sync/SyncEnvelope.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <functional>

namespace tavrin {

// The receive buffer of one connection. Bytes are appended as they arrive; every complete frame
// is decoded and handed over in order, undecodable ones are dropped. A header announcing a frame
// over the limit is refused before any byte of its body is kept, and the buffer then takes nothing
// more: it never holds more than one accepted frame.
class SyncFrameBuffer {
public:
    enum class Result {
        waiting, // every complete frame was handled; the rest waits for more bytes
        stopped, // the handler asked to stop (its link went away)
        refused, // a frame over the limit was announced; the connection must be closed
    };

    // `deliver` returns false to stop at once (bytes after that frame are discarded).
    using Deliver = std::function<bool(SyncEnvelope&& envelope)>;
    Result append(QByteArrayView data, const Deliver& deliver);

    // Bytes held: a partial header or a partial frame.
    qsizetype size() const { return m_headerSize + m_body.size(); }
    qsizetype highWater() const { return m_highWater; }

private:
    std::array<char, 4> m_header{};
    qsizetype m_headerSize = 0;
    QByteArray m_body;
    qsizetype m_bodyLength = -1; // known once the header is complete
    qsizetype m_highWater = 0;
    bool m_refused = false;
};

} // namespace tavrin
