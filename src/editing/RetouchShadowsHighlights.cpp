#include "editing/RetouchSteps.h"

#include "editing/RetouchKernels.h"
#include "editing/RetouchToneMap.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace tavrin::RetouchChain {

namespace {

class RangeWork : public Work {
public:
    RangeWork(std::shared_ptr<const ToneMap> shadowMap, std::shared_ptr<const ToneMap> highlightMap, bool shadows, bool highlights,
              float shadowEV, float highlightEV, float shadowWidth, float highlightWidth, Affine mapped)
        : m_shadowMap(std::move(shadowMap)), m_highlightMap(std::move(highlightMap)), m_shadows(shadows), m_highlights(highlights),
          m_mapped(mapped)
    {
        auto shadowGain = [=](float v) { return std::exp2(shadowEV * RetouchKernels::shadowMask(v, shadowWidth)); };
        auto highlightGain = [=](float v) { return std::exp2(highlightEV * RetouchKernels::highlightMask(v, highlightWidth)); };
        if (shared()) m_bothGains.emplace([=](float v) { return shadowGain(v) * highlightGain(v); });
        else m_shadowGain.emplace(shadowGain), m_highlightGain.emplace(highlightGain);
    }

    void pixels(float* row, int y, int width) const override
    {
        thread_local std::vector<float> shadowValues, highlightValues;
        if (m_shadows && m_shadowMap) {
            shadowValues.resize(std::size_t(width));
            m_shadowMap->sampleRow(y, shadowValues.data());
            moved(shadowValues.data(), width);
        }
        const bool sharedMap = shared();
        if (m_highlights && m_highlightMap && !sharedMap) {
            highlightValues.resize(std::size_t(width));
            m_highlightMap->sampleRow(y, highlightValues.data());
            moved(highlightValues.data(), width);
        }
        const float* hv = sharedMap ? shadowValues.data() : highlightValues.data();
        float* p = row;
        // Both sides reading one map: their two gains in one lookup.
        if (sharedMap) {
            for (std::size_t x = 0; x < std::size_t(width); ++x, p += 4) {
                const float k = (*m_bothGains)(hv[x]);
                p[0] *= k, p[1] *= k, p[2] *= k;
            }
            return;
        }
        for (std::size_t x = 0; x < std::size_t(width); ++x, p += 4) {
            // A side without a blurred map reads the pixel's own luminance.
            const float own = luma(p);
            float k = 1.0f;
            if (m_shadows) k *= (*m_shadowGain)(m_shadowMap ? shadowValues[x] : own);
            if (m_highlights) k *= (*m_highlightGain)(m_highlightMap ? hv[x] : own);
            p[0] *= k, p[1] *= k, p[2] *= k;
        }
    }

private:
    bool shared() const { return m_highlightMap && m_highlightMap == m_shadowMap && m_shadows && m_highlights; }
    // Maps measured on the photo itself are moved as the steps before this one moved luminance.
    void moved(float* values, int width) const
    {
        if (m_mapped.gain == 1 && m_mapped.offset == 0) return;
        for (int x = 0; x < width; ++x) values[x] = m_mapped.gain * values[x] + m_mapped.offset;
    }

    std::shared_ptr<const ToneMap> m_shadowMap, m_highlightMap;
    bool m_shadows, m_highlights;
    Affine m_mapped;
    // The gain of each side over its map value, or of both at once when they read one map.
    std::optional<RetouchKernels::UnitTable> m_shadowGain, m_highlightGain, m_bothGains;
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
        if (!before.origin) return std::make_shared<const ToneMap>(before, sigma, factor);
        // Measured on the photo itself, the map depends only on the photo and the radius: kept
        // for the next render while exposure or the amounts move.
        if (!c.kept) return std::make_shared<const ToneMap>(*before.origin, sigma, factor);
        std::shared_ptr<const ToneMap>& kept = c.kept->toneMaps[{sigma, factor}];
        if (!kept) kept = std::make_shared<const ToneMap>(*before.origin, sigma, factor);
        return kept;
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
    return std::make_unique<RangeWork>(shadowMap, highlightMap, shadows, highlights, sh * 1.85f, hi * 1.85f, sw, hw,
                                       before.origin ? Affine{before.originGain, before.originOffset} : Affine{});
}

} // namespace tavrin::RetouchChain
