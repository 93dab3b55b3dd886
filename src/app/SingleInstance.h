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
    enum class Launch { running, handedOver, noAnswer };

    // `dataFolder` is the folder the stores use, so launches on other data folders (tests, a
    // second library) run side by side.
    explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

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

    // What a launch does: hand `paths` to the running instance, or become it (listening). Of
    // launches made at the same instant exactly one becomes it: the one holding the launch lock,
    // which it keeps for its life; the others wait for it to listen and hand over.
    Launch launch(const QStringList& paths, int timeoutMs = 20000);

Q_SIGNALS:
    void filesReceived(const QStringList& paths);

private:
    void accept();

    bool holdLaunchLock();

    QString m_name;
    QLocalServer m_server;
    int m_lockFd = -1;
};

} // namespace tavrin
