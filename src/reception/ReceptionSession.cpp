#include "reception/ReceptionSession.h"

#include "organizer/PhotoFile.h"
#include "reception/VerifiedCopy.h"
#include "rounds/CaptureTimes.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <cstring>

namespace tavrin {

namespace {

QString photosText(qint64 n)
{
    return QLocale(QLocale::French).toString(n) + (n > 1 ? QStringLiteral(" photos") : QStringLiteral(" photo"));
}

QString stem(const QString& relativePath)
{
    const qsizetype dot = relativePath.lastIndexOf(QLatin1Char('.'));
    const qsizetype slash = relativePath.lastIndexOf(QLatin1Char('/'));
    return dot > slash ? relativePath.left(dot) : relativePath;
}

} // namespace

ReceptionSession::ReceptionSession(QString folder, QString backupFolder, QObject* parent)
    : QObject(parent), m_folder(QDir(folder).absolutePath()),
      m_backupFolder(backupFolder.isEmpty() ? QString() : QDir(backupFolder).absolutePath())
{
    // Two photos at a time: one waits for its backup copy to reach the disk while the other is
    // copied or read back (a card import runs at ~1.5× two plain copies instead of ~2×).
    m_pool.setMaxThreadCount(2);
    m_catchUp.setInterval(catchUpMs);
    connect(&m_catchUp, &QTimer::timeout, this, &ReceptionSession::catchUp);
}

ReceptionSession::~ReceptionSession()
{
    m_pool.waitForDone();
}

void ReceptionSession::start()
{
    QDirIterator it(m_folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(m_folder).relativeFilePath(path);
        if (relative.startsWith(QLatin1Char('.')) || relative.contains(QStringLiteral("/.")) || !PhotoFile::isPhoto(relative)) continue;
        m_files.insert(relative);
        // A file under its own name in the backup was verified before it took that name.
        const QFileInfo copy(QDir(m_backupFolder).filePath(relative));
        if (!m_backupFolder.isEmpty() && copy.exists() && copy.size() == it.fileInfo().size()) m_backedUp.insert(relative);
    }
    if (!m_backupFolder.isEmpty()) {
        catchUp();
        m_catchUp.start();
    }
    Q_EMIT changed();
}

void ReceptionSession::setClasses(QList<ShotClass> classes)
{
    std::sort(classes.begin(), classes.end(), [](const ShotClass& a, const ShotClass& b) { return a.since < b.since; });
    const QMutexLocker locker(&m_classesLock);
    m_classes = std::move(classes);
}

std::optional<ShotClass> ReceptionSession::classAt(const QDateTime& time) const
{
    const QMutexLocker locker(&m_classesLock);
    std::optional<ShotClass> found;
    for (const ShotClass& shot : m_classes)
        if (shot.since <= time) found = shot;
    return found;
}

void ReceptionSession::take(const QString& relativePath, const QString& origin)
{
    const QString relative = QDir::cleanPath(relativePath);
    if (relative.startsWith(QStringLiteral("..")) || QDir::isAbsolutePath(relative) || !PhotoFile::isPhoto(relative)) return;
    enqueue({relative, origin, QDateTime::currentDateTimeUtc(), false});
}

void ReceptionSession::enqueue(Job job)
{
    if (!m_backupFolder.isEmpty()) m_queued.insert(job.relativePath);
    m_pool.start([this, job] {
        Outcome outcome = run(job);
        QMetaObject::invokeMethod(this, [this, outcome] { apply(outcome); }, Qt::QueuedConnection);
    });
}

ReceptionSession::Outcome ReceptionSession::run(const Job& job) const
{
    Outcome outcome{job, true, {}, 0};
    LandedPhoto& photo = outcome.photo;
    photo.relativePath = job.relativePath;
    photo.origin = job.origin;
    const QString path = QDir(m_folder).filePath(job.relativePath);
    if (!VerifiedCopy::looksComplete(path)) {
        outcome.whole = false;
        return outcome;
    }
    if (!job.backupOnly) {
        const std::optional<QDateTime> exif = CaptureTimes::exifTime(path);
        photo.capture = exif ? *exif : job.arrived;
        photo.captureFromExif = exif.has_value();
        if (const std::optional<ShotClass> shot = classAt(photo.capture)) {
            photo.classTitle = shot->title;
            if (shot->folder.isEmpty()) {
                photo.problem = QStringLiteral("« ") + shot->title + QStringLiteral(" » n’a pas de dossier source : la photo reste dans le dossier de réception");
            } else if (QDir(shot->folder).absolutePath() != QFileInfo(path).absolutePath()) {
                const VerifiedCopy::Result r = VerifiedCopy::copy(path, shot->folder, QFileInfo(path).fileName(), nullptr);
                if (r.outcome == VerifiedCopy::Outcome::failed)
                    photo.problem = r.error == EEXIST ? QString(QStringLiteral("une autre photo porte ce nom dans « ") + shot->title + QStringLiteral(" »"))
                                                      : QStringLiteral("copie dans « ") + shot->title + QStringLiteral(" » impossible : ") +
                                                            QString::fromLocal8Bit(std::strerror(r.error));
            }
        }
    }
    if (!m_backupFolder.isEmpty()) {
        try {
            const quint64 hash = VerifiedCopy::hashFile(path);
            const VerifiedCopy::Result r = VerifiedCopy::copy(path, m_backupFolder, job.relativePath, &hash);
            photo.backedUp = r.outcome != VerifiedCopy::Outcome::failed;
            outcome.backupError = r.error;
        } catch (const std::exception&) {
            outcome.backupError = EIO;
        }
    }
    return outcome;
}

void ReceptionSession::apply(const Outcome& outcome)
{
    const QString& relative = outcome.job.relativePath;
    m_queued.remove(relative);
    if (!outcome.whole) {
        if (!outcome.job.backupOnly) Q_EMIT notWhole(relative, outcome.job.origin);
        Q_EMIT changed();
        return;
    }
    m_files.insert(relative);
    if (outcome.photo.backedUp) m_backedUp.insert(relative);
    m_backupError = outcome.backupError;
    if (!outcome.job.backupOnly) {
        ++m_receivedCount;
        if (!outcome.photo.classTitle) ++m_unclassed;
        if (!outcome.job.origin.isEmpty() && outcome.job.origin.front().isDigit())
            m_cameras.add(outcome.job.origin, relative, outcome.job.arrived);
        Q_EMIT landed(outcome.photo);
    }
    Q_EMIT changed();
}

void ReceptionSession::catchUp()
{
    if (m_backupFolder.isEmpty()) return;
    // An absent disk: nothing to try until its folder is back.
    if (!QFileInfo(m_backupFolder).isDir()) {
        if (m_backupError != ENOENT) {
            m_backupError = ENOENT;
            Q_EMIT changed();
        }
        return;
    }
    QStringList waiting;
    for (const QString& relative : std::as_const(m_files))
        if (!m_backedUp.contains(relative) && !m_queued.contains(relative)) waiting.append(relative);
    std::sort(waiting.begin(), waiting.end());
    for (const QString& relative : waiting) enqueue({relative, QString(), QDateTime::currentDateTimeUtc(), true});
}

void ReceptionSession::finish()
{
    m_pool.waitForDone();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

qint64 ReceptionSession::stemCount(const QSet<QString>& paths)
{
    QSet<QString> stems;
    for (const QString& path : paths) stems.insert(stem(path));
    return stems.size();
}

qint64 ReceptionSession::photoCount() const
{
    return stemCount(m_files);
}

qint64 ReceptionSession::backedUpCount() const
{
    // A pair counts as saved once both its files are.
    QSet<QString> pending;
    for (const QString& path : m_files)
        if (!m_backedUp.contains(path)) pending.insert(stem(path));
    QSet<QString> all;
    for (const QString& path : m_files) all.insert(stem(path));
    return all.size() - pending.size();
}

bool ReceptionSession::backupWarning() const
{
    return m_backupFolder.isEmpty() || (notBackedUpCount() > 0 && m_backupError != 0);
}

QString ReceptionSession::backupLine() const
{
    const qint64 single = notBackedUpCount();
    const QString onlyOne = photosText(single) + (single > 1 ? QStringLiteral(" n’ont qu’une copie") : QStringLiteral(" n’a qu’une copie"));
    if (m_backupFolder.isEmpty()) return photosText(photoCount()) + QStringLiteral(" · aucun dossier de sauvegarde");
    if (single > 0 && m_backupError == ENOENT) return QStringLiteral("Disque de sauvegarde absent : ") + onlyOne;
    if (single > 0 && m_backupError == ENOSPC) return QStringLiteral("Disque de sauvegarde plein : ") + onlyOne;
    if (single > 0 && m_backupError != 0)
        return QStringLiteral("Sauvegarde impossible (") + QString::fromLocal8Bit(std::strerror(m_backupError)) + QStringLiteral(") : ") + onlyOne;
    QString line = photosText(photoCount()) + QStringLiteral(" · 2 copies vérifiées");
    if (single > 0) line = photosText(photoCount()) + QStringLiteral(" · ") + QLocale(QLocale::French).toString(single) + QStringLiteral(" en cours de copie");
    return line;
}

} // namespace tavrin
