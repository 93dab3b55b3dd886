#pragma once

#include "sync/AvahiDiscovery.h"
#include "sync/SyncFrameBuffer.h"

#include <QObject>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

namespace tavrin {

// A stand-in for the companion phone app: it advertises itself, accepts and dials links to
// desktops, and answers "hello" and "requestLibrary" with the library of a JSON file. It can be
// told to misbehave so the desktop's defences can be tried.
class PhonePeer : public QObject {
    Q_OBJECT

public:
    struct Options {
        QString role;        // "ios" or "android"
        QString name;        // advertised device name
        QString libraryFile; // LibrarySnapshot JSON; an empty library when none
        quint16 port = 0;
        bool advertise = true;
        bool dial = true;
        std::optional<std::pair<QString, quint16>> connectTo; // a desktop to dial without DNS-SD
        // Misbehaviour, on every link.
        int garbageFrames = 0;      // random or malformed frames before the greeting
        bool oversized = false;     // announce a frame over the limit and keep streaming its body
        int splitWrites = 0;        // write frames in pieces of this many bytes, one per millisecond
        bool disconnectMidFrame = false; // send half of the library frame, then drop the connection
        bool slowReads = false;     // read one byte every 20 ms
        quint32 seed = 1;
    };

    explicit PhonePeer(Options options, QObject* parent = nullptr);
    ~PhonePeer() override;

    // Starts listening (and advertising, browsing, dialling as asked). False with a message when
    // the port cannot be opened or the library file cannot be read.
    bool start(QString& error);

private:
    struct Link {
        QTcpSocket* socket = nullptr;
        SyncFrameBuffer buffer;
        QString desktop; // the desktop's name once it said it
        QByteArray pending; // bytes waiting for split writes
        QTimer* writer = nullptr;
        QTimer* reader = nullptr;
        qint64 flood = 0; // body bytes still to stream after an oversized header
    };
    using LinkPtr = std::shared_ptr<Link>;

    void accept();
    void dial(const QString& desktop, const QHostAddress& address, quint16 port);
    void attach(QTcpSocket* socket, const QString& desktop, bool dialled);
    void ready(const LinkPtr& link);
    void read(const LinkPtr& link, qint64 max);
    void handle(const LinkPtr& link, const SyncEnvelope& envelope);
    void write(const LinkPtr& link, const QByteArray& bytes);
    void sendEnvelope(const LinkPtr& link, const SyncEnvelope& envelope);
    void sendGarbage(const LinkPtr& link);
    void sendLibrary(const LinkPtr& link);
    void closed(const LinkPtr& link);
    void onResults(const QList<BrowseResult>& results);
    bool linkedTo(const QString& desktop) const;
    std::optional<QByteArray> libraryFrame(QString* error = nullptr) const;
    static void say(const QString& line);

    Options m_options;
    QTcpServer m_server;
    std::unique_ptr<AvahiDiscovery> m_discovery;
    std::vector<LinkPtr> m_links;
    QList<BrowseResult> m_desktops;
    QRandomGenerator m_random;
};

} // namespace tavrin
