#pragma once

// A photo-like 8-bit sRGB image for the benchmarks: broad light, a hard-edged disc and sensor
// grain, so that filters and encoders work as on a real photo, not on a flat colour.

#include "editing/PhotoComposer.h"
#include "editing/PhotoRetouchSettings.h"

namespace tavrin::bench {

inline vips::VImage photoLike(int width, int height, double grain)
{
    PhotoComposer::ensureVips();
    const vips::VImage xy = vips::VImage::xyz(width, height);
    const vips::VImage u = xy[0] / double(width), v = xy[1] / double(height);
    const double cx = width * 0.4, cy = height * 0.55, rr = height * 0.2;
    const vips::VImage disc = ((xy[0] - cx) * (xy[0] - cx) + (xy[1] - cy) * (xy[1] - cy)) < rr * rr;
    const vips::VImage base = u * 90 + v * 70 + 40 + disc / 255.0 * 60;
    const vips::VImage noise = vips::VImage::gaussnoise(width, height, vips::VImage::option()->set("sigma", grain));
    const vips::VImage rgb = (base + noise).bandjoin(base * 0.85 + noise + 20).bandjoin(base * 0.7 + noise + 35);
    return rgb.cast(VIPS_FORMAT_UCHAR);
}

// Every step of the retouch chain on, noise reduction included: the settings every retouch
// benchmark measures, so that their figures speak of the same work.
inline PhotoRetouchSettings everyRetouchStep()
{
    PhotoRetouchSettings s;
    s.autoContrast = true;
    s.exposure = 0.3;
    s.shadows = 40;
    s.highlights = -30;
    s.shadowRadius = s.highlightRadius = 30;
    s.brightness = 10;
    s.contrast = 20;
    s.vibrance = 25;
    s.saturation = 10;
    s.gamma = 0.9;
    s.optimizedSharpness = true;
    s.sharpnessNoiseReduction = 20;
    return s;
}

} // namespace tavrin::bench
