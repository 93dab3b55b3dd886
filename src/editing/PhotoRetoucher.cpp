#include "editing/PhotoRetoucher.h"

#include "base/Error.h"
#include "editing/RetouchBridges.h"
#include "editing/RowsAlongside.h"

#include <QColorSpace>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace tavrin::PhotoRetoucher {

std::optional<FloatImage> apply(const FloatImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality)
{
    return apply(image, settings, quality, {});
}

std::optional<FloatImage> apply(const FloatImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality,
                                const std::function<bool()>& stillWanted)
{
    if (image.isNull() || image.channels != 4) return std::nullopt;
    if (settings.isNeutral()) return image;
    return RetouchChain::run(image, settings, quality, RetouchChain::Mode::fused, stillWanted);
}

vips::VImage inMemory(const vips::VImage& photo)
{
    RetouchBridges::ensureVips();
    try {
        return photo.copy_memory();
    } catch (const vips::VError&) {
        throw Error(QStringLiteral("Impossible de lire cette image."));
    }
}

namespace {
// Holds the bytes until libvips closes the image made over them.
void releaseBytes(VipsImage*, gpointer holder) { delete static_cast<std::shared_ptr<std::uint8_t[]>*>(holder); }

// The retouched photo keeps the colour profile of the one it was made from.
void keepProfile(const vips::VImage& from, vips::VImage& to)
{
    if (!from.get_typeof(VIPS_META_ICC_NAME)) return;
    size_t length = 0;
    const void* profile = from.get_blob(VIPS_META_ICC_NAME, &length);
    vips_image_set_blob_copy(to.get_image(), VIPS_META_ICC_NAME, profile, length);
}
} // namespace

std::optional<vips::VImage> apply(const vips::VImage& photo, const PhotoRetouchSettings& settings, RetouchQuality quality,
                                  const std::function<bool()>& stillWanted)
{
    RetouchBridges::ensureVips();
    const bool bytes = photo.format() == VIPS_FORMAT_UCHAR && (photo.bands() == 3 || photo.bands() == 4);
    if (!bytes) {
        const std::optional<FloatImage> retouched = apply(RetouchBridges::fromVips(photo), settings, quality, stillWanted);
        if (!retouched) return std::nullopt;
        return RetouchBridges::toVips(*retouched);
    }
    if (settings.isNeutral()) return photo;
    const vips::VImage source = photo.copy_memory();
    const int width = source.width(), height = source.height(), bands = source.bands();
    const std::size_t size = std::size_t(width) * std::size_t(height) * std::size_t(bands);
    // Allocated, not touched: its pages come in as the chain writes its bands.
    std::shared_ptr<std::uint8_t[]> out(new std::uint8_t[size]);
    const RetouchChain::Bytes in{static_cast<const std::uint8_t*>(source.data()), width, height, bands};
    if (!RetouchChain::run(in, out.get(), settings, quality, stillWanted)) return std::nullopt;
    try {
        vips::VImage image = vips::VImage::new_from_memory(out.get(), size, width, height, bands, VIPS_FORMAT_UCHAR);
        g_signal_connect(image.get_image(), "postclose", G_CALLBACK(releaseBytes), new std::shared_ptr<std::uint8_t[]>(out));
        image = image.copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
        keepProfile(source, image);
        return image;
    } catch (const vips::VError&) {
        throw Error(QStringLiteral("Impossible de retoucher cette photo."));
    }
}

vips::VImage applyAlongside(const vips::VImage& photo, const PhotoRetouchSettings& settings, RetouchQuality quality)
{
    RetouchBridges::ensureVips();
    const bool bytes = photo.format() == VIPS_FORMAT_UCHAR && (photo.bands() == 3 || photo.bands() == 4);
    if (!bytes || settings.isNeutral()) {
        std::optional<vips::VImage> whole = apply(photo, settings, quality);
        if (!whole) throw Error(QStringLiteral("Impossible de retoucher cette photo."));
        return *whole;
    }
    try {
        const vips::VImage source = photo.copy_memory();
        const int width = source.width(), height = source.height(), bands = source.bands();
        vips::VImage image = RowsAlongside::start(width, height, bands, VIPS_INTERPRETATION_sRGB,
                                                  [source, width, height, bands, settings, quality](std::uint8_t* out, const auto& rowsDone) {
                                                      const RetouchChain::Bytes in{static_cast<const std::uint8_t*>(source.data()), width, height, bands};
                                                      return RetouchChain::run(in, out, settings, quality, rowsDone);
                                                  });
        keepProfile(source, image);
        return image;
    } catch (const vips::VError&) {
        throw Error(QStringLiteral("Impossible de retoucher cette photo."));
    }
}

namespace {
QImage applyToBytes(const QImage& source, const PhotoRetouchSettings& settings, RetouchQuality quality,
                    const std::function<bool()>& stillWanted, RetouchChain::Memo* memo)
{
    const bool fourBytes = source.format() == QImage::Format_RGBA8888 || source.format() == QImage::Format_RGBX8888;
    const QImage image = fourBytes ? source : source.convertToFormat(source.hasAlphaChannel() ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888);
    if (image.isNull()) return {};
    if (settings.isNeutral()) return image;
    QImage out(image.size(), image.format());
    if (out.isNull() || image.bytesPerLine() != qsizetype(image.width()) * 4 || out.bytesPerLine() != image.bytesPerLine()) return {};
    const RetouchChain::Bytes in{image.constBits(), image.width(), image.height(), 4};
    const bool done = memo ? RetouchChain::run(in, out.bits(), settings, quality, stillWanted, *memo, image.cacheKey())
                           : RetouchChain::run(in, out.bits(), settings, quality, stillWanted);
    if (!done) return {};
    out.setColorSpace(image.colorSpace());
    return out;
}
} // namespace

QImage apply(const QImage& source, const PhotoRetouchSettings& settings, RetouchQuality quality, const std::function<bool()>& stillWanted)
{
    return applyToBytes(source, settings, quality, stillWanted, nullptr);
}

QImage apply(const QImage& source, const PhotoRetouchSettings& settings, RetouchQuality quality, const std::function<bool()>& stillWanted,
             RetouchChain::Memo& memo)
{
    return applyToBytes(source, settings, quality, stillWanted, &memo);
}

std::optional<LuminanceEnds> luminanceEnds(const FloatImage& image) { return RetouchChain::luminanceEnds(RetouchChain::sourceOf(image)); }

void autoContrastStep(FloatImage& image)
{
    PhotoRetouchSettings s;
    s.autoContrast = true;
    RetouchChain::runStep(*RetouchChain::find("autoContrast"), image, s, RetouchQuality::full);
}

void shadowsHighlightsStep(FloatImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality)
{
    RetouchChain::runStep(*RetouchChain::find("shadowsHighlights"), image, settings, quality);
}

void contrastStep(FloatImage& image, double contrast)
{
    PhotoRetouchSettings s;
    s.contrast = contrast;
    RetouchChain::runStep(*RetouchChain::find("contrast"), image, s, RetouchQuality::full);
}

} // namespace tavrin::PhotoRetoucher
