#pragma once

// The cameras' FTP server: a Debian FTP server (pyftpdlib) run as Tavrin's own unprivileged child,
// with one user allowed to upload into the reception folder and nothing else. It tells, one event
// at a time, when a camera logs in and when a file ended complete or cut.

#include <QHostAddress>
#include <QObject>
#include <QProcess>
#include <QString>

namespace tavrin {

class UserDefaults;

struct FtpSettings {
    quint16 port = 2121; // 0: any free port (tests)
    QString login;
    QString password;
    // Listening address; null: every interface.
    QHostAddress address;
    // The passive data ports: port+1 … port+passivePorts (none when port is 0: the system's).
    int passivePorts = 20;
    int idleSeconds = 120;
    int maxConnections = 64;
    int maxPerAddress = 16;

    // The login and password kept in the user defaults, chosen once (« tavrin », four digits).
    static FtpSettings remembered(UserDefaults& defaults);
};

class FtpServer : public QObject {
    Q_OBJECT

public:
    explicit FtpServer(QObject* parent = nullptr);
    ~FtpServer() override;

    // Starts serving `folder` and waits until the server listens; throws Error with the French
    // reason when it cannot (port taken, server missing).
    void start(const QString& folder, const FtpSettings& settings);
    void stop();
    bool isRunning() const { return m_process.state() == QProcess::Running && m_port != 0; }
    // The port listened on (the chosen one when 0 was asked).
    quint16 port() const { return m_port; }

    // The local-network address a camera should type: the first IPv4 address of an interface that
    // is up and not the loopback; 127.0.0.1 without one.
    static QHostAddress localNetworkAddress();

Q_SIGNALS:
    void loggedIn(const QString& address);
    void refused(const QString& address);
    // A file whose upload ended: `path` is relative to the folder.
    void received(const QString& path, const QString& address);
    // A file whose upload was cut: left as it is until resumed.
    void incomplete(const QString& path, const QString& address);
    // The server stopped without being asked to.
    void failed(const QString& message);

private:
    void readEvents();
    // Handles one line; returns the port of a "ready" line, else 0.
    quint16 handle(const QByteArray& line);

    QProcess m_process;
    QByteArray m_pending;
    quint16 m_port = 0;
    bool m_stopping = false;
};

} // namespace tavrin
