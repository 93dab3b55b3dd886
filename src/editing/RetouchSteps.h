#pragma once

// What the retouch chain's table points at: each step's prepare function, one file per kind of
// step, and the small pieces they share. Only the chain and its steps include this.

#include "editing/RetouchChain.h"
#include "editing/RetouchFilters.h"

#include <memory>

namespace tavrin::RetouchChain {

inline float luma(const float* p) { return 0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2]; }

// A bitmap over memory owned elsewhere, so that the whole-image filters can work on one band.
inline FloatImage view(float* data, int width, int height, int channels = 4)
{
    FloatImage v;
    v.width = width;
    v.height = height;
    v.channels = channels;
    v.pixels = std::shared_ptr<float[]>(data, [](float*) {});
    return v;
}

// A per-pixel step given as a function of one row.
class RowWork : public Work {
public:
    explicit RowWork(RetouchFilters::RowFunction f, std::optional<Affine> luminance = std::nullopt)
        : m_f(std::move(f)), m_luminance(luminance)
    {
    }
    void pixels(float* row, int, int width) const override { m_f(row, width); }
    std::optional<Affine> luminanceMap() const override { return m_luminance; }

private:
    RetouchFilters::RowFunction m_f;
    std::optional<Affine> m_luminance;
};

template <typename F>
std::unique_ptr<Work> rowWork(F f, std::optional<Affine> luminance = std::nullopt)
{
    return std::make_unique<RowWork>(RetouchFilters::RowFunction(std::move(f)), luminance);
}

// Tone: automatic contrast, exposure, brightness.
std::unique_ptr<Work> prepareAutoContrast(const Context& c, const Source& before);
std::unique_ptr<Work> prepareExposure(const Context& c, const Source& before);
std::unique_ptr<Work> prepareBrightness(const Context& c, const Source& before);
// Local exposure through blurred luminance maps.
std::unique_ptr<Work> prepareShadowsHighlights(const Context& c, const Source& before);
// Colour on encoded values.
std::unique_ptr<Work> prepareContrast(const Context& c, const Source& before);
std::unique_ptr<Work> prepareVibrance(const Context& c, const Source& before);
std::unique_ptr<Work> prepareSaturation(const Context& c, const Source& before);
std::unique_ptr<Work> prepareGamma(const Context& c, const Source& before);
// Sharpening: grain smoothed, then the unsharp mask.
double noiseShare(const PhotoRetouchSettings& s);
double sharpenAmount(const PhotoRetouchSettings& s);
std::unique_ptr<Work> prepareDenoise(const Context& c, const Source& before);
std::unique_ptr<Work> prepareUnsharp(const Context& c, const Source& before);

} // namespace tavrin::RetouchChain
