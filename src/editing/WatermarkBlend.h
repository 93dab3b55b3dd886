#pragma once

// The watermark laid over a page: mark·a + page·(1 − a) in bytes, and over a transparent page its
// alpha too (a + page's·(1 − a)). One libvips image that streams in strips like the page under it:
// libvips' own insert and blend ask the page for small tiles, which kept one of two cores idle for
// a fifth of a composed page's time.

#include <vips/vips8>

#include <functional>

namespace tavrin::WatermarkBlend {

// Gives the mark in memory: 8-bit, the page's colour bands then alpha. Called once, from a libvips
// worker, when the first rows under the mark are asked for, so that whatever makes the mark can
// run meanwhile; may throw.
using MarkPixels = std::function<vips::VImage()>;

// `page` 8-bit, grey or colour, with or without alpha; the mark covers `where`, wholly on the page.
vips::VImage over(const vips::VImage& page, MarkPixels mark, VipsRect where);

} // namespace tavrin::WatermarkBlend
