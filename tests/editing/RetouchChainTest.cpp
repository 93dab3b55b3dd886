#include "RetouchTestImages.h"
#include "editing/PhotoRetoucher.h"
#include "editing/RetouchChain.h"
#include "editing/RetouchFilters.h"
#include "editing/RetouchKernels.h"
#include "editing/RetouchToneMap.h"
#include "editing/SrgbCurve.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

using namespace tavrin;

namespace {

// A photo as a camera would give it, made by libvips and gone through its JPEG encoder: a sky
// gradient, saturated patches, a skin-toned face-sized disc, a dark jacket, and sensor grain.
FloatImage photo(int width, int height, double grain)
{
    RetouchBridges::ensureVips();
    const vips::VImage xy = vips::VImage::xyz(width, height);
    const vips::VImage u = xy[0] / double(width), v = xy[1] / double(height);
    const vips::VImage sky = (u * 60 + 90).bandjoin(u * 40 + v * 60 + 120).bandjoin(v * -80 + 230);
    auto patch = [&](double x0, double x1, double y0, double y1) {
        return (u >= x0) & (u < x1) & (v >= y0) & (v < y1);
    };
    const double cx = width * 0.62, cy = height * 0.45, r = height * 0.16;
    const vips::VImage face = ((xy[0] - cx) * (xy[0] - cx) + (xy[1] - cy) * (xy[1] - cy)) < r * r;
    vips::VImage image = sky;
    image = patch(0.05, 0.2, 0.6, 0.9).ifthenelse(std::vector<double>{230, 20, 25}, image);
    image = patch(0.2, 0.35, 0.6, 0.9).ifthenelse(std::vector<double>{20, 200, 40}, image);
    image = patch(0.35, 0.45, 0.6, 0.9).ifthenelse(std::vector<double>{30, 40, 220}, image);
    image = patch(0.75, 0.95, 0.7, 1.0).ifthenelse(std::vector<double>{22, 24, 30}, image);
    image = face.ifthenelse(std::vector<double>{224, 172, 140}, image);
    const vips::VImage noise = vips::VImage::gaussnoise(width, height, vips::VImage::option()->set("sigma", grain));
    image = (image + noise).cast(VIPS_FORMAT_UCHAR).copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
    VipsBlob* blob = image.jpegsave_buffer(vips::VImage::option()->set("Q", 90));
    std::size_t length = 0;
    const void* data = vips_blob_get(blob, &length);
    const vips::VImage decoded = vips::VImage::new_from_buffer(data, length, "").copy_memory();
    vips_area_unref(VIPS_AREA(blob));
    return RetouchBridges::fromVips(decoded);
}

PhotoRetouchSettings everyStep()
{
    PhotoRetouchSettings s;
    s.autoContrast = true;
    s.exposure = 0.35;
    s.shadows = 45;
    s.highlights = -35;
    s.shadowRadius = 30;
    s.highlightRadius = 12;
    s.brightness = 12;
    s.contrast = 25;
    s.vibrance = 30;
    s.saturation = -15;
    s.gamma = 0.9;
    s.optimizedSharpness = true;
    s.sharpnessAmount = 140;
    s.sharpnessNoiseReduction = 25;
    return s;
}

float worstDifference(const FloatImage& a, const FloatImage& b)
{
    float worst = 0;
    for (std::size_t i = 0; i < a.valueCount(); ++i) worst = std::max(worst, std::abs(a.data()[i] - b.data()[i]));
    return worst;
}

// Mean of one channel over a rectangle.
double regionMean(const FloatImage& image, int x0, int y0, int x1, int y1, int channel)
{
    double sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) sum += image.at(x, y)[channel];
    return sum / double((x1 - x0) * (y1 - y0));
}

// A dark horse against a bright sky, hard-edged as libvips draws it: body, neck, head, legs and
// tail, the edges a tone map measured on fewer rows would blur first.
FloatImage horseAgainstSky(int width, int height)
{
    RetouchBridges::ensureVips();
    const double k = width / 1200.0;
    const vips::VImage xy = vips::VImage::xyz(width, height);
    const vips::VImage x = xy[0] / k, y = xy[1] / k;
    auto ellipse = [&](double cx, double cy, double a, double b, double degrees) {
        const double c = std::cos(degrees * M_PI / 180), s = std::sin(degrees * M_PI / 180);
        const vips::VImage u = (x - cx) * c + (y - cy) * s, v = (y - cy) * c - (x - cx) * s;
        return (u * u / (a * a) + v * v / (b * b)) < 1;
    };
    auto box = [&](double x0, double y0, double x1, double y1) { return (x >= x0) & (x < x1) & (y >= y0) & (y < y1); };
    const vips::VImage horse = ellipse(560, 400, 230, 95, 0) | ellipse(790, 300, 120, 38, -55) | ellipse(860, 190, 70, 30, 30) |
                               box(380, 420, 410, 700) | box(450, 430, 480, 690) | box(640, 420, 670, 700) |
                               box(700, 410, 730, 690) | ellipse(320, 430, 110, 14, 60);
    const vips::VImage sky = y / double(height / k) * -0.18 + 0.95;
    const vips::VImage rgb = (sky * 0.86).bandjoin(sky * 0.93).bandjoin(sky);
    return testimages::fromUnit(horse.ifthenelse(std::vector<double>{0.1, 0.08, 0.06}, rgb));
}

} // namespace

// The table is the order: linear steps first (one decode, one encode), colour on encoded values,
// neighbourhood steps last so that every per-pixel step before them shares one sweep.
TEST(RetouchChain, TableHoldsTheOrderAndDocumentsIt)
{
    std::string names;
    bool seenEncoded = false, seenNeighbourhood = false;
    for (const RetouchChain::Step& step : RetouchChain::steps()) {
        names += std::string(step.name) + " ";
        EXPECT_GT(std::string(step.why).size(), 20u) << step.name;
        EXPECT_FALSE(step.active(PhotoRetouchSettings{})) << step.name << " runs on neutral settings";
        EXPECT_TRUE(step.active(everyStep())) << step.name;
        if (!step.linear) seenEncoded = true;
        EXPECT_FALSE(step.linear && seenEncoded) << step.name;
        if (!step.perPixel) seenNeighbourhood = true;
        EXPECT_FALSE(step.perPixel && seenNeighbourhood) << step.name;
    }
    EXPECT_EQ(names, "autoContrast exposure shadowsHighlights brightness contrast vibrance saturation gamma denoise unsharpMask ");
    EXPECT_EQ(RetouchChain::find("gamma"), &RetouchChain::steps()[7]);
    EXPECT_EQ(RetouchChain::find("nothing"), nullptr);
}

// The renders fuse steps into sweeps over bands of rows; they must stay within one 8-bit level
// of the steps run one by one over the whole image, on photos of every kind of content, at both
// qualities and with either blur of the sharpening. The image is taller than several bands.
TEST(RetouchChain, FusedRenderStaysWithinOneLevelOfTheStepsOneByOne)
{
    const FloatImage image = photo(900, 620, 6.0);
    for (const bool lensBlur : {false, true}) {
        PhotoRetouchSettings s = everyStep();
        s.removeLensBlur = lensBlur;
        s.sharpnessRadius = lensBlur ? 6 : 1;
        for (const RetouchQuality quality : {RetouchQuality::full, RetouchQuality::preview}) {
            const auto fused = RetouchChain::run(image, s, quality, RetouchChain::Mode::fused);
            const auto reference = RetouchChain::run(image, s, quality, RetouchChain::Mode::oneByOne);
            ASSERT_TRUE(fused && reference);
            const float worst = worstDifference(*fused, *reference);
            std::printf("fused against one by one (lens blur %d, preview %d): worst %.6f\n", lensBlur,
                        quality == RetouchQuality::preview, worst);
            EXPECT_LE(worst, 1.0f / 255) << "lens blur " << lensBlur;
            // The photo did change, each region its own way.
            EXPECT_GT(worstDifference(*fused, image), 0.1f);
            EXPECT_FLOAT_EQ(fused->at(450, 300)[3], 1.0f);
        }
    }
    // Through the public entry point, the same fused render.
    const auto viaRetoucher = PhotoRetoucher::apply(image, everyStep(), RetouchQuality::full);
    const auto fused = RetouchChain::run(image, everyStep(), RetouchQuality::full);
    EXPECT_EQ(worstDifference(*viaRetoucher, *fused), 0.0f);
}

// A photo retouched as bytes, band by band, is the float render rounded to 8 bits, for RGB and
// RGBA photos and at both qualities; the alpha band goes through untouched.
TEST(RetouchChain, EightBitRenderIsTheFloatRenderRounded)
{
    const FloatImage image = photo(700, 900, 5.0);
    for (const int bands : {3, 4}) {
        std::vector<std::uint8_t> in(std::size_t(image.width) * std::size_t(image.height) * std::size_t(bands));
        FloatImage exact = image.detached();
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                for (int c = 0; c < bands; ++c) {
                    // Alpha varies across the photo so that a band mix-up would show.
                    const float v = c == 3 ? float(x % 256) / 255.0f : image.at(x, y)[c];
                    const auto byte = std::uint8_t(std::lround(v * 255));
                    in[(std::size_t(y) * std::size_t(image.width) + std::size_t(x)) * std::size_t(bands) + std::size_t(c)] = byte;
                    exact.at(x, y)[c] = byte / 255.0f;
                }
        for (const RetouchQuality quality : {RetouchQuality::full, RetouchQuality::preview}) {
            std::vector<std::uint8_t> out(in.size());
            ASSERT_TRUE(RetouchChain::run(RetouchChain::Bytes{in.data(), image.width, image.height, bands}, out.data(), everyStep(), quality));
            const auto reference = RetouchChain::run(exact, everyStep(), quality);
            int worst = 0;
            for (int y = 0; y < image.height; ++y)
                for (int x = 0; x < image.width; ++x)
                    for (int c = 0; c < bands; ++c) {
                        const int rounded = int(reference->at(x, y)[c] * 255.0f + 0.5f);
                        worst = std::max(worst, std::abs(rounded - out[(std::size_t(y) * std::size_t(image.width) + std::size_t(x)) *
                                                                         std::size_t(bands) + std::size_t(c)]));
                    }
            EXPECT_EQ(worst, 0) << bands << " bands";
            if (bands == 4) {
                EXPECT_EQ(out[(std::size_t(300) * std::size_t(image.width) + 77) * 4 + 3], 77);
            }
        }
    }
}

// Neutral settings leave every pixel as it is; each step on its own changes what it should and
// leaves the rest: exposure brightens everything, vibrance moves the dull sky more than the
// saturated red patch, sharpening the edges of the patches and not the flat interiors.
TEST(RetouchChain, NeutralIsIdentityAndStepsActWhereTheyShould)
{
    const FloatImage image = photo(600, 400, 0.0);
    const auto same = RetouchChain::run(image, PhotoRetouchSettings{}, RetouchQuality::full);
    ASSERT_TRUE(same);
    EXPECT_EQ(worstDifference(*same, image), 0.0f);

    PhotoRetouchSettings exposed;
    exposed.exposure = 1;
    const auto bright = RetouchChain::run(image, exposed, RetouchQuality::full);
    // The dark jacket patch doubles in linear light.
    const double before = SrgbCurve::decodeExact(float(regionMean(image, 500, 330, 560, 390, 1)));
    EXPECT_NEAR(SrgbCurve::decodeExact(float(regionMean(*bright, 500, 330, 560, 390, 1))), 2 * before, 0.002);

    PhotoRetouchSettings vivid;
    vivid.vibrance = 60;
    const auto vibrant = RetouchChain::run(image, vivid, RetouchQuality::full);
    // The spread between the strongest and the weakest channel of a region, after over before.
    auto gain = [&](int x0, int y0, int strong, int weak) {
        auto spread = [&](const FloatImage& i) {
            return regionMean(i, x0, y0, x0 + 20, y0 + 20, strong) - regionMean(i, x0, y0, x0 + 20, y0 + 20, weak);
        };
        return spread(*vibrant) / spread(image);
    };
    const double skyGain = gain(300, 20, 2, 0), redGain = gain(60, 290, 0, 1);
    EXPECT_GT(skyGain, 1.2);
    // The red patch is nearly saturated already: it moves far less.
    EXPECT_LT(redGain, skyGain - 0.15);
    EXPECT_GT(redGain, 1.0);

    PhotoRetouchSettings sharp;
    sharp.optimizedSharpness = true;
    sharp.sharpnessNoiseReduction = 0;
    sharp.sharpnessRadius = 8;
    const auto sharpened = RetouchChain::run(image, sharp, RetouchQuality::full);
    // Across the green patch's right edge (x = 210) into the blue one, contrast grows; inside, nothing moves.
    const float edgeBefore = image.at(208, 300)[1] - image.at(212, 300)[1];
    const float edgeAfter = sharpened->at(208, 300)[1] - sharpened->at(212, 300)[1];
    EXPECT_GT(edgeAfter, edgeBefore + 0.03f);
    EXPECT_NEAR(sharpened->at(160, 300)[1], image.at(160, 300)[1], 0.01);
}

// Where order matters it is kept: exposure before the tone curve is not the curve before the
// exposure, vibrance before saturation is not the other way round; the render is the table's order.
TEST(RetouchChain, OrderOfTheTableIsTheOrderOfTheRender)
{
    const FloatImage image = photo(300, 200, 3.0);
    PhotoRetouchSettings s;
    s.exposure = 0.8;
    s.contrast = 70;
    s.vibrance = 60;
    s.saturation = -50;
    auto inOrder = [&](std::initializer_list<const char*> names) {
        FloatImage w = image.detached();
        for (const char* name : names) RetouchChain::runStep(*RetouchChain::find(name), w, s, RetouchQuality::full);
        for (std::size_t i = 0; i < w.valueCount(); ++i) w.data()[i] = std::clamp(w.data()[i], 0.0f, 1.0f);
        return w;
    };
    const auto rendered = RetouchChain::run(image, s, RetouchQuality::full);
    EXPECT_LE(worstDifference(*rendered, inOrder({"exposure", "contrast", "vibrance", "saturation"})), 1.0f / 255);
    EXPECT_GT(worstDifference(*rendered, inOrder({"contrast", "exposure", "vibrance", "saturation"})), 4.0f / 255);
    EXPECT_GT(worstDifference(*rendered, inOrder({"exposure", "contrast", "saturation", "vibrance"})), 4.0f / 255);
}

// The neighbourhood steps run band by band with rows made again around each band; the result
// must be the filter over the whole image at once.
TEST(RetouchChain, BandsGiveTheWholeImageFilter)
{
    const FloatImage image = photo(500, 700, 8.0);
    PhotoRetouchSettings s;
    s.optimizedSharpness = true;
    s.sharpnessNoiseReduction = 40;
    s.sharpnessRadius = 14; // sigma 2 on 500 … 700 pixels; 7 for the lens blur
    for (const bool lensBlur : {false, true}) {
        s.removeLensBlur = lensBlur;
        FloatImage banded = image.detached();
        RetouchChain::runStep(*RetouchChain::find("denoise"), banded, s, RetouchQuality::full);
        RetouchChain::runStep(*RetouchChain::find("unsharpMask"), banded, s, RetouchQuality::full);

        FloatImage smoothed, blurred;
        RetouchFilters::noiseReduction(image, smoothed, 0.4 * 0.055, 0.55 - 0.22 * 0.4);
        const double r = 14 * 700.0 / 3000;
        if (lensBlur) RetouchFilters::discBlur(smoothed, blurred, r);
        else RetouchFilters::gaussianBlur(smoothed, blurred, 0.85 * r);
        RetouchKernels::unsharpMask(smoothed, blurred, 1.0f, float(0.07 * 0.4 + 0.004));
        EXPECT_LT(worstDifference(banded, blurred), 1e-4f) << "lens blur " << lensBlur;
    }
}

// A newer request stops an older render: a caller that stops wanting the result mid-way gets
// nothing back, early; one that keeps wanting it gets the render.
TEST(RetouchChain, StopsWhenTheResultIsNoLongerWanted)
{
    const FloatImage image = photo(800, 1200, 4.0);
    std::atomic<int> asked{0};
    // Before the steps are ready, and in the middle of the sweep over the bands.
    for (const int limit : {4, 14}) {
        asked = 0;
        const auto stopped = PhotoRetoucher::apply(image, everyStep(), RetouchQuality::full, [&] { return ++asked < limit; });
        EXPECT_FALSE(stopped) << limit;
        EXPECT_LT(asked.load(), limit + 4) << "it went on asking through the remaining bands";
    }
    asked = 0;
    const auto done = PhotoRetoucher::apply(image, everyStep(), RetouchQuality::full, [&] { return ++asked > 0; });
    ASSERT_TRUE(done);
    EXPECT_GT(asked.load(), 10); // once per step and per band
}

// A slider move starts from the rows the render before kept, just before the moved step, and from
// the shadow and highlight maps measured on the photo before: after every kind of move (each
// step's value, a step turned on or off, the same slider dragged again, the steps that move the
// maps' luminance changed under kept maps, a move whose render was stopped, another picture) the
// preview is the one a render from scratch gives, byte for byte.
TEST(RetouchChain, PreviewFromTheMemoEqualsTheRenderFromScratch)
{
    const QImage picture = [] {
        const FloatImage image = photo(640, 420, 6.0);
        QImage shown(image.width, image.height, QImage::Format_RGBX8888);
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                for (int c = 0; c < 4; ++c) shown.scanLine(y)[4 * x + c] = uchar(c == 3 ? 255 : std::lround(image.at(x, y)[c] * 255));
        return shown;
    }();
    RetouchChain::Memo memo;
    PhotoRetouchSettings s = everyStep();
    const auto expectSameAsFromScratch = [&](const QImage& shown, const std::string& move) {
        const QImage fromScratch = PhotoRetoucher::apply(shown, s, RetouchQuality::preview);
        const QImage fromMemo = PhotoRetoucher::apply(shown, s, RetouchQuality::preview, {}, memo);
        ASSERT_FALSE(fromMemo.isNull()) << move;
        EXPECT_TRUE(fromMemo == fromScratch) << "after moving " << move;
    };
    expectSameAsFromScratch(picture, "nothing yet");
    const std::vector<std::pair<std::string, std::function<void()>>> moves{
        {"sharpness", [&] { s.sharpnessAmount = 90; }},
        {"sharpness again", [&] { s.sharpnessAmount = 60; }},
        {"saturation", [&] { s.saturation = 10; }},
        {"exposure", [&] { s.exposure = 0.6; }},
        {"exposure again", [&] { s.exposure = -0.4; }},
        {"shadows", [&] { s.shadows = 20; }},
        {"highlights", [&] { s.highlights = -60; }},
        {"gamma off", [&] { s.gamma = 1; }},
        {"shadow radius", [&] { s.shadowRadius = 50; }},
        {"shadow radius back", [&] { s.shadowRadius = 30; }},
        {"noise reduction", [&] { s.sharpnessNoiseReduction = 5; }},
        {"contrast", [&] { s.contrast = -10; }},
        {"automatic contrast off", [&] { s.autoContrast = false; }},
        {"exposure without automatic contrast", [&] { s.exposure = 0.2; }},
        {"automatic contrast on", [&] { s.autoContrast = true; }},
        {"brightness", [&] { s.brightness = -20; }},
        {"vibrance", [&] { s.vibrance = 0; }},
        {"gamma on", [&] { s.gamma = 1.2; }},
        {"highlights off", [&] { s.highlights = 0; }},
        {"sharpening off", [&] { s.optimizedSharpness = false; }},
        {"nothing", [] {}},
    };
    for (const auto& [name, move] : moves) {
        move();
        expectSameAsFromScratch(picture, name);
    }
    // A move whose render is stopped halfway, then another.
    s.saturation = -30;
    int asked = 0;
    EXPECT_TRUE(PhotoRetoucher::apply(picture, s, RetouchQuality::preview, [&] { return ++asked < 6; }, memo).isNull());
    s.contrast = 30;
    expectSameAsFromScratch(picture, "contrast after a stopped render");
    // Another picture of the same size: nothing kept applies.
    expectSameAsFromScratch(picture.mirrored(true, false), "to another picture");
}

// The shadows and highlights map is measured on cells of several pixels, and on the middle rows of
// those cells only. On a dark horse against a bright sky, the hardest edges a photo has, the pixels
// it exposes stay within one and a half 8-bit levels of a map measured on every row of the same
// cells (the retouch may move by two), and within three levels (0.002 on average over the map) of
// a map measured at every pixel, at the full render's radii and at the widest.
TEST(RetouchChain, ReducedToneMapsStayWithinTheirBoundOnHardEdges)
{
    const FloatImage image = horseAgainstSky(1800, 1200);
    const RetouchChain::Source source = RetouchChain::sourceOf(image);
    const float shadowEV = 0.8f * 1.85f, highlightEV = -0.7f * 1.85f;
    // The worst difference of the maps, their mean difference and the worst of the pixels exposed.
    struct Gap {
        double map = 0, mean = 0, pixel = 0;
    };
    auto gap = [&](const RetouchChain::ToneMap& a, const RetouchChain::ToneMap& b) {
        std::vector<float> ra(std::size_t(image.width)), rb(std::size_t(image.width));
        auto exposed = [&](float map, float value) {
            const float gain = std::exp2(shadowEV * RetouchKernels::shadowMask(map, 0.5f) + highlightEV * RetouchKernels::highlightMask(map, 0.5f));
            return SrgbCurve::encodeExact(std::min(SrgbCurve::decodeExact(value) * gain, 1.0f));
        };
        Gap g;
        for (int y = 0; y < image.height; ++y) {
            a.sampleRow(y, ra.data());
            b.sampleRow(y, rb.data());
            for (std::size_t x = 0; x < ra.size(); ++x) {
                const double d = std::abs(ra[x] - rb[x]);
                g.map = std::max(g.map, d);
                g.mean += d;
                const float value = image.at(int(x), y)[1];
                g.pixel = std::max(g.pixel, double(std::abs(exposed(ra[x], value) - exposed(rb[x], value))));
            }
        }
        g.mean /= double(image.width) * image.height;
        return g;
    };
    for (const auto& [sigma, factor] : std::vector<std::pair<double, int>>{{24, 3}, {30, 3}, {64, 4}}) {
        const RetouchChain::ToneMap reduced(source, sigma, factor);
        const RetouchChain::ToneMap everyRow(source, sigma, factor, RetouchChain::ToneMap::Rows::every);
        const RetouchChain::ToneMap everyPixel(source, sigma, 1);
        const Gap rows = gap(reduced, everyRow), pixels = gap(reduced, everyPixel);
        std::printf("tone map sigma %.0f on cells of %d: against every row %.5f (pixels %.5f), against every pixel %.5f, mean %.5f "
                    "(pixels %.5f)\n",
                    sigma, factor, rows.map, rows.pixel, pixels.map, pixels.mean, pixels.pixel);
        EXPECT_LE(rows.pixel, 1.5 / 255) << "sigma " << sigma;
        EXPECT_LE(pixels.pixel, 3.0 / 255) << "sigma " << sigma;
        EXPECT_LT(pixels.mean, 0.002) << "sigma " << sigma;
        // The map does follow the scene: dark inside the body, bright in the sky above it.
        std::vector<float> row(std::size_t(image.width));
        reduced.sampleRow(600, row.data());
        EXPECT_LT(row[840], 0.3f) << "sigma " << sigma;
        reduced.sampleRow(60, row.data());
        EXPECT_GT(row[840], 0.7f) << "sigma " << sigma;
    }
}
