#include "net/HttpConnection.h"

#include "net/HttpRoute.h"

#include <QThread>

#include <cstring>
#include <memory>

#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavrin::http::connection {

namespace {

struct Exchange;

struct FormSink {
    Exchange* exchange = nullptr;
    const Server::Options* options = nullptr;
};

// What one request gathers across libmicrohttpd's calls, and what its response must report.
struct Exchange {
    Request request;
    MHD_PostProcessor* post = nullptr;
    qint64 bodyBytes = 0;
    bool bodyDropped = false;
    std::function<void(bool)> finished;
    bool awaitAcknowledgement = false;
    FormSink sink;
    QList<QPair<QByteArray, QByteArray>> fields; // as received, decoded once complete
    bool skipping = false;

    ~Exchange()
    {
        if (post) MHD_destroy_post_processor(post);
    }
};

struct Stream {
    std::function<qint64(qint64, char*, qint64)> read;
};

ssize_t readStream(void* cls, uint64_t pos, char* buffer, size_t max)
{
    const qint64 count = static_cast<Stream*>(cls)->read(qint64(pos), buffer, qint64(max));
    if (count <= 0) return MHD_CONTENT_READER_END_WITH_ERROR;
    return ssize_t(count);
}

void freeStream(void* cls) { delete static_cast<Stream*>(cls); }

MHD_Result collectHeader(void* cls, MHD_ValueKind, const char* key, const char* value)
{
    static_cast<Request*>(cls)->headers.insert(QByteArray(key).toLower(), QByteArray(value ? value : ""));
    return MHD_YES;
}

MHD_Result collectField(void* cls, MHD_ValueKind, const char* key, const char*, const char*, const char*,
                        const char* data, uint64_t offset, size_t size)
{
    auto* sink = static_cast<FormSink*>(cls);
    Exchange& exchange = *sink->exchange;
    // The processor hands a value in pieces; the first piece opens a new field.
    if (offset == 0) {
        if (exchange.fields.size() >= sink->options->maxFormFields) {
            exchange.request.formTruncated = true;
            exchange.skipping = true;
            return MHD_YES;
        }
        exchange.skipping = false;
        exchange.fields.append({QByteArray(key), QByteArray()});
    }
    if (exchange.skipping || exchange.fields.isEmpty()) return MHD_YES;
    QByteArray& value = exchange.fields.last().second;
    const qsizetype room = sink->options->maxFieldBytes - value.size();
    if (qsizetype(size) > room) exchange.request.formTruncated = true;
    value.append(data, std::min<qsizetype>(qsizetype(size), std::max<qsizetype>(0, room)));
    return MHD_YES;
}

QHostAddress peerOf(MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (!info || !info->client_addr) return {};
    return QHostAddress(info->client_addr);
}

MHD_Result queue(MHD_Connection* connection, Exchange* exchange, Response response, bool forceClose)
{
    MHD_Response* reply = nullptr;
    if (response.stream && response.streamSize >= 0) {
        auto* stream = new Stream{std::move(response.stream)};
        reply = MHD_create_response_from_callback(uint64_t(response.streamSize), 64 * 1024, readStream, stream, freeStream);
        if (!reply) delete stream;
    } else {
        reply = MHD_create_response_from_buffer(size_t(response.body.size()), response.body.data(), MHD_RESPMEM_MUST_COPY);
    }
    if (!reply) return MHD_NO;
    if (!response.contentType.isEmpty()) MHD_add_response_header(reply, "Content-Type", response.contentType.constData());
    for (const auto& [name, value] : response.headers) MHD_add_response_header(reply, name.constData(), value.constData());
    if (response.close || forceClose) MHD_add_response_header(reply, "Connection", "close");
    exchange->finished = std::move(response.finished);
    exchange->awaitAcknowledgement = response.awaitAcknowledgement;
    const MHD_Result result = MHD_queue_response(connection, unsigned(response.status), reply);
    MHD_destroy_response(reply);
    return result;
}

// Bytes sent and not yet acknowledged by the client; -1 when the connection was reset, which
// empties the queue without the bytes having arrived.
int unacknowledged(int fd)
{
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return -1;
    if (info.tcpi_state == TCP_CLOSE || info.tcpi_state == TCP_LISTEN || info.tcpi_state == TCP_SYN_SENT ||
        info.tcpi_state == TCP_SYN_RECV)
        return -1;
    int pending = 0;
    if (ioctl(fd, SIOCOUTQ, &pending) != 0) return -1;
    return pending;
}

// Waits until the client acknowledged every byte; false on a reset, a stall or a stop.
bool awaitAcknowledged(const Server::Context& context, MHD_Connection* connection)
{
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    if (!info) return false;
    const int fd = ::dup(info->connect_fd);
    if (fd < 0) return false;
    int last = -1;
    int stalledMs = 0;
    bool taken = false;
    while (!context.server->stopping()) {
        const int pending = unacknowledged(fd);
        if (pending <= 0) {
            taken = pending == 0;
            break;
        }
        if (pending != last) stalledMs = 0;
        last = pending;
        if (stalledMs >= context.options->timeoutSeconds * 1000) break;
        QThread::msleep(10);
        stalledMs += 10;
    }
    ::close(fd);
    return taken;
}

} // namespace

size_t keepEscaped(void*, MHD_Connection*, char* text) { return std::strlen(text); }

MHD_Result access(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                  const char* uploadData, size_t* uploadDataSize, void** requestContext)
{
    const auto& context = *static_cast<Server::Context*>(cls);
    auto* exchange = static_cast<Exchange*>(*requestContext);
    if (!exchange) {
        exchange = new Exchange;
        *requestContext = exchange;
        Request& request = exchange->request;
        request.method = method;
        request.target = url;
        request.peer = peerOf(connection);
        MHD_get_connection_values(connection, MHD_HEADER_KIND, collectHeader, &request);
        // The query as sent (escaping kept), read again from the pieces libmicrohttpd split.
        MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, [](void* cls, MHD_ValueKind, const char* key, const char* value) {
            static_cast<Request*>(cls)->query.append({decode(key, true), decode(value ? value : "", true)});
            return MHD_YES;
        }, &request);
        const QByteArray length = request.headers.value("content-length");
        const bool chunked = request.headers.contains("transfer-encoding");
        request.hasBody = chunked || (!length.isEmpty() && length != "0");
        if (request.hasBody) {
            bool ok = false;
            const qint64 declared = length.toLongLong(&ok);
            if ((!chunked && (!ok || declared > context.options->maxBodyBytes)) || context.options->maxBodyBytes <= 0) {
                // Never read: answered at once, then the connection ends.
                request.bodyRefused = true;
                return queue(connection, exchange, (*context.handler)(request), true);
            }
            exchange->sink = {exchange, context.options};
            exchange->post = MHD_create_post_processor(connection, 4096, collectField, &exchange->sink);
        }
        return MHD_YES;
    }
    if (*uploadDataSize > 0) {
        exchange->bodyBytes += qint64(*uploadDataSize);
        if (exchange->bodyBytes > context.options->maxBodyBytes) exchange->bodyDropped = true;
        else if (exchange->post) MHD_post_process(exchange->post, uploadData, *uploadDataSize);
        *uploadDataSize = 0;
        return MHD_YES;
    }
    if (exchange->bodyDropped) exchange->request.bodyRefused = true;
    else if (exchange->post) MHD_post_process(exchange->post, nullptr, 0);
    for (const auto& [key, value] : exchange->fields)
        exchange->request.form.append({QString::fromUtf8(key), QString::fromUtf8(value)});
    return queue(connection, exchange, (*context.handler)(exchange->request), exchange->bodyDropped);
}

void completed(void* cls, MHD_Connection* connection, void** requestContext, MHD_RequestTerminationCode code)
{
    const auto& context = *static_cast<Server::Context*>(cls);
    std::unique_ptr<Exchange> exchange(static_cast<Exchange*>(*requestContext));
    *requestContext = nullptr;
    if (!exchange) return;
    if (!exchange->finished) return;
    bool taken = code == MHD_REQUEST_TERMINATED_COMPLETED_OK;
    if (taken && exchange->awaitAcknowledgement) taken = awaitAcknowledged(context, connection);
    exchange->finished(taken);
}

} // namespace tavrin::http::connection
