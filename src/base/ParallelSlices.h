#pragma once

// One computation split over the cores: a range of independent items cut into contiguous slices,
// each run on a thread of its own (the caller's among them), joined before returning. For work
// inside one call; work that outlives it goes through BackgroundJobs.

#include <functional>

namespace tavrin::ParallelSlices {

// As many slices as cores, at most `most` and at most one per item (never below one).
int sliceCount(int count, int most);

// Runs work(slice, begin, end) for each of `slices` contiguous parts of [0, count), and returns once
// all have ended. The first exception a slice throws is thrown again here, after the join.
void run(int count, int slices, const std::function<void(int slice, int begin, int end)>& work);

} // namespace tavrin::ParallelSlices
