#include "editing/RetouchFilters.h"

#include "editing/SrgbCurve.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace tavrin::RetouchFilters {

namespace {

using SrgbCurve::decode;
using SrgbCurve::encode;

float luma709(const float* p) { return 0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2]; }

void ensureShape(const FloatImage& like, FloatImage& out)
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

// kLanes > 0 fixes the lane count (one RGBA pixel along a row) so the inner loop unrolls.
template <int kLanes>
void convolveLineOf(const std::vector<float>& w, const float* data, float* out, int n, int lanes, int pad)
{
    const int radius = int(w.size() / 2);
    const std::size_t L = kLanes > 0 ? std::size_t(kLanes) : std::size_t(lanes);
    // The kernel is symmetric: each weight serves the two samples at its distance.
    for (int i = 0; i < n; ++i) {
        float* o = out + std::size_t(i) * L;
        const float* centre = data + std::size_t(i + pad) * L;
        const float w0 = w[std::size_t(radius)];
        for (std::size_t c = 0; c < L; ++c) o[c] = w0 * centre[c];
        for (int j = 1; j <= radius; ++j) {
            const float* before = centre - std::size_t(j) * L;
            const float* after = centre + std::size_t(j) * L;
            const float wj = w[std::size_t(radius + j)];
            for (std::size_t c = 0; c < L; ++c) o[c] += wj * (before[c] + after[c]);
        }
    }
}

void convolveLine(const std::vector<float>& w, const float* data, float* out, int n, int lanes, int pad)
{
    if (lanes == 4) convolveLineOf<4>(w, data, out, n, lanes, pad);
    else if (lanes == 1) convolveLineOf<1>(w, data, out, n, lanes, pad);
    else convolveLineOf<0>(w, data, out, n, lanes, pad);
}

} // namespace

void exposure(FloatImage& image, double ev, Light light)
{
    const float k = float(std::exp2(ev));
    if (light == Light::linear) {
        eachPixel(image, [k](float* p) { p[0] *= k, p[1] *= k, p[2] *= k; });
        return;
    }
    eachPixel(image, [k](float* p) {
        for (int c = 0; c < 3; ++c) p[c] = encode(decode(p[c]) * k);
    });
}

double toneCurveValue(const CurvePoints& pts, double x)
{
    // Fritsch–Carlson tangents make the Hermite spline monotone wherever the points are.
    constexpr int n = 5;
    double d[n - 1], m[n];
    for (int i = 0; i < n - 1; ++i) d[i] = (pts[i + 1].second - pts[i].second) / (pts[i + 1].first - pts[i].first);
    m[0] = d[0];
    m[n - 1] = d[n - 2];
    for (int i = 1; i < n - 1; ++i) m[i] = d[i - 1] * d[i] <= 0 ? 0 : (d[i - 1] + d[i]) / 2;
    for (int i = 0; i < n - 1; ++i) {
        if (d[i] == 0) {
            m[i] = m[i + 1] = 0;
            continue;
        }
        const double a = m[i] / d[i], b = m[i + 1] / d[i], h = a * a + b * b;
        if (h > 9) {
            const double t = 3 / std::sqrt(h);
            m[i] = t * a * d[i];
            m[i + 1] = t * b * d[i];
        }
    }
    if (x <= pts[0].first) return pts[0].second + (x - pts[0].first) * m[0];
    if (x >= pts[n - 1].first) return pts[n - 1].second + (x - pts[n - 1].first) * m[n - 1];
    int i = 0;
    while (x > pts[i + 1].first) ++i;
    const double h = pts[i + 1].first - pts[i].first, t = (x - pts[i].first) / h;
    const double t2 = t * t, t3 = t2 * t;
    return (2 * t3 - 3 * t2 + 1) * pts[i].second + (t3 - 2 * t2 + t) * h * m[i] + (-2 * t3 + 3 * t2) * pts[i + 1].second +
           (t3 - t2) * h * m[i + 1];
}

namespace {

// The per-pixel colour filters as values, so that the colour pass can run several of them in one
// sweep over the image with exactly the arithmetic each does on its own.
struct VibranceOp {
    float a;
    void operator()(float* p) const
    {
        const float mx = std::max({p[0], p[1], p[2]}), mn = std::min({p[0], p[1], p[2]});
        const float sat = std::clamp(mx - mn, 0.0f, 1.0f);
        float weight;
        if (a > 0) {
            // Skin sits around an orange hue (red above green above blue, green halfway):
            // full protection at 30°, none below 15° or above 45°.
            float skin = 0;
            if (p[0] > p[1] && p[1] >= p[2] && mx > mn) {
                const float hue = (p[1] - p[2]) / (p[0] - p[2]);
                skin = std::max(0.0f, 1.0f - std::abs(hue - 0.5f) * 4.0f) * std::min(1.0f, sat * 4.0f);
            }
            weight = (1.0f - sat) * (1.0f - 0.7f * skin);
        } else {
            weight = 1.0f - 0.5f * sat;
        }
        const float k = 1.0f + a * weight;
        const float y = luma709(p);
        for (int c = 0; c < 3; ++c) p[c] = y + (p[c] - y) * k;
    }
};

struct ColorControlsOp {
    float s, b, k;
    void operator()(float* p) const
    {
        const float y = luma709(p);
        for (int c = 0; c < 3; ++c) p[c] = ((y + (p[c] - y) * s + b) - 0.5f) * k + 0.5f;
    }
};

class GammaOp {
public:
    explicit GammaOp(double power) : m_power(float(power)), m_table(kSteps + 1)
    {
        for (int i = 0; i <= kSteps; ++i)
            m_table[std::size_t(i)] = std::pow(kTableStart + (1 - kTableStart) * float(i) / kSteps, m_power);
    }
    void operator()(float* p) const
    {
        for (int c = 0; c < 3; ++c) p[c] = power(p[c]);
    }

private:
    // Interpolating a power with a steep start is inexact near zero, so the table starts above it.
    static constexpr int kSteps = 8192;
    static constexpr float kTableStart = 1.0f / 256.0f;
    float power(float v) const
    {
        if (v >= kTableStart && v <= 1.0f) {
            const float position = (v - kTableStart) / (1 - kTableStart) * kSteps;
            const int i = std::min(int(position), kSteps - 1);
            return m_table[std::size_t(i)] + (m_table[std::size_t(i) + 1] - m_table[std::size_t(i)]) * (position - float(i));
        }
        return std::copysign(std::pow(std::abs(v), m_power), v);
    }
    float m_power;
    std::vector<float> m_table;
};

class ToneCurveOp {
public:
    explicit ToneCurveOp(const CurvePoints& points) : m_table(kSteps + 1)
    {
        const double x0 = points.front().first, x1 = points.back().first;
        for (int i = 0; i <= kSteps; ++i) m_table[std::size_t(i)] = float(toneCurveValue(points, x0 + (x1 - x0) * i / kSteps));
        m_first = float(x0), m_last = float(x1), m_scale = float(kSteps / (x1 - x0));
        // Beyond its end points the curve is a straight line: its value and slope there, so that
        // the many values an exposure pushes above 1 cost no spline evaluation each.
        const double h = 1;
        m_firstValue = toneCurveValue(points, x0), m_lastValue = toneCurveValue(points, x1);
        m_firstSlope = (m_firstValue - toneCurveValue(points, x0 - h)) / h;
        m_lastSlope = (toneCurveValue(points, x1 + h) - m_lastValue) / h;
    }
    void operator()(float* p) const
    {
        for (int c = 0; c < 3; ++c) p[c] = curve(p[c]);
    }

private:
    // 4,096 steps put the grid on every quarter, so the points themselves are met exactly.
    static constexpr int kSteps = 4096;
    float curve(float v) const
    {
        if (v < m_first) return float(m_firstValue + (double(v) - m_first) * m_firstSlope);
        if (v > m_last) return float(m_lastValue + (double(v) - m_last) * m_lastSlope);
        const float position = (v - m_first) * m_scale;
        const int i = std::min(int(position), kSteps - 1);
        return m_table[std::size_t(i)] + (m_table[std::size_t(i) + 1] - m_table[std::size_t(i)]) * (position - float(i));
    }
    std::vector<float> m_table;
    float m_first = 0, m_last = 1, m_scale = 1;
    double m_firstValue = 0, m_lastValue = 1, m_firstSlope = 1, m_lastSlope = 1;
};

} // namespace

void vibrance(FloatImage& image, double amount) { eachPixel(image, VibranceOp{float(std::clamp(amount, -1.0, 1.0))}); }

void colorControls(FloatImage& image, double saturation, double brightness, double contrast)
{
    eachPixel(image, ColorControlsOp{float(saturation), float(brightness), float(contrast)});
}

void gammaAdjust(FloatImage& image, double power)
{
    const GammaOp op(power);
    eachPixel(image, [&](float* p) { op(p); });
}

void toneCurve(FloatImage& image, const CurvePoints& points)
{
    const ToneCurveOp op(points);
    eachPixel(image, [&](float* p) { op(p); });
}

namespace {
template <typename Op>
RowFunction rowOf(Op op)
{
    return [op = std::move(op)](float* p, int count) {
        for (int x = 0; x < count; ++x, p += 4) op(p);
    };
}
} // namespace

RowFunction toneCurveRow(const CurvePoints& points) { return rowOf(ToneCurveOp(points)); }
RowFunction vibranceRow(double amount) { return rowOf(VibranceOp{float(std::clamp(amount, -1.0, 1.0))}); }
RowFunction saturationRow(double saturation) { return rowOf(ColorControlsOp{float(saturation), 0.0f, 1.0f}); }
RowFunction gammaRow(double power) { return rowOf(GammaOp(power)); }



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

void recursiveGaussian(const FloatImage& image, FloatImage& out, double sigma)
{
    const Recursive k = recursiveCoefficients(std::max(sigma, 0.5));
    // The recursive response reaches beyond 3 sigma; 4 sigma of extended edge keeps the border exact.
    const int pad = int(std::ceil(4 * sigma)) + 3;
    separable<double>(image, out, pad, [&](double* data, float* o, int n, int lanes, int p) { recursiveLine(k, data, o, n, lanes, p); });
}

void directGaussian(const FloatImage& image, FloatImage& out, double sigma, float* scratch)
{
    const int radius = std::max(1, int(std::ceil(3 * sigma)));
    const std::vector<float> w = gaussianWeights(sigma, radius);
    ensureShape(image, out);
    const int W = image.width, H = image.height, C = image.channels;
    const std::size_t rowValues = image.rowValues();
    std::vector<float> own;
    float* across = scratch;
    if (!across) {
        own.resize(image.valueCount());
        across = own.data();
    }
    // Along the rows, each padded with its extended edges.
    parallelFor(H, rowValues * std::size_t(radius + 1), [&](int begin, int end) {
        std::vector<float> padded(std::size_t(W + 2 * radius) * std::size_t(C));
        for (int y = begin; y < end; ++y) {
            const float* src = image.row(y);
            float* s = padded.data();
            for (int i = 0; i < radius; ++i, s += C) std::copy(src, src + C, s);
            s = std::copy(src, src + rowValues, s);
            for (int i = 0; i < radius; ++i, s += C) std::copy(src + rowValues - std::size_t(C), src + rowValues, s);
            convolveLine(w, padded.data(), across + std::size_t(y) * rowValues, W, C, radius);
        }
    });
    // Down the columns a whole row at a time: the sums run along memory, edge rows repeated.
    parallelFor(H, rowValues * std::size_t(radius + 1), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            float* o = out.row(y);
            const float* centre = across + std::size_t(y) * rowValues;
            const float w0 = w[std::size_t(radius)];
            for (std::size_t v = 0; v < rowValues; ++v) o[v] = w0 * centre[v];
            for (int j = 1; j <= radius; ++j) {
                const float* above = across + std::size_t(std::max(y - j, 0)) * rowValues;
                const float* below = across + std::size_t(std::min(y + j, H - 1)) * rowValues;
                const float wj = w[std::size_t(radius + j)];
                for (std::size_t v = 0; v < rowValues; ++v) o[v] += wj * (above[v] + below[v]);
            }
        }
    });
}

void gaussianBlur(const FloatImage& image, FloatImage& out, double sigma, float* scratch)
{
    // Below 3 the direct kernel has at most 19 taps and is more faithful than the recursion.
    if (sigma < 3) directGaussian(image, out, sigma, scratch);
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

void maskedExposure(FloatImage& image, double ev, bool shadows)
{
    FloatImage mask = FloatImage::allocate(image.width, image.height, 1);
    parallelFor(image.height, image.rowValues(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const float* p = image.row(y);
            float* m = mask.row(y);
            for (int x = 0; x < image.width; ++x, p += image.channels) {
                const float l = std::clamp(luma709(p), 0.0f, 1.0f);
                m[x] = shadows ? std::pow(1.0f - l, 2.6f) : std::pow(l, 2.4f);
            }
        }
    });
    FloatImage blurred;
    gaussianBlur(mask, blurred, 5);
    const float k = float(std::exp2(ev));
    parallelFor(image.height, image.rowValues(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            float* p = image.row(y);
            const float* m = blurred.row(y);
            for (int x = 0; x < image.width; ++x, p += image.channels) {
                const float t = std::clamp(m[x], 0.0f, 1.0f);
                for (int c = 0; c < 3; ++c) p[c] += (encode(decode(p[c]) * k) - p[c]) * t;
            }
        }
    });
}

FloatImage downscale(const FloatImage& image, int width, int height)
{
    FloatImage out = FloatImage::allocate(width, height, image.channels);
    out.iccProfile = image.iccProfile;
    const int C = image.channels;
    parallelFor(height, image.rowValues() * std::size_t(image.height) / std::size_t(height), [&](int begin, int end) {
        std::vector<double> sum(static_cast<std::size_t>(C));
        for (int y = begin; y < end; ++y) {
            const int sy0 = int(std::int64_t(y) * image.height / height);
            const int sy1 = std::max(sy0 + 1, int(std::int64_t(y + 1) * image.height / height));
            for (int x = 0; x < width; ++x) {
                const int sx0 = int(std::int64_t(x) * image.width / width);
                const int sx1 = std::max(sx0 + 1, int(std::int64_t(x + 1) * image.width / width));
                std::fill(sum.begin(), sum.end(), 0.0);
                for (int sy = sy0; sy < sy1; ++sy) {
                    const float* p = image.at(sx0, sy);
                    for (int sx = sx0; sx < sx1; ++sx, p += C)
                        for (int c = 0; c < C; ++c) sum[std::size_t(c)] += p[c];
                }
                const double n = double(sy1 - sy0) * double(sx1 - sx0);
                float* o = out.at(x, y);
                for (int c = 0; c < C; ++c) o[c] = float(sum[std::size_t(c)] / n);
            }
        }
    });
    return out;
}

} // namespace tavrin::RetouchFilters
