// A battle of a simulation fought again: every run replayed alone by the
// engine of record is the battle the simulation counted, and the picks find
// the runs they name.

#include "battle/Replay.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "EngineTestSupport.h"

using testsupport::catalogueArmy;

namespace {

Players playersOf(Army I, Army II) {
    Players p;
    p.army(1) = std::move(I);
    p.army(2) = std::move(II);
    return p;
}

// Forty kinds of 9,999 a side, the most the dialogs accept.
Army largestArmy(int shift) {
    Army a;
    const char* positions[] = {"F", "M", "R", "G", "B"};
    for (int k = 0; k < Army::maxTypes; ++k)
        testsupport::add(a,
                         handkind::kind("Kind " + std::to_string(k), positions[(k + shift) % 5], 3 + k % 3, 3,
                                        k % 5 == 2 ? 3 : 0, 1 + k % 2, 2),
                         9999);
    return a;
}

// Each run replayed alone has the units left per kind that the run alone,
// fought by the simulation's engine, has, and the total the whole
// simulation kept for it, fought on one thread and on several.
void expectEveryRunReplays(const Players& players, int32_t runs, uint64_t seed, int32_t step) {
    SimulationOptions options;
    options.runs = runs;
    options.seed = seed;
    for (int threads : {1, 3}) {
        options.threads = threads;
        const SimulationResult whole = Simulate(players.army(1), players.army(2), options);
        ASSERT_EQ(whole.runsDone, runs);
        ASSERT_EQ(whole.seed, seed);
        for (int32_t run = 0; run < runs; run += step) {
            const ReplayedRun replayed = ReplayRun(players, seed, run, runs);
            const SimulationResult alone = SimulateRuns(players.army(1), players.army(2), seed, run, run + 1);
            for (int s = 0; s < 2; ++s) {
                ASSERT_EQ(replayed.left[s], whole.sides[s].totalLeft[static_cast<size_t>(run)])
                    << "run " << run << ", side " << s << ", " << threads << " threads";
                const Army& army = players.army(s + 1);
                for (int32_t k = 0; k <= army.currentType; ++k)
                    ASSERT_EQ(replayed.kindsLeft[s][static_cast<size_t>(k)],
                              army.unittypes[k].Number - alone.sides[s].casualties[k])
                        << "run " << run << ", side " << s << ", kind " << k;
            }
        }
    }
}

// A simulation's per-run totals as a test gives them.
SimulationResult resultOf(std::vector<int32_t> left0, std::vector<int32_t> left1) {
    SimulationResult r;
    r.runsDone = static_cast<int32_t>(left0.size());
    r.fought = {{0, r.runsDone}};
    r.sides[0].totalLeft = std::move(left0);
    r.sides[1].totalLeft = std::move(left1);
    return r;
}

}  // namespace

TEST(Replay, EveryRunIsTheBattleTheSimulationCounted) {
    expectEveryRunReplays(playersOf(catalogueArmy({{"ARC", 20}, {"KNI", 12}, {"SPE", 30}, {"APP", 6}}),
                                    catalogueArmy({{"HAC", 20}, {"WRI", 30}, {"CLA", 22}})),
                          200, 7, 1);
    expectEveryRunReplays(playersOf(catalogueArmy({{"ARC", 20}, {"GOD", 5}}), catalogueArmy({{"KNI", 30}})), 200,
                          12345678901234567ULL, 1);
    // The largest armies: a few of their runs, each a long battle.
    expectEveryRunReplays(playersOf(largestArmy(0), largestArmy(2)), 6, 3, 5);
}

TEST(Replay, TitleAndTextNameTheBattle) {
    const Players players = playersOf(catalogueArmy({{"ARC", 20}, {"GOD", 5}}), catalogueArmy({{"KNI", 30}}));
    const ReplayedRun r = ReplayRun(players, 7, 411, 999);
    EXPECT_EQ(r.title, "Battle 412 of 999: side I won with " + std::to_string(r.left[0]) + " units left");
    EXPECT_EQ(r.text.substr(0, r.title.size() + 2), r.title + "\n\n");
    EXPECT_NE(r.text.find("BATLLE:   SIDE I"), std::string::npos);
}

TEST(Replay, PicksFindTheRunsTheyName) {
    // Runs 0..6; side I wins runs 1, 3, 4 and 6, side II runs 0 and 5, run 2 is a draw.
    const SimulationResult r = resultOf({0, 4, 0, 9, 2, 0, 7}, {3, 0, 0, 0, 0, 8, 0});
    std::string why;
    EXPECT_EQ(PickRun(r, 0, Pick::Won, &why), 1);
    EXPECT_EQ(PickRun(r, 0, Pick::Lost, &why), 0);
    EXPECT_EQ(PickRun(r, 1, Pick::Won, &why), 0);
    EXPECT_EQ(PickRun(r, 0, Pick::Draw, &why), 2);
    EXPECT_EQ(PickRun(r, 0, Pick::Worst, &why), 0);  // the first of the fewest
    EXPECT_EQ(PickRun(r, 0, Pick::Best, &why), 3);
    EXPECT_EQ(PickRun(r, 0, Pick::Typical, &why), 4);  // median 2: run 4 holds it
    EXPECT_EQ(PickRun(r, 1, Pick::Typical, &why), 1);  // median 0, first at run 1
    EXPECT_EQ(RunWithUnitsLeft(r, 0, 7), 6);
    EXPECT_EQ(RunWithUnitsLeft(r, 0, 8), 6);  // 7 and 9 are as near: the smaller
    EXPECT_EQ(RunWithUnitsLeft(r, 0, 100), 3);
    EXPECT_EQ(RunWithUnitsLeft(r, 1, 1), 1);  // 0, first at run 1

    // An outcome that never occurred is named, not offered.
    const SimulationResult oneSided = resultOf({5, 6, 5, 4}, {0, 0, 0, 0});
    EXPECT_FALSE(PickRun(oneSided, 1, Pick::Won, &why));
    EXPECT_EQ(why, "no battle of the 4 ended with side II winning");
    EXPECT_FALSE(PickRun(oneSided, 0, Pick::Draw, &why));
    EXPECT_EQ(why, "no battle of the 4 ended with both armies gone");
    // Even count: the median lies between 5 and 5.
    EXPECT_EQ(PickRun(oneSided, 0, Pick::Typical, &why), 0);

    // After a cancel the totals belong to the runs fought, not to their places.
    SimulationResult gaps = resultOf({1, 9, 3}, {0, 0, 0});
    gaps.fought = {{0, 1}, {40, 42}};
    EXPECT_EQ(PickRun(gaps, 0, Pick::Best, &why), 40);
    EXPECT_EQ(RunWithUnitsLeft(gaps, 0, 3), 41);
}
