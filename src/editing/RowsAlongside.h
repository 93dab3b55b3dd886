#pragma once

// A libvips image whose rows a job writes on a thread of its own: whoever reads the image (the
// JPEG encoder) takes each band of rows as soon as the job says it is done, instead of waiting for
// the whole picture. The retouch runs beside its write this way.

#include <vips/vips8>

#include <cstdint>
#include <functional>

namespace tavrin::RowsAlongside {

// Writes the image's rows into `out` (rows one after the other, no padding) and tells `rowsDone`
// of each range as it is final, from any thread; false when it could not, which fails the reads.
using Job = std::function<bool(std::uint8_t* out, const std::function<void(int y0, int y1)>& rowsDone)>;

// An 8-bit image of width × height × bands whose rows `job`, started now, writes. Reading a row
// waits for it; the job's thread is joined when libvips closes the image, so whatever the job
// holds lives until then.
vips::VImage start(int width, int height, int bands, VipsInterpretation interpretation, Job job);

} // namespace tavrin::RowsAlongside
