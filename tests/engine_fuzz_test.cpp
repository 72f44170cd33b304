// Randomized battles over many army pairs: every battle ends, exactly one side
// has units left, both armies come back whole, the report's sums agree with
// the casualty counters, and the lean engine fights the same battle. ORB_SOAK=N fights N battles instead of the
// quick set.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <random>
#include <string>

#include "EngineTestSupport.h"
#include "battle/LeanBattle.h"

namespace {

using testsupport::ArmyState;
using testsupport::fight;
using testsupport::parseColumn;
using testsupport::ParsedColumn;
using testsupport::stateOf;

struct Shape {
    const char* name;
    // Builds one army; budget bounds the hit points an army may hold so a
    // quick run stays quick even with 1% hit chances.
    void (*build)(std::mt19937_64& rng, Army& army, int64_t budget, int side);
};

int uniform(std::mt19937_64& rng, int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(rng);
}

// Names stay unique so the report's lines can be traced back to their kinds.
std::string uniqueName(const std::string& base, int side, int) {
    static int64_t serial = 0;
    return base + " " + std::to_string(side) + "." + std::to_string(++serial);
}

KindValues catalogueKind(std::mt19937_64& rng, int side, int k) {
    const auto& row = Unitcatalogue::rows()[static_cast<size_t>(uniform(rng, 0, Unitcatalogue::rowCount - 1))];
    KindValues v = Unitcatalogue::values(row);
    v.Fullname = uniqueName(v.Fullname, side, k);
    return v;
}

KindValues handMadeKind(std::mt19937_64& rng, int side, int k) {
    static const char* positions[] = {"F", "G", "M", "R", "B"};
    static const char* types[] = {"O", "S", "U", "H"};
    auto value = [&](int lo) {
        switch (uniform(rng, 0, 3)) {
            case 0:
                return lo;
            case 1:
                return 999;
            default:
                return uniform(rng, lo, uniform(rng, 0, 1) ? 20 : 999);
        }
    };
    KindValues v;
    v.Fullname = uniqueName("Hand", side, k);
    v.Abbreviation = "hnd";
    v.Position = positions[uniform(rng, 0, 4)];
    v.Type = types[uniform(rng, 0, 3)];
    v.Offense = value(0);
    v.Defense = value(0);
    v.Rangedoff = uniform(rng, 0, 2) == 0 ? value(0) : 0;
    v.Attacks = value(1);
    v.Hitpoints = value(1);
    return v;
}

int32_t affordable(std::mt19937_64& rng, const KindValues& v, int64_t& budget, int maxNumber) {
    const int64_t cost = std::max<int64_t>(1, int64_t{v.Hitpoints} * std::max(1, v.Attacks / 50 + 1));
    const int64_t most = std::max<int64_t>(1, std::min<int64_t>(maxNumber, budget / cost));
    const int32_t n = static_cast<int32_t>(uniform(rng, 1, static_cast<int>(most)));
    budget -= n * cost;
    return n;
}

void addKinds(std::mt19937_64& rng, Army& army, int64_t budget, int side, int kinds, double handMadeShare,
              int maxNumber, const char* onlyPosition = nullptr) {
    for (int k = 0; k < kinds && budget > 0; ++k) {
        KindValues v = std::uniform_real_distribution<double>(0, 1)(rng) < handMadeShare ? handMadeKind(rng, side, k)
                                                                                         : catalogueKind(rng, side, k);
        if (onlyPosition)
            v.Position = onlyPosition;
        ASSERT_EQ(army.AddKind(v, affordable(rng, v, budget, maxNumber)), Army::AddResult::Added);
    }
}

const Shape shapes[] = {
    {"mixed", [](std::mt19937_64& rng, Army& a, int64_t budget,
                 int side) { addKinds(rng, a, budget, side, uniform(rng, 1, 40), 0.3, 300); }},
    {"catalogue", [](std::mt19937_64& rng, Army& a, int64_t budget,
                     int side) { addKinds(rng, a, budget, side, uniform(rng, 1, 12), 0.0, 500); }},
    {"back line only", [](std::mt19937_64& rng, Army& a, int64_t budget,
                          int side) { addKinds(rng, a, budget, side, uniform(rng, 1, 5), 0.5, 100, "B"); }},
    {"ranged only", [](std::mt19937_64& rng, Army& a, int64_t budget,
                       int side) { addKinds(rng, a, budget, side, uniform(rng, 1, 6), 0.5, 200, "R"); }},
    {"shooters in the back line",
     [](std::mt19937_64& rng, Army& a, int64_t budget, int side) {
         KindValues v = catalogueKind(rng, side, 0);
         v.Position = "B";
         v.Rangedoff = uniform(rng, 1, 10);
         ASSERT_EQ(a.AddKind(v, uniform(rng, 1, 50)), Army::AddResult::Added);
         addKinds(rng, a, budget, side, uniform(rng, 0, 4), 0.2, 100);
     }},
    {"zero against zero",
     [](std::mt19937_64& rng, Army& a, int64_t, int side) {
         KindValues v = handMadeKind(rng, side, 0);
         v.Offense = 0;
         v.Defense = 0;
         v.Rangedoff = 0;
         v.Attacks = uniform(rng, 1, 3);
         v.Hitpoints = uniform(rng, 1, 3);
         ASSERT_EQ(a.AddKind(v, uniform(rng, 1, 200)), Army::AddResult::Added);
     }},
    {"one against many",
     [](std::mt19937_64& rng, Army& a, int64_t budget, int side) {
         if (side == 0) {
             KindValues v = catalogueKind(rng, side, 0);
             ASSERT_EQ(a.AddKind(v, 1), Army::AddResult::Added);
         } else {
             KindValues v = catalogueKind(rng, side, 0);
             ASSERT_EQ(a.AddKind(v, uniform(rng, 1000, 5000)), Army::AddResult::Added);
             (void)budget;
         }
     }},
};

// Checks the casualty blocks and the units-left list of one column against
// the casualty counters of its army.
void checkColumn(const StringReport& report, int column, const Army& a, const std::string& where) {
    const ParsedColumn p = parseColumn(report, column);
    ASSERT_TRUE(p.wellFormed) << where << ": " << p.problem;
    std::map<std::string, int> phaseSum = p.phaseSum;
    ASSERT_EQ(p.unitsLeft.size(), static_cast<size_t>(a.currentType + 1)) << where << ": units-left list";
    for (int k = 0; k <= a.currentType; ++k) {
        const Unittype& t = a.unittypes[k];
        EXPECT_EQ(phaseSum[t.Fullname], t.LastCasualties) << where << ": phase casualties of " << t.Fullname;
        phaseSum.erase(t.Fullname);
        EXPECT_EQ(p.unitsLeft[static_cast<size_t>(k)], std::make_pair(t.Fullname, t.Number - t.LastCasualties))
            << where;
    }
    EXPECT_TRUE(phaseSum.empty()) << where << ": unknown kind " << phaseSum.begin()->first;
}

int64_t unitsLeft(const Army& a) {
    int64_t n = 0;
    for (int k = 0; k <= a.currentType; ++k)
        n += a.unittypes[k].Number - a.unittypes[k].LastCasualties;
    return n;
}

struct Totals {
    int64_t battles = 0;
    int64_t units = 0;
    int32_t longestRounds = 0;
    double longestSeconds = 0;
};

void fightMany(int64_t battles, int64_t budget, Totals& totals) {
    constexpr int shapeCount = static_cast<int>(std::size(shapes));
    for (int64_t b = 0; b < battles; ++b) {
        std::mt19937_64 rng(0xB47713ULL * 1000003ULL + static_cast<uint64_t>(b));
        Army armies[2];
        const int shapeI = static_cast<int>(b % shapeCount);
        const int shapeII = uniform(rng, 0, shapeCount - 1);
        const std::string where =
            "battle " + std::to_string(b) + " (" + shapes[shapeI].name + " against " + shapes[shapeII].name + ")";
        shapes[shapeI].build(rng, armies[0], budget, 0);
        shapes[shapeII].build(rng, armies[1], budget, 1);
        if (armies[0].currentSize == 0 || armies[1].currentSize == 0)
            continue;
        // Soldiers come back in another order; everything else as it was.
        const ArmyState before[2] = {stateOf(armies[0], true), stateOf(armies[1], true)};

        // Both engines start from the order Rebuild leaves.
        armies[0].Rebuild();
        armies[1].Rebuild();
        LeanBattle lean(armies[0], armies[1]);
        StringReport report;
        Battle engine(&report);
        engine.setFixedSeed(static_cast<uint64_t>(b));
        const auto start = std::chrono::steady_clock::now();
        fight(engine, armies[0], armies[1]);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        // The lean engine fights the same battle, draw for draw.
        lean.Fight(static_cast<uint64_t>(b));
        ASSERT_EQ(lean.strikeCount, engine.strikeCount) << where << ": strikes of the lean engine";
        for (int s = 0; s < 2; ++s)
            for (int32_t k = 0; k <= armies[s].currentType; ++k)
                ASSERT_EQ(lean.Losses(s)[k], armies[s].unittypes[k].LastCasualties)
                    << where << ", side " << s << ", kind " << k << ": losses of the lean engine";

        for (int s = 0; s < 2; ++s) {
            ASSERT_EQ(armies[s].checkInvariants(), "") << where << ", side " << s;
            ASSERT_TRUE(stateOf(armies[s], true) == before[s]) << where << ", side " << s;
            checkColumn(report, s, armies[s], where + ", column " + std::to_string(s));
        }
        ASSERT_TRUE((unitsLeft(armies[0]) > 0) != (unitsLeft(armies[1]) > 0)) << where << ": not exactly one winner";
        ++totals.battles;
        totals.units += armies[0].currentSize + armies[1].currentSize;
        totals.longestRounds = std::max(totals.longestRounds, engine.Roundcounter - 1);
        totals.longestSeconds = std::max(totals.longestSeconds, seconds);
    }
}

}  // namespace

TEST(RandomizedBattles, EveryBattleEndsAndLeavesBothArmiesWhole) {
    const char* soak = std::getenv("ORB_SOAK");
    const int64_t battles = soak ? std::max(1LL, std::atoll(soak)) : 3000;
    Totals totals;
    fightMany(battles, soak ? 200000 : 20000, totals);
    EXPECT_GT(totals.battles, battles / 2);
    std::printf("battles fought: %lld, units: %lld, longest battle: %d rounds, %.3f s\n",
                static_cast<long long>(totals.battles), static_cast<long long>(totals.units), totals.longestRounds,
                totals.longestSeconds);
}
