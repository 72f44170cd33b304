#pragma once

#include <array>
#include <string_view>

#include "Units.h"

// One row of the game's built-in unit table.
struct CatalogueRow {
    std::string_view Abbreviation;
    std::string_view Position;
    std::string_view Fullname;
    int Offense;
    int Defense;
    int Rangedoff;
    int Attacks;
    int Hitpoints;
    std::string_view Type;
};

namespace Unitcatalogue {
inline constexpr int rowCount = 94;
const std::array<CatalogueRow, rowCount>& rows();
// The row whose abbreviation equals the text in upper case, or nullptr.
// Nothing is trimmed: a blank makes the text match nothing.
const CatalogueRow* find(std::string_view text);
// The row's values as the add dialog would enter them.
KindValues values(const CatalogueRow& row);
}  // namespace Unitcatalogue
