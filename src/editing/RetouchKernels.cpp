#include "editing/RetouchKernels.h"

#include "editing/SrgbCurve.h"
#include "editing/RetouchVectors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tavrin::RetouchKernels {

namespace {

using SrgbCurve::decode;
using SrgbCurve::encode;

float mix(float a, float b, float t) { return a + (b - a) * t; }
float smoothstep(float e0, float e1, float x)
{
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}
float luma(float r, float g, float b) { return 0.2126f * r + 0.7152f * g + 0.0722f * b; }

using Table = UnitTable;

void forRows(FloatImage& image, auto perPixel)
{
    parallelFor(image.height, image.rowValues(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            float* p = image.row(y);
            for (int x = 0; x < image.width; ++x, p += 4) perPixel(p, std::size_t(y) * std::size_t(image.width) + std::size_t(x));
        }
    });
}

// The pixel loop of a linear-light kernel, with or without the sRGB curve around it.
template <typename F>
void forLinearPixels(FloatImage& image, Light light, F f)
{
    if (light == Light::linear) {
        forRows(image, [&](float* p, std::size_t i) { f(p, i); });
        return;
    }
    forRows(image, [&](float* p, std::size_t i) {
        p[0] = decode(p[0]), p[1] = decode(p[1]), p[2] = decode(p[2]);
        f(p, i);
        p[0] = encode(p[0]), p[1] = encode(p[1]), p[2] = encode(p[2]);
    });
}

} // namespace

TAVRIN_VECTOR_CLONES
void clampRow(float* p, int count)
{
    for (std::size_t i = 0; i < std::size_t(count) * 4; ++i) p[i] = std::min(std::max(p[i], 0.0f), 1.0f);
}

void decodeRow(float* p, int count)
{
    for (int x = 0; x < count; ++x, p += 4) p[0] = decode(p[0]), p[1] = decode(p[1]), p[2] = decode(p[2]);
}

void encodeRow(float* p, int count)
{
    for (int x = 0; x < count; ++x, p += 4) p[0] = encode(p[0]), p[1] = encode(p[1]), p[2] = encode(p[2]);
}

float brightnessGain(float amount, float y) { return std::exp2(amount * (0.38f + 0.82f * (4.0f * y * (1.0f - y)))); }

namespace {
using Lanes = Float4;
inline Lanes maxLanes(Lanes a, Lanes b) { return a > b ? a : b; }
inline Lanes clampLanes(Lanes v, Lanes lo, Lanes hi) { return v < lo ? lo : (v > hi ? hi : v); }
} // namespace

TAVRIN_VECTOR_CLONES
void unsharpRow(const float* p, const float* b, float* o, int count, float amount, float threshold)
{
    // The gate's smoothstep without a branch or a division, so that pixels go through in lanes:
    // below the threshold its ramp clamps to 0 as the test did. Four pixels at a time: their
    // differences turned into channel vectors give the four gates at once (a branch per pixel
    // mispredicts on grain).
    const float ramp = 1.0f / 0.025f;
    const Lanes zero = {0, 0, 0, 0}, one = {1, 1, 1, 1};
    int x = 0;
    for (; x + 4 <= count; x += 4, p += 16, b += 16, o += 16) {
        Lanes d[4];
        for (int i = 0; i < 4; ++i) d[i] = load4(p + 4 * i) - load4(b + 4 * i);
        const Lanes a0 = absolute(d[0]), a1 = absolute(d[1]), a2 = absolute(d[2]), a3 = absolute(d[3]);
        using Index = std::int32_t __attribute__((vector_size(16)));
        const Lanes lo01 = __builtin_shuffle(a0, a1, Index{0, 4, 1, 5}), lo23 = __builtin_shuffle(a2, a3, Index{0, 4, 1, 5});
        const Lanes hi01 = __builtin_shuffle(a0, a1, Index{2, 6, 3, 7}), hi23 = __builtin_shuffle(a2, a3, Index{2, 6, 3, 7});
        const Lanes red = __builtin_shuffle(lo01, lo23, Index{0, 1, 4, 5}), green = __builtin_shuffle(lo01, lo23, Index{2, 3, 6, 7});
        const Lanes blue = __builtin_shuffle(hi01, hi23, Index{0, 1, 4, 5});
        const Lanes mag = maxLanes(maxLanes(red, green), blue);
        const Lanes t = clampLanes((mag - threshold) * ramp, zero, one);
        const Lanes k = amount * (t * t * (3.0f - 2.0f * t));
        for (int i = 0; i < 4; ++i) {
            const Lanes pixel = load4(p + 4 * i);
            Lanes r = pixel + d[i] * k[i];
            r[3] = pixel[3];
            std::memcpy(o + 4 * i, &r, sizeof r);
        }
    }
    for (; x < count; ++x, p += 4, b += 4, o += 4) {
        const float d0 = p[0] - b[0], d1 = p[1] - b[1], d2 = p[2] - b[2];
        const float mag = std::max(std::max(std::abs(d0), std::abs(d1)), std::abs(d2));
        const float t = std::min(std::max((mag - threshold) * ramp, 0.0f), 1.0f);
        const float k = amount * (t * t * (3.0f - 2.0f * t));
        const float alpha = p[3];
        o[0] = p[0] + d0 * k;
        o[1] = p[1] + d1 * k;
        o[2] = p[2] + d2 * k;
        o[3] = alpha;
    }
}

void decodeToLinear(FloatImage& image)
{
    forRows(image, [](float* p, std::size_t) { p[0] = decode(p[0]), p[1] = decode(p[1]), p[2] = decode(p[2]); });
}

void encodeFromLinear(FloatImage& image)
{
    forRows(image, [](float* p, std::size_t) { p[0] = encode(p[0]), p[1] = encode(p[1]), p[2] = encode(p[2]); });
}

void autoContrast(FloatImage& image, float lo, float hi, Light light)
{
    const float span = std::max(hi - lo, 0.004f);
    forLinearPixels(image, light, [&](float* p, std::size_t) {
        for (int c = 0; c < 3; ++c) p[c] = (p[c] - lo) / span;
    });
}

void linearLuma(const FloatImage& image, FloatImage& out, Light light)
{
    if (out.width != image.width || out.height != image.height || out.channels != 1 || !out.pixels)
        out = FloatImage::allocate(image.width, image.height, 1);
    parallelFor(image.height, image.rowValues(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const float* p = image.row(y);
            float* o = out.row(y);
            if (light == Light::linear)
                for (int x = 0; x < image.width; ++x, p += 4) o[x] = luma(p[0], p[1], p[2]);
            else
                for (int x = 0; x < image.width; ++x, p += 4) o[x] = luma(decode(p[0]), decode(p[1]), decode(p[2]));
        }
    });
}

void brightnessAdjust(FloatImage& image, float amount, Light light)
{
    auto gain = [amount](float y) { return brightnessGain(amount, y); };
    const Table table(gain);
    forLinearPixels(image, light, [&](float* p, std::size_t) {
        const float y = luma(p[0], p[1], p[2]);
        const float k = (y >= 0.0f && y <= 1.0f) ? table(y) : gain(y);
        p[0] *= k, p[1] *= k, p[2] *= k;
    });
}

float shadowMask(float luminance, float shadowWidth)
{
    const float sl = std::clamp(luminance, 0.0f, 1.0f);
    const float sw = std::clamp(shadowWidth, 0.0f, 1.0f);
    const float shadowEnd = mix(0.04f, 0.82f, sw);
    const float sm = 1.0f - smoothstep(0.0f, std::max(shadowEnd, 0.001f), sl);
    return std::pow(std::max(sm, 0.0f), mix(2.6f, 0.72f, sw));
}

float highlightMask(float luminance, float highlightWidth)
{
    const float hl = std::clamp(luminance, 0.0f, 1.0f);
    const float hw = std::clamp(highlightWidth, 0.0f, 1.0f);
    const float highlightStart = mix(0.96f, 0.18f, hw);
    const float hm = smoothstep(std::min(highlightStart, 0.999f), 1.0f, hl);
    return std::pow(std::max(hm, 0.0f), mix(2.6f, 0.72f, hw));
}

void rangeAdjust(FloatImage& image, const FloatImage& shadowMap, const FloatImage& highlightMap, float shadowEV,
                 float highlightEV, float shadowWidth, float highlightWidth, Light light)
{
    // 2^(s·sm + h·hm) = 2^(s·sm) · 2^(h·hm): one table per side over the clamped map value.
    const Table shadowGain([&](float v) { return std::exp2(shadowEV * shadowMask(v, shadowWidth)); });
    const Table highlightGain([&](float v) { return std::exp2(highlightEV * highlightMask(v, highlightWidth)); });
    const float* sMap = shadowMap.data();
    const float* hMap = highlightMap.data();
    forLinearPixels(image, light, [&](float* p, std::size_t i) {
        const float k = shadowGain(sMap[i]) * highlightGain(hMap[i]);
        p[0] *= k, p[1] *= k, p[2] *= k;
    });
}

void unsharpMask(const FloatImage& image, FloatImage& blurred, float amount, float threshold, bool clampToUnit)
{
    parallelFor(image.height, image.rowValues(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            float* b = blurred.row(y);
            // In place: each pixel is read before it is written.
            unsharpRow(image.row(y), b, b, image.width, amount, threshold);
            if (clampToUnit)
                for (int i = 0; i < image.width * 4; ++i) b[i] = std::clamp(b[i], 0.0f, 1.0f);
        }
    });
}

} // namespace tavrin::RetouchKernels
