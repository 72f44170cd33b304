#pragma once

#include <array>
#include <string>
#include <vector>

#include "army/Army.h"
#include "army/Players.h"
#include "battle/Report.h"
#include "battle/Simulation.h"

// A report as plain text, the same wherever it is kept: copied or saved from
// the results window, or printed by orbsim.

// One side of a simulation as the odds name it: the player's texts and the
// names of its kinds in kind order.
struct OddsSide {
    std::string number;
    std::string name;
    std::vector<std::string> kinds;
};

// What the odds of a simulation are written from; a copy, so that it still
// tells the simulation shown after the armies have changed.
struct SimulationOdds {
    SimulationResult result;
    std::array<OddsSide, 2> sides;
};

// Side I's column, a blank line, side II's column; a column's empty lines at
// its end are dropped.
std::string ColumnsText(const std::vector<std::string>& sideI, const std::vector<std::string>& sideII);
// Each side's chance to win with its interval, and the spread of the units
// left per kind.
std::string OddsText(const SimulationOdds& odds);
// The columns and, after a simulation, a blank line and its odds.
std::string ReportText(const std::vector<std::string>& sideI, const std::vector<std::string>& sideII,
                       const SimulationOdds* odds = nullptr);

// One side's chances as its chart draws them: a step curve of the share of
// battles (in %) in which at least so many of its units were left, from the
// share it won at 0 down to 0 at the axis' top; the axis counts in steps of
// 1, 2 or 5 times a power of ten, at most five, so every label has room.
struct ChanceCurve {
    std::vector<std::pair<double, double>> points;
    int64_t top = 1;
    int64_t step = 1;
};
ChanceCurve ChanceCurveOf(std::vector<int32_t> totalLeft, int32_t armySize);

// Empty report columns headed with both players' numbers and names.
StringReport ReportFor(const Players& players);

// The averaged columns of a simulation, through the engine's own report
// writer: the header and each kind's units left on average. Many runs of a
// large army sum more losses than the engine's 32-bit counters hold, so the
// average is taken here and handed over as the losses of a single run: the
// truncated quotient is the same.
StringReport AveragedReport(const Players& players, const SimulationResult& result);
// A kind's units left on average over the runs done.
int32_t AverageLeft(const Unittype& kind, int64_t casualties, int32_t runs);
// Both sides of a simulation as its odds name them.
SimulationOdds OddsOf(const Players& players, const SimulationResult& result);
// The averaged columns and the odds, as orbsim prints a simulation and the
// results window saves it.
std::string SimulationText(const Players& players, const SimulationResult& result);
