// The proposal scored on simulated classes, photo by photo, beside a plain split of the photos
// at every long pause with riders taken in start order.
#include "ClassSimulator.h"

#include "rounds/RoundProposal.h"

#include <QHash>
#include <QSet>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>

using namespace tavrin;
using namespace tavrin::test;

namespace {

struct Score {
    qsizetype photos = 0, grouped = 0, right = 0;
    qsizetype confident = 0, confidentRight = 0; // photos of proposed rows that are not doubtful
    qsizetype open = 0;                         // photos of rounds not typed

    void add(const Score& o)
    {
        photos += o.photos;
        grouped += o.grouped;
        right += o.right;
        confident += o.confident;
        confidentRight += o.confidentRight;
        open += o.open;
    }
    double groupedShare() const { return double(grouped) / double(photos); }
    double rightShare() const { return double(right) / double(photos); }
    double confidentAccuracy() const { return confident == 0 ? 1.0 : double(confidentRight) / double(confident); }
    double confidentShare() const { return open == 0 ? 0.0 : double(confident) / double(open); }
};

// A photo is grouped right when its found round is the one holding most of its true round and
// most of that found round is its true round.
Score score(const SimulatedClass& sim, const QList<ProposedRow>& rounds)
{
    Score s;
    std::map<std::pair<int, int>, qsizetype> overlap; // (true ride, found round) → photos
    QList<int> majority(rounds.size(), -1);
    for (int r = 0; r < rounds.size(); ++r) {
        QHash<int, qsizetype> counts;
        for (const QString& file : rounds[r].files) ++counts[sim.rideOfPhoto.value(file)];
        qsizetype best = 0;
        for (auto it = counts.begin(); it != counts.end(); ++it) {
            overlap[{it.key(), r}] = it.value();
            if (it.value() > best) {
                best = it.value();
                majority[r] = it.key();
            }
        }
    }
    QHash<int, int> mainRound;
    QHash<int, qsizetype> mainCount;
    for (const auto& [key, count] : overlap)
        if (count > mainCount.value(key.first)) {
            mainCount[key.first] = count;
            mainRound[key.first] = key.second;
        }
    for (int r = 0; r < rounds.size(); ++r) {
        for (const QString& file : rounds[r].files) {
            const int ride = sim.rideOfPhoto.value(file);
            const bool riderRight = rounds[r].assignedNumber == sim.rides[ride].number;
            ++s.photos;
            s.grouped += mainRound.value(ride) == r && majority[r] == ride;
            s.right += riderRight;
            if (rounds[r].noted) continue;
            ++s.open;
            if (!rounds[r].doubtful) {
                ++s.confident;
                s.confidentRight += riderRight;
            }
        }
    }
    return s;
}

// Splits at every pause longer than 40 s and gives the rounds to the riders in start order.
QList<ProposedRow> plainSplit(const SimulatedClass& sim, const QStringList& absent)
{
    QStringList riders;
    for (const ImportedPerson& p : sim.people)
        if (!absent.contains(p.canonicalNumber)) riders.append(p.canonicalNumber);
    QList<ProposedRow> rounds;
    for (qsizetype i = 0; i < sim.captures.size(); ++i) {
        if (i == 0 || sim.captures[i - 1].time.msecsTo(sim.captures[i].time) > 40'000) {
            ProposedRow row;
            row.assignedNumber = riders.value(rounds.size());
            row.doubtful = false;
            rounds.append(row);
        }
        rounds.last().files.append(sim.captures[i].path);
    }
    return rounds;
}

struct Kind {
    const char* name;
    ClassKind kind;
};

const Kind kinds[] = {
    {"une haie, non-partants, oublis", {1, true, true, false, false, false, false}},
    {"deux haies, non-partants, oublis, pause", {2, true, true, true, false, false, false}},
    {"trois haies, permutation, barrage", {3, true, true, false, true, true, false}},
    {"deux haies, compteur qui reboucle", {2, true, false, false, false, false, true}},
};
constexpr int seedsPerKind = 40;

enum class Given { everyAbsence, everyAbsenceAndJumpOff, nothing, oneRowInTen };

RoundProposal::Result proposeFor(const SimulatedClass& sim, Given given)
{
    QList<RowRecord> rows = sim.brokenOrderRows;
    if (given == Given::oneRowInTen)
        for (qsizetype i = 5; i < sim.rides.size(); i += 10)
            rows.append({QUuid::createUuidV5(QUuid(), sim.rides[i].firstPhoto), sim.rides[i].firstPhoto, sim.rides[i].number});
    const bool absences = given == Given::everyAbsence || given == Given::everyAbsenceAndJumpOff;
    return RoundProposal::propose(sim.captures, sim.people, rows, absences ? sim.absent : QStringList(),
                                  given == Given::everyAbsenceAndJumpOff ? sim.notInJumpOff : QStringList());
}

TEST(RoundsAccuracy, SimulatedClassesAgainstThePlainSplit)
{
    std::printf("%-44s %8s %8s %8s %8s %8s %8s | %8s %8s %8s\n", "classe", "passages", "tout", "+barrage", "sûrs", "rien",
                "1/10:sûrs", "scission", "tout", "rien");
    for (const Kind& k : kinds) {
        Score all, allJump, nothing, tenth, plain, plainBlind;
        for (int seed = 1; seed <= seedsPerKind; ++seed) {
            const SimulatedClass sim = simulateClass(k.kind, std::uint32_t(seed * 7919 + k.kind.fences));
            SCOPED_TRACE(std::string(k.name) + " seed " + std::to_string(seed));
            const Score a = score(sim, proposeFor(sim, Given::everyAbsence).rounds);
            const Score aj = score(sim, proposeFor(sim, Given::everyAbsenceAndJumpOff).rounds);
            const Score n = score(sim, proposeFor(sim, Given::nothing).rounds);
            const Score t = score(sim, proposeFor(sim, Given::oneRowInTen).rounds);
            // Never a confident wrong rider, whatever was given.
            EXPECT_GE(a.confidentAccuracy(), 0.99);
            EXPECT_GE(aj.confidentAccuracy(), 0.99);
            EXPECT_GE(n.confidentAccuracy(), 0.99);
            EXPECT_GE(t.confidentAccuracy(), 0.99);
            all.add(a);
            allJump.add(aj);
            nothing.add(n);
            tenth.add(t);
            plain.add(score(sim, plainSplit(sim, sim.absent)));
            plainBlind.add(score(sim, plainSplit(sim, {})));
        }
        std::printf("%-44s %8.4f %8.4f %8.4f %8.4f %8.4f %8.4f | %8.4f %8.4f %8.4f\n", k.name, all.groupedShare(), all.rightShare(),
                    allJump.rightShare(), all.confidentAccuracy(), nothing.rightShare(), tenth.confidentShare(),
                    plain.groupedShare(), plain.rightShare(), plainBlind.rightShare());
        EXPECT_GE(all.groupedShare(), 0.99) << k.name;
        if (k.kind.fences == 2 && k.kind.midBreak) {
            EXPECT_GE(all.rightShare(), 0.98) << k.name;
        }
        if (k.kind.jumpOff) {
            EXPECT_GE(allJump.rightShare(), 0.90) << k.name;
        }
    }
}

} // namespace
