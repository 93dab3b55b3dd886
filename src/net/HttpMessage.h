#pragma once

// One HTTP request as the server core hands it to a service, and the response the service gives
// back: a body held in memory or streamed in pieces, with a hook told whether the client took
// every byte.

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

namespace tavrin::http {

struct Request {
    QByteArray method;
    QByteArray target;                     // the path as sent, still percent-encoded, without the query
    QList<QPair<QString, QString>> query;  // decoded
    QHash<QByteArray, QByteArray> headers; // names lower-cased
    QList<QPair<QString, QString>> form;   // fields of an url-encoded POST body, decoded
    bool formTruncated = false;            // more fields or longer values than allowed were sent
    bool hasBody = false;
    bool bodyRefused = false;              // a body over the server's limit: never read, the connection ends
    QHostAddress peer;

    QString queryValue(const QString& name) const;
    QStringList formValues(const QString& name) const;
    QString formValue(const QString& name) const;
};

struct Response {
    int status = 200;
    QByteArray contentType;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // A streamed body of `streamSize` bytes: fills `buffer` from `offset`, returns the count, or
    // -1 when the source failed (the connection is then cut, never padded).
    qint64 streamSize = -1;
    std::function<qint64(qint64 offset, char* buffer, qint64 capacity)> stream;
    // Runs once the response is over: true when the whole body was sent and, with
    // `awaitAcknowledgement`, every byte was acknowledged by the client's system.
    std::function<void(bool taken)> finished;
    bool awaitAcknowledgement = false;
    bool close = false;

    void addHeader(const QByteArray& name, const QByteArray& value) { headers.append(qMakePair(name, value)); }
    static Response text(int status, const QByteArray& contentType, const QByteArray& body);
};

} // namespace tavrin::http
