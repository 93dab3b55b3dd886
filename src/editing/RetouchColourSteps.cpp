#include "editing/RetouchSteps.h"

#include <algorithm>

namespace tavrin::RetouchChain {

namespace {

RetouchFilters::CurvePoints contrastPoints(double contrast)
{
    const double d = contrast / 100 * 0.165 * 0.58;
    return {{{0, 0}, {0.25, std::clamp(0.25 - d, 0.02, 0.45)}, {0.5, 0.5}, {0.75, std::clamp(0.75 + d, 0.55, 0.98)}, {1, 1}}};
}

// A curve on encoded values, which can take linear rows and encode them in the same lookup.
class CurveWork : public RowWork {
public:
    explicit CurveWork(const RetouchFilters::CurvePoints& points) : RowWork(RetouchFilters::toneCurveRow(points)), m_points(points) {}
    std::unique_ptr<Work> fromLinear() const override { return std::make_unique<RowWork>(RetouchFilters::encodedToneCurveRow(m_points)); }

private:
    RetouchFilters::CurvePoints m_points;
};

} // namespace

std::unique_ptr<Work> prepareContrast(const Context& c, const Source&)
{
    return std::make_unique<CurveWork>(contrastPoints(c.settings.contrast));
}

std::unique_ptr<Work> prepareVibrance(const Context& c, const Source&)
{
    return std::make_unique<RowWork>(RetouchFilters::vibranceRow(std::clamp(c.settings.vibrance / 100, -1.0, 1.0)));
}

std::unique_ptr<Work> prepareSaturation(const Context& c, const Source&)
{
    return std::make_unique<RowWork>(RetouchFilters::saturationRow(std::clamp(1 + c.settings.saturation / 100, 0.0, 2.0)));
}

std::unique_ptr<Work> prepareGamma(const Context& c, const Source&)
{
    return std::make_unique<RowWork>(RetouchFilters::gammaRow(std::clamp(c.settings.gamma, 0.1, 3.0)));
}

} // namespace tavrin::RetouchChain
