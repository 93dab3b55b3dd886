#include "base/ParallelSlices.h"

#include <QtGlobal>

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tavrin::ParallelSlices {

int sliceCount(int count, int most)
{
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    return std::max(1, std::min({cores, most, count}));
}

void run(int count, int slices, const std::function<void(int slice, int begin, int end)>& work)
{
    if (count <= 0) return;
    slices = std::clamp(slices, 1, count);
    std::exception_ptr failure;
    std::mutex failureMutex;
    const auto slice = [&](int s) {
        try {
            work(s, int(qint64(count) * s / slices), int(qint64(count) * (s + 1) / slices));
        } catch (...) {
            const std::lock_guard lock(failureMutex);
            if (!failure) failure = std::current_exception();
        }
    };
    std::vector<std::thread> workers;
    workers.reserve(size_t(slices - 1));
    for (int s = 1; s < slices; ++s) workers.emplace_back(slice, s);
    slice(0);
    for (std::thread& worker : workers) worker.join();
    if (failure) std::rethrow_exception(failure);
}

} // namespace tavrin::ParallelSlices
