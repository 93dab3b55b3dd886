#include "reception/FtpServer.h"

#include "base/Error.h"
#include "base/UserDefaults.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QRandomGenerator>

namespace tavrin {

namespace {

const QString loginKey = QStringLiteral("reception.ftpLogin");
const QString passwordKey = QStringLiteral("reception.ftpPassword");

QByteArray launcher()
{
    QFile file(QStringLiteral(":/reception/ftp-launcher.py"));
    if (!file.open(QIODevice::ReadOnly)) throw Error(QStringLiteral("Le serveur FTP de Tavrin est introuvable."));
    return file.readAll();
}

} // namespace

FtpSettings FtpSettings::remembered(UserDefaults& defaults)
{
    FtpSettings settings;
    settings.login = defaults.string(loginKey).value_or(QString());
    settings.password = defaults.string(passwordKey).value_or(QString());
    if (settings.login.isEmpty()) {
        settings.login = QStringLiteral("tavrin");
        defaults.setString(loginKey, settings.login);
    }
    if (settings.password.isEmpty()) {
        // Typed on a camera's keypad: four digits are what a photographer tolerates there.
        settings.password = QString::number(1000 + QRandomGenerator::system()->bounded(9000));
        defaults.setString(passwordKey, settings.password);
    }
    defaults.synchronize();
    return settings;
}

FtpServer::FtpServer(QObject* parent) : QObject(parent)
{
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &FtpServer::readEvents);
    connect(&m_process, &QProcess::finished, this, [this] {
        const bool wasRunning = m_port != 0;
        m_port = 0;
        if (!m_stopping && wasRunning)
            Q_EMIT failed(QStringLiteral("Le serveur FTP s’est arrêté : ") + QString::fromUtf8(m_process.readAllStandardError()).trimmed());
    });
}

FtpServer::~FtpServer()
{
    stop();
}

void FtpServer::start(const QString& folder, const FtpSettings& settings)
{
    stop();
    if (!QDir(folder).exists()) throw Error(QStringLiteral("Le dossier de réception « ") + folder + QStringLiteral(" » n’existe pas."));
    if (settings.login.isEmpty() || settings.password.isEmpty())
        throw Error(QStringLiteral("Choisissez un identifiant et un mot de passe pour les appareils."));
    QJsonObject json{{QStringLiteral("folder"), QDir(folder).absolutePath()},
                     {QStringLiteral("login"), settings.login},
                     {QStringLiteral("password"), settings.password},
                     {QStringLiteral("port"), int(settings.port)},
                     {QStringLiteral("idleSeconds"), settings.idleSeconds},
                     {QStringLiteral("maxConnections"), settings.maxConnections},
                     {QStringLiteral("maxPerAddress"), settings.maxPerAddress}};
    if (!settings.address.isNull()) json.insert(QStringLiteral("address"), settings.address.toString());
    if (settings.port != 0 && settings.passivePorts > 0) {
        json.insert(QStringLiteral("passiveFirst"), int(settings.port) + 1);
        json.insert(QStringLiteral("passiveLast"), int(settings.port) + settings.passivePorts);
    }

    m_stopping = false;
    m_pending.clear();
    // The launcher comes on the command line and the settings (the password) on standard input,
    // where no other user's process list shows them.
    m_process.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(launcher())});
    if (!m_process.waitForStarted(5000)) throw Error(QStringLiteral("Le serveur FTP n’a pas pu démarrer (python3 manque)."));
    m_process.write(QJsonDocument(json).toJson(QJsonDocument::Compact) + '\n');
    m_process.closeWriteChannel();

    const QDeadlineTimer deadline(10000);
    while (m_port == 0 && m_process.state() == QProcess::Running && !deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(int(deadline.remainingTime()))) break;
        // readyRead also reaches readEvents, which parses whatever this loop leaves.
        readEvents();
    }
    if (m_port == 0) {
        const QString reason = QString::fromUtf8(m_process.readAllStandardError());
        m_stopping = true;
        m_process.kill();
        m_process.waitForFinished(2000);
        if (reason.contains(QLatin1StringView("Address already in use")))
            throw Error(QStringLiteral("Le port %1 est déjà pris : choisissez-en un autre.").arg(settings.port));
        if (reason.contains(QLatin1StringView("pyftpdlib")))
            throw Error(QStringLiteral("Le serveur FTP manque : installez le paquet python3-pyftpdlib."));
        throw Error(QStringLiteral("Le serveur FTP n’a pas pu démarrer : ") + reason.trimmed().section(QLatin1Char('\n'), -1));
    }
}

void FtpServer::stop()
{
    if (m_process.state() == QProcess::NotRunning) return;
    m_stopping = true;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    // Events printed before the end still count: a file that ended just now is kept.
    readEvents();
    m_port = 0;
}

void FtpServer::readEvents()
{
    m_pending += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        if (const quint16 port = handle(line)) m_port = port;
    }
}

quint16 FtpServer::handle(const QByteArray& line)
{
    const QJsonObject event = QJsonDocument::fromJson(line).object();
    const QString kind = event.value(QLatin1StringView("event")).toString();
    const QString address = event.value(QLatin1StringView("address")).toString();
    const QString path = event.value(QLatin1StringView("path")).toString();
    if (kind == u"ready") return quint16(event.value(QLatin1StringView("port")).toInt());
    if (kind == u"login") Q_EMIT loggedIn(address);
    else if (kind == u"refused") Q_EMIT refused(address);
    else if (kind == u"received") Q_EMIT received(path, address);
    else if (kind == u"incomplete") Q_EMIT incomplete(path, address);
    return 0;
}

QHostAddress FtpServer::localNetworkAddress()
{
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        const auto flags = interface.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning) || (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol) return entry.ip();
    }
    return QHostAddress(QHostAddress::LocalHost);
}

} // namespace tavrin
