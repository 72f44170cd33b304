#include "Replay.h"

#include <algorithm>
#include <cmath>

#include "battle/Battle.h"
#include "battle/ReportText.h"

namespace {
const char* const SideNames[2] = {"side I", "side II"};

std::string unitsLeft(int32_t units) {
    return std::to_string(units) + (units == 1 ? " unit left" : " units left");
}
}  // namespace

std::optional<Pick> PickNamed(std::string_view word) {
    const std::pair<const char*, Pick> words[] = {{"won", Pick::Won},     {"lost", Pick::Lost},
                                                  {"draw", Pick::Draw},   {"typical", Pick::Typical},
                                                  {"worst", Pick::Worst}, {"best", Pick::Best}};
    for (const auto& [name, pick] : words)
        if (word == name)
            return pick;
    return std::nullopt;
}

std::optional<int32_t> PickRun(const SimulationResult& result, int side, Pick pick, std::string* why) {
    const std::vector<int32_t>& mine = result.sides[side].totalLeft;
    const std::vector<int32_t>& theirs = result.sides[1 - side].totalLeft;
    auto first = [&](auto fits) -> std::optional<size_t> {
        for (size_t i = 0; i < mine.size(); ++i)
            if (fits(i))
                return i;
        return std::nullopt;
    };
    std::optional<size_t> entry;
    std::string ended;
    switch (pick) {
        case Pick::Won:
            entry = first([&](size_t i) { return mine[i] > 0 && theirs[i] == 0; });
            ended = std::string(SideNames[side]) + " winning";
            break;
        case Pick::Lost:
            entry = first([&](size_t i) { return theirs[i] > 0 && mine[i] == 0; });
            ended = std::string(SideNames[1 - side]) + " winning";
            break;
        case Pick::Draw:
            entry = first([&](size_t i) { return (mine[i] > 0) == (theirs[i] > 0); });
            ended = "both armies gone";
            break;
        case Pick::Worst:
        case Pick::Best:
            if (!mine.empty())
                entry = static_cast<size_t>((pick == Pick::Worst ? std::min_element(mine.begin(), mine.end())
                                                                 : std::max_element(mine.begin(), mine.end())) -
                                            mine.begin());
            break;
        case Pick::Typical:
            if (!mine.empty()) {
                std::vector<int32_t> sorted = mine;
                std::sort(sorted.begin(), sorted.end());
                const size_t n = sorted.size();
                const double median =
                    n % 2 ? sorted[n / 2] : (static_cast<double>(sorted[n / 2 - 1]) + sorted[n / 2]) / 2;
                entry = 0;
                for (size_t i = 1; i < n; ++i)
                    if (std::abs(mine[i] - median) < std::abs(mine[*entry] - median))
                        entry = i;
            }
            break;
    }
    if (entry)
        return result.runOf(*entry);
    if (why)
        *why = ended.empty() ? std::string("no battle was fought")
                             : "no battle of the " + std::to_string(mine.size()) + " ended with " + ended;
    return std::nullopt;
}

std::optional<int32_t> RunWithUnitsLeft(const SimulationResult& result, int side, int32_t units) {
    const std::vector<int32_t>& left = result.sides[side].totalLeft;
    if (left.empty())
        return std::nullopt;
    auto distance = [units](int32_t count) { return std::abs(static_cast<int64_t>(count) - units); };
    int32_t nearest = left[0];
    for (int32_t count : left)
        if (distance(count) < distance(nearest) || (distance(count) == distance(nearest) && count < nearest))
            nearest = count;
    return result.runOf(static_cast<size_t>(std::find(left.begin(), left.end(), nearest) - left.begin()));
}

ReplayedRun ReplayRun(Players players, uint64_t seed, int32_t run, int32_t runs) {
    ReplayedRun out;
    out.run = run;
    out.runs = runs;
    out.report = ReportFor(players);
    Battle battle(&out.report);
    battle.setFixedSeed(RunSeed(seed, run));
    Army& I = players.army(1);
    Army& II = players.army(2);
    // Every run of a simulation starts from the order a rebuild leaves.
    I.Rebuild();
    II.Rebuild();
    Battle::PrepareLine(I);
    Battle::PrepareLine(II);
    battle.FightBattle(I, II);
    for (int s = 0; s < 2; ++s) {
        const Army& army = players.army(s + 1);
        for (int32_t k = 0; k <= army.currentType; ++k) {
            out.kindsLeft[s].push_back(army.unittypes[k].Number - army.unittypes[k].LastCasualties);
            out.left[s] += out.kindsLeft[s].back();
        }
    }
    std::string ended;
    if (out.left[0] > 0 && out.left[1] == 0)
        ended = "side I won with " + unitsLeft(out.left[0]);
    else if (out.left[1] > 0 && out.left[0] == 0)
        ended = "side II won with " + unitsLeft(out.left[1]);
    else
        ended = out.left[0] == 0 ? "both armies were wiped out" : "neither army was wiped out";
    out.title = "Battle " + std::to_string(run + 1) + " of " + std::to_string(runs) + ": " + ended;
    out.text = out.title + "\n\n" + ColumnsText(out.report.columns[0], out.report.columns[1]);
    return out;
}
