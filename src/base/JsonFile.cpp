#include "base/JsonFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

std::optional<QByteArray> JsonFile::readAll()
{
    QFile file(m_path);
    if (!file.exists()) {
        m_unreadableOnDisk = false;
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
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
    return QFile::rename(m_path, target);
}

bool JsonFile::write(const QByteArray& data)
{
    if (m_unreadableOnDisk) {
        // Writing over a file nobody could read would lose it for good; rather not write.
        if (!setAsideUnreadable()) return false;
        m_unreadableOnDisk = false;
    }
    return writeFileAtomically(m_path, data);
}

} // namespace tavrin
