#include "editing/RetouchSteps.h"

#include "editing/RetouchKernels.h"
#include "editing/SrgbCurve.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace tavrin::RetouchChain {

namespace {

double percentile(const std::array<std::uint64_t, 256>& bins, std::uint64_t total, double p)
{
    p = std::clamp(p, 0.0, 1.0);
    if (total == 0) return p < 0.5 ? 0 : 1;
    const double target = p * double(total);
    std::uint64_t running = 0;
    for (int i = 0; i < 256; ++i) {
        running += bins[std::size_t(i)];
        if (double(running) >= target) return i / 255.0;
    }
    return 1;
}

} // namespace

std::unique_ptr<Work> prepareAutoContrast(const Context&, const Source& before)
{
    const auto ends = luminanceEnds(before);
    if (!ends) return nullptr;
    const float lo = ends->low, scale = 1.0f / std::max(ends->high - ends->low, 0.004f);
    // The luminance weights add up to one, so luminance moves as each channel does.
    return rowWork(
        [lo, scale](float* p, int count) {
            // A pixel in one vector; alpha goes through as (a − 0) × 1, unchanged.
            using Lanes = float __attribute__((vector_size(16)));
            const Lanes low = {lo, lo, lo, 0}, gain = {scale, scale, scale, 1};
            for (int x = 0; x < count; ++x, p += 4) {
                Lanes v;
                std::memcpy(&v, p, sizeof v);
                v = (v - low) * gain;
                std::memcpy(p, &v, sizeof v);
            }
        },
        Affine{scale, -lo * scale});
}

// --- Exposure and brightness ------------------------------------------------------------------

std::unique_ptr<Work> prepareExposure(const Context& c, const Source&)
{
    const float k = float(std::exp2(c.settings.exposure));
    return rowWork([k](float* p, int count) {
        using Lanes = float __attribute__((vector_size(16)));
        const Lanes gain = {k, k, k, 1};
        for (int x = 0; x < count; ++x, p += 4) {
            Lanes v;
            std::memcpy(&v, p, sizeof v);
            v *= gain;
            std::memcpy(p, &v, sizeof v);
        }
    }, Affine{k, 0});
}

std::unique_ptr<Work> prepareBrightness(const Context& c, const Source&)
{
    const float amount = float(std::clamp(c.settings.brightness / 100, -1.0, 1.0));
    // Over 0 … 2: exposure leaves many highlights above 1 at this point, each an exp2 otherwise.
    auto table = std::make_shared<const RetouchKernels::UnitTable>([amount](float t) { return RetouchKernels::brightnessGain(amount, 2 * t); });
    return rowWork([amount, table](float* p, int count) {
        for (int x = 0; x < count; ++x, p += 4) {
            const float y = luma(p);
            const float k = (y >= 0.0f && y <= 2.0f) ? (*table)(y * 0.5f) : RetouchKernels::brightnessGain(amount, y);
            p[0] *= k, p[1] *= k, p[2] *= k;
        }
    });
}

std::optional<LuminanceEnds> luminanceEnds(const Source& source)
{
    const int W = source.width, H = source.height;
    const double factor = std::min(480.0 / double(std::max(W, H)), 1.0);
    int w = W, h = H;
    if (factor < 0.999) {
        w = std::max(1, int(std::lround(W * factor)));
        h = std::max(1, int(std::lround(H * factor)));
    }
    // The area average of the encoded values over each cell, as a reduced copy would hold.
    std::vector<std::array<std::uint64_t, 256>> partial;
    std::mutex mutex;
    parallelFor(h, std::size_t(W) * std::size_t(H / h + 1) * 4, [&](int begin, int end) {
        std::array<std::uint64_t, 256> bins{};
        std::vector<float> rows;
        for (int y = begin; y < end; ++y) {
            const int sy0 = int(std::int64_t(y) * H / h);
            const int sy1 = std::max(sy0 + 1, int(std::int64_t(y + 1) * H / h));
            rows.resize(std::size_t(sy1 - sy0) * std::size_t(W) * 4);
            source.rows(sy0, sy1, rows.data());
            if (source.light == Light::linear)
                for (int i = 0; i < sy1 - sy0; ++i) RetouchKernels::encodeRow(rows.data() + std::size_t(i) * std::size_t(W) * 4, W);
            for (int x = 0; x < w; ++x) {
                const int sx0 = int(std::int64_t(x) * W / w);
                const int sx1 = std::max(sx0 + 1, int(std::int64_t(x + 1) * W / w));
                double r = 0, g = 0, b = 0;
                for (int sy = 0; sy < sy1 - sy0; ++sy) {
                    const float* p = rows.data() + (std::size_t(sy) * std::size_t(W) + std::size_t(sx0)) * 4;
                    for (int sx = sx0; sx < sx1; ++sx, p += 4) r += p[0], g += p[1], b += p[2];
                }
                const double n = double(sy1 - sy0) * double(sx1 - sx0);
                const float pr = float(r / n), pg = float(g / n), pb = float(b / n);
                const float lr = std::max(SrgbCurve::decode(pr), 0.0f);
                const float lg = std::max(SrgbCurve::decode(pg), 0.0f);
                const float lb = std::max(SrgbCurve::decode(pb), 0.0f);
                const float luminance = std::max(0.2126f * lr + 0.7152f * lg + 0.0722f * lb, 0.0f);
                ++bins[std::size_t(std::clamp(int(255 * SrgbCurve::encodeExact(luminance)), 0, 255))];
            }
        }
        std::lock_guard lock(mutex);
        partial.push_back(bins);
    });
    std::array<std::uint64_t, 256> bins{};
    for (const auto& p : partial)
        for (std::size_t i = 0; i < 256; ++i) bins[i] += p[i];
    const std::uint64_t total = std::uint64_t(w) * std::uint64_t(h);
    auto linear = [](double v) { return v <= 0 ? 0.0f : SrgbCurve::decodeExact(float(v)); };
    const float low = linear(percentile(bins, total, 0.005));
    const float high = linear(percentile(bins, total, 0.995));
    if (high - low < 0.04f) return std::nullopt;
    return LuminanceEnds{low, high};
}

} // namespace tavrin::RetouchChain
