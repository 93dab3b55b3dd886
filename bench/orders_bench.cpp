// The orders gallery follows the disk: every reload lists the selected order again on the main
// thread. Target: an order of 1,000 files (photos, a few videos, clutter, two type folders)
// listed ≤ 20 ms by the store; baseline: a bare QDir::entryList of the same folder.
#include "BenchMain.h"
#include "base/AppSupport.h"
#include "orders/OrdersScreenModel.h"
#include "orders/OrdersStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace tavrin;

namespace {

constexpr int kFiles = 1000;

struct Order {
    QTemporaryDir data;
    QString root = data.filePath(QStringLiteral("Commandes"));
    QString order = root + QStringLiteral("/Dupont Marie");

    Order()
    {
        AppSupport::setDataDirectoryOverride(data.filePath(QStringLiteral("TAVRIN")));
        QDir().mkpath(order + QStringLiteral("/IMPRESSION A5"));
        QDir().mkpath(order + QStringLiteral("/IMPRESSION A4"));
        for (int i = 1; i <= kFiles; ++i) {
            const QString folder = i % 3 == 0 ? QStringLiteral("/IMPRESSION A5/") : i % 3 == 1 ? QStringLiteral("/IMPRESSION A4/") : QStringLiteral("/");
            const QString extension = i % 50 == 0 ? QStringLiteral("MOV") : i % 97 == 0 ? QStringLiteral("txt") : QStringLiteral("JPG");
            QFile file(order + folder + QStringLiteral("DSC_%1.%2").arg(i, 4, 10, QLatin1Char('0')).arg(extension));
            file.open(QIODevice::WriteOnly);
        }
    }
};

Order& order()
{
    static Order o;
    return o;
}

void BM_StoreListsOrderOf1000Files(benchmark::State& state)
{
    OrdersStore store;
    store.storeRoot(order().root);
    for (auto _ : state) {
        // What a reload of the selected order costs: both listings, the sort, the watch set and the
        // settings file checked.
        store.selectFolder(order().order);
        benchmark::DoNotOptimize(OrdersScreen::galleryItems(store.sections().first()));
    }
    qsizetype files = 0;
    for (const OrderSection& section : store.sections()) files += section.files.size();
    state.counters["files"] = double(files);
}
BENCHMARK(BM_StoreListsOrderOf1000Files)->Unit(benchmark::kMillisecond);

void BM_MediaListingOnly(benchmark::State& state)
{
    for (auto _ : state) {
        qsizetype n = OrdersStore::media(order().order).size();
        for (const OrderFolder& folder : OrdersStore::directories(order().order)) n += OrdersStore::media(folder.url).size();
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_MediaListingOnly)->Unit(benchmark::kMillisecond);

// Baseline: names only, no sort, no stat.
void BM_BaselineQDirEntryList(benchmark::State& state)
{
    for (auto _ : state) {
        qsizetype n = 0;
        for (const QString& sub : {QString(), QStringLiteral("/IMPRESSION A5"), QStringLiteral("/IMPRESSION A4")})
            n += QDir(order().order + sub).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::NoSort).size();
        benchmark::DoNotOptimize(n);
    }
}
BENCHMARK(BM_BaselineQDirEntryList)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) { return tavrin::bench::runWithQt(argc, argv); }
