// « Caisse du jour » at the end of a busy show: the takings of a day of 500 orders (two types of
// three photos each, half of them paid, with 100 orders of the day before in the same root),
// target ≤ 100 ms. Baselines in the same run: listing the root's order folders alone, and
// listing them with every order's sections and files (what reading the orders costs before any
// price is applied). The orders are empty files named as photos: only names are read.
#include "BenchMain.h"
#include "base/AppSupport.h"
#include "sales/SalesBook.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

using namespace tavrin;

const QDate day(2026, 12, 12);

struct Stand {
    QTemporaryDir dir;
    QString root;
    std::unique_ptr<OrdersStore> store;
    std::unique_ptr<SalesBook> book;

    Stand()
    {
        AppSupport::setDataDirectoryOverride(dir.filePath(QStringLiteral("data")));
        root = dir.filePath(QStringLiteral("Commandes"));
        const auto make = [&](const QString& name) {
            const QString order = root + u'/' + name;
            for (const char* section : {"IMPRESSION A5", "FICHIERS"}) {
                QDir().mkpath(order + u'/' + QLatin1StringView(section));
                for (int p = 1; p <= 3; ++p) QFile(QStringLiteral("%1/%2/IMG_%3.jpg").arg(order, QLatin1StringView(section)).arg(p)).open(QIODevice::WriteOnly);
            }
            return order;
        };
        QStringList today;
        for (int i = 0; i < 500; ++i)
            today.push_back(make(QStringLiteral("CLIENT %1 %2 %3h%4").arg(i).arg(day.toString(Qt::ISODate)).arg(8 + i / 60, 2, 10, QLatin1Char('0')).arg(i % 60, 2, 10, QLatin1Char('0'))));
        for (int i = 0; i < 100; ++i) make(QStringLiteral("VEILLE %1 %2 10h00").arg(i).arg(day.addDays(-1).toString(Qt::ISODate)));
        store = std::make_unique<OrdersStore>();
        store->storeRoot(root);
        book = std::make_unique<SalesBook>(*store);
        PriceList prices;
        prices.setPrice(QStringLiteral("IMPRESSION A5"), 1500);
        prices.setPrice(QStringLiteral("FICHIERS"), 1000);
        prices.addPack(QStringLiteral("FICHIERS"), {5, 3500});
        prices.addPack(QStringLiteral("FICHIERS"), {0, 6000});
        book->setPrices(prices);
        for (int i = 0; i < today.size(); i += 2) book->pay(today[i], PaymentMeans::card);
    }
};

Stand& stand()
{
    static Stand s;
    return s;
}

void BM_TakingsOfADayOf500Orders(benchmark::State& state)
{
    Stand& s = stand();
    for (auto _ : state) {
        s.store->reload();
        const Takings t = s.book->takings(day);
        if (t.rows.size() != 500) state.SkipWithError("not 500 orders");
        benchmark::DoNotOptimize(t.total);
    }
}
BENCHMARK(BM_TakingsOfADayOf500Orders)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ListOrderFolders(benchmark::State& state)
{
    Stand& s = stand();
    for (auto _ : state) benchmark::DoNotOptimize(OrdersStore::directories(s.root).size());
}
BENCHMARK(BM_ListOrderFolders)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ListOrdersWithTheirSections(benchmark::State& state)
{
    Stand& s = stand();
    for (auto _ : state) {
        qsizetype files = 0;
        for (const OrderFolder& folder : OrdersStore::directories(s.root))
            for (const OrderSection& section : OrdersStore::sectionsOf(folder.url)) files += section.files.size();
        benchmark::DoNotOptimize(files);
    }
}
BENCHMARK(BM_ListOrdersWithTheirSections)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

int main(int argc, char** argv) { return tavrin::bench::runWithQt(argc, argv); }
