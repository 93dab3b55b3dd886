#pragma once

// Test bitmaps drawn by libvips, brought in through the same bridge the application uses.

#include "editing/RetouchBridges.h"

#include <vips/vips8>

#include <vector>

namespace tavrin::testimages {

// A float image filled with one RGBA colour.
inline FloatImage uniform(int width, int height, std::vector<double> rgba)
{
    RetouchBridges::ensureVips();
    return RetouchBridges::fromVips(vips::VImage::black(width, height).cast(VIPS_FORMAT_FLOAT).new_from_image(rgba));
}

// Float image from any libvips image with values 0 … 1 (bands 1, 3 or 4).
inline FloatImage fromUnit(const vips::VImage& image) { return RetouchBridges::fromVips(image.cast(VIPS_FORMAT_FLOAT)); }

inline vips::VImage black(int width, int height)
{
    RetouchBridges::ensureVips();
    return vips::VImage::black(width, height);
}

} // namespace tavrin::testimages
