#include "editing/PhotoRetoucher.h"

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
