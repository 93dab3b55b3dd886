#include "editing/WatermarkBlend.h"

#include <cstdint>
#include <mutex>

namespace tavrin::WatermarkBlend {

namespace {

struct Placement {
    VipsRect mark;
    MarkPixels make;
    int colourBands;
    bool pageAlpha;
    std::once_flag once;
    vips::VImage held;
    const std::uint8_t* pixels = nullptr;
};

void release(VipsImage*, gpointer placement) { delete static_cast<Placement*>(placement); }

int generate(VipsRegion* out, void* sequence, void*, void* b, gboolean*)
{
    auto* in = static_cast<VipsRegion*>(sequence);
    auto* placement = static_cast<Placement*>(b);
    const VipsRect& r = out->valid;
    if (vips_region_prepare(in, &r)) return -1;
    vips_region_copy(in, out, &r, r.left, r.top);
    VipsRect overlap;
    vips_rect_intersectrect(&r, &placement->mark, &overlap);
    if (vips_rect_isempty(&overlap)) return 0;
    try {
        std::call_once(placement->once, [&] {
            vips::VImage held = placement->make().copy_memory();
            if (held.width() != placement->mark.width || held.height() != placement->mark.height || held.bands() != placement->colourBands + 1 ||
                held.format() != VIPS_FORMAT_UCHAR)
                return;
            placement->held = held;
            placement->pixels = static_cast<const std::uint8_t*>(held.data());
        });
    } catch (const std::exception&) {
        return -1;
    }
    if (!placement->pixels) return -1;
    const int colourBands = placement->colourBands, markBands = colourBands + 1;
    const int pageBands = colourBands + (placement->pageAlpha ? 1 : 0);
    const std::size_t markRow = std::size_t(placement->mark.width) * std::size_t(markBands);
    for (int y = 0; y < overlap.height; ++y) {
        auto* q = reinterpret_cast<std::uint8_t*>(VIPS_REGION_ADDR(out, overlap.left, overlap.top + y));
        const std::uint8_t* m = placement->pixels + std::size_t(overlap.top + y - placement->mark.top) * markRow +
                                std::size_t(overlap.left - placement->mark.left) * std::size_t(markBands);
        for (int x = 0; x < overlap.width; ++x, q += pageBands, m += markBands) {
            const unsigned a = m[colourBands];
            if (a == 0) continue;
            for (int c = 0; c < colourBands; ++c) q[c] = std::uint8_t((a * m[c] + (255 - a) * q[c] + 127) / 255);
            if (placement->pageAlpha) q[colourBands] = std::uint8_t((a * 255 + (255 - a) * q[colourBands] + 127) / 255);
        }
    }
    return 0;
}

} // namespace

vips::VImage over(const vips::VImage& page, MarkPixels mark, VipsRect where)
{
    const int colourBands = page.has_alpha() ? page.bands() - 1 : page.bands();
    auto* placement = new Placement{where, std::move(mark), colourBands, page.has_alpha(), {}, {}, nullptr};
    VipsImage* image = vips_image_new();
    g_signal_connect(image, "close", G_CALLBACK(release), placement);
    if (vips_image_pipelinev(image, VIPS_DEMAND_STYLE_THINSTRIP, page.get_image(), nullptr) ||
        vips_image_generate(image, vips_start_one, generate, vips_stop_one, page.get_image(), placement)) {
        g_object_unref(image);
        throw vips::VError();
    }
    // The page stays as long as the image reads it.
    g_object_ref(page.get_image());
    g_signal_connect_swapped(image, "close", G_CALLBACK(g_object_unref), page.get_image());
    return vips::VImage(image);
}

} // namespace tavrin::WatermarkBlend
