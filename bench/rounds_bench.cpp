// Capture times of a folder of photos, as « Proposer les lignes » reads them (warm cache).
// The folder is TAVRIN_CAPTURE_PHOTOS when set (bench/compare-capture-times.sh makes one);
// otherwise 2,000 copies of a camera-like photo are made here with vips and exiftool.
#include "rounds/CaptureTimes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

QString madeFolder()
{
    static QTemporaryDir dir;
    static bool made = false;
    if (made) return dir.path();
    made = true;
    const QString first = dir.filePath(QStringLiteral("DSC_0001.JPG"));
    QProcess::execute(QStringLiteral("vips"), {"black", first + "[Q=90]", "3000", "2000"});
    QProcess::execute(QStringLiteral("exiftool"), {"-q", "-overwrite_original", "-Make=Tavrin", "-Model=Bench",
                                                   "-DateTimeOriginal=2026:06:14 10:11:12", "-SubSecTimeOriginal=345", first});
    for (int i = 2; i <= 2000; ++i)
        QFile::copy(first, dir.filePath(QStringLiteral("DSC_%1.JPG").arg(i, 4, 10, QLatin1Char('0'))));
    return dir.path();
}

void captureTimesOfFolder(benchmark::State& state)
{
    const char* given = std::getenv("TAVRIN_CAPTURE_PHOTOS");
    const QString folder = given ? QString::fromLocal8Bit(given) : madeFolder();
    qsizetype photos = 0;
    for (auto _ : state) {
        const QList<tavrin::PhotoCapture> captures = tavrin::CaptureTimes::folder(folder);
        photos = captures.size();
        benchmark::DoNotOptimize(captures.data());
    }
    state.counters["photos"] = double(photos);
}
BENCHMARK(captureTimesOfFolder)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
