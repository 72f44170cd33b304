#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "army/Players.h"
#include "battle/Report.h"
#include "battle/Simulation.h"

// "How did that happen?": one battle of a simulation, found from the units
// left that the simulation kept of every run, and fought again from the
// run's own seed by the engine of record: the same battle, draw for draw.
// Runs are counted from 0 here; players count them from 1.

// A battle a player asks for, as seen from one side.
enum class Pick {
    Won,      // the first battle the side won
    Lost,     // the first battle the other side won
    Draw,     // the first battle with both armies gone
    Typical,  // the side's units left nearest their median
    Worst,    // the fewest of the side's units left, the first such battle
    Best,     // the most of the side's units left, the first such battle
};

// A pick by its word: won, lost, draw, typical, worst or best.
std::optional<Pick> PickNamed(std::string_view word);

// The run picked; nothing, with *why in the player's words ("no battle of the
// 200 ended with side II winning"), when none fits.
std::optional<int32_t> PickRun(const SimulationResult& result, int side, Pick pick, std::string* why);
// A run in which the side kept exactly `units` units, or else the count that
// occurred nearest to it (the smaller of two as near); the first such run.
std::optional<int32_t> RunWithUnitsLeft(const SimulationResult& result, int side, int32_t units);

// A run fought again.
struct ReplayedRun {
    int32_t run = 0;
    int32_t runs = 0;  // of the simulation
    StringReport report;
    // Per side, each kind's units left, and all of them.
    std::array<std::vector<int32_t>, 2> kindsLeft;
    std::array<int32_t, 2> left{};
    // "Battle 412 of 999: side I won with 12 units left".
    std::string title;
    // The title, a blank line and the report's columns: what is copied,
    // saved and printed.
    std::string text;
};
ReplayedRun ReplayRun(Players players, uint64_t seed, int32_t run, int32_t runs);
