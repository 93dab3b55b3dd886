#pragma once

// A show-jumping class as the camera sees it, made from a seed: riders in start order,
// non-starters, eliminated riders, the photographer's fences, bursts, misses, a break, a swap,
// a jump-off and the counter's wrap. Photos carry their true round and rider for scoring.

#include "library/LibrarySnapshot.h"
#include "programme/ProgrammeDocument.h"
#include "rounds/CaptureTimes.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <cstdint>

namespace tavrin::test {

struct ClassKind {
    int fences = 1;
    bool nonStarters = false;
    bool misses = false;
    bool midBreak = false;
    bool swap = false;
    bool jumpOff = false;
    bool wrap = false;
};

struct SimulatedRide {
    QString number;     // canonical number of the rider
    QString firstPhoto; // digits of the ride's first photo as typed
    bool jumpOff = false;
};

struct SimulatedClass {
    QList<ImportedPerson> people;   // the start list
    QList<PhotoCapture> captures;   // time order
    QHash<QString, int> rideOfPhoto;  // path → index in rides
    QList<SimulatedRide> rides;     // photographed rounds, in time order
    QStringList absent;             // non-starters and riders the photographer missed
    QStringList notInJumpOff;       // riders who rode, photographed, but not in the jump-off
    QList<RowRecord> brokenOrderRows; // rows the photographer typed where the order broke (the swap)
};

SimulatedClass simulateClass(const ClassKind& kind, std::uint32_t seed);

} // namespace tavrin::test
