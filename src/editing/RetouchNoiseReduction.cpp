#include "editing/RetouchFilters.h"
#include "editing/RetouchFiltersSupport.h"
#include "editing/RetouchVectors.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tavrin::RetouchFilters {

template <int C>
float luma709orValue(const float* p)
{
    if constexpr (C >= 3) return luma709(p);
    else return p[0];
}

// The channel count is fixed at compile time so that the per-pixel loops unroll.
template <int C>
void noiseReductionOf(const FloatImage& image, FloatImage& out, double noiseLevel, double sharpness)
{
    const int W = image.width, H = image.height;
    constexpr int colourChannels = std::min(C, 3);
    const float inverseLevel = 1.0f / std::max(float(noiseLevel), 1e-6f), amount = float(sharpness);
    const std::size_t rowValues = image.rowValues();
    constexpr int kBand = 64;
    const int bands = (H + kBand - 1) / kBand;
    // Each band smooths its rows plus one on either side (edges extended), then sharpens from
    // those; bands share nothing, so no row is read after another band has written it.
    parallelFor(bands, rowValues * kBand * 12, [&](int begin, int end) {
        std::vector<float> luma, smooth;
        for (int b = begin; b < end; ++b) {
            const int y0 = b * kBand, y1 = std::min(H, y0 + kBand);
            const int rows = y1 - y0;
            luma.resize(std::size_t(rows + 4) * std::size_t(W));
            smooth.resize(std::size_t(rows + 2) * rowValues);
            for (int i = 0; i < rows + 4; ++i) {
                const float* p = image.row(std::clamp(y0 - 2 + i, 0, H - 1));
                float* l = luma.data() + std::size_t(i) * std::size_t(W);
                for (int x = 0; x < W; ++x, p += C) l[x] = luma709orValue<C>(p);
            }
            // The edge-preserving mean: a neighbour's weight falls from 1 to 0 as its luma
            // difference grows from the noise level to twice it.
            for (int i = 0; i < rows + 2; ++i) {
                const int sy = std::clamp(y0 - 1 + i, 0, H - 1);
                const float* centreLuma = luma.data() + std::size_t(i + 1) * std::size_t(W);
                float* o = smooth.data() + std::size_t(i) * rowValues;
                const float* srcRows[3];
                const float* lumaRows[3];
                for (int d = 0; d < 3; ++d) {
                    srcRows[d] = image.row(std::clamp(sy - 1 + d, 0, H - 1));
                    lumaRows[d] = luma.data() + std::size_t(i + d) * std::size_t(W);
                }
                for (int x = 0; x < W; ++x) {
                    const int xs[3] = {std::max(x - 1, 0), x, std::min(x + 1, W - 1)};
                    const float yc = centreLuma[x];
                    float sum0 = 0, sum1 = 0, sum2 = 0, total = 0;
                    for (int d = 0; d < 3; ++d) {
                        for (int e = 0; e < 3; ++e) {
                            const float w = std::clamp(2.0f - std::abs(lumaRows[d][xs[e]] - yc) * inverseLevel, 0.0f, 1.0f);
                            const float* q = srcRows[d] + std::size_t(xs[e]) * std::size_t(C);
                            sum0 += w * q[0];
                            if constexpr (colourChannels == 3) {
                                sum1 += w * q[1];
                                sum2 += w * q[2];
                            }
                            total += w;
                        }
                    }
                    float* oo = o + std::size_t(x) * std::size_t(C);
                    const float* centre = srcRows[1] + std::size_t(x) * std::size_t(C);
                    oo[0] = sum0 / total;
                    if constexpr (colourChannels == 3) {
                        oo[1] = sum1 / total;
                        oo[2] = sum2 / total;
                    }
                    if constexpr (C == 4) oo[3] = centre[3];
                }
            }
            // Sharpened against the 3 × 3 mean of the smoothed rows.
            for (int y = 0; y < rows; ++y) {
                const float* r[3];
                for (int d = 0; d < 3; ++d) r[d] = smooth.data() + std::size_t(y + d) * rowValues;
                float* o = out.row(y0 + y);
                for (int x = 0; x < W; ++x) {
                    const std::size_t xs[3] = {std::size_t(std::max(x - 1, 0)) * std::size_t(C), std::size_t(x) * std::size_t(C),
                                               std::size_t(std::min(x + 1, W - 1)) * std::size_t(C)};
                    const float* s = r[1] + xs[1];
                    float* oo = o + xs[1];
                    for (int c = 0; c < colourChannels; ++c) {
                        float mean = 0;
                        for (int d = 0; d < 3; ++d) mean += r[d][xs[0] + std::size_t(c)] + r[d][xs[1] + std::size_t(c)] + r[d][xs[2] + std::size_t(c)];
                        oo[c] = s[c] + amount * (s[c] - mean * (1.0f / 9.0f));
                    }
                    if constexpr (C == 4) oo[3] = s[3];
                }
            }
        }
    });
}

namespace {
// Eight pixels of one channel.
using Lanes8 = Float8;

// One row split into planes (red, green, blue, luma), each with the edge pixel repeated twice on
// either side, so that every pixel's neighbours are plain loads: pixel x sits at x + 2.
struct Planes {
    std::vector<float> values;
    std::size_t stride = 0;
    float* plane(int c) { return values.data() + std::size_t(c) * stride; }
    const float* plane(int c) const { return values.data() + std::size_t(c) * stride; }
    void shape(int width, int planes)
    {
        // Room for the last block of eight and its right neighbours.
        stride = (std::size_t(width) + 7) / 8 * 8 + 24;
        values.resize(stride * std::size_t(planes));
    }
};

void padEdges(float* plane, int width)
{
    plane[0] = plane[1] = plane[2];
    plane[width + 3] = plane[width + 2] = plane[width + 1];
}

} // namespace

// The same filter as noiseReductionOf for RGBA, eight pixels at a time, channel by channel: the
// rows are split into planes as they are read, so that the nine weights and the weighted sums of
// eight pixels each fill one vector; the 3 × 3 mean of the sharpening is summed as columns first.
TAVRIN_VECTOR_CLONES
void noiseReductionRows(const FloatImage& image, int y0, int y1, float* out, std::size_t stride, double noiseLevel, double sharpness,
                        const std::function<void(int i, float* row)>& written)
{
    const int W = image.width, H = image.height;
    const float inverseLevel = 1.0f / std::max(float(noiseLevel), 1e-6f), amount = float(sharpness);
    const int rows = y1 - y0;
    // Rings of three: the source rows around the one smoothed, the smoothed rows around the one
    // sharpened; and the column sums of the sharpening.
    thread_local Planes source[3], smooth[3], columns;
    for (int i = 0; i < 3; ++i) source[i].shape(W, 4), smooth[i].shape(W, 3);
    columns.shape(W, 3);
    auto split = [&](int j) __attribute__((always_inline)) {
        const float* p = image.row(std::clamp(y0 - 2 + j, 0, H - 1));
        Planes& to = source[j % 3];
        float *r = to.plane(0) + 2, *g = to.plane(1) + 2, *b = to.plane(2) + 2, *l = to.plane(3) + 2;
        for (int x = 0; x < W; ++x, p += 4) {
            r[x] = p[0], g[x] = p[1], b[x] = p[2];
            l[x] = 0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2];
        }
        for (int c = 0; c < 4; ++c) padEdges(to.plane(c), W);
    };
    const Lanes8 two = {2, 2, 2, 2, 2, 2, 2, 2}, zero = {}, one = {1, 1, 1, 1, 1, 1, 1, 1};
    auto sharpenRow = [&](int y) __attribute__((always_inline)) {
        const Planes &r0 = smooth[y % 3], &r1 = smooth[(y + 1) % 3], &r2 = smooth[(y + 2) % 3];
        for (int c = 0; c < 3; ++c) {
            const float *a = r0.plane(c), *b = r1.plane(c), *d = r2.plane(c);
            float* sum = columns.plane(c);
            for (int x = 1; x < W + 3; x += 8) store8(sum + x, load8(a + x) + load8(b + x) + load8(d + x));
        }
        thread_local std::vector<float> sharp;
        sharp.resize(3 * columns.stride);
        for (int c = 0; c < 3; ++c) {
            const float* sum = columns.plane(c);
            const float* centre = r1.plane(c);
            float* o = sharp.data() + std::size_t(c) * columns.stride;
            for (int x = 2; x < W + 2; x += 8) {
                const Lanes8 mean = (load8(sum + x - 1) + load8(sum + x) + load8(sum + x + 1)) * (1.0f / 9.0f);
                const Lanes8 v = load8(centre + x);
                store8(o + x, v + amount * (v - mean));
            }
        }
        const float *sr = sharp.data() + 2, *sg = sr + columns.stride, *sb = sg + columns.stride;
        const float* alpha = image.row(y0 + y) + 3;
        float* o = out + std::size_t(y) * stride;
        float* const row = o;
        for (int x = 0; x < W; ++x, o += 4) o[0] = sr[x], o[1] = sg[x], o[2] = sb[x], o[3] = alpha[4 * std::size_t(x)];
        if (written) written(y, row);
    };
    split(0);
    split(1);
    for (int i = 0; i < rows + 2; ++i) {
        split(i + 2);
        const Planes* s[3] = {&source[i % 3], &source[(i + 1) % 3], &source[(i + 2) % 3]};
        Planes& to = smooth[i % 3];
        // The smoothed rows reach one pixel beyond each edge, as the filter of the extended image.
        for (int x = 1; x < W + 3; x += 8) {
            const Lanes8 yc = load8(s[1]->plane(3) + x);
            Lanes8 red = zero, green = zero, blue = zero, total = zero;
            for (int d = 0; d < 3; ++d) {
                Lanes8 w[3];
                for (int e = 0; e < 3; ++e) {
                    Lanes8 v = two - absolute(load8(s[d]->plane(3) + x + e - 1) - yc) * inverseLevel;
                    v = v < zero ? zero : v;
                    v = v > one ? one : v;
                    w[e] = v;
                    total += v;
                }
                const std::size_t at = std::size_t(x);
                red += w[0] * load8(s[d]->plane(0) + at - 1) + w[1] * load8(s[d]->plane(0) + at) + w[2] * load8(s[d]->plane(0) + at + 1);
                green += w[0] * load8(s[d]->plane(1) + at - 1) + w[1] * load8(s[d]->plane(1) + at) + w[2] * load8(s[d]->plane(1) + at + 1);
                blue += w[0] * load8(s[d]->plane(2) + at - 1) + w[1] * load8(s[d]->plane(2) + at) + w[2] * load8(s[d]->plane(2) + at + 1);
            }
            const Lanes8 inverseTotal = one / total;
            store8(to.plane(0) + x, red * inverseTotal);
            store8(to.plane(1) + x, green * inverseTotal);
            store8(to.plane(2) + x, blue * inverseTotal);
        }
        if (i >= 2) sharpenRow(i - 2);
    }
}

namespace {

void noiseReductionRgba(const FloatImage& image, FloatImage& out, double noiseLevel, double sharpness)
{
    constexpr int kBand = 64;
    const int bands = (image.height + kBand - 1) / kBand;
    parallelFor(bands, image.rowValues() * kBand * 12, [&](int begin, int end) {
        for (int b = begin; b < end; ++b) {
            const int y0 = b * kBand, y1 = std::min(image.height, y0 + kBand);
            noiseReductionRows(image, y0, y1, out.row(y0), image.rowValues(), noiseLevel, sharpness);
        }
    });
}

} // namespace

void noiseReduction(const FloatImage& image, FloatImage& out, double noiseLevel, double sharpness)
{
    ensureShape(image, out);
    if (image.channels == 1) noiseReductionOf<1>(image, out, noiseLevel, sharpness);
    else noiseReductionRgba(image, out, noiseLevel, sharpness);
}

} // namespace tavrin::RetouchFilters
