#include "editing/RetouchFilters.h"
#include "editing/RetouchFiltersSupport.h"
#include "editing/RetouchVectors.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace tavrin::RetouchFilters {

namespace {

// Separable filtering with edges extended. A line of n samples of `lanes` interleaved values is
// copied with `pad` repeated edge samples on each side into a scratch buffer of `Work` values;
// `lineOp(scratch, out, n, lanes, pad)` writes the n filtered samples to out. Rows are done one by
// one, columns in blocks so that memory is still read along rows.
template <typename Work, typename LineOp>
void separable(const FloatImage& image, FloatImage& out, int pad, LineOp lineOp)
{
    ensureShape(image, out);
    const int C = image.channels;
    auto fill = [](Work* to, const float* from, int count) { std::copy(from, from + count, to); };
    parallelFor(image.height, image.rowValues() * std::size_t(pad + 8) / 8, [&](int begin, int end) {
        std::vector<Work> scratch(std::size_t(image.width + 2 * pad) * std::size_t(C));
        for (int y = begin; y < end; ++y) {
            const float* src = image.row(y);
            Work* s = scratch.data();
            for (int i = 0; i < pad; ++i, s += C) fill(s, src, C);
            fill(s, src, int(image.rowValues()));
            s += image.rowValues();
            const float* last = src + image.rowValues() - std::size_t(C);
            for (int i = 0; i < pad; ++i, s += C) fill(s, last, C);
            lineOp(scratch.data(), out.row(y), image.width, C, pad);
        }
    });
    constexpr int kBlock = 32;
    const int blocks = (image.width + kBlock - 1) / kBlock;
    parallelFor(blocks, std::size_t(image.height + 2 * pad) * std::size_t(kBlock * C), [&](int begin, int end) {
        std::vector<Work> scratch;
        std::vector<float> column;
        for (int b = begin; b < end; ++b) {
            const int x0 = b * kBlock, x1 = std::min(image.width, x0 + kBlock);
            const int lanes = (x1 - x0) * C;
            scratch.resize(std::size_t(image.height + 2 * pad) * std::size_t(lanes));
            column.resize(std::size_t(image.height) * std::size_t(lanes));
            Work* s = scratch.data();
            for (int i = 0; i < pad; ++i, s += lanes) fill(s, out.at(x0, 0), lanes);
            for (int y = 0; y < image.height; ++y, s += lanes) fill(s, out.at(x0, y), lanes);
            for (int i = 0; i < pad; ++i, s += lanes) fill(s, out.at(x0, image.height - 1), lanes);
            lineOp(scratch.data(), column.data(), image.height, lanes, pad);
            for (int y = 0; y < image.height; ++y)
                std::memcpy(out.at(x0, y), column.data() + std::size_t(y) * std::size_t(lanes), sizeof(float) * std::size_t(lanes));
        }
    });
}

// Young and van Vliet's third-order recursive Gaussian: w[n] = B x[n] + a1 w[n−1] + a2 w[n−2] +
// a3 w[n−3] forwards, then the same backwards. For wide sigmas B is tiny beside a1 + a2 + a3, so
// the recursion runs in double: in float its gain drifts by several tenths of a percent.
struct Recursive {
    double B, a1, a2, a3;
};

Recursive recursiveCoefficients(double sigma)
{
    const double q = sigma >= 2.5 ? 0.98711 * sigma - 0.96330 : 3.97156 - 4.14554 * std::sqrt(1 - 0.26891 * sigma);
    const double b0 = 1.57825 + 2.44413 * q + 1.4281 * q * q + 0.422205 * q * q * q;
    const double b1 = 2.44413 * q + 2.85619 * q * q + 1.26661 * q * q * q;
    const double b2 = -(1.4281 * q * q + 1.26661 * q * q * q);
    const double b3 = 0.422205 * q * q * q;
    return {1 - (b1 + b2 + b3) / b0, b1 / b0, b2 / b0, b3 / b0};
}

void recursiveLine(const Recursive& k, double* data, float* out, int n, int lanes, int pad)
{
    const int total = n + 2 * pad;
    const std::size_t L = std::size_t(lanes);
    // Before the first sample the padded edge is constant, so the filter is at its steady state:
    // earlier outputs equal the edge value.
    std::vector<double> edge(data, data + L);
    for (int i = 0; i < total; ++i) {
        double* cur = data + std::size_t(i) * L;
        const double* p1 = i >= 1 ? cur - L : edge.data();
        const double* p2 = i >= 2 ? cur - 2 * L : edge.data();
        const double* p3 = i >= 3 ? cur - 3 * L : edge.data();
        for (std::size_t c = 0; c < L; ++c) cur[c] = k.B * cur[c] + k.a1 * p1[c] + k.a2 * p2[c] + k.a3 * p3[c];
    }
    std::copy(data + std::size_t(total - 1) * L, data + std::size_t(total) * L, edge.begin());
    for (int i = total - 1; i >= 0; --i) {
        double* cur = data + std::size_t(i) * L;
        const double* n1 = i + 1 < total ? cur + L : edge.data();
        const double* n2 = i + 2 < total ? cur + 2 * L : edge.data();
        const double* n3 = i + 3 < total ? cur + 3 * L : edge.data();
        for (std::size_t c = 0; c < L; ++c) cur[c] = k.B * cur[c] + k.a1 * n1[c] + k.a2 * n2[c] + k.a3 * n3[c];
    }
    const double* from = data + std::size_t(pad) * L;
    std::transform(from, from + L * std::size_t(n), out, [](double v) { return float(v); });
}

std::vector<float> gaussianWeights(double sigma, int radius)
{
    std::vector<float> w(std::size_t(2 * radius + 1));
    double sum = 0;
    for (int i = -radius; i <= radius; ++i) sum += (w[std::size_t(i + radius)] = float(std::exp(-0.5 * i * i / (sigma * sigma))));
    for (float& v : w) v = float(v / sum);
    return w;
}

using Lanes8 = Float8;

// One symmetric kernel (`w[j]` the weight at distance j) along lines whose samples lie `step`
// values apart: out[v] = w[0]·c[v] + Σ w[j]·(c[v − j·step] + c[v + j·step]) for `count` values from
// `centre`. Eight values at a time, the sum held in a register through every tap and written
// once; each value still sums its terms in the kernel's order.
TAVRIN_VECTOR_CLONES
void convolveValues(const float* w, int radius, const float* centre, std::size_t step, float* __restrict out, std::size_t count)
{
    std::size_t v = 0;
    for (; v + 8 <= count; v += 8) {
        Lanes8 sum = w[0] * load8(centre + v);
        for (int j = 1; j <= radius; ++j) sum += w[j] * (load8(centre + v - std::size_t(j) * step) + load8(centre + v + std::size_t(j) * step));
        std::memcpy(out + v, &sum, sizeof sum);
    }
    for (; v < count; ++v) {
        float sum = w[0] * centre[v];
        for (int j = 1; j <= radius; ++j) sum += w[j] * (centre[v - std::size_t(j) * step] + centre[v + std::size_t(j) * step]);
        out[v] = sum;
    }
}

// One row of the pass down the columns: out[v] = w[0] · centre[v] + Σ w[j] · (above[j − 1][v] +
// below[j − 1][v]), eight values at a time as above.
TAVRIN_VECTOR_CLONES
void columnValues(const float* w, int radius, const float* centre, const float* const* above, const float* const* below,
                  float* __restrict out, std::size_t count)
{
    std::size_t v = 0;
    for (; v + 8 <= count; v += 8) {
        Lanes8 sum = w[0] * load8(centre + v);
        for (int j = 1; j <= radius; ++j) sum += w[j] * (load8(above[j - 1] + v) + load8(below[j - 1] + v));
        std::memcpy(out + v, &sum, sizeof sum);
    }
    for (; v < count; ++v) {
        float sum = w[0] * centre[v];
        for (int j = 1; j <= radius; ++j) sum += w[j] * (above[j - 1][v] + below[j - 1][v]);
        out[v] = sum;
    }
}

} // namespace

void recursiveGaussian(const FloatImage& image, FloatImage& out, double sigma)
{
    const Recursive k = recursiveCoefficients(std::max(sigma, 0.5));
    // The recursive response reaches beyond 3 sigma; 4 sigma of extended edge keeps the border exact.
    const int pad = int(std::ceil(4 * sigma)) + 3;
    separable<double>(image, out, pad, [&](double* data, float* o, int n, int lanes, int p) { recursiveLine(k, data, o, n, lanes, p); });
}

namespace {

// The direct kernel's weights and how one row is blurred along itself, edges extended: the
// pixels within the radius of an edge from a short padded copy of that end, the others straight
// from the row.
class DirectKernel {
public:
    DirectKernel(double sigma, int width, int channels)
        : m_radius(std::max(1, int(std::ceil(3 * sigma)))), m_weights(gaussianWeights(sigma, m_radius)), m_width(width), m_channels(channels)
    {
    }
    int radius() const { return m_radius; }
    const float* weights() const { return m_weights.data() + m_radius; }

    void across(const float* src, float* o, std::vector<float>& padded) const
    {
        const int radius = m_radius, W = m_width, C = m_channels;
        const std::size_t c = std::size_t(C), r = std::size_t(radius), rowValues = std::size_t(W) * c;
        const bool inPlace = W > 4 * radius;
        const int ends = inPlace ? 2 * radius : W;
        padded.resize(std::size_t(ends + 2 * radius) * c);
        float* s = padded.data();
        for (int i = 0; i < radius; ++i, s += C) std::copy(src, src + C, s);
        if (!inPlace) {
            s = std::copy(src, src + rowValues, s);
            for (int i = 0; i < radius; ++i, s += C) std::copy(src + rowValues - c, src + rowValues, s);
            convolveValues(weights(), radius, padded.data() + r * c, c, o, rowValues);
            return;
        }
        // The left end: its first 2 × radius pixels after the repeated edge.
        std::copy(src, src + 2 * r * c, s);
        convolveValues(weights(), radius, padded.data() + r * c, c, o, r * c);
        convolveValues(weights(), radius, src + r * c, c, o + r * c, rowValues - 2 * r * c);
        // The right end: its last 2 × radius pixels before the repeated edge.
        s = std::copy(src + rowValues - 2 * r * c, src + rowValues, padded.data());
        for (int i = 0; i < radius; ++i, s += C) std::copy(src + rowValues - c, src + rowValues, s);
        convolveValues(weights(), radius, padded.data() + r * c, c, o + rowValues - r * c, r * c);
    }

    // Row y down the columns from the rows blurred across, which `acrossRow(y)` gives (edge rows
    // repeated): the sums run along memory.
    template <typename Across>
    void down(int y, int height, const Across& acrossRow, float* out, std::vector<const float*>& above, std::vector<const float*>& below) const
    {
        above.resize(std::size_t(m_radius)), below.resize(std::size_t(m_radius));
        for (int j = 1; j <= m_radius; ++j) {
            above[std::size_t(j - 1)] = acrossRow(std::max(y - j, 0));
            below[std::size_t(j - 1)] = acrossRow(std::min(y + j, height - 1));
        }
        columnValues(weights(), m_radius, acrossRow(y), above.data(), below.data(), out, std::size_t(m_width) * std::size_t(m_channels));
    }

private:
    int m_radius;
    std::vector<float> m_weights;
    int m_width, m_channels;
};

} // namespace

void directGaussian(const FloatImage& image, FloatImage& out, double sigma, float* scratch)
{
    const DirectKernel kernel(sigma, image.width, image.channels);
    ensureShape(image, out);
    const int H = image.height;
    const std::size_t rowValues = image.rowValues();
    std::vector<float> own;
    float* across = scratch;
    if (!across) {
        own.resize(image.valueCount());
        across = own.data();
    }
    const std::size_t cost = rowValues * std::size_t(kernel.radius() + 1);
    parallelFor(H, cost, [&](int begin, int end) {
        std::vector<float> padded;
        for (int y = begin; y < end; ++y) kernel.across(image.row(y), across + std::size_t(y) * rowValues, padded);
    });
    parallelFor(H, cost, [&](int begin, int end) {
        std::vector<const float*> above, below;
        const auto acrossRow = [&](int y) { return across + std::size_t(y) * rowValues; };
        for (int y = begin; y < end; ++y) kernel.down(y, H, acrossRow, out.row(y), above, below);
    });
}

void gaussianRows(const FloatImage& image, int y0, int y1, double sigma, const std::function<void(int y, const float* blurred)>& each)
{
    const DirectKernel kernel(sigma, image.width, image.channels);
    const int H = image.height, span = 2 * kernel.radius() + 1;
    const std::size_t rowValues = image.rowValues();
    // The rows blurred across that the next row down needs, each in slot (row mod span); they stay
    // in the second-level cache, where a whole band of them would not.
    thread_local std::vector<float> ring, blurred, padded;
    thread_local std::vector<const float*> above, below;
    ring.resize(std::size_t(span) * rowValues);
    blurred.resize(rowValues);
    const auto acrossRow = [&](int y) { return ring.data() + std::size_t(y % span) * rowValues; };
    int next = std::max(y0 - kernel.radius(), 0);
    for (int y = y0; y < y1; ++y) {
        for (const int last = std::min(y + kernel.radius(), H - 1); next <= last; ++next)
            kernel.across(image.row(next), ring.data() + std::size_t(next % span) * rowValues, padded);
        kernel.down(y, H, acrossRow, blurred.data(), above, below);
        each(y, blurred.data());
    }
}

void gaussianBlur(const FloatImage& image, FloatImage& out, double sigma, float* scratch)
{
    // Below 3 the direct kernel has at most 19 taps and is more faithful than the recursion.
    if (sigma < kDirectGaussianLimit) directGaussian(image, out, sigma, scratch);
    else recursiveGaussian(image, out, sigma);
}

void discBlur(const FloatImage& image, FloatImage& out, double radius)
{
    ensureShape(image, out);
    const int W = image.width, H = image.height, C = image.channels;
    const double r = std::max(radius, 0.0);
    const int R = int(std::floor(r));
    const int pad = R + 2;
    const int paddedWidth = W + 2 * pad;
    // For each row offset of the disc: the whole half-width k and the fraction f of the pixel just
    // beyond it, so the disc's area follows the radius smoothly.
    std::vector<int> whole(std::size_t(2 * R + 1));
    std::vector<float> fraction(std::size_t(2 * R + 1));
    double area = 0;
    for (int dy = -R; dy <= R; ++dy) {
        const double half = std::sqrt(std::max(0.0, r * r - double(dy) * dy));
        whole[std::size_t(dy + R)] = int(std::floor(half));
        fraction[std::size_t(dy + R)] = float(half - std::floor(half));
        area += 2 * std::floor(half) + 1 + 2 * (half - std::floor(half));
    }
    const float norm = float(1 / area);
    constexpr int kBand = 32;
    const int bands = (H + kBand - 1) / kBand;
    parallelFor(bands, image.rowValues() * std::size_t(kBand) * std::size_t(2 * R + 1), [&](int begin, int end) {
        // Padded rows and their running sums for the band and R rows either side.
        std::vector<float> rows, sums;
        const std::size_t PW = std::size_t(paddedWidth) * std::size_t(C);
        for (int b = begin; b < end; ++b) {
            const int y0 = b * kBand, y1 = std::min(H, y0 + kBand);
            const int count = y1 - y0 + 2 * R;
            rows.resize(std::size_t(count) * PW);
            sums.resize(std::size_t(count) * (PW + std::size_t(C)));
            for (int i = 0; i < count; ++i) {
                const float* src = image.row(std::clamp(y0 - R + i, 0, H - 1));
                float* dst = rows.data() + std::size_t(i) * PW;
                for (int x = 0; x < paddedWidth; ++x)
                    std::memcpy(dst + std::size_t(x) * std::size_t(C), src + std::size_t(std::clamp(x - pad, 0, W - 1)) * std::size_t(C),
                                sizeof(float) * std::size_t(C));
                // sums[x] holds the total of the x samples before it (per channel), in double-free
                // float: rows are short enough for that.
                float* s = sums.data() + std::size_t(i) * (PW + std::size_t(C));
                for (int c = 0; c < C; ++c) s[c] = 0;
                for (std::size_t v = 0; v < PW; ++v) s[v + std::size_t(C)] = s[v] + dst[v];
            }
            for (int y = y0; y < y1; ++y) {
                float* o = out.row(y);
                std::fill(o, o + image.rowValues(), 0.0f);
                for (int dy = -R; dy <= R; ++dy) {
                    const int i = y - y0 + R + dy;
                    const float* row = rows.data() + std::size_t(i) * PW;
                    const float* s = sums.data() + std::size_t(i) * (PW + std::size_t(C));
                    const int k = whole[std::size_t(dy + R)];
                    const float f = fraction[std::size_t(dy + R)];
                    for (int x = 0; x < W; ++x) {
                        const int px = x + pad;
                        const std::size_t lo = std::size_t(px - k) * std::size_t(C), hi = std::size_t(px + k + 1) * std::size_t(C);
                        const std::size_t left = std::size_t(px - k - 1) * std::size_t(C);
                        float* q = o + std::size_t(x) * std::size_t(C);
                        for (int c = 0; c < C; ++c) q[c] += s[hi + std::size_t(c)] - s[lo + std::size_t(c)] + f * (row[hi + std::size_t(c)] + row[left + std::size_t(c)]);
                    }
                }
                for (std::size_t v = 0; v < image.rowValues(); ++v) o[v] *= norm;
            }
        }
    });
}

} // namespace tavrin::RetouchFilters
