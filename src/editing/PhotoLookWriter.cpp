#include "editing/PhotoLookWriter.h"

#include "base/Error.h"
#include "editing/PhotoComposer.h"
#include "editing/PhotoEditError.h"
#include "editing/PhotoEditMemory.h"
#include "editing/PhotoOriginals.h"
#include "editing/PhotoRetoucher.h"

namespace tavrin::PhotoLookWriter {

using Kind = PhotoEditError::Kind;

bool write(const QString& photo, const CropEditState& look, const std::optional<vips::VImage>& watermark,
           const StillWanted& stillWanted)
{
    const auto wanted = [&] { return !stillWanted || stillWanted(); };
    if (!wanted()) return false;
    PhotoOriginals::ensureBackup(photo);
    const bool backedUp = PhotoOriginals::hasBackup(photo);
    const QString source = backedUp ? PhotoOriginals::backupPath(photo) : photo;

    if (!look.cropValidated && look.retouch.isNeutral() && !watermark) {
        if (backedUp) PhotoOriginals::replaceWithCopy(source, photo);
        PhotoEditMemory::forgetThumbnail(photo);
        return true;
    }

    // A page turned by a free angle reads the photo out of order; anything else is one pass.
    const bool onePass = !look.cropValidated || look.angle == 0;
    const std::optional<vips::VImage> decoded = onePass ? PhotoComposer::loadImageForOnePass(source) : PhotoComposer::loadImage(source);
    if (!decoded) throw PhotoEditError(Kind::unreadablePhoto);
    vips::VImage image = *decoded;
    if (!look.retouch.isNeutral()) {
        try {
            // Decoded here: a damaged photo fails now, and says so.
            image = PhotoRetoucher::inMemory(image);
        } catch (const Error&) {
            throw PhotoEditError(Kind::unreadablePhoto);
        }
        if (!wanted()) return false;
        std::optional<vips::VImage> retouched;
        try {
            // Nobody can change their mind: the chain runs beside the write, which encodes the
            // first rows while the chain works on the last.
            retouched = stillWanted ? PhotoRetoucher::apply(image, look.retouch, RetouchQuality::full, wanted)
                                    : PhotoRetoucher::applyAlongside(image, look.retouch, RetouchQuality::full);
        } catch (const Error&) {
            throw PhotoEditError(Kind::composeFailed);
        }
        if (!wanted()) return false;
        // The retoucher gives nothing for an image it cannot work on: the photo goes as it is.
        if (retouched) image = *retouched;
    }

    vips::VImage page;
    try {
        if (look.cropValidated) {
            CropEditState geometry = look;
            geometry.retouch = {}; // already applied above
            page = PhotoComposer::renderValidatedLook(image, geometry, watermark);
        } else {
            page = watermark ? PhotoComposer::drawBottomCoverWatermark(*watermark, image) : image;
        }
    } catch (const vips::VError&) {
        throw PhotoEditError(Kind::composeFailed);
    }
    try {
        // libvips renders lazily: when someone may still change their mind, the page is made now,
        // before the last question, so that a result nobody wants any more never reaches the file.
        // Otherwise the render streams into the write.
        if (stillWanted) page = page.copy_memory();
    } catch (const vips::VError&) {
        // A damaged photo fails only once its pixels are read: the write reads them again and
        // says whether the photo or the disk is at fault, leaving the visible file untouched.
        PhotoComposer::write(page, photo);
        PhotoEditMemory::forgetThumbnail(photo);
        return true;
    }
    if (!wanted()) return false;
    PhotoComposer::write(page, photo);
    PhotoEditMemory::forgetThumbnail(photo);
    return true;
}

} // namespace tavrin::PhotoLookWriter
