#include "editing/RetouchChain.h"

#include "editing/RetouchFilters.h"
#include "editing/RetouchKernels.h"
#include "editing/SrgbCurve.h"

#include <QThreadPool>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

namespace tavrin::RetouchChain {

void Work::pixels(float*, int, int) const {}
void Work::area(const Band&, int, int, float*, Scratch&) const {}

namespace {

float luma(const float* p) { return 0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2]; }

// A bitmap over memory owned elsewhere, so that the whole-image filters can work on one band.
FloatImage view(float* data, int width, int height, int channels = 4)
{
    FloatImage v;
    v.width = width;
    v.height = height;
    v.channels = channels;
    v.pixels = std::shared_ptr<float[]>(data, [](float*) {});
    return v;
}

// A per-pixel step given as a function of one row.
class RowWork : public Work {
public:
    explicit RowWork(RetouchFilters::RowFunction f) : m_f(std::move(f)) {}
    void pixels(float* row, int, int width) const override { m_f(row, width); }

private:
    RetouchFilters::RowFunction m_f;
};

template <typename F>
std::unique_ptr<Work> rowWork(F f)
{
    return std::make_unique<RowWork>(RetouchFilters::RowFunction(std::move(f)));
}

std::unique_ptr<Work> decodeWork() { return rowWork(RetouchKernels::decodeRow); }
std::unique_ptr<Work> encodeWork() { return rowWork(RetouchKernels::encodeRow); }
// The rendered bitmap is 8-bit: nothing outside 0 … 1 survives it.
std::unique_ptr<Work> clampWork()
{
    return rowWork([](float* p, int count) {
        for (std::size_t i = 0; i < std::size_t(count) * 4; ++i) p[i] = std::clamp(p[i], 0.0f, 1.0f);
    });
}

// --- The runner -------------------------------------------------------------------------------

// Buffers by slot for the bands one thread works on; slot = depth × 4 + use.
class Buffers {
public:
    float* get(int slot, std::size_t values)
    {
        if (m_data.size() <= std::size_t(slot)) {
            m_data.resize(std::size_t(slot) + 1);
            m_sizes.resize(std::size_t(slot) + 1, 0);
        }
        if (m_sizes[std::size_t(slot)] < values) {
            m_data[std::size_t(slot)].reset(new float[values]);
            m_sizes[std::size_t(slot)] = values;
        }
        return m_data[std::size_t(slot)].get();
    }

private:
    std::vector<std::unique_ptr<float[]>> m_data;
    std::vector<std::size_t> m_sizes;
};

class DepthScratch : public Scratch {
public:
    DepthScratch(Buffers& buffers, int depth) : m_buffers(buffers), m_depth(depth) {}
    float* get(int slot, std::size_t values) override { return m_buffers.get(m_depth * 4 + 1 + std::clamp(slot, 0, 2), values); }

private:
    Buffers& m_buffers;
    int m_depth;
};

struct Stage {
    std::unique_ptr<Work> work;
    bool perPixel = true;
};

// Stages over one input: rows after any number of stages are made on demand, band by band.
class Pipeline {
public:
    explicit Pipeline(const FloatImage& input) : m_input(input), m_width(input.width), m_height(input.height) {}

    void add(std::unique_ptr<Work> work, bool perPixel = true) { m_stages.push_back({std::move(work), perPixel}); }
    std::size_t size() const { return m_stages.size(); }

    // The rows after the first `k` stages.
    Source source(std::size_t k, Light light)
    {
        Source s;
        s.width = m_width;
        s.height = m_height;
        s.light = light;
        s.rows = [this, k](int y0, int y1, float* out) {
            std::unique_ptr<Buffers> buffers = take();
            produce(k, y0, y1, out, *buffers, 0);
            giveBack(std::move(buffers));
        };
        return s;
    }

    // Every row after all the stages into `out`, bands spread over the cores. False when
    // `wanted` said no before the last band.
    bool materialize(FloatImage& out, const std::function<bool()>& wanted)
    {
        int halo = 0;
        for (const Stage& s : m_stages)
            if (!s.perPixel) halo += s.work->halo();
        const int threads = std::max(1, QThreadPool::globalInstance()->maxThreadCount());
        // Tall enough that the rows made again around each band stay a small share, low enough
        // that every core gets several bands.
        const int rows = std::clamp(std::min(std::max(128, 8 * halo), (m_height + 2 * threads - 1) / (2 * threads)), 8, 512);
        const int bands = (m_height + rows - 1) / rows;
        std::atomic<bool> stopped{false};
        parallelFor(bands, std::size_t(rows) * std::size_t(m_width) * 4 * (m_stages.size() + 1), [&](int begin, int end) {
            std::unique_ptr<Buffers> buffers = take();
            for (int b = begin; b < end && !stopped.load(); ++b) {
                if (wanted && !wanted()) {
                    stopped = true;
                    break;
                }
                const int y0 = b * rows, y1 = std::min(m_height, y0 + rows);
                produce(m_stages.size(), y0, y1, out.row(y0), *buffers, 0);
            }
            giveBack(std::move(buffers));
        });
        return !stopped.load();
    }

private:
    void produce(std::size_t k, int y0, int y1, float* out, Buffers& buffers, int depth) const
    {
        const std::size_t rowValues = std::size_t(m_width) * 4;
        // Stages [first, k) are per-pixel: one sweep along each row of the band.
        std::size_t first = k;
        while (first > 0 && m_stages[first - 1].perPixel) --first;
        if (first == 0) {
            std::memcpy(out, m_input.row(y0), std::size_t(y1 - y0) * rowValues * sizeof(float));
        } else {
            const Stage& area = m_stages[first - 1];
            const int halo = area.work->halo();
            const int a = std::max(0, y0 - halo), e = std::min(m_height, y1 + halo);
            float* in = buffers.get(depth * 4, std::size_t(e - a) * rowValues);
            produce(first - 1, a, e, in, buffers, depth + 1);
            DepthScratch scratch(buffers, depth);
            area.work->area(Band{in, a, e, m_width, m_height}, y0, y1, out, scratch);
        }
        if (first == k) return;
        for (int y = y0; y < y1; ++y) {
            float* row = out + std::size_t(y - y0) * rowValues;
            for (std::size_t s = first; s < k; ++s) m_stages[s].work->pixels(row, y, m_width);
        }
    }

    std::unique_ptr<Buffers> take()
    {
        std::lock_guard lock(m_mutex);
        if (m_spare.empty()) return std::make_unique<Buffers>();
        std::unique_ptr<Buffers> b = std::move(m_spare.back());
        m_spare.pop_back();
        return b;
    }
    void giveBack(std::unique_ptr<Buffers> b)
    {
        std::lock_guard lock(m_mutex);
        m_spare.push_back(std::move(b));
    }

    const FloatImage& m_input;
    int m_width, m_height;
    std::vector<Stage> m_stages;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<Buffers>> m_spare;
};

FloatImage allocateLike(const FloatImage& image)
{
    FloatImage out = FloatImage::allocate(image.width, image.height, 4);
    out.iccProfile = image.iccProfile;
    out.opaque = image.opaque;
    return out;
}

// One step over the whole encoded image on its own.
FloatImage oneStep(const Step& step, const FloatImage& image, const Context& context)
{
    Pipeline pipeline(image);
    const Source before = pipeline.source(0, Light::encoded);
    std::unique_ptr<Work> work = step.prepare(context, before);
    if (!work) return image;
    if (step.linear) pipeline.add(decodeWork());
    pipeline.add(std::move(work), step.perPixel);
    if (step.linear) pipeline.add(encodeWork());
    FloatImage out = allocateLike(image);
    pipeline.materialize(out, {});
    return out;
}

// --- Automatic contrast -----------------------------------------------------------------------

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

std::unique_ptr<Work> prepareAutoContrast(const Context&, const Source& before)
{
    const auto ends = luminanceEnds(before);
    if (!ends) return nullptr;
    const float lo = ends->low, scale = 1.0f / std::max(ends->high - ends->low, 0.004f);
    return rowWork([lo, scale](float* p, int count) {
        for (int x = 0; x < count; ++x, p += 4)
            for (int c = 0; c < 3; ++c) p[c] = (p[c] - lo) * scale;
    });
}

// --- Exposure and brightness ------------------------------------------------------------------

std::unique_ptr<Work> prepareExposure(const Context& c, const Source&)
{
    const float k = float(std::exp2(c.settings.exposure));
    return rowWork([k](float* p, int count) {
        for (int x = 0; x < count; ++x, p += 4) p[0] *= k, p[1] *= k, p[2] *= k;
    });
}

std::unique_ptr<Work> prepareBrightness(const Context& c, const Source&)
{
    const float amount = float(std::clamp(c.settings.brightness / 100, -1.0, 1.0));
    auto table = std::make_shared<const RetouchKernels::UnitTable>([amount](float y) { return RetouchKernels::brightnessGain(amount, y); });
    return rowWork([amount, table](float* p, int count) {
        for (int x = 0; x < count; ++x, p += 4) {
            const float y = luma(p);
            const float k = (y >= 0.0f && y <= 1.0f) ? (*table)(y) : RetouchKernels::brightnessGain(amount, y);
            p[0] *= k, p[1] *= k, p[2] *= k;
        }
    });
}

// --- Shadows and highlights -------------------------------------------------------------------

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

// --- Colour ---------------------------------------------------------------------------------

RetouchFilters::CurvePoints contrastPoints(double contrast)
{
    const double d = contrast / 100 * 0.165 * 0.58;
    return {{{0, 0}, {0.25, std::clamp(0.25 - d, 0.02, 0.45)}, {0.5, 0.5}, {0.75, std::clamp(0.75 + d, 0.55, 0.98)}, {1, 1}}};
}

std::unique_ptr<Work> prepareContrast(const Context& c, const Source&)
{
    return std::make_unique<RowWork>(RetouchFilters::toneCurveRow(contrastPoints(c.settings.contrast)));
}

std::unique_ptr<Work> prepareVibrance(const Context& c, const Source&)
{
    return std::make_unique<RowWork>(RetouchFilters::vibranceRow(std::clamp(c.settings.vibrance / 100, -1.0, 1.0)));
}

std::unique_ptr<Work> prepareSaturation(const Context& c, const Source&)
{
    return std::make_unique<RowWork>(RetouchFilters::saturationRow(std::clamp(1 + c.settings.saturation / 100, 0.0, 2.0)));
}

std::unique_ptr<Work> prepareGamma(const Context& c, const Source&)
{
    return std::make_unique<RowWork>(RetouchFilters::gammaRow(std::clamp(c.settings.gamma, 0.1, 3.0)));
}

// --- Sharpening -------------------------------------------------------------------------------

double noiseShare(const PhotoRetouchSettings& s) { return std::clamp(s.sharpnessNoiseReduction / 100, 0.0, 1.0); }
double sharpenAmount(const PhotoRetouchSettings& s) { return std::min(s.sharpnessAmount / 100, 5.0); }

class DenoiseWork : public Work {
public:
    explicit DenoiseWork(double n) : m_level(n * 0.055), m_sharpness(0.55 - 0.22 * n) {}
    // Smoothing reads one row either side, the sharpening after it one more.
    int halo() const override { return 2; }
    void area(const Band& in, int y0, int y1, float* out, Scratch&) const override
    {
        const FloatImage band = view(const_cast<float*>(in.data), in.width, in.last - in.first);
        RetouchFilters::noiseReductionRows(band, y0 - in.first, y1 - in.first, out, m_level, m_sharpness);
    }

private:
    double m_level, m_sharpness;
};

class UnsharpWork : public Work {
public:
    UnsharpWork(const Context& c)
    {
        const PhotoRetouchSettings& s = c.settings;
        const bool preview = c.quality == RetouchQuality::preview;
        const double r = std::max(std::clamp(s.sharpnessRadius, 0.1, 64.0) * (c.longSide() / 3000), 0.12);
        m_disc = s.removeLensBlur;
        m_size = m_disc ? std::min(r, preview ? 18.0 : 36.0) : std::min(0.85 * r, preview ? 8.0 : 16.0);
        m_amount = float((preview ? 0.92 : 1.0) * sharpenAmount(s));
        m_threshold = float(0.07 * noiseShare(s) + 0.004);
    }
    // How far each blur reaches: the disc's whole radius and the pixel it partly covers; the
    // direct Gaussian its 3-sigma kernel; the recursive one the 4 sigma it pads with.
    int halo() const override
    {
        if (m_disc) return int(std::floor(m_size)) + 1;
        if (m_size < 3) return std::max(1, int(std::ceil(3 * m_size)));
        return int(std::ceil(4 * m_size)) + 3;
    }
    void area(const Band& in, int y0, int y1, float* out, Scratch& scratch) const override
    {
        const int rows = in.last - in.first;
        const FloatImage band = view(const_cast<float*>(in.data), in.width, rows);
        FloatImage blurred = view(scratch.get(0, band.valueCount()), in.width, rows);
        if (m_disc) RetouchFilters::discBlur(band, blurred, m_size);
        else RetouchFilters::gaussianBlur(band, blurred, m_size, scratch.get(1, band.valueCount()));
        for (int y = y0; y < y1; ++y)
            RetouchKernels::unsharpRow(band.row(y - in.first), blurred.row(y - in.first), out + std::size_t(y - y0) * band.rowValues(),
                                       in.width, m_amount, m_threshold);
    }

private:
    bool m_disc = false;
    double m_size = 1;
    float m_amount = 1, m_threshold = 0;
};

std::unique_ptr<Work> prepareDenoise(const Context& c, const Source&) { return std::make_unique<DenoiseWork>(noiseShare(c.settings)); }
std::unique_ptr<Work> prepareUnsharp(const Context& c, const Source&) { return std::make_unique<UnsharpWork>(c); }

// --- The table ------------------------------------------------------------------------------

const std::array<Step, 10> kSteps{{
    {"autoContrast", true, true, [](const PhotoRetouchSettings& s) { return s.autoContrast; },
     "first: its end points must come from the photo as shot, before anything moves the tones", prepareAutoContrast},
    {"exposure", true, true, [](const PhotoRetouchSettings& s) { return s.exposure != 0; },
     "a plain gain in linear light, like the camera's, so the tone steps after it see the corrected level", prepareExposure},
    {"shadowsHighlights", true, true, [](const PhotoRetouchSettings& s) { return s.shadows != 0 || s.highlights != 0; },
     "local exposure from blurred luminance maps of the exposed photo, before global tone changes reshape those tones",
     prepareShadowsHighlights},
    {"brightness", true, true, [](const PhotoRetouchSettings& s) { return s.brightness != 0; },
     "the last linear step: lifts mid-tones once shadows and highlights are settled", prepareBrightness},
    {"contrast", false, true, [](const PhotoRetouchSettings& s) { return s.contrast != 0; },
     "an S curve on encoded values, around the mid-grey the tone steps before it have placed", prepareContrast},
    {"vibrance", false, true, [](const PhotoRetouchSettings& s) { return s.vibrance != 0; },
     "judges how saturated each colour is after the tone changes, before uniform saturation moves them all", prepareVibrance},
    {"saturation", false, true, [](const PhotoRetouchSettings& s) { return s.saturation != 0; },
     "uniform saturation after vibrance, so vibrance still sees the dull colours it is meant for", prepareSaturation},
    {"gamma", false, true, [](const PhotoRetouchSettings& s) { return !s.gammaIsNeutral(); },
     "the final mid-tone correction on encoded values, after every colour step", prepareGamma},
    {"denoise", false, false, [](const PhotoRetouchSettings& s) { return s.optimizedSharpness && noiseShare(s) > 0.001; },
     "part of sharpening: grain is smoothed on the finished tones so that the unsharp mask after it does not raise it",
     prepareDenoise},
    {"unsharpMask", false, false, [](const PhotoRetouchSettings& s) { return s.optimizedSharpness && sharpenAmount(s) > 0.001; },
     "last: edges are sharpened as they will be printed, after every tone and colour change", prepareUnsharp},
}};

} // namespace

std::span<const Step> steps() { return kSteps; }

const Step* find(std::string_view name)
{
    for (const Step& s : kSteps)
        if (name == s.name) return &s;
    return nullptr;
}

Source sourceOf(const FloatImage& image)
{
    Source s;
    s.width = image.width;
    s.height = image.height;
    s.light = Light::encoded;
    s.rows = [&image](int y0, int y1, float* out) {
        std::memcpy(out, image.row(y0), std::size_t(y1 - y0) * image.rowValues() * sizeof(float));
    };
    return s;
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

std::optional<FloatImage> run(const FloatImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality, Mode mode,
                              const StillWanted& stillWanted)
{
    if (image.isNull() || image.channels != 4) return std::nullopt;
    const Context context{settings, quality, image.width, image.height};
    auto wanted = [&] { return !stillWanted || stillWanted(); };

    if (mode == Mode::oneByOne) {
        FloatImage current = image;
        for (const Step& step : kSteps) {
            if (!step.active(settings)) continue;
            if (!wanted()) return std::nullopt;
            current = oneStep(step, current, context);
        }
        Pipeline pipeline(current);
        pipeline.add(clampWork());
        FloatImage out = allocateLike(image);
        if (!pipeline.materialize(out, stillWanted)) return std::nullopt;
        return out;
    }

    Pipeline pipeline(image);
    Light light = Light::encoded;
    for (const Step& step : kSteps) {
        if (!step.active(settings)) continue;
        if (!wanted()) return std::nullopt;
        bool decodedJustNow = false;
        if (step.linear && light == Light::encoded) {
            pipeline.add(decodeWork());
            light = Light::linear;
            decodedJustNow = true;
        } else if (!step.linear && light == Light::linear) {
            pipeline.add(encodeWork());
            light = Light::encoded;
        }
        // Straight after the decode the step may as well look at the encoded rows.
        const Source before = decodedJustNow ? pipeline.source(pipeline.size() - 1, Light::encoded) : pipeline.source(pipeline.size(), light);
        if (std::unique_ptr<Work> work = step.prepare(context, before)) pipeline.add(std::move(work), step.perPixel);
    }
    if (light == Light::linear) pipeline.add(encodeWork());
    pipeline.add(clampWork());
    if (!wanted()) return std::nullopt;
    FloatImage out = allocateLike(image);
    if (!pipeline.materialize(out, stillWanted)) return std::nullopt;
    return out;
}

void runStep(const Step& step, FloatImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality)
{
    const Context context{settings, quality, image.width, image.height};
    image = oneStep(step, image, context);
}

} // namespace tavrin::RetouchChain
