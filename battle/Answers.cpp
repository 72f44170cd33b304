#include "Answers.h"

#include "battle/ReportText.h"

using nlohmann::json;

namespace {

json playerJson(const Players& players, int player) {
    const Player& p = players.player(player);
    return {{"side", player == 1 ? "I" : "II"}, {"number", p.number}, {"name", p.name}};
}

json trialJson(const NumberTrial& t) {
    return {{"number", t.number}, {"chance", t.chance.value}, {"low", t.chance.low}, {"high", t.chance.high}};
}

std::string upper(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

}  // namespace

std::string MissingArmy(const Players& players, Command command) {
    const int player = players.withoutUnits();
    if (player == 0)
        return {};
    return "Player " + std::to_string(player) +
           (command == Command::Report ? " does not have an army yet. No battle could take place"
                                       : " does not have an army yet. As a result no simulation can be run.");
}

std::string NoUnits(const Players& players) {
    const int player = players.withoutUnits();
    if (player == 0)
        return {};
    return "player " + std::to_string(player) + " (" + players.player(player).name +
           ") has no units; both armies need units for a battle";
}

int PlayerNumbered(const Players& players, int number, std::string* refusal) {
    if (const int player = players.byValue(number))
        return player;
    const Player& a = players.player(1);
    const Player& b = players.player(2);
    *refusal = "no player numbered " + std::to_string(number) + " in the file; its players are " + a.number + " (" +
               a.name + ") and " + b.number + " (" + b.name + ")";
    return 0;
}

std::optional<int32_t> KindAbbreviated(const Players& players, int player, std::string_view abbreviation,
                                       std::string* refusal) {
    const Player& p = players.player(player);
    std::string have;
    for (int32_t k = 0; k <= p.army.currentType; ++k) {
        const std::string& kind = p.army.unittypes[k].Abbreviation;
        if (upper(kind) == upper(abbreviation))
            return k;
        have += (k == 0 ? "" : ", ") + kind;
    }
    *refusal =
        "player " + p.number + " (" + p.name + ") has no kind " + std::string(abbreviation) + "; its kinds are " + have;
    return std::nullopt;
}

json ReportJson(const Players& players, const StringReport& report) {
    json sides = json::array();
    for (int s = 0; s < 2; ++s) {
        json p = playerJson(players, s + 1);
        p["report"] = report.columns[s];
        sides.push_back(std::move(p));
    }
    return {{"players", std::move(sides)}};
}

json SimulationJson(const Players& players, const SimulationResult& result) {
    const int32_t runs = result.runsDone;
    json sides = json::array();
    for (int s = 0; s < 2; ++s) {
        const Army& army = players.army(s + 1);
        const SideResult& side = result.sides[s];
        const Proportion chance = WinChance(side.wins, runs);
        json kinds = json::array();
        for (int32_t k = 0; k <= army.currentType; ++k) {
            const Unittype& kind = army.unittypes[k];
            const Spread& left = side.unitsLeft[k];
            kinds.push_back({{"name", kind.Fullname},
                             {"abbreviation", kind.Abbreviation},
                             {"number", kind.Number},
                             {"averageLeft", AverageLeft(kind, side.casualties[k], runs)},
                             {"mean", left.mean()},
                             {"sd", left.standardDeviation()},
                             {"min", left.min},
                             {"max", left.max}});
        }
        json p = playerJson(players, s + 1);
        p["wins"] = side.wins;
        p["winChance"] = {{"value", chance.value}, {"low", chance.low}, {"high", chance.high}};
        p["kinds"] = std::move(kinds);
        sides.push_back(std::move(p));
    }
    // Strikes as text: they outgrow the numbers a script's JSON reader keeps exactly.
    return {{"runs", runs},
            {"draws", runs - result.sides[0].wins - result.sides[1].wins},
            {"strikes", std::to_string(result.strikes)},
            {"players", std::move(sides)}};
}

json RunJson(const Players& players, const ReplayedRun& run, uint64_t seed) {
    json sides = json::array();
    for (int s = 0; s < 2; ++s) {
        const Army& army = players.army(s + 1);
        json kinds = json::array();
        for (int32_t k = 0; k <= army.currentType; ++k) {
            const Unittype& kind = army.unittypes[k];
            kinds.push_back({{"name", kind.Fullname},
                             {"abbreviation", kind.Abbreviation},
                             {"number", kind.Number},
                             {"left", run.kindsLeft[s][static_cast<size_t>(k)]}});
        }
        json p = playerJson(players, s + 1);
        p["left"] = run.left[s];
        p["kinds"] = std::move(kinds);
        p["report"] = run.report.columns[s];
        sides.push_back(std::move(p));
    }
    return {{"run", run.run + 1},
            {"runs", run.runs},
            {"seed", std::to_string(seed)},
            {"title", run.title},
            {"players", std::move(sides)}};
}

json ForceJson(const Players& players, int player, int32_t kind, const ForceSearchOptions& options,
               const ForceSearchResult& result) {
    const Unittype& searched = players.army(player).unittypes[kind];
    const NumberTrial* answer = result.answer();
    const NumberTrial* lower = result.lower();
    json trials = json::array();
    for (const NumberTrial& t : result.trials) {
        json o = trialJson(t);
        o["battles"] = t.battles;
        o["wins"] = t.wins;
        o["reaches"] = t.reaches;
        o["atCap"] = t.atCap;
        trials.push_back(std::move(o));
    }
    json falls = json::array();
    for (const auto& [a, b] : result.falls)
        falls.push_back({a, b});
    return {{"found", result.found ? json(*result.found) : json(nullptr)},
            {"chance", answer ? answer->chance.value : 0.0},
            {"low", answer ? answer->chance.low : 0.0},
            {"high", answer ? answer->chance.high : 0.0},
            {"number", answer ? json(answer->number) : json(nullptr)},
            {"lower", lower ? trialJson(*lower) : json(nullptr)},
            {"battles", result.battles},
            {"target", options.target},
            {"largest", options.largest},
            {"cap", options.cap},
            // Always given: with it the same search can be run again.
            {"seed", std::to_string(options.seed)},
            {"player", playerJson(players, player)},
            {"kind", {{"abbreviation", searched.Abbreviation}, {"name", searched.Fullname}}},
            {"trials", std::move(trials)},
            {"falls", std::move(falls)}};
}

std::string ForceAnswerText(const Players& players, int player, int32_t kind, const ForceSearchOptions& options,
                            const ForceSearchResult& result, double seconds) {
    const Player& p = players.player(player);
    const Player& enemy = players.player(3 - player);
    const Unittype& searched = p.army.unittypes[kind];
    return ForceText(result, options,
                     {searched.Fullname, searched.Abbreviation, p.number, p.name, enemy.number, enemy.name}, seconds);
}
