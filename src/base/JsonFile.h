#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace tavrin {

// Writes data to path through a temporary file that is flushed, fsynced and renamed into place,
// so a reader (or a crash) only ever sees the old or the new content. Failures return false.
bool writeFileAtomically(const QString& path, const QByteArray& data);

// A JSON file owned by one store. A file that exists but cannot be decoded is never silently
// destroyed: before the first write over it, it is renamed aside as NAME.unreadable-<UTC time>.
class JsonFile {
public:
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

    // True while an undecodable file sits at the path, waiting to be set aside.
    bool holdsUnreadableFile() const { return m_unreadableOnDisk; }

private:
    std::optional<QByteArray> readAll();
    bool setAsideUnreadable();

    QString m_path;
    bool m_unreadableOnDisk = false;
};

} // namespace tavrin
