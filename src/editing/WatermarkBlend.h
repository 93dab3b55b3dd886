#pragma once

// The watermark laid over a page: mark·a + page·(1 − a) in bytes, and over a transparent page its
// alpha too (a + page's·(1 − a)). One libvips image that streams in strips like the page under it:
// libvips' own insert and blend ask the page for small tiles, which kept one of two cores idle for
// a fifth of a composed page's time.

#include <vips/vips8>

namespace tavrin::WatermarkBlend {

// `page` 8-bit, grey or colour, with or without alpha; `mark` 8-bit with the page's colour bands
// then alpha, placed with its top-left corner at (left, top) and lying wholly on the page.
vips::VImage over(const vips::VImage& page, const vips::VImage& mark, int left, int top);

} // namespace tavrin::WatermarkBlend
