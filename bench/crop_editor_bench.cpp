// The crop editor on a 24-megapixel photo: opening it to a shown preview (target ≤ 300 ms), a
// retouch slider change to a new 2,048-pixel preview (≤ 120 ms, so at least 8 updates a second
// while dragging) and validating an A4 crop with the watermark written to disk (≤ 1 s). Baseline
// in the same run: the composer alone decoding, composing and writing the same page.
#include "BenchMain.h"
#include "editing/CropEditorModel.h"
#include "editing/PhotoComposer.h"
#include "editing/PhotoOriginals.h"
#include "editing/PhotoRetoucher.h"
#include "editing/RetouchBridges.h"

#include "BenchPhoto.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

using namespace tavrin;

namespace {

struct Files {
    QTemporaryDir dir{QDir::tempPath() + QStringLiteral("/tavrin-crop-bench-XXXXXX")};
    QString photo;
    QString watermark;
    Files()
    {
        photo = dir.filePath(QStringLiteral("camera.jpg"));
        watermark = dir.filePath(QStringLiteral("filigrane.png"));
        bench::photoLike(6000, 4000, 4.0).jpegsave(photo.toUtf8().constData(), vips::VImage::option()->set("Q", 92));
        const vips::VImage xy = vips::VImage::xyz(2000, 500);
        const vips::VImage inside = (xy[0] > 80) & (xy[0] < 1920) & (xy[1] > 120) & (xy[1] < 380);
        const vips::VImage mark = inside.ifthenelse(std::vector<double>{255, 255, 255, 204}, std::vector<double>{0, 0, 0, 0});
        mark.cast(VIPS_FORMAT_UCHAR).copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
            .pngsave(watermark.toUtf8().constData());
    }
    // A fresh never-edited copy of the camera's photo.
    QString freshPhoto(const QString& name) const
    {
        const QString path = dir.filePath(name);
        QDir(dir.filePath(QString::fromUtf16(PhotoOriginals::folderName.utf16(), PhotoOriginals::folderName.size()))).removeRecursively();
        QFile::remove(path);
        QFile::copy(photo, path);
        return path;
    }
};

const Files& files()
{
    static Files f;
    return f;
}

// Runs the event loop until `signal` fires (or 60 s pass).
template <typename Signal>
void waitFor(CropEditorModel& model, Signal signal)
{
    QEventLoop loop;
    QObject::connect(&model, signal, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
}

void waitIdle(CropEditorModel& model)
{
    while (model.jobsInFlight() > 0 || model.hasPendingPersist()) {
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Peak resident memory, and with `cpuAtStart` the processor time of all threads per iteration:
// on a shared machine that says what the work costs when the wall clock cannot.
void reportPeak(benchmark::State& state, double cpuAtStart = -1)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peakRSS_MB"] = double(usage.ru_maxrss) / 1024.0;
    if (cpuAtStart >= 0) state.counters["allThreadsCPU_s"] = (processCpuSeconds() - cpuAtStart) / double(state.iterations());
}

// Exposure and contrast only, or with the slow steps too (tones, vibrance, sharpening).
PhotoRetouchSettings sliderSettings(int step, bool slowSteps)
{
    PhotoRetouchSettings s;
    s.exposure = 0.2 + 0.01 * (step % 20);
    s.contrast = 15;
    if (slowSteps) {
        s.shadows = 30;
        s.highlights = -20;
        s.vibrance = 20;
        s.optimizedSharpness = true;
    }
    return s;
}

void BM_OpenToPreview(benchmark::State& state)
{
    const QString photo = files().freshPhoto(QStringLiteral("open.jpg"));
    CropEditorModel model;
    for (auto _ : state) {
        model.open(photo, files().watermark, {});
        waitFor(model, &CropEditorModel::loaded);
        if (model.preview().isNull()) state.SkipWithError("no preview");
        state.PauseTiming();
        model.close();
        waitIdle(model);
        state.ResumeTiming();
    }
    reportPeak(state);
}
BENCHMARK(BM_OpenToPreview)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_RetouchSliderToPreview(benchmark::State& state)
{
    const QString photo = files().freshPhoto(QStringLiteral("slider.jpg"));
    CropEditorModel model;
    model.open(photo, std::nullopt, {});
    waitFor(model, &CropEditorModel::loaded);
    state.counters["previewLongSide"] = std::max(model.preview().width(), model.preview().height());
    int step = 0;
    for (auto _ : state) {
        model.setRetouchPreview(sliderSettings(step++, state.range(0) == 1));
        waitFor(model, &CropEditorModel::previewChanged);
        // The delayed write is dropped before the next change. When a preview takes longer than
        // the 280 ms delay the write has already started and shares the cores, as it would in use.
        state.PauseTiming();
        model.reloadIfShowing(photo);
        waitIdle(model);
        state.ResumeTiming();
    }
    reportPeak(state);
}
BENCHMARK(BM_RetouchSliderToPreview)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Baseline for the slider: the retoucher alone on a working image of the same size.
void BM_BaselineRetoucherPreview(benchmark::State& state)
{
    const auto working = PhotoComposer::loadImage(files().photo, CropEditorModel::workingMaxPixel);
    const FloatImage image = RetouchBridges::fromVips(*working);
    int step = 0;
    const double cpu = processCpuSeconds();
    for (auto _ : state)
        benchmark::DoNotOptimize(PhotoRetoucher::apply(image, sliderSettings(step++, state.range(0) == 1), RetouchQuality::preview));
    reportPeak(state, cpu);
}
BENCHMARK(BM_BaselineRetoucherPreview)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_ValidateA4Crop(benchmark::State& state)
{
    const QString photo = files().freshPhoto(QStringLiteral("validate.jpg"));
    CropEditorModel model;
    model.open(photo, files().watermark, {});
    waitFor(model, &CropEditorModel::loaded);
    waitIdle(model);
    model.setFormat(PrintFormat::a4);
    model.setIncludeWatermark(true);
    int step = 0;
    for (auto _ : state) {
        model.nudge(step++ % 2 ? -4 : 4, 0);
        bool ok = false;
        model.save([&](bool success) { ok = success; });
        waitFor(model, &CropEditorModel::saveFinished);
        if (!ok) state.SkipWithError("validation failed");
    }
    reportPeak(state);
}
BENCHMARK(BM_ValidateA4Crop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Baseline for opening: libvips' shrink-on-load thumbnail of the same file at 2,048 pixels.
void BM_BaselineVipsThumbnail(benchmark::State& state)
{
    const QByteArray photo = files().photo.toUtf8();
    for (auto _ : state) {
        const vips::VSource source = vips::VSource::new_from_file(photo.constData());
        benchmark::DoNotOptimize(vips::VImage::thumbnail_source(source, CropEditorModel::workingMaxPixel).copy_memory());
    }
    reportPeak(state);
}
BENCHMARK(BM_BaselineVipsThumbnail)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

// Baseline: the composer alone, from the untouched photo to the written A4 page.
void BM_BaselineComposerWrite(benchmark::State& state)
{
    const QString photo = files().freshPhoto(QStringLiteral("compose.jpg"));
    const QString out = files().dir.filePath(QStringLiteral("page.jpg"));
    CropEditState look;
    look.format = PrintFormat::a4;
    look.includeWatermark = true;
    look.cropValidated = true;
    for (auto _ : state) {
        const auto image = PhotoComposer::loadImage(photo);
        const auto mark = PhotoComposer::loadImage(files().watermark);
        if (!image || !mark) state.SkipWithError("unreadable");
        else PhotoComposer::write(PhotoComposer::renderLook(*image, look, *mark), out);
    }
    reportPeak(state);
}
BENCHMARK(BM_BaselineComposerWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace

int main(int argc, char** argv) { return tavrin::bench::runWithQt(argc, argv); }
