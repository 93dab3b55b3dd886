#pragma once

// The blurred luminance map that shadows and highlights read their local exposure from: linear
// luminance averaged over cells of factor × factor pixels, blurred, and read back at any pixel by
// bilinear interpolation between cell centres. The map carries no detail finer than its blur, so
// by default cells of three pixels or more are measured on the one or two rows through their
// middle instead of all of their rows: the rows before the step are made two or three times fewer,
// and on hard edges the map stays within a few thousandths of the one measured on every row
// (see the chain tests).

#include "editing/RetouchChain.h"

#include <vector>

namespace tavrin::RetouchChain {

class ToneMap {
public:
    enum class Rows { onePerCell, every };
    ToneMap(const Source& source, double sigma, int factor, Rows rows = Rows::onePerCell);
    // The map at row y for every pixel of the row.
    void sampleRow(int y, float* out) const;
    int factor() const { return m_factor; }

private:
    int m_factor;
    int m_width;
    FloatImage m_map;
    std::vector<int> m_x0, m_x1;
    std::vector<float> m_tx;
};

} // namespace tavrin::RetouchChain
