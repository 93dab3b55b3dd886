#include "editing/RetouchSteps.h"

#include "editing/RetouchKernels.h"

#include <algorithm>
#include <cmath>

namespace tavrin::RetouchChain {

double noiseShare(const PhotoRetouchSettings& s) { return std::clamp(s.sharpnessNoiseReduction / 100, 0.0, 1.0); }
double sharpenAmount(const PhotoRetouchSettings& s) { return std::min(s.sharpnessAmount / 100, 5.0); }

namespace {

class DenoiseWork : public Work {
public:
    explicit DenoiseWork(double n) : m_level(n * 0.055), m_sharpness(0.55 - 0.22 * n) {}
    // Smoothing reads one row either side, the sharpening after it one more.
    int halo() const override { return 2; }
    void area(const Band& in, int y0, int y1, RowsOut out, Scratch&, const RowWritten& written) const override
    {
        const FloatImage band = view(const_cast<float*>(in.data), in.width, in.last - in.first);
        RetouchFilters::noiseReductionRows(band, y0 - in.first, y1 - in.first, out.data, out.stride, m_level, m_sharpness,
                                           written ? [&](int i, float* row) { written(y0 + i, row); } : RowWritten());
    }

private:
    double m_level, m_sharpness;
};

class UnsharpWork : public Work {
public:
    UnsharpWork(const Context& c)
    {
        const PhotoRetouchSettings& s = c.settings;
        const bool preview = c.quality == RetouchQuality::preview;
        const double r = std::max(std::clamp(s.sharpnessRadius, 0.1, 64.0) * (c.longSide() / 3000), 0.12);
        m_disc = s.removeLensBlur;
        m_size = m_disc ? std::min(r, preview ? 18.0 : 36.0) : std::min(0.85 * r, preview ? 8.0 : 16.0);
        m_amount = float((preview ? 0.92 : 1.0) * sharpenAmount(s));
        m_threshold = float(0.07 * noiseShare(s) + 0.004);
    }
    // How far each blur reaches: the disc's whole radius and the pixel it partly covers; the
    // direct Gaussian its 3-sigma kernel; the recursive one the 4 sigma it pads with.
    int halo() const override
    {
        if (m_disc) return int(std::floor(m_size)) + 1;
        if (m_size < 3) return std::max(1, int(std::ceil(3 * m_size)));
        return int(std::ceil(4 * m_size)) + 3;
    }
    void area(const Band& in, int y0, int y1, RowsOut out, Scratch& scratch, const RowWritten& written) const override
    {
        const int rows = in.last - in.first;
        const FloatImage band = view(const_cast<float*>(in.data), in.width, rows);
        const auto sharpen = [&](int y, const float* blurred) {
            float* row = out.row(y - y0);
            RetouchKernels::unsharpRow(band.row(y - in.first), blurred, row, in.width, m_amount, m_threshold);
            if (written) written(y, row);
        };
        // The direct Gaussian a row at a time, each row sharpened as soon as it is blurred.
        if (!m_disc && m_size < RetouchFilters::kDirectGaussianLimit) {
            RetouchFilters::gaussianRows(band, y0 - in.first, y1 - in.first, m_size, [&](int y, const float* b) { sharpen(in.first + y, b); });
            return;
        }
        FloatImage blurred = view(scratch.get(0, band.valueCount()), in.width, rows);
        if (m_disc) RetouchFilters::discBlur(band, blurred, m_size);
        else RetouchFilters::gaussianBlur(band, blurred, m_size, scratch.get(1, band.valueCount()));
        for (int y = y0; y < y1; ++y) sharpen(y, blurred.row(y - in.first));
    }

private:
    bool m_disc = false;
    double m_size = 1;
    float m_amount = 1, m_threshold = 0;
};

} // namespace

std::unique_ptr<Work> prepareDenoise(const Context& c, const Source&) { return std::make_unique<DenoiseWork>(noiseShare(c.settings)); }
std::unique_ptr<Work> prepareUnsharp(const Context& c, const Source&) { return std::make_unique<UnsharpWork>(c); }

} // namespace tavrin::RetouchChain
