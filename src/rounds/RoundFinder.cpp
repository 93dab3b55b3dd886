#include "rounds/RoundFinder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace tavrin::RoundFinder {
namespace {

// Frames of one burst come a fraction of a second apart; fences of one round, seconds apart.
constexpr qint64 burstGapMillis = 2'000;
// Two riders' rounds are never closer than this (one finishes, the next starts later).
constexpr double minRoundGap = 15.0;
// Spacings of fences of one round are looked for up to this many seconds.
constexpr double maxFenceGap = 45.0;
// A segment needs this many bursts to learn its own spacing; shorter ones use the class's.
constexpr int ownTemplateBursts = 8;

struct Burst {
    qsizetype begin, end;
    double start; // seconds
};

double tolerance(double spacing) { return 0.12 * spacing + 1.0; }

// Spacings of consecutive fences: none for one fence, one or two values.
using Template = std::vector<double>;

Template learnTemplate(const std::vector<double>& gaps)
{
    const auto within = [](double value, double centre) { return std::abs(value - centre) <= tolerance(centre); };
    const auto short_ = [](double g) { return g >= 3.0 && g <= maxFenceGap; };
    if (gaps.size() < 2) return {};

    // Two fence spacings in a row: the most common pair of consecutive short gaps.
    std::vector<std::pair<double, double>> pairs;
    for (size_t i = 0; i + 1 < gaps.size(); ++i)
        if (short_(gaps[i]) && short_(gaps[i + 1])) pairs.emplace_back(gaps[i], gaps[i + 1]);
    size_t bestPairCount = 0;
    std::pair<double, double> bestPair{0, 0};
    for (const auto& candidate : pairs) {
        double sa = 0, sb = 0;
        size_t count = 0;
        for (const auto& p : pairs)
            if (within(p.first, candidate.first) && within(p.second, candidate.second)) {
                ++count;
                sa += p.first;
                sb += p.second;
            }
        if (count > bestPairCount) {
            bestPairCount = count;
            bestPair = {sa / double(count), sb / double(count)};
        }
    }
    if (double(bestPairCount) >= 0.2 * double(gaps.size() - 1) && bestPairCount >= 2) return {bestPair.first, bestPair.second};

    size_t bestCount = 0;
    double best = 0;
    for (double candidate : gaps) {
        if (!short_(candidate)) continue;
        double sum = 0;
        size_t count = 0;
        for (double g : gaps)
            if (within(g, candidate)) {
                ++count;
                sum += g;
            }
        if (count > bestCount) {
            bestCount = count;
            best = sum / double(count);
        }
    }
    if (double(bestCount) >= 0.25 * double(gaps.size()) && bestCount >= 2) return {best};
    return {};
}

// Labels each burst with its fence by the most likely path; returns where rounds open.
std::vector<int> labelFences(const std::vector<Burst>& bursts, const Template& spacing)
{
    const int fences = int(spacing.size()) + 1;
    const size_t n = bursts.size();
    constexpr double inf = std::numeric_limits<double>::infinity();
    // Negative log-likelihoods: a new round's gap is spread over minutes; a fence's gap is
    // its spacing give or take the riders' differences in speed.
    const double newRound = std::log(180.0);
    const double endsEarly = -std::log(0.08); // an eliminated or retired rider stops before the last fence
    const double extraBurst = 9.0;            // a burst no fence explains, kept in its round
    std::vector<std::vector<double>> cost(n, std::vector<double>(size_t(fences), inf));
    std::vector<std::vector<int>> from(n, std::vector<int>(size_t(fences), -1));
    std::vector<std::vector<char>> opened(n, std::vector<char>(size_t(fences), 0));
    cost[0][0] = 0;
    for (size_t i = 1; i < n; ++i) {
        const double gap = bursts[i].start - bursts[i - 1].start;
        for (int k = 0; k < fences; ++k) {
            const double here = cost[i - 1][size_t(k)];
            if (here == inf) continue;
            const auto relax = [&](int to, double step, bool opens) {
                if (here + step < cost[i][size_t(to)]) {
                    cost[i][size_t(to)] = here + step;
                    from[i][size_t(to)] = k;
                    opened[i][size_t(to)] = opens;
                }
            };
            if (gap >= minRoundGap) relax(0, newRound + (k < fences - 1 ? endsEarly : 0.0), true);
            if (k + 1 < fences) {
                const double sigma = 0.1 * spacing[size_t(k)] + 0.7;
                const double z = (gap - spacing[size_t(k)]) / sigma;
                if (std::abs(z) < 4.0) relax(k + 1, 0.5 * z * z + std::log(sigma * 2.5066), false);
            }
            if (gap < maxFenceGap) relax(k, extraBurst, false);
        }
    }
    std::vector<int> opens(n, 0);
    int k = int(std::min_element(cost[n - 1].begin(), cost[n - 1].end()) - cost[n - 1].begin());
    for (size_t i = n; i-- > 0;) {
        opens[i] = i == 0 || opened[i][size_t(k)];
        if (i > 0) k = from[i][size_t(k)];
    }
    return opens;
}

std::vector<double> gapsOf(const std::vector<Burst>& bursts)
{
    std::vector<double> gaps;
    for (size_t i = 1; i < bursts.size(); ++i) gaps.push_back(bursts[i].start - bursts[i - 1].start);
    return gaps;
}

} // namespace

QList<Round> find(const QList<qint64>& millis)
{
    QList<Round> rounds;
    if (millis.isEmpty()) return rounds;

    std::vector<std::vector<Burst>> segments(1);
    for (qsizetype i = 0; i < millis.size(); ++i) {
        const bool newBurst = i == 0 || millis[i] - millis[i - 1] > burstGapMillis;
        if (i > 0 && millis[i] - millis[i - 1] >= breakMillis) segments.emplace_back();
        if (newBurst) segments.back().push_back({i, i + 1, double(millis[i] - millis[0]) / 1000.0});
        else segments.back().back().end = i + 1;
    }

    std::vector<Burst> all;
    std::vector<double> classGaps;
    for (const auto& segment : segments) {
        const std::vector<double> gaps = gapsOf(segment);
        classGaps.insert(classGaps.end(), gaps.begin(), gaps.end());
    }
    const Template classTemplate = learnTemplate(classGaps);

    for (size_t s = 0; s < segments.size(); ++s) {
        const std::vector<Burst>& bursts = segments[s];
        const Template spacing = int(bursts.size()) >= ownTemplateBursts ? learnTemplate(gapsOf(bursts)) : classTemplate;
        const std::vector<int> opens = labelFences(bursts, spacing);
        for (size_t i = 0; i < bursts.size(); ++i) {
            if (opens[i]) rounds.append({bursts[i].begin, bursts[i].end, 0, int(s)});
            rounds.back().end = bursts[i].end;
            ++rounds.back().bursts;
        }
    }
    return rounds;
}

} // namespace tavrin::RoundFinder
