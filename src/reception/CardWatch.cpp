#include "reception/CardWatch.h"

#include "reception/CardImport.h"

#include <QFile>
#include <QProcess>

#include <fcntl.h>
#include <unistd.h>

namespace tavrin {

CardWatch::CardWatch(QString mountinfo, QObject* parent) : QObject(parent), m_path(std::move(mountinfo))
{
    // A mount that makes its DCIM folder visible a moment after the table changed is caught here.
    m_poll.setInterval(2000);
    connect(&m_poll, &QTimer::timeout, this, &CardWatch::look);
}

CardWatch::~CardWatch()
{
    m_notifier.reset();
    if (m_fd >= 0) ::close(m_fd);
}

void CardWatch::start()
{
    QFile table(m_path);
    if (table.open(QIODevice::ReadOnly))
        for (const QString& point : CardImport::mountPoints(table.readAll())) {
            m_mounted.insert(point);
            if (CardImport::isCard(point)) m_cards.insert(point);
        }
    // The kernel marks the table exceptional (POLLPRI) at every mount and unmount.
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Exception);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, &CardWatch::look);
    }
    m_poll.start();
}

void CardWatch::look()
{
    QFile table(m_path);
    if (!table.open(QIODevice::ReadOnly)) return;
    const QStringList points = CardImport::mountPoints(table.readAll());
    if (m_fd >= 0) {
        // Reading the table to its end re-arms the exceptional condition.
        char buffer[4096];
        ::lseek(m_fd, 0, SEEK_SET);
        while (::read(m_fd, buffer, sizeof buffer) > 0) {
        }
    }
    const QSet<QString> now(points.begin(), points.end());
    for (const QString& point : std::as_const(m_cards))
        if (!now.contains(point)) {
            m_cards.remove(point);
            Q_EMIT cardRemoved(point);
        }
    for (const QString& point : points) {
        if (m_cards.contains(point)) continue;
        if (CardImport::isCard(point)) {
            m_cards.insert(point);
            Q_EMIT cardInserted(point);
        }
    }
    m_mounted = now;
}

bool CardWatch::eject(const QString& mountPoint, QString* problem)
{
    // udisks2's own client: unmount through the daemon (no root needed for the user's own card),
    // then power the reader's slot off so the card can be pulled.
    QProcess findDevice;
    findDevice.start(QStringLiteral("findmnt"), {QStringLiteral("-n"), QStringLiteral("-o"), QStringLiteral("SOURCE"), mountPoint});
    findDevice.waitForFinished(5000);
    const QString device = QString::fromUtf8(findDevice.readAllStandardOutput()).trimmed();
    QProcess unmount;
    unmount.start(QStringLiteral("udisksctl"), {QStringLiteral("unmount"), QStringLiteral("-b"), device});
    if (device.isEmpty() || !unmount.waitForFinished(15000) || unmount.exitStatus() != QProcess::NormalExit || unmount.exitCode() != 0) {
        if (problem)
            *problem = QStringLiteral("La carte n’a pas pu être éjectée : ") +
                       (device.isEmpty() ? QStringLiteral("elle n’est plus montée.") : QString::fromUtf8(unmount.readAllStandardError()).trimmed());
        return false;
    }
    QProcess powerOff;
    powerOff.start(QStringLiteral("udisksctl"), {QStringLiteral("power-off"), QStringLiteral("-b"), device});
    powerOff.waitForFinished(15000);
    return true;
}

} // namespace tavrin
