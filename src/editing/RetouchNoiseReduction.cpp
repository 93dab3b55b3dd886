#include "editing/RetouchFilters.h"
#include "editing/RetouchFiltersSupport.h"

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
// RGBA pixels as four-lane vectors: a neighbour's weight multiplies all its channels at once.
using Lanes = float __attribute__((vector_size(16)));
inline Lanes loadLanes(const float* p)
{
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void storeLanes(float* p, Lanes v) { std::memcpy(p, &v, sizeof v); }
inline Lanes absLanes(Lanes v)
{
    using Bits = std::uint32_t __attribute__((vector_size(16)));
    Bits b;
    std::memcpy(&b, &v, sizeof b);
    b &= 0x7fffffffu;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

} // namespace

// The same filter as noiseReductionOf for RGBA, a pixel at a time in vector lanes, and the 3 × 3
// mean of the sharpening summed as columns first.
TAVRIN_VECTOR_CLONES
void noiseReductionRows(const FloatImage& image, int y0, int y1, float* out, double noiseLevel, double sharpness)
{
    const int W = image.width, H = image.height;
    const float inverseLevel = 1.0f / std::max(float(noiseLevel), 1e-6f), amount = float(sharpness);
    const std::size_t rowValues = image.rowValues();
    const int rows = y1 - y0;
    thread_local std::vector<float> luma, smooth, columns;
    luma.resize(std::size_t(rows + 4) * std::size_t(W));
    // The smoothed rows are needed three at a time: a ring of three.
    smooth.resize(3 * rowValues);
    columns.resize(rowValues);
    for (int i = 0; i < rows + 4; ++i) {
        const float* p = image.row(std::clamp(y0 - 2 + i, 0, H - 1));
        float* l = luma.data() + std::size_t(i) * std::size_t(W);
        for (int x = 0; x < W; ++x, p += 4) l[x] = luma709(p);
    }
    auto sharpenRow = [&](int y) {
        const float* r0 = smooth.data() + std::size_t(y % 3) * rowValues;
        const float* r1 = smooth.data() + std::size_t((y + 1) % 3) * rowValues;
        const float* r2 = smooth.data() + std::size_t((y + 2) % 3) * rowValues;
        for (std::size_t v = 0; v < rowValues; v += 4)
            storeLanes(columns.data() + v, loadLanes(r0 + v) + loadLanes(r1 + v) + loadLanes(r2 + v));
        float* o = out + std::size_t(y) * rowValues;
        for (int x = 0; x < W; ++x) {
            const std::size_t xl = 4 * std::size_t(std::max(x - 1, 0)), xc = 4 * std::size_t(x),
                              xr = 4 * std::size_t(std::min(x + 1, W - 1));
            const Lanes mean =
                (loadLanes(columns.data() + xl) + loadLanes(columns.data() + xc) + loadLanes(columns.data() + xr)) * (1.0f / 9.0f);
            const Lanes centre = loadLanes(r1 + xc);
            Lanes r = centre + amount * (centre - mean);
            r[3] = centre[3];
            storeLanes(o + xc, r);
        }
    };
    for (int i = 0; i < rows + 2; ++i) {
        const int sy = std::clamp(y0 - 1 + i, 0, H - 1);
        float* o = smooth.data() + std::size_t(i % 3) * rowValues;
        const float* srcRows[3];
        const float* lumaRows[3];
        for (int d = 0; d < 3; ++d) {
            srcRows[d] = image.row(std::clamp(sy - 1 + d, 0, H - 1));
            lumaRows[d] = luma.data() + std::size_t(i + d) * std::size_t(W);
        }
        auto onePixel = [&](int x) {
            const int xl = std::max(x - 1, 0), xr = std::min(x + 1, W - 1);
            const float yc = lumaRows[1][x];
            auto weight = [&](float l) { return std::min(std::max(2.0f - std::abs(l - yc) * inverseLevel, 0.0f), 1.0f); };
            Lanes sum = {0, 0, 0, 0};
            float total = 0;
            for (int d = 0; d < 3; ++d) {
                const float* L = lumaRows[d];
                const float* S = srcRows[d];
                const float w0 = weight(L[xl]), w1 = weight(L[x]), w2 = weight(L[xr]);
                sum += w0 * loadLanes(S + 4 * std::size_t(xl)) + w1 * loadLanes(S + 4 * std::size_t(x)) +
                       w2 * loadLanes(S + 4 * std::size_t(xr));
                total += w0 + w1 + w2;
            }
            Lanes r = sum * (1.0f / total);
            r[3] = srcRows[1][4 * std::size_t(x) + 3];
            storeLanes(o + 4 * std::size_t(x), r);
        };
        onePixel(0);
        int x = 1;
        // Inside the row, the weights of four pixels at a time in vector lanes.
        const Lanes two = {2, 2, 2, 2}, zero = {0, 0, 0, 0}, one = {1, 1, 1, 1};
        for (; x + 4 <= W - 1; x += 4) {
            const Lanes yc = loadLanes(lumaRows[1] + x);
            Lanes w[9];
            Lanes total = zero;
            for (int d = 0; d < 3; ++d)
                for (int e = 0; e < 3; ++e) {
                    Lanes v = two - absLanes(loadLanes(lumaRows[d] + x + e - 1) - yc) * inverseLevel;
                    v = v < zero ? zero : v;
                    v = v > one ? one : v;
                    w[d * 3 + e] = v;
                    total += v;
                }
            const Lanes inverseTotal = one / total;
            for (int i = 0; i < 4; ++i) {
                const std::size_t at = 4 * std::size_t(x + i);
                Lanes sum = zero;
                for (int d = 0; d < 3; ++d) {
                    const float* S = srcRows[d] + at;
                    sum += w[d * 3][i] * loadLanes(S - 4) + w[d * 3 + 1][i] * loadLanes(S) + w[d * 3 + 2][i] * loadLanes(S + 4);
                }
                Lanes r = sum * inverseTotal[i];
                r[3] = srcRows[1][at + 3];
                storeLanes(o + at, r);
            }
        }
        for (; x < W; ++x) onePixel(x);
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
            noiseReductionRows(image, y0, y1, out.row(y0), noiseLevel, sharpness);
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
