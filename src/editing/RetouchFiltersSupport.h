#pragma once

// Small pieces the filters' files share.

#include "editing/RetouchImage.h"

namespace tavrin::RetouchFilters {

inline float luma709(const float* p) { return 0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2]; }

inline void ensureShape(const FloatImage& like, FloatImage& out)
{
    if (!out.sameShape(like) || !out.pixels) out = FloatImage::allocate(like.width, like.height, like.channels);
    out.iccProfile = like.iccProfile;
}

template <typename F>
void eachPixel(FloatImage& image, F f)
{
    parallelFor(image.height, image.rowValues(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            float* p = image.row(y);
            for (int x = 0; x < image.width; ++x, p += image.channels) f(p);
        }
    });
}

} // namespace tavrin::RetouchFilters
