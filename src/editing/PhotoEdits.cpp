#include "editing/PhotoEdits.h"

#include "editing/PhotoComposer.h"
#include "editing/PhotoEditError.h"
#include "editing/PhotoEditMemory.h"
#include "editing/PhotoLookWriter.h"
#include "editing/PhotoOriginals.h"

namespace tavrin::PhotoEdits {

using Kind = PhotoEditError::Kind;

void applyWatermark(const QString& photo, const QString& watermarkPath)
{
    PhotoOriginals::ensureBackup(photo);
    // Both files are opened before the journal changes, so that a photo or watermark that cannot be
    // read leaves the journal as it was.
    const QString source = PhotoOriginals::hasBackup(photo) ? PhotoOriginals::backupPath(photo) : photo;
    if (!PhotoComposer::loadImage(source)) throw PhotoEditError(Kind::unreadablePhoto);
    const std::optional<vips::VImage> watermark = PhotoComposer::loadImage(watermarkPath);
    if (!watermark) throw PhotoEditError(Kind::unreadableWatermark);

    PhotoEditJournal journal = PhotoEditMemory::readOrDefault(photo);
    if (!journal.current.includeWatermark) {
        CropEditState next = journal.current;
        next.includeWatermark = true;
        journal.advance(next);
        PhotoEditMemory::save(journal, photo);
    }
    PhotoLookWriter::write(photo, journal.current, watermark);
}

void applyRetouch(const QString& photo, const PhotoRetouchSettings& settings, const std::optional<QString>& watermarkPath)
{
    if (settings.isNeutral()) return;
    PhotoOriginals::ensureBackup(photo);
    PhotoEditMemory::recordRetouch(settings, photo);
    const PhotoEditJournal journal = PhotoEditMemory::readOrDefault(photo);
    std::optional<vips::VImage> watermark;
    // A watermark that cannot be read is left out rather than failing the whole batch.
    if (journal.current.includeWatermark && watermarkPath) watermark = PhotoComposer::loadImage(*watermarkPath);
    PhotoLookWriter::write(photo, journal.current, watermark);
}

void applyLook(const QString& photo, const CropEditState& look, const std::optional<QString>& watermarkPath)
{
    std::optional<vips::VImage> watermark;
    if (look.includeWatermark && watermarkPath) {
        watermark = PhotoComposer::loadImage(*watermarkPath);
        if (!watermark) throw PhotoEditError(Kind::unreadableWatermark);
    }
    PhotoOriginals::ensureBackup(photo);
    PhotoEditJournal journal = PhotoEditMemory::readOrDefault(photo);
    if (look != journal.current) journal.advance(look);
    PhotoEditMemory::save(journal, photo);
    PhotoLookWriter::write(photo, journal.current, watermark);
}

} // namespace tavrin::PhotoEdits
