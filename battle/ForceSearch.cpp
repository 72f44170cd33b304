#include "ForceSearch.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
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

// The number of looks the options give: after the first batch, after each
// doubling, and at the cap.
int looksOf(const ForceSearchOptions& options) {
    int looks = 1;
    for (int64_t n = std::min(options.firstBatch, options.cap); n < options.cap; ++looks)
        n = n > options.cap / 2 ? options.cap : 2 * n;
    return looks;
}

// The error one way allowed at each look, so that over all the looks a
// verdict before the cap is wrong at most 2.5% of the time each way. Judged
// at every look against the 95% interval, a number at the wanted chance
// would be judged "reaches" about 12% of the time over the eight looks of
// the default, and "short" as often.
//
// Pocock's rule, one bound for every look: PocockZ[k - 1] for k looks after
// 1, 2, 4 ... times the first batch, found once by integrating the normal
// random walk over the looks (one-sided 2.5%; 2.6443 for eight looks,
// checked by simulating 20 million walks). A last batch cut short by the cap
// only makes the looks more alike, so the bound holds for it too (for the
// default 100 ... 6400, 10000 alone it would be 2.6379). Beyond the table,
// Bonferroni's 2.5% divided by the looks, which holds for any looks. With
// the exact tails below, the default's error summed exactly over the
// binomial law is at most 2.3% either way for wanted chances of 5% to 99.9%.
double errorPerLook(int looks) {
    constexpr double PocockZ[] = {1.9600, 2.1783, 2.3118, 2.4085, 2.4843, 2.5464, 2.5989, 2.6443,
                                  2.6842, 2.7197, 2.7518, 2.7809, 2.8075, 2.8321, 2.8548, 2.8760};
    constexpr int tabled = static_cast<int>(std::size(PocockZ));
    if (looks > tabled)
        return 0.025 / looks;
    return 0.5 * std::erfc(PocockZ[looks - 1] / std::sqrt(2.0));
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

// Exact: near a win chance of 0 or 1 the normal law behind the interval
// misjudges the short tail badly (at a wanted 99.9%, one loss in 100 battles
// would put the interval wholly below).
double BinomialTail(int64_t wins, int64_t battles, double p, bool upper) {
    if (upper ? wins <= 0 : wins >= battles)
        return 1.0;
    if (upper ? wins > battles : wins < 0)
        return 0.0;
    const double n = static_cast<double>(battles);
    auto k = static_cast<double>(wins);
    // A tail that holds the mean is one less the other. Summed from its own
    // first term, it would start far out where that term can underflow to 0
    // (exactly 5000 wins of 10000 at 90%), and come back 0 instead of about 1.
    if (upper ? k <= n * p : k >= n * p)
        return std::max(0.0, 1.0 - BinomialTail(upper ? wins - 1 : wins + 1, battles, p, !upper));
    // Away from the mean every term is smaller than the one before: the first
    // is the largest, and once one adds nothing, neither do the rest.
    double term = std::exp(std::lgamma(n + 1) - std::lgamma(k + 1) - std::lgamma(n - k + 1) + k * std::log(p) +
                           (n - k) * std::log1p(-p));
    const double odds = p / (1 - p);
    double sum = 0;
    for (;;) {
        sum += term;
        if ((upper ? k >= n : k <= 0) || term <= sum * 1e-17)
            break;
        term *= upper ? (n - k) / (k + 1) * odds : k / (n - k + 1) / odds;
        k += upper ? 1 : -1;
    }
    return std::min(sum, 1.0);
}

std::optional<NumberTrial> JudgeNumber(const BatchFighter& fight, int32_t number, const ForceSearchOptions& options,
                                       int64_t battlesBefore, int32_t numbersTried) {
    // Batches of no battles would never reach the cap.
    checkOptions(options);
    NumberTrial trial;
    trial.number = number;
    auto report = [&](int64_t battles) {
        if (options.progress)
            options.progress({numbersTried, battlesBefore + battles, number});
    };
    const double error = errorPerLook(looksOf(options));
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
        // Decided only where the wins are unlikely at the wanted chance by
        // the stricter error per look, and where the 95% interval shown
        // agrees, so that a number decided before the cap never has its
        // interval across the wanted chance.
        if (trial.chance.low > options.target &&
            BinomialTail(trial.wins, trial.battles, options.target, true) <= error) {
            trial.reaches = true;
            return trial;
        }
        if (trial.chance.high < options.target &&
            BinomialTail(trial.wins, trial.battles, options.target, false) <= error)
            return trial;
        if (trial.battles >= options.cap) {
            trial.atCap = true;
            trial.reaches = trial.chance.value >= options.target;
            return trial;
        }
        look = trial.battles > options.cap / 2 ? options.cap : 2 * trial.battles;
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
    const auto largest = std::max_element(trials.begin(), trials.end(),
                                          [](const auto& a, const auto& b) { return a.number < b.number; });
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
    // A kind's name is a plural ("Knights"): one unit is "1 unit of Knights".
    auto units = [&](int32_t number) {
        return number == 1 ? "1 unit of " + kindName : std::to_string(number) + " " + kindName;
    };
    const std::string wanted = percent(options.target);
    if (result.cancelled) {
        lines.emplace_back("The search was cancelled.");
    } else if (const NumberTrial* answer = result.answer()) {
        const bool one = answer->number == 1;
        const NumberTrial* lower = result.lower();
        // The claim rests on the answer's verdict and, for "the fewest", on
        // the next lower number's; judged at the cap, either is only a share.
        const bool atCap = answer->atCap || (result.found && lower && lower->atCap);
        const std::string hedge = atCap ? ", judged at the cap by the share of wins alone" : "";
        if (result.found)
            lines.push_back(units(answer->number) + (one ? " wins " : " win ") + percent(answer->chance.value) +
                            " of battles " + interval(*answer) + ": the fewest that win at least " + wanted + hedge +
                            ".");
        else
            lines.push_back("Even " + units(answer->number) + (one ? " does not win " : " do not win ") + wanted +
                            hedge + (one ? ": it wins " : ": they win ") + percent(answer->chance.value) +
                            " of battles " + interval(*answer) + ".");
        if (lower)
            lines.push_back("The next lower number tried, " + std::to_string(lower->number) + ", wins " +
                            percent(lower->chance.value) + " " + interval(*lower) + ".");
        else if (result.found)
            lines.emplace_back("No lower number was tried: one unit is enough.");
        // Else the largest considered is 1 and falls short: "Even 1 ..." says it all.
    }
    std::string atCap;
    for (const NumberTrial& t : result.trials)
        if (t.atCap)
            atCap += (atCap.empty() ? "" : ", ") + std::to_string(t.number);
    if (!atCap.empty())
        lines.push_back("Judged at the cap of " + std::to_string(options.cap) +
                        " battles, by the share of wins alone, as the battles did not show it surely above or below " +
                        wanted + ": " + atCap + ".");
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
                    std::to_string(result.trials.size()) + (result.trials.size() == 1 ? " number" : " numbers") +
                    ", in " + time + ".");
    return lines;
}

std::string ForceText(const ForceSearchResult& result, const ForceSearchOptions& options, const ForceTitle& title,
                      double seconds) {
    auto percent = [&](double share) { return PercentText(share, options.target); };
    std::string out = "FORCE NEEDED: " + title.kindName + " (" + title.abbreviation + ") of player " +
                      title.playerNumber + " (" + title.playerName + "), to win " + percent(options.target) +
                      " of battles against player " + title.enemyNumber + " (" + title.enemyName + ")\n";
    for (const std::string& line : DescribeForce(result, options, title.kindName, seconds))
        out += line + "\n";
    out += "\nNUMBERS TRIED:\n";
    out += "  number  battles  win chance   95% interval           judged\n";
    char row[160];
    for (const NumberTrial& t : result.trials) {
        const std::string range = percent(t.chance.low) + " to " + percent(t.chance.high);
        std::snprintf(row, sizeof row, "%8d %8lld %11s   %-22s %s%s\n", t.number, static_cast<long long>(t.battles),
                      percent(t.chance.value).c_str(), range.c_str(), t.reaches ? "reaches" : "short",
                      t.atCap ? " (at the cap)" : "");
        out += row;
    }
    return out;
}
