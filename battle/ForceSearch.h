#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Simulation.h"
#include "rules/DialogRules.h"

// "How many do I need?": the smallest number of one kind with which its side
// wins at least a wanted share of battles. Each number is judged by battles
// fought in growing batches until its wins lie surely above or below the
// wanted chance, or a cap is reached; the numbers are searched by doubling,
// then by bisection. "Surely" takes all the looks at a number into account:
// a number whose win chance is the wanted one is judged either way before
// the cap at most 2.5% of the time each way. The intervals shown are plain
// 95% intervals, and a number decided before the cap has its interval
// wholly on the side judged.

// Battles fought with a given number of the kind searched over.
struct BatchOutcome {
    int64_t battles = 0;  // fewer than asked only when cancelled
    int64_t wins = 0;
};

// Fights `battles` battles with `number` units of the kind, every draw
// following from `seed`, and reports the battles fought so far through
// `fought` now and then. The search asks only through this, so tests can put
// a win chance of their own in place of the battles.
using BatchFighter = std::function<BatchOutcome(int32_t number, int64_t battles, uint64_t seed,
                                                const std::function<void(int64_t fought)>& fought)>;

struct SearchProgress {
    int32_t numbersTried = 0;  // numbers judged so far, the current one not counted
    int64_t battles = 0;       // battles fought so far, the current batch's included
    int32_t current = 0;       // the number being judged
};

struct ForceSearchOptions {
    double target = 0.9;                      // the win chance wanted, above 0 and below 1
    int32_t largest = dialogrules::MaxUnits;  // the largest number considered: a kind holds no more
    // Battles per number at most. At this cap a close case (within about
    // 0.8% of 90%) is still undecided; it is then judged by its share of
    // wins alone, and the answer says so.
    int64_t cap = 10000;
    // The batches: the first is this large, each later one as large as all
    // before it, so a number is looked at after 100, 200, 400 ... battles.
    // The more looks these and the cap give, the surer each must be.
    int64_t firstBatch = 100;
    uint64_t seed = 0;
    // Set from another thread to stop after the battles in flight.
    const std::atomic<bool>* cancel = nullptr;
    // Called after every batch and, when the fighter reports it, during one.
    std::function<void(const SearchProgress&)> progress;
};

// One number judged.
struct NumberTrial {
    int32_t number = 0;
    int64_t battles = 0;
    int64_t wins = 0;
    Proportion chance;
    bool reaches = false;  // judged to win at least the wanted share
    bool atCap = false;    // judged at the cap by the share alone, undecided before
};

// The chance of at least `wins` wins in `battles` battles at the win chance
// p, 0 < p < 1 (upper), or of at most `wins` (lower): how unlikely a number's
// wins are at the wanted chance.
double BinomialTail(int64_t wins, int64_t battles, double p, bool upper);

// Judges one number; nothing when cancelled before it was judged. The
// progress counts start from battlesBefore and numbersTried.
std::optional<NumberTrial> JudgeNumber(const BatchFighter& fight, int32_t number, const ForceSearchOptions& options,
                                       int64_t battlesBefore = 0, int32_t numbersTried = 0);

struct ForceSearchResult {
    // The smallest number judged to reach the wanted chance; none when even
    // the largest does not, or when the search was cancelled.
    std::optional<int32_t> found;
    std::vector<NumberTrial> trials;  // in the order tried
    int64_t battles = 0;
    bool cancelled = false;
    // Pairs (a, b) of numbers tried, a < b, where b's win chance lies wholly
    // below a's: the chance does not rise with the number there, and a number
    // that was not tried may do better than the search assumed.
    std::vector<std::pair<int32_t, int32_t>> falls;

    const NumberTrial* trialOf(int32_t number) const;
    // The found number's trial; without one, the largest number's.
    const NumberTrial* answer() const;
    // The next lower number tried below the answer's.
    const NumberTrial* lower() const;
    bool anyAtCap() const;
};

// Searches 1 to options.largest. Throws std::invalid_argument on options
// outside their ranges.
ForceSearchResult FindForce(const BatchFighter& fight, const ForceSearchOptions& options);

// The real battles: I against II, with kind `kind` of side `side` (0 for I,
// 1 for II) set to each number tried as the modify dialog would set it. The
// armies are copied: the caller's are never touched. threads as for Simulate.
BatchFighter SimulatedBattles(const Army& I, const Army& II, int side, int32_t kind, int threads = 0,
                              const std::atomic<bool>* cancel = nullptr);

// The answer in words, a line each, as the force dialog and orbsim give it:
// the number found (or the chance the largest reached), saying so when that
// rests on a number judged at the cap, the next lower number tried, numbers
// judged at the cap, falls, and the battles fought.
// kindName names the kind ("Knights"); seconds is the time the search took.
std::vector<std::string> DescribeForce(const ForceSearchResult& result, const ForceSearchOptions& options,
                                       const std::string& kindName, double seconds);
// Whose kind a search varies and against whom, as the answer's title names
// them.
struct ForceTitle {
    std::string kindName;
    std::string abbreviation;
    std::string playerNumber;
    std::string playerName;
    std::string enemyNumber;
    std::string enemyName;
};
// The whole answer as orbsim prints it: the title, DescribeForce's lines and
// a table of the numbers tried.
std::string ForceText(const ForceSearchResult& result, const ForceSearchOptions& options, const ForceTitle& title,
                      double seconds);
// A share as the answer shows it: "91.4%", with a second decimal for wanted
// chances above 99%.
std::string PercentText(double share, double target);
