#pragma once

// Rounds found in capture times. A rider's round gives one burst per fence the photographer
// covers, and on one course the fences come at nearly the same moments of every round: the
// usual spacing of the bursts is learnt from the class itself, then each burst is labelled
// with its fence by a best-path search, so that a short gap between two riders is not taken
// for the next fence of the same round, nor a slow rider's fences for two rounds.

#include <QList>

namespace tavrin {

struct Round {
    qsizetype begin = 0; // first capture, index in the time-ordered captures
    qsizetype end = 0;   // one past the last
    int bursts = 0;
    int segment = 0;     // stretches of the class between breaks, counted from 0

    bool operator==(const Round&) const = default;
};

namespace RoundFinder {

// A pause this long between two photos is a break (course change, jump-off).
inline constexpr qint64 breakMillis = 300'000;

// `millis`: capture times in ascending order. The rounds, in time order, cover every capture.
QList<Round> find(const QList<qint64>& millis);

} // namespace RoundFinder
} // namespace tavrin
