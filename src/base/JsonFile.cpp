#include "base/JsonFile.h"

#include "base/DataFileNotices.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSaveFile>
#include <QTimer>

#include <cstdio>

#include <sys/stat.h>

namespace tavrin {

bool writeFileAtomically(const QString& path, const QByteArray& data)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    // commit() flushes, fsyncs and renames over the old file.
    return file.commit();
}

void followFolderOf(const QString& path, QObject* owner, std::function<void()> changed)
{
    // A write is several events (temporary file, rename); the folder is looked at once after them.
    auto* settle = new QTimer(owner);
    settle->setSingleShot(true);
    settle->setInterval(50);
    QObject::connect(settle, &QTimer::timeout, owner, std::move(changed));
    auto* watcher = new QFileSystemWatcher({QFileInfo(path).absolutePath()}, owner);
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, settle, qOverload<>(&QTimer::start));
}

namespace {

JsonFile::Version versionFrom(const struct stat& st)
{
    return {true, quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

} // namespace

JsonFile::Version JsonFile::versionOf(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0) return {};
    return versionFrom(st);
}

JsonFile::Version JsonFile::versionOnDisk() const
{
    struct stat st {};
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0) return {};
    return versionFrom(st);
}

DataFolderLock JsonFile::lock() const { return DataFolderLock(QFileInfo(m_path).absolutePath()); }

bool JsonFile::changedOnDisk() const { return versionOnDisk() != m_known; }

std::optional<QByteArray> JsonFile::readAll()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_known = versionOnDisk();
        m_unreadableOnDisk = m_known.exists;
        m_tooLarge = false;
        return std::nullopt;
    }
    // The version of the very bytes read, not of whatever replaces them meanwhile.
    m_known = versionOf(file.handle());
    m_tooLarge = m_known.size > maxSize;
    if (m_tooLarge) {
        m_unreadableOnDisk = true;
        return std::nullopt;
    }
    return file.readAll();
}

bool JsonFile::setAsideUnreadable()
{
    if (!QFile::exists(m_path)) return true;
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString target = m_path + QStringLiteral(".unreadable-") + stamp;
    for (int n = 2; QFile::exists(target); ++n)
        target = m_path + QStringLiteral(".unreadable-") + stamp + u'-' + QString::number(n);
    if (!QFile::rename(m_path, target)) return false;
    DataFileNotices::instance().post(DataFileNotices::setAsideMessage(m_path, target, m_tooLarge));
    return true;
}

bool JsonFile::write(const QByteArray& data)
{
    const DataFolderLock held = lock();
    if (m_unreadableOnDisk) {
        // Writing over a file nobody could read would lose it for good; rather not write. Only
        // the version this store found unreadable is set aside, never a newer one.
        if (versionOnDisk() == m_known && !setAsideUnreadable()) return false;
        m_unreadableOnDisk = false;
        m_tooLarge = false;
    }
    if (!writeFileAtomically(m_path, data)) return false;
    m_known = versionOnDisk();
    return true;
}

bool JsonFile::replaceWith(const QString& preparedPath)
{
    if (m_unreadableOnDisk || changedOnDisk()) return false;
    if (::rename(QFile::encodeName(preparedPath).constData(), QFile::encodeName(m_path).constData()) != 0) return false;
    m_known = versionOnDisk();
    return true;
}

} // namespace tavrin
