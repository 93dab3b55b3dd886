#include "rounds/RiderAligner.h"

#include <algorithm>
#include <vector>

namespace tavrin::RiderAligner {
namespace {

// A pause this much longer than the usual one between rounds can hide a missed rider.
constexpr double missedRiderPause = 60.0;
// How much more likely a rider left out is to sit in such a pause than anywhere else.
constexpr long double pauseWeight = 8.0L;
// Breaks between the rounds of a class, and those long enough to be a course change.
constexpr double breakSeconds = 300.0;
constexpr double longBreakSeconds = 480.0;

double median(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::nth_element(values.begin(), values.begin() + ptrdiff_t(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// Rounds `rounds` (in time order) placed on riders `riders` (in start order), order kept.
// `skipWeight[t]`: weight of each rider left out just before round t (t == rounds.size(): after the last).
void alignStretch(const std::vector<qsizetype>& rounds, const std::vector<qsizetype>& riders,
                  const std::vector<long double>& skipWeight, QList<RiderChoice>& out)
{
    const size_t k = rounds.size(), r = riders.size();
    if (k == 0) return;
    if (r == 0) {
        for (qsizetype round : rounds) out[round] = {};
        return;
    }
    if (k == r) {
        for (size_t t = 0; t < k; ++t) out[rounds[t]] = {riders[t], 1.0, false, false};
        return;
    }
    if (k > r) {
        // More rounds than riders left: no assignment keeps every rule; the nearest rider is shown.
        for (size_t t = 0; t < k; ++t) out[rounds[t]] = {riders[std::min(r - 1, t * r / k)], 0.0, true, false};
        return;
    }
    // Forward and backward sums over every order-keeping placement (rider s for round t).
    std::vector<std::vector<long double>> f(k, std::vector<long double>(r, 0)), b(k, std::vector<long double>(r, 0));
    for (size_t t = 0; t < k; ++t) {
        long double acc = 0, power = 1;
        for (size_t s = 0; s < r; ++s) {
            if (t == 0) {
                f[t][s] = power;
                power *= skipWeight[0];
            } else {
                f[t][s] = acc;
                acc = acc * skipWeight[t] + f[t - 1][s];
            }
        }
    }
    for (size_t t = k; t-- > 0;) {
        long double acc = 0, power = 1;
        for (size_t s = r; s-- > 0;) {
            if (t == k - 1) {
                b[t][s] = power;
                power *= skipWeight[k];
            } else {
                b[t][s] = acc;
                acc = acc * skipWeight[t + 1] + b[t + 1][s];
            }
        }
    }
    long double total = 0;
    for (size_t s = 0; s < r; ++s) total += f[0][s] * b[0][s];
    for (size_t t = 0; t < k; ++t) {
        size_t best = 0;
        long double bestWeight = -1;
        for (size_t s = 0; s < r; ++s)
            if (f[t][s] * b[t][s] > bestWeight) {
                bestWeight = f[t][s] * b[t][s];
                best = s;
            }
        out[rounds[t]] = {riders[best], total > 0 ? double(bestWeight / total) : 0.0, true, false};
    }
}

void alignPass(const Input& input, qsizetype from, qsizetype to, const QSet<qsizetype>& absent, QList<RiderChoice>& out,
               QList<DoubtfulStretch>* doubtful)
{
    std::vector<double> gaps;
    for (qsizetype i = from + 1; i < to; ++i) gaps.push_back(input.gapsBefore.value(i));
    const double usualGap = median(gaps);
    const auto weightBefore = [&](qsizetype round) {
        if (round <= from || round >= to) return 1.0L;
        return input.gapsBefore.value(round) > usualGap + missedRiderPause ? pauseWeight : 1.0L;
    };

    // Fixed points of this pass, in round order.
    std::vector<std::pair<qsizetype, qsizetype>> anchors;
    QSet<qsizetype> typed;
    for (auto it = input.fixed.constBegin(); it != input.fixed.constEnd(); ++it)
        if (it.key() >= from && it.key() < to) {
            anchors.emplace_back(it.key(), it.value());
            typed.insert(it.value());
            out[it.key()] = {it.value(), 1.0, false, true};
        }

    // Riders of a stretch come after every rider typed before it and before every rider typed
    // after it: a swap noted on both rows leaves the order of the others intact.
    qsizetype lower = -1;
    for (size_t a = 0; a <= anchors.size(); ++a) {
        const qsizetype first = a == 0 ? from : anchors[a - 1].first + 1;
        const qsizetype last = a == anchors.size() ? to : anchors[a].first;
        qsizetype upper = input.riderCount;
        for (size_t later = a; later < anchors.size(); ++later) upper = std::min(upper, anchors[later].second);
        if (a > 0) lower = std::max(lower, anchors[a - 1].second);

        std::vector<qsizetype> rounds, riders;
        for (qsizetype round = first; round < last; ++round) rounds.push_back(round);
        for (qsizetype rider = lower + 1; rider < upper; ++rider)
            if (!absent.contains(rider) && !typed.contains(rider)) riders.push_back(rider);
        std::vector<long double> weights;
        for (qsizetype round : rounds) weights.push_back(weightBefore(round));
        weights.push_back(1.0L);
        alignStretch(rounds, riders, weights, out);
        if (doubtful && !rounds.empty() && rounds.size() != riders.size())
            doubtful->append({QList<qsizetype>(rounds.begin(), rounds.end()), QList<qsizetype>(riders.begin(), riders.end()), from > 0});
    }
}

} // namespace

QList<RiderChoice> align(const Input& input, QList<DoubtfulStretch>* doubtful)
{
    const qsizetype count = input.gapsBefore.size();
    QList<RiderChoice> out(count);
    const qsizetype split = input.secondPassStart.value_or(count);
    alignPass(input, 0, split, input.absent, out, doubtful);
    if (split < count) alignPass(input, split, count, input.absent | input.absentFromSecondPass, out, doubtful);
    return out;
}

std::optional<qsizetype> secondPassStart(const QList<double>& gapsBefore, qsizetype candidates)
{
    const qsizetype total = gapsBefore.size();
    const double riders = double(candidates);
    // With no more rounds than riders every round may belong to the first pass: only a long
    // break and nearly the whole list before it make a jump-off likely.
    const bool roundsToSpare = total > candidates;
    std::optional<qsizetype> best;
    for (qsizetype start = 1; start < total; ++start) {
        const double gap = gapsBefore[start];
        const double before = double(start), after = double(total - start);
        if (gap < breakSeconds || before > riders || after > 0.6 * before) continue;
        if (roundsToSpare ? before < 0.6 * riders : (gap < longBreakSeconds || before < 0.8 * riders)) continue;
        if (!best || gap > gapsBefore[*best]) best = start;
    }
    return best;
}

} // namespace tavrin::RiderAligner
