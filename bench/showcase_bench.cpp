// The showcase as phones use it, on loopback: a rider's page of 20 photos of 24 MP whose previews
// are not made yet (the first preview's time and all of them, six at a time as a phone's browser
// asks), the same previews from the disk cache, and 50 phones browsing at once with the cache warm
// (95th percentile of page and preview times), and a visitor's first look at a rider just
// organised with and without the previews made ahead (same run). Figures only; nothing is asserted.

#include "BenchPhoto.h"
#include "showcase/ShowcaseService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

using namespace tavrin;
using Clock = std::chrono::steady_clock;

namespace {

const QString benchFolder = QDir::tempPath() + QStringLiteral("/tavrin-showcase-bench");
constexpr int photoCount = 20;

// One GET over a fresh connection; the status, or 0 when nothing came back.
int fetch(quint16 port, const QByteArray& target, qint64* bytes = nullptr)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval timeout{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return 0;
    }
    const QByteArray request = "GET " + target + " HTTP/1.1\r\nHost: bench\r\nConnection: close\r\n\r\n";
    if (::send(fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) < 0) {
        ::close(fd);
        return 0;
    }
    char buffer[65536];
    qint64 total = 0;
    int status = 0;
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) break;
        if (total == 0 && got >= 12) status = QByteArray(buffer + 9, 3).toInt();
        total += got;
    }
    ::close(fd);
    if (bytes) *bytes = total;
    return status;
}

double millisSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

struct Stand {
    ShowcaseService service;
    quint16 port = 0;
    QString cache = benchFolder + QStringLiteral("/cache");

    Stand()
    {
        const QString rider = benchFolder + QStringLiteral("/cavaliers/DUPONT Élise");
        QDir().mkpath(rider);
        QDir().mkpath(benchFolder + QStringLiteral("/commandes"));
        for (int i = 0; i < photoCount; ++i) {
            const QString path = rider + QStringLiteral("/DSC_%1.JPG").arg(1000 + i);
            if (QFileInfo(path).size() > 0) continue;
            bench::photoLike(6000, 4000, 6.0)
                .jpegsave(QFile::encodeName(path).constData(), vips::VImage::option()->set("Q", 90));
        }
        const QString mark = benchFolder + QStringLiteral("/filigrane.png");
        if (!QFileInfo::exists(mark))
            vips::VImage::black(2000, 200, vips::VImage::option()->set("bands", 4)).new_from_image({255, 255, 255, 160})
                .cast(VIPS_FORMAT_UCHAR).copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
                .pngsave(QFile::encodeName(mark).constData());
        ShowcaseService::Options options;
        options.photos = benchFolder + QStringLiteral("/cavaliers");
        options.orders = benchFolder + QStringLiteral("/commandes");
        options.watermark = mark;
        options.cacheFolder = cache;
        options.server.address = QHostAddress::LocalHost;
        options.server.maxPerAddress = 0; // every simulated phone comes from 127.0.0.1
        service.start(options);
        port = service.url().port();
        fetch(port, "/?q=dupont"); // gives the rider and its photos their identifiers
        fetch(port, "/cavalier/0");
    }

    void clearCache() const
    {
        QDir(cache).removeRecursively();
        QDir().mkpath(cache);
    }
};

// A phone opening the first rider's page, then asking for its previews over six connections.
void browseRider(Stand& s, benchmark::State& state)
{
    const auto start = Clock::now();
    fetch(s.port, "/cavalier/0");
    std::atomic<int> next{0};
    std::atomic<double> first{0};
    std::vector<std::thread> browser;
    for (int c = 0; c < 6; ++c)
        browser.emplace_back([&] {
            for (int i; (i = next++) < photoCount;) {
                fetch(s.port, "/apercu/" + QByteArray::number(i) + ".jpg");
                double expected = 0;
                first.compare_exchange_strong(expected, millisSince(start));
            }
        });
    for (std::thread& t : browser) t.join();
    const double all = millisSince(start);
    state.SetIterationTime(all / 1000);
    state.counters["first_preview_ms"] = first.load();
    state.counters["all_previews_ms"] = all;
}

Stand& stand()
{
    static Stand s;
    return s;
}

void BM_ColdRiderPage(benchmark::State& state)
{
    Stand& s = stand();
    for (auto _ : state) {
        s.clearCache();
        browseRider(s, state);
    }
}
BENCHMARK(BM_ColdRiderPage)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

// The first look at a rider whose folder was just organised: its page and its 20 previews as a
// phone asks for them, after the previews were made ahead (1) or not (0, the baseline).
void BM_FirstLookAfterOrganising(benchmark::State& state)
{
    Stand& s = stand();
    const bool ahead = state.range(0) == 1;
    const QString rider = benchFolder + QStringLiteral("/cavaliers/DUPONT Élise");
    QStringList photos;
    for (int i = 0; i < photoCount; ++i) photos << rider + QStringLiteral("/DSC_%1.JPG").arg(1000 + i);
    for (auto _ : state) {
        s.clearCache();
        if (ahead) {
            s.service.previews()->prepare(rider, [photos] { return photos; });
            s.service.previews()->waitForAhead();
        }
        browseRider(s, state);
    }
}
BENCHMARK(BM_FirstLookAfterOrganising)->Arg(0)->Arg(1)->UseManualTime()->Iterations(2)->Unit(benchmark::kMillisecond);

void BM_CachedPreview(benchmark::State& state)
{
    Stand& s = stand();
    for (int i = 0; i < photoCount; ++i) fetch(s.port, "/apercu/" + QByteArray::number(i) + ".jpg");
    int i = 0;
    qint64 bytes = 0;
    double worst = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        fetch(s.port, "/apercu/" + QByteArray::number(i++ % photoCount) + ".jpg", &bytes);
        const double ms = millisSince(start);
        worst = std::max(worst, ms);
        state.SetIterationTime(ms / 1000);
    }
    state.counters["worst_ms"] = worst;
    state.counters["preview_bytes"] = double(bytes);
}
BENCHMARK(BM_CachedPreview)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);

// 50 phones, each opening the rider's page then its previews one after another, for 10 s.
void BM_FiftyPhones(benchmark::State& state)
{
    Stand& s = stand();
    for (int i = 0; i < photoCount; ++i) fetch(s.port, "/apercu/" + QByteArray::number(i) + ".jpg");
    for (auto _ : state) {
        std::vector<std::vector<double>> times(50);
        std::atomic<int> failures{0};
        const auto end = Clock::now() + std::chrono::seconds(10);
        std::vector<std::thread> phones;
        for (int p = 0; p < 50; ++p)
            phones.emplace_back([&, p] {
                std::mt19937 random(p);
                while (Clock::now() < end) {
                    const QByteArray target = times[p].size() % 6 == 0 ? QByteArray("/cavalier/0")
                                                                       : "/apercu/" + QByteArray::number(random() % photoCount) + ".jpg";
                    const auto start = Clock::now();
                    if (fetch(s.port, target) != 200) ++failures;
                    times[p].push_back(millisSince(start));
                }
            });
        for (std::thread& t : phones) t.join();
        std::vector<double> all;
        for (const auto& t : times) all.insert(all.end(), t.begin(), t.end());
        std::sort(all.begin(), all.end());
        state.SetIterationTime(10);
        state.counters["requests"] = double(all.size());
        state.counters["failures"] = failures.load();
        state.counters["p50_ms"] = all[all.size() / 2];
        state.counters["p95_ms"] = all[all.size() * 95 / 100];
        state.counters["max_ms"] = all.back();
    }
}
BENCHMARK(BM_FiftyPhones)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
