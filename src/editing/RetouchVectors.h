#pragma once

// The compiler's generic vectors the pixel loops are written with: four floats (one RGBA pixel,
// one SSE register) and eight (AVX lanes where the machine has them, two SSE halves elsewhere).
// The helpers are inlined into the loops that use them, compiled for AVX2 or not alike, so the
// calling convention of 32-byte vectors without AVX never matters: its warning is off for the
// files that include this one.

#include <cstdint>
#include <cstring>

#pragma GCC diagnostic ignored "-Wpsabi"

namespace tavrin {

using Float4 = float __attribute__((vector_size(16)));
using Float8 = float __attribute__((vector_size(32)));

// Unaligned loads and stores.
template <typename V>
inline V loadVector(const float* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline Float4 load4(const float* p) { return loadVector<Float4>(p); }
inline Float8 load8(const float* p) { return loadVector<Float8>(p); }
inline void store8(float* p, Float8 v) { std::memcpy(p, &v, sizeof v); }

// The same lanes as unsigned integers.
template <typename V>
struct BitsOf;
template <>
struct BitsOf<Float4> {
    using type = std::uint32_t __attribute__((vector_size(16)));
};
template <>
struct BitsOf<Float8> {
    using type = std::uint32_t __attribute__((vector_size(32)));
};

// |v|, lane by lane: the sign bit cleared.
template <typename V>
inline V absolute(V v)
{
    typename BitsOf<V>::type b;
    std::memcpy(&b, &v, sizeof b);
    b &= 0x7fffffffu;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

} // namespace tavrin
