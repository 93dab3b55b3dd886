#pragma once

#include "base/JsonFile.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

class QObject;

namespace tavrin {

// What SharedJsonFile does whatever its content: the file, the bytes this store last read or
// wrote there, and telling the user once when a write fails.
class SharedJsonFileCore {
public:
    const QString& path() const { return m_file.path(); }
    bool holdsUnreadableFile() const { return m_file.holdsUnreadableFile(); }
    DataFolderLock lock() const { return m_file.lock(); }
    bool changedOnDisk() const { return m_file.changedOnDisk(); }
    // The file as last read or written here, and which version of it that was.
    const QByteArray& writtenBytes() const { return m_written; }
    qsizetype writtenSize() const { return m_written.size(); }
    const JsonFile::Version& knownVersion() const { return m_file.knownVersion(); }
    // Puts in place `data`, already written and synced at `preparedPath` off the main thread,
    // when the file is still the version last read or written here; the caller holds the lock.
    bool replaceWithPrepared(const QString& preparedPath, const QByteArray& data)
    {
        if (!m_file.replaceWith(preparedPath)) return false;
        m_written = data;
        return true;
    }

    // Calls `reload` after every burst of writes in the file's folder, for as long as `owner`
    // lives; a second call does nothing.
    void follow(QObject* owner, std::function<void()> reload);
    // Takes in another program's version and writes back at once what the store holds and it
    // does not; true when what the store holds changed. For stores whose saving is only save().
    bool reloadAndWriteBack() { return m_reloadAndWriteBack(); }

protected:
    explicit SharedJsonFileCore(QString path) : m_file(std::move(path)) {}

    // Writes `data` unless the file already holds it from us. False when it could not be written:
    // the user is told at the first failure, and again only after a write went through.
    bool writeIfNew(const QByteArray& data);

    JsonFile m_file;
    // The file as last read or written here: the base of the next merge. Kept encoded so that it
    // never shares (and, on the next edit, moves) the data the store holds.
    QByteArray m_written;
    // Given by SharedJsonFile, which knows the content's type: a virtual function would need it
    // complete wherever the owner's class is.
    std::function<bool()> m_reloadAndWriteBack;

private:
    bool m_failing = false;
    bool m_follows = false;
};

// A store's JSON file that other programs (tavrin-cli, a second window) write too. It carries
// the sequence of every such store: read at start, write under the data folder's lock after
// taking in whatever another program wrote since our last read or write, and take such writes
// in while the window runs. An undecodable file is set aside by the first write (JsonFile). The
// store says how its content decodes, encodes and merges; `Content` may be incomplete where the
// store declares its member.
template <typename Content>
class SharedJsonFile : public SharedJsonFileCore {
public:
    struct Hooks {
        // Throws on bytes that are not such a file.
        std::function<Content(const QByteArray&)> decode;
        // What the store holds now.
        std::function<QByteArray()> encode;
        // Merges another program's version into what the store holds; `base` is the version last
        // read or written here (`blank` when there is none). True when what the store holds changed
        // (the store's own measure: what it signals).
        std::function<bool(const Content& base, const Content& theirs)> takeIn;
        // The content of no file; `Content{}` when not given.
        std::function<Content()> blank;
    };

    struct Saved {
        bool tookIn = false; // another program's version was taken in, and changed what the store holds
        bool saved = true;   // the file holds what the store holds
    };

    struct Reloaded {
        bool changed = false;  // as `takeIn` said
        bool heldMore = false; // the store holds what the file does not (its own unsaved changes)
    };

    SharedJsonFile(QString path, Hooks hooks) : SharedJsonFileCore(std::move(path)), m_hooks(std::move(hooks))
    {
        m_reloadAndWriteBack = [this] {
            const Reloaded taken = reload();
            if (taken.heldMore) save();
            return taken.changed;
        };
    }
    SharedJsonFile(const SharedJsonFile&) = delete;
    SharedJsonFile& operator=(const SharedJsonFile&) = delete;

    // At start: the content, or none when the file is missing or undecodable.
    std::optional<Content> load()
    {
        QByteArray bytes;
        std::optional<Content> content = read(bytes);
        if (content) m_written = std::move(bytes);
        return content;
    }

    // Writes what the store holds, having taken in another program's version first; the folder's
    // lock is held from that reading to our writing, so that no completed write is lost between.
    // An unchanged file is not written again (every flush of the application asks).
    Saved save()
    {
        const DataFolderLock held = m_file.lock();
        const bool tookIn = takeInFromDisk().value_or(false);
        return {tookIn, writeIfNew(m_hooks.encode())};
    }

    // Takes in the file when another program wrote it. The store writes `heldMore` back itself
    // (through its own save, with its signals) when it wants to. An undecodable version is left
    // for the next write to set aside.
    Reloaded reload()
    {
        const std::optional<bool> changed = takeInFromDisk();
        if (!changed) return {};
        return {*changed, m_hooks.encode() != m_written};
    }

private:
    // None when nothing was taken in: the file is ours, missing or undecodable.
    std::optional<bool> takeInFromDisk()
    {
        if (!m_file.changedOnDisk()) return std::nullopt;
        QByteArray bytes;
        const std::optional<Content> theirs = read(bytes);
        if (!theirs) {
            // Removed: nothing of ours is left on disk, the next save writes it all again.
            if (!m_file.holdsUnreadableFile()) m_written.clear();
            return std::nullopt;
        }
        const Content base = lastWritten();
        // Set before the store merges: a save its signals cause starts from their version.
        m_written = std::move(bytes);
        return m_hooks.takeIn(base, *theirs);
    }

    std::optional<Content> read(QByteArray& bytes)
    {
        return m_file.load<Content>([&](const QByteArray& data) {
            Content decoded = m_hooks.decode(data);
            bytes = data;
            return decoded;
        });
    }

    Content lastWritten() const
    {
        if (!m_written.isEmpty()) {
            try {
                return m_hooks.decode(m_written);
            } catch (const std::exception&) {
            }
        }
        return m_hooks.blank ? m_hooks.blank() : Content{};
    }

    Hooks m_hooks;
};

} // namespace tavrin
