#include "editing/RetouchFilters.h"

#include "editing/RetouchFiltersSupport.h"
#include "editing/RetouchVectors.h"
#include "editing/SrgbCurve.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tavrin::RetouchFilters {

namespace {

using SrgbCurve::decode;
using SrgbCurve::encode;

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
            // full protection at 30°, none below 15° or above 45°. Worked out for every pixel and
            // kept or not, without a branch: on grain the test would go either way at random.
            const bool orange = (p[0] > p[1]) & (p[1] >= p[2]) & (mx > mn);
            const float span = orange ? p[0] - p[2] : 1.0f;
            const float hue = (p[1] - p[2]) / span;
            const float skin = orange ? std::max(0.0f, 1.0f - std::abs(hue - 0.5f) * 4.0f) * std::min(1.0f, sat * 4.0f) : 0.0f;
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
            m_table[std::size_t(i)] = std::pow(kTableStart + (kTableEnd - kTableStart) * float(i) / kSteps, m_power);
    }
    void operator()(float* p) const
    {
        for (int c = 0; c < 3; ++c) p[c] = power(p[c]);
    }

private:
    // Interpolating a power with a steep start is inexact near zero, so the table starts above it;
    // it goes on to 2, as exposure and contrast push many highlights beyond 1 before the clamp.
    static constexpr int kSteps = 16384;
    static constexpr float kTableStart = 1.0f / 256.0f;
    static constexpr float kTableEnd = 2.0f;
    float power(float v) const
    {
        // Negative values, which automatic contrast leaves in the deepest shadows, keep their sign.
        const float magnitude = std::abs(v);
        if (magnitude >= kTableStart && magnitude <= kTableEnd) {
            const float position = (magnitude - kTableStart) * (kSteps / (kTableEnd - kTableStart));
            const int i = std::min(int(position), kSteps - 1);
            return std::copysign(m_table[std::size_t(i)] + (m_table[std::size_t(i) + 1] - m_table[std::size_t(i)]) * (position - float(i)), v);
        }
        return std::copysign(std::pow(magnitude, m_power), v);
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

// The sRGB encode and then a tone curve, as one table over linear values: the curve of the
// encoded value read in one lookup instead of two. The table goes on to 2, as exposure pushes many
// highlights beyond 1; beyond it and below 0, the exact encode and the curve.
class EncodedCurveOp {
public:
    explicit EncodedCurveOp(const CurvePoints& points) : m_curve{ToneCurveOp(points)}, m_table(kEnd * kSteps + 1)
    {
        for (int i = 0; i <= kEnd * kSteps; ++i) {
            float v = SrgbCurve::encodeExact(float(double(i) / kSteps));
            m_curve(&v);
            m_table[std::size_t(i)] = v;
        }
    }
    void operator()(float* p) const
    {
        for (int c = 0; c < 3; ++c) {
            const float l = p[c];
            if (l >= 0.0f && l <= float(kEnd)) {
                const float position = l * float(kSteps);
                const int i = std::min(int(position), kEnd * kSteps - 1);
                p[c] = m_table[std::size_t(i)] + (m_table[std::size_t(i) + 1] - m_table[std::size_t(i)]) * (position - float(i));
            } else {
                float v = SrgbCurve::encodeExact(l);
                m_curve(&v);
                p[c] = v;
            }
        }
    }

private:
    // Steps per unit, as the encode's own table.
    static constexpr int kSteps = SrgbCurve::kTableSteps;
    static constexpr int kEnd = 2;
    // Applies the curve to the first value it is given.
    struct OneValue {
        ToneCurveOp op;
        void operator()(float* v) const
        {
            float p[3] = {*v, *v, *v};
            op(p);
            *v = p[0];
        }
    } m_curve;
    std::vector<float> m_table;
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
RowFunction encodedToneCurveRow(const CurvePoints& points) { return rowOf(EncodedCurveOp(points)); }
namespace {

using Lanes = Float4;
using Index = std::int32_t __attribute__((vector_size(16)));
// Four RGBA pixels into red, green, blue and alpha vectors, and back: the same exchange both ways.
inline void transpose(Lanes& a, Lanes& b, Lanes& c, Lanes& d)
{
    const Lanes t0 = __builtin_shuffle(a, b, Index{0, 4, 1, 5}), t1 = __builtin_shuffle(a, b, Index{2, 6, 3, 7});
    const Lanes t2 = __builtin_shuffle(c, d, Index{0, 4, 1, 5}), t3 = __builtin_shuffle(c, d, Index{2, 6, 3, 7});
    a = __builtin_shuffle(t0, t2, Index{0, 1, 4, 5}), b = __builtin_shuffle(t0, t2, Index{2, 3, 6, 7});
    c = __builtin_shuffle(t1, t3, Index{0, 1, 4, 5}), d = __builtin_shuffle(t1, t3, Index{2, 3, 6, 7});
}
inline Lanes maxLanes(Lanes a, Lanes b) { return a > b ? a : b; }
inline Lanes minLanes(Lanes a, Lanes b) { return a < b ? a : b; }

// VibranceOp four pixels at a time, with the same arithmetic: the skin test and its division cost
// no more than a few vector instructions once every pixel takes them.
TAVRIN_VECTOR_CLONES
void vibrancePixels(float* p, int count, float a)
{
    const Lanes zero = {0, 0, 0, 0}, one = {1, 1, 1, 1};
    int x = 0;
    for (; x + 4 <= count; x += 4, p += 16) {
        Lanes r = load4(p), g = load4(p + 4), b = load4(p + 8), alpha = load4(p + 12);
        transpose(r, g, b, alpha);
        const Lanes mx = maxLanes(maxLanes(r, g), b), mn = minLanes(minLanes(r, g), b);
        Lanes sat = mx - mn;
        sat = sat < zero ? zero : (one < sat ? one : sat);
        Lanes weight;
        if (a > 0) {
            const auto orange = (r > g) & (g >= b) & (mx > mn);
            const Lanes span = orange ? r - b : one;
            const Lanes hue = (g - b) / span;
            Lanes distance = hue - 0.5f;
            distance = distance < zero ? -distance : distance;
            const Lanes near = 1.0f - distance * 4.0f, widthOfSat = sat * 4.0f;
            const Lanes skin = orange ? (zero < near ? near : zero) * (widthOfSat < one ? widthOfSat : one) : zero;
            weight = (1.0f - sat) * (1.0f - 0.7f * skin);
        } else {
            weight = 1.0f - 0.5f * sat;
        }
        const Lanes k = 1.0f + a * weight;
        const Lanes y = 0.2126f * r + 0.7152f * g + 0.0722f * b;
        r = y + (r - y) * k, g = y + (g - y) * k, b = y + (b - y) * k;
        transpose(r, g, b, alpha);
        std::memcpy(p, &r, sizeof r), std::memcpy(p + 4, &g, sizeof g), std::memcpy(p + 8, &b, sizeof b), std::memcpy(p + 12, &alpha, sizeof alpha);
    }
    const VibranceOp op{a};
    for (; x < count; ++x, p += 4) op(p);
}

} // namespace

RowFunction vibranceRow(double amount)
{
    const float a = float(std::clamp(amount, -1.0, 1.0));
    return [a](float* p, int count) { vibrancePixels(p, count, a); };
}
RowFunction saturationRow(double saturation) { return rowOf(ColorControlsOp{float(saturation), 0.0f, 1.0f}); }
RowFunction gammaRow(double power) { return rowOf(GammaOp(power)); }

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
