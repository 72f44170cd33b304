#include "Catalogue.h"

#include <string>

namespace Unitcatalogue {
namespace {
// Abbreviation, position, full name, offense, defense, ranged offense,
// attacks, hit points, type; names letter for letter as the game has them.
constexpr std::array<CatalogueRow, rowCount> table = {{
    {"MRI", "M", "Mammoth Riders", 5, 5, 0, 2, 3, "O"},
    {"JRI", "M", "Jungle Riders", 5, 3, 0, 1, 1, "O"},
    {"GOD", "G", "Golden Dragons", 10, 15, 4, 8, 6, "O"},
    {"TUN", "G", "Tunnelers", 3, 2, 0, 1, 1, "O"},
    {"WRI", "M", "Wolf Riders", 4, 2, 0, 1, 1, "O"},
    {"PKN", "M", "Pony Knights", 2, 4, 0, 1, 1, "O"},
    {"HKN", "M", "Holy Knights", 3, 6, 0, 1, 2, "O"},
    {"DEA", "G", "Deamons", 7, 5, 0, 3, 3, "H"},
    {"BOD", "G", "Bone Dragons", 10, 8, 4, 5, 5, "O"},
    {"CAS", "F", "Chameleon Assassins", 3, 9, 0, 1, 2, "O"},
    {"JAV", "R", "Javelin Troops", 1, 1, 3, 1, 1, "O"},
    {"MAX", "F", "Mithril Axemen", 6, 5, 0, 1, 2, "O"},
    {"HAM", "R", "Hammer Troops", 2, 2, 4, 1, 1, "O"},
    {"TRI", "F", "Tribesmen", 1, 2, 0, 1, 1, "O"},
    {"ERI", "M", "Elephant Riders", 4, 6, 0, 2, 3, "O"},
    {"DAR", "R", "Poison Dartmen", 1, 0, 3, 1, 1, "O"},
    {"FAN", "F", "Fanatics", 4, 0, 0, 1, 1, "O"},
    {"WNO", "F", "Warrior Nobles", 5, 5, 0, 1, 2, "O"},
    {"ROC", "R", "Rock Hurlers", 2, 0, 3, 1, 1, "O"},
    {"CLA", "F", "Claymores", 3, 2, 0, 1, 1, "O"},
    {"KSL", "F", "Kobold Slaves", 1, 2, 0, 1, 1, "O"},
    {"PEA", "F", "Peasants", 1, 2, 0, 1, 1, "O"},
    {"SPE", "F", "Spearmen", 1, 3, 0, 1, 1, "O"},
    {"DRI", "F", "Driders", 5, 3, 0, 2, 1, "O"},
    {"CAT", "R", "Catapults", 1, 3, 10, 5, 1, "O"},
    {"HAC", "R", "Hand Crossbowmen", 1, 0, 2, 1, 1, "O"},
    {"ETR", "F", "Elite Troopers", 4, 7, 0, 1, 2, "O"},
    {"MER", "F", "Mercenaries", 2, 4, 0, 1, 1, "O"},
    {"RAI", "M", "Raiders", 3, 2, 0, 1, 1, "O"},
    {"SCI", "F", "Scimitarers", 2, 2, 0, 1, 1, "O"},
    {"COM", "F", "Commoners", 1, 2, 0, 1, 1, "O"},
    {"HAR", "R", "Harpooners", 1, 2, 3, 1, 1, "O"},
    {"SHU", "F", "Sacred Hunters", 7, 4, 0, 1, 2, "O"},
    {"JES", "B", "Jesters", 0, 1, 0, 1, 1, "O"},
    {"MIN", "B", "Minstrels", 0, 1, 0, 1, 1, "O"},
    {"WDR", "M", "War Dog Riders", 4, 3, 0, 1, 1, "O"},
    {"SWO", "F", "Swordsmen", 2, 2, 0, 1, 1, "O"},
    {"PIK", "F", "Pikemen", 2, 4, 0, 1, 1, "O"},
    {"MGU", "F", "Mithril Guardians", 4, 5, 0, 1, 2, "O"},
    {"BES", "F", "Berserkers", 4, 0, 0, 1, 1, "O"},
    {"ARC", "R", "Archers", 1, 0, 2, 1, 1, "O"},
    {"SLI", "R", "Slingers", 1, 0, 3, 1, 1, "O"},
    {"XBO", "R", "Crossbowmen", 1, 0, 3, 1, 1, "O"},
    {"CAV", "M", "Cavalry", 3, 2, 0, 1, 1, "O"},
    {"KNI", "M", "Knights", 4, 4, 0, 1, 2, "O"},
    {"MKN", "M", "Mithril Knigths", 5, 7, 0, 1, 2, "O"},
    {"SCO", "B", "Scouts", 0, 1, 0, 1, 1, "O"},
    {"DWA", "F", "Dual Warriors", 3, 2, 0, 1, 1, "O"},
    {"CLE", "B", "Clerics", 1, 3, 0, 1, 1, "O"},
    {"APP", "B", "Wizard Apprentices", 4, 2, 1, 1, 1, "O"},
    {"BUI", "B", "Builders", 0, 1, 0, 1, 1, "O"},
    {"MIL", "F", "Militia", 1, 2, 0, 1, 1, "O"},
    {"AXE", "F", "Axemen", 3, 1, 0, 1, 1, "O"},
    {"BLD", "G", "Black Dragons", 15, 10, 5, 8, 8, "O"},
    {"BDR", "G", "Bronze Dragons", 8, 10, 3, 5, 4, "O"},
    {"GON", "G", "Guardians of Nature", 5, 7, 0, 3, 2, "O"},
    {"PHA", "G", "Phantoms", 2, 3, 0, 1, 1, "S"},
    {"SPR", "G", "Sprites", 1, 2, 0, 1, 1, "S"},
    {"SGL", "G", "Sand Golems", 1, 2, 0, 1, 1, "S"},
    {"AEL", "G", "Air Elementals", 4, 7, 0, 3, 4, "S"},
    {"BAL", "G", "Balrogs", 10, 4, 0, 3, 4, "S"},
    {"EEL", "G", "Earth Elementals", 4, 7, 0, 3, 4, "S"},
    {"FEL", "F", "Fire Elementals", 9, 6, 3, 3, 4, "S"},
    {"WEL", "F", "Water Elementals", 4, 7, 0, 3, 4, "S"},
    {"VAM", "G", "Vampires", 8, 8, 0, 2, 4, "U"},
    {"ZOM", "F", "Zombies", 4, 2, 0, 1, 2, "U"},
    {"DRA", "G", "Dracoliches", 12, 10, 4, 3, 5, "U"},
    {"SKE", "F", "Skeletons", 3, 1, 0, 1, 2, "U"},
    {"SSI", "G", "Shadow Sinkers", 3, 3, 0, 1, 1, "U"},
    {"WRA", "G", "Wraiths", 6, 4, 0, 1, 2, "U"},
    {"DSO", "F", "Deserter Soldiers", 2, 3, 0, 1, 1, "H"},
    {"GOU", "F", "Goblin Outcasts", 3, 1, 0, 1, 1, "H"},
    {"LST", "F", "Living Statues", 5, 8, 0, 1, 5, "H"},
    {"SME", "F", "Sharksmen", 4, 1, 0, 2, 1, "H"},
    {"TDI", "G", "Tunnel Diggers", 3, 2, 0, 1, 1, "H"},
    {"THU", "F", "Thugs", 3, 3, 0, 1, 1, "H"},
    {"CGI", "F", "Cavern Giants", 7, 6, 0, 2, 3, "H"},
    {"BGU", "F", "Body Guards", 2, 5, 0, 1, 1, "H"},
    {"BRI", "F", "Brigands", 4, 2, 0, 1, 1, "H"},
    {"DHA", "G", "Dragon Hatchlings", 7, 4, 0, 4, 2, "H"},
    {"FWA", "F", "Flipper Warriors", 2, 2, 0, 1, 1, "H"},
    {"RRA", "M", "Red Raiders", 3, 3, 0, 1, 1, "H"},
    {"HBO", "R", "Hired Bowmen", 1, 0, 3, 1, 1, "H"},
    {"WMO", "G", "Winged Monkies", 2, 2, 0, 1, 1, "H"},
    {"FBO", "F", "Fishing Boats", 0, 2, 0, 1, 1, "O"},
    {"FDR", "F", "Fishing Dragger", 1, 4, 0, 1, 2, "O"},
    {"FFO", "F", "Floating Fortresses", 20, 20, 0, 10, 15, "O"},
    {"FRI", "F", "Frigates", 6, 8, 0, 2, 5, "O"},
    {"FSK", "F", "Fishing Skiffs", 0, 1, 0, 1, 1, "O"},
    {"GAL", "F", "Galleons", 9, 10, 0, 4, 5, "O"},
    {"LBO", "F", "Longboats", 1, 1, 0, 1, 1, "O"},
    {"SCH", "F", "Schooners", 5, 4, 0, 2, 3, "O"},
    {"TRA", "F", "Transports", 0, 4, 0, 1, 5, "O"},
    {"WAR", "F", "Warships", 13, 11, 0, 5, 10, "O"},
}};
}  // namespace

const std::array<CatalogueRow, rowCount>& rows() {
    return table;
}

const CatalogueRow* find(std::string_view text) {
    if (text.size() != 3)
        return nullptr;
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    for (const CatalogueRow& row : table)
        if (row.Abbreviation == upper)
            return &row;
    return nullptr;
}

KindValues values(const CatalogueRow& row) {
    return {std::string(row.Fullname),
            std::string(row.Abbreviation),
            std::string(row.Position),
            std::string(row.Type),
            double(row.Offense),
            double(row.Defense),
            double(row.Rangedoff),
            row.Attacks,
            row.Hitpoints};
}
}  // namespace Unitcatalogue
