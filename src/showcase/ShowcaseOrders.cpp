#include "showcase/ShowcaseOrders.h"

#include "base/Error.h"
#include "orders/OrdersStore.h"
#include "organizer/PhotoCopier.h"
#include "programme/FileNameSanitizer.h"
#include "sales/Money.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUuid>

#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tavrin {

namespace {

const QString busy = QStringLiteral("Trop de commandes en peu de temps : réessayez dans une minute.");

// Renames without ever replacing what has the new name (even an empty folder).
bool renameNoReplace(const QString& from, const QString& to)
{
    return ::syscall(SYS_renameat2, AT_FDCWD, QFile::encodeName(from).constData(), AT_FDCWD,
                     QFile::encodeName(to).constData(), RENAME_NOREPLACE) == 0;
}

qint64 freeBytes(const QString& folder)
{
    struct statvfs info{};
    if (::statvfs(QFile::encodeName(folder).constData(), &info) != 0) return -1;
    return qint64(info.f_bavail) * qint64(info.f_frsize);
}

} // namespace

Bill ShowcaseOrders::bill(const PriceList& prices, const QList<Line>& lines)
{
    QStringList formats;
    QHash<QString, QStringList> riders;
    for (const Line& line : lines) {
        if (!riders.contains(line.format)) formats.push_back(line.format);
        riders[line.format].push_back(QFileInfo(line.photoPath).dir().dirName());
    }
    Bill out;
    for (const QString& format : formats) {
        BillLine priced = Pricing::section(prices.find(format), format, riders.value(format));
        out.total += priced.cents;
        out.lines.push_back(std::move(priced));
    }
    return out;
}

ShowcaseOrders::ShowcaseOrders(QString root, Limits limits) : m_root(std::move(root)), m_limits(limits) {}

void ShowcaseOrders::admit(const QHostAddress& from, const QDateTime& now)
{
    QMutexLocker lock(&m_mutex);
    const QDateTime minuteAgo = now.addSecs(-60);
    const auto recent = [&](QList<QDateTime>& times) {
        times.erase(std::remove_if(times.begin(), times.end(), [&](const QDateTime& t) { return t < minuteAgo; }), times.end());
    };
    recent(m_recentAll);
    for (auto it = m_recent.begin(); it != m_recent.end();) {
        recent(*it);
        it = it->isEmpty() ? m_recent.erase(it) : std::next(it);
    }
    QList<QDateTime>& mine = m_recent[from.toString()];
    if (mine.size() >= m_limits.perAddressPerMinute || m_recentAll.size() >= m_limits.perMinute) throw Error(busy);
    mine.append(now);
    m_recentAll.append(now);
}

QString ShowcaseOrders::place(const Order& order, const QDateTime& now)
{
    QString customer = FileNameSanitizer::sanitize(order.name.simplified()).left(80);
    // Sanitising leaves dots: leading ones would hide the order from the orders screen.
    while (!customer.isEmpty() && (customer.front() == u'.' || customer.front().isSpace())) customer.remove(0, 1);
    customer = customer.trimmed();
    if (customer.isEmpty()) throw Error(QStringLiteral("Indiquez votre nom."));
    if (order.lines.isEmpty()) throw Error(QStringLiteral("Cochez au moins une photo."));
    if (order.lines.size() > m_limits.maxLines) throw Error(QStringLiteral("Trop de photos dans une seule commande."));
    qint64 needed = 0;
    for (const Line& line : order.lines) needed += QFileInfo(line.photoPath).size();
    const qint64 available = freeBytes(m_root);
    if (!QFileInfo(m_root).isDir() || available < 0)
        throw Error(QStringLiteral("Le dossier des commandes est introuvable ; prévenez le photographe."));
    if (available - needed < m_limits.keepFreeBytes)
        throw Error(QStringLiteral("Le disque du photographe est plein ; prévenez-le."));
    admit(order.from, now);

    // Built under a hidden name, then given its final name in one step.
    const QString staging = m_root + QStringLiteral("/.tavrin-commande-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (!QDir().mkdir(staging)) throw Error(QStringLiteral("La commande n’a pas pu être enregistrée."));
    const auto discard = [&] { QDir(staging).removeRecursively(); };
    QString list;
    try {
        QHash<QString, QString> sectionOf;
        for (const Line& line : order.lines) {
            QString& section = sectionOf[line.format];
            if (section.isEmpty()) {
                section = staging + u'/' + FileNameSanitizer::sanitize(line.format);
                QDir().mkpath(section);
            }
            PhotoCopier copier(section);
            const QString copied = copier.copy(line.photoPath);
            // Whose photo it is, for whoever prepares the order: the rider's folder and number.
            const QString rider = QFileInfo(line.photoPath).dir().dirName();
            const QString number = riderNumber ? riderNumber(rider) : QString();
            list += line.format + QStringLiteral(" : ") + copied + QStringLiteral(" — ") + rider
                + (number.isEmpty() ? QString() : QStringLiteral(" (n° ") + number + u')') + u'\n';
        }
    } catch (const PhotoCopier::Failure&) {
        discard();
        throw Error(QStringLiteral("La commande n’a pas pu être enregistrée."));
    }
    QString text = QStringLiteral("Nom : %1\nTéléphone : %2\nDate : %3\nPhotos :\n%4")
                       .arg(order.name.simplified(), order.telephone.simplified(),
                            now.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), list);
    if (!prices.sections.isEmpty()) {
        const Bill costs = bill(prices, order.lines);
        text += QStringLiteral("Prix :\n");
        for (const BillLine& line : costs.lines)
            text += line.section + QStringLiteral(" : ") +
                    (line.priced ? line.detail + QStringLiteral(" = ") + Money::text(line.cents) : QStringLiteral("sans tarif")) + u'\n';
        text += QStringLiteral("Total : ") + Money::text(costs.total) + u'\n';
    }
    QFile note(staging + QStringLiteral("/commande.txt"));
    QFile marker(staging + u'/' + NewOrder::markerName());
    if (!note.open(QIODevice::WriteOnly) || note.write(text.toUtf8()) < 0 || !marker.open(QIODevice::WriteOnly)) {
        discard();
        throw Error(QStringLiteral("La commande n’a pas pu être enregistrée."));
    }
    note.close();
    marker.close();

    const QString base = customer + u' ' + now.toString(QStringLiteral("yyyy-MM-dd HH'h'mm"));
    for (int n = 1; n < 1000; ++n) {
        const QString name = n == 1 ? base : base + QStringLiteral(" (%1)").arg(n);
        if (renameNoReplace(staging, m_root + u'/' + name)) return name;
        if (errno != EEXIST && errno != ENOTEMPTY) break;
    }
    discard();
    throw Error(QStringLiteral("La commande n’a pas pu être enregistrée."));
}

} // namespace tavrin
