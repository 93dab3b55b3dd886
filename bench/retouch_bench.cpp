// The retouch chain on photo-sized bitmaps: the full render of a 24-megapixel photo with every
// step on must stay within 2 s and 1 GB on two cores, its 2,048-pixel preview within 120 ms.
// Baselines in the same run: the same chain with every step run on its own over the whole image
// (what fusing the per-pixel steps into sweeps over bands saves), libvips' own Gaussian blur at
// sigma 48 on the same photo, and one copy of the float bitmap (the floor). peakRSS_MB counts the
// process: the cached source photo (384 MB at 24 megapixels) and libvips' making of it are in it.
#include "editing/PhotoLookWriter.h"
#include "editing/PhotoOriginals.h"
#include "editing/PhotoRetoucher.h"
#include "editing/RetouchChain.h"
#include "editing/RetouchBridges.h"

#include "BenchPhoto.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cmath>
#include <cstring>
#include <map>

using namespace tavrin;

namespace {

vips::VImage makePhoto(int width, int height) { return bench::photoLike(width, height, 4.0).copy_memory(); }

const FloatImage& photo(int width, int height)
{
    static std::map<std::pair<int, int>, FloatImage> cache;
    auto& slot = cache[{width, height}];
    if (slot.isNull()) slot = RetouchBridges::fromVips(makePhoto(width, height));
    return slot;
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Peak resident memory so far, the picture size, and the CPU time of all threads per iteration:
// on a shared machine that last figure says what the work costs when the wall clock cannot.
void reportPeak(benchmark::State& state, double cpuAtStart)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peakRSS_MB"] = double(usage.ru_maxrss) / 1024.0;
    state.counters["MP"] = double(state.range(0)) * double(state.range(1)) / 1e6;
    state.counters["allThreadsCPU_s"] = (processCpuSeconds() - cpuAtStart) / double(state.iterations());
}

void BM_RetouchFull(benchmark::State& state)
{
    const FloatImage& image = photo(int(state.range(0)), int(state.range(1)));
    const PhotoRetouchSettings s = bench::everyRetouchStep();
    const double cpu = processCpuSeconds();
    for (auto _ : state) benchmark::DoNotOptimize(PhotoRetoucher::apply(image, s, RetouchQuality::full));
    reportPeak(state, cpu);
}
BENCHMARK(BM_RetouchFull)->Args({3000, 2000})->Args({6000, 4000})->Args({8485, 5657})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RetouchPreview(benchmark::State& state)
{
    const FloatImage& image = photo(int(state.range(0)), int(state.range(1)));
    const PhotoRetouchSettings s = bench::everyRetouchStep();
    const double cpu = processCpuSeconds();
    for (auto _ : state) benchmark::DoNotOptimize(PhotoRetoucher::apply(image, s, RetouchQuality::preview));
    reportPeak(state, cpu);
}
BENCHMARK(BM_RetouchPreview)->Args({2048, 1365})->Unit(benchmark::kMillisecond)->UseRealTime();

// What a slider move costs the crop editor: its 2,048-pixel working copy, four bytes a pixel as it
// is shown, retouched into the image shown next.
void BM_RetouchPreviewShown(benchmark::State& state)
{
    const FloatImage& image = photo(int(state.range(0)), int(state.range(1)));
    QImage shown(image.width, image.height, QImage::Format_RGBX8888);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int c = 0; c < 4; ++c)
                shown.scanLine(y)[4 * x + c] = uchar(c == 3 ? 255 : std::lround(image.at(x, y)[c] * 255));
    const PhotoRetouchSettings s = bench::everyRetouchStep();
    const double cpu = processCpuSeconds();
    for (auto _ : state) benchmark::DoNotOptimize(PhotoRetoucher::apply(shown, s, RetouchQuality::preview));
    reportPeak(state, cpu);
}
BENCHMARK(BM_RetouchPreviewShown)->Args({2048, 1365})->Unit(benchmark::kMillisecond)->UseRealTime();

// A slider dragged in the crop editor: each render moves the same slider again, from what the
// render before kept (the rows before the moved step). The slider: 0 exposure (near the start of
// the chain, almost everything is made again), 1 saturation (the middle), 2 sharpness (the end).
void BM_RetouchPreviewDrag(benchmark::State& state)
{
    const FloatImage& image = photo(2048, 1365);
    QImage shown(image.width, image.height, QImage::Format_RGBX8888);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            for (int c = 0; c < 4; ++c)
                shown.scanLine(y)[4 * x + c] = uchar(c == 3 ? 255 : std::lround(image.at(x, y)[c] * 255));
    PhotoRetouchSettings s = bench::everyRetouchStep();
    RetouchChain::Memo memo;
    const auto move = [&](int i) {
        const double step = i % 2 ? 1 : -1;
        switch (state.range(0)) {
        case 0: s.exposure += 0.05 * step; break;
        case 1: s.saturation += 5 * step; break;
        default: s.sharpnessAmount += 10 * step; break;
        }
    };
    // The render before the drag, then its first move, which keeps the rows before the slider.
    PhotoRetoucher::apply(shown, s, RetouchQuality::preview, {}, memo);
    move(0);
    PhotoRetoucher::apply(shown, s, RetouchQuality::preview, {}, memo);
    const double cpu = processCpuSeconds();
    int i = 1;
    for (auto _ : state) {
        move(i++);
        benchmark::DoNotOptimize(PhotoRetoucher::apply(shown, s, RetouchQuality::preview, {}, memo));
    }
    state.counters["allThreadsCPU_s"] = (processCpuSeconds() - cpu) / double(state.iterations());
}
BENCHMARK(BM_RetouchPreviewDrag)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(6);

// Baseline: every step on its own over the whole image, linear steps decoding and encoding around
// themselves, as the chain ran before its steps were fused.
void BM_RetouchFullOneByOne(benchmark::State& state)
{
    const FloatImage& image = photo(int(state.range(0)), int(state.range(1)));
    const PhotoRetouchSettings s = bench::everyRetouchStep();
    const double cpu = processCpuSeconds();
    for (auto _ : state)
        benchmark::DoNotOptimize(RetouchChain::run(image, s, RetouchQuality::full, RetouchChain::Mode::oneByOne));
    reportPeak(state, cpu);
}
BENCHMARK(BM_RetouchFullOneByOne)->Args({6000, 4000})->Unit(benchmark::kMillisecond)->UseRealTime();

// One step at a time, on the 24-megapixel photo at full quality and on the 2,048-pixel preview,
// to see where the time goes.
void BM_RetouchStep(benchmark::State& state)
{
    const bool preview = state.range(1) == 2048;
    const FloatImage& image = preview ? photo(2048, 1365) : photo(6000, 4000);
    const PhotoRetouchSettings all = bench::everyRetouchStep();
    PhotoRetouchSettings s;
    switch (state.range(0)) {
    case 0: s.autoContrast = true; break;
    case 1: s.exposure = all.exposure; break;
    case 2: s.shadows = all.shadows, s.highlights = all.highlights; break;
    case 3: s.brightness = all.brightness; break;
    case 4: s.contrast = all.contrast; break;
    case 5: s.vibrance = all.vibrance; break;
    case 6: s.saturation = all.saturation; break;
    case 7: s.gamma = all.gamma; break;
    case 8: s.optimizedSharpness = true, s.sharpnessNoiseReduction = 0; break;
    case 9: s.optimizedSharpness = true, s.sharpnessNoiseReduction = all.sharpnessNoiseReduction; break;
    }
    const double cpu = processCpuSeconds();
    const RetouchQuality quality = preview ? RetouchQuality::preview : RetouchQuality::full;
    for (auto _ : state) benchmark::DoNotOptimize(PhotoRetoucher::apply(image, s, quality));
    state.counters["allThreadsCPU_s"] = (processCpuSeconds() - cpu) / double(state.iterations());
}
BENCHMARK(BM_RetouchStep)->ArgsProduct({benchmark::CreateDenseRange(0, 9, 1), {6000, 2048}})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// A 24-megapixel camera JPEG on disk, for the file-to-file figures.
struct CameraFile {
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/tavrin-retouch-bench-XXXXXX")};
    QString path = dir.filePath(QStringLiteral("camera.jpg"));
    CameraFile() { makePhoto(6000, 4000).jpegsave(path.toUtf8().constData(), vips::VImage::option()->set("Q", 92)); }
};

const CameraFile& cameraFile()
{
    static CameraFile file;
    return file;
}

// The retouch of a photo on disk with every step on, as the retouch command does it: backup
// copy, decode, chain, encode at quality 97, rename over the photo.
void BM_RetouchFile(benchmark::State& state)
{
    const CameraFile& file = cameraFile();
    CropEditState look;
    look.retouch = bench::everyRetouchStep();
    const QString photo = file.dir.filePath(QStringLiteral("photo.jpg"));
    const double cpu = processCpuSeconds();
    for (auto _ : state) {
        state.PauseTiming();
        // A never-edited photo each time: no backup yet, no journal.
        QDir(file.dir.filePath(PhotoOriginals::folderName.toString())).removeRecursively();
        QFile::remove(photo);
        QFile::copy(file.path, photo);
        state.ResumeTiming();
        benchmark::DoNotOptimize(PhotoLookWriter::write(photo, look, std::nullopt, {}));
    }
    reportPeak(state, cpu);
}
BENCHMARK(BM_RetouchFile)->Args({6000, 4000})->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: libvips decoding the same file and encoding it at quality 97.
void BM_VipsDecodeEncode(benchmark::State& state)
{
    const CameraFile& file = cameraFile();
    const QByteArray out = file.dir.filePath(QStringLiteral("vips.jpg")).toUtf8();
    const double cpu = processCpuSeconds();
    // Opened as a source: by name, libvips would hand back its cached decode.
    for (auto _ : state)
        vips::VImage::new_from_source(vips::VSource::new_from_file(file.path.toUtf8().constData()), "",
                                      vips::VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL))
            .jpegsave(out.constData(), vips::VImage::option()->set("Q", 97));
    reportPeak(state, cpu);
}
BENCHMARK(BM_VipsDecodeEncode)->Args({6000, 4000})->Unit(benchmark::kMillisecond)->UseRealTime();

// Baseline: libvips' Gaussian blur at sigma 48 on the 8-bit photo, rendered to memory.
void BM_VipsGaussblur48(benchmark::State& state)
{
    const vips::VImage image = makePhoto(int(state.range(0)), int(state.range(1)));
    const double cpu = processCpuSeconds();
    for (auto _ : state) {
        size_t size = 0;
        void* out = image.gaussblur(48).write_to_memory(&size);
        benchmark::DoNotOptimize(out);
        g_free(out);
    }
    reportPeak(state, cpu);
}
BENCHMARK(BM_VipsGaussblur48)->Args({6000, 4000})->Unit(benchmark::kMillisecond)->UseRealTime();

// Floor: one copy of the float bitmap.
void BM_CopyFloatImage(benchmark::State& state)
{
    const FloatImage& image = photo(int(state.range(0)), int(state.range(1)));
    const double cpu = processCpuSeconds();
    for (auto _ : state) benchmark::DoNotOptimize(image.detached());
    reportPeak(state, cpu);
}
BENCHMARK(BM_CopyFloatImage)->Args({6000, 4000})->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
