#include "army/Catalogue.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

TEST(CatalogueTable, RowsAreWellFormedAndCountedAsTheGameHasThem) {
    const auto& rows = Unitcatalogue::rows();
    ASSERT_EQ(rows.size(), 94u);
    std::set<std::string_view> abbreviations, names;
    std::map<std::string_view, int> positions, types;
    std::set<std::string_view> shootersOutsideR;
    for (const CatalogueRow& r : rows) {
        SCOPED_TRACE(std::string(r.Abbreviation));
        EXPECT_EQ(r.Abbreviation.size(), 3u);
        for (char c : r.Abbreviation)
            EXPECT_TRUE(c >= 'A' && c <= 'Z');
        EXPECT_TRUE(abbreviations.insert(r.Abbreviation).second) << "abbreviation repeated";
        EXPECT_TRUE(names.insert(r.Fullname).second) << "name repeated";
        EXPECT_FALSE(r.Fullname.empty());
        EXPECT_LE(r.Fullname.size(), 28u);  // the add dialog's name field
        EXPECT_TRUE(r.Offense >= 0 && r.Offense <= 20 && r.Defense >= 0 && r.Defense <= 20);
        EXPECT_TRUE(r.Rangedoff >= 0 && r.Rangedoff <= 10);
        EXPECT_TRUE(r.Attacks >= 1 && r.Attacks <= 10 && r.Hitpoints >= 1 && r.Hitpoints <= 15);
        ++positions[r.Position];
        ++types[r.Type];
        if (r.Rangedoff > 0 && r.Position != "R")
            shootersOutsideR.insert(r.Abbreviation);
    }
    EXPECT_EQ(positions, (std::map<std::string_view, int>{{"F", 45}, {"G", 20}, {"M", 12}, {"R", 11}, {"B", 6}}));
    EXPECT_EQ(types, (std::map<std::string_view, int>{{"O", 65}, {"H", 15}, {"S", 8}, {"U", 6}}));
    EXPECT_EQ(shootersOutsideR, (std::set<std::string_view>{"GOD", "BOD", "APP", "BLD", "BDR", "FEL", "DRA"}));
    EXPECT_EQ(rows.front().Abbreviation, "MRI");
    EXPECT_EQ(rows.back().Abbreviation, "WAR");
}

struct Lookup {
    const char* typed;
    const char* abbreviation;  // nullptr: no match
    const char* position;
    const char* name;
    int off, def, rof, att, hit;
    const char* type;
    friend void PrintTo(const Lookup& c, std::ostream* os) { *os << '"' << c.typed << '"'; }
};

class CatalogueFind : public testing::TestWithParam<Lookup> {};

TEST_P(CatalogueFind, MatchesTheWholeTextInUpperCase) {
    const Lookup& l = GetParam();
    const CatalogueRow* row = Unitcatalogue::find(l.typed);
    if (!l.abbreviation) {
        EXPECT_EQ(row, nullptr);
        return;
    }
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->Abbreviation, l.abbreviation);
    EXPECT_EQ(row->Position, l.position);
    EXPECT_EQ(row->Fullname, l.name);
    EXPECT_EQ(row->Offense, l.off);
    EXPECT_EQ(row->Defense, l.def);
    EXPECT_EQ(row->Rangedoff, l.rof);
    EXPECT_EQ(row->Attacks, l.att);
    EXPECT_EQ(row->Hitpoints, l.hit);
    EXPECT_EQ(row->Type, l.type);
}

INSTANTIATE_TEST_SUITE_P(Cases, CatalogueFind,
                         testing::Values(Lookup{"MRI", "MRI", "M", "Mammoth Riders", 5, 5, 0, 2, 3, "O"},
                                         Lookup{"mri", "MRI", "M", "Mammoth Riders", 5, 5, 0, 2, 3, "O"},
                                         Lookup{"MrI", "MRI", "M", "Mammoth Riders", 5, 5, 0, 2, 3, "O"},
                                         Lookup{"DRA", "DRA", "G", "Dracoliches", 12, 10, 4, 3, 5, "U"},
                                         Lookup{"FFO", "FFO", "F", "Floating Fortresses", 20, 20, 0, 10, 15, "O"},
                                         Lookup{"CAT", "CAT", "R", "Catapults", 1, 3, 10, 5, 1, "O"},
                                         Lookup{"JES", "JES", "B", "Jesters", 0, 1, 0, 1, 1, "O"},
                                         Lookup{"LBO", "LBO", "F", "Longboats", 1, 1, 0, 1, 1, "O"},
                                         Lookup{"MKN", "MKN", "M", "Mithril Knigths", 5, 7, 0, 1, 2, "O"},
                                         Lookup{"WAR", "WAR", "F", "Warships", 13, 11, 0, 5, 10, "O"},
                                         Lookup{"MR", nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr},
                                         Lookup{"", nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr},
                                         Lookup{" MR", nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr},
                                         Lookup{"MRI ", nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr},
                                         Lookup{"MRIX", nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr},
                                         Lookup{"XYZ", nullptr, nullptr, nullptr, 0, 0, 0, 0, 0, nullptr}));

TEST(CatalogueFindAll, EveryRowIsFoundByItsOwnAbbreviation) {
    for (const CatalogueRow& r : Unitcatalogue::rows()) {
        EXPECT_EQ(Unitcatalogue::find(r.Abbreviation), &r) << r.Abbreviation;
        std::string lower(r.Abbreviation);
        for (char& c : lower)
            c = static_cast<char>(c - 'A' + 'a');
        EXPECT_EQ(Unitcatalogue::find(lower), &r) << lower;
    }
}
