#include "editing/PhotoRetoucher.h"

#include "base/Error.h"
#include "editing/RetouchBridges.h"

#include <QColorSpace>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
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
        if (source.get_typeof(VIPS_META_ICC_NAME)) {
            size_t length = 0;
            const void* profile = source.get_blob(VIPS_META_ICC_NAME, &length);
            vips_image_set_blob_copy(image.get_image(), VIPS_META_ICC_NAME, profile, length);
        }
        return image;
    } catch (const vips::VError&) {
        throw Error(QStringLiteral("Impossible de retoucher cette photo."));
    }
}

namespace {

// The retouched rows as the chain finishes them, and who waits for which.
struct Alongside {
    vips::VImage source;
    std::unique_ptr<std::uint8_t[]> out;
    int width = 0, height = 0, bands = 0;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<char> done;
    bool failed = false;
    std::thread chain;
};

int generateAlongside(VipsRegion* region, void*, void* a, void*, gboolean*)
{
    auto* state = static_cast<Alongside*>(a);
    const VipsRect& r = region->valid;
    {
        std::unique_lock lock(state->mutex);
        state->changed.wait(lock, [&] {
            return state->failed || std::all_of(state->done.begin() + r.top, state->done.begin() + r.top + r.height, [](char d) { return d; });
        });
        if (state->failed) return -1;
    }
    const std::size_t rowBytes = std::size_t(state->width) * std::size_t(state->bands);
    for (int y = r.top; y < r.top + r.height; ++y)
        std::memcpy(VIPS_REGION_ADDR(region, r.left, y), state->out.get() + std::size_t(y) * rowBytes + std::size_t(r.left) * std::size_t(state->bands),
                    std::size_t(r.width) * std::size_t(state->bands));
    return 0;
}

// The chain has finished (a reader that stopped early waits for it here) before its rows go.
void closeAlongside(VipsImage*, gpointer holder)
{
    auto* state = static_cast<std::shared_ptr<Alongside>*>(holder);
    if ((*state)->chain.joinable()) (*state)->chain.join();
    delete state;
}

} // namespace

vips::VImage applyAlongside(const vips::VImage& photo, const PhotoRetouchSettings& settings, RetouchQuality quality)
{
    RetouchBridges::ensureVips();
    const bool bytes = photo.format() == VIPS_FORMAT_UCHAR && (photo.bands() == 3 || photo.bands() == 4);
    if (!bytes || settings.isNeutral()) {
        std::optional<vips::VImage> whole = apply(photo, settings, quality);
        if (!whole) throw Error(QStringLiteral("Impossible de retoucher cette photo."));
        return *whole;
    }
    auto state = std::make_shared<Alongside>();
    state->source = photo.copy_memory();
    state->width = state->source.width(), state->height = state->source.height(), state->bands = state->source.bands();
    state->out.reset(new std::uint8_t[std::size_t(state->width) * std::size_t(state->height) * std::size_t(state->bands)]);
    state->done.assign(std::size_t(state->height), 0);
    VipsImage* image = vips_image_new();
    vips_image_init_fields(image, state->width, state->height, state->bands, VIPS_FORMAT_UCHAR, VIPS_CODING_NONE,
                           VIPS_INTERPRETATION_sRGB, 1.0, 1.0);
    if (vips_image_pipelinev(image, VIPS_DEMAND_STYLE_THINSTRIP, nullptr) ||
        vips_image_generate(image, nullptr, generateAlongside, nullptr, state.get(), nullptr)) {
        g_object_unref(image);
        throw Error(QStringLiteral("Impossible de retoucher cette photo."));
    }
    if (state->source.get_typeof(VIPS_META_ICC_NAME)) {
        size_t length = 0;
        const void* profile = state->source.get_blob(VIPS_META_ICC_NAME, &length);
        vips_image_set_blob_copy(image, VIPS_META_ICC_NAME, profile, length);
    }
    g_signal_connect(image, "postclose", G_CALLBACK(closeAlongside), new std::shared_ptr<Alongside>(state));
    Alongside* s = state.get();
    s->chain = std::thread([s, settings, quality] {
        const RetouchChain::Bytes in{static_cast<const std::uint8_t*>(s->source.data()), s->width, s->height, s->bands};
        const bool finished = RetouchChain::run(in, s->out.get(), settings, quality, [s](int y0, int y1) {
            {
                const std::lock_guard lock(s->mutex);
                std::fill(s->done.begin() + y0, s->done.begin() + y1, 1);
            }
            s->changed.notify_all();
        });
        if (!finished) {
            {
                const std::lock_guard lock(s->mutex);
                s->failed = true;
            }
            s->changed.notify_all();
        }
    });
    return vips::VImage(image);
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
