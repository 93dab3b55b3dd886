#include "editing/RetouchChain.h"

#include "editing/RetouchKernels.h"
#include "editing/RetouchSteps.h"
#include "editing/SrgbCurve.h"

#include <QThreadPool>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

// The vector helpers of this file never leave it, so the calling convention of wide vectors
// without AVX does not matter here.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace tavrin::RetouchChain {

void Work::pixels(float*, int, int) const {}
void Work::area(const Band&, int, int, RowsOut, Scratch&, const RowWritten&) const {}

namespace {

std::unique_ptr<Work> decodeWork() { return rowWork(RetouchKernels::decodeRow); }
std::unique_ptr<Work> encodeWork() { return rowWork(RetouchKernels::encodeRow); }
// The rendered bitmap is 8-bit: nothing outside 0 … 1 survives it.
std::unique_ptr<Work> clampWork()
{
    return rowWork(RetouchKernels::clampRow);
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
    // The sRGB decode, which an input able to give linear rows does as it reads them.
    bool decode = false;
};

// Gives rows [y0, y1) of the input, width × 4 floats each, encoded.
using Reader = std::function<void(int y0, int y1, float* out)>;

// Where the finished rows go: straight into rows the target holds (`rows` gives the first of a
// band's), or, when it has none, to `row` one at a time as the last step writes each, all in one
// reused row. `done` is told of each band once it is finished.
struct Target {
    std::function<float*(int y0)> rows;
    RowWritten row;
    std::function<void(int y0, int y1)> done;
    // `row` clamps to 0 … 1 as it narrows the rows, so the render's own clamp is left out.
    bool clamps = false;
};

// Straight into an image's own rows.
Target intoImage(FloatImage& image)
{
    Target target;
    target.rows = [&image](int y0) { return image.row(y0); };
    return target;
}

// Band buffers between renders: a preview's next render finds them faulted in already.
struct Spares {
    std::mutex mutex;
    std::vector<std::unique_ptr<Buffers>> buffers;
};

// Stages over one input: rows after any number of stages are made on demand, band by band.
class Pipeline {
public:
    Pipeline(int width, int height, Reader input) : m_input(std::move(input)), m_width(width), m_height(height) {}
    explicit Pipeline(const FloatImage& image) : Pipeline(image.width, image.height, [&image](int y0, int y1, float* out) {
        std::memcpy(out, image.row(y0), std::size_t(y1 - y0) * image.rowValues() * sizeof(float));
    })
    {
        m_held = &image;
    }

    void add(std::unique_ptr<Work> work, bool perPixel = true) { m_stages.push_back({std::move(work), perPixel}); }
    void replaceLast(std::unique_ptr<Work> work) { m_stages.back() = {std::move(work), true}; }
    // Takes its band buffers from `spares` and leaves them there, instead of its own.
    void shareBuffers(Spares& spares) { m_spares = &spares; }
    void addDecode() { m_stages.push_back({decodeWork(), true, true}); }
    // An input that gives its rows in linear light too, with the same values as the decode stage.
    void readLinear(Reader linear) { m_linearInput = std::move(linear); }
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
            produce(k, y0, y1, RowsOut{out, rowValues()}, *buffers, 0);
            giveBack(std::move(buffers));
        };
        return s;
    }

    // Every row after all the stages into `out`, bands spread over the cores. False when
    // `wanted` said no before the last band.
    bool materialize(FloatImage& out, const std::function<bool()>& wanted)
    {
        return materialize(intoImage(out), wanted);
    }

    bool materialize(const Target& target, const std::function<bool()>& wanted)
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
                const RowsOut out = target.rows ? RowsOut{target.rows(y0), rowValues()} : RowsOut{buffers->get(kTargetSlot, rowValues()), 0};
                produce(m_stages.size(), y0, y1, out, *buffers, 0, target.row ? &target.row : nullptr);
                if (target.done) target.done(y0, y1);
            }
            giveBack(std::move(buffers));
        });
        return !stopped.load();
    }

private:
    std::size_t rowValues() const { return std::size_t(m_width) * 4; }

    // Rows [y0, y1) after the first `k` stages into `out`, each handed to `finish` once final.
    void produce(std::size_t k, int y0, int y1, RowsOut out, Buffers& buffers, int depth, const RowWritten* finish = nullptr) const
    {
        const std::size_t rowValues = this->rowValues();
        // Stages [first, k) are per-pixel: one sweep along each row of the band.
        std::size_t first = k;
        while (first > 0 && m_stages[first - 1].perPixel) --first;
        if (first == 0) {
            // Read a row at a time, just before the sweep over it, so that it is still in the
            // first-level cache when the steps go over it (a band of them is not).
            const bool linear = k > 0 && m_stages[0].decode && m_linearInput;
            const Reader& read = linear ? m_linearInput : m_input;
            for (int y = y0; y < y1; ++y) {
                float* row = out.row(y - y0);
                read(y, y + 1, row);
                for (std::size_t s = linear ? 1 : 0; s < k; ++s) m_stages[s].work->pixels(row, y, m_width);
                if (finish) (*finish)(y, row);
            }
            return;
        } else {
            const Stage& area = m_stages[first - 1];
            const int halo = area.work->halo();
            const int a = std::max(0, y0 - halo), e = std::min(m_height, y1 + halo);
            // A neighbourhood step first over a held image reads its rows where they are.
            const float* in = first == 1 && m_held ? m_held->row(a) : nullptr;
            if (!in) {
                float* made = buffers.get(depth * 4, std::size_t(e - a) * rowValues);
                produce(first - 1, a, e, RowsOut{made, rowValues}, buffers, depth + 1);
                in = made;
            }
            DepthScratch scratch(buffers, depth);
            // The per-pixel stages after the step, on each row as the step writes it.
            RowWritten after;
            if (first < k || finish)
                after = [this, first, k, finish](int y, float* row) {
                    for (std::size_t s = first; s < k; ++s) m_stages[s].work->pixels(row, y, m_width);
                    if (finish) (*finish)(y, row);
                };
            area.work->area(Band{in, a, e, m_width, m_height}, y0, y1, out, scratch, after);
        }
    }

    std::unique_ptr<Buffers> take()
    {
        std::lock_guard lock(m_spares->mutex);
        if (m_spares->buffers.empty()) return std::make_unique<Buffers>();
        std::unique_ptr<Buffers> b = std::move(m_spares->buffers.back());
        m_spares->buffers.pop_back();
        return b;
    }
    void giveBack(std::unique_ptr<Buffers> b)
    {
        std::lock_guard lock(m_spares->mutex);
        m_spares->buffers.push_back(std::move(b));
    }

    // Past any depth's slots: the band handed to a target without rows of its own.
    static constexpr int kTargetSlot = 4 * 64;
    Reader m_input, m_linearInput;
    const FloatImage* m_held = nullptr;
    int m_width, m_height;
    std::vector<Stage> m_stages;
    Spares m_ownSpares;
    Spares* m_spares = &m_ownSpares;
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


// --- The table ------------------------------------------------------------------------------

using S = PhotoRetouchSettings;

const std::array<Step, 10> kSteps{{
    {"autoContrast", true, true, [](const PhotoRetouchSettings& s) { return s.autoContrast; },
     "first: its end points must come from the photo as shot, before anything moves the tones", prepareAutoContrast,
     [](const S& a, const S& b) { return a.autoContrast == b.autoContrast; }},
    {"exposure", true, true, [](const PhotoRetouchSettings& s) { return s.exposure != 0; },
     "a plain gain in linear light, like the camera's, so the tone steps after it see the corrected level", prepareExposure,
     [](const S& a, const S& b) { return a.exposure == b.exposure; }},
    {"shadowsHighlights", true, true, [](const PhotoRetouchSettings& s) { return s.shadows != 0 || s.highlights != 0; },
     "local exposure from blurred luminance maps of the exposed photo, before global tone changes reshape those tones",
     prepareShadowsHighlights,
     [](const S& a, const S& b) {
         return a.shadows == b.shadows && a.highlights == b.highlights && a.shadowTonalWidth == b.shadowTonalWidth &&
                a.highlightTonalWidth == b.highlightTonalWidth && a.shadowRadius == b.shadowRadius && a.highlightRadius == b.highlightRadius;
     }},
    {"brightness", true, true, [](const PhotoRetouchSettings& s) { return s.brightness != 0; },
     "the last linear step: lifts mid-tones once shadows and highlights are settled", prepareBrightness,
     [](const S& a, const S& b) { return a.brightness == b.brightness; }},
    {"contrast", false, true, [](const PhotoRetouchSettings& s) { return s.contrast != 0; },
     "an S curve on encoded values, around the mid-grey the tone steps before it have placed", prepareContrast,
     [](const S& a, const S& b) { return a.contrast == b.contrast; }},
    {"vibrance", false, true, [](const PhotoRetouchSettings& s) { return s.vibrance != 0; },
     "judges how saturated each colour is after the tone changes, before uniform saturation moves them all", prepareVibrance,
     [](const S& a, const S& b) { return a.vibrance == b.vibrance; }},
    {"saturation", false, true, [](const PhotoRetouchSettings& s) { return s.saturation != 0; },
     "uniform saturation after vibrance, so vibrance still sees the dull colours it is meant for", prepareSaturation,
     [](const S& a, const S& b) { return a.saturation == b.saturation; }},
    {"gamma", false, true, [](const PhotoRetouchSettings& s) { return !s.gammaIsNeutral(); },
     "the final mid-tone correction on encoded values, after every colour step", prepareGamma,
     [](const S& a, const S& b) { return a.gamma == b.gamma; }},
    {"denoise", false, false, [](const PhotoRetouchSettings& s) { return s.optimizedSharpness && noiseShare(s) > 0.001; },
     "part of sharpening: grain is smoothed on the finished tones so that the unsharp mask after it does not raise it",
     prepareDenoise,
     [](const S& a, const S& b) { return a.optimizedSharpness == b.optimizedSharpness && a.sharpnessNoiseReduction == b.sharpnessNoiseReduction; }},
    {"unsharpMask", false, false, [](const PhotoRetouchSettings& s) { return s.optimizedSharpness && sharpenAmount(s) > 0.001; },
     "last: edges are sharpened as they will be printed, after every tone and colour change", prepareUnsharp,
     [](const S& a, const S& b) {
         return a.optimizedSharpness == b.optimizedSharpness && a.sharpnessAmount == b.sharpnessAmount &&
                a.sharpnessRadius == b.sharpnessRadius && a.removeLensBlur == b.removeLensBlur &&
                a.sharpnessNoiseReduction == b.sharpnessNoiseReduction;
     }},
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

namespace {

// Where a render stands between steps: the light the rows are in and, while every stage so far
// moved linear luminance by one affine map, that map from the photo's own linear rows (`origin`).
struct Course {
    Light light = Light::encoded;
    std::optional<Affine> fromOrigin = Affine{};
    const Source* origin = nullptr;
};

// The active steps of [from, to) in their order over the pipeline's input, fused; with `finish`,
// then the clamp of the 8-bit render (back in encoded light). Into `target`; `course` says where
// the rows stand before and after. False when `stillWanted` said no.
bool renderFused(Pipeline& pipeline, const Context& context, const Target& target, const StillWanted& stillWanted,
                 std::size_t from, std::size_t to, Course& course, bool finish)
{
    auto wanted = [&] { return !stillWanted || stillWanted(); };
    for (std::size_t i = from; i < to; ++i) {
        const Step& step = kSteps[i];
        if (!step.active(context.settings)) continue;
        if (!wanted()) return false;
        bool decodedJustNow = false, encodedJustNow = false;
        if (step.linear && course.light == Light::encoded) {
            pipeline.addDecode();
            course.light = Light::linear;
            decodedJustNow = true;
        } else if (!step.linear && course.light == Light::linear) {
            pipeline.add(encodeWork());
            course.light = Light::encoded;
            course.fromOrigin.reset();
            encodedJustNow = true;
        }
        // Straight after the decode the step may as well look at the encoded rows.
        Source before = decodedJustNow ? pipeline.source(pipeline.size() - 1, Light::encoded) : pipeline.source(pipeline.size(), course.light);
        if (course.fromOrigin && course.origin && course.light == Light::linear) {
            before.origin = course.origin;
            before.originGain = course.fromOrigin->gain;
            before.originOffset = course.fromOrigin->offset;
        }
        std::unique_ptr<Work> work = step.prepare(context, before);
        if (!work) continue;
        const std::optional<Affine> moves = step.perPixel ? work->luminanceMap() : std::nullopt;
        course.fromOrigin = course.fromOrigin && moves ? std::optional(course.fromOrigin->then(*moves)) : std::nullopt;
        // The encode just added folded into the step's own lookup.
        if (encodedJustNow && step.perPixel)
            if (std::unique_ptr<Work> merged = work->fromLinear()) {
                pipeline.replaceLast(std::move(merged));
                continue;
            }
        pipeline.add(std::move(work), step.perPixel);
    }
    if (finish) {
        if (course.light == Light::linear) pipeline.add(encodeWork());
        course.light = Light::encoded;
        if (!target.clamps) pipeline.add(clampWork());
    }
    if (!wanted()) return false;
    return pipeline.materialize(target, stillWanted);
}

} // namespace

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
    // The photo's own rows in linear light, for the maps measured on it.
    Pipeline decoded(image);
    decoded.addDecode();
    const Source origin = decoded.source(1, Light::linear);
    Course course;
    course.origin = &origin;
    // Allocated, not yet touched: its pages come in as the bands are written.
    FloatImage out = allocateLike(image);
    if (!renderFused(pipeline, context, intoImage(out), stillWanted, 0, kSteps.size(), course, true))
        return std::nullopt;
    return out;
}

namespace {

// A pipeline over 8-bit pixels: rows widened to floats band by band, or decoded to linear light
// straight from the bytes when the first stage is the decode.
std::unique_ptr<Pipeline> pipelineOver(const Bytes& in)
{
    const std::size_t rowBytes = std::size_t(in.width) * std::size_t(in.bands);
    static const std::array<float, 256> unit = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i) t[std::size_t(i)] = float(i) / 255.0f;
        return t;
    }();
    auto pipeline = std::make_unique<Pipeline>(in.width, in.height, [in, rowBytes](int y0, int y1, float* rows) {
        const std::uint8_t* p = in.data + std::size_t(y0) * rowBytes;
        const std::size_t pixels = std::size_t(y1 - y0) * std::size_t(in.width);
        if (in.bands == 4) {
            for (std::size_t i = 0; i < pixels * 4; ++i) rows[i] = unit[p[i]];
            return;
        }
        for (std::size_t i = 0; i < pixels; ++i, p += 3, rows += 4) rows[0] = unit[p[0]], rows[1] = unit[p[1]], rows[2] = unit[p[2]], rows[3] = 1.0f;
    });
    // The decode of each byte value looked up once: the same values the decode stage gives.
    static const std::array<float, 256> linear = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i) t[std::size_t(i)] = SrgbCurve::decode(float(i) / 255.0f);
        return t;
    }();
    pipeline->readLinear([in, rowBytes](int y0, int y1, float* rows) {
        const std::uint8_t* p = in.data + std::size_t(y0) * rowBytes;
        const std::size_t pixels = std::size_t(y1 - y0) * std::size_t(in.width);
        for (std::size_t i = 0; i < pixels; ++i, p += in.bands, rows += 4) {
            rows[0] = linear[p[0]], rows[1] = linear[p[1]], rows[2] = linear[p[2]];
            rows[3] = in.bands == 4 ? unit[p[3]] : 1.0f;
        }
    });
    return pipeline;
}

// The photo's own rows in linear light after its first stage.
std::unique_ptr<Pipeline> decodedOver(const Bytes& in)
{
    std::unique_ptr<Pipeline> pipeline = pipelineOver(in);
    pipeline->addDecode();
    return pipeline;
}

// RGBA floats to 8-bit RGB or RGBA, clamped to 0 … 1 and rounded: four pixels at a time, their
// sixteen values packed into bytes at once (three of each four kept for RGB). Written with the
// 128-bit instructions every x86-64 has: wider generic vectors came out as one value at a time.
TAVRIN_VECTOR_CLONES
void narrowPixels(const float* rows, std::uint8_t* o, std::size_t pixels, int bands)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    using Bytes16 = std::uint8_t __attribute__((vector_size(16)));
    const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.0f), scale = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f);
    const auto quantised = [&](const float* p) __attribute__((always_inline)) {
        const __m128 v = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(p), zero), one);
        return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, scale), half));
    };
    for (; i + 4 <= pixels; i += 4, rows += 16, o += 4 * bands) {
        // Every value is within 0 … 255, so the saturating packs only narrow.
        const __m128i low = _mm_packs_epi32(quantised(rows), quantised(rows + 4));
        const __m128i high = _mm_packs_epi32(quantised(rows + 8), quantised(rows + 12));
        const __m128i b = _mm_packus_epi16(low, high);
        if (bands == 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o), b);
        } else {
            const Bytes16 rgb = __builtin_shuffle(Bytes16(b), Bytes16{0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 0, 0, 0, 0});
            std::memcpy(o, &rgb, 12);
        }
    }
#endif
    for (; i < pixels; ++i, rows += 4, o += bands)
        for (int c = 0; c < bands; ++c) o[c] = std::uint8_t(std::min(std::max(rows[c], 0.0f), 1.0f) * 255.0f + 0.5f);
}

// Clamped and rounded as the 8-bit render of the clamped float bitmap rounds, in the same sweep.
Target bytesInto(const Bytes& in, std::uint8_t* out)
{
    const std::size_t rowBytes = std::size_t(in.width) * std::size_t(in.bands);
    Target target;
    target.row = [in, out, rowBytes](int y, float* row) { narrowPixels(row, out + std::size_t(y) * rowBytes, std::size_t(in.width), in.bands); };
    target.clamps = true;
    return target;
}

} // namespace

namespace {

// The chain over 8-bit rows into `out`; `rowsDone`, when given, is told of each band once written.
bool runBytes(const Bytes& in, std::uint8_t* out, const PhotoRetouchSettings& settings, RetouchQuality quality,
              const StillWanted& stillWanted, const std::function<void(int y0, int y1)>& rowsDone)
{
    if (in.width <= 0 || in.height <= 0 || (in.bands != 3 && in.bands != 4)) return false;
    const Context context{settings, quality, in.width, in.height};
    const std::unique_ptr<Pipeline> pipeline = pipelineOver(in);
    const std::unique_ptr<Pipeline> decoded = decodedOver(in);
    const Source origin = decoded->source(1, Light::linear);
    Course course;
    course.origin = &origin;
    Target target = bytesInto(in, out);
    target.done = rowsDone;
    return renderFused(*pipeline, context, target, stillWanted, 0, kSteps.size(), course, true);
}

} // namespace

bool run(const Bytes& in, std::uint8_t* out, const PhotoRetouchSettings& settings, RetouchQuality quality, const StillWanted& stillWanted)
{
    return runBytes(in, out, settings, quality, stillWanted, {});
}

bool run(const Bytes& in, std::uint8_t* out, const PhotoRetouchSettings& settings, RetouchQuality quality,
         const std::function<void(int y0, int y1)>& rowsDone)
{
    return runBytes(in, out, settings, quality, {}, rowsDone);
}

struct Memo::State {
    std::int64_t key = 0;
    int width = 0, height = 0, bands = 0;
    RetouchQuality quality = RetouchQuality::preview;
    // The settings of the render before; the kept rows are those before step `at` under them.
    PhotoRetouchSettings last;
    FloatImage rows;
    std::size_t at = 0;
    Light light = Light::encoded;
    std::optional<Affine> fromOrigin;
    // Measured on the photo itself: good for every render of it.
    Kept kept;
    Spares spares;
};

Memo::Memo() = default;
Memo::~Memo() = default;

bool run(const Bytes& in, std::uint8_t* out, const PhotoRetouchSettings& settings, RetouchQuality quality,
         const StillWanted& stillWanted, Memo& memo, std::int64_t key)
{
    if (in.width <= 0 || in.height <= 0 || (in.bands != 3 && in.bands != 4)) return false;
    const std::lock_guard lock(memo.mutex);
    std::unique_ptr<Memo::State>& state = memo.state;
    // The first step the move touched; everything when the picture is another.
    std::size_t moved = 0;
    if (state && state->key == key && state->width == in.width && state->height == in.height && state->bands == in.bands &&
        state->quality == quality) {
        moved = kSteps.size();
        for (std::size_t i = 0; i < kSteps.size(); ++i)
            if (!kSteps[i].same(state->last, settings)) {
                moved = i;
                break;
            }
    } else {
        state = std::make_unique<Memo::State>();
        state->key = key, state->width = in.width, state->height = in.height, state->bands = in.bands, state->quality = quality;
    }
    // Nothing moved: the rows kept stay where they are, for the next move.
    if (moved == kSteps.size()) moved = state->rows.isNull() ? 0 : state->at;
    const bool reuse = !state->rows.isNull() && state->at <= moved;
    if (!reuse) state->rows = {};
    state->last = settings;

    Context context{settings, quality, in.width, in.height};
    context.kept = &state->kept;
    const std::size_t from = reuse ? state->at : 0;
    const std::unique_ptr<Pipeline> decoded = decodedOver(in);
    const Source origin = decoded->source(1, Light::linear);
    Course course;
    course.origin = &origin;
    if (reuse) course.light = state->light, course.fromOrigin = state->fromOrigin;
    const auto startPipeline = [&]() {
        std::unique_ptr<Pipeline> pipeline = reuse ? std::make_unique<Pipeline>(state->rows) : pipelineOver(in);
        pipeline->shareBuffers(state->spares);
        return pipeline;
    };
    bool stepsBefore = false;
    for (std::size_t i = from; i < moved && i < kSteps.size(); ++i) stepsBefore = stepsBefore || kSteps[i].active(settings);
    if (stepsBefore) {
        // The rows just before the moved step, kept for the next move of the same slider.
        FloatImage rows = FloatImage::allocate(in.width, in.height, 4);
        const std::unique_ptr<Pipeline> before = startPipeline();
        if (!renderFused(*before, context, intoImage(rows), stillWanted, from, moved, course, false)) {
            state.reset();
            return false;
        }
        state->rows = rows;
        state->at = moved;
        state->light = course.light;
        state->fromOrigin = course.fromOrigin;
        Pipeline after(state->rows);
        after.shareBuffers(state->spares);
        return renderFused(after, context, bytesInto(in, out), stillWanted, moved, kSteps.size(), course, true);
    }
    const std::unique_ptr<Pipeline> pipeline = startPipeline();
    return renderFused(*pipeline, context, bytesInto(in, out), stillWanted, from, kSteps.size(), course, true);
}

void runStep(const Step& step, FloatImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality)
{
    const Context context{settings, quality, image.width, image.height};
    image = oneStep(step, image, context);
}

} // namespace tavrin::RetouchChain
