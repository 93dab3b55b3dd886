#include "ClassSimulator.h"

#include <QTimeZone>
#include <QUuid>

#include <algorithm>
#include <random>

namespace tavrin::test {
namespace {

struct Course {
    double duration;              // a clear round at the usual pace, seconds
    std::vector<double> fraction; // moment of each covered fence, as a share of the round
};

Course makeCourse(std::mt19937& rng, int fences)
{
    std::uniform_real_distribution<double> duration(55.0, 83.0), first(4.0, 12.0), spacing(5.0, 40.0);
    for (;;) {
        Course course{duration(rng), {}};
        double at = first(rng);
        std::vector<double> offsets{at};
        for (int f = 1; f < fences; ++f) offsets.push_back(at += spacing(rng));
        // The fastest rider must still pass the last covered fence before finishing.
        if (offsets.back() > course.duration * 0.92 * 0.9) continue;
        for (double o : offsets) course.fraction.push_back(o / course.duration);
        return course;
    }
}

} // namespace

SimulatedClass simulateClass(const ClassKind& kind, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    const auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
    const auto chance = [&](double p) { return uniform(0.0, 1.0) < p; };
    const auto integer = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(rng); };

    SimulatedClass sim;
    const int riderCount = integer(20, 80);
    std::vector<int> bibs(300);
    for (int i = 0; i < 300; ++i) bibs[size_t(i)] = i + 1;
    std::shuffle(bibs.begin(), bibs.end(), rng);
    for (int i = 0; i < riderCount; ++i)
        sim.people.append({QString::number(bibs[size_t(i)]), QStringLiteral("Prénom"), QStringLiteral("NOM%1").arg(i), 10 + 2 * i});

    const double nonStartRate = kind.nonStarters ? uniform(0.03, 0.10) : 0.0;
    std::vector<int> order; // indices into people, in riding order
    for (int i = 0; i < riderCount; ++i) {
        if (chance(nonStartRate)) sim.absent.append(sim.people[i].canonicalNumber);
        else order.push_back(i);
    }
    int swapAt = -1;
    if (kind.swap) {
        swapAt = integer(2, int(order.size()) - 4);
        std::swap(order[size_t(swapAt)], order[size_t(swapAt) + 1]);
    }
    const size_t breakAfter = kind.midBreak ? size_t(double(order.size()) * uniform(0.3, 0.7)) : order.size();

    int counter = kind.wrap ? integer(9000, 9800) : integer(1, 6000);
    const QDateTime day(QDate(2026, 6, 14), QTime(9, 0), Qt::UTC);
    double clock = 0;
    std::vector<int> clear;

    const auto ride = [&](int person, const Course& course, bool jumpOff, bool eliminated, bool photographed) {
        const double pace = course.duration * uniform(0.92, 1.08);
        const double length = eliminated ? uniform(15.0, 50.0) : std::clamp(pace, 50.0, 90.0);
        if (photographed) {
            const int rideIndex = int(sim.rides.size());
            bool first = true;
            for (double fraction : course.fraction) {
                const double jump = fraction * pace;
                if (jump >= length) break;
                const int frames = integer(2, 8);
                const double fps = uniform(8.0, 12.0);
                const double start = clock + jump - uniform(0.1, 0.4);
                for (int f = 0; f < frames; ++f) {
                    const QString digits = QString::number(counter).rightJustified(4, QLatin1Char('0'));
                    const QString path = QStringLiteral("/simulated/DSC_") + digits + QStringLiteral(".JPG");
                    if (first) sim.rides.append({sim.people[person].canonicalNumber, digits, jumpOff});
                    first = false;
                    sim.captures.append({path, day.addMSecs(qint64((start + f / fps) * 1000.0)), true});
                    sim.rideOfPhoto.insert(path, rideIndex);
                    counter = counter == 9999 ? 1 : counter + 1;
                }
            }
        }
        clock += length + uniform(20.0, 90.0);
        return !eliminated;
    };

    const Course course = makeCourse(rng, kind.fences);
    const double missRate = kind.misses ? 0.04 : 0.0;
    for (size_t i = 0; i < order.size(); ++i) {
        const int person = order[i];
        const bool swapped = swapAt >= 0 && (int(i) == swapAt || int(i) == swapAt + 1);
        const bool photographed = swapped || !chance(missRate);
        if (!photographed) sim.absent.append(sim.people[person].canonicalNumber);
        const bool eliminated = chance(0.08);
        if (swapped) {
            const int at = int(sim.rides.size());
            ride(person, course, false, eliminated, true);
            if (at < sim.rides.size())
                sim.brokenOrderRows.append({QUuid::createUuidV5(QUuid(), sim.rides[at].firstPhoto), sim.rides[at].firstPhoto,
                                            sim.rides[at].number});
        } else if (ride(person, course, false, eliminated, photographed) && photographed) {
            clear.push_back(person);
        }
        if (i + 1 == breakAfter) clock += uniform(300.0, 1200.0);
    }

    if (kind.jumpOff) {
        clock += uniform(300.0, 1200.0);
        const Course jumpOff = makeCourse(rng, kind.fences);
        const double clearRate = uniform(0.15, 0.3);
        std::vector<int> riders;
        for (int person : clear)
            if (chance(clearRate)) riders.push_back(person);
        std::sort(riders.begin(), riders.end());
        for (int person = 0; person < riderCount; ++person) {
            const QString& number = sim.people[person].canonicalNumber;
            if (!sim.absent.contains(number) && std::find(riders.begin(), riders.end(), person) == riders.end())
                sim.notInJumpOff.append(number);
        }
        for (int person : riders) ride(person, jumpOff, true, chance(0.08), true);
    }
    return sim;
}

} // namespace tavrin::test
