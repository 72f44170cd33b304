// The browser edition's binding: every call takes and returns JSON text, so
// the JavaScript side only moves strings between threads and never holds a
// rule, a limit, a text or a statistic of its own. 64-bit seeds and sums
// travel as decimal text or inside JSON that only this side reads.
//
// Every call catches what the engine throws and answers {"ok":false,
// "error":...}: an exception that escaped would leave the module unusable.

#include <emscripten/bind.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "army/Army.h"
#include "army/Catalogue.h"
#include "army/Players.h"
#include "battle/Answers.h"
#include "battle/Battle.h"
#include "battle/ForceSearch.h"
#include "battle/Report.h"
#include "battle/ReportText.h"
#include "battle/Simulation.h"
#include "files/ArmyFile.h"
#include "rules/DialogRules.h"

namespace {

using nlohmann::json;

// A refusal whose message is shown as it is.
struct Refused {
    std::string message;
};

// As orbsim: each run keeps a few words of results until the end.
constexpr int64_t MaxRuns = 10'000'000;

std::string failure(const std::string& message) {
    return json{{"ok", false}, {"error", message}}.dump();
}

// Runs a call; whatever it throws becomes an answer.
template <class F>
std::string guarded(F&& call) {
    try {
        return call();
    } catch (const Refused& r) {
        return failure(r.message);
    } catch (const std::bad_alloc&) {
        return failure("out of memory");
    } catch (const std::exception& e) {
        return failure(std::string("the battle could not be fought: ") + e.what());
    }
}

uint64_t parseSeed(const std::string& text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw Refused{"the seed must be a whole number from 0 to 18446744073709551615, not \"" + text + "\""};
    return value;
}

json rowJson(const CatalogueRow& row) {
    return {{"abbreviation", row.Abbreviation}, {"name", row.Fullname},
            {"position", row.Position},         {"type", row.Type},
            {"offense", row.Offense},           {"defense", row.Defense},
            {"rangedoff", row.Rangedoff},       {"attacks", row.Attacks},
            {"hitpoints", row.Hitpoints}};
}

// An army file read and both players' armies built, as orbsim prepares a battle.
std::unique_ptr<Players> prepare(const std::string& text) {
    armyfile::ArmySetup setup;
    auto players = std::make_unique<Players>();
    std::string error;
    if (!armyfile::FromJson(text, &setup, &error) || !armyfile::PlayersOf(setup, players.get(), &error))
        throw Refused{error};
    if (const std::string missing = NoUnits(*players); !missing.empty())
        throw Refused{missing};
    return players;
}

// The armies of the last file read: the workers fight many slices of one
// simulation, and building the largest armies anew for each would cost
// more than a slice of small battles.
int64_t preparedGeneration = 0;  // counts the files read by prepared()

const Players& prepared(const std::string& text) {
    static std::string lastText;
    static std::unique_ptr<Players> last;
    if (!last || text != lastText) {
        last.reset();
        lastText.clear();
        last = prepare(text);
        lastText = text;
        ++preparedGeneration;
    }
    return *last;
}

// ---- Parts of a simulation, exactly as fought ---------------------------------

json spreadJson(const Spread& s) {
    return {s.count, s.sum, s.sumSquares, s.min, s.max};
}

Spread spreadOf(const json& j) {
    Spread s;
    s.count = j.at(0).get<decltype(s.count)>();
    s.sum = j.at(1).get<decltype(s.sum)>();
    s.sumSquares = j.at(2).get<decltype(s.sumSquares)>();
    s.min = j.at(3).get<decltype(s.min)>();
    s.max = j.at(4).get<decltype(s.max)>();
    return s;
}

json partJson(const SimulationResult& r, int32_t kinds0, int32_t kinds1) {
    json sides = json::array();
    const int32_t kinds[2] = {kinds0, kinds1};
    for (int s = 0; s < 2; ++s) {
        const SideResult& side = r.sides[s];
        json casualties = json::array(), left = json::array();
        for (int32_t k = 0; k < kinds[s]; ++k) {
            casualties.push_back(side.casualties[k]);
            left.push_back(spreadJson(side.unitsLeft[k]));
        }
        sides.push_back(
            {{"casualties", casualties}, {"unitsLeft", left}, {"totalLeft", side.totalLeft}, {"wins", side.wins}});
    }
    return {{"ok", true},           {"firstRun", r.firstRun}, {"runsDone", r.runsDone}, {"cancelled", r.cancelled},
            {"strikes", r.strikes}, {"seed", r.seed},         {"fought", r.fought},     {"sides", sides}};
}

SimulationResult partOf(const json& j) {
    SimulationResult r;
    r.firstRun = j.at("firstRun").get<int32_t>();
    r.runsDone = j.at("runsDone").get<int32_t>();
    r.cancelled = j.at("cancelled").get<bool>();
    r.strikes = j.at("strikes").get<uint64_t>();
    r.seed = j.at("seed").get<uint64_t>();
    r.fought = j.at("fought").get<std::vector<std::pair<int32_t, int32_t>>>();
    for (int s = 0; s < 2; ++s) {
        const json& side = j.at("sides").at(s);
        SideResult& out = r.sides[s];
        const json& casualties = side.at("casualties");
        for (size_t k = 0; k < casualties.size() && k < Army::maxTypes; ++k) {
            out.casualties[k] = casualties[k].get<int64_t>();
            out.unitsLeft[k] = spreadOf(side.at("unitsLeft").at(k));
        }
        out.totalLeft = side.at("totalLeft").get<std::vector<int32_t>>();
        out.wins = side.at("wins").get<int64_t>();
    }
    return r;
}

// ---- Force search -----------------------------------------------------------

// The kind a search varies: by index, or by abbreviation in any case as
// orbsim --find names it.
int32_t searchedKind(const Players& p, int side, const json& kind) {
    const Army& army = p.army(side + 1);
    if (kind.is_number_integer()) {
        const auto k = kind.get<int64_t>();
        if (k >= 0 && k <= army.currentType && !army.unittypes[k].Fullname.empty())
            return static_cast<int32_t>(k);
    }
    std::string refusal;
    const std::optional<int32_t> found =
        KindAbbreviated(p, side + 1, kind.is_string() ? kind.get<std::string>() : kind.dump(), &refusal);
    if (!found)
        throw Refused{refusal};
    return *found;
}

int sideOf(const json& request) {
    const json& side = request.at("side");
    if (!side.is_number_integer() || (side.get<int64_t>() != 0 && side.get<int64_t>() != 1))
        throw Refused{"the side must be 0 (player 1) or 1 (player 2)"};
    return side.get<int>();
}

ForceSearchOptions searchOptions(const json& request) {
    ForceSearchOptions o;
    o.target = request.value("target", 0.9);
    // The last digit of 0.999 may round either way; 99.9% must pass.
    if (!(o.target >= 0.5 && o.target <= 0.999 + 1e-12))
        throw Refused{"the wanted win chance must be a share from 0.5 to 0.999 (50% to 99.9%)"};
    const json largest = request.value("largest", json(dialogrules::MaxUnits));
    if (!largest.is_number_integer() || largest.get<int64_t>() < 1 || largest.get<int64_t>() > dialogrules::MaxUnits)
        throw Refused{"the largest number must be a whole number from 1 to " + std::to_string(dialogrules::MaxUnits)};
    o.largest = largest.get<int32_t>();
    o.seed = parseSeed(request.at("seed").get<std::string>());
    return o;
}

// The answer as orbsim --find --json gives it, with the lines and the text.
json searchAnswer(const Players& p, int side, int32_t kind, const ForceSearchOptions& search,
                  const ForceSearchResult& result, double seconds) {
    json root = ForceJson(p, side + 1, kind, search, result);
    root["ok"] = true;
    root["done"] = true;
    root["cancelled"] = result.cancelled;
    root["lines"] = DescribeForce(result, search, p.army(side + 1).unittypes[kind].Fullname, seconds);
    root["text"] = ForceAnswerText(p, side + 1, kind, search, result, seconds);
    return root;
}

}  // namespace

// ---- Cheap calls --------------------------------------------------------------

std::string catalogue() {
    json rows = json::array();
    for (const CatalogueRow& row : Unitcatalogue::rows())
        rows.push_back(rowJson(row));
    return rows.dump();
}

std::string lookup(const std::string& abbreviation) {
    const CatalogueRow* row = Unitcatalogue::find(abbreviation);
    return row ? rowJson(*row).dump() : "null";
}

std::string limits() {
    using namespace dialogrules;
    return json{{"maxUnits", MaxUnits},
                {"maxValue", MaxValue},
                {"maxPlayerNumber", MaxPlayerNumber},
                {"playerNumberDigits", PlayerNumberDigits},
                {"maxNameLength", MaxNameLength},
                {"addNameLength", AddNameLength},
                {"maxAbbreviationLength", MaxAbbreviationLength},
                {"maxKinds", MaxKinds},
                {"maxFileBytes", armyfile::MaxFileBytes}}
        .dump();
}

std::string dialogInteger(const std::string& text) {
    const std::optional<int> n = DialogInteger(text);
    return n ? std::to_string(*n) : "null";
}

std::string readArmies(const std::string& text) {
    return guarded([&] {
        armyfile::ArmySetup setup;
        std::string error;
        if (!armyfile::FromJson(text, &setup, &error))
            return failure(error);
        return json{{"ok", true}, {"armies", json::parse(armyfile::ToJson(setup))}}.dump();
    });
}

// The armies as the file's JSON object, checked and written by the file's
// own writer, so that what is saved opens again.
std::string writeArmies(const std::string& armies) {
    return guarded([&] {
        armyfile::ArmySetup setup;
        std::string error;
        if (!armyfile::FromJson(armies, &setup, &error))
            return failure(error);
        return json{{"ok", true}, {"text", armyfile::ToJson(setup)}}.dump();
    });
}

// Whether a simulation can be fought, with the message orbsim gives when not.
std::string checkBattle(const std::string& armies, const std::string& runs) {
    return guarded([&] {
        prepared(armies);
        int64_t n = 0;
        const auto [end, error] = std::from_chars(runs.data(), runs.data() + runs.size(), n);
        if (runs.empty() || error != std::errc() || end != runs.data() + runs.size() || n < 1 || n > MaxRuns)
            throw Refused{"the number of runs must be a whole number from 1 to " + std::to_string(MaxRuns) +
                          ", not \"" + runs + "\""};
        return json{{"ok", true}}.dump();
    });
}

// The main window's guard before a battle ("report") or a simulation (any
// other command), in the desktop's words.
std::string battleGuard(const std::string& armies, const std::string& command) {
    return guarded([&] {
        armyfile::ArmySetup setup;
        Players players;
        std::string error;
        if (!armyfile::FromJson(armies, &setup, &error) || !armyfile::PlayersOf(setup, &players, &error))
            return failure(error);
        error = MissingArmy(players, command == "report" ? Command::Report : Command::Simulation);
        return error.empty() ? json{{"ok", true}}.dump() : failure(error);
    });
}

// ---- Battles ----------------------------------------------------------------------

// One battle with its full report, as orbsim --report fights it.
std::string report(const std::string& armies, const std::string& seed) {
    return guarded([&] {
        // A copy: the battle reorders and kills the units it fights.
        auto p = std::make_unique<Players>(prepared(armies));
        StringReport report = ReportFor(*p);
        Battle battle(&report);
        battle.setFixedSeed(parseSeed(seed));
        Battle::PrepareLine(p->army(1));
        Battle::PrepareLine(p->army(2));
        battle.FightBattle(p->army(1), p->army(2));
        json root = ReportJson(*p, report);
        root["ok"] = true;
        root["text"] = ReportText(report.columns[0], report.columns[1]);
        return root.dump();
    });
}

// Runs [first, last) of a seeded simulation: one part for finishSimulation.
// The worker keeps its fighter for the armies' next slices.
std::string simulateRuns(const std::string& armies, const std::string& seed, int32_t first, int32_t last) {
    return guarded([&] {
        const Players& p = prepared(armies);
        static std::unique_ptr<RunFighter> fighter;
        static int64_t fighterOf = -1;
        if (!fighter || fighterOf != preparedGeneration) {
            fighter.reset();
            fighter = std::make_unique<RunFighter>(p.army(1), p.army(2));
            fighterOf = preparedGeneration;
        }
        const SimulationResult r = fighter->Fight(parseSeed(seed), first, last);
        return partJson(r, p.army(1).currentType + 1, p.army(2).currentType + 1).dump();
    });
}

// The parts merged into the whole simulation of `runs` runs, as orbsim
// --json gives it, with the averaged report's columns, the per-run totals
// the charts are drawn from, and the text orbsim prints.
std::string finishSimulation(const std::string& armies, int32_t runs, const std::string& partsText) {
    return guarded([&] {
        const Players& p = prepared(armies);
        std::vector<SimulationResult> parts;
        for (const json& part : json::parse(partsText))
            parts.push_back(partOf(part));
        const SimulationResult result = MergeRuns(std::move(parts), runs);
        if (result.runsDone < 1)
            return json{{"ok", true}, {"asked", runs}, {"runs", 0}, {"cancelled", true}}.dump();
        const StringReport report = AveragedReport(p, result);
        json root = SimulationJson(p, result);
        root["ok"] = true;
        root["asked"] = runs;
        root["cancelled"] = result.cancelled;
        for (int s = 0; s < 2; ++s) {
            root["players"][s]["report"] = report.columns[s];
            root["players"][s]["totalLeft"] = result.sides[s].totalLeft;
            // The "at least this many units left" chart, as the results window draws it.
            const ChanceCurve curve = ChanceCurveOf(result.sides[s].totalLeft, p.army(s + 1).currentSize);
            root["players"][s]["curve"] = {{"points", curve.points}, {"top", curve.top}, {"step", curve.step}};
        }
        // The runs the totals belong to: one range unless a cancel left gaps.
        root["fought"] = result.fought;
        // What "Copy Report" copies: the columns without the odds.
        root["columnsText"] = ColumnsText(report.columns[0], report.columns[1]);
        root["text"] = SimulationText(p, result);
        return root.dump();
    });
}

// Battle `run` (from 0) of the simulation of `runs` runs seeded `seed`,
// fought again with its full report, as orbsim --show-run --json gives it,
// with its text.
std::string showRun(const std::string& armies, const std::string& seed, int32_t run, int32_t runs) {
    return guarded([&] {
        const Players& p = prepared(armies);
        if (run < 0 || run >= runs)
            throw Refused{"the battle must be one of the simulation's " + std::to_string(runs)};
        const uint64_t s = parseSeed(seed);
        const ReplayedRun replayed = ReplayRun(p, s, run, runs);
        json root = RunJson(p, replayed, s);
        root["ok"] = true;
        root["text"] = replayed.text;
        return root.dump();
    });
}

// The battle of a simulation a player asks for, from the units left it
// kept per run ("totalLeft" per side and the runs "fought"): by "pick" (won,
// lost, draw, typical, worst, best) for a side, or the battle with "units"
// of that side's units left or the nearest count that occurred.
std::string pickRun(const std::string& requestText) {
    return guarded([&] {
        const json request = json::parse(requestText);
        const int side = sideOf(request);
        SimulationResult result;
        for (int s = 0; s < 2; ++s)
            result.sides[s].totalLeft = request.at("totalLeft").at(s).get<std::vector<int32_t>>();
        result.fought = request.at("fought").get<std::vector<std::pair<int32_t, int32_t>>>();
        std::string why;
        std::optional<int32_t> run;
        if (request.contains("units")) {
            run = RunWithUnitsLeft(result, side, request.at("units").get<int32_t>());
        } else {
            const std::string word = request.at("pick").get<std::string>();
            const std::optional<Pick> pick = PickNamed(word);
            if (!pick)
                throw Refused{"no battle is picked by \"" + word + "\""};
            run = PickRun(result, side, *pick, &why);
        }
        if (!run)
            return failure(why.empty() ? "no battle was fought" : why);
        return json{{"ok", true}, {"run", *run}}.dump();
    });
}

// Runs [first, last) of one batch of a force search: the armies with the
// searched kind set to `number` as the modify dialog sets it, fought as the
// search's own fighter fights a batch of that seed.
std::string forceRuns(const std::string& armies, const std::string& requestText) {
    return guarded([&] {
        const Players& p = prepared(armies);
        const json request = json::parse(requestText);
        const int side = sideOf(request);
        const int32_t kind = searchedKind(p, side, request.at("kind"));
        const auto number = request.at("number").get<int32_t>();
        // Kept for the batch's next slices, with the fighter for its armies.
        static std::unique_ptr<Army> varied;
        static std::unique_ptr<RunFighter> fighter;
        static int64_t variedFrom = -1;
        static int variedSide = -1;
        static int32_t variedKind = -1;
        if (!varied || variedFrom != preparedGeneration || variedSide != side || variedKind != kind) {
            fighter.reset();
            varied = std::make_unique<Army>(p.army(side + 1));
            variedFrom = preparedGeneration;
            variedSide = side;
            variedKind = kind;
        }
        if (number != varied->unittypes[kind].Number) {
            fighter.reset();
            if (!varied->ApplyKind(kind, valuesOf(p.army(side + 1).unittypes[kind]), number))
                throw Refused{"the number must be 1 or more"};
        }
        if (!fighter)
            fighter = std::make_unique<RunFighter>(side == 0 ? *varied : p.army(1), side == 1 ? *varied : p.army(2));
        const SimulationResult r =
            fighter->Fight(parseSeed(request.at("seed").get<std::string>()), request.at("first").get<int32_t>(),
                           request.at("last").get<int32_t>());
        return json{{"ok", true}, {"battles", r.runsDone}, {"wins", r.sides[side].wins}}.dump();
    });
}

// One step of a force search: the search replayed over the batches fought so
// far ("batches": number, battles, seed and their outcome). The replay fights
// nothing; at the first batch not yet fought it stops and names it ("need"),
// with the search's progress up to it. Once every batch it asks for is
// known, or when "cancelled" is set, the answer comes as orbsim --find gives
// it. "seconds" is the time the search took, for its last line.
std::string findStep(const std::string& armies, const std::string& requestText) {
    return guarded([&] {
        const Players* p = &prepared(armies);
        const json request = json::parse(requestText);
        const int side = sideOf(request);
        const int32_t kind = searchedKind(*p, side, request.at("kind"));
        if (p->army(2 - side).currentSize < 1)
            throw Refused{"the other side has no units"};
        ForceSearchOptions search = searchOptions(request);
        const json& batches = request.at("batches");
        const bool cancelled = request.value("cancelled", false);

        std::optional<json> need;
        SearchProgress last;
        search.progress = [&](const SearchProgress& progress) {
            if (!need)
                last = progress;
        };
        const BatchFighter cached = [&](int32_t number, int64_t battles, uint64_t seed,
                                        const std::function<void(int64_t)>& fought) -> BatchOutcome {
            const std::string seedText = std::to_string(seed);
            for (const json& b : batches)
                if (b.at("number").get<int32_t>() == number && b.at("battles").get<int64_t>() == battles &&
                    b.at("seed").get<std::string>() == seedText)
                    return {b.at("fought").get<int64_t>(), b.at("wins").get<int64_t>()};
            if (!need && !cancelled) {
                // Has the search report where it stands before this batch.
                if (fought)
                    fought(0);
                need =
                    json{{"number", number},
                         {"battles", battles},
                         {"seed", seedText},
                         {"progress",
                          {{"numbersTried", last.numbersTried}, {"battles", last.battles}, {"current", last.current}}}};
            }
            return {0, 0};  // as a cancelled batch: the search stops here
        };
        const ForceSearchResult result = FindForce(cached, search);
        if (need)
            return json{{"ok", true}, {"done", false}, {"need", *need}}.dump();
        return searchAnswer(*p, side, kind, search, result, request.value("seconds", 0.0)).dump();
    });
}

EMSCRIPTEN_BINDINGS(orb_engine) {
    emscripten::function("catalogue", &catalogue);
    emscripten::function("lookup", &lookup);
    emscripten::function("limits", &limits);
    emscripten::function("dialogInteger", &dialogInteger);
    emscripten::function("readArmies", &readArmies);
    emscripten::function("writeArmies", &writeArmies);
    emscripten::function("checkBattle", &checkBattle);
    emscripten::function("battleGuard", &battleGuard);
    emscripten::function("report", &report);
    emscripten::function("simulateRuns", &simulateRuns);
    emscripten::function("finishSimulation", &finishSimulation);
    emscripten::function("forceRuns", &forceRuns);
    emscripten::function("findStep", &findStep);
    emscripten::function("showRun", &showRun);
    emscripten::function("pickRun", &pickRun);
}
