#include "editing/RowsAlongside.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tavrin::RowsAlongside {

namespace {

// The rows as the job finishes them, and who waits for which.
struct State {
    std::unique_ptr<std::uint8_t[]> out;
    int width = 0, height = 0, bands = 0;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<char> done;
    bool failed = false;
    std::thread job;
};

int generate(VipsRegion* region, void*, void* a, void*, gboolean*)
{
    auto* state = static_cast<State*>(a);
    const VipsRect& r = region->valid;
    {
        std::unique_lock lock(state->mutex);
        state->changed.wait(lock, [&] {
            return state->failed || std::all_of(state->done.begin() + r.top, state->done.begin() + r.top + r.height, [](char d) { return d; });
        });
        if (state->failed) return -1;
    }
    const std::size_t rowBytes = std::size_t(state->width) * std::size_t(state->bands);
    for (int y = r.top; y < r.top + r.height; ++y)
        std::memcpy(VIPS_REGION_ADDR(region, r.left, y), state->out.get() + std::size_t(y) * rowBytes + std::size_t(r.left) * std::size_t(state->bands),
                    std::size_t(r.width) * std::size_t(state->bands));
    return 0;
}

// The job has finished (a reader that stopped early waits for it here) before its rows go.
void close(VipsImage*, gpointer holder)
{
    auto* state = static_cast<std::shared_ptr<State>*>(holder);
    if ((*state)->job.joinable()) (*state)->job.join();
    delete state;
}

} // namespace

vips::VImage start(int width, int height, int bands, VipsInterpretation interpretation, Job job)
{
    auto state = std::make_shared<State>();
    state->width = width, state->height = height, state->bands = bands;
    // Allocated, not touched: its pages come in as the job writes its rows.
    state->out.reset(new std::uint8_t[std::size_t(width) * std::size_t(height) * std::size_t(bands)]);
    state->done.assign(std::size_t(height), 0);
    VipsImage* image = vips_image_new();
    vips_image_init_fields(image, width, height, bands, VIPS_FORMAT_UCHAR, VIPS_CODING_NONE, interpretation, 1.0, 1.0);
    if (vips_image_pipelinev(image, VIPS_DEMAND_STYLE_THINSTRIP, nullptr) ||
        vips_image_generate(image, nullptr, generate, nullptr, state.get(), nullptr)) {
        g_object_unref(image);
        throw vips::VError();
    }
    g_signal_connect(image, "postclose", G_CALLBACK(close), new std::shared_ptr<State>(state));
    State* s = state.get();
    s->job = std::thread([s, job = std::move(job)] {
        const bool finished = job(s->out.get(), [s](int y0, int y1) {
            {
                const std::lock_guard lock(s->mutex);
                std::fill(s->done.begin() + y0, s->done.begin() + y1, 1);
            }
            s->changed.notify_all();
        });
        if (!finished) {
            {
                const std::lock_guard lock(s->mutex);
                s->failed = true;
            }
            s->changed.notify_all();
        }
    });
    return vips::VImage(image);
}

} // namespace tavrin::RowsAlongside
