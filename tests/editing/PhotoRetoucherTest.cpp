#include "RetouchTestImages.h"
#include "editing/PhotoRetoucher.h"
#include "editing/RetouchFilters.h"
#include "editing/RetouchKernels.h"
#include "editing/SrgbCurve.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

using namespace tavrin;

namespace {

// Colours across the width, brightness down the height, alpha 0.75.
FloatImage colourField(int width, int height)
{
    const vips::VImage xy = testimages::black(width, height).cast(VIPS_FORMAT_FLOAT).bandjoin(vips::VImage::xyz(width, height));
    const vips::VImage u = xy[1] / double(width - 1), v = xy[2] / double(height - 1);
    const vips::VImage r = u * 0.8 + v * 0.2, g = (u * -1 + 1) * 0.6 + v * 0.3, b = v * 0.9 + 0.05;
    return testimages::fromUnit(r.bandjoin(g).bandjoin(b).bandjoin_const({0.75}));
}

double meanAbsoluteDifference(const FloatImage& a, const FloatImage& b)
{
    double sum = 0;
    for (std::size_t i = 0; i < a.valueCount(); ++i) sum += std::abs(a.data()[i] - b.data()[i]);
    return sum / double(a.valueCount());
}

void clampUnit(FloatImage& image)
{
    for (std::size_t i = 0; i < image.valueCount(); ++i) image.data()[i] = std::clamp(image.data()[i], 0.0f, 1.0f);
}

} // namespace

TEST(PhotoRetoucher, NeutralSettingsGiveTheSameBufferBack)
{
    const FloatImage image = colourField(40, 30);
    PhotoRetouchSettings settings;
    settings.sharpnessRadius = 5;
    settings.removeLensBlur = true;
    settings.gamma = 1.0005;
    const auto out = PhotoRetoucher::apply(image, settings, RetouchQuality::full);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->data(), image.data());
    EXPECT_FALSE(PhotoRetoucher::apply(FloatImage{}, PhotoRetouchSettings{}, RetouchQuality::full));
}

TEST(PhotoRetoucher, StepsRunInTheirFixedOrder)
{
    const FloatImage image = colourField(64, 48);
    PhotoRetouchSettings s;
    s.exposure = 0.6;
    s.brightness = 30;
    s.contrast = 60;
    s.vibrance = 50;
    s.saturation = -40;
    s.gamma = 1.6;
    const auto out = PhotoRetoucher::apply(image, s, RetouchQuality::full);
    ASSERT_TRUE(out);
    EXPECT_NE(out->data(), image.data());

    auto steps = [&](std::vector<int> order) {
        FloatImage w = image.detached();
        for (int step : order) {
            switch (step) {
            case 0: RetouchFilters::exposure(w, 0.6); break;
            case 1: RetouchKernels::brightnessAdjust(w, 0.3f); break;
            case 2: PhotoRetoucher::contrastStep(w, 60); break;
            case 3: RetouchFilters::vibrance(w, 0.5); break;
            case 4: RetouchFilters::colorControls(w, 0.6, 0, 1); break;
            case 5: RetouchFilters::gammaAdjust(w, 1.6); break;
            }
        }
        clampUnit(w);
        return w;
    };
    EXPECT_LT(meanAbsoluteDifference(*out, steps({0, 1, 2, 3, 4, 5})), 1e-6);
    // Each neighbouring pair swapped gives a visibly different picture, so the order is checked.
    for (int i = 0; i < 5; ++i) {
        std::vector<int> order{0, 1, 2, 3, 4, 5};
        std::swap(order[std::size_t(i)], order[std::size_t(i + 1)]);
        EXPECT_GT(meanAbsoluteDifference(*out, steps(order)), 1e-3) << "swap " << i;
    }
    EXPECT_FLOAT_EQ(out->at(10, 10)[3], 0.75f);

    // With automatic contrast and the tone maps in front, step by step on the encoded bitmap.
    PhotoRetouchSettings t = s;
    t.autoContrast = true;
    t.shadows = 45;
    t.highlights = -30;
    t.highlightRadius = 12;
    FloatImage w = image.detached();
    PhotoRetoucher::autoContrastStep(w);
    RetouchFilters::exposure(w, 0.6);
    PhotoRetoucher::shadowsHighlightsStep(w, t, RetouchQuality::full);
    RetouchKernels::brightnessAdjust(w, 0.3f);
    PhotoRetoucher::contrastStep(w, 60);
    RetouchFilters::vibrance(w, 0.5);
    RetouchFilters::colorControls(w, 0.6, 0, 1);
    RetouchFilters::gammaAdjust(w, 1.6);
    clampUnit(w);
    const auto all = PhotoRetoucher::apply(image, t, RetouchQuality::full);
    EXPECT_LT(meanAbsoluteDifference(*all, w), 1e-5);
    EXPECT_GT(meanAbsoluteDifference(*all, *out), 1e-3);
}

TEST(PhotoRetoucher, AutomaticContrast)
{
    PhotoRetouchSettings s;
    s.autoContrast = true;
    const FloatImage grey = testimages::uniform(900, 600, {0.42, 0.42, 0.42, 1});
    EXPECT_FALSE(PhotoRetoucher::luminanceEnds(grey));
    const auto same = PhotoRetoucher::apply(grey, s, RetouchQuality::full);
    ASSERT_TRUE(same);
    EXPECT_LT(meanAbsoluteDifference(*same, grey), 1e-7);

    // A dull ramp 0.3 … 0.7 is stretched to nearly the full range.
    const vips::VImage ramp = vips::VImage::xyz(1000, 200)[0] / 999.0 * 0.4 + 0.3;
    const FloatImage dull = testimages::fromUnit(ramp.bandjoin(ramp).bandjoin(ramp));
    const auto ends = PhotoRetoucher::luminanceEnds(dull);
    ASSERT_TRUE(ends);
    EXPECT_NEAR(ends->low, 0.0732, 0.004);  // 0.3 decoded, to a bin
    EXPECT_NEAR(ends->high, 0.4397, 0.004); // 0.694 (bin 177) decoded
    const auto out = PhotoRetoucher::apply(dull, s, RetouchQuality::full);
    EXPECT_LT(out->at(0, 100)[0], 0.06);
    EXPECT_FLOAT_EQ(out->at(999, 100)[0], 1.0f);
    const float middle = dull.at(500, 100)[0];
    EXPECT_NEAR(out->at(500, 100)[1],
                SrgbCurve::encodeExact((SrgbCurve::decodeExact(middle) - ends->low) / (ends->high - ends->low)), 1e-4);
    EXPECT_FLOAT_EQ(out->at(996, 100)[3], 1.0f);
}

TEST(PhotoRetoucher, ShadowsAndHighlightsWorkOnTheirOwnTones)
{
    // Dark left half, bright right half.
    const vips::VImage half = (vips::VImage::xyz(300, 200)[0] >= 150) / 255.0 * 0.85 + 0.1;
    const FloatImage image = testimages::fromUnit(half.bandjoin(half).bandjoin(half));
    PhotoRetouchSettings s;
    s.shadows = 60;
    const auto lifted = PhotoRetoucher::apply(image, s, RetouchQuality::full);
    EXPECT_GT(lifted->at(20, 100)[0], image.at(20, 100)[0] + 0.05);
    EXPECT_NEAR(lifted->at(280, 100)[0], image.at(280, 100)[0], 0.005);
    s.shadows = 0;
    s.highlights = -60;
    const auto dimmed = PhotoRetoucher::apply(image, s, RetouchQuality::full);
    EXPECT_LT(dimmed->at(280, 100)[0], image.at(280, 100)[0] - 0.05);
    EXPECT_NEAR(dimmed->at(20, 100)[0], image.at(20, 100)[0], 0.005);
}

TEST(PhotoRetoucher, SharpeningRaisesEdgesAndCapsTheAmount)
{
    const vips::VImage soft = ((vips::VImage::xyz(120, 60)[0] >= 60) / 255.0 * 0.4 + 0.3).gaussblur(1.5);
    const FloatImage image = testimages::fromUnit(soft.bandjoin(soft).bandjoin(soft).bandjoin_const({0.5}));
    PhotoRetouchSettings s;
    s.optimizedSharpness = true;
    s.sharpnessNoiseReduction = 0;
    s.sharpnessRadius = 40; // 1.6 px on this 120-pixel image
    const auto sharpened = PhotoRetoucher::apply(image, s, RetouchQuality::full);
    EXPECT_LT(sharpened->at(58, 30)[0], image.at(58, 30)[0] - 0.01);
    EXPECT_GT(sharpened->at(61, 30)[0], image.at(61, 30)[0] + 0.01);
    EXPECT_NEAR(sharpened->at(5, 30)[0], image.at(5, 30)[0], 1e-5);
    EXPECT_FLOAT_EQ(sharpened->at(61, 30)[3], 0.5f);
    s.sharpnessAmount = 800;
    const auto capped = PhotoRetoucher::apply(image, s, RetouchQuality::full);
    s.sharpnessAmount = 500;
    EXPECT_EQ(meanAbsoluteDifference(*capped, *PhotoRetoucher::apply(image, s, RetouchQuality::full)), 0);
    s.removeLensBlur = true;
    const auto disc = PhotoRetoucher::apply(image, s, RetouchQuality::full);
    EXPECT_GT(disc->at(61, 30)[0], image.at(61, 30)[0] + 0.01);
}

// The same settings on a 2,048-pixel preview and on the 24-megapixel file, the latter reduced to
// the preview's size: radii follow the long side, so only the preview's caps, its lighter
// sharpening and the resampling differ. The bound, 0.002, is half of one 8-bit step on average:
// the two must not be told apart on screen.
TEST(PhotoRetoucher, PreviewMatchesTheFullRender)
{
    const int W = 6000, H = 4000;
    const vips::VImage xy = vips::VImage::xyz(W, H);
    const vips::VImage u = xy[0] / double(W - 1), v = xy[1] / double(H - 1);
    // Broad shading with dark and bright discs a few hundred pixels wide, a rider on a sky.
    const vips::VImage d1 = ((xy[0] - 1500) * (xy[0] - 1500) + (xy[1] - 2000) * (xy[1] - 2000)) < 600.0 * 600.0;
    const vips::VImage d2 = ((xy[0] - 4300) * (xy[0] - 4300) + (xy[1] - 1500) * (xy[1] - 1500)) < 400.0 * 400.0;
    const vips::VImage base = u * 0.3 + v * 0.3 + 0.15 - d1 / 255.0 * 0.12 + d2 / 255.0 * 0.3;
    const vips::VImage source = (base.bandjoin(base * 0.9 + 0.05).bandjoin(base * 0.8 + 0.1)).gaussblur(2);
    const FloatImage full = testimages::fromUnit(source);
    const FloatImage preview = testimages::fromUnit(source.resize(2048.0 / W));

    PhotoRetouchSettings s;
    s.shadows = 50;
    s.highlights = -40;
    s.brightness = 10;
    s.contrast = 25;
    s.optimizedSharpness = true;
    const auto bigOut = PhotoRetoucher::apply(full, s, RetouchQuality::full);
    const auto smallOut = PhotoRetoucher::apply(preview, s, RetouchQuality::preview);
    ASSERT_TRUE(bigOut && smallOut);
    const FloatImage reduced = RetouchFilters::downscale(*bigOut, smallOut->width, smallOut->height);
    const double difference = meanAbsoluteDifference(reduced, *smallOut);
    RecordProperty("meanAbsoluteDifference", std::to_string(difference));
    std::printf("preview against full: mean absolute difference %.5f\n", difference);
    EXPECT_LT(difference, 0.002);
    EXPECT_GT(meanAbsoluteDifference(*smallOut, preview), 0.02); // the settings did change it
}

// The preview blurs its tone maps on a reduced copy; on a photo with hard edges (where an
// enlarged map would show first) it must stay within the preview's bound of the map blurred at
// every pixel. Both radii are under the preview's cap, so only the reduction differs.
TEST(PhotoRetoucher, PreviewToneMapsFromAReducedCopyStayWithinTheBound)
{
    const int W = 2048, H = 1365;
    const vips::VImage xy = vips::VImage::xyz(W, H);
    const vips::VImage disc = ((xy[0] - 700) * (xy[0] - 700) + (xy[1] - 600) * (xy[1] - 600)) < 300.0 * 300.0;
    const vips::VImage bars = (xy[0] / 37).cast(VIPS_FORMAT_INT) % 2 == 0;
    const vips::VImage base = disc / 255.0 * 0.7 + (xy[0] > 1300) * (bars / 255.0) * 0.5 + 0.08;
    const FloatImage image = testimages::fromUnit(base.bandjoin(base * 0.9).bandjoin(base * 0.8 + 0.05));
    for (const double radius : {30.0, 120.0}) {
        PhotoRetouchSettings s;
        s.shadows = 80;
        s.highlights = -70;
        s.shadowRadius = radius;
        s.highlightRadius = radius / 2;
        FloatImage preview = image.detached(), full = image.detached();
        PhotoRetoucher::shadowsHighlightsStep(preview, s, RetouchQuality::preview);
        PhotoRetoucher::shadowsHighlightsStep(full, s, RetouchQuality::full);
        const double mean = meanAbsoluteDifference(preview, full);
        EXPECT_LT(mean, 0.002) << "radius " << radius;
        double worst = 0;
        for (std::size_t i = 0; i < full.valueCount(); ++i) worst = std::max(worst, double(std::abs(preview.data()[i] - full.data()[i])));
        std::printf("reduced tone maps, radius %.0f: mean %.5f, worst %.4f\n", radius, mean, worst);
        // Single pixels on the hardest edges under these strong settings move by up to about a
        // dozen 8-bit steps; a misplaced or mis-sized map would move whole regions far more.
        EXPECT_LT(worst, 0.06) << "radius " << radius;
        EXPECT_GT(meanAbsoluteDifference(full, image), 0.02) << "radius " << radius; // the step did act
        // Identical between runs.
        FloatImage again = image.detached();
        PhotoRetoucher::shadowsHighlightsStep(again, s, RetouchQuality::preview);
        EXPECT_EQ(meanAbsoluteDifference(again, preview), 0);
    }
}

// The chain running beside the reader gives the very bytes of the whole render, however the
// reader asks for its rows: the last ones first, then all of them; the colour profile travels.
TEST(PhotoRetoucher, RenderAlongsideTheReaderIsTheWholeRender)
{
    RetouchBridges::ensureVips();
    const vips::VImage xy = vips::VImage::xyz(701, 523);
    const vips::VImage grain = vips::VImage::gaussnoise(701, 523, vips::VImage::option()->set("sigma", 12.0));
    vips::VImage photo = ((xy[0] / 3 + 40).bandjoin(xy[1] / 3 + 60).bandjoin(xy[0] / 5 + xy[1] / 5) + grain).cast(VIPS_FORMAT_UCHAR);
    photo = photo.copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB)).copy_memory();
    const char profile[] = "not really a profile, carried as it is";
    vips_image_set_blob_copy(photo.get_image(), VIPS_META_ICC_NAME, profile, sizeof profile);
    PhotoRetouchSettings s;
    s.autoContrast = true;
    s.exposure = 0.4;
    s.shadows = 30;
    s.contrast = 15;
    s.vibrance = 20;
    s.optimizedSharpness = true;
    const std::optional<vips::VImage> whole = PhotoRetoucher::apply(photo, s, RetouchQuality::full);
    ASSERT_TRUE(whole);
    auto bytes = [](const vips::VImage& image) {
        std::size_t size = 0;
        void* data = image.write_to_memory(&size);
        std::string copy(static_cast<const char*>(data), size);
        g_free(data);
        return copy;
    };
    const vips::VImage alongside = PhotoRetoucher::applyAlongside(photo, s, RetouchQuality::full);
    EXPECT_EQ(bytes(alongside.extract_area(0, 400, 701, 123)), bytes(whole->extract_area(0, 400, 701, 123)));
    EXPECT_EQ(bytes(alongside), bytes(*whole));
    std::size_t length = 0;
    const void* kept = alongside.get_blob(VIPS_META_ICC_NAME, &length);
    EXPECT_EQ(std::string(static_cast<const char*>(kept), length), std::string(profile, sizeof profile));
}
