// Gallery thumbnails of 480 pixels from 24-megapixel JPEGs, one photo per iteration over 200
// photos (THUMB_PHOTOS): cold (no memory entry, no shared entry; target ≤ 0.12 s, the
// `vipsthumbnail` command's time here, see compare-thumbnail.sh), cold while writing the shared
// freedesktop entry, warm from that entry (target < 5 ms), and a memory hit. Baseline in the same
// run: libvips' own thumbnail to memory. One photo is encoded and copied under 200 names with
// distinct modification times (encoding 200 would take minutes); every copy is a separate file
// to the caches. The files stay in the page cache: "cold" is about our caches, not the disk.
#include "photofiles/MediaThumbnailer.h"

#include "BenchPhoto.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <utime.h>

using namespace tavrin;

namespace {

void writePhoto(const QString& path, int width, int height)
{
    bench::photoLike(width, height, 6.0).jpegsave(QFile::encodeName(path).constData(), vips::VImage::option()->set("Q", 90));
}

struct Photos {
    QTemporaryDir dir;
    QStringList files;

    Photos()
    {
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath(QStringLiteral("cache"))));
        const int count = qEnvironmentVariableIsSet("THUMB_PHOTOS") ? qEnvironmentVariableIntValue("THUMB_PHOTOS") : 200;
        const QString first = dir.filePath(QStringLiteral("DSC_00001.JPG"));
        writePhoto(first, 6000, 4000);
        for (int i = 1; i <= count; ++i) {
            const QString name = dir.filePath(QStringLiteral("DSC_%1.JPG").arg(i, 5, 10, QLatin1Char('0')));
            if (i > 1) QFile::copy(first, name);
            const qint64 when = 1700000000 + i;
            const struct utimbuf times {when, when};
            ::utime(QFile::encodeName(name).constData(), &times);
            files.push_back(name);
        }
    }
};

Photos& photos()
{
    static Photos instance;
    return instance;
}

void reportPeak(benchmark::State& state)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peakRSS_MB"] = double(usage.ru_maxrss) / 1024.0;
}

void BM_ThumbnailCold(benchmark::State& state)
{
    const QStringList& files = photos().files;
    MediaThumbnailer& thumbnailer = MediaThumbnailer::shared();
    thumbnailer.setSharedCacheEnabled(false);
    qsizetype i = 0;
    for (auto _ : state) {
        thumbnailer.clearMemory();
        benchmark::DoNotOptimize(thumbnailer.thumbnailNow(files[i++ % files.size()], false, 480));
    }
    thumbnailer.setSharedCacheEnabled(true);
    reportPeak(state);
}

void BM_ThumbnailColdWritingSharedEntry(benchmark::State& state)
{
    const QStringList& files = photos().files;
    MediaThumbnailer& thumbnailer = MediaThumbnailer::shared();
    QDir(SharedThumbnails::root()).removeRecursively();
    qsizetype i = 0;
    for (auto _ : state) {
        thumbnailer.clearMemory();
        benchmark::DoNotOptimize(thumbnailer.thumbnailNow(files[i++ % files.size()], false, 480));
    }
    reportPeak(state);
}

// Runs after the one above: every photo has its x-large entry.
void BM_ThumbnailWarmSharedEntry(benchmark::State& state)
{
    const QStringList& files = photos().files;
    MediaThumbnailer& thumbnailer = MediaThumbnailer::shared();
    for (const QString& file : files) {
        thumbnailer.thumbnailNow(file, false, 480);
        thumbnailer.clearMemory();
    }
    qsizetype i = 0;
    for (auto _ : state) {
        thumbnailer.clearMemory();
        benchmark::DoNotOptimize(thumbnailer.thumbnailNow(files[i++ % files.size()], false, 480));
    }
    reportPeak(state);
}

void BM_ThumbnailMemoryHit(benchmark::State& state)
{
    const QStringList& files = photos().files;
    MediaThumbnailer& thumbnailer = MediaThumbnailer::shared();
    thumbnailer.thumbnailNow(files.first(), false, 480);
    for (auto _ : state) benchmark::DoNotOptimize(thumbnailer.thumbnailNow(files.first(), false, 480));
}

// Baseline: libvips' thumbnail of the same files, to memory, nothing else.
void BM_VipsThumbnail(benchmark::State& state)
{
    const QStringList& files = photos().files;
    qsizetype i = 0;
    for (auto _ : state) {
        const vips::VImage t = vips::VImage::thumbnail(QFile::encodeName(files[i++ % files.size()]).constData(), 480);
        size_t size = 0;
        void* out = t.write_to_memory(&size);
        benchmark::DoNotOptimize(out);
        g_free(out);
    }
    reportPeak(state);
}

int count() { return qEnvironmentVariableIsSet("THUMB_PHOTOS") ? qEnvironmentVariableIntValue("THUMB_PHOTOS") : 200; }

const auto registered = [] {
    benchmark::RegisterBenchmark("BM_VipsThumbnail", BM_VipsThumbnail)->Iterations(count())->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("BM_ThumbnailCold", BM_ThumbnailCold)->Iterations(count())->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("BM_ThumbnailColdWritingSharedEntry", BM_ThumbnailColdWritingSharedEntry)->Iterations(count())->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("BM_ThumbnailWarmSharedEntry", BM_ThumbnailWarmSharedEntry)->Iterations(count())->Unit(benchmark::kMillisecond)->UseRealTime();
    benchmark::RegisterBenchmark("BM_ThumbnailMemoryHit", BM_ThumbnailMemoryHit)->Unit(benchmark::kMicrosecond)->UseRealTime();
    return true;
}();

} // namespace

BENCHMARK_MAIN();
