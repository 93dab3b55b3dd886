#include "editing/PhotoRetoucher.h"

#include "editing/RetouchFilters.h"
#include "editing/RetouchKernels.h"
#include "editing/SrgbCurve.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace tavrin::PhotoRetoucher {

namespace {

double longSide(const FloatImage& image) { return double(std::max(image.width, image.height)); }

// The percentile of the 256-bin histogram as a bin value in 0 … 1.
double percentile(const std::array<std::uint64_t, 256>& bins, std::uint64_t total, double p)
{
    p = std::clamp(p, 0.0, 1.0);
    if (total == 0) return p < 0.5 ? 0 : 1;
    const double target = p * double(total);
    std::uint64_t running = 0;
    for (int i = 0; i < 256; ++i) {
        running += bins[std::size_t(i)];
        if (double(running) >= target) return i / 255.0;
    }
    return 1;
}

// Bilinear enlargement of a one-channel plane to `width` × `height`, sample centres aligned.
FloatImage enlarge(const FloatImage& small, int width, int height)
{
    FloatImage out = FloatImage::allocate(width, height, 1);
    const float sx = float(small.width) / float(width), sy = float(small.height) / float(height);
    std::vector<int> x0(static_cast<std::size_t>(width)), x1(static_cast<std::size_t>(width));
    std::vector<float> tx(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        const float fx = std::clamp((float(x) + 0.5f) * sx - 0.5f, 0.0f, float(small.width - 1));
        x0[std::size_t(x)] = int(fx);
        x1[std::size_t(x)] = std::min(int(fx) + 1, small.width - 1);
        tx[std::size_t(x)] = fx - float(int(fx));
    }
    parallelFor(height, std::size_t(width), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const float fy = std::clamp((float(y) + 0.5f) * sy - 0.5f, 0.0f, float(small.height - 1));
            const float* a = small.row(int(fy));
            const float* b = small.row(std::min(int(fy) + 1, small.height - 1));
            const float ty = fy - float(int(fy));
            float* o = out.row(y);
            for (int x = 0; x < width; ++x) {
                const std::size_t i = std::size_t(x);
                const float top = a[x0[i]] + (a[x1[i]] - a[x0[i]]) * tx[i];
                const float bottom = b[x0[i]] + (b[x1[i]] - b[x0[i]]) * tx[i];
                o[x] = top + (bottom - top) * ty;
            }
        }
    });
    return out;
}

// The tone map of one side: the luminance blurred by the side's radius, edges extended. A wide
// blur leaves nothing finer than a few pixels, so the preview blurs a half-size copy
// and enlarges it; the full render blurs every pixel.
void toneMap(const FloatImage& luma, FloatImage& out, double radius, double longSide, RetouchQuality quality)
{
    const double cap = quality == RetouchQuality::preview ? 72 : 160;
    const double sigma = std::clamp(radius * 0.5 * (longSide / 3000), 0.18, cap);
    const int factor = quality == RetouchQuality::preview ? std::clamp(int(sigma / 4), 1, 2) : 1;
    if (factor == 1) {
        RetouchFilters::gaussianBlur(luma, out, sigma);
        return;
    }
    const FloatImage small = RetouchFilters::downscale(luma, std::max(1, luma.width / factor), std::max(1, luma.height / factor));
    FloatImage blurred;
    RetouchFilters::gaussianBlur(small, blurred, sigma * double(small.width) / double(luma.width));
    out = enlarge(blurred, luma.width, luma.height);
}

} // namespace

std::optional<LuminanceEnds> luminanceEnds(const FloatImage& image)
{
    const double factor = std::min(480 / longSide(image), 1.0);
    FloatImage small = image;
    if (factor < 0.999) {
        const int w = std::max(1, int(std::lround(image.width * factor)));
        const int h = std::max(1, int(std::lround(image.height * factor)));
        small = RetouchFilters::downscale(image, w, h);
    }
    std::array<std::uint64_t, 256> bins{};
    for (int y = 0; y < small.height; ++y) {
        const float* p = small.row(y);
        for (int x = 0; x < small.width; ++x, p += 4) {
            const float r = std::max(SrgbCurve::decode(p[0]), 0.0f);
            const float g = std::max(SrgbCurve::decode(p[1]), 0.0f);
            const float b = std::max(SrgbCurve::decode(p[2]), 0.0f);
            const float luminance = std::max(0.2126f * r + 0.7152f * g + 0.0722f * b, 0.0f);
            const int bin = std::clamp(int(255 * SrgbCurve::encodeExact(luminance)), 0, 255);
            ++bins[std::size_t(bin)];
        }
    }
    const std::uint64_t total = std::uint64_t(small.width) * std::uint64_t(small.height);
    auto linear = [](double v) { return v <= 0 ? 0.0f : SrgbCurve::decodeExact(float(v)); };
    const float low = linear(percentile(bins, total, 0.005));
    const float high = linear(percentile(bins, total, 0.995));
    if (high - low < 0.04f) return std::nullopt;
    return LuminanceEnds{low, high};
}

void autoContrastStep(FloatImage& image, Light light, const FloatImage* source)
{
    if (const auto ends = luminanceEnds(source ? *source : image)) RetouchKernels::autoContrast(image, ends->low, ends->high, light);
}

void shadowsHighlightsStep(FloatImage& image, const PhotoRetouchSettings& s, RetouchQuality quality, Light light)
{
    const float sh = float(std::clamp(s.shadows / 100, -1.0, 1.0));
    const float hi = float(std::clamp(s.highlights / 100, -1.0, 1.0));
    const float sw = float(std::clamp(s.shadowTonalWidth / 100, 0.0, 1.0));
    const float hw = float(std::clamp(s.highlightTonalWidth / 100, 0.0, 1.0));
    FloatImage luma;
    RetouchKernels::linearLuma(image, luma, light);
    const double side = longSide(image);
    FloatImage shadowMap = luma, highlightMap = luma;
    if (s.shadows != 0 && s.shadowRadius > 0.25) {
        shadowMap = {};
        toneMap(luma, shadowMap, s.shadowRadius, side, quality);
    }
    if (s.highlights != 0) {
        if (s.shadows != 0 && std::abs(s.shadowRadius - s.highlightRadius) < 0.05) {
            highlightMap = shadowMap;
        } else if (s.highlightRadius > 0.25) {
            highlightMap = {};
            toneMap(luma, highlightMap, s.highlightRadius, side, quality);
        }
    }
    luma = {};
    RetouchKernels::rangeAdjust(image, shadowMap, highlightMap, sh * 1.85f, hi * 1.85f, sw, hw, light);
}

namespace {
RetouchFilters::CurvePoints contrastPoints(double contrast)
{
    const double d = contrast / 100 * 0.165 * 0.58;
    return {{{0, 0}, {0.25, std::clamp(0.25 - d, 0.02, 0.45)}, {0.5, 0.5}, {0.75, std::clamp(0.75 + d, 0.55, 0.98)}, {1, 1}}};
}

// A new buffer holding the image decoded to linear light, stretched between automatic end
// points when there are some, and multiplied by `gain`: the copy and up to three steps in one
// sweep, each as it does on its own.
FloatImage decodedCopy(const FloatImage& image, std::optional<LuminanceEnds> ends, float gain)
{
    FloatImage out = FloatImage::allocate(image.width, image.height, 4);
    out.iccProfile = image.iccProfile;
    out.opaque = image.opaque;
    const bool stretch = ends.has_value(), expose = gain != 1.0f;
    const float lo = stretch ? ends->low : 0.0f, span = stretch ? std::max(ends->high - ends->low, 0.004f) : 1.0f;
    parallelFor(image.height, image.rowValues(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const float* p = image.row(y);
            float* o = out.row(y);
            for (int x = 0; x < image.width; ++x, p += 4, o += 4) {
                for (int c = 0; c < 3; ++c) {
                    float v = SrgbCurve::decode(p[c]);
                    if (stretch) v = (v - lo) / span;
                    if (expose) v *= gain;
                    o[c] = v;
                }
                o[3] = p[3];
            }
        }
    });
    return out;
}
} // namespace

void contrastStep(FloatImage& image, double contrast) { RetouchFilters::toneCurve(image, contrastPoints(contrast)); }

FloatImage sharpenStep(FloatImage image, FloatImage& spare, const PhotoRetouchSettings& s, RetouchQuality quality, bool clampToUnit)
{
    const bool preview = quality == RetouchQuality::preview;
    const double n = std::clamp(s.sharpnessNoiseReduction / 100, 0.0, 1.0);
    if (n > 0.001) {
        RetouchFilters::noiseReduction(image, spare, n * 0.055, 0.55 - 0.22 * n);
        std::swap(image, spare);
    }
    const double a = std::min(s.sharpnessAmount / 100, 5.0);
    if (a <= 0.001) return image;
    const double r = std::max(std::clamp(s.sharpnessRadius, 0.1, 64.0) * (longSide(image) / 3000), 0.12);
    if (s.removeLensBlur) RetouchFilters::discBlur(image, spare, std::min(r, preview ? 18.0 : 36.0));
    else RetouchFilters::gaussianBlur(image, spare, std::min(0.85 * r, preview ? 8.0 : 16.0));
    const double k = preview ? 0.92 : 1.0;
    RetouchKernels::unsharpMask(image, spare, float(k * a), float(0.07 * n + 0.004), clampToUnit);
    std::swap(image, spare);
    return image;
}

std::optional<FloatImage> apply(const FloatImage& image, const PhotoRetouchSettings& s, RetouchQuality quality)
{
    if (image.isNull() || image.channels != 4) return std::nullopt;
    if (s.isNeutral()) return image;
    // Steps 1 to 4 all work in linear light: the bitmap is decoded once before them and encoded
    // once after (the sRGB curve and its inverse undo each other, so the result is the same).
    const bool linearSteps = s.autoContrast || s.exposure != 0 || s.shadows != 0 || s.highlights != 0 || s.brightness != 0;
    // The per-pixel steps after them share one sweep, the encode and the final clamp included.
    RetouchFilters::ColourPass colour;
    colour.encodeFirst = linearSteps;
    if (s.contrast != 0) colour.curve = contrastPoints(s.contrast);
    if (s.vibrance != 0) colour.vibrance = std::clamp(s.vibrance / 100, -1.0, 1.0);
    if (s.saturation != 0) colour.saturation = std::clamp(1 + s.saturation / 100, 0.0, 2.0);
    if (!s.gammaIsNeutral()) colour.gamma = std::clamp(s.gamma, 0.1, 3.0);
    // The rendered bitmap is 8-bit: nothing outside 0 … 1 survives it.
    colour.clampToUnit = true;
    FloatImage work;
    if (linearSteps) {
        // Automatic contrast and exposure ride on the decode; the end points come from the
        // encoded bitmap, as the step takes them.
        const std::optional<LuminanceEnds> ends = s.autoContrast ? luminanceEnds(image) : std::nullopt;
        work = decodedCopy(image, ends, s.exposure != 0 ? float(std::exp2(s.exposure)) : 1.0f);
        if (s.shadows != 0 || s.highlights != 0) shadowsHighlightsStep(work, s, quality, Light::linear);
        if (s.brightness != 0)
            RetouchKernels::brightnessAdjust(work, float(std::clamp(s.brightness / 100, -1.0, 1.0)), Light::linear);
    } else {
        work = image.detached();
    }
    if (s.optimizedSharpness) {
        // Sharpening reads unclamped values, so the clamp waits for it.
        colour.clampToUnit = false;
        RetouchFilters::colourPass(work, colour);
        FloatImage spare;
        // The clamp rides on the unsharp mask when it runs; otherwise it gets its own sweep.
        const bool masked = std::min(s.sharpnessAmount / 100, 5.0) > 0.001;
        work = sharpenStep(std::move(work), spare, s, quality, masked);
        if (!masked) {
            RetouchFilters::ColourPass clampOnly;
            clampOnly.clampToUnit = true;
            RetouchFilters::colourPass(work, clampOnly);
        }
    } else {
        RetouchFilters::colourPass(work, colour);
    }
    work.iccProfile = image.iccProfile;
    work.opaque = image.opaque;
    return work;
}

} // namespace tavrin::PhotoRetoucher
