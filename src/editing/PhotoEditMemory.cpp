#include "editing/PhotoEditMemory.h"

#include "base/JsonFile.h"
#include "base/TavrinJSON.h"
#include "editing/PhotoOriginals.h"

#include <QDir>
#include <QFile>

#include <mutex>

namespace tavrin::PhotoEditMemory {

namespace {

// Eighty looks take a few hundred kilobytes; anything far larger is not a journal of ours.
constexpr qint64 maxJournalSize = 16 * 1024 * 1024;

std::mutex forgetterMutex;
std::function<void(const QString&)>& forgetter()
{
    static std::function<void(const QString&)> f;
    return f;
}

} // namespace

QString journalPath(const QString& photo) { return PhotoOriginals::backupPath(photo) + QStringLiteral(".edits.json"); }

void save(const PhotoEditJournal& journal, const QString& photo)
{
    // The hidden folder is made on the way.
    writeFileAtomically(journalPath(photo), TavrinJSON::encode(toJson(journal)));
}

std::optional<PhotoEditJournal> read(const QString& photo)
{
    QFile file(journalPath(photo));
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxJournalSize) return std::nullopt;
    try {
        return photoEditJournalFromJson(TavrinJSON::decodeObject(file.readAll()));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

PhotoEditJournal readOrDefault(const QString& photo) { return read(photo).value_or(PhotoEditJournal{}); }

void remove(const QString& photo) { QFile::remove(journalPath(photo)); }

void recordRetouch(const PhotoRetouchSettings& settings, const QString& photo)
{
    PhotoEditJournal journal = readOrDefault(photo);
    if (settings != journal.current.retouch) {
        CropEditState next = journal.current;
        next.retouch = settings;
        journal.advance(next);
    }
    save(journal, photo);
}

void setThumbnailForgetter(std::function<void(const QString&)> forget)
{
    const std::lock_guard lock(forgetterMutex);
    forgetter() = std::move(forget);
}

void forgetThumbnail(const QString& photo)
{
    std::function<void(const QString&)> f;
    {
        const std::lock_guard lock(forgetterMutex);
        f = forgetter();
    }
    if (f) f(photo);
}

} // namespace tavrin::PhotoEditMemory
