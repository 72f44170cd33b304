#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <regex>

#include "EngineTestSupport.h"
#include "army/Players.h"

using namespace testsupport;

namespace {

bool isDefault(const Unittype& t) {
    const Unittype d;
    return t.Number == d.Number && t.PhaseCasualties == 0 && t.BattleCasualties == 0 && t.LastCasualties == 0 &&
           t.SimCasualties == 0 && t.Offense == 0 && t.Defense == 0 && t.Rangedoff == 0 && t.Attacks == 0 &&
           t.Hitpoints == 0 && t.Position == "F" && t.Type == "O" && t.Abbreviation.empty() && t.Fullname.empty();
}

bool sameKind(const Unittype& a, const Unittype& b) {
    return a.Number == b.Number && a.Offense == b.Offense && a.Defense == b.Defense && a.Rangedoff == b.Rangedoff &&
           a.Attacks == b.Attacks && a.Hitpoints == b.Hitpoints && a.Position == b.Position && a.Type == b.Type &&
           a.Abbreviation == b.Abbreviation && a.Fullname == b.Fullname && a.LastCasualties == b.LastCasualties;
}

// Gives every unit of a range the position of the letter at its place, by
// pointing it at a kind of that position.
Army armyOfPositions(const std::string& positions) {
    Army a;
    const std::string codes = "FBRMG";
    for (size_t k = 0; k < codes.size(); ++k)
        putKind(a, kind(std::string("kind ") + codes[k], std::string(1, codes[k]), 1, 1, 0, 1, 1), 0);
    a.currentSize = static_cast<int32_t>(positions.size());
    if (a.currentSize > a.maxSize)
        a.Grow(a.currentSize);
    for (size_t i = 0; i < positions.size(); ++i) {
        a.units[i].Typeindex = static_cast<int32_t>(codes.find(positions[i]));
        a.units[i].Hitpoints = static_cast<int32_t>(i);  // a label to follow each record
    }
    return a;
}

}  // namespace

TEST(ArmyConstruction, NewArmyIsEmptyWithDefaultRecords) {
    Army a;
    EXPECT_EQ(a.maxSize, 100);
    EXPECT_EQ(Army::maxTypes, 40);
    EXPECT_EQ(a.units.size(), 100u);
    for (int32_t v : {a.currentSize, a.Lifecounter, a.Turn, a.Actor, a.SizeMinusB, a.Bexposed, a.Acted, a.NumberF,
                      a.NumberR, a.NumberM, a.NumberG, a.NumberB, a.currentType})
        EXPECT_EQ(v, 0);
    for (const Unittype& t : a.unittypes)
        EXPECT_TRUE(isDefault(t));
    for (const Unit& u : a.units)
        EXPECT_TRUE(u.Hitpoints == 0 && u.Typeindex == 0 && u.Retaliations == 0);
    EXPECT_EQ(a.kindCount(), 0);
    EXPECT_EQ(a.checkInvariants(), "");
}

TEST(ArmyGrow, KeepsRecordsInUseAndAddsDefaultOnes) {
    Army a = catalogueArmy({{"MRI", 60}, {"JES", 30}});
    const ArmyState before = stateOf(a, false);
    a.Grow(40);
    EXPECT_EQ(a.maxSize, 140);
    EXPECT_EQ(a.units.size(), 140u);
    EXPECT_EQ(stateOf(a, false).units, before.units);
    for (int32_t i = 90; i < 140; ++i)
        EXPECT_EQ(a.units[i].Hitpoints, 0) << i;
    a.Grow(0);
    a.Grow(-5);
    EXPECT_EQ(a.maxSize, 140);
}

struct AddCase {
    const char* label;
    std::vector<std::pair<const char*, int32_t>> adds;
    int32_t maxSize, sizeMinusB, F, R, M, G, B;
    friend void PrintTo(const AddCase& c, std::ostream* os) { *os << '"' << c.label << '"'; }
};

class ArmyAdd : public testing::TestWithParam<AddCase> {};

TEST_P(ArmyAdd, CountsGrowthAndOrder) {
    const AddCase& c = GetParam();
    Army a;
    for (const auto& [abb, n] : c.adds)
        add(a, catalogueKind(abb), n);
    EXPECT_EQ(a.maxSize, c.maxSize);
    EXPECT_EQ(a.SizeMinusB, c.sizeMinusB);
    EXPECT_EQ(a.NumberF, c.F);
    EXPECT_EQ(a.NumberR, c.R);
    EXPECT_EQ(a.NumberM, c.M);
    EXPECT_EQ(a.NumberG, c.G);
    EXPECT_EQ(a.NumberB, c.B);
    EXPECT_EQ(a.currentType, static_cast<int32_t>(c.adds.size()) - 1);
    // After an add the order is: other positions, then "R", then "B".
    EXPECT_TRUE(std::regex_match(positionsOf(a), std::regex("[^RB]*R*B*"))) << positionsOf(a);
    EXPECT_EQ(a.checkInvariants(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ArmyAdd,
    testing::Values(AddCase{"archers", {{"ARC", 20}}, 100, 20, 0, 20, 0, 0, 0},
                    AddCase{"goldenDragonsCountAsRanged", {{"GOD", 5}}, 100, 5, 0, 5, 0, 5, 0},
                    AddCase{"jestersGoLast", {{"MRI", 4}, {"JES", 3}}, 100, 4, 0, 0, 4, 0, 3},
                    AddCase{"hundredFiftyGrowsOnceTo250", {{"TRI", 150}}, 250, 150, 150, 0, 0, 0, 0},
                    AddCase{"ninetyPlusThirtyGrowsTo130", {{"TRI", 90}, {"PIK", 30}}, 130, 120, 120, 0, 0, 0, 0},
                    AddCase{"mixedOrder",
                            {{"JES", 2}, {"ARC", 3}, {"MRI", 2}, {"APP", 2}, {"TRI", 4}, {"HAM", 1}, {"DEA", 2}},
                            100,
                            12,
                            4,
                            6,
                            2,
                            2,
                            4}),
    [](const testing::TestParamInfo<AddCase>& info) { return std::string(info.param.label); });

TEST(ArmyAddKind, GrowingKeepsEveryEarlierRecord) {
    Army a = catalogueArmy({{"TRI", 60}, {"WNO", 30}});
    a.units[5].Retaliations = 2;  // a field the add itself never writes
    const ArmyState before = stateOf(a, false);
    add(a, catalogueKind("MRI"), 30);
    ASSERT_EQ(a.maxSize, 130);
    const ArmyState after = stateOf(a, false);
    ASSERT_EQ(after.units.size(), 120u);
    EXPECT_TRUE(std::equal(before.units.begin(), before.units.end(), after.units.begin()));
}

TEST(ArmyAddKind, StoresValuesAndFillsUnits) {
    Army a;
    KindValues v = catalogueKind("DRA");
    v.Abbreviation = "dra";  // kept as typed
    int32_t k = -1;
    ASSERT_EQ(a.AddKind(v, 7, &k), Army::AddResult::Added);
    EXPECT_EQ(k, 0);
    const Unittype& t = a.unittypes[0];
    EXPECT_EQ(t.Fullname, "Dracoliches");
    EXPECT_EQ(t.Abbreviation, "dra");
    EXPECT_EQ(t.Type, "U");
    EXPECT_EQ(t.Number, 7);
    EXPECT_EQ(a.currentSize, 7);
    for (int32_t i = 0; i < 7; ++i)
        EXPECT_TRUE(a.units[i].Typeindex == 0 && a.units[i].Hitpoints == 5 && a.units[i].Retaliations == 0) << i;
    ASSERT_EQ(a.AddKind(v, 1, &k), Army::AddResult::Added);
    EXPECT_EQ(k, 1);  // the same kind again is a further kind
}

TEST(ArmyAddKind, EmptyNameIsStoredAsNamelessUnit) {
    Army a;
    add(a, kind("", "F", 1, 1, 0, 1, 1), 2);
    EXPECT_EQ(a.unittypes[0].Fullname, "Nameless Unit");
    add(a, kind("Second", "F", 1, 1, 0, 1, 1), 1);
    EXPECT_EQ(a.currentType, 1);  // the nameless kind's slot was not taken as free
    EXPECT_EQ(a.checkInvariants(), "");
}

TEST(ArmyAddKind, RefusalsChangeNothing) {
    Army full;
    for (int i = 0; i < Army::maxTypes; ++i)
        add(full, kind("Kind " + std::to_string(i), "F", 1, 1, 0, 1, 1), 1);
    Army some = catalogueArmy({{"MRI", 3}});
    struct Case {
        const char* label;
        Army* army;
        KindValues values;
        int32_t n;
        Army::AddResult expected;
    } cases[] = {
        {"number 0", &some, catalogueKind("TRI"), 0, Army::AddResult::BadValues},
        {"attacks 0", &some, kind("A", "F", 1, 1, 0, 0, 1), 3, Army::AddResult::BadValues},
        {"hit points 0", &some, kind("H", "F", 1, 1, 0, 1, 0), 3, Army::AddResult::BadValues},
        {"41st kind", &full, catalogueKind("TRI"), 5, Army::AddResult::ArmyFull},
    };
    for (Case& c : cases) {
        const ArmyState before = stateOf(*c.army, false);
        EXPECT_EQ(c.army->AddKind(c.values, c.n), c.expected) << c.label;
        EXPECT_EQ(stateOf(*c.army, false), before) << c.label;
    }
    EXPECT_EQ(full.unittypes[39].Fullname, "Kind 39");
}

TEST(ArmyApplyKind, ChangesNumberAndPosition) {
    {
        SCOPED_TRACE("number up 10 to 12 in a full unit table grows it");
        Army a = catalogueArmy({{"TRI", 90}, {"KNI", 10}});
        ASSERT_EQ(a.maxSize, 100);
        ASSERT_TRUE(a.ApplyKind(1, catalogueKind("KNI"), 12));
        EXPECT_EQ(a.currentSize, 102);
        EXPECT_GE(a.maxSize, 102);
        EXPECT_EQ(a.unittypes[1].Number, 12);
        EXPECT_EQ(a.checkInvariants(), "");
    }
    {
        SCOPED_TRACE("number down 10 to 3");
        Army a = catalogueArmy({{"TRI", 5}, {"KNI", 10}});
        ASSERT_TRUE(a.ApplyKind(1, catalogueKind("KNI"), 3));
        EXPECT_EQ(a.currentSize, 8);
        EXPECT_EQ(a.NumberM, 3);
        EXPECT_EQ(a.checkInvariants(), "");
    }
    {
        SCOPED_TRACE("position F to B moves the units to the back; the abbreviation stays");
        Army a = catalogueArmy({{"TRI", 4}, {"MRI", 2}});
        KindValues v = catalogueKind("TRI");
        v.Position = "B";
        v.Abbreviation = "XXX";
        ASSERT_TRUE(a.ApplyKind(0, v, 4));
        EXPECT_EQ(positionsOf(a), "MMBBBB");
        EXPECT_EQ(a.SizeMinusB, 2);
        EXPECT_EQ(a.NumberB, 4);
        EXPECT_EQ(a.NumberF, 0);
        EXPECT_EQ(a.unittypes[0].Abbreviation, "TRI");
        EXPECT_EQ(a.checkInvariants(), "");
    }
}

TEST(ArmyApplyKind, RefusesValuesNoDialogAcceptsAndLeavesKindWhole) {
    Army a = catalogueArmy({{"TRI", 5}, {"KNI", 10}});
    a.unittypes[1].LastCasualties = 4;
    const Unittype kept = a.unittypes[1];
    const ArmyState before = stateOf(a, false);
    struct Case {
        const char* label;
        int32_t k;
        KindValues v;
        int32_t n;
    } cases[] = {
        {"attacks 0", 1, kind("Knights", "M", 4, 4, 0, 0, 2), 10},
        {"hit points 0", 1, kind("Knights", "M", 4, 4, 0, 1, 0), 10},
        {"number 0", 1, kind("Knights", "M", 4, 4, 0, 1, 2), 0},
        {"empty name", 1, kind("", "M", 4, 4, 0, 1, 2), 10},
        {"free slot", 2, kind("Knights", "M", 4, 4, 0, 1, 2), 10},
        {"negative index", -1, kind("Knights", "M", 4, 4, 0, 1, 2), 10},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(a.ApplyKind(c.k, c.v, c.n)) << c.label;
        EXPECT_TRUE(sameKind(a.unittypes[1], kept)) << c.label;
        EXPECT_EQ(stateOf(a, false), before) << c.label;
    }
}

TEST(ArmyRemoveKind, ClosesTheGapAndRebuilds) {
    {
        SCOPED_TRACE("first of three");
        Army a = catalogueArmy({{"ARC", 20}, {"KNI", 10}, {"GOD", 5}});
        a.unittypes[0].LastCasualties = 7;  // casualty counters stay with their slots
        ASSERT_TRUE(a.RemoveKind(0));
        EXPECT_EQ(a.currentSize, 15);
        EXPECT_EQ(a.currentType, 1);
        EXPECT_EQ(a.unittypes[0].Fullname, "Knights");
        EXPECT_EQ(a.unittypes[1].Fullname, "Golden Dragons");
        EXPECT_EQ(a.unittypes[0].LastCasualties, 7);
        EXPECT_TRUE(a.unittypes[2].Fullname.empty() && a.unittypes[2].Number == 0);
        EXPECT_EQ(a.NumberR, 5);
        EXPECT_EQ(a.checkInvariants(), "");
    }
    {
        SCOPED_TRACE("only kind");
        Army a = catalogueArmy({{"ARC", 20}});
        ASSERT_TRUE(a.RemoveKind(0));
        EXPECT_EQ(a.currentType, 0);
        EXPECT_EQ(a.currentSize, 0);
        EXPECT_EQ(a.kindCount(), 0);
        EXPECT_EQ(a.NumberR, 0);
        EXPECT_EQ(a.checkInvariants(), "");
        add(a, catalogueKind("KNI"), 2);  // the freed slot is used again
        EXPECT_EQ(a.unittypes[0].Fullname, "Knights");
    }
    {
        SCOPED_TRACE("last kind");
        Army a = catalogueArmy({{"ARC", 20}, {"KNI", 10}, {"GOD", 5}});
        const Unittype k0 = a.unittypes[0], k1 = a.unittypes[1];
        ASSERT_TRUE(a.RemoveKind(2));
        EXPECT_TRUE(sameKind(a.unittypes[0], k0));
        EXPECT_TRUE(sameKind(a.unittypes[1], k1));
        EXPECT_EQ(a.currentType, 1);
        EXPECT_EQ(a.currentSize, 30);
        EXPECT_EQ(a.checkInvariants(), "");
    }
    {
        SCOPED_TRACE("from a full army");
        Army a;
        for (int i = 0; i < Army::maxTypes; ++i)
            add(a, kind("Kind " + std::to_string(i), i % 2 ? "B" : "R", 1, 1, 2, 1, 1), 2);
        ASSERT_TRUE(a.RemoveKind(0));
        EXPECT_EQ(a.currentType, 38);
        EXPECT_EQ(a.unittypes[38].Fullname, "Kind 39");
        EXPECT_TRUE(isDefault(a.unittypes[39]));
        EXPECT_EQ(a.checkInvariants(), "");
        add(a, catalogueKind("TRI"), 1);
        EXPECT_EQ(a.currentType, 39);
    }
    Army a = catalogueArmy({{"ARC", 2}});
    EXPECT_FALSE(a.RemoveKind(-1));
    EXPECT_FALSE(a.RemoveKind(1));
}

struct PartitionCase {
    const char* label;
    std::string positions;
    int32_t lo, hi;
    const char* code;
    std::string expected;  // exact result when the outcome is fixed, else empty
    friend void PrintTo(const PartitionCase& c, std::ostream* os) { *os << '"' << c.label << '"'; }
};

class ArmyPartition : public testing::TestWithParam<PartitionCase> {};

TEST_P(ArmyPartition, GroupsTheCodeLastWithinTheRange) {
    const PartitionCase& c = GetParam();
    Army a = armyOfPositions(c.positions);
    a.Partition(c.lo, c.hi, c.code);
    const std::string after = positionsOf(a);
    if (!c.expected.empty()) {
        EXPECT_EQ(after, c.expected);
    }
    std::vector<int32_t> labels;
    for (int32_t i = 0; i < a.currentSize; ++i) {
        if (i < c.lo || i > c.hi) {
            EXPECT_EQ(a.units[i].Hitpoints, i) << "moved a record outside the range at " << i;
        }
        labels.push_back(a.units[i].Hitpoints);
    }
    std::sort(labels.begin(), labels.end());
    for (int32_t i = 0; i < a.currentSize; ++i)
        ASSERT_EQ(labels[i], i) << "lost or duplicated a record";
    if (c.hi >= c.lo) {
        const std::string range = after.substr(c.lo, c.hi - c.lo + 1);
        const size_t firstCode = range.find(c.code);
        if (firstCode != std::string::npos) {
            EXPECT_EQ(range.find_first_not_of(c.code, firstCode), std::string::npos) << range;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ArmyPartition,
                         testing::Values(PartitionCase{"noUnitOfCode", "FFMGR", 0, 4, "B", "FFMGR"},
                                         PartitionCase{"onlyUnitsOfCode", "BBBB", 0, 3, "B", "BBBB"},
                                         PartitionCase{"backFrontBack", "BFB", 0, 2, "B", "FBB"},
                                         PartitionCase{"emptyRange", "BFBF", 3, 2, "B", "BFBF"},
                                         PartitionCase{"singleRecord", "BF", 0, 0, "B", "BF"},
                                         PartitionCase{"twoSwapsThenCross", "BBFF", 0, 3, "B", ""},
                                         PartitionCase{"innerRangeOnly", "BBFBFFB", 1, 5, "B", ""},
                                         PartitionCase{"rangedBeforeBackLine", "RFRMRGBB", 0, 5, "R", ""},
                                         PartitionCase{"alreadyGrouped", "FFRR", 0, 3, "R", "FFRR"}),
                         [](const testing::TestParamInfo<PartitionCase>& info) {
                             return std::string(info.param.label);
                         });

TEST(ArmyPartitionRandom, GroupsEveryMixture) {
    std::mt19937 gen(7);
    for (int trial = 0; trial < 500; ++trial) {
        std::string s(1 + gen() % 30, 'F');
        for (char& ch : s)
            ch = "FBRMG"[gen() % 5];
        Army a = armyOfPositions(s);
        a.Partition(0, a.currentSize - 1, "B");
        const std::string after = positionsOf(a);
        const size_t firstB = after.find('B');
        ASSERT_TRUE(firstB == std::string::npos || after.find_first_not_of('B', firstB) == std::string::npos)
            << s << " -> " << after;
        std::string x = s, y = after;
        std::sort(x.begin(), x.end());
        std::sort(y.begin(), y.end());
        ASSERT_EQ(x, y) << s;
    }
}

TEST(ArmyRebuild, LaysOutKindsAndRecounts) {
    Army a;
    putKind(a, kind("Foot", "F", 1, 1, 0, 1, 2), 3);
    putKind(a, kind("Back", "B", 1, 1, 0, 1, 1), 2);
    putKind(a, kind("Riders", "M", 1, 1, 0, 1, 1), 1);
    EXPECT_EQ(positionsOf(a), "FFFMBB");
    EXPECT_EQ(a.SizeMinusB, 4);
    EXPECT_EQ(a.NumberF, 3);
    EXPECT_EQ(a.NumberM, 1);
    EXPECT_EQ(a.NumberB, 2);
    EXPECT_EQ(a.NumberR, 0);

    // A shooting back-line kind also counts with the ranged troops, and the
    // first back-line kind takes the last slots.
    putKind(a, kind("Apprentices", "B", 1, 1, 1, 1, 1), 2);
    EXPECT_EQ(a.NumberR, 2);
    EXPECT_EQ(a.units[a.currentSize - 1].Typeindex, 1);
    EXPECT_EQ(a.units[a.currentSize - 3].Typeindex, 3);

    // A kind of 0 produces no records; an unknown position stays in front,
    // counted nowhere.
    putKind(a, kind("Nobody", "G", 1, 1, 0, 1, 1), 0);
    putKind(a, kind("Strangers", "X", 1, 1, 0, 1, 1), 2);
    EXPECT_EQ(a.NumberG, 0);
    EXPECT_EQ(positionsOf(a), "FFFMXXBBBB");
    EXPECT_EQ(a.checkInvariants(), "");
}

TEST(ArmyRebuild, RestoresAnArmyAfterDamage) {
    Army a = catalogueArmy({{"GOD", 3}, {"TRI", 4}, {"JES", 2}});
    const ArmyState whole = stateOf(a, true);
    for (int32_t i = 0; i < a.currentSize; ++i) {
        a.units[i].Hitpoints = -1;
        a.units[i].Retaliations = 3;
    }
    std::swap(a.units[0], a.units[8]);
    a.NumberF = a.NumberR = a.NumberG = a.NumberB = 0;
    for (int32_t k = 0; k <= a.currentType; ++k) {
        a.unittypes[k].PhaseCasualties = 1;
        a.unittypes[k].BattleCasualties = 2;
        a.unittypes[k].LastCasualties = 2;
    }
    a.Rebuild();
    EXPECT_EQ(stateOf(a, true), whole);
    for (int32_t k = 0; k <= a.currentType; ++k) {
        EXPECT_EQ(a.unittypes[k].PhaseCasualties, 0);
        EXPECT_EQ(a.unittypes[k].BattleCasualties, 0);
        EXPECT_EQ(a.unittypes[k].LastCasualties, 2);
    }
    EXPECT_EQ(a.checkInvariants(), "");
}

TEST(ArmyInvariants, ReportsBrokenBookkeeping) {
    Army a = catalogueArmy({{"TRI", 3}, {"JES", 2}});
    ASSERT_EQ(a.checkInvariants(), "");
    struct Case {
        const char* label;
        void (*breakIt)(Army&);
    } cases[] = {
        {"counter", [](Army& x) { ++x.NumberF; }},
        {"hit points", [](Army& x) { x.units[0].Hitpoints = 0; }},
        {"back line in front", [](Army& x) { x.SwapUnits(0, 4); }},
        {"size", [](Army& x) { ++x.currentSize; }},
    };
    for (const Case& c : cases) {
        Army b = a;
        c.breakIt(b);
        EXPECT_NE(b.checkInvariants(), "") << c.label;
    }
}

// ---- Both players --------------------------------------------------------------

TEST(Players, DialogsFindAPlayerByTextOrByNumber) {
    Players p;
    p.player(1).number = "07";
    p.player(2).number = " 7";  // no rule of the players' own stops a shared number
    EXPECT_EQ(p.byText("07"), 1);
    EXPECT_EQ(p.byText("7"), 0);    // by text "07" is not "7"
    EXPECT_EQ(p.byNumber("7"), 1);  // by number player 1 is asked first
    EXPECT_EQ(p.byNumber(" +7"), 1);
    EXPECT_EQ(p.byNumber("x"), 0);
    EXPECT_EQ(p.byValue(7), 1);
    p.player(1).number = "3";
    EXPECT_EQ(p.byNumber("7"), 2);
    EXPECT_EQ(p.byValue(8), 0);
}

// Each number is checked against the one the other player holds after the
// change: an exchange in which one half is refused never leaves both
// players with one number.
TEST(Players, InfoChangeNeverLeavesTwoPlayersWithOneNumber) {
    struct Case {
        const char* label;
        std::optional<std::string> one, two;
        const char *after1, *after2;
        bool refused;
    };
    const Case cases[] = {
        {"both new", "3", "4", "3", "4", false},
        {"an exchange", "2", "1", "2", "1", false},
        {"the other's old number, the other unchanged", "2", std::nullopt, "1", "2", true},
        {"one given up, the other takes it", std::nullopt, "01", "1", "2", true},
        {"player 1 moves away, player 2 takes its number", "5", "1", "5", "1", false},
        {"nothing given", std::nullopt, std::nullopt, "1", "2", false},
    };
    for (const Case& c : cases) {
        Players p;
        const Players::InfoWritten w = p.changeInfo({{c.one, c.two}, {std::nullopt, std::string(" ")}});
        EXPECT_EQ(p.player(1).number, c.after1) << c.label;
        EXPECT_EQ(p.player(2).number, c.after2) << c.label;
        EXPECT_EQ(w.refused, c.refused) << c.label;
        EXPECT_EQ(p.player(1).name, "Nameless 1") << c.label;
        EXPECT_EQ(p.player(2).name, " ") << c.label;
    }
}

// Two players are the same as long as their numbers, names and kinds are:
// where a battle leaves the soldiers standing is no part of it.
TEST(Players, EqualityIsThatOfTheKindsNotOfTheSoldiers) {
    Players a;
    a.army(1) = catalogueArmy({{"ARC", 20}, {"JES", 5}, {"KNI", 7}});
    Players b = a;
    std::reverse(b.army(1).units.begin(), b.army(1).units.begin() + b.army(1).currentSize);
    b.army(1).unittypes[0].LastCasualties = 3;
    b.army(1).Grow(50);
    EXPECT_TRUE(a == b);
    b.army(1).Rebuild();
    EXPECT_TRUE(a == b);
    EXPECT_EQ(b.army(1).checkInvariants(), "");
    b.player(2).name = "Other";
    EXPECT_FALSE(a == b);
    b = a;
    ASSERT_TRUE(b.army(1).ApplyKind(1, valuesOf(b.army(1).unittypes[1]), 6));
    EXPECT_FALSE(a == b);
    b = a;
    b.army(1).unittypes[2].Abbreviation = "kni";
    EXPECT_FALSE(a == b);
}
