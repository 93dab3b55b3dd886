#pragma once

// The sRGB transfer curve as the retouch kernels write it. The table versions interpolate a
// 16,385-entry table over 0 … 1 (error below 2e-6, far under one 8-bit step) and fall back to the
// formula outside it, where values are rare.

#include <algorithm>
#include <cmath>

namespace tavrin::SrgbCurve {

inline float decodeExact(float c) { return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f); }
inline float encodeExact(float l)
{
    return l <= 0.0031308f ? 12.92f * l : 1.055f * std::pow(std::max(l, 0.0f), 0.4166667f) - 0.055f;
}

constexpr int kTableSteps = 16384;
const float* decodeTable();
const float* encodeTable();
// Filled before main; read without a guard on every pixel.
inline const float* const kDecodeTable = decodeTable();
inline const float* const kEncodeTable = encodeTable();

inline float lookup(const float* table, float v)
{
    const float position = v * float(kTableSteps);
    const int i = std::min(int(position), kTableSteps - 1);
    const float t = position - float(i);
    return table[i] + (table[i + 1] - table[i]) * t;
}

inline float decode(float c) { return (c >= 0.0f && c <= 1.0f) ? lookup(kDecodeTable, c) : decodeExact(c); }
inline float encode(float l) { return (l >= 0.0f && l <= 1.0f) ? lookup(kEncodeTable, l) : encodeExact(l); }

} // namespace tavrin::SrgbCurve
