// The lean engine that simulations fight on, against the engine of record,
// which fights the rules step by step: the same battles draw for draw over
// varied armies, and the same odds when the seeds differ.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>
#include <string>

#include "EngineTestSupport.h"
#include "battle/LeanBattle.h"
#include "battle/Simulation.h"

using namespace testsupport;

namespace {

int uniform(std::mt19937_64& rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

// A kind with values anywhere in what the dialogs accept, extremes often.
KindValues handMade(std::mt19937_64& rng, const char* position) {
    auto value = [&](int lo, int hi) {
        const int pick = uniform(rng, 0, 3);
        return pick == 0 ? lo : pick == 1 ? hi : uniform(rng, lo, hi);
    };
    const double offense = value(0, 999);
    const double defense = value(0, 999);
    const double rangedoff = uniform(rng, 0, 2) == 0 ? value(0, 999) : 0;
    // Few hit points, so that 1-in-100 chances still end battles soon.
    return kind("Hand", position, offense, defense, rangedoff, value(1, 999), uniform(rng, 1, 4));
}

KindValues fromCatalogue(std::mt19937_64& rng) {
    return Unitcatalogue::values(
        Unitcatalogue::rows()[static_cast<size_t>(uniform(rng, 0, Unitcatalogue::rowCount - 1))]);
}

// Army shapes that reach every branch of the rules: mixed kinds, back lines
// alone, ranged lines alone, shooters waiting in the back line, positions
// that are no code, one unit against hundreds, and lines of thousands.
Army randomArmy(std::mt19937_64& rng, int shape, int side) {
    static const char* positions[] = {"F", "G", "M", "R", "B", "X"};
    Army a;
    switch (shape) {
        case 0:
            for (int k = uniform(rng, 1, 12); k > 0; --k)
                add(a, uniform(rng, 0, 2) == 0 ? handMade(rng, positions[uniform(rng, 0, 5)]) : fromCatalogue(rng),
                    uniform(rng, 1, 40));
            break;
        case 1:
            for (int k = uniform(rng, 1, 3); k > 0; --k) {
                KindValues v = fromCatalogue(rng);
                v.Position = "B";
                add(a, v, uniform(rng, 1, 20));
            }
            break;
        case 2:
            for (int k = uniform(rng, 1, 4); k > 0; --k)
                add(a, handMade(rng, "R"), uniform(rng, 1, 20));
            break;
        case 3: {
            KindValues v = fromCatalogue(rng);
            v.Position = "B";
            v.Rangedoff = uniform(rng, 1, 10);
            add(a, v, uniform(rng, 1, 30));
            for (int k = uniform(rng, 0, 3); k > 0; --k)
                add(a, fromCatalogue(rng), uniform(rng, 1, 30));
            break;
        }
        case 4:
            add(a, handMade(rng, "X"), uniform(rng, 1, 30));
            add(a, fromCatalogue(rng), uniform(rng, 1, 30));
            break;
        case 5:
            add(a, fromCatalogue(rng), side == 0 ? 1 : uniform(rng, 100, 400));
            break;
        default:
            for (int k = uniform(rng, 3, 8); k > 0; --k)
                add(a, fromCatalogue(rng), uniform(rng, 300, 1200));
            break;
    }
    a.Rebuild();
    return a;
}

Army armyOf(std::initializer_list<std::pair<KindValues, int32_t>> kinds) {
    Army a;
    for (const auto& [v, n] : kinds)
        add(a, v, n);
    return a;
}

void expectSameLosses(const Army& a, const std::array<int32_t, Army::maxTypes>& losses, const std::string& what) {
    for (int32_t k = 0; k <= a.currentType; ++k)
        EXPECT_EQ(a.unittypes[k].LastCasualties, losses[k]) << what << ", kind " << k;
}

// The engine of record and the lean engine fight the same battles from the
// same seeds: every loss and every strike agree.
void expectSameBattles(const Army& I, const Army& II, const std::string& label) {
    ASSERT_TRUE(LeanBattle::Fits(I, II)) << label;
    LeanBattle lean(I, II);
    for (uint64_t seed = 1; seed <= 3; ++seed) {
        const std::string what = label + " seed " + std::to_string(seed);
        Army engineI = I, engineII = II;
        Battle engine;
        engine.setFixedSeed(seed);
        fight(engine, engineI, engineII, true);

        const uint64_t before = lean.strikeCount;
        lean.Fight(seed);

        EXPECT_EQ(lean.strikeCount - before, engine.strikeCount) << what;
        expectSameLosses(engineI, lean.Losses(0), what + ", lean, side I");
        expectSameLosses(engineII, lean.Losses(1), what + ", lean, side II");
    }
}

}  // namespace

// Over army shapes that reach every rule, on both widths of soldier record:
// two bytes for catalogue kinds, four for hand-made ones beyond 15 hit
// points or attacks.
TEST(LeanBattle, FightsAsTheEngineOfRecordDrawForDraw) {
    std::mt19937_64 rng(2024);
    std::array<int, 2> widths{};
    for (int shape = 0; shape < 7; ++shape) {
        const int pairs = shape == 6 ? 2 : 12;
        for (int pair = 0; pair < pairs; ++pair) {
            const Army I = randomArmy(rng, shape, 0);
            const Army II = randomArmy(rng, shape, 1);
            ++widths[LeanBattle(I, II).Narrow()];
            expectSameBattles(I, II, "shape " + std::to_string(shape) + " pair " + std::to_string(pair));
        }
    }
    EXPECT_GT(widths[0], 10);
    EXPECT_GT(widths[1], 10);
}

// Two-byte records hold hit points and a phase's counter-strikes in four
// bits each: kinds at 15 of both, whose counter-strike counts run up to 15
// against a swarm that rarely hits, fight as the engine of record does.
TEST(LeanBattle, NarrowRecordsHoldTheirLargestValues) {
    const Army swarm = armyOf({{kind("Gnats", "F", 1, 1, 0, 1, 1), 600}, {kind("Darts", "R", 1, 1, 3, 1, 1), 50}});
    const Army giants =
        armyOf({{kind("Giants", "F", 2, 999, 0, 15, 15), 30}, {kind("Ogres", "G", 2, 999, 0, 15, 15), 10}});
    ASSERT_TRUE(LeanBattle(swarm, giants).Narrow());
    expectSameBattles(swarm, giants, "swarm against giants");
    expectSameBattles(giants, swarm, "giants against swarm");
}

// Lines beyond the nearest cache have targets fetched ahead, which must not
// change a draw.
TEST(LeanBattle, FightsBigLinesAsTheEngineOfRecord) {
    const Army big = catalogueArmy({{"TRI", 20000}, {"GOD", 9000}, {"ARC", 9000}});
    const Army small = catalogueArmy({{"BOD", 3000}, {"CLA", 5000}, {"ROC", 2000}});
    expectSameBattles(big, small, "big against small");
}

// Shooters and others in three positions cannot all stand together in the
// engine's numbering of kinds, so its ranged phase flags its shooters
// instead: both ways of finding them fight as the engine of record does.
TEST(LeanBattle, FindsShootersWhereverTheirKindsAreNumbered) {
    const Army together = armyOf({{kind("Slings", "F", 2, 2, 3, 1, 2), 40},
                                  {kind("Pikes", "F", 3, 3, 0, 1, 2), 60},
                                  {kind("Drakes", "G", 5, 5, 4, 3, 3), 20},
                                  {kind("Bows", "R", 1, 1, 4, 1, 1), 50}});
    const Army apart = armyOf({{kind("Slings", "F", 2, 2, 3, 1, 2), 40},
                               {kind("Pikes", "F", 3, 3, 0, 1, 2), 60},
                               {kind("Lancers", "M", 4, 3, 0, 2, 2), 30},
                               {kind("Horse archers", "M", 3, 2, 3, 1, 2), 30},
                               {kind("Drakes", "G", 5, 5, 4, 3, 3), 20},
                               {kind("Giants", "G", 6, 4, 0, 2, 4), 10}});
    expectSameBattles(together, apart, "shooters together against apart");
    expectSameBattles(apart, together, "shooters apart against together");

    // A back line of shooters that joins during the ranged phase is flagged
    // as it joins, or it would not shoot.
    const Army reserve = armyOf({{kind("Slings", "F", 2, 2, 3, 1, 1), 1},
                                 {kind("Pikes", "F", 3, 3, 0, 1, 1), 1},
                                 {kind("Lancers", "M", 4, 3, 0, 1, 1), 1},
                                 {kind("Horse archers", "M", 3, 2, 3, 1, 1), 1},
                                 {kind("Drakes", "G", 5, 5, 4, 1, 1), 1},
                                 {kind("Giants", "G", 6, 4, 0, 1, 1), 1},
                                 {kind("Reserve bows", "B", 1, 1, 3, 1, 1), 20}});
    const Army volley = armyOf({{kind("Longbows", "R", 1, 1, 999, 2, 1), 80}});
    expectSameBattles(reserve, volley, "reserve against a volley");
}

// Four-byte records hold 12 bits of each; armies beyond that are refused
// where they would enter a simulation.
TEST(LeanBattle, ArmiesBeyondTheCompactRecordsAreRefused) {
    const Army small = catalogueArmy({{"TRI", 5}});
    struct Case {
        int32_t attacks, hitpoints;
        bool fits, narrow;
    } cases[] = {{15, 15, true, true},      {16, 1, true, false},    {1, 16, true, false},
                 {4095, 4095, true, false}, {4096, 1, false, false}, {1, 4096, false, false}};
    for (const Case& c : cases) {
        Army big;
        putKind(big, kind("Titans", "F", 1, 1, 0, c.attacks, c.hitpoints), 2);
        EXPECT_EQ(LeanBattle::Fits(big, small), c.fits) << c.attacks << " attacks, " << c.hitpoints << " hit points";
        if (c.fits) {
            EXPECT_EQ(LeanBattle(big, small).Narrow(), c.narrow) << c.attacks << " attacks, " << c.hitpoints;
        }
    }
    Army zero;
    putKind(zero, kind("Ghosts", "F", 1, 1, 0, 1, 0), 3);
    EXPECT_FALSE(LeanBattle::Fits(small, zero));

    SimulationOptions options;
    options.runs = 5;
    options.seed = 9;
    EXPECT_THROW(Simulate(small, zero, options), std::invalid_argument);
    EXPECT_THROW(SimulateRuns(zero, small, 9, 0, 5), std::invalid_argument);
}

// The kinds of each position get consecutive numbers, and so do the
// shooters while at most two positions mix shooters with others.
TEST(LeanBattle, KindsAreNumberedByPositionWithTheShootersTogether) {
    const Army a = armyOf({{kind("Bows", "F", 1, 1, 2, 1, 1), 3},
                           {kind("Swords", "F", 3, 2, 0, 1, 1), 3},
                           {kind("Riders", "M", 4, 2, 0, 1, 1), 3},
                           {kind("Slings", "R", 1, 1, 1, 1, 1), 3},
                           {kind("Lances", "M", 5, 1, 0, 1, 1), 3},
                           {kind("Mages", "B", 0, 1, 4, 1, 1), 3},
                           {kind("Pikes", "F", 2, 3, 0, 1, 1), 3}});
    const LeanBattle::KindNumbering n = LeanBattle::NumberKinds(a);
    std::vector<bool> numbered(7, false);
    for (int32_t ak = 0; ak <= a.currentType; ++ak) {
        const int32_t k = n.number[ak];
        EXPECT_EQ(n.armyKind[k], ak);
        numbered[k] = true;
        const int p = Battle::posCode(a.unittypes[ak].Position);
        EXPECT_GE(k, n.firstOfPosition[p]) << a.unittypes[ak].Fullname;
        EXPECT_LT(k, n.endOfPosition[p]) << a.unittypes[ak].Fullname;
        EXPECT_EQ(k >= n.firstShooter && k<n.endShooter, a.unittypes[ak].Rangedoff> 0) << a.unittypes[ak].Fullname;
    }
    EXPECT_EQ(std::count(numbered.begin(), numbered.end(), true), 7);
    EXPECT_TRUE(n.shootersInRange);
}

namespace {

struct Outcomes {
    int64_t runs = 0;
    std::array<int64_t, 2> wins{};
    std::array<std::array<Spread, Army::maxTypes>, 2> left{};
};

// Largest |z| between two samples of outcomes: per side the share of wins,
// per kind the mean of its units left.
double largestDifference(const Outcomes& a, const Outcomes& b, const Army& I, const Army& II, std::string* where) {
    double worst = 0;
    auto consider = [&](double z, const std::string& what) {
        if (std::abs(z) > worst) {
            worst = std::abs(z);
            *where = what;
        }
    };
    const double na = static_cast<double>(a.runs), nb = static_cast<double>(b.runs);
    for (int s = 0; s < 2; ++s) {
        const double pa = static_cast<double>(a.wins[s]) / na, pb = static_cast<double>(b.wins[s]) / nb;
        const double pooled = static_cast<double>(a.wins[s] + b.wins[s]) / (na + nb);
        const double se = std::sqrt(pooled * (1 - pooled) * (1 / na + 1 / nb));
        consider(se > 0 ? (pa - pb) / se : (pa == pb ? 0 : INFINITY), "wins of side " + std::to_string(s + 1));
        const Army& army = s == 0 ? I : II;
        for (int32_t k = 0; k <= army.currentType; ++k) {
            const Spread& x = a.left[s][k];
            const Spread& y = b.left[s][k];
            const double seMean = std::sqrt(x.variance() / na + y.variance() / nb);
            const double diff = x.mean() - y.mean();
            consider(seMean > 0 ? diff / seMean : (diff == 0 ? 0 : INFINITY),
                     "units left of " + army.unittypes[k].Fullname + " (side " + std::to_string(s + 1) + ")");
        }
    }
    return worst;
}

}  // namespace

// Simulations on the lean engine against the engine of record,
// from unrelated seeds, over armies that reach every rule: the share of
// wins per side and the mean units left per kind agree within 4.5 standard
// errors. Changes to the lean engine's rules as small as one point less hit
// chance for side II's melee strikes, one counter-strike fewer per phase, or
// the target rule of the position phases dropped, move some of these
// figures by 11, 66 and 60 standard errors at this many battles.
TEST(LeanBattle, OddsMatchTheStepByStepRules) {
    struct Pair {
        const char* label;
        Army I, II;
    };
    const Pair pairs[] = {
        {"catalogue mix", catalogueArmy({{"ARC", 20}, {"KNI", 10}, {"TRI", 30}, {"JES", 3}}),
         catalogueArmy({{"GOD", 1}, {"HAC", 15}, {"WNO", 20}, {"APP", 4}})},
        {"every position", catalogueArmy({{"MRI", 5}, {"DEA", 3}, {"CAT", 2}, {"SCO", 2}, {"PIK", 10}}),
         catalogueArmy({{"BLD", 1}, {"RAI", 8}, {"SPE", 12}, {"CLE", 3}, {"XBO", 6}})},
        {"shooters waiting behind a ranged line", catalogueArmy({{"ARC", 8}, {"APP", 3}}),
         catalogueArmy({{"MRI", 4}, {"GON", 2}})},
        {"even melee with counter-strikes",
         armyOf({{kind("Swords", "F", 4, 3, 0, 2, 2), 12},
                 {kind("Riders", "M", 6, 2, 0, 3, 3), 6},
                 {kind("Guards", "B", 3, 5, 0, 1, 2), 5}}),
         armyOf({{kind("Spears", "F", 3, 4, 0, 1, 2), 15},
                 {kind("Ogres", "G", 9, 1, 0, 2, 4), 4},
                 {kind("Archers", "R", 1, 1, 3, 1, 1), 6},
                 {kind("Reserve", "B", 2, 2, 0, 1, 1), 3}})},
        {"no position code", armyOf({{kind("Strangers", "X", 2, 2, 1, 1, 1), 9}}), catalogueArmy({{"TRI", 6}})},
        // Many units on even terms: the outcome then hangs on every rule.
        {"two hundred a side",
         armyOf({{kind("Pikes", "F", 3, 3, 0, 1, 2), 120},
                 {kind("Lancers", "M", 4, 2, 0, 1, 2), 50},
                 {kind("Slingers", "R", 1, 2, 2, 1, 1), 30}}),
         armyOf({{kind("Axes", "F", 4, 2, 0, 1, 2), 110},
                 {kind("Wolves", "G", 3, 3, 0, 2, 1), 60},
                 {kind("Bows", "R", 1, 1, 3, 1, 1), 30}})},
    };
    constexpr int32_t battles = 4000;
    for (const Pair& pair : pairs) {
        SCOPED_TRACE(pair.label);
        SimulationOptions options;
        options.runs = battles;
        options.seed = 31337;
        options.threads = 2;
        const SimulationResult sim = Simulate(pair.I, pair.II, options);
        ASSERT_EQ(sim.runsDone, battles);
        Outcomes lean;
        lean.runs = sim.runsDone;
        for (int s = 0; s < 2; ++s) {
            lean.wins[s] = sim.sides[s].wins;
            lean.left[s] = sim.sides[s].unitsLeft;
        }

        Outcomes step;
        Army I = pair.I, II = pair.II;
        Battle p;
        p.setFixedSeed(0x5EED0000);
        for (int32_t b = 0; b < battles; ++b) {
            fight(p, I, II);
            int32_t total[2] = {0, 0};
            for (int s = 0; s < 2; ++s) {
                const Army& a = s == 0 ? I : II;
                for (int32_t k = 0; k <= a.currentType; ++k) {
                    const int32_t left = a.unittypes[k].Number - a.unittypes[k].LastCasualties;
                    step.left[s][k].add(left);
                    total[s] += left;
                }
            }
            step.wins[0] += total[0] > 0 && total[1] == 0;
            step.wins[1] += total[1] > 0 && total[0] == 0;
        }
        step.runs = battles;

        std::string where;
        const double z = largestDifference(lean, step, pair.I, pair.II, &where);
        EXPECT_LT(z, 4.5) << where;
        std::printf("[ odds     ] %s: largest difference %.2f standard errors (%s)\n", pair.label, z, where.c_str());
    }
}
