#include "RetouchTestImages.h"
#include "editing/RetouchKernels.h"
#include "editing/SrgbCurve.h"

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::RetouchKernels;

TEST(RetouchKernels, BrightnessLiftsMidGreyByTheFormulaAndKeepsAlpha)
{
    FloatImage up = testimages::uniform(3, 2, {0.5, 0.5, 0.5, 0.3});
    FloatImage down = up.detached();
    brightnessAdjust(up, 1);
    brightnessAdjust(down, -1);
    // decode 0.5 → 0.21404, ev = ±(0.38 + 0.82·4y(1 − y)) = ±0.9318, re-encoded.
    for (const auto& [image, expected] : {std::pair{&up, 0.671384}, std::pair{&down, 0.369053}}) {
        const float* p = image->at(2, 1);
        EXPECT_NEAR(p[0], expected, 2e-5);
        EXPECT_NEAR(p[1], expected, 2e-5);
        EXPECT_NEAR(p[2], expected, 2e-5);
        EXPECT_FLOAT_EQ(p[3], 0.3f);
    }
}

TEST(RetouchKernels, LinearLumaAndAutoContrast)
{
    FloatImage image = testimages::uniform(2, 2, {1, 0, 0, 1});
    image.at(1, 1)[0] = 0.5f, image.at(1, 1)[1] = 0.5f, image.at(1, 1)[2] = 0.5f;
    FloatImage luma;
    linearLuma(image, luma);
    ASSERT_EQ(luma.channels, 1);
    EXPECT_NEAR(luma.at(0, 0)[0], 0.2126, 1e-5);
    EXPECT_NEAR(luma.at(1, 1)[0], 0.214041, 1e-5);

    // Linear (0.21404 − 0.1) / 0.5 re-encoded; a span under 0.004 is widened to it.
    autoContrast(image, 0.1f, 0.6f);
    EXPECT_NEAR(image.at(1, 1)[0], 0.514889, 2e-5);
    FloatImage flat = testimages::uniform(1, 1, {0.5, 0.5, 0.5, 1});
    autoContrast(flat, SrgbCurve::decodeExact(0.5f), SrgbCurve::decodeExact(0.5f));
    EXPECT_NEAR(flat.data()[0], 0.0, 1e-4);
}

TEST(RetouchKernels, RangeAdjustMasksAtTonalWidthsZeroAndOne)
{
    // Width 0: shadows end at 0.04 with exponent 2.6; width 1: at 0.82 with exponent 0.72.
    EXPECT_NEAR(shadowMask(0.01f, 0), 0.642918, 1e-5);
    EXPECT_NEAR(shadowMask(0.02f, 0), 0.164938, 1e-5);
    EXPECT_FLOAT_EQ(shadowMask(0.3f, 0), 0);
    EXPECT_NEAR(shadowMask(0.3f, 1), 0.770645, 1e-5);
    EXPECT_NEAR(shadowMask(0.5f, 1), 0.457962, 1e-5);
    EXPECT_FLOAT_EQ(shadowMask(-3, 1), 1);
    EXPECT_FLOAT_EQ(highlightMask(0.5f, 0), 0);
    EXPECT_NEAR(highlightMask(0.97f, 0), 0.00801553, 1e-5);
    EXPECT_NEAR(highlightMask(0.99f, 0), 0.642918, 1e-5);
    EXPECT_NEAR(highlightMask(0.3f, 1), 0.128694, 1e-5);
    EXPECT_FLOAT_EQ(highlightMask(7, 0), 1);

    // A mid-grey pixel under a dark map, shadows +100 % at width 0: 2^(1.85 × 0.642918).
    FloatImage image = testimages::uniform(2, 1, {0.5, 0.5, 0.5, 0.8});
    FloatImage shadowMap = testimages::uniform(2, 1, {0.01});
    shadowMap.data()[1] = 0.5f;
    FloatImage highlightMap = testimages::uniform(2, 1, {0.5});
    rangeAdjust(image, shadowMap, highlightMap, 1.85f, -1.85f, 0, 0);
    EXPECT_NEAR(image.at(0, 0)[1], 0.727489, 3e-5);
    EXPECT_NEAR(image.at(1, 0)[1], 0.5, 1e-5);
    EXPECT_FLOAT_EQ(image.at(0, 0)[3], 0.8f);
}

TEST(RetouchKernels, UnsharpGateBelowAndAboveThreshold)
{
    FloatImage image = testimages::uniform(3, 1, {0.5, 0.5, 0.5, 0.6});
    FloatImage blurred = testimages::uniform(3, 1, {0.5, 0.5, 0.5, 1});
    blurred.at(0, 0)[0] = 0.497f; // 0.003 under a 0.004 threshold: untouched
    blurred.at(1, 0)[1] = 0.49f;  // 0.01: gate smoothstep(0.004, 0.029, 0.01) = 0.145152
    blurred.at(2, 0)[2] = 0.45f;  // 0.05: full gate
    unsharpMask(image, blurred, 2, 0.004f);
    EXPECT_FLOAT_EQ(blurred.at(0, 0)[0], 0.5f);
    EXPECT_NEAR(blurred.at(1, 0)[1], 0.5 + 0.01 * 2 * 0.145152, 1e-6);
    EXPECT_NEAR(blurred.at(1, 0)[0], 0.5, 1e-6);
    EXPECT_NEAR(blurred.at(2, 0)[2], 0.6, 1e-6);
    EXPECT_FLOAT_EQ(blurred.at(2, 0)[3], 0.6f);
}
