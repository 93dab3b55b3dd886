#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tavrin {

// A remembered user-chosen file or folder. The reference bytes hold the absolute path in UTF-8;
// they are stored base64-encoded in the owning store's JSON file, next to a display name.
namespace FolderReference {

QByteArray create(const QString& path);

struct Resolution {
    QString path;
    // The stored form is not the clean absolute path any more; the owner should store a fresh one.
    bool isStale = false;
};

// None when the bytes are not a path or nothing exists there any more.
std::optional<Resolution> resolve(const QByteArray& reference);

// The clean absolute form of a path, as kept in accessedPaths.
QString standardizedPath(const QString& path);

} // namespace FolderReference

// Access to referenced locations, started at most once per standardized path and held for the
// life of the owning store.
class FolderAccess {
public:
    // Resolves a reference and retains access to it. When the reference is stale, a fresh one is
    // handed to `refreshed` from the event loop of `context` (the owner replaces and saves it).
    std::optional<QString> resolve(const QByteArray& reference, QObject* context,
                                   const std::function<void(QByteArray)>& refreshed);

    void retainAccess(const QString& path);

    const QStringList& accessedURLs() const { return m_accessedURLs; }
    const QSet<QString>& accessedPaths() const { return m_accessedPaths; }

private:
    QStringList m_accessedURLs;
    QSet<QString> m_accessedPaths;
};

} // namespace tavrin
