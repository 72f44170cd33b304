#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "army/Army.h"
#include "army/Players.h"

// Army files: both players' numbers, wizard names and every kind of both
// armies, as JSON. A file is checked whole before anything is taken from
// it, by the same rules the unit and army-info dialogs apply, so whatever
// opens can be fought and edited like an army entered by hand. Plain C++:
// the desktop program, orbsim and the browser edition read and write files
// through this one reader and writer. Texts are UTF-8.

namespace armyfile {

inline constexpr const char* Format = "orb-battle-armies";
inline constexpr int Version = 1;

// Far beyond any real army file; keeps a stray huge file out of memory.
inline constexpr int64_t MaxFileBytes = int64_t{16} * 1024 * 1024;
// Real files nest four levels; a deep one would only cost memory and time.
inline constexpr int MaxNesting = 64;

struct KindSetup {
    KindValues values;
    int32_t number = 0;  // units of the kind
};

struct PlayerSetup {
    std::string number;  // as the main window stores it: "07" keeps its zero
    std::string name;
    std::vector<KindSetup> kinds;
};

struct ArmySetup {
    std::array<PlayerSetup, 2> players;
};

// Both players as a file holds them: the kinds in use, in kind order.
ArmySetup SetupOf(const Players& players);

// Empty when the setup keeps every rule of a file, else what breaks first.
std::string Check(const ArmySetup& setup);

std::string ToJson(const ArmySetup& setup);
// On failure *out is untouched and *error (if given) names the problem and
// where it is. Text longer than MaxFileBytes is refused unread.
bool FromJson(std::string_view text, ArmySetup* out, std::string* error);

// Replaces *army with the player's army, built kind by kind in order as the
// add dialog builds it. On failure (a kind no dialog would accept) *army is
// untouched.
bool BuildArmy(const PlayerSetup& player, Army* army);
// Both players from a setup, their armies built; on failure *players is
// untouched and *error says whose army cannot be built.
bool PlayersOf(const ArmySetup& setup, Players* players, std::string* error);

// The length of a UTF-8 text as the dialogs' fields count it: in UTF-16
// code units, so a character beyond the Basic Multilingual Plane takes two.
int64_t FieldLength(std::string_view text);

}  // namespace armyfile
