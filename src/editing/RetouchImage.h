#pragma once

// The bitmaps the retouch chain works on: 32-bit float pixels, gamma-encoded in the image's own
// colour space, interleaved RGBA (4 channels) or a single plane (1 channel) for luminance and tone
// maps. Copies share the pixels; `detached` or `allocate` make new storage.

#include <QByteArray>

#include <cstddef>
#include <functional>
#include <memory>

// The hottest pixel loops are compiled twice, for the vector units of the last decade's x86
// processors (AVX2 and FMA) and for any x86-64, and the program picks one when it starts: twice
// the lanes where the machine has them, and still running everywhere else. The compiler fuses
// multiply-adds in the AVX2 copy, so the two may differ in the last bits of a float; one machine
// always runs the same copy, so a render and a render from a memo still agree byte for byte.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define TAVRIN_VECTOR_CLONES __attribute__((target_clones("arch=x86-64-v3", "default")))
#else
#define TAVRIN_VECTOR_CLONES
#endif

namespace tavrin {

struct FloatImage {
    int width = 0;
    int height = 0;
    int channels = 4;
    std::shared_ptr<float[]> pixels;
    // The source's ICC profile, carried through so that the written file keeps it.
    QByteArray iccProfile;
    // The source had no alpha (alpha is then 1 everywhere and is not written back).
    bool opaque = false;

    static FloatImage allocate(int width, int height, int channels = 4);

    bool isNull() const { return width <= 0 || height <= 0 || !pixels; }
    std::size_t valueCount() const { return std::size_t(width) * std::size_t(height) * std::size_t(channels); }
    std::size_t rowValues() const { return std::size_t(width) * std::size_t(channels); }
    float* data() { return pixels.get(); }
    const float* data() const { return pixels.get(); }
    float* row(int y) { return pixels.get() + std::size_t(y) * rowValues(); }
    const float* row(int y) const { return pixels.get() + std::size_t(y) * rowValues(); }
    float* at(int x, int y) { return row(y) + std::size_t(x) * std::size_t(channels); }
    const float* at(int x, int y) const { return row(y) + std::size_t(x) * std::size_t(channels); }
    bool sameShape(const FloatImage& other) const
    {
        return width == other.width && height == other.height && channels == other.channels;
    }
    // A new buffer of the same shape holding the same values.
    FloatImage detached() const;
};

// How the colour channels of a bitmap are held: gamma-encoded with the sRGB curve (the bitmaps
// the chain takes and gives) or decoded to linear light (between consecutive linear steps, so
// that they decode and encode once instead of once each).
enum class Light { encoded, linear };

// Runs `work(begin, end)` over [0, count) in slices spread over the global QThreadPool; the calling
// thread takes part, so calling it from a pool thread cannot starve. Small jobs run inline.
void parallelFor(int count, std::size_t costPerItem, const std::function<void(int begin, int end)>& work);

} // namespace tavrin
