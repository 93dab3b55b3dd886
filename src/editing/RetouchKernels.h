#pragma once

// The five per-pixel kernels of the retouch chain, with the arithmetic they are defined by.
// Each works on gamma-encoded RGBA floats; those that work in linear light decode and re-encode
// with the sRGB curve. Alpha is always kept.

#include "editing/RetouchImage.h"

#include <algorithm>
#include <vector>

namespace tavrin::RetouchKernels {

// The kernels that work in linear light take `light`: with Light::linear the image is already
// decoded and stays so (the same arithmetic without the decode and encode around it).

// (c − lo) / max(hi − lo, 0.004) on each linear channel; lo and hi are linear end points.
void autoContrast(FloatImage& image, float lo, float hi, Light light = Light::encoded);
// Linear Rec. 709 luminance into a one-channel plane of the image's size (`luma` is reused when
// it already has that shape).
void linearLuma(const FloatImage& image, FloatImage& luma, Light light = Light::encoded);
// Mid-tone lift: 2^(amount × (0.38 + 0.82 × 4y(1 − y))) on the linear channels.
void brightnessAdjust(FloatImage& image, float amount, Light light = Light::encoded);
// Local exposure through the blurred shadow and highlight luminance maps.
void rangeAdjust(FloatImage& image, const FloatImage& shadowMap, const FloatImage& highlightMap, float shadowEV,
                 float highlightEV, float shadowWidth, float highlightWidth, Light light = Light::encoded);

// The sRGB curve over the colour channels, to and from linear light. In place.
void decodeToLinear(FloatImage& image);
void encodeFromLinear(FloatImage& image);
// Unsharp mask gated by the largest channel difference; the result replaces `blurred`, with all
// four channels clamped to 0 … 1 when `clampToUnit` (the last step of a render).
void unsharpMask(const FloatImage& image, FloatImage& blurred, float amount, float threshold, bool clampToUnit = false);

// A function of one value over 0 … 1 sampled finely enough that interpolating it stays within
// 1e-5 of the formula; per-pixel powers and exponentials become two loads. Values outside 0 … 1
// read the nearest end.
class UnitTable {
public:
    static constexpr int kSteps = 8192;
    template <typename F>
    explicit UnitTable(F f) : m_values(kSteps + 1)
    {
        for (int i = 0; i <= kSteps; ++i) m_values[std::size_t(i)] = f(float(double(i) / kSteps));
    }
    float operator()(float v) const
    {
        const float position = std::clamp(v, 0.0f, 1.0f) * float(kSteps);
        const int i = std::min(int(position), kSteps - 1);
        return m_values[std::size_t(i)] + (m_values[std::size_t(i) + 1] - m_values[std::size_t(i)]) * (position - float(i));
    }

private:
    std::vector<float> m_values;
};

// One row of `count` RGBA pixels at a time, for the chain's fused sweeps: the sRGB curve over the
// colour channels, and the unsharp mask of `pixel` against `blurred` written to `out` (which may
// be `blurred`).
void decodeRow(float* rgba, int count);
void encodeRow(float* rgba, int count);
void unsharpRow(const float* pixel, const float* blurred, float* out, int count, float amount, float threshold);
// Every value of `count` RGBA pixels clamped to 0 … 1, alpha included.
void clampRow(float* rgba, int count);
// The brightness kernel's gain for a linear luminance y.
float brightnessGain(float amount, float y);

// The two exposure masks of rangeAdjust for one luminance value, exposed for checking.
float shadowMask(float luminance, float shadowWidth);
float highlightMask(float luminance, float highlightWidth);

} // namespace tavrin::RetouchKernels
