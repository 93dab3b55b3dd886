#pragma once

// The watermark enlarged to the page's width. A logo is usually narrower than an A4 page at
// 300 dpi, and libvips enlarges through its general affine path (a bicubic interpolator asked
// for every output pixel, in floats once premultiplied), which cost a third of a whole page
// render. Here the same Catmull-Rom weights run as two separable passes over a premultiplied
// copy, only over the rows that fall on the page.

#include <vips/vips8>

#include <future>
#include <optional>

namespace tavrin::WatermarkScaler {

// Rows [firstRow, height) of the 8-bit RGBA `mark` enlarged to width × height (both at least the
// mark's own), premultiplied while resampled so that transparent pixels lend no colour, as 8-bit
// RGBA in memory, sampled where libvips' enlargement samples, edges extended. None when the mark is
// not 8-bit RGBA or would shrink on an axis. The mark is decoded before it returns (a damaged one
// throws vips::VError now); the enlargement runs on a thread of its own.
std::optional<std::shared_future<vips::VImage>> enlarged(const vips::VImage& mark, int width, int height, int firstRow);

} // namespace tavrin::WatermarkScaler
