// Opening an order at the stand, on an order of 1,000 camera-sized JPEGs (6000 × 4000):
//   - the first screen: the store lists the order, then the gallery asks for its first 30
//     thumbnails of 480 pixels and waits until all 30 are delivered on the main thread. Cold: a
//     fresh freedesktop folder (XDG_CACHE_HOME) and an empty memory cache, target ≤ 1 s; warm:
//     the same order opened again in the process, target ≤ 100 ms; and after a restart (memory
//     empty, freedesktop entries kept). Baseline in the same run: libvips' own thumbnail of the same
//     30 files on the same thread pool; compare-orders-open.sh adds `vipsthumbnail -s 480`;
//   - the store's listing of the 1,000 files (target ≤ 20 ms);
//   - the longest main-thread stall (gap between ticks of a 5 ms timer) while a batch retouch of
//     50 photos runs, target ≤ 50 ms; baseline: the same timer with nothing running.
// Encoding 1,000 photos would take half an hour: four distinct photos (libvips, grain of four
// strengths) are copied under 1,000 names with distinct modification times, once, into
// ORDERS_OPEN_DIR (default /var/tmp/tavrin-orders-open, about 7 GB, kept for the next run).
// To our caches each copy is its own file; the files stay in the page cache, so "cold" is about
// Tavrin's caches, not the disk.
#include "BenchMain.h"
#include "base/AppSupport.h"
#include "editing/PhotoEditMemory.h"
#include "editing/RetouchBridges.h"
#include "orders/MediaThumbnailer.h"
#include "orders/OrdersScreenModel.h"
#include "orders/OrdersStore.h"

#include "BenchPhoto.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>

#include <utime.h>

#include <algorithm>

using namespace tavrin;

namespace {

constexpr int kPhotos = 1000;
constexpr int kDistinct = 4;
constexpr int kFirstScreen = 30;
constexpr int kThumbnail = 480;

int retouchCount() { return qEnvironmentVariableIsSet("RETOUCH_PHOTOS") ? qEnvironmentVariableIntValue("RETOUCH_PHOTOS") : 50; }

void setTime(const QString& path, qint64 when)
{
    const struct utimbuf times {when, when};
    ::utime(QFile::encodeName(path).constData(), &times);
}

// The order "Dupont Marie": a third of the photos at its top, a third in each print folder.
struct Order {
    QString base = qEnvironmentVariable("ORDERS_OPEN_DIR", QStringLiteral("/var/tmp/tavrin-orders-open"));
    QString root = base + QStringLiteral("/Commandes");
    QString order = root + QStringLiteral("/Dupont Marie");
    QTemporaryDir data;
    QStringList firstScreen;

    Order()
    {
        AppSupport::setDataDirectoryOverride(data.filePath(QStringLiteral("TAVRIN")));
        const QString done = base + QStringLiteral("/.complete");
        if (!QFile::exists(done)) make();
        QFile(done).open(QIODevice::WriteOnly);

        OrdersStore store;
        store.storeRoot(root);
        store.selectFolder(order);
        for (const OrderMedia& media : OrdersScreen::allFiles(store.sections()).mid(0, kFirstScreen))
            firstScreen.push_back(media.url);
        // For compare-orders-open.sh: the files whose thumbnails the first screen shows.
        QFile list(base + QStringLiteral("/first-screen.txt"));
        if (list.open(QIODevice::WriteOnly | QIODevice::Truncate)) list.write(firstScreen.join(u'\n').toUtf8() + '\n');
    }

    void make() const
    {
        QDir(base).removeRecursively();
        QDir().mkpath(order + QStringLiteral("/IMPRESSION A5"));
        QDir().mkpath(order + QStringLiteral("/IMPRESSION A4"));
        QStringList distinct;
        for (int i = 0; i < kDistinct; ++i) {
            const QString path = base + QStringLiteral("/source-%1.jpg").arg(i);
            bench::photoLike(6000, 4000, 5.0 + i * 0.5).jpegsave(QFile::encodeName(path).constData(), vips::VImage::option()->set("Q", 90));
            distinct.push_back(path);
        }
        for (int i = 1; i <= kPhotos; ++i) {
            const QString folder = i % 3 == 0 ? QStringLiteral("/IMPRESSION A5/") : i % 3 == 1 ? QStringLiteral("/IMPRESSION A4/") : QStringLiteral("/");
            const QString path = order + folder + QStringLiteral("DSC_%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
            QFile::copy(distinct[i % kDistinct], path);
            setTime(path, 1700000000 + i);
        }
    }
};

Order& order()
{
    static Order o;
    return o;
}

// Fresh freedesktop folder for each cold open.
struct CacheHome {
    QTemporaryDir dir;
    CacheHome() { qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.path())); }
};

// One open of the order as the gallery does it: list, then ask for the first screen's thumbnails
// and spin the event loop until every one has arrived. Returns the seconds taken.
double openOrder(int& delivered)
{
    QElapsedTimer clock;
    clock.start();
    OrdersStore store;
    store.storeRoot(order().root);
    store.selectFolder(order().order);
    const QList<OrderMedia> screen = OrdersScreen::allFiles(store.sections()).mid(0, kFirstScreen);
    QEventLoop loop;
    QObject context;
    delivered = 0;
    int answered = 0;
    for (const OrderMedia& media : screen)
        MediaThumbnailer::shared().thumbnail(media.url, media.isVideo, kThumbnail, &context,
                                              [&](const QString&, const QImage& image) {
                                                  if (!image.isNull()) ++delivered;
                                                  if (++answered == screen.size()) loop.quit();
                                              });
    if (answered < screen.size()) loop.exec();
    return double(clock.nsecsElapsed()) / 1e9;
}

void BM_OpenOrderFirstScreenCold(benchmark::State& state)
{
    order();
    int delivered = 0;
    for (auto _ : state) {
        CacheHome cache;
        MediaThumbnailer::shared().clearMemory();
        state.SetIterationTime(openOrder(delivered));
        // The freedesktop entries are written after delivery: let them finish before the next open.
        QThreadPool::globalInstance()->waitForDone();
    }
    state.counters["thumbnails"] = delivered;
}

// The order opened once from empty caches, its freedesktop entries written: the state a restart
// or a second open starts from.
int openedOnce()
{
    order();
    int delivered = 0;
    MediaThumbnailer::shared().clearMemory();
    openOrder(delivered);
    QThreadPool::globalInstance()->waitForDone();
    return delivered;
}

// After a restart: the memory cache is empty, the freedesktop entries written by a first open remain.
void BM_OpenOrderFirstScreenAfterRestart(benchmark::State& state)
{
    CacheHome cache;
    int delivered = openedOnce();
    for (auto _ : state) {
        MediaThumbnailer::shared().clearMemory();
        state.SetIterationTime(openOrder(delivered));
    }
    state.counters["thumbnails"] = delivered;
}

// The same order opened again in the same process.
void BM_OpenOrderFirstScreenWarm(benchmark::State& state)
{
    CacheHome cache;
    int delivered = openedOnce();
    for (auto _ : state) state.SetIterationTime(openOrder(delivered));
    state.counters["thumbnails"] = delivered;
}

// Baseline: libvips' thumbnail of the same 30 files to memory, on the same pool, nothing else.
void BM_VipsThumbnailFirstScreen(benchmark::State& state)
{
    const QStringList files = order().firstScreen;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        std::atomic<int> made{0};
        for (const QString& file : files)
            QThreadPool::globalInstance()->start([&made, path = QFile::encodeName(file)] {
                const vips::VImage t = vips::VImage::thumbnail(path.constData(), kThumbnail);
                size_t size = 0;
                g_free(t.write_to_memory(&size));
                ++made;
            });
        QThreadPool::globalInstance()->waitForDone();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        benchmark::DoNotOptimize(made.load());
    }
}

void BM_StoreListsOrderOf1000Photos(benchmark::State& state)
{
    order();
    OrdersStore store;
    store.storeRoot(order().root);
    for (auto _ : state) {
        store.selectFolder(order().order);
        benchmark::DoNotOptimize(OrdersScreen::allFiles(store.sections()).size());
    }
    state.counters["files"] = double(OrdersScreen::allFiles(store.sections()).size());
}

// Ticks a 5 ms timer on the main thread until `finished` and reports the longest and the mean
// gap between two ticks.
struct TickWatch {
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    qint64 longestAt = 0;
    qint64 total = 0;
    int gaps = 0;

    TickWatch()
    {
        timer.setInterval(5);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            if (now - last > longest) {
                longest = now - last;
                longestAt = now;
            }
            total += now - last;
            ++gaps;
            last = now;
        });
        clock.start();
        timer.start();
    }
    void report(benchmark::State& state) const
    {
        state.counters["longest_gap_ms"] = double(longest) / 1e6;
        // When it ended, from the start: tells a stall of the batch's end from one along the way.
        state.counters["longest_gap_at_s"] = double(longestAt) / 1e9;
        state.counters["mean_gap_ms"] = gaps ? double(total) / gaps / 1e6 : 0.0;
    }
};

// Baseline: the same timer while nothing else runs, for two seconds.
void BM_MainThreadGapsIdle(benchmark::State& state)
{
    for (auto _ : state) {
        QEventLoop loop;
        TickWatch watch;
        QTimer::singleShot(2000, &loop, &QEventLoop::quit);
        loop.exec();
        watch.report(state);
    }
}

void BM_MainThreadGapsDuringBatchRetouch(benchmark::State& state)
{
    QTemporaryDir work(order().base + QStringLiteral("/retouch-XXXXXX"));
    const QString folder = work.filePath(QStringLiteral("Commandes/Durand Paul/IMPRESSION A4"));
    QDir().mkpath(folder);
    QStringList photos;
    for (int i = 0; i < retouchCount(); ++i) {
        const QString path = folder + QStringLiteral("/DSC_%1.JPG").arg(i + 1, 4, 10, QLatin1Char('0'));
        QFile::copy(order().base + QStringLiteral("/source-%1.jpg").arg(i % kDistinct), path);
        photos.push_back(path);
    }
    // As in the application: every edit drops the photo's thumbnail.
    PhotoEditMemory::setThumbnailForgetter([](const QString& photo) { MediaThumbnailer::shared().remove(photo); });
    OrdersStore store;
    store.storeRoot(work.filePath(QStringLiteral("Commandes")));
    store.selectFolder(work.filePath(QStringLiteral("Commandes/Durand Paul")));
    PhotoRetouchSettings settings;
    settings.optimizedSharpness = true;
    settings.contrast = 12;
    settings.brightness = 5;
    settings.vibrance = 15;
    settings.shadows = 20;
    store.setRetouch(settings);

    for (auto _ : state) {
        QEventLoop loop;
        QObject::connect(&store, &OrdersStore::batchFinished, &loop, &QEventLoop::quit);
        TickWatch watch;
        QElapsedTimer clock;
        clock.start();
        if (!store.applyRetouch(photos)) {
            state.SkipWithError("the batch did not start");
            break;
        }
        loop.exec();
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        watch.report(state);
        state.counters["finished_at_s"] = double(clock.nsecsElapsed()) / 1e9;
        if (store.errorMessage()) state.SkipWithError(store.errorMessage()->toUtf8().constData());
    }
    state.counters["photos"] = double(photos.size());
}

const auto registered = [] {
    benchmark::RegisterBenchmark("BM_VipsThumbnailFirstScreen", BM_VipsThumbnailFirstScreen)
        ->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_OpenOrderFirstScreenCold", BM_OpenOrderFirstScreenCold)
        ->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_OpenOrderFirstScreenAfterRestart", BM_OpenOrderFirstScreenAfterRestart)
        ->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_OpenOrderFirstScreenWarm", BM_OpenOrderFirstScreenWarm)
        ->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_StoreListsOrderOf1000Photos", BM_StoreListsOrderOf1000Photos)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_MainThreadGapsIdle", BM_MainThreadGapsIdle)
        ->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_MainThreadGapsDuringBatchRetouch", BM_MainThreadGapsDuringBatchRetouch)
        ->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
    return true;
}();

} // namespace

int main(int argc, char** argv)
{
    // The baseline calls libvips directly, and may run before anything of ours has started it.
    return tavrin::bench::runWithQt(argc, argv, [] { RetouchBridges::ensureVips(); });
}
