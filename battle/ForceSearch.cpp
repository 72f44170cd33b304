#include "ForceSearch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>

#include "Random.h"

namespace {

// Every batch of every number gets its own stream: the answer then depends
// on the seed alone, not on how the battles were spread over the workers.
uint64_t batchSeed(uint64_t seed, int32_t number, int64_t battlesBefore) {
    return splitmix64(seed ^ splitmix64((static_cast<uint64_t>(static_cast<uint32_t>(number)) << 32) ^
                                        static_cast<uint64_t>(battlesBefore)));
}

bool isCancelled(const ForceSearchOptions& options) {
    return options.cancel && options.cancel->load(std::memory_order_relaxed);
}

void checkOptions(const ForceSearchOptions& options) {
    if (!(options.target > 0.0 && options.target < 1.0))
        throw std::invalid_argument("the wanted win chance must lie between 0 and 1");
    if (options.largest < 1)
        throw std::invalid_argument("the largest number must be 1 or more");
    if (options.cap < 1 || options.firstBatch < 1)
        throw std::invalid_argument("the batches and the cap must hold a battle or more");
}

}  // namespace

std::optional<NumberTrial> JudgeNumber(const BatchFighter& fight, int32_t number, const ForceSearchOptions& options,
                                       int64_t battlesBefore, int32_t numbersTried) {
    NumberTrial trial;
    trial.number = number;
    auto report = [&](int64_t battles) {
        if (options.progress)
            options.progress({numbersTried, battlesBefore + battles, number});
    };
    int64_t look = std::min(options.firstBatch, options.cap);
    for (;;) {
        if (isCancelled(options))
            return std::nullopt;
        const int64_t batch = look - trial.battles;
        const BatchOutcome outcome = fight(number, batch, batchSeed(options.seed, number, trial.battles),
                                           [&](int64_t fought) { report(trial.battles + fought); });
        trial.battles += outcome.battles;
        trial.wins += outcome.wins;
        report(trial.battles);
        if (outcome.battles < batch || isCancelled(options))
            return std::nullopt;
        trial.chance = WinChance(trial.wins, trial.battles);
        if (trial.chance.low > options.target) {
            trial.reaches = true;
            return trial;
        }
        if (trial.chance.high < options.target)
            return trial;
        if (trial.battles >= options.cap) {
            trial.atCap = true;
            trial.reaches = trial.chance.value >= options.target;
            return trial;
        }
        look = std::min(options.cap, 2 * trial.battles);
    }
}

const NumberTrial* ForceSearchResult::trialOf(int32_t number) const {
    for (const NumberTrial& t : trials)
        if (t.number == number)
            return &t;
    return nullptr;
}

const NumberTrial* ForceSearchResult::answer() const {
    if (found)
        return trialOf(*found);
    if (cancelled || trials.empty())
        return nullptr;
    const auto largest =
        std::max_element(trials.begin(), trials.end(), [](const auto& a, const auto& b) { return a.number < b.number; });
    return &*largest;
}

const NumberTrial* ForceSearchResult::lower() const {
    const NumberTrial* top = answer();
    if (!top)
        return nullptr;
    const NumberTrial* best = nullptr;
    for (const NumberTrial& t : trials)
        if (t.number < top->number && (!best || t.number > best->number))
            best = &t;
    return best;
}

bool ForceSearchResult::anyAtCap() const {
    return std::any_of(trials.begin(), trials.end(), [](const NumberTrial& t) { return t.atCap; });
}

ForceSearchResult FindForce(const BatchFighter& fight, const ForceSearchOptions& options) {
    checkOptions(options);
    ForceSearchResult result;
    auto judge = [&](int32_t number) -> const NumberTrial* {
        std::optional<NumberTrial> trial =
            JudgeNumber(fight, number, options, result.battles, static_cast<int32_t>(result.trials.size()));
        if (!trial) {
            result.cancelled = true;
            return nullptr;
        }
        result.battles += trial->battles;
        result.trials.push_back(*trial);
        return &result.trials.back();
    };

    // Doubling: 1, 2, 4 ... up to the largest, until one number reaches.
    int32_t shortOf = 0;  // the largest number judged short of the chance; 0 for none
    int32_t reached = 0;  // the smallest number judged to reach it; 0 for none
    for (int32_t n = 1;; n = n > options.largest / 2 ? options.largest : 2 * n) {
        const NumberTrial* t = judge(n);
        if (!t)
            return result;
        if (t->reaches) {
            reached = n;
            break;
        }
        shortOf = n;
        if (n == options.largest)
            break;
    }
    // Bisection between the two. Every number judged short lies below every
    // one judged to reach, so the trials never contradict each other by
    // their verdicts; a falling chance shows only in the shares (falls).
    if (reached > 0) {
        while (reached - shortOf > 1) {
            const int32_t mid = shortOf + (reached - shortOf) / 2;
            const NumberTrial* t = judge(mid);
            if (!t)
                return result;
            (t->reaches ? reached : shortOf) = mid;
        }
        result.found = reached;
    }

    std::vector<const NumberTrial*> byNumber;
    for (const NumberTrial& t : result.trials)
        byNumber.push_back(&t);
    std::sort(byNumber.begin(), byNumber.end(), [](const auto* a, const auto* b) { return a->number < b->number; });
    const NumberTrial* surest = nullptr;  // the smaller number with the highest lower bound so far
    for (const NumberTrial* t : byNumber) {
        if (surest && t->chance.high < surest->chance.low)
            result.falls.emplace_back(surest->number, t->number);
        if (!surest || t->chance.low > surest->chance.low)
            surest = t;
    }
    return result;
}

BatchFighter SimulatedBattles(const Army& I, const Army& II, int side, int32_t kind, int threads,
                              const std::atomic<bool>* cancel) {
    if (side != 0 && side != 1)
        throw std::invalid_argument("the side must be 0 or 1");
    const Army& own = side == 0 ? I : II;
    if (kind < 0 || kind > own.currentType || own.unittypes[kind].Fullname.empty())
        throw std::invalid_argument("the side has no such kind");
    if ((side == 0 ? II : I).currentSize < 1)
        throw std::invalid_argument("the other side has no units");

    struct State {
        std::array<Army, 2> armies;
        KindValues values;
        int32_t number;  // of the kind in armies[side] now
    };
    auto state = std::make_shared<State>(State{{I, II}, valuesOf(own.unittypes[kind]), own.unittypes[kind].Number});
    return [state, side, kind, threads, cancel](int32_t number, int64_t battles, uint64_t seed,
                                                const std::function<void(int64_t)>& fought) -> BatchOutcome {
        Army& varied = state->armies[static_cast<size_t>(side)];
        if (number != state->number) {
            if (!varied.ApplyKind(kind, state->values, number))
                throw std::invalid_argument("the number must be 1 or more");
            state->number = number;
        }
        SimulationOptions sim;
        sim.runs = static_cast<int32_t>(std::min<int64_t>(battles, std::numeric_limits<int32_t>::max()));
        sim.threads = threads;
        sim.seed = seed;
        sim.cancel = cancel;
        if (fought)
            sim.progress = [&fought](int32_t done) { fought(done); };
        const SimulationResult r = Simulate(state->armies[0], state->armies[1], sim);
        return {r.runsDone, r.sides[static_cast<size_t>(side)].wins};
    };
}

std::string PercentText(double share, double target) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, target > 0.99 ? "%.2f%%" : "%.1f%%", share * 100.0);
    return buffer;
}

std::vector<std::string> DescribeForce(const ForceSearchResult& result, const ForceSearchOptions& options,
                                       const std::string& kindName, double seconds) {
    std::vector<std::string> lines;
    auto percent = [&](double share) { return PercentText(share, options.target); };
    auto interval = [&](const NumberTrial& t) {
        return "(95% interval " + percent(t.chance.low) + " to " + percent(t.chance.high) + ")";
    };
    const std::string wanted = percent(options.target);
    if (result.cancelled) {
        lines.push_back("The search was cancelled.");
    } else if (const NumberTrial* answer = result.answer()) {
        if (result.found)
            lines.push_back(std::to_string(answer->number) + " " + kindName + " win " + percent(answer->chance.value) +
                            " of battles " + interval(*answer) + ": the fewest that win at least " + wanted + ".");
        else
            lines.push_back("Even " + std::to_string(answer->number) + " " + kindName + " do not win " + wanted +
                            ": they win " + percent(answer->chance.value) + " of battles " + interval(*answer) + ".");
        if (const NumberTrial* lower = result.lower())
            lines.push_back("The next lower number tried, " + std::to_string(lower->number) + ", wins " +
                            percent(lower->chance.value) + " " + interval(*lower) + ".");
        else
            lines.push_back("No lower number was tried: one unit is enough.");
    }
    std::string atCap;
    for (const NumberTrial& t : result.trials)
        if (t.atCap)
            atCap += (atCap.empty() ? "" : ", ") + std::to_string(t.number);
    if (!atCap.empty())
        lines.push_back("Judged at the cap of " + std::to_string(options.cap) +
                        " battles, by the share of wins alone, its interval still holding " + wanted + ": " + atCap +
                        ".");
    // One line per number that did better than larger ones.
    for (size_t i = 0; i < result.falls.size();) {
        const int32_t a = result.falls[i].first;
        std::string larger;
        double least = 1.0;
        for (; i < result.falls.size() && result.falls[i].first == a; ++i) {
            const int32_t b = result.falls[i].second;
            larger += (larger.empty() ? "" : ", ") + std::to_string(b);
            least = std::min(least, result.trialOf(b)->chance.value);
        }
        lines.push_back("The win chance does not rise with the number: " + std::to_string(a) + " win " +
                        percent(result.trialOf(a)->chance.value) + ", yet " + larger + " win clearly less (" +
                        percent(least) + " at the least); a number not tried may do better than the search assumed.");
    }
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", seconds);
    lines.push_back("Battles fought: " + std::to_string(result.battles) + ", over " +
                    std::to_string(result.trials.size()) + " numbers, in " + time + ".");
    return lines;
}
