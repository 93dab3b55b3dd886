#pragma once

// Riders of the start list matched with the rounds found, between fixed points. Riders ride in
// start order, some not at all (non-starters leave no trace in time, missed riders leave a long
// pause); a jump-off after a break is a second pass over the start list. Between two fixed
// points every assignment that keeps the start order is counted: a rider is certain only when
// there is one, that is when the stretch holds as many rounds as riders left to place.

#include <QList>
#include <QMap>
#include <QSet>

#include <optional>

namespace tavrin {

struct RiderChoice {
    qsizetype rider = -1;  // index in the start list; -1 when no rider is left for the round
    double confidence = 0; // probability of that rider among the assignments counted
    bool doubtful = true;
    bool fixed = false;    // set by a typed row

    bool operator==(const RiderChoice&) const = default;
};

namespace RiderAligner {

struct Input {
    qsizetype riderCount = 0;                     // the start list, in start order
    QList<double> gapsBefore;                     // per round, seconds since the previous round ended
    QMap<qsizetype, qsizetype> fixed;             // round → rider, from typed rows
    QSet<qsizetype> absent;                       // riders who did not ride (or were not photographed)
    QSet<qsizetype> absentFromSecondPass;         // riders known not to be in the jump-off
    std::optional<qsizetype> secondPassStart;     // first round of the jump-off
};

// A stretch between fixed points whose riders the counts cannot settle.
struct DoubtfulStretch {
    QList<qsizetype> rounds; // in time order
    QList<qsizetype> riders; // in start order, absences and typed riders left out
    bool jumpOff = false;    // a stretch of the second pass
};

// One choice per round; `doubtful` receives the stretches that leave a choice.
QList<RiderChoice> align(const Input& input, QList<DoubtfulStretch>* doubtful = nullptr);

// The first round of a jump-off, when a break looks like one: most of the start list rode
// before it, clearly fewer rounds follow it, and either there are more rounds than riders
// left to ride or the break is long. Missed riders also leave pauses of several minutes,
// which is why a break alone is not enough. `gapsBefore` as in Input.
std::optional<qsizetype> secondPassStart(const QList<double>& gapsBefore, qsizetype candidates);

} // namespace RiderAligner
} // namespace tavrin
