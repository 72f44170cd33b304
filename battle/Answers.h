#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "army/Players.h"
#include "battle/ForceSearch.h"
#include "battle/Replay.h"
#include "battle/Report.h"
#include "battle/Simulation.h"

// What the armies' battles answer, written once for every front end: the
// refusals before a battle, and a battle, a simulation and a force search as
// JSON. orbsim prints these objects; the browser binding hands them to the
// page with what the page needs beside them.

// The main window's refusal when an army has no units, player 1 asked
// first; empty when both have units.
enum class Command { Report, Simulation };
std::string MissingArmy(const Players& players, Command command);
// The same refusal naming the wizard, as an army file's battle is refused.
std::string NoUnits(const Players& players);

// The player whose number reads as `number`; 0, with the refusal, when none.
int PlayerNumbered(const Players& players, int number, std::string* refusal);
// The kind of a player with an abbreviation in any case; nothing, with the
// refusal naming the kinds there are, when none.
std::optional<int32_t> KindAbbreviated(const Players& players, int player, std::string_view abbreviation,
                                       std::string* refusal);

// Both report columns under the players.
nlohmann::json ReportJson(const Players& players, const StringReport& report);
// The runs done, the draws, the strikes, and per player the wins, the win
// chance and per kind its units, the average left and their spread.
nlohmann::json SimulationJson(const Players& players, const SimulationResult& result);
// A battle of a simulation fought again: its number (from 1) and title, and
// per player the units left, all and per kind, with the report column.
nlohmann::json RunJson(const Players& players, const ReplayedRun& run, uint64_t seed);
// The number found with its chance and the next lower number's, every number
// tried, and what was searched.
nlohmann::json ForceJson(const Players& players, int player, int32_t kind, const ForceSearchOptions& options,
                         const ForceSearchResult& result);
// The answer in words, as orbsim prints it.
std::string ForceAnswerText(const Players& players, int player, int32_t kind, const ForceSearchOptions& options,
                            const ForceSearchResult& result, double seconds);
