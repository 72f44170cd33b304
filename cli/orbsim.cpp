// orbsim: fights the battle of an army file many times, or once with its
// full report, and prints the result as the results window would read.

#include <QCommandLineParser>
#include <QString>
#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "battle/Answers.h"
#include "battle/Battle.h"
#include "battle/ForceSearch.h"
#include "battle/Replay.h"
#include "battle/Report.h"
#include "battle/ReportText.h"
#include "battle/Seed.h"
#include "battle/Simulation.h"
#include "files/ArmyFileIO.h"
#include "rules/DialogRules.h"

namespace {

// Each run keeps a few words of results until the end; this keeps a typo
// of a few extra digits from exhausting memory.
constexpr int64_t MaxRuns = 10'000'000;

constexpr const char* HelpIntro =
    "Fights the battle of an army file (two players' armies, as saved by the\n"
    "simulator) many times on all cores and prints the averaged result the way\n"
    "the results window shows it, then each side's chance to win and the spread\n"
    "of the units left per kind. With --find it searches instead for the fewest\n"
    "units of one kind that win a wanted share of battles; with --show-run or\n"
    "--show it fights one battle of the simulation again and prints its report.\n";

struct Options {
    QString file;
    int32_t runs = 10;
    bool runsGiven = false;
    int threads = 0;
    bool threadsGiven = false;
    std::optional<uint64_t> seed;
    bool report = false;
    bool json = false;
    // --find P:ABB: the player's number as the army-info dialog and army
    // files read it, and the kind's abbreviation.
    std::optional<std::pair<int, QString>> find;
    double target = 0.9;
    int32_t largest = dialogrules::MaxUnits;
    bool searchTuned = false;  // --target or --max given
    // A battle of the simulation fought again: by its number (from 1), or
    // picked for a side (0 for side I) by what happened in it.
    std::optional<int64_t> showRun;
    std::optional<std::pair<int, Pick>> show;
};

// Plain decimal digits only (from_chars takes no sign or blank): "1e3", "+5",
// " 5" or "0x10" are refused rather than read as something the user may not
// have meant.
std::optional<uint64_t> parseUnsigned(const QString& text) {
    const QByteArray digits = text.toLatin1();
    const char* end = digits.constData() + digits.size();
    uint64_t value = 0;
    const auto [stop, error] = std::from_chars(digits.constData(), end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

// A share as a fraction ("0.9") or a percentage ("90%"): fixed notation only.
std::optional<double> parseShare(const QString& text) {
    QByteArray digits = text.toLatin1();
    const bool percent = digits.endsWith('%');
    if (percent)
        digits.chop(1);
    const char* end = digits.constData() + digits.size();
    double value = 0;
    const auto [stop, error] = std::from_chars(digits.constData(), end, value, std::chars_format::fixed);
    // from_chars reads "nan" and "inf" in any format, and no range check
    // can refuse a NaN: every comparison with it is false.
    if (digits.isEmpty() || error != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return percent ? value / 100 : value;
}

// One command-line option: its names (the first is shown), the name of its
// value (none for a switch), its help, and how its value is read into the
// options. read returns the error to show, or nothing.
using Reader = std::function<std::optional<std::string>(Options&, const QString&)>;
struct OptionRow {
    QStringList names;
    QString valueName;
    std::string help;
    Reader read;
};

std::string refusal(const char* option, const std::string& rule, const QString& value) {
    return std::string(option) + " must be " + rule + ", not \"" + value.toStdString() + "\"";
}

// A whole number from lo to hi, handed to store; anything else is refused
// with the rule.
Reader wholeNumber(const char* option, uint64_t lo, uint64_t hi, const std::string& rule,
                   void (*store)(Options&, uint64_t)) {
    return [=](Options& o, const QString& v) -> std::optional<std::string> {
        const std::optional<uint64_t> n = parseUnsigned(v);
        if (!n || *n < lo || *n > hi)
            return refusal(option, rule, v);
        store(o, *n);
        return std::nullopt;
    };
}

Reader flag(bool Options::*field) {
    return [field](Options& o, const QString&) -> std::optional<std::string> {
        o.*field = true;
        return std::nullopt;
    };
}

const std::vector<OptionRow>& optionTable() {
    static const std::vector<OptionRow> table = {
        {{"runs"},
         "N",
         "battles to fight (default 10; 1 to " + std::to_string(MaxRuns) + ")",
         wholeNumber("--runs", 1, MaxRuns, "a whole number from 1 to " + std::to_string(MaxRuns),
                     [](Options& o, uint64_t n) {
                         o.runs = static_cast<int32_t>(n);
                         o.runsGiven = true;
                     })},
        {{"seed"},
         "S",
         "fixed seed (0 to 18446744073709551615): the same seed gives\nthe same output, whatever the threads",
         wholeNumber("--seed", 0, std::numeric_limits<uint64_t>::max(), "a whole number from 0 to 18446744073709551615",
                     [](Options& o, uint64_t n) { o.seed = n; })},
        {{"threads"},
         "T",
         "worker threads (default: one per core)",
         wholeNumber("--threads", 1, std::numeric_limits<int>::max(), "a whole number of 1 or more",
                     [](Options& o, uint64_t n) {
                         o.threads = static_cast<int>(n);
                         o.threadsGiven = true;
                     })},
        {{"find"},
         "P:ABB",
         "find the fewest units of kind ABB of player P that win the\n"
         "--target share of battles: numbers tried by doubling, then\n"
         "bisection, each judged by battles until its win chance lies\n"
         "surely above or below the target (wrong at most 2.5% of the\n"
         "time each way), or at most 10000 battles",
         [](Options& o, const QString& v) -> std::optional<std::string> {
             const qsizetype colon = v.indexOf(QLatin1Char(':'));
             // " 7" and "+7" name player 7, as they do in an army file.
             const std::optional<int> player = DialogInteger(v.left(colon).toStdString());
             const QString abbreviation = v.mid(colon + 1);
             if (colon < 0 || !player || abbreviation.isEmpty())
                 return refusal("--find", "a player number and an abbreviation, as 2:KNI", v);
             o.find = std::make_pair(*player, abbreviation);
             return std::nullopt;
         }},
        {{"target"},
         "C",
         "the win chance --find wants (default 0.9; 0.5 to 0.999,\nor 50% to 99.9%)",
         [](Options& o, const QString& v) -> std::optional<std::string> {
             const std::optional<double> share = parseShare(v);
             // The last digit of 0.999 may round either way; 99.9% must pass.
             if (!share || *share < 0.5 || *share > 0.999 + 1e-12)
                 return refusal("--target", "a share from 0.5 to 0.999 (or 50% to 99.9%)", v);
             o.target = *share;
             o.searchTuned = true;
             return std::nullopt;
         }},
        {{"max"},
         "N",
         "the largest number --find considers (default and most " + std::to_string(dialogrules::MaxUnits) +
             ", the units a kind holds)",
         wholeNumber("--max", 1, dialogrules::MaxUnits,
                     "a whole number from 1 to " + std::to_string(dialogrules::MaxUnits),
                     [](Options& o, uint64_t n) {
                         o.largest = static_cast<int32_t>(n);
                         o.searchTuned = true;
                     })},
        {{"report"}, {}, "fight one battle and print its full report instead", flag(&Options::report)},
        {{"show-run"},
         "K",
         "fight battle K (1 to --runs) of the simulation again, from its own\n"
         "seed, and print its full report",
         wholeNumber("--show-run", 1, MaxRuns, "a whole number from 1 to " + std::to_string(MaxRuns),
                     [](Options& o, uint64_t k) { o.showRun = static_cast<int64_t>(k); })},
        {{"show"},
         "WHICH",
         "fight a battle of the simulation again and print its full report:\n"
         "the first that side I won, lost or drew (won, lost, draw), the\n"
         "one nearest its median of units left (typical), or with the\n"
         "fewest or most left (worst, best); 2:WHICH for side II",
         [](Options& o, const QString& v) -> std::optional<std::string> {
             const bool second = v.startsWith(QLatin1String("2:"));
             const std::optional<Pick> pick =
                 PickNamed((second || v.startsWith(QLatin1String("1:")) ? v.mid(2) : v).toStdString());
             if (!pick)
                 return refusal("--show", "won, lost, draw, typical, worst or best, or one of them after 2:", v);
             o.show = std::make_pair(second ? 1 : 0, *pick);
             return std::nullopt;
         }},
        {{"json"}, {}, "print one JSON object instead of text", flag(&Options::json)},
        {{"help", "h"}, {}, "print this help", nullptr},
        {{"version"}, {}, "print the version", nullptr},
    };
    return table;
}

// Help starts "Usage:", as manual page writers read it; an error's usage
// line stays as scripts read it.
std::string usage(const char* head = "usage:") {
    std::string text = std::string(head) + " orbsim ARMIES.json";
    for (const OptionRow& row : optionTable())
        if (row.read)
            text += " [--" + row.names[0].toStdString() +
                    (row.valueName.isEmpty() ? "" : " " + row.valueName.toStdString()) + "]";
    return text;
}

std::string help() {
    std::vector<std::string> heads;
    size_t width = 0;
    for (const OptionRow& row : optionTable()) {
        heads.push_back("--" + row.names[0].toStdString() +
                        (row.valueName.isEmpty() ? "" : " " + row.valueName.toStdString()));
        width = std::max(width, heads.back().size());
    }
    std::string text = usage("Usage:") + "\n\n" + HelpIntro + "\n";
    for (size_t i = 0; i < heads.size(); ++i) {
        std::string lines = optionTable()[i].help;
        for (size_t at = lines.find('\n'); at != std::string::npos; at = lines.find('\n', at + 1))
            lines.insert(at + 1, width + 4, ' ');
        text += "  " + heads[i] + std::string(width - heads[i].size() + 2, ' ') + lines + "\n";
    }
    return text;
}

enum class Parsed { Run, Help, Version, Error };

Parsed parseArguments(int argc, char** argv, Options* options, std::string* error) {
    QCommandLineParser parser;
    for (const OptionRow& row : optionTable())
        parser.addOption(QCommandLineOption(row.names, QString::fromStdString(row.help), row.valueName));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const bool parsed = parser.parse(arguments);
    if (parser.isSet(QStringLiteral("help")))
        return Parsed::Help;
    if (parser.isSet(QStringLiteral("version")))
        return Parsed::Version;
    if (!parsed) {
        const QStringList unknown = parser.unknownOptionNames();
        *error = unknown.isEmpty()
                     ? parser.errorText().toStdString()
                     : "unknown option " + std::string(unknown[0].size() == 1 ? "-" : "--") + unknown[0].toStdString();
        return Parsed::Error;
    }
    for (const OptionRow& row : optionTable()) {
        if (!row.read || !parser.isSet(row.names[0]))
            continue;
        if (std::optional<std::string> refused = row.read(*options, parser.value(row.names[0]))) {
            *error = *refused;
            return Parsed::Error;
        }
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        *error = "no army file given";
        return Parsed::Error;
    }
    if (files.size() > 1) {
        *error = "one army file only; also given: \"" + files[1].toStdString() + "\"";
        return Parsed::Error;
    }
    if (options->report && (options->runsGiven || options->threadsGiven)) {
        *error = "--report fights a single battle; --runs and --threads do not apply to it";
        return Parsed::Error;
    }
    if (options->find && (options->report || options->runsGiven)) {
        *error = "--find fights battles of its own; --runs and --report do not apply to it";
        return Parsed::Error;
    }
    if ((options->showRun || options->show) &&
        (options->report || options->find || (options->showRun && options->show))) {
        *error =
            "--show-run and --show fight a battle of a simulation; --report, --find and each other do not apply to "
            "them";
        return Parsed::Error;
    }
    if (options->showRun && *options->showRun > options->runs) {
        *error = "--show-run must be a battle of the simulation, from 1 to " + std::to_string(options->runs) +
                 " (--runs), not " + std::to_string(*options->showRun);
        return Parsed::Error;
    }
    if (!options->find && options->searchTuned) {
        *error = "--target and --max belong to --find";
        return Parsed::Error;
    }
    options->file = files[0];
    return Parsed::Run;
}

// The whole answer, as text or as one JSON object.
std::string printed(const nlohmann::json& answer) {
    return answer.dump(4) + "\n";
}

std::string fightOnce(Players players, const Options& options, uint64_t seed) {
    StringReport report = ReportFor(players);
    Battle battle(&report);
    battle.setFixedSeed(seed);
    Battle::PrepareLine(players.army(1));
    Battle::PrepareLine(players.army(2));
    battle.FightBattle(players.army(1), players.army(2));
    if (!options.json)
        return ReportText(report.columns[0], report.columns[1]);
    nlohmann::json answer = ReportJson(players, report);
    if (options.seed)
        answer["seed"] = std::to_string(*options.seed);
    return printed(answer);
}

std::string simulate(const Players& players, const Options& options, uint64_t seed) {
    SimulationOptions sim;
    sim.runs = options.runs;
    sim.threads = options.threads;
    sim.seed = seed;
    const SimulationResult result = Simulate(players.army(1), players.army(2), sim);
    if (result.runsDone < 1)
        throw std::runtime_error("no battle was fought");
    if (!options.json)
        return SimulationText(players, result);
    nlohmann::json answer = SimulationJson(players, result);
    if (options.seed)
        answer["seed"] = std::to_string(*options.seed);
    return printed(answer);
}

// A battle of the simulation, fought again: the one asked for by number, or
// the one picked from the simulation's units left, which is fought for it.
std::string showRun(const Players& players, const Options& options, uint64_t seed, std::string* refusal) {
    int32_t run = 0;
    if (options.showRun) {
        run = static_cast<int32_t>(*options.showRun - 1);
    } else {
        SimulationOptions sim;
        sim.runs = options.runs;
        sim.threads = options.threads;
        sim.seed = seed;
        const SimulationResult result = Simulate(players.army(1), players.army(2), sim);
        const std::optional<int32_t> picked = PickRun(result, options.show->first, options.show->second, refusal);
        if (!picked)
            return {};
        run = *picked;
    }
    const ReplayedRun replayed = ReplayRun(players, seed, run, options.runs);
    return options.json ? printed(RunJson(players, replayed, seed)) : replayed.text;
}

std::string findForce(const Players& players, const Options& options, uint64_t seed, int player, int32_t kind) {
    ForceSearchOptions search;
    search.target = options.target;
    search.largest = options.largest;
    search.seed = seed;
    const auto start = std::chrono::steady_clock::now();
    const ForceSearchResult result =
        FindForce(SimulatedBattles(players.army(1), players.army(2), player - 1, kind, options.threads), search);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return options.json ? printed(ForceJson(players, player, kind, search, result))
                        : ForceAnswerText(players, player, kind, search, result, seconds);
}

int run(const Options& options) {
    const QByteArray file = options.file.toLocal8Bit();
    armyfile::ArmySetup setup;
    QString error;
    Players players;
    std::string refusal;
    if (!armyfile::LoadArmies(options.file, &setup, &error))
        refusal = error.toStdString();
    else if (armyfile::PlayersOf(setup, &players, &refusal))
        refusal = NoUnits(players);  // as the main window does: a battle needs units on both sides
    if (!refusal.empty()) {
        std::fprintf(stderr, "orbsim: %s: %s\n", file.constData(), refusal.c_str());
        return 1;
    }
    // Without a seed, one is drawn here for the whole run.
    const uint64_t seed = options.seed ? *options.seed : FreshSeed();

    int searched = 0;
    std::optional<int32_t> kind;
    if (options.find) {
        searched = PlayerNumbered(players, options.find->first, &refusal);
        if (searched)
            kind = KindAbbreviated(players, searched, options.find->second.toStdString(), &refusal);
        if (!kind) {
            std::fprintf(stderr, "orbsim: %s\n", refusal.c_str());
            return 2;
        }
    }

    std::string out;
    try {
        if (kind)
            out = findForce(players, options, seed, searched, *kind);
        else if (options.showRun || options.show)
            out = showRun(players, options, seed, &refusal);
        else
            out = options.report ? fightOnce(players, options, seed) : simulate(players, options, seed);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orbsim: the battle could not be fought: %s\n", e.what());
        return 1;
    }
    if (out.empty()) {  // a battle asked for that no run of the simulation was
        std::fprintf(stderr, "orbsim: %s\n", refusal.c_str());
        return 2;
    }
    // Everything is ready before anything is printed: a failure never
    // leaves half a result on stdout.
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "orbsim: cannot write the result\n");
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    switch (parseArguments(argc, argv, &options, &error)) {
        case Parsed::Help:
            std::fputs(help().c_str(), stdout);
            return 0;
        case Parsed::Version:
            std::puts("orbsim " ORB_VERSION);
            return 0;
        case Parsed::Error:
            std::fprintf(stderr, "orbsim: %s\n%s\n", error.c_str(), usage().c_str());
            return 2;
        case Parsed::Run:
            break;
    }
    return run(options);
}
