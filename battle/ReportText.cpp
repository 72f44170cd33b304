#include "ReportText.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "battle/Battle.h"

namespace {

// Columns line up by characters, not bytes: names may hold any letters.
size_t displayWidth(const std::string& text) {
    size_t width = 0;
    for (const char c : text)
        width += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return width;
}

template <typename... Values>
std::string format(const char* pattern, Values... values) {
    char buffer[128];
    const int n = std::snprintf(buffer, sizeof buffer, pattern, values...);
    return std::string(buffer, static_cast<size_t>(std::clamp(n, 0, static_cast<int>(sizeof buffer) - 1)));
}

std::string percent(double share) {
    return format("%5.1f%%", share * 100.0);
}

// The top of a count axis and its step.
std::pair<int64_t, int64_t> countScale(int64_t largest) {
    for (int64_t scale = 1;; scale *= 10)
        for (int64_t m : {1, 2, 5}) {
            const int64_t step = m * scale;
            const int64_t top = std::max<int64_t>(1, (largest + step - 1) / step) * step;
            if (top / step <= 5)
                return {top, step};
        }
}

void appendColumn(std::string& out, const std::vector<std::string>& column) {
    size_t end = column.size();
    while (end > 0 && column[end - 1].empty())
        --end;
    for (size_t i = 0; i < end; ++i)
        out += column[i] + '\n';
}

}  // namespace

std::string ColumnsText(const std::vector<std::string>& sideI, const std::vector<std::string>& sideII) {
    std::string out;
    appendColumn(out, sideI);
    out += '\n';
    appendColumn(out, sideII);
    return out;
}

std::string OddsText(const SimulationOdds& odds) {
    const SimulationResult& result = odds.result;
    const int64_t runs = result.runsDone;
    std::string out = "ODDS OVER " + std::to_string(runs) + (runs == 1 ? " RUN:\n" : " RUNS:\n");
    const char* sideNames[2] = {"Side I ", "Side II"};
    for (int s = 0; s < 2; ++s) {
        const Proportion chance = WinChance(result.sides[s].wins, runs);
        out += std::string(sideNames[s]) + " wins: " + percent(chance.value) + "  (95% confidence interval " +
               percent(chance.low) + " to " + percent(chance.high) + ")\n";
    }
    const int64_t draws = runs - result.sides[0].wins - result.sides[1].wins;
    if (draws > 0)
        out += "Neither side left: " + percent(WinChance(draws, runs).value) + "\n";

    size_t nameWidth = 20;
    for (const OddsSide& side : odds.sides)
        for (const std::string& kind : side.kinds)
            nameWidth = std::max(nameWidth, displayWidth(kind));
    auto row = [&](const std::string& name, const std::string& rest) {
        return " " + name + std::string(nameWidth + 2 - displayWidth(name), ' ') + rest + "\n";
    };
    out += "\nUNITS LEFT PER BATTLE:\n";
    out += row("", format("%10s %10s %7s %7s", "mean", "sd", "min", "max"));
    for (int s = 0; s < 2; ++s) {
        const OddsSide& side = odds.sides[s];
        out += (s == 0 ? "SIDE I" : "SIDE II");
        out += " (Wizard " + side.number + " : " + side.name + ")\n";
        for (size_t k = 0; k < side.kinds.size() && k < result.sides[s].unitsLeft.size(); ++k) {
            const Spread& left = result.sides[s].unitsLeft[k];
            out += row(side.kinds[k],
                       format("%10.2f %10.2f %7d %7d", left.mean(), left.standardDeviation(), left.min, left.max));
        }
    }
    return out;
}

std::string ReportText(const std::vector<std::string>& sideI, const std::vector<std::string>& sideII,
                       const SimulationOdds* odds) {
    std::string out = ColumnsText(sideI, sideII);
    if (odds)
        out += '\n' + OddsText(*odds);
    return out;
}

int32_t AverageLeft(const Unittype& kind, int64_t casualties, int32_t runs) {
    return kind.Number - static_cast<int32_t>(casualties / std::max(runs, 1));
}

ChanceCurve ChanceCurveOf(std::vector<int32_t> left, int32_t armySize) {
    std::sort(left.begin(), left.end());
    ChanceCurve curve;
    std::tie(curve.top, curve.step) = countScale(std::max(armySize, left.empty() ? 0 : left.back()));
    const double runs = std::max<double>(1, static_cast<double>(left.size()));
    double x = 0;
    for (auto it = std::upper_bound(left.begin(), left.end(), 0); it != left.end();
         it = std::upper_bound(it, left.end(), *it)) {
        const double share = 100.0 * static_cast<double>(left.end() - it) / runs;
        curve.points.emplace_back(x, share);
        curve.points.emplace_back(*it, share);
        x = *it;
    }
    curve.points.emplace_back(x, 0);
    curve.points.emplace_back(static_cast<double>(curve.top), 0);
    return curve;
}

StringReport ReportFor(const Players& players) {
    StringReport report;
    for (int s = 0; s < 2; ++s) {
        report.numbers[s] = players.player(s + 1).number;
        report.names[s] = players.player(s + 1).name;
    }
    return report;
}

StringReport AveragedReport(const Players& players, const SimulationResult& result) {
    std::array<Army, 2> armies{players.army(1), players.army(2)};
    StringReport report = ReportFor(players);
    Battle battle(&report);
    battle.ReportHeader(armies[0], armies[1]);
    for (int s = 0; s < 2; ++s)
        for (int32_t k = 0; k <= armies[s].currentType; ++k) {
            Unittype& kind = armies[s].unittypes[k];
            kind.SimCasualties = kind.Number - AverageLeft(kind, result.sides[s].casualties[k], result.runsDone);
        }
    battle.ReportAverageLeft(armies[0], armies[1], 1);
    return report;
}

SimulationOdds OddsOf(const Players& players, const SimulationResult& result) {
    SimulationOdds odds{result, {}};
    for (int s = 0; s < 2; ++s) {
        const Player& player = players.player(s + 1);
        OddsSide& side = odds.sides[s];
        side.number = player.number;
        side.name = player.name;
        for (int32_t k = 0; k <= player.army.currentType && k < Army::maxTypes; ++k)
            side.kinds.push_back(player.army.unittypes[k].Fullname);
    }
    return odds;
}

std::string SimulationText(const Players& players, const SimulationResult& result) {
    const StringReport report = AveragedReport(players, result);
    const SimulationOdds odds = OddsOf(players, result);
    return ReportText(report.columns[0], report.columns[1], &odds);
}
