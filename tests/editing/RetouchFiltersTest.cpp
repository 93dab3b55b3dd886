#include "RetouchTestImages.h"
#include "editing/RetouchFilters.h"
#include "editing/SrgbCurve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace tavrin;
using namespace tavrin::RetouchFilters;

namespace {

double maxDifference(const FloatImage& a, const FloatImage& b)
{
    double worst = 0;
    for (std::size_t i = 0; i < a.valueCount(); ++i) worst = std::max(worst, double(std::abs(a.data()[i] - b.data()[i])));
    return worst;
}

// One bright pixel at the centre of a black plane.
FloatImage impulse(int size)
{
    FloatImage image = testimages::fromUnit(testimages::black(size, size));
    FloatImage plane = FloatImage::allocate(size, size, 1);
    for (int i = 0; i < size * size; ++i) plane.data()[i] = image.data()[std::size_t(i) * 4];
    plane.at(size / 2, size / 2)[0] = 1;
    return plane;
}

} // namespace

TEST(RetouchFilters, PointOperationsByTheirFormulas)
{
    FloatImage grey = testimages::uniform(2, 2, {0.5, 0.5, 0.5, 0.4});
    FloatImage exposed = grey.detached();
    exposure(exposed, 1);
    EXPECT_NEAR(exposed.data()[0], 0.685836, 2e-5);
    EXPECT_FLOAT_EQ(exposed.data()[3], 0.4f);
    FloatImage powered = grey.detached();
    gammaAdjust(powered, 2.2);
    EXPECT_NEAR(powered.data()[1], 0.217638, 1e-5);
    gammaAdjust(powered, 1 / 2.2);
    EXPECT_NEAR(powered.data()[1], 0.5, 1e-5);

    FloatImage colour = testimages::uniform(1, 1, {0.8, 0.4, 0.2, 1});
    const double y = 0.2126 * 0.8 + 0.7152 * 0.4 + 0.0722 * 0.2;
    FloatImage muted = colour.detached();
    colorControls(muted, 0, 0, 1);
    EXPECT_NEAR(muted.data()[0], y, 1e-6);
    EXPECT_NEAR(muted.data()[2], y, 1e-6);
    FloatImage doubled = colour.detached();
    colorControls(doubled, 2, 0.1, 1);
    EXPECT_NEAR(doubled.data()[0], y + 2 * (0.8 - y) + 0.1, 1e-6);
}

TEST(RetouchFilters, VibranceFavoursDullColoursAndSparesSkin)
{
    auto chromaGain = [](std::vector<double> rgb) {
        FloatImage image = testimages::uniform(1, 1, {rgb[0], rgb[1], rgb[2], 1});
        FloatImage boosted = image.detached();
        vibrance(boosted, 1);
        auto spread = [](const FloatImage& i) { return i.data()[0] - i.data()[2] + std::abs(i.data()[1] - i.data()[2]); };
        return spread(boosted) / spread(image);
    };
    const double dull = chromaGain({0.55, 0.5, 0.45});
    const double vivid = chromaGain({0.9, 0.5, 0.1});
    const double skin = chromaGain({0.85, 0.65, 0.45});   // orange, hue about 30°
    const double violet = chromaGain({0.85, 0.45, 0.65}); // same spread, away from skin
    EXPECT_GT(dull, vivid);
    EXPECT_GT(vivid, 1.0);
    EXPECT_LT(skin, violet);
    FloatImage grey = testimages::uniform(1, 1, {0.3, 0.3, 0.3, 1});
    vibrance(grey, 1);
    EXPECT_NEAR(grey.data()[0], 0.3, 1e-6);
}

TEST(RetouchFilters, ToneCurveMeetsItsPointsAndStaysMonotone)
{
    const CurvePoints points{{{0, 0}, {0.25, 0.1543}, {0.5, 0.5}, {0.75, 0.8457}, {1, 1}}};
    FloatImage image = testimages::uniform(5, 1, {0, 0, 0, 1});
    for (int x = 0; x < 5; ++x) image.at(x, 0)[0] = float(x) / 4;
    toneCurve(image, points);
    for (int x = 0; x < 5; ++x) EXPECT_NEAR(image.at(x, 0)[0], points[std::size_t(x)].second, 1e-6);
    double previous = -1;
    for (int i = 0; i <= 1000; ++i) {
        const double v = toneCurveValue(points, i / 1000.0);
        EXPECT_GE(v, previous);
        previous = v;
    }
    // S-curve: darker in the lower quarter's middle, brighter in the upper one.
    EXPECT_LT(toneCurveValue(points, 0.125), 0.125);
    EXPECT_GT(toneCurveValue(points, 0.875), 0.875);
}

TEST(RetouchFilters, RecursiveGaussianMatchesDirectConvolutionAndHasTheRightWidth)
{
    const FloatImage dirac = impulse(129);
    // Against the sampled kernel, relative to its peak 1 / (2π σ²): the third-order recursion is
    // known to be within a few percent of it; 7 % bounds it with room for float rounding.
    for (double sigma : {3.0, 5.0, 8.0}) {
        FloatImage iir, direct;
        recursiveGaussian(dirac, iir, sigma);
        directGaussian(dirac, direct, sigma);
        const double peak = 1 / (2 * M_PI * sigma * sigma);
        EXPECT_LT(maxDifference(iir, direct) / peak, 0.07) << "sigma " << sigma;
    }
    // For large sigmas: total kept, the peak and the half width at half height of a Gaussian
    // (1.1774 σ). The recursion's tails are heavier, so its second moment is not the measure.
    for (double sigma : {20.0, 40.0}) {
        const FloatImage wide = impulse(513);
        FloatImage blurred;
        gaussianBlur(wide, blurred, sigma);
        double total = 0;
        for (std::size_t i = 0; i < blurred.valueCount(); ++i) total += blurred.data()[i];
        EXPECT_NEAR(total, 1.0, 1e-3);
        const double peak = blurred.at(256, 256)[0];
        EXPECT_NEAR(peak * 2 * M_PI * sigma * sigma, 1.0, 0.04) << "sigma " << sigma;
        int x = 256;
        while (blurred.at(x, 256)[0] > peak / 2) ++x;
        EXPECT_NEAR(x - 256, 1.1774 * sigma, 0.03 * sigma + 1) << "sigma " << sigma;
    }
}

// The unsharp mask blurs a band a row at a time from a ring of rows: every row, the edge rows
// included, must be the whole blur's, and each given once, in order.
TEST(RetouchFilters, GaussianRowsAreTheWholeBlursRows)
{
    const vips::VImage noise = vips::VImage::gaussnoise(97, 61, vips::VImage::option()->set("sigma", 0.2)->set("mean", 0.5));
    for (const int width : {97, 9}) {
        const vips::VImage cut = noise.extract_area(0, 0, width, 61);
        const FloatImage image = testimages::fromUnit(cut.bandjoin(cut.rot180()).bandjoin(cut.fliphor()).bandjoin_const({1}));
        for (const double sigma : {0.6, 1.7, 2.9}) {
            SCOPED_TRACE(testing::Message() << "width " << width << ", sigma " << sigma);
            FloatImage whole;
            directGaussian(image, whole, sigma);
            for (const auto& [y0, y1] : {std::pair{0, 61}, std::pair{20, 33}, std::pair{55, 61}}) {
                int next = y0;
                double worst = 0;
                gaussianRows(image, y0, y1, sigma, [&](int y, const float* row) {
                    EXPECT_EQ(y, next++);
                    for (std::size_t v = 0; v < image.rowValues(); ++v) worst = std::max(worst, double(std::abs(row[v] - whole.row(y)[v])));
                });
                EXPECT_EQ(next, y1);
                EXPECT_EQ(worst, 0);
            }
        }
    }
}

TEST(RetouchFilters, BlursExtendEdgesAndKeepUniformImages)
{
    // A gradient plane blurred hard must stay inside its own range at the borders: extended edges.
    vips::VImage ramp = vips::VImage::xyz(200, 120)[0] / 199.0;
    const FloatImage image = testimages::fromUnit(ramp.bandjoin(ramp).bandjoin(ramp).bandjoin_const({1}));
    for (double sigma : {1.5, 30.0}) {
        FloatImage out;
        gaussianBlur(image, out, sigma);
        EXPECT_NEAR(out.at(0, 60)[0], 0.0, sigma > 2 ? 0.2 : 0.01);
        EXPECT_GE(out.at(0, 60)[0], -1e-4);
        EXPECT_NEAR(out.at(100, 0)[1], image.at(100, 0)[1], 0.01);
        EXPECT_NEAR(out.at(100, 119)[3], 1.0, 1e-4);
    }
    const FloatImage flat = testimages::uniform(90, 70, {0.3, 0.6, 0.9, 1});
    FloatImage disc, smooth;
    discBlur(flat, disc, 6.5);
    EXPECT_LT(maxDifference(flat, disc), 1e-5);
    noiseReduction(flat, smooth, 0.05, 0.4);
    EXPECT_LT(maxDifference(flat, smooth), 1e-5);
}

TEST(RetouchFilters, DiscBlurSpreadsOverTheDisc)
{
    const FloatImage dirac = impulse(61);
    FloatImage out;
    const double r = 7.5;
    discBlur(dirac, out, r);
    double total = 0;
    for (int y = 0; y < 61; ++y)
        for (int x = 0; x < 61; ++x) {
            const double v = out.at(x, y)[0];
            total += v;
            const double d = std::hypot(x - 30, y - 30);
            if (d > r + 1.5) {
                EXPECT_EQ(v, 0) << x << "," << y;
            }
            if (d < r - 1.5) {
                EXPECT_NEAR(v, 1 / (M_PI * r * r), 0.15 / (M_PI * r * r)) << x << "," << y;
            }
        }
    EXPECT_NEAR(total, 1.0, 1e-3);
}

TEST(RetouchFilters, NoiseReductionSmoothsGrainButKeepsEdges)
{
    // Grain of standard deviation 0.01 on the left grey, a hard edge to a brighter right half.
    vips::VImage noise = vips::VImage::gaussnoise(80, 40, vips::VImage::option()->set("sigma", 0.01)->set("mean", 0.0));
    vips::VImage half = (vips::VImage::xyz(80, 40)[0] >= 40) / 255.0 * 0.4 + 0.3 + noise;
    const FloatImage image = testimages::fromUnit(half.bandjoin(half).bandjoin(half));
    FloatImage out;
    noiseReduction(image, out, 0.055, 0.0);
    auto deviation = [](const FloatImage& i) {
        double sum = 0, sum2 = 0;
        int n = 0;
        for (int y = 2; y < 38; ++y)
            for (int x = 2; x < 36; ++x, ++n) sum += i.at(x, y)[0], sum2 += double(i.at(x, y)[0]) * i.at(x, y)[0];
        return std::sqrt(sum2 / n - (sum / n) * (sum / n));
    };
    EXPECT_LT(deviation(out), deviation(image) * 0.6);
    EXPECT_NEAR(out.at(38, 20)[0], image.at(38, 20)[0], 0.03);
    EXPECT_NEAR(out.at(41, 20)[0], image.at(41, 20)[0], 0.03);
}

// The filter by its definition, a pixel at a time in double: each pixel averaged with its 3 × 3
// neighbours weighted by how close their luma is, then sharpened against the 3 × 3 mean of the
// averages; all of it on the image with its edges extended, alpha kept. The fast one runs eight pixels at a time in planes, so its
// edges, its last partial block and its alpha are where it can go wrong: odd widths, grain, a
// hard edge, alpha varying.
TEST(RetouchFilters, NoiseReductionFollowsItsDefinition)
{
    const double level = 0.03, sharpness = 0.4;
    for (const int width : {1, 7, 8, 9, 37}) {
        const int height = 11;
        vips::VImage noise = vips::VImage::gaussnoise(width, height, vips::VImage::option()->set("sigma", 0.02)->set("mean", 0.0));
        const vips::VImage x = vips::VImage::xyz(width, height)[0];
        const vips::VImage base = (x >= width / 2) * (0.35 / 255) + 0.3 + noise;
        const FloatImage image = testimages::fromUnit(base.bandjoin(base * 0.8 + 0.1).bandjoin(noise * 2 + 0.5).bandjoin(x / double(width)));
        FloatImage out;
        noiseReduction(image, out, level, sharpness);
        auto at = [&](const FloatImage& i, int px, int py) { return i.at(std::clamp(px, 0, width - 1), std::clamp(py, 0, height - 1)); };
        auto luma = [](const float* p) { return 0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2]; };
        // The averages over the extended image, one pixel beyond each edge too.
        const int sw = width + 2, sh = height + 2;
        std::vector<double> smooth(std::size_t(sw * sh) * 3);
        for (int py = -1; py <= height; ++py)
            for (int px = -1; px <= width; ++px) {
                double sum[3] = {}, total = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const float* q = at(image, px + dx, py + dy);
                        const double w = std::clamp(2 - std::abs(luma(q) - luma(at(image, px, py))) / level, 0.0, 1.0);
                        for (int c = 0; c < 3; ++c) sum[c] += w * q[c];
                        total += w;
                    }
                for (int c = 0; c < 3; ++c) smooth[std::size_t((py + 1) * sw + px + 1) * 3 + std::size_t(c)] = sum[c] / total;
            }
        auto smoothAt = [&](int px, int py, int c) { return smooth[std::size_t((py + 1) * sw + px + 1) * 3 + std::size_t(c)]; };
        double worst = 0;
        for (int py = 0; py < height; ++py)
            for (int px = 0; px < width; ++px) {
                for (int c = 0; c < 3; ++c) {
                    double mean = 0;
                    for (int dy = -1; dy <= 1; ++dy)
                        for (int dx = -1; dx <= 1; ++dx) mean += smoothAt(px + dx, py + dy, c) / 9;
                    const double expected = smoothAt(px, py, c) + sharpness * (smoothAt(px, py, c) - mean);
                    worst = std::max(worst, std::abs(expected - out.at(px, py)[c]));
                }
                EXPECT_EQ(out.at(px, py)[3], image.at(px, py)[3]) << width << " wide, at " << px << "," << py;
            }
        EXPECT_LT(worst, 2e-5) << width << " wide";
    }
}

TEST(RetouchFilters, MaskedExposureActsOnItsTonesOnly)
{
    vips::VImage half = (vips::VImage::xyz(60, 30)[0] >= 30) / 255.0 * 0.8 + 0.1;
    const FloatImage image = testimages::fromUnit(half.bandjoin(half).bandjoin(half).bandjoin_const({0.5}));
    FloatImage lifted = image.detached();
    maskedExposure(lifted, 1, true);
    EXPECT_GT(lifted.at(5, 15)[0], image.at(5, 15)[0] + 0.03);
    EXPECT_NEAR(lifted.at(55, 15)[0], image.at(55, 15)[0], 0.01);
    FloatImage dimmed = image.detached();
    maskedExposure(dimmed, -1, false);
    EXPECT_LT(dimmed.at(55, 15)[0], image.at(55, 15)[0] - 0.1);
    EXPECT_NEAR(dimmed.at(5, 15)[0], image.at(5, 15)[0], 0.01);
    EXPECT_FLOAT_EQ(dimmed.at(5, 15)[3], 0.5f);
}

// The colour pass must give exactly what its filters give one after the other, including for
// linear values above 1 (which take the formulas instead of the tables) and the final clamp.
// The row functions the chain fuses into one sweep do what the whole-image filters do, to the
// last bits of a float (an optimised build fuses multiply-adds in the vector copies only).
TEST(RetouchFilters, RowFunctionsEqualTheirFilters)
{
    const vips::VImage xy = vips::VImage::xyz(256, 64);
    const vips::VImage u = xy[0] / 255.0, v = xy[1] / 63.0;
    const FloatImage image = testimages::fromUnit((u * 1.3).bandjoin(v * 0.9 + u * 0.2).bandjoin(u * v).bandjoin_const({0.6}));
    const CurvePoints curve{{{0, 0}, {0.25, 0.2}, {0.5, 0.5}, {0.75, 0.8}, {1, 1}}};

    FloatImage stepwise = image.detached();
    toneCurve(stepwise, curve);
    vibrance(stepwise, 0.4);
    colorControls(stepwise, 1.3, 0, 1);
    gammaAdjust(stepwise, 0.8);

    FloatImage rows = image.detached();
    const RowFunction functions[] = {toneCurveRow(curve), vibranceRow(0.4), saturationRow(1.3), gammaRow(0.8)};
    for (int y = 0; y < rows.height; ++y)
        for (const RowFunction& f : functions) f(rows.row(y), rows.width);
    EXPECT_LT(maxDifference(rows, stepwise), 1e-6);
    EXPECT_GT(maxDifference(rows, image), 0.1);
    // Values beyond the curve's ends follow its straight extension, not a clamp.
    EXPECT_GT(rows.at(255, 0)[0], 1.0f);
    EXPECT_FLOAT_EQ(rows.at(10, 10)[3], 0.6f);
}
