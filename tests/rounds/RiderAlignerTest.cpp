// Riders placed on rounds between fixed points: certain only where the counts leave one choice.
#include "ClassSimulator.h"

#include "rounds/RiderAligner.h"
#include "rounds/RoundProposal.h"

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

RiderAligner::Input rounds(int count, qsizetype riders)
{
    RiderAligner::Input input;
    input.riderCount = riders;
    for (int i = 0; i < count; ++i) input.gapsBefore.append(i == 0 ? 0.0 : 60.0);
    return input;
}

QList<qsizetype> ridersOf(const QList<RiderChoice>& choices)
{
    QList<qsizetype> riders;
    for (const RiderChoice& c : choices) riders.append(c.rider);
    return riders;
}

TEST(RiderAligner, CountsDecideWhatIsCertain)
{
    // As many rounds as riders: one assignment.
    QList<RiderChoice> all = RiderAligner::align(rounds(4, 4));
    EXPECT_EQ(ridersOf(all), (QList<qsizetype>{0, 1, 2, 3}));
    for (const RiderChoice& c : all) EXPECT_FALSE(c.doubtful);

    // One rider too many: every round is doubtful, the first most likely the first rider (3 of 4 placements).
    QList<RiderChoice> one = RiderAligner::align(rounds(3, 4));
    for (const RiderChoice& c : one) EXPECT_TRUE(c.doubtful);
    EXPECT_EQ(one[0].rider, 0);
    EXPECT_NEAR(one[0].confidence, 0.75, 1e-9);

    // The absence settles it; a typed row in the middle splits it into two certain stretches.
    RiderAligner::Input absent = rounds(3, 4);
    absent.absent = {2};
    EXPECT_EQ(ridersOf(RiderAligner::align(absent)), (QList<qsizetype>{0, 1, 3}));
    RiderAligner::Input typed = rounds(5, 7);
    typed.fixed = {{2, 4}};
    typed.absent = {1, 3};
    const QList<RiderChoice> split = RiderAligner::align(typed);
    EXPECT_EQ(ridersOf(split), (QList<qsizetype>{0, 2, 4, 5, 6}));
    for (const RiderChoice& c : split) EXPECT_FALSE(c.doubtful);
    EXPECT_TRUE(split[2].fixed);
}

TEST(RiderAligner, LongPauseMakesTheMissedRiderMoreLikelyThere)
{
    RiderAligner::Input input = rounds(4, 5);
    input.gapsBefore[2] = 250.0; // a whole round could fit between rounds 1 and 2
    const QList<RiderChoice> choices = RiderAligner::align(input);
    EXPECT_EQ(ridersOf(choices), (QList<qsizetype>{0, 1, 3, 4}));
    for (const RiderChoice& c : choices) EXPECT_TRUE(c.doubtful);
}

TEST(RiderAligner, SwapTypedOnBothRowsAndJumpOff)
{
    // Riders 2 and 3 swapped and noted; the others stay certain.
    RiderAligner::Input swap = rounds(6, 6);
    swap.fixed = {{2, 3}, {3, 2}};
    const QList<RiderChoice> swapped = RiderAligner::align(swap);
    EXPECT_EQ(ridersOf(swapped), (QList<qsizetype>{0, 1, 3, 2, 4, 5}));
    for (const RiderChoice& c : swapped) EXPECT_FALSE(c.doubtful);

    // Five riders, then a long break and two rounds: a jump-off, its riders doubtful unless told.
    RiderAligner::Input jump = rounds(7, 5);
    jump.gapsBefore[5] = 900.0;
    jump.secondPassStart = RiderAligner::secondPassStart(jump.gapsBefore, 5);
    ASSERT_EQ(jump.secondPassStart, 5);
    QList<RiderAligner::DoubtfulStretch> asked;
    QList<RiderChoice> choices = RiderAligner::align(jump, &asked);
    EXPECT_EQ(ridersOf(choices).mid(0, 5), (QList<qsizetype>{0, 1, 2, 3, 4}));
    EXPECT_TRUE(choices[5].doubtful);
    // The question is about the jump-off: every rider of the class may be in it.
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].jumpOff);
    EXPECT_EQ(asked[0].rounds, (QList<qsizetype>{5, 6}));
    EXPECT_EQ(asked[0].riders, (QList<qsizetype>{0, 1, 2, 3, 4}));
    jump.absentFromSecondPass = {0, 2, 3};
    choices = RiderAligner::align(jump);
    EXPECT_EQ(ridersOf(choices).mid(5), (QList<qsizetype>{1, 4}));
    EXPECT_FALSE(choices[6].doubtful);

    // A pause of several minutes with no rounds to spare is a missed rider, not a jump-off.
    RiderAligner::Input pause = rounds(7, 8);
    pause.gapsBefore[6] = 400.0;
    EXPECT_FALSE(RiderAligner::secondPassStart(pause.gapsBefore, 8));
}

TEST(RoundProposal, TypedRowsAreNeverContradicted)
{
    for (std::uint32_t seed = 1; seed <= 10; ++seed) {
        const SimulatedClass sim = simulateClass({2, true, true, true, false, false, false}, seed);
        QList<RowRecord> rows;
        QSet<QString> typedRiders;
        for (qsizetype i = 3; i < sim.rides.size(); i += 7) {
            // Written as a photographer may type them: the file's stem and a padded bib.
            rows.append({QUuid::createUuid(), QStringLiteral("DSC_") + sim.rides[i].firstPhoto, QStringLiteral("0") + sim.rides[i].number});
            typedRiders.insert(sim.rides[i].number);
        }
        const RoundProposal::Result result = RoundProposal::propose(sim.captures, sim.people, rows, {});
        qsizetype noted = 0;
        for (const ProposedRow& round : result.rounds) {
            if (round.noted) {
                ++noted;
                EXPECT_TRUE(typedRiders.contains(round.assignedNumber));
            } else {
                EXPECT_FALSE(typedRiders.contains(round.assignedNumber)) << round.photoNumber.toStdString();
            }
        }
        EXPECT_EQ(noted, rows.size());
        EXPECT_EQ(result.rows.size(), result.rounds.size() - noted);
    }
}

} // namespace
