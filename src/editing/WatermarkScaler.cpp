#include "editing/WatermarkScaler.h"

#include "editing/RetouchImage.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace tavrin::WatermarkScaler {

namespace {

// For each output position along an axis, the first of its four input taps (edges clamped) and
// the taps' Catmull-Rom weights.
struct Taps {
    std::vector<std::array<int, 4>> index;
    std::vector<std::array<float, 4>> weight;
};

Taps tapsFor(int in, int out)
{
    Taps taps;
    taps.index.resize(std::size_t(out));
    taps.weight.resize(std::size_t(out));
    const double scale = double(out) / double(in);
    for (int o = 0; o < out; ++o) {
        // Where libvips' enlargement samples, so that pages keep their pixels: output o at
        // o / scale − ½ in the input, the fraction rounded to 64ths as its interpolator does.
        const double steps = std::floor((o / scale - 0.5) * 64.0 + 0.5);
        const double base = std::floor(steps / 64.0);
        const double t = (steps - 64.0 * base) / 64.0;
        const double t2 = t * t, t3 = t2 * t;
        const std::array<double, 4> w{-0.5 * t3 + t2 - 0.5 * t, 1.5 * t3 - 2.5 * t2 + 1.0, -1.5 * t3 + 2.0 * t2 + 0.5 * t,
                                      0.5 * t3 - 0.5 * t2};
        for (int k = 0; k < 4; ++k) {
            taps.index[std::size_t(o)][std::size_t(k)] = std::clamp(int(base) - 1 + k, 0, in - 1);
            taps.weight[std::size_t(o)][std::size_t(k)] = float(w[std::size_t(k)]);
        }
    }
    return taps;
}

} // namespace

namespace {

// Rows [firstRow, height) of the enlargement into `out`.
void enlargeInto(const vips::VImage& source, int width, int height, int firstRow, std::uint8_t* out)
{
    const int w = source.width(), h = source.height();
    const int rows = height - firstRow;
    const auto* in = static_cast<const std::uint8_t*>(source.data());
    const Taps across = tapsFor(w, width);
    const Taps down = tapsFor(h, height);
    const std::size_t lineValues = std::size_t(width) * 4;
    parallelFor(rows, lineValues * 8, [&](int begin, int end) {
        // Input rows premultiplied and resampled across, each in slot (row mod 4): an output row's
        // four taps are consecutive rows, and the next output row shares most of them.
        std::vector<float> premultiplied(std::size_t(w) * 4), ring(4 * lineValues), line(lineValues);
        std::array<int, 4> held{-1, -1, -1, -1};
        const auto wide = [&](int y) -> const float* {
            float* slot = ring.data() + std::size_t(y & 3) * lineValues;
            if (held[std::size_t(y & 3)] == y) return slot;
            held[std::size_t(y & 3)] = y;
            const std::uint8_t* p = in + std::size_t(y) * std::size_t(w) * 4;
            for (int x = 0; x < w; ++x) {
                const float a = float(p[4 * x + 3]) / 255.0f;
                float* q = premultiplied.data() + 4 * x;
                q[0] = float(p[4 * x]) * a, q[1] = float(p[4 * x + 1]) * a, q[2] = float(p[4 * x + 2]) * a, q[3] = float(p[4 * x + 3]);
            }
            for (int x = 0; x < width; ++x) {
                const auto& i = across.index[std::size_t(x)];
                const auto& k = across.weight[std::size_t(x)];
                for (int c = 0; c < 4; ++c)
                    slot[4 * x + c] = k[0] * premultiplied[std::size_t(4 * i[0] + c)] + k[1] * premultiplied[std::size_t(4 * i[1] + c)] +
                                      k[2] * premultiplied[std::size_t(4 * i[2] + c)] + k[3] * premultiplied[std::size_t(4 * i[3] + c)];
            }
            return slot;
        };
        // Down, then back to straight colour in bytes.
        for (int r = begin; r < end; ++r) {
            const auto& i = down.index[std::size_t(firstRow + r)];
            const auto& k = down.weight[std::size_t(firstRow + r)];
            const float *l0 = wide(i[0]), *l1 = wide(i[1]), *l2 = wide(i[2]), *l3 = wide(i[3]);
            for (std::size_t v = 0; v < lineValues; ++v) line[v] = k[0] * l0[v] + k[1] * l1[v] + k[2] * l2[v] + k[3] * l3[v];
            std::uint8_t* o = out + std::size_t(r) * lineValues;
            for (int x = 0; x < width; ++x) {
                const float* p = line.data() + 4 * x;
                const float a = std::clamp(p[3], 0.0f, 255.0f);
                const float unit = a > 0 ? 255.0f / a : 0.0f;
                // Truncated, as libvips' cast to bytes does.
                for (int c = 0; c < 3; ++c) o[4 * x + c] = std::uint8_t(std::clamp(p[c] * unit, 0.0f, 255.0f));
                o[4 * x + 3] = std::uint8_t(a);
            }
        }
    });
}

} // namespace

std::optional<std::shared_future<vips::VImage>> enlarged(const vips::VImage& mark, int width, int height, int firstRow)
{
    const int w = mark.width(), h = mark.height();
    if (mark.format() != VIPS_FORMAT_UCHAR || mark.bands() != 4 || width < w || height < h || w < 1 || h < 1) return std::nullopt;
    firstRow = std::clamp(firstRow, 0, height - 1);
    const vips::VImage source = mark.copy_memory();
    return std::async(std::launch::async, [source, width, height, firstRow] {
        const std::size_t size = std::size_t(height - firstRow) * std::size_t(width) * 4;
        auto* out = static_cast<std::uint8_t*>(g_malloc(size));
        enlargeInto(source, width, height, firstRow, out);
        vips::VImage image = vips::VImage::new_from_memory_steal(out, size, width, height - firstRow, 4, VIPS_FORMAT_UCHAR);
        // Set on the image itself: a copy to change it would no longer be in memory.
        image.get_image()->Type = VIPS_INTERPRETATION_sRGB;
        return image;
    }).share();
}

} // namespace tavrin::WatermarkScaler
