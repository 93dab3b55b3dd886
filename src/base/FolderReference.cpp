#include "base/FolderReference.h"

#include <QDir>
#include <QFileInfo>
#include <QMetaObject>

namespace tavrin {

namespace FolderReference {

QString standardizedPath(const QString& path) { return QDir::cleanPath(QDir(path).absolutePath()); }

QByteArray create(const QString& path) { return standardizedPath(path).toUtf8(); }

std::optional<Resolution> resolve(const QByteArray& reference)
{
    if (reference.isEmpty()) return std::nullopt;
    const QString stored = QString::fromUtf8(reference);
    if (stored.contains(QChar(0)) || !QDir::isAbsolutePath(stored)) return std::nullopt;
    const QString clean = standardizedPath(stored);
    if (!QFileInfo::exists(clean)) return std::nullopt;
    return Resolution{clean, clean != stored};
}

} // namespace FolderReference

std::optional<QString> FolderAccess::resolve(const QByteArray& reference, QObject* context,
                                             const std::function<void(QByteArray)>& refreshed)
{
    const auto resolution = FolderReference::resolve(reference);
    if (!resolution) return std::nullopt;
    retainAccess(resolution->path);
    if (resolution->isStale && refreshed && context) {
        QMetaObject::invokeMethod(
            context, [refreshed, fresh = FolderReference::create(resolution->path)] { refreshed(fresh); },
            Qt::QueuedConnection);
    }
    return resolution->path;
}

void FolderAccess::retainAccess(const QString& path)
{
    const QString standardized = FolderReference::standardizedPath(path);
    if (m_accessedPaths.contains(standardized)) return;
    // Plain paths need no grant on Linux; holding the list keeps one entry per location.
    if (!QFileInfo::exists(standardized)) return;
    m_accessedURLs.push_back(standardized);
    m_accessedPaths.insert(standardized);
}

} // namespace tavrin
