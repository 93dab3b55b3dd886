#pragma once

// Hands files over to a customer's phone: a download page on the local network at an address
// holding a random token, shown as a QR code. Only those files are served, read-only; the
// completion runs once every file was fetched in full, and then the service stops.

#include "base/BackgroundJobs.h"
#include "handover/HandOverArchive.h"
#include "net/HttpServer.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <memory>

namespace tavrin {

class HandOverService : public QObject {
    Q_OBJECT
public:
    struct Options {
        QHostAddress address;           // null: the local-network address
        int maxConnections = 24;        // beyond it, new connections wait for a place
        int idleTimeoutMs = 10000;      // a connection where nothing moves for that long is dropped
        int maxHeaderBytes = 8192;
        int thumbnailSize = 320;
        quint16 port = 0;               // 0: any free port; a fixed one suits a firewall rule
        QByteArray token;               // empty: a random one; fixed only for reproducible pictures
    };

    explicit HandOverService(QObject* parent = nullptr);
    ~HandOverService() override;

    void setOptions(const Options& options) { m_options = options; }
    const Options& options() const { return m_options; }

    // Starts serving the files; nothing for an empty list. A second call replaces the files and the
    // completion of the first. Throws Error (French message) when a file cannot be read or the
    // network is not available.
    void send(const QStringList& paths, std::function<void(const QStringList& delivered)> completion = {});
    // Stops serving without running the completion (the dialog was closed).
    void stop();

    bool isRunning() const;
    QUrl url() const;
    QStringList files() const;
    // Files fetched in full so far, in the order given.
    QStringList fetchedFiles() const;
    int fetchedCount() const;
    int connectionCount() const;

Q_SIGNALS:
    void progressChanged();
    void delivered(const QStringList& paths);

private:
    struct File {
        QString path;
        QString name; // unique within the hand-over
        QByteArray mimeType;
        qint64 size = 0;
        QDateTime modified;
        std::optional<quint32> crc;
        QByteArray thumbnail;
        bool prepared = false;
        bool fetched = false;
    };

    struct Body {
        QByteArray contentType;
        QByteArray disposition;
        QList<HandOverArchive::Segment> segments;
        int fetchedIndex = -2; // file index counted when sent in full; -1 the archive; -2 nothing
    };
    enum class Route { notFound, page, file, thumbnail, archive };
    struct Resolved {
        Route route = Route::notFound;
        int index = -1;
    };

    Resolved resolve(const QByteArray& target) const;
    bool isReady(const Resolved& resolved) const;
    Body body(const Resolved& resolved) const;
    QString filePath(int index) const { return m_files.value(index).path; }
    void noteFetched(int index);
    void prepared(int index, std::optional<quint32> crc, const QByteArray& thumbnail);
    // On the connections' threads.
    http::Response handle(const http::Request& request);
    http::Response respond(const QByteArray& target, bool get);
    QByteArray page() const;
    bool archiveAvailable() const;

    Options m_options;
    std::unique_ptr<http::Server> m_server;
    // The token and the files are read by the connections' threads.
    mutable QMutex m_mutex;
    QWaitCondition m_ready; // a file's preparation finished, or the service stops
    bool m_stopping = false;
    QByteArray m_token;
    QList<File> m_files;
    std::function<void(const QStringList&)> m_completion;
    std::atomic<quint64> m_generation{0};
    // Each file's checksum and thumbnail, one job per file; stop() drops them. Last, so that it
    // is gone before what its results touch.
    BackgroundJobs m_preparations;
};

// "3 fichiers", "1 fichier".
QString fileCountText(int count);

} // namespace tavrin
