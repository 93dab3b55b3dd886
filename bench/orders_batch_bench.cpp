// A batch of 20 photos of 24 megapixels (watermark, then a retouch with every step on) run
// through the orders store while the window's main thread ticks a 5 ms timer. Target: the
// longest gap between two ticks stays under 50 ms, also while two busy threads at normal priority
// hold both cores. Reported as the counter stall_ms beside the batch's own duration, and beside
// the same timer's longest gap without any batch (the machine's own floor).
//
// Photos count with TAVRIN_BENCH_PHOTOS (20 by default), for a quicker look.
#include "BenchMain.h"
#include "BenchPhoto.h"
#include "base/AppSupport.h"
#include "editing/PhotoEditMemory.h"
#include "editing/PhotoOriginals.h"
#include "photofiles/MediaThumbnailer.h"
#include "orders/OrdersStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace tavrin;

namespace {

int photoCount() { return qEnvironmentVariableIntValue("TAVRIN_BENCH_PHOTOS") > 0 ? qEnvironmentVariableIntValue("TAVRIN_BENCH_PHOTOS") : 20; }

struct Order {
    QTemporaryDir data;
    QString root = data.filePath(QStringLiteral("Commandes"));
    QString order = root + QStringLiteral("/Dupont Marie");
    QString watermark = data.filePath(QStringLiteral("filigrane.png"));
    QStringList photos;

    Order()
    {
        AppSupport::setDataDirectoryOverride(data.filePath(QStringLiteral("TAVRIN")));
        QDir().mkpath(order + QStringLiteral("/IMPRESSION A4"));
        const vips::VImage photo = bench::photoLike(6000, 4000, 6);
        photo.jpegsave(QFile::encodeName(order + QStringLiteral("/IMPRESSION A4/source.jpg")).constData(),
                       vips::VImage::option()->set("Q", 92));
        for (int i = 1; i <= photoCount(); ++i) {
            const QString path = order + QStringLiteral("/IMPRESSION A4/DSC_%1.JPG").arg(i, 4, 10, QLatin1Char('0'));
            QFile::copy(order + QStringLiteral("/IMPRESSION A4/source.jpg"), path);
            photos.push_back(path);
        }
        QFile::remove(order + QStringLiteral("/IMPRESSION A4/source.jpg"));
        const vips::VImage mark = vips::VImage::black(2000, 500, vips::VImage::option()->set("bands", 4)) + std::vector<double>{255, 255, 255, 140};
        mark.cast(VIPS_FORMAT_UCHAR).pngsave(QFile::encodeName(watermark).constData());
    }
};

Order& order()
{
    static Order o;
    return o;
}

// Two threads spinning at normal priority for as long as this lives, when asked for: both cores busy.
class BusyCores {
public:
    explicit BusyCores(bool busy) : m_spinning(busy)
    {
        for (int i = 0; busy && i < 2; ++i)
            m_threads.emplace_back([this] {
                volatile double x = 1;
                while (m_spinning.load(std::memory_order_relaxed)) x = x * 1.0000001 + 1e-9;
            });
    }
    ~BusyCores()
    {
        m_spinning = false;
        for (std::thread& t : m_threads) t.join();
    }

private:
    std::atomic<bool> m_spinning;
    std::vector<std::thread> m_threads;
};

// Ticks a 5 ms timer on the main thread while it lives and keeps the longest gap between ticks.
class StallMeter {
public:
    StallMeter()
    {
        m_ticker.setInterval(5);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            const qint64 gap = m_sinceTick.nsecsElapsed();
            m_longest = std::max(m_longest, gap);
            if (gap > 50'000'000) ++m_over50;
            m_sinceTick.restart();
        });
        m_sinceTick.start();
        m_ticker.start();
    }
    double longestMs() const { return double(m_longest) / 1e6; }
    int over50() const { return m_over50; }

private:
    QTimer m_ticker;
    QElapsedTimer m_sinceTick;
    qint64 m_longest = 0;
    int m_over50 = 0;
};

// Runs one batch and waits for its end, the main thread's event loop turning meanwhile.
void runBatch(OrdersStore& store, bool retouch)
{
    QEventLoop loop;
    const auto connection = QObject::connect(&store, &OrdersStore::batchFinished, &loop, &QEventLoop::quit);
    const bool started = retouch ? store.applyRetouch(order().photos) : store.applyWatermark(order().photos);
    if (started) loop.exec();
    QObject::disconnect(connection);
}

void BM_BatchStallsMainThread(benchmark::State& state)
{
    OrdersStore store;
    store.storeRoot(order().root);
    store.addWatermark(order().watermark);
    store.setRetouch(bench::everyRetouchStep());
    const BusyCores busy(state.range(0) != 0);
    double worstStall = 0;
    int over50 = 0;
    for (auto _ : state) {
        for (const QString& photo : order().photos) PhotoOriginals::restore(photo);
        QElapsedTimer clock;
        clock.start();
        const StallMeter meter;
        runBatch(store, false);
        runBatch(store, true);
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        worstStall = std::max(worstStall, meter.longestMs());
        over50 += meter.over50();
    }
    state.counters["stall_ms"] = worstStall;
    state.counters["over50ms"] = over50;
    state.counters["photos"] = double(order().photos.size());
}
BENCHMARK(BM_BatchStallsMainThread)->Arg(0)->Arg(1)->ArgNames({"busyCores"})->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// What the machine alone does to a 5 ms timer, without a batch, over 20 seconds: the floor the
// batch's stalls are to be read against when other programs load the cores.
void BM_TimerFloorWithoutBatch(benchmark::State& state)
{
    const BusyCores busy(state.range(0) != 0);
    double worstStall = 0;
    int over50 = 0;
    for (auto _ : state) {
        const StallMeter meter;
        QEventLoop loop;
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
        state.SetIterationTime(20);
        worstStall = std::max(worstStall, meter.longestMs());
        over50 += meter.over50();
    }
    state.counters["stall_ms"] = worstStall;
    state.counters["over50ms"] = over50;
}
BENCHMARK(BM_TimerFloorWithoutBatch)->Arg(0)->Arg(1)->ArgNames({"busyCores"})->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    // As the application does: the batch tells the thumbnails of every photo it rewrote.
    return tavrin::bench::runWithQt(argc, argv, [] {
        PhotoEditMemory::setThumbnailForgetter([](const QString& photo) { MediaThumbnailer::shared().remove(photo); });
    });
}
