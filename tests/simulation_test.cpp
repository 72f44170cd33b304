// Repeated battles on several threads: the statistics helpers, agreement of
// the parallel result with a single thread, reproducibility, cancelling, and
// the promise that the caller's armies are only read.

#include "battle/Simulation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <thread>

#include "EngineTestSupport.h"

using testsupport::catalogueArmy;
using testsupport::stateOf;

namespace {

// A battle either side can win, with shooters, mounted, foot and a back line.
Army sideI() {
    return catalogueArmy({{"ARC", 20}, {"KNI", 12}, {"SPE", 30}, {"APP", 6}});
}
Army sideII() {
    return catalogueArmy({{"HAC", 20}, {"WRI", 30}, {"CLA", 22}});
}

SimulationResult run(int32_t runs, int threads, std::optional<uint64_t> seed) {
    SimulationOptions o;
    o.runs = runs;
    o.threads = threads;
    o.seed = seed;
    return Simulate(sideI(), sideII(), o);
}

// The per-kind and per-run figures of a result, for exact comparisons.
auto outcome(const SimulationResult& r) {
    return std::make_tuple(r.runsDone, r.sides[0].casualties, r.sides[1].casualties, r.sides[0].wins, r.sides[1].wins,
                           r.sides[0].totalLeft, r.sides[1].totalLeft, r.strikes, r.sides[0].unitsLeft,
                           r.sides[1].unitsLeft);
}

}  // namespace

TEST(Spread, KnownValuesAndParallelMerge) {
    Spread all;
    for (int v : {1, 2, 3, 4})
        all.add(v);
    EXPECT_EQ(all.count, 4);
    EXPECT_DOUBLE_EQ(all.mean(), 2.5);
    EXPECT_NEAR(all.standardDeviation(), 1.2909944, 1e-7);
    EXPECT_EQ(all.min, 1);
    EXPECT_EQ(all.max, 4);

    // Two workers' halves merge into what one worker would have gathered.
    Spread a, b;
    for (int v : {7, -3, 12, 5})
        a.add(v);
    for (int v : {0, 9, 9})
        b.add(v);
    Spread one;
    for (int v : {7, -3, 12, 5, 0, 9, 9})
        one.add(v);
    Spread merged = a;
    merged.merge(b);
    EXPECT_EQ(merged.count, one.count);
    EXPECT_NEAR(merged.mean(), one.mean(), 1e-12);
    EXPECT_NEAR(merged.variance(), one.variance(), 1e-9);
    EXPECT_EQ(merged.min, -3);
    EXPECT_EQ(merged.max, 12);

    // A worker that fought nothing changes nothing, either way round; its
    // zero min and max must not leak into the result.
    Spread empty;
    merged.merge(empty);
    EXPECT_EQ(merged.count, 7);
    EXPECT_EQ(merged.min, -3);
    empty.merge(b);
    EXPECT_EQ(empty.min, 0);
    EXPECT_EQ(empty.max, 9);
    EXPECT_NEAR(empty.mean(), 6.0, 1e-12);

    Spread single;
    single.add(5);
    EXPECT_EQ(single.standardDeviation(), 0.0);
    EXPECT_EQ(Spread{}.standardDeviation(), 0.0);
}

TEST(WinChance, WilsonIntervalOnKnownCounts) {
    const Proportion half = WinChance(50, 100);
    EXPECT_DOUBLE_EQ(half.value, 0.5);
    EXPECT_NEAR(half.low, 0.4038, 1e-4);
    EXPECT_NEAR(half.high, 0.5962, 1e-4);

    const Proportion none = WinChance(0, 10);
    EXPECT_EQ(none.value, 0.0);
    EXPECT_EQ(none.low, 0.0);
    EXPECT_NEAR(none.high, 0.2775, 1e-4);

    const Proportion all = WinChance(10, 10);
    EXPECT_EQ(all.value, 1.0);
    EXPECT_NEAR(all.low, 1 - 0.2775, 1e-4);
    EXPECT_EQ(all.high, 1.0);

    const Proportion empty = WinChance(0, 0);
    EXPECT_EQ(empty.value, 0.0);
    EXPECT_EQ(empty.low, 0.0);
    EXPECT_EQ(empty.high, 0.0);
}

TEST(Simulate, ParallelAverageAgreesWithSingleThread) {
    constexpr int32_t runs = 400;
    const SimulationResult one = run(runs, 1, 11);
    const SimulationResult two = run(runs, 2, 12);
    ASSERT_EQ(one.runsDone, runs);
    ASSERT_EQ(two.runsDone, runs);
    int kindsCompared = 0;
    for (int s = 0; s < 2; ++s)
        for (int k = 0; k < Army::maxTypes; ++k) {
            const Spread& a = one.sides[s].unitsLeft[k];
            const Spread& b = two.sides[s].unitsLeft[k];
            ASSERT_EQ(a.count, b.count);
            if (a.count == 0)
                continue;
            ++kindsCompared;
            // Two independent means of 400 runs: 4 standard errors of their
            // difference is far beyond chance.
            const double se = std::sqrt(a.variance() / runs + b.variance() / runs);
            EXPECT_LE(std::abs(a.mean() - b.mean()), std::max(4 * se, 1e-9)) << "side " << s << " kind " << k;
        }
    EXPECT_EQ(kindsCompared, 7);
    const double p1 = WinChance(one.sides[0].wins, runs).value;
    const double p2 = WinChance(two.sides[0].wins, runs).value;
    const double p = (p1 + p2) / 2;
    EXPECT_LE(std::abs(p1 - p2), std::max(4 * std::sqrt(2 * p * (1 - p) / runs), 1e-9));
    // The battle is worth simulating: each side wins some of it.
    EXPECT_GT(one.sides[0].wins, 0);
    EXPECT_GT(one.sides[1].wins, 0);
}

TEST(Simulate, FixedSeedGivesTheSameResultWhateverTheThreadCount) {
    const SimulationResult first = run(120, 1, 42);
    EXPECT_EQ(outcome(first), outcome(run(120, 1, 42)));
    EXPECT_EQ(outcome(first), outcome(run(120, 2, 42)));
    EXPECT_EQ(outcome(first), outcome(run(120, 5, 42)));
    EXPECT_NE(outcome(first), outcome(run(120, 1, 43)));
    // Split by run number over workers that share nothing, and merged in
    // whatever order the parts come back.
    std::vector<SimulationResult> parts;
    for (const auto& [from, to] : {std::pair{70, 120}, std::pair{0, 1}, std::pair{1, 70}})
        parts.push_back(SimulateRuns(sideI(), sideII(), 42, from, to));
    EXPECT_EQ(outcome(first), outcome(MergeRuns(parts, 120)));
    EXPECT_FALSE(MergeRuns(parts, 120).cancelled);
    // One fighter, its engine kept from slice to slice, fights the same.
    RunFighter fighter(sideI(), sideII());
    std::vector<SimulationResult> slices;
    for (const auto& [from, to] : {std::pair{0, 1}, std::pair{1, 70}, std::pair{70, 120}})
        slices.push_back(fighter.Fight(42, from, to));
    EXPECT_EQ(outcome(first), outcome(MergeRuns(slices, 120)));
    EXPECT_EQ(MergeRuns(slices, 120).fought, (std::vector<std::pair<int32_t, int32_t>>{{0, 120}}));
    parts.pop_back();
    EXPECT_TRUE(MergeRuns(parts, 120).cancelled);
    // Without a seed two simulations are still fought from separate streams.
    EXPECT_NE(run(120, 2, std::nullopt).sides[0].totalLeft, run(120, 2, std::nullopt).sides[0].totalLeft);
}

TEST(Simulate, SumsMeansAndPerRunTotalsAgree) {
    constexpr int32_t runs = 150;
    const Army armies[2] = {sideI(), sideII()};
    const SimulationResult r = run(runs, 2, 7);
    ASSERT_EQ(r.runsDone, runs);
    EXPECT_FALSE(r.cancelled);
    EXPECT_GT(r.strikes, 0u);
    EXPECT_EQ(r.sides[0].wins + r.sides[1].wins, runs);
    for (int s = 0; s < 2; ++s) {
        const Army& a = armies[s];
        const SideResult& side = r.sides[s];
        ASSERT_EQ(side.totalLeft.size(), static_cast<size_t>(runs));
        int64_t leftOverRuns = 0;
        for (int32_t k = 0; k <= a.currentType; ++k) {
            const Unittype& kind = a.unittypes[k];
            const Spread& left = side.unitsLeft[k];
            EXPECT_EQ(left.count, runs);
            EXPECT_NEAR(kind.Number - static_cast<double>(side.casualties[k]) / runs, left.mean(), 1e-9);
            EXPECT_GE(left.min, 0);
            EXPECT_LE(left.max, kind.Number);
            leftOverRuns += int64_t{kind.Number} * runs - side.casualties[k];
        }
        EXPECT_EQ(std::accumulate(side.totalLeft.begin(), side.totalLeft.end(), int64_t{0}), leftOverRuns);
        for (int32_t k = a.currentType + 1; k < Army::maxTypes; ++k)
            EXPECT_EQ(side.unitsLeft[k].count, 0);
    }
    // Every run has exactly one survivor, and it is the side counted as winner.
    int64_t winsI = 0;
    for (int32_t i = 0; i < runs; ++i) {
        EXPECT_NE(r.sides[0].totalLeft[i] > 0, r.sides[1].totalLeft[i] > 0) << "run " << i;
        winsI += r.sides[0].totalLeft[i] > 0;
    }
    EXPECT_EQ(winsI, r.sides[0].wins);
}

TEST(Simulate, LeavesTheCallersArmiesUntouched) {
    Army I = sideI();
    Army II = sideII();
    I.unittypes[0].LastCasualties = 3;
    II.unittypes[1].SimCasualties = 5;
    const Army beforeI = I;
    const Army beforeII = II;
    SimulationOptions o;
    o.runs = 50;
    o.threads = 2;
    Simulate(I, II, o);
    EXPECT_EQ(stateOf(I, false), stateOf(beforeI, false));
    EXPECT_EQ(stateOf(II, false), stateOf(beforeII, false));
    EXPECT_EQ(I.unittypes[0].LastCasualties, 3);
    EXPECT_EQ(II.unittypes[1].SimCasualties, 5);
}

TEST(Simulate, CancelStopsBetweenRunsAndKeepsWhatWasFought) {
    Army I = sideI();
    Army II = sideII();
    const Army beforeI = I;
    const Army beforeII = II;
    std::atomic<bool> cancel{false};
    std::atomic<int> after{0};
    SimulationOptions o;
    o.runs = 400;
    o.threads = 2;
    o.seed = 3;
    o.cancel = &cancel;
    o.afterRun = [&] {
        if (++after == 50)
            cancel = true;
    };
    const SimulationResult r = Simulate(I, II, o);
    EXPECT_TRUE(r.cancelled);
    EXPECT_GE(r.runsDone, 50);
    EXPECT_LT(r.runsDone, 60);  // each worker finishes at most the run in hand
    EXPECT_EQ(r.runsDone, after.load());
    for (int s = 0; s < 2; ++s) {
        EXPECT_EQ(r.sides[s].totalLeft.size(), static_cast<size_t>(r.runsDone));
        EXPECT_EQ(r.sides[s].unitsLeft[0].count, r.runsDone);
    }
    EXPECT_EQ(r.sides[0].wins + r.sides[1].wins, r.runsDone);
    EXPECT_EQ(I.checkInvariants(), "");
    EXPECT_EQ(II.checkInvariants(), "");
    EXPECT_EQ(stateOf(I, false), stateOf(beforeI, false));
    EXPECT_EQ(stateOf(II, false), stateOf(beforeII, false));

    // A flag already set fights nothing.
    const SimulationResult none = Simulate(I, II, o);
    EXPECT_TRUE(none.cancelled);
    EXPECT_EQ(none.runsDone, 0);
    EXPECT_TRUE(none.sides[0].totalLeft.empty());
}

TEST(Simulate, NothingIsFoughtWithoutRunsOrUnits) {
    for (int32_t runs : {0, -5}) {
        const SimulationResult r = run(runs, 2, 1);
        EXPECT_EQ(r.runsDone, 0);
        EXPECT_FALSE(r.cancelled);
        EXPECT_EQ(r.strikes, 0u);
        EXPECT_TRUE(r.sides[0].totalLeft.empty());
        EXPECT_EQ(r.sides[0].unitsLeft[0].count, 0);
        EXPECT_EQ(WinChance(r.sides[0].wins, r.runsDone).high, 0.0);
    }
    // A battle against an empty army has no winner worth counting.
    SimulationOptions o;
    o.runs = 10;
    const SimulationResult r = Simulate(sideI(), Army{}, o);
    EXPECT_EQ(r.runsDone, 0);
    EXPECT_EQ(r.strikes, 0u);
}

TEST(Simulate, MoreThreadsThanRunsAndOneRun) {
    const SimulationResult r = run(3, 16, 9);
    EXPECT_EQ(r.runsDone, 3);
    EXPECT_EQ(r.sides[0].totalLeft.size(), 3u);
    const SimulationResult one = run(1, 0, 9);
    EXPECT_EQ(one.runsDone, 1);
    // A single run is a single battle: every kind's spread is one value.
    for (int32_t k = 0; k < 4; ++k) {
        EXPECT_EQ(one.sides[0].unitsLeft[k].min, one.sides[0].unitsLeft[k].max);
        EXPECT_EQ(one.sides[0].unitsLeft[k].standardDeviation(), 0.0);
    }
}

TEST(Simulate, ProgressComesFromOneWorkerAtATimeAndNeverGoesBack) {
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    std::vector<int32_t> seen;  // written only inside the callback, which never overlaps
    SimulationOptions o;
    o.runs = 60;
    o.threads = 2;
    o.afterRun = [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
    o.progress = [&](int32_t done) {
        if (++inside > 1)
            overlapped = true;
        seen.push_back(done);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        --inside;
    };
    const SimulationResult r = Simulate(sideI(), sideII(), o);
    EXPECT_EQ(r.runsDone, 60);
    EXPECT_FALSE(overlapped);
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_GE(seen.front(), 1);
    EXPECT_LE(seen.back(), 60);
}

TEST(Simulate, ExceptionFromACallbackReachesTheCaller) {
    SimulationOptions o;
    // Far more runs than the other worker could fight while the first one
    // unwinds, so only a stop that works keeps the count below them.
    o.runs = 1000000;
    o.threads = 2;
    std::atomic<int> calls{0};
    o.afterRun = [&] {
        if (++calls == 10)
            throw std::runtime_error("stop");
    };
    EXPECT_THROW(Simulate(sideI(), sideII(), o), std::runtime_error);
    EXPECT_LT(calls.load(), o.runs);
}

// The sums behind the spread hold orbsim's longest simulation: ten million
// runs of a kind of 9,999 that is wiped out every other time.
TEST(Spread, HoldsTheLongestSimulation) {
    constexpr int64_t runs = 10'000'000;
    Spread left;
    for (int64_t r = 0; r < runs; ++r)
        left.add(r % 2 ? 9999 : 0);
    EXPECT_EQ(left.sum, 9999 * runs / 2);
    EXPECT_DOUBLE_EQ(left.mean(), 4999.5);
    // n / (n - 1) times the population variance 4999.5^2.
    EXPECT_NEAR(left.standardDeviation(), 4999.5 * std::sqrt(runs / (runs - 1.0)), 1e-6);
}
