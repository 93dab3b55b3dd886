#pragma once

#include "base/DataFolderLock.h"

#include <QByteArray>
#include <QString>

class QObject;

#include <functional>
#include <optional>

namespace tavrin {

// Writes data to path through a temporary file that is flushed, fsynced and renamed into place,
// so a reader (or a crash) only ever sees the old or the new content. Failures return false.
bool writeFileAtomically(const QString& path, const QByteArray& data);

// Calls `changed` from the event loop, once per burst of changes, whenever a file of the folder
// holding `path` is written, created or removed; for as long as `owner` lives.
void followFolderOf(const QString& path, QObject* owner, std::function<void()> changed);

// A JSON file owned by one store. A file that exists but cannot be decoded is never silently
// destroyed: before the first write over it, it is renamed aside as NAME.unreadable-<UTC time>
// and the user is told once (DataFileNotices). Writes hold the folder's lock; the file remembers
// which version it last read or wrote, so that a store sees another program's write.
class JsonFile {
public:
    // No real data file comes near this; a larger one is set aside without being read.
    static constexpr qint64 maxSize = 256LL * 1024 * 1024;

    // Which file sits at the path: identity, size and modification time.
    struct Version {
        bool exists = false;
        quint64 device = 0, inode = 0;
        qint64 size = 0, modifiedNs = 0;
        bool operator==(const Version&) const = default;
    };

    explicit JsonFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    // Reads and decodes the file; none when it is missing or `decode` throws.
    template <typename T>
    std::optional<T> load(const std::function<T(const QByteArray&)>& decode)
    {
        const std::optional<QByteArray> bytes = readAll();
        if (!bytes) return std::nullopt;
        try {
            T value = decode(*bytes);
            m_unreadableOnDisk = false;
            return value;
        } catch (const std::exception&) {
            m_unreadableOnDisk = true;
            return std::nullopt;
        }
    }

    bool write(const QByteArray& data);
    // Renames a file written and synced elsewhere (by a background thread) over this one, under
    // the folder's lock the caller holds; false when another program's version is there, which
    // would be lost, or a file nobody could read that must first be set aside.
    bool replaceWith(const QString& preparedPath);

    // The lock of the file's folder: a store holds it from reading another program's version to
    // writing its own, so that no completed write is lost in between.
    DataFolderLock lock() const;
    // True when the file on disk is no longer the version last read or written here (another
    // program replaced, created or removed it).
    bool changedOnDisk() const;

    // The version last read or written here.
    const Version& knownVersion() const { return m_known; }
    // True while an undecodable file sits at the path, waiting to be set aside.
    bool holdsUnreadableFile() const { return m_unreadableOnDisk; }

private:
    static Version versionOf(int fd);
    Version versionOnDisk() const;

    std::optional<QByteArray> readAll();
    bool setAsideUnreadable();

    QString m_path;
    bool m_unreadableOnDisk = false;
    bool m_tooLarge = false;
    Version m_known;
};

} // namespace tavrin
