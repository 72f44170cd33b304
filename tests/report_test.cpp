#include <gtest/gtest.h>

#include "EngineTestSupport.h"

using namespace testsupport;

namespace {

Army armyOfKinds(const char* prefix, int kinds) {
    Army a;
    for (int k = 0; k < kinds; ++k)
        add(a, kind(prefix + std::to_string(k), "F", 1, 1, 0, 1, 1), k + 1);
    return a;
}

const std::string separator(44, '_');

}  // namespace

TEST(ReportText, SeparatorIsFortyFourUnderscores) {
    EXPECT_EQ(Battle::Separator, separator);
}

TEST(ReportHeader, WritesTitlesArmiesAndSeparatorInStep) {
    struct Case {
        int kindsI, kindsII, separatorLine;
    } cases[] = {{2, 5, 9}, {5, 2, 9}, {1, 1, 5}, {0, 3, 7}, {40, 1, 44}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.kindsI) + " and " + std::to_string(c.kindsII) + " kinds");
        Army I = armyOfKinds("Left ", c.kindsI), II = armyOfKinds("Right ", c.kindsII);
        StringReport r;
        Battle b(&r);
        b.ReportHeader(I, II);
        const char* titles[2] = {"BATLLE:   SIDE I", "BATLLE:   SIDE II"};
        const char* wizards[2] = {"Wizard 1 : Nameless 1", "Wizard 2 : Nameless 2"};
        const Army* armies[2] = {&I, &II};
        for (int column = 0; column < 2; ++column) {
            EXPECT_EQ(r.line(column, 0), titles[column]);
            EXPECT_EQ(r.line(column, 1), wizards[column]);
            EXPECT_EQ(r.line(column, 2), "");
            EXPECT_EQ(r.line(column, 3), "ARMY:");
            const Army& a = *armies[column];
            // An army without kinds still lists its free first slot.
            for (int32_t k = 0; k <= a.currentType; ++k)
                EXPECT_EQ(r.line(column, 4 + k),
                          a.unittypes[k].Fullname + "      :     " + std::to_string(a.unittypes[k].Number));
            for (int32_t i = 4 + a.currentType + 1; i < c.separatorLine; ++i)
                EXPECT_EQ(r.line(column, i), "") << "line " << i;
            EXPECT_EQ(r.line(column, c.separatorLine), separator);
            EXPECT_EQ(r.columns[column].size(), static_cast<size_t>(c.separatorLine + 1));
        }
        EXPECT_EQ(b.LineI, c.separatorLine + 1);
        EXPECT_EQ(b.LineII, c.separatorLine + 1);
    }
}

TEST(ReportHeader, CopiesPlayerTextsAndClearsWholeColumns) {
    Army I = armyOfKinds("Left ", 1), II = armyOfKinds("Right ", 1);
    StringReport r;
    r.numbers[1] = "2";
    r.names[1] = "The Grey";
    r.names[0] = "";
    for (int column = 0; column < 2; ++column)
        for (int i = 0; i < 400; ++i)
            r.setLine(column, i, "old text");
    Battle b(&r);
    b.ReportHeader(I, II);
    EXPECT_EQ(r.line(1, 1), "Wizard 2 : The Grey");
    EXPECT_EQ(r.line(0, 1), "Wizard 1 : ");
    for (int column = 0; column < 2; ++column)
        for (int i = 0; i < 400; ++i)
            EXPECT_NE(r.line(column, i), "old text") << "column " << column << " line " << i;
}

TEST(ReportCasualties, WritesBlocksThatStartOnTheSameLine) {
    Army I = catalogueArmy({{"TRI", 5}, {"ARC", 5}});
    Army II = catalogueArmy({{"WRI", 10}, {"PIK", 4}, {"JES", 2}, {"KNI", 3}});
    StringReport r;
    Battle b(&r);
    b.ReportHeader(I, II);
    const int32_t start = b.LineI;
    ASSERT_EQ(start, 9);
    II.unittypes[0].PhaseCasualties = 3;
    II.unittypes[0].BattleCasualties = 7;
    II.unittypes[2].PhaseCasualties = 1;
    II.unittypes[2].BattleCasualties = 1;
    II.unittypes[3].PhaseCasualties = 2;
    II.unittypes[3].BattleCasualties = 2;
    b.ReportCasualties(I, II, "1", "Mounted");
    const std::string title = "Round 1 Mounted Combat - Casualties:";
    const std::vector<std::string> left = {"", title, " None", "", ""};
    const std::vector<std::string> right = {"", title, " Wolf Riders : 3      (Total = 7)",
                                            " Jesters : 1      (Total = 1)", " Knights : 2      (Total = 2)"};
    for (size_t i = 0; i < left.size(); ++i) {
        EXPECT_EQ(r.line(0, start + static_cast<int>(i)), left[i]) << "left line " << start + i;
        EXPECT_EQ(r.line(1, start + static_cast<int>(i)), right[i]) << "right line " << start + i;
    }
    EXPECT_EQ(b.LineI, start + 5);
    EXPECT_EQ(b.LineII, start + 5);

    // A later round's general phase has no name: two blanks in its title.
    for (int32_t k = 0; k <= II.currentType; ++k)
        II.unittypes[k].PhaseCasualties = 0;
    I.unittypes[1].PhaseCasualties = 4;
    I.unittypes[1].BattleCasualties = 4;
    b.ReportCasualties(I, II, "2", "");
    EXPECT_EQ(r.line(0, start + 6), "Round 2  Combat - Casualties:");
    EXPECT_EQ(r.line(1, start + 6), "Round 2  Combat - Casualties:");
    EXPECT_EQ(r.line(0, start + 7), " Archers : 4      (Total = 4)");
    EXPECT_EQ(r.line(1, start + 7), " None");
    EXPECT_EQ(b.LineI, start + 8);
    EXPECT_EQ(b.LineII, start + 8);
}

TEST(ReportUnitsLeft, ListsEveryKindWithItsUnitsLeft) {
    Army I = catalogueArmy({{"TRI", 12}, {"ARC", 5}}), II = catalogueArmy({{"WRI", 10}});
    I.unittypes[0].LastCasualties = 12;
    I.unittypes[1].LastCasualties = 0;
    II.unittypes[0].LastCasualties = 3;
    StringReport r;
    Battle b(&r);
    b.ReportHeader(I, II);
    const int32_t start = b.LineI;
    b.ReportUnitsLeft(I, II);
    const std::vector<std::string> left = {"", separator, "UNITS LEFT:", "Tribesmen    :     0", "Archers    :     5"};
    const std::vector<std::string> right = {"", separator, "UNITS LEFT:", "Wolf Riders    :     7", ""};
    for (size_t i = 0; i < left.size(); ++i) {
        EXPECT_EQ(r.line(0, start + static_cast<int>(i)), left[i]);
        EXPECT_EQ(r.line(1, start + static_cast<int>(i)), right[i]);
    }
    EXPECT_EQ(b.LineI, start + 3);  // the list itself moves no counter
    EXPECT_EQ(b.LineII, start + 3);
}

TEST(ReportAverageLeft, RoundsTheAverageLossDown) {
    struct Case {
        int32_t number, simCasualties, runs, shown;
    } cases[] = {{10, 25, 10, 8}, {10, 0, 5, 10}, {12, 36, 3, 0}, {7, 5, 2, 5}, {4, 3, 1, 1}};
    for (const Case& c : cases) {
        Army I = catalogueArmy({{"TRI", c.number}}), II = catalogueArmy({{"WRI", 2}});
        I.unittypes[0].SimCasualties = c.simCasualties;
        StringReport r;
        Battle b(&r);
        b.ReportHeader(I, II);
        const int32_t start = b.LineI;
        b.ReportAverageLeft(I, II, c.runs);
        EXPECT_EQ(r.line(0, start), "");
        EXPECT_EQ(r.line(0, start + 1), "UNITS LEFT:");
        EXPECT_EQ(r.line(0, start + 2), "Tribesmen    :     " + std::to_string(c.shown))
            << c.number << " units, " << c.simCasualties << " losses over " << c.runs;
        EXPECT_EQ(r.line(1, start + 2), "Wolf Riders    :     2");
    }
    // A run count below 1 must not divide by zero.
    Army I = catalogueArmy({{"TRI", 4}}), II = catalogueArmy({{"WRI", 2}});
    StringReport r;
    Battle b(&r);
    b.ReportHeader(I, II);
    b.ReportAverageLeft(I, II, 0);
    EXPECT_EQ(r.line(0, b.LineI), "Tribesmen    :     4");
}

// In a whole battle every block starts on the same line in both columns.
TEST(ReportBattle, ColumnsStayInStep) {
    struct Case {
        std::initializer_list<std::pair<const char*, int32_t>> I, II;
    } cases[] = {
        {{{"ARC", 10}, {"TRI", 20}}, {{"GOD", 1}, {"WRI", 6}, {"PIK", 9}, {"JES", 2}, {"HAC", 4}}},
        {{{"MRI", 3}, {"DEA", 2}, {"CAT", 2}, {"SCO", 1}, {"FAN", 8}, {"SPE", 6}}, {{"PEA", 30}}},
    };
    for (const Case& c : cases) {
        for (uint64_t seed = 1; seed <= 5; ++seed) {
            Army I = catalogueArmy(c.I), II = catalogueArmy(c.II);
            StringReport r;
            Battle b(&r);
            b.setFixedSeed(seed);
            fight(b, I, II);
            const auto& left = r.columns[0];
            const auto& right = r.columns[1];
            auto startsBlock = [](const std::string& l) {
                return l.rfind("Round ", 0) == 0 || l == separator || l == "UNITS LEFT:" || l == "ARMY:";
            };
            int blocks = 0;
            for (size_t i = 0; i < std::max(left.size(), right.size()); ++i) {
                const std::string& a = r.line(0, static_cast<int>(i));
                const std::string& z = r.line(1, static_cast<int>(i));
                if (startsBlock(a) || startsBlock(z)) {
                    EXPECT_EQ(a, z) << "seed " << seed << " line " << i;
                    ++blocks;
                }
            }
            EXPECT_GE(blocks, 5) << "seed " << seed;
            // Every phase block begins with an empty line.
            for (size_t i = 1; i < left.size(); ++i)
                if (left[i].rfind("Round ", 0) == 0) {
                    EXPECT_EQ(left[i - 1], "") << i;
                }
        }
    }
}

TEST(ReportBattle, BattleWithoutColumnsStillBooksCasualties) {
    Army I = catalogueArmy({{"WAR", 2}}), II = catalogueArmy({{"PEA", 10}});
    Battle b;
    b.setFixedSeed(4);
    fight(b, I, II);
    EXPECT_NE(I.unittypes[0].LastCasualties == 2, II.unittypes[0].LastCasualties == 10);
}
