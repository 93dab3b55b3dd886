#pragma once

// The five per-pixel kernels of the retouch chain, with the arithmetic they are defined by.
// Each works on gamma-encoded RGBA floats; those that work in linear light decode and re-encode
// with the sRGB curve. Alpha is always kept.

#include "editing/RetouchImage.h"

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

// The two exposure masks of rangeAdjust for one luminance value, exposed for checking.
float shadowMask(float luminance, float shadowWidth);
float highlightMask(float luminance, float highlightWidth);

} // namespace tavrin::RetouchKernels
