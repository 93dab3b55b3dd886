#pragma once

// Our equivalents of the image framework's filters that the retouch chain names, with the same
// parameters. Each is a pure function of its inputs; those that change pixels in place say so.
// RGBA filters work on gamma-encoded values unless they say they work in linear light.
// The point operations live in RetouchFilters.cpp, the blurs in RetouchBlurs.cpp and the noise
// reduction in RetouchNoiseReduction.cpp.

#include "editing/RetouchImage.h"

#include <array>
#include <functional>
#include <optional>
#include <utility>

namespace tavrin::RetouchFilters {

// Exposure: every linear channel multiplied by 2^ev. In place; `light` says how the image is held.
void exposure(FloatImage& image, double ev, Light light = Light::encoded);
// Vibrance: raises the saturation of dull colours more than that of vivid ones and spares skin
// hues; a negative amount mutes colours, vivid ones less. `amount` in −1 … 1. In place.
void vibrance(FloatImage& image, double amount);
// Colour controls: saturation as a mix with the Rec. 709 luma (0 grey, 1 unchanged, 2 doubled),
// then brightness added, then contrast around mid-grey. In place.
void colorControls(FloatImage& image, double saturation, double brightness, double contrast);
// Gamma: each channel raised to `power` (sign kept for out-of-range negatives). In place.
void gammaAdjust(FloatImage& image, double power);

// Tone curve through five points with increasing x: a monotone cubic spline (no overshoot between
// points), extended linearly beyond the first and last points. In place.
using CurvePoints = std::array<std::pair<double, double>, 5>;
void toneCurve(FloatImage& image, const CurvePoints& points);
double toneCurveValue(const CurvePoints& points, double x);

// The per-pixel filters above as functions of one row of `count` RGBA pixels (in place), with the
// same arithmetic, so that the retouch chain can run several of them in one sweep.
using RowFunction = std::function<void(float* rgba, int count)>;
RowFunction toneCurveRow(const CurvePoints& points);
// The sRGB encode of linear values followed by the tone curve, in one lookup.
RowFunction encodedToneCurveRow(const CurvePoints& points);
RowFunction vibranceRow(double amount);
RowFunction saturationRow(double saturation);
RowFunction gammaRow(double power);

// Noise reduction: each pixel averaged with those of its 3 × 3 neighbours whose luma differs by
// less than about `noiseLevel` (edges stay put), then the result sharpened by `sharpness` against
// its 3 × 3 mean. `out` is reused when it already has the input's shape.
void noiseReduction(const FloatImage& image, FloatImage& out, double noiseLevel, double sharpness);

// Rows [y0, y1) of the noise reduction of an RGBA image, row y0 + i written at out + i × stride
// values (0: all in one row); reads two rows either side (edges extended). Each row, once written,
// goes to `written` with its index from y0.
void noiseReductionRows(const FloatImage& image, int y0, int y1, float* out, std::size_t stride, double noiseLevel, double sharpness,
                        const std::function<void(int i, float* row)>& written = {});

// Gaussian blur of any channel count, edges extended and cropped after. Small sigmas use a direct
// convolution, larger ones the recursive filter, whose cost does not depend on sigma.
// `scratch`, when given, holds the image's size of values for the direct way's first pass.
void gaussianBlur(const FloatImage& image, FloatImage& out, double sigma, float* scratch = nullptr);
// Below this sigma, the direct way.
constexpr double kDirectGaussianLimit = 3;
// The two ways, exposed so that they can be compared.
void recursiveGaussian(const FloatImage& image, FloatImage& out, double sigma);
void directGaussian(const FloatImage& image, FloatImage& out, double sigma, float* scratch = nullptr);
// The same direct blur for rows [y0, y1) alone, one row at a time as they are made: each goes to
// `each` with its index and holds until the next. Reads the rows 3 sigma either side.
void gaussianRows(const FloatImage& image, int y0, int y1, double sigma, const std::function<void(int y, const float* blurred)>& each);

// Disc blur (the lens-blur model): the mean over a disc of `radius`, rows of the disc summed from
// running sums, so the cost grows with the radius, not its square. Edges extended.
void discBlur(const FloatImage& image, FloatImage& out, double radius);

// Masked exposure, the fallback of shadows and highlights: the image exposed by `ev`, blended over
// itself through a luminance mask (inverted and raised to 2.6 for shadows, raised to 2.4 for
// highlights) blurred with sigma 5. In place.
void maskedExposure(FloatImage& image, double ev, bool shadows);

// Area-average reduction to `width` × `height` (each at most the source's).
FloatImage downscale(const FloatImage& image, int width, int height);

} // namespace tavrin::RetouchFilters
