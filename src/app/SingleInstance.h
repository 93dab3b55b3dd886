#pragma once

#include <QLocalServer>
#include <QObject>
#include <QStringList>

namespace tavrin {

// One running Tavrin per user and data folder. A later launch hands its files to the running
// instance through a local socket and exits; the running one receives them with filesReceived.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class HandOver { accepted, noInstance, noAnswer };

    // `dataFolder` is the folder the stores use, so launches on other data folders (tests, a
    // second library) run side by side.
    explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);

    // The socket: in $XDG_RUNTIME_DIR when set, else the temporary folder; named after the user
    // id and a digest of the data folder's absolute path.
    static QString serverName(const QString& dataFolder);
    const QString& serverName() const { return m_name; }

    // Sends absolute `paths` (possibly none: the running window then comes forward) to the
    // running instance and waits for its acknowledgement.
    HandOver handOver(const QStringList& paths, int timeoutMs = 5000);
    // Starts answering later launches; a socket left behind by a crashed instance is removed
    // first (call it only after handOver found no instance).
    bool listen();

Q_SIGNALS:
    void filesReceived(const QStringList& paths);

private:
    void accept();

    QString m_name;
    QLocalServer m_server;
};

} // namespace tavrin
