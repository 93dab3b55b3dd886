#include "base/ParallelSlices.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

using namespace tavrin;

TEST(ParallelSlices, EveryItemIsDoneOnceByOneSliceAndAFailureComesBackAfterTheJoin)
{
    for (const auto& [count, slices] : std::vector<std::pair<int, int>>{{10, 3}, {2, 4}, {1, 1}, {0, 2}}) {
        std::vector<std::atomic_int> done(static_cast<size_t>(count));
        std::vector<std::atomic_int> bySlice(static_cast<size_t>(slices));
        ParallelSlices::run(count, slices, [&](int slice, int begin, int end) {
            ++bySlice[size_t(slice)];
            for (int i = begin; i < end; ++i) ++done[size_t(i)];
        });
        for (const std::atomic_int& d : done) EXPECT_EQ(d, 1) << count << " items in " << slices;
        // Never more slices than items, so no thread starts with nothing to do.
        for (int s = 0; s < slices; ++s) EXPECT_EQ(bySlice[size_t(s)], count > 0 && s < count ? 1 : 0);
    }
    std::atomic_int finished = 0;
    EXPECT_THROW(ParallelSlices::run(8, 4, [&](int slice, int, int) {
        if (slice == 2) throw std::runtime_error("page unreadable");
        ++finished;
    }), std::runtime_error);
    EXPECT_EQ(finished, 3);
    EXPECT_EQ(ParallelSlices::sliceCount(1, 4), 1);
    EXPECT_LE(ParallelSlices::sliceCount(100, 4), 4);
}
