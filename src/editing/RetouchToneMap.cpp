#include "editing/RetouchToneMap.h"

#include "editing/RetouchFilters.h"
#include "editing/RetouchSteps.h"
#include "editing/SrgbCurve.h"

#include <algorithm>
#include <cstring>

namespace tavrin::RetouchChain {

ToneMap::ToneMap(const Source& source, double sigma, int factor, Rows measured) : m_factor(factor), m_width(source.width)
{
    const int W = source.width, H = source.height, f = factor;
    const int w = (W + f - 1) / f, h = (H + f - 1) / f;
    // The rows through the middle of each cell: one for an odd factor, two for an even one, so
    // that the measure stays centred on the cell; cells of two pixels keep both.
    const bool everyRow = measured == Rows::every || f <= 2;
    const int measuredRows = everyRow ? f : 2 - f % 2, firstMeasured = everyRow ? 0 : (f - measuredRows) / 2;
    FloatImage cells = FloatImage::allocate(w, h, 1);
    constexpr int kCellRows = 16;
    const int chunks = (h + kCellRows - 1) / kCellRows;
    parallelFor(chunks, std::size_t(kCellRows) * std::size_t(measuredRows) * std::size_t(W) * 4, [&](int begin, int end) {
        std::vector<float> rows;
        std::vector<float> sums(static_cast<std::size_t>(w));
        const std::size_t rowValues = std::size_t(W) * 4;
        for (int chunk = begin; chunk < end; ++chunk) {
            const int c0 = chunk * kCellRows, c1 = std::min(h, c0 + kCellRows);
            const int y0 = c0 * f, y1 = std::min(H, c1 * f);
            if (everyRow) {
                rows.resize(std::size_t(y1 - y0) * rowValues);
                source.rows(y0, y1, rows.data());
            } else {
                rows.resize(std::size_t(c1 - c0) * std::size_t(measuredRows) * rowValues);
                for (int cy = c0; cy < c1; ++cy) {
                    const int y = std::min(H - measuredRows, cy * f + firstMeasured);
                    source.rows(y, y + measuredRows, rows.data() + std::size_t(cy - c0) * std::size_t(measuredRows) * rowValues);
                }
            }
            for (int cy = c0; cy < c1; ++cy) {
                std::fill(sums.begin(), sums.end(), 0.0f);
                const int r0 = everyRow ? cy * f - y0 : (cy - c0) * measuredRows;
                const int r1 = everyRow ? std::min(H, cy * f + f) - y0 : r0 + measuredRows;
                for (int r = r0; r < r1; ++r) {
                    const float* p = rows.data() + std::size_t(r) * rowValues;
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

void ToneMap::sampleRow(int y, float* out) const
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

} // namespace tavrin::RetouchChain
