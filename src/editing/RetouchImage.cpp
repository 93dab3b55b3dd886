#include "editing/RetouchImage.h"

#include "base/BackgroundJobs.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cstring>
#include <vector>

namespace tavrin {

FloatImage FloatImage::allocate(int width, int height, int channels)
{
    FloatImage image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.pixels = std::shared_ptr<float[]>(new float[image.valueCount()]);
    return image;
}

FloatImage FloatImage::detached() const
{
    FloatImage copy = allocate(width, height, channels);
    copy.iccProfile = iccProfile;
    copy.opaque = opaque;
    if (!isNull()) std::memcpy(copy.data(), data(), valueCount() * sizeof(float));
    return copy;
}

namespace {
// Set on threads running a slice: work split again inside a slice runs where it is, so that
// the retouch chain can hand whole bands to the cores and the filters inside stay simple.
thread_local bool insideSlice = false;
} // namespace

void parallelFor(int count, std::size_t costPerItem, const std::function<void(int, int)>& work)
{
    if (count <= 0) return;
    if (insideSlice) {
        work(0, count);
        return;
    }
    // Below about a quarter of a million values the thread hand-off costs more than it saves.
    const int threads = std::max(1, QThreadPool::globalInstance()->maxThreadCount());
    if (threads == 1 || std::size_t(count) * costPerItem < 250000) {
        work(0, count);
        return;
    }
    // Slices asked for by a niced thread (a batch) run on niced threads too, or the batch would take
    // the window's cores back through the shared pool.
    static QThreadPool* const lowPool = [] {
        auto* pool = new QThreadPool;
        pool->setMaxThreadCount(QThreadPool::globalInstance()->maxThreadCount());
        return pool;
    }();
    const bool low = currentThreadIsLowPriority();
    const int slices = std::min(count, threads * 4);
    std::vector<std::pair<int, int>> ranges;
    ranges.reserve(std::size_t(slices));
    for (int i = 0; i < slices; ++i)
        ranges.emplace_back(int(std::int64_t(count) * i / slices), int(std::int64_t(count) * (i + 1) / slices));
    QtConcurrent::blockingMap(low ? lowPool : QThreadPool::globalInstance(), ranges, [&](const std::pair<int, int>& r) {
        if (low) lowerCurrentThreadPriority();
        const bool outer = insideSlice;
        insideSlice = true;
        work(r.first, r.second);
        insideSlice = outer;
    });
}

} // namespace tavrin
