#pragma once

// The retouch chain as an ordered table of steps. The table is the documentation of the order:
// each entry says what the step is called, whether it works in linear light, whether it looks at
// one pixel at a time or at a neighbourhood, when it runs, and why it sits where it does.
//
// The runner goes down the table once per render. It decodes to linear light before the first
// linear step and encodes back after the last, runs consecutive per-pixel steps in one sweep over
// each band of rows (a neighbourhood step ends such a run and takes the rows it needs around each
// band from the run before it), and asks between steps and between bands whether the result is
// still wanted, so that a newer preview stops an older one early. Nothing holds the whole picture
// but the input and the output: memory stays bounded however many steps are on.
//
// Where the time goes, and what was chosen. Profiled with perf on a 24-megapixel photo with every
// step on (retouch_bench BM_RetouchFull and BM_RetouchFile, two cores): of the chain's processor
// time the unsharp mask took about 27 % (its Gaussian 18, its sweep 9), the noise reduction 15,
// the per-pixel sweeps about 40 (the sRGB decode 10, encode 5, gamma 5, tone curve 4, shadows and
// highlights 5, vibrance, brightness, clamp 2 to 3 each), copying rows 9 and faulting in the
// 384 MB float output 10; around the chain, the photo's widening to floats and narrowing back
// cost as much again as its decode and encode. So:
// - a photo goes through as bytes (`run` on Bytes): rows are widened to floats band by band and
//   narrowed back as each band is done, the sRGB decode looked up once per byte value as they are
//   read; no float copy of the whole photo, peak memory from about 990 MB to about 340 MB, and a
//   quarter less processor time for a retouch from file to file;
// - the shadows and highlights map, smooth by nature, is measured on the middle rows of its cells
//   (see RetouchToneMap.h), so the rows before it are made two or three times fewer;
// - the direct Gaussian runs along whole lines, and it, the noise reduction, the unsharp sweep
//   and the clamp are compiled for AVX2 beside plain x86-64 (TAVRIN_VECTOR_CLONES);
// - a slider dragged in the crop editor: on its 2,048-pixel preview the noise reduction took
//   about 12 % of the processor time, the unsharp mask with its Gaussian 15, the per-pixel
//   sweeps about 25, widening and narrowing the bytes 5, the end points and the tone map 5. A
//   drag moves one slider many times, so the first render after a move keeps the rows just before
//   the moved step (a Memo: one float copy of the preview) and the next ones start there; a step
//   says which settings it reads (`same`) so that the moved one is found, and a neighbourhood
//   step first over kept rows reads them in place. The renders are the same bytes as from
//   scratch. Dragging the sharpness then costs about a fifth of a render from scratch, the
//   saturation about half, the exposure nearly all of it (what follows it is most of the work);
//   the first render after moving another slider costs about a tenth more, for writing the rows;
// - tried and left out: the table lookups of the per-pixel steps in vector lanes with gathered
//   loads, slower than the scalar loops here once alpha and out-of-range values are put back;
//   taller bands (256 rows), which saved a few per cent of per-pixel work for 40 % more memory.
//
// Measured again on an optimised build (perf, the 24-megapixel retouch from file to file with
// every step on, 3.65 s of processor time of which libjpeg's decode and encode 0.5): noise
// reduction 11 %, the unsharp mask 17 (its Gaussian passes 12, the gate 5, a scalar loop whose
// clamps had become branches that grain mispredicts), the per-pixel sweeps 34 (vibrance 6, again
// a branch per pixel; the tone curve, the encode and gamma 4 each, gamma's power 3 more for the
// many highlights pushed above 1), widening and narrowing the bytes 6. A slider dragged on the
// preview spent about a fifth of its time re-measuring the shadows and highlights map, because
// the map was measured on the rows after exposure. So:
// - the map is measured on the photo's own linear rows (`Source::origin`) and moved by what the
//   steps before did to luminance: automatic contrast and exposure move every pixel's luminance
//   by one affine map (the luminance weights add up to one), and measuring, blurring and
//   sampling are linear. The map then depends on the photo and the radius only; a memo keeps it
//   (`Kept`), so that exposure and the amounts drag without measuring it, and a render from
//   scratch moves it the same way, so the bytes agree;
// - noise reduction runs eight pixels at a time on planes split from the rows as they are read
//   (a ring of three rows), the filter of the extended image at every edge; the Gaussian sums
//   each tap into a register eight values at a time and writes once; the unsharp gate takes four
//   pixels at a time turned into channel vectors, without branches; so does vibrance; automatic
//   contrast and exposure take a pixel per vector;
// - fewer sweeps: the encode before contrast is folded into the curve's lookup (`fromLinear`),
//   the last clamp into the narrowing to bytes; gamma's table reaches 2 and serves negative
//   values too;
// - a preview's band buffers stay with its memo, so that the next render does not fault them in;
// - rows are read from the input one at a time just before the sweep over them, while they are
//   in the first-level cache (a band of them was not: 7 % of the processor time of a retouch);
// - a retouch nobody can call off runs beside the write (`PhotoRetoucher::applyAlongside`): the
//   JPEG encoder takes each band as it is done instead of waiting for the last;
// - brightness's table reaches 2, and shadows and highlights reading one map take both gains in
//   one lookup; bytes are narrowed four pixels at a time; the Gaussian along rows reads them in
//   place, padding only their ends.
// After (same build and photo, 3.0 s, libjpeg the same 0.5): noise reduction 10 %, the unsharp
// mask 16 (Gaussian 10, gate 5), the per-pixel sweeps 25, bytes 9. Runs of the old and the new
// build taken in turn, three each, medians (load about 4 from other builds), against libvips'
// decode and encode of the same file (0.62 s, 0.58 s of processor time): the retouch beyond that
// decode and encode went from 6.4 to 4.5 times it on the wall clock (4.6 to 3.4 s in all; in
// processor time 6.5 to 4.7 times), peak memory 352 MB before and after; the preview dragged by
// exposure from 0.55 to 0.32 times it (0.34 to 0.20 s), by saturation from 0.34 to 0.26, by
// sharpness from 0.13 to 0.11, made from scratch from 0.55 to 0.45. Under that load the preview's
// two threads got about one core between them: on a quiet machine its wall clock is near half
// its processor time.
// Measured once more (perf, the same retouch from file to file, optimised build): the narrowing
// to bytes took 8.5 % of the processor time, half of it waiting for the band it read back from
// memory (written whole, then read again) and the rest in 512-bit generic vectors that the
// compiler had turned into one value at a time; the contrast curve 6 %, the highlights above 1
// taking the exact encode and its power; the unsharp mask's blur 11 %, down the columns of a
// band-sized copy blurred across; the kernel 8 to 12 %, faulting in fresh pages. So:
// - a neighbourhood step hands each row to the per-pixel steps after it and to the narrowing as
//   soon as it is written (`RowWritten`), while the row is in the cache; the target's band is
//   never read back; the narrowing packs four pixels with 128-bit instructions;
// - the unsharp mask blurs a row at a time from a ring of rows blurred across
//   (`RetouchFilters::gaussianRows`), each sharpened as soon as it is blurred: no band-sized
//   blurred copy, and the rows it sums stay in the second-level cache;
// - the encoded contrast curve's table goes on to 2.
// After: the narrowing 0.7 %, the power 0.2 %. Old and new builds in turns, five runs each, same
// photo: 1.36 to 1.19 s on the wall clock, 2.39 to 2.04 s of processor time (libvips' decode and
// encode of the file 0.31 s): the retouch beyond that decode and encode from 3.4 to 2.8 times it.
// Tried and left out: the photo and the bands in two-megabyte pages (madvise); it saved 8 % of the
// user time, but on our virtual machines the kernel clears such pages slowly and the system time
// went from 0.26 to 0.93 s.
// Left for later: the blur carrying alpha (a quarter of its work), the lookups in lanes, the rows
// before the noise reduction and the unsharp mask made as they read them (a ring of rows each)
// rather than a band at a time, which would take the last two band-sized buffers away.
//
// The table and the runner live in RetouchChain.cpp; each step's work in a file of its kind
// (RetouchToneSteps, RetouchShadowsHighlights, RetouchColourSteps, RetouchSharpeningSteps).
// Adding a step: one entry in the table, one prepare function, one test.

#include "editing/PhotoRetouchSettings.h"
#include "editing/RetouchImage.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>

namespace tavrin::RetouchChain {

// The image as it stands before a step, for steps that must see the whole picture before they
// can work (end points, tone maps): `rows(y0, y1, out)` writes rows [y0, y1) one after the other,
// width × 4 floats each, in the light `light` says. Safe to call from several threads at once.
struct Source {
    int width = 0;
    int height = 0;
    Light light = Light::encoded;
    std::function<void(int y0, int y1, float* out)> rows;
    // When every step before has moved linear luminance by one affine map: the photo's own rows in
    // linear light, and that map (luminance here = gain × luminance there + offset). A luminance
    // map measured there holds for any exposure, so it is measured once per photo.
    const Source* origin = nullptr;
    float originGain = 1;
    float originOffset = 0;
};

// An affine map of linear luminance: gain × l + offset.
struct Affine {
    float gain = 1;
    float offset = 0;
    // This map, then `next`.
    Affine then(Affine next) const { return {next.gain * gain, next.gain * offset + next.offset}; }
};

// Rows [first, last) of an image held one after the other; rows asked for outside the image read
// its nearest edge row (edges extended).
struct Band {
    const float* data = nullptr;
    int first = 0;
    int last = 0;
    int width = 0;
    int height = 0;
    const float* row(int y) const
    {
        y = y < 0 ? 0 : (y >= height ? height - 1 : y);
        return data + std::size_t(y - first) * std::size_t(width) * 4;
    }
};

// Buffers a neighbourhood step may use while it works on a band (slots 0 … 2); they are kept for
// the next band, so that bands do not fault fresh memory in.
class Scratch {
public:
    virtual ~Scratch() = default;
    virtual float* get(int slot, std::size_t values) = 0;
};

// Row y of an image, just written.
using RowWritten = std::function<void(int y, float* row)>;

// Where a step writes rows [y0, y1): row y − y0 at data + (y − y0) × stride values. A stride of 0
// puts every row in the same place, for rows handed on as they are written and not kept.
struct RowsOut {
    float* data = nullptr;
    std::size_t stride = 0;
    float* row(int i) const { return data + std::size_t(i) * stride; }
};

// What one step does in one render, made by the step's prepare function.
class Work {
public:
    virtual ~Work() = default;
    // Per-pixel steps: changes the `width` pixels of row y in place.
    virtual void pixels(float* row, int y, int width) const;
    // Neighbourhood steps: the rows needed above and below each output row.
    virtual int halo() const { return 0; }
    // Neighbourhood steps: `in` holds at least rows [y0 − halo, y1 + halo) within the image;
    // writes rows [y0, y1) to `out` in order, and hands each to `written` (when set) as soon as it
    // is final, to be changed in place while it is still in the cache.
    virtual void area(const Band& in, int y0, int y1, RowsOut out, Scratch& scratch, const RowWritten& written) const;
    // Per-pixel steps whose every pixel's linear luminance moves by one affine map say which.
    virtual std::optional<Affine> luminanceMap() const { return std::nullopt; }
    // Per-pixel steps on encoded values that can as well take linear rows and encode them on the
    // way (one lookup instead of two) give that work; none otherwise.
    virtual std::unique_ptr<Work> fromLinear() const { return nullptr; }
};

class ToneMap;
// What a preview keeps of one photo for the next renders besides rows: the luminance maps measured
// on the photo itself, by blur and cell size.
struct Kept {
    std::map<std::pair<double, int>, std::shared_ptr<const ToneMap>> toneMaps;
};

struct Context {
    const PhotoRetouchSettings& settings;
    RetouchQuality quality;
    int width = 0;
    int height = 0;
    // Maps kept from the renders before over the same photo, when there is a memo.
    Kept* kept = nullptr;
    double longSide() const { return double(width > height ? width : height); }
};

struct Step {
    const char* name;
    // Works on linear light (the runner decodes before it); otherwise on gamma-encoded values.
    bool linear;
    // Looks at one pixel at a time (fused with its neighbours in the table) or at a neighbourhood.
    bool perPixel;
    bool (*active)(const PhotoRetouchSettings&);
    // Why the step sits where it does.
    const char* why;
    // The step's work for this render, from the image as it stands before it; none when the
    // step has nothing to do after all (flat picture, zero amount).
    std::unique_ptr<Work> (*prepare)(const Context&, const Source& before);
    // Whether two settings are the same for this step: every value it reads is equal.
    bool (*same)(const PhotoRetouchSettings&, const PhotoRetouchSettings&);
};

// The chain, in its order.
std::span<const Step> steps();
const Step* find(std::string_view name);

// Called between steps and between bands; false stops the render, which then gives nothing.
using StillWanted = std::function<bool()>;

enum class Mode {
    // Per-pixel neighbours in one sweep, linear light held across the linear steps: the renders.
    fused,
    // Every step over the whole image on its own, linear steps decoding and encoding around
    // themselves: the reference the fused render is held to.
    oneByOne,
};

// The active steps in their order, then every channel clamped to 0 … 1 as the 8-bit render that
// follows does. None for an empty image or when `stillWanted` said no.
std::optional<FloatImage> run(const FloatImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality,
                              Mode mode = Mode::fused, const StillWanted& stillWanted = {});

// An 8-bit photo in memory, rows one after the other without padding: RGB (3 bands, opaque) or
// RGBA (4 bands).
struct Bytes {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    int bands = 3;
};
// The fused render from 8-bit pixels into `out` (the input's size and bands), rounded as the 8-bit
// render of the float result is. Rows are widened to floats band by band as the steps ask for them
// and narrowed back as each band is done: no float copy of the whole photo is ever made. False for
// other band counts or when `stillWanted` said no.
bool run(const Bytes& in, std::uint8_t* out, const PhotoRetouchSettings& settings, RetouchQuality quality,
         const StillWanted& stillWanted = {});
// The same, saying which rows of `out` are final as each band is done (from the thread that did
// it), so that a reader can take them while the chain works on the others.
bool run(const Bytes& in, std::uint8_t* out, const PhotoRetouchSettings& settings, RetouchQuality quality,
         const std::function<void(int y0, int y1)>& rowsDone);

// What a preview keeps for the next one over the same picture, so that a slider move recomputes
// only the steps from the moved one on: the rows just before that step, made by the first render
// after the move (one float copy of the picture). Renders given the same memo run one at a time.
class Memo {
public:
    Memo();
    ~Memo();
    struct State;
    std::mutex mutex;
    std::unique_ptr<State> state;
};
// The same render as `run` on Bytes, starting from the rows `memo` kept when `key` names the same
// picture as the render before (and its size and the quality match), and keeping new ones.
bool run(const Bytes& in, std::uint8_t* out, const PhotoRetouchSettings& settings, RetouchQuality quality,
         const StillWanted& stillWanted, Memo& memo, std::int64_t key);

// One step alone on the encoded image, as the one-by-one run does it, without the clamp; whether
// it is active is not asked.
void runStep(const Step& step, FloatImage& image, const PhotoRetouchSettings& settings, RetouchQuality quality);

// Automatic contrast's end points in linear light, from a copy of the source at most 480 pixels on
// its long side, averaged in encoded values; none when they are less than 0.04 apart.
struct LuminanceEnds {
    float low;
    float high;
};
std::optional<LuminanceEnds> luminanceEnds(const Source& source);
// A source reading an encoded image.
Source sourceOf(const FloatImage& image);

} // namespace tavrin::RetouchChain
