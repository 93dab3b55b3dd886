#include "editing/RetouchSteps.h"

#include "editing/RetouchKernels.h"
#include "editing/SrgbCurve.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace tavrin::RetouchChain {

namespace {

// The linear luminance averaged over cells of factor × factor pixels and blurred, read back at
// any pixel by bilinear interpolation between cell centres.
class ToneMap {
public:
    ToneMap(const Source& source, double sigma, int factor) : m_factor(factor), m_width(source.width)
    {
        const int W = source.width, H = source.height, f = factor;
        const int w = (W + f - 1) / f, h = (H + f - 1) / f;
        FloatImage cells = FloatImage::allocate(w, h, 1);
        constexpr int kCellRows = 16;
        const int chunks = (h + kCellRows - 1) / kCellRows;
        parallelFor(chunks, std::size_t(kCellRows) * std::size_t(f) * std::size_t(W) * 4, [&](int begin, int end) {
            std::vector<float> rows;
            std::vector<float> sums(static_cast<std::size_t>(w));
            for (int chunk = begin; chunk < end; ++chunk) {
                const int c0 = chunk * kCellRows, c1 = std::min(h, c0 + kCellRows);
                const int y0 = c0 * f, y1 = std::min(H, c1 * f);
                rows.resize(std::size_t(y1 - y0) * std::size_t(W) * 4);
                source.rows(y0, y1, rows.data());
                for (int cy = c0; cy < c1; ++cy) {
                    std::fill(sums.begin(), sums.end(), 0.0f);
                    const int r0 = cy * f, r1 = std::min(H, r0 + f);
                    for (int y = r0; y < r1; ++y) {
                        const float* p = rows.data() + std::size_t(y - y0) * std::size_t(W) * 4;
                        for (int x = 0; x < W; ++x, p += 4) {
                            const float l = source.light == Light::linear
                                                ? luma(p)
                                                : 0.2126f * SrgbCurve::decode(p[0]) + 0.7152f * SrgbCurve::decode(p[1]) +
                                                      0.0722f * SrgbCurve::decode(p[2]);
                            sums[std::size_t(x / f)] += l;
                        }
                    }
                    float* o = cells.row(cy);
                    const float rowCount = float(r1 - r0);
                    for (int cx = 0; cx < w; ++cx) o[cx] = sums[std::size_t(cx)] / (rowCount * float(std::min(W, (cx + 1) * f) - cx * f));
                }
            }
        });
        RetouchFilters::gaussianBlur(cells, m_map, sigma / f);
        m_x0.resize(std::size_t(W));
        m_x1.resize(std::size_t(W));
        m_tx.resize(std::size_t(W));
        for (int x = 0; x < W; ++x) {
            const float u = std::clamp((float(x) + 0.5f) / float(f) - 0.5f, 0.0f, float(w - 1));
            m_x0[std::size_t(x)] = int(u);
            m_x1[std::size_t(x)] = std::min(int(u) + 1, w - 1);
            m_tx[std::size_t(x)] = u - float(int(u));
        }
    }

    void sampleRow(int y, float* out) const
    {
        const float v = std::clamp((float(y) + 0.5f) / float(m_factor) - 0.5f, 0.0f, float(m_map.height - 1));
        const float* a = m_map.row(int(v));
        if (m_factor == 1) {
            std::memcpy(out, a, sizeof(float) * std::size_t(m_width));
            return;
        }
        const float* b = m_map.row(std::min(int(v) + 1, m_map.height - 1));
        const float ty = v - float(int(v));
        for (std::size_t x = 0; x < std::size_t(m_width); ++x) {
            const float top = a[m_x0[x]] + (a[m_x1[x]] - a[m_x0[x]]) * m_tx[x];
            const float bottom = b[m_x0[x]] + (b[m_x1[x]] - b[m_x0[x]]) * m_tx[x];
            out[x] = top + (bottom - top) * ty;
        }
    }

private:
    int m_factor;
    int m_width;
    FloatImage m_map;
    std::vector<int> m_x0, m_x1;
    std::vector<float> m_tx;
};

class RangeWork : public Work {
public:
    RangeWork(std::shared_ptr<const ToneMap> shadowMap, std::shared_ptr<const ToneMap> highlightMap, bool shadows, bool highlights,
              float shadowEV, float highlightEV, float shadowWidth, float highlightWidth)
        : m_shadowMap(std::move(shadowMap)), m_highlightMap(std::move(highlightMap)), m_shadows(shadows), m_highlights(highlights),
          m_shadowGain([=](float v) { return std::exp2(shadowEV * RetouchKernels::shadowMask(v, shadowWidth)); }),
          m_highlightGain([=](float v) { return std::exp2(highlightEV * RetouchKernels::highlightMask(v, highlightWidth)); })
    {
    }

    void pixels(float* row, int y, int width) const override
    {
        thread_local std::vector<float> shadowValues, highlightValues;
        if (m_shadows && m_shadowMap) {
            shadowValues.resize(std::size_t(width));
            m_shadowMap->sampleRow(y, shadowValues.data());
        }
        const bool sharedMap = m_highlightMap && m_highlightMap == m_shadowMap && m_shadows;
        if (m_highlights && m_highlightMap && !sharedMap) {
            highlightValues.resize(std::size_t(width));
            m_highlightMap->sampleRow(y, highlightValues.data());
        }
        const float* hv = sharedMap ? shadowValues.data() : highlightValues.data();
        float* p = row;
        for (std::size_t x = 0; x < std::size_t(width); ++x, p += 4) {
            // A side without a blurred map reads the pixel's own luminance.
            const float own = luma(p);
            float k = 1.0f;
            if (m_shadows) k *= m_shadowGain(m_shadowMap ? shadowValues[x] : own);
            if (m_highlights) k *= m_highlightGain(m_highlightMap ? hv[x] : own);
            p[0] *= k, p[1] *= k, p[2] *= k;
        }
    }

private:
    std::shared_ptr<const ToneMap> m_shadowMap, m_highlightMap;
    bool m_shadows, m_highlights;
    RetouchKernels::UnitTable m_shadowGain, m_highlightGain;
};

} // namespace

std::unique_ptr<Work> prepareShadowsHighlights(const Context& c, const Source& before)
{
    const PhotoRetouchSettings& s = c.settings;
    const bool preview = c.quality == RetouchQuality::preview;
    auto mapFor = [&](double radius) -> std::shared_ptr<const ToneMap> {
        if (radius <= 0.25) return nullptr;
        const double sigma = std::clamp(radius * 0.5 * (c.longSide() / 3000), 0.18, preview ? 72.0 : 160.0);
        // A wide blur leaves nothing finer than a few pixels, so it runs on cells of several
        // pixels; the full render keeps twice as many cells per sigma as the preview.
        const int factor = preview ? std::clamp(int(sigma / 4), 1, 2) : std::clamp(int(sigma / 8), 1, 4);
        return std::make_shared<const ToneMap>(before, sigma, factor);
    };
    const bool shadows = s.shadows != 0, highlights = s.highlights != 0;
    std::shared_ptr<const ToneMap> shadowMap, highlightMap;
    if (shadows) shadowMap = mapFor(s.shadowRadius);
    if (highlights)
        highlightMap = shadows && std::abs(s.shadowRadius - s.highlightRadius) < 0.05 ? shadowMap : mapFor(s.highlightRadius);
    const float sh = float(std::clamp(s.shadows / 100, -1.0, 1.0));
    const float hi = float(std::clamp(s.highlights / 100, -1.0, 1.0));
    const float sw = float(std::clamp(s.shadowTonalWidth / 100, 0.0, 1.0));
    const float hw = float(std::clamp(s.highlightTonalWidth / 100, 0.0, 1.0));
    return std::make_unique<RangeWork>(shadowMap, highlightMap, shadows, highlights, sh * 1.85f, hi * 1.85f, sw, hw);
}

} // namespace tavrin::RetouchChain
