#include "editing/SrgbCurve.h"

#include <array>

namespace tavrin::SrgbCurve {

namespace {
using Table = std::array<float, kTableSteps + 1>;
template <typename F>
Table makeTable(F f)
{
    Table t{};
    for (int i = 0; i <= kTableSteps; ++i) t[std::size_t(i)] = f(float(double(i) / kTableSteps));
    return t;
}
} // namespace

const float* decodeTable()
{
    static const Table table = makeTable(decodeExact);
    return table.data();
}

const float* encodeTable()
{
    static const Table table = makeTable(encodeExact);
    return table.data();
}

} // namespace tavrin::SrgbCurve
