#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "army/Army.h"

// Fights the same battle many times, on every core, each worker on its own
// copies of the two armies and with its own generator stream, and gathers
// the losses and the spread of the outcome.
struct SimulationOptions {
    int32_t runs = 10;
    // Worker threads; 0 means one per core.
    int threads = 0;
    // With a seed every run is seeded from it and the run's number, so the
    // result depends on the seed alone, whatever the thread count.
    std::optional<uint64_t> seed;
    // Set from another thread to stop after the battles in flight.
    const std::atomic<bool>* cancel = nullptr;
    // Called now and then (about every 20 ms, never two calls at once) from
    // a worker thread with the runs done so far.
    std::function<void(int32_t done)> progress;
    // Called by a worker after each run, from several threads at once;
    // lets tests pace a simulation.
    std::function<void()> afterRun;
};

// The spread of one quantity over the runs, kept as exact integer sums:
// parts gathered by any number of workers merge, in any order, into the
// same figures to the last bit. 9,999 units over 10,000,000 runs sum their
// squares to about 10^15, far inside 64 bits.
struct Spread {
    int64_t count = 0;
    int64_t sum = 0;
    int64_t sumSquares = 0;
    int32_t min = 0;
    int32_t max = 0;

    void add(int32_t value);
    void merge(const Spread& other);
    double mean() const { return count > 0 ? static_cast<double>(sum) / static_cast<double>(count) : 0.0; }
    double variance() const;
    double standardDeviation() const;
    bool operator==(const Spread&) const = default;
};

// A share with its 95% confidence interval (Wilson score interval).
struct Proportion {
    double value = 0;
    double low = 0;
    double high = 0;
};
Proportion WinChance(int64_t wins, int64_t runs);

struct SideResult {
    // Per kind: the losses summed over the runs, and the units left per run.
    std::array<int64_t, Army::maxTypes> casualties{};
    std::array<Spread, Army::maxTypes> unitsLeft{};
    // Units left of the whole army, one entry per finished run, in run order.
    std::vector<int32_t> totalLeft;
    int64_t wins = 0;
};

struct SimulationResult {
    int32_t firstRun = 0;  // of the runs this result holds, for merging parts
    int32_t runsDone = 0;
    bool cancelled = false;
    std::array<SideResult, 2> sides;
    // Strikes made in all the runs, counter-strikes included.
    uint64_t strikes = 0;
    // The simulation's seed, drawn when none was given: with it and a run's
    // number (RunSeed) any run can be fought again.
    uint64_t seed = 0;
    // The runs fought, as ranges [first, last) in run order: one range unless
    // a cancel left gaps. The entries of totalLeft belong to them in order.
    std::vector<std::pair<int32_t, int32_t>> fought;
    // The run an entry of totalLeft belongs to.
    int32_t runOf(size_t entry) const;
};

// The seed of run `run` of a simulation seeded with `seed`: neighbouring
// runs get unrelated streams. A battle fought with it as its fixed seed is
// the run's battle, draw for draw.
uint64_t RunSeed(uint64_t seed, int32_t run);

// Fights options.runs battles of I against II. The armies are only read.
// Nothing is fought when runs < 1 or either army has no units. An exception
// from a callback stops the workers and is rethrown here.
SimulationResult Simulate(const Army& I, const Army& II, const SimulationOptions& options);

// Runs firstRun to lastRun - 1 of a simulation seeded with `seed`, fought on
// the calling thread: the same battles those runs are in Simulate, so a
// simulation can be split by run number over workers that share nothing
// (the browser's) and merged with MergeRuns into the same result.
SimulationResult SimulateRuns(const Army& I, const Army& II, uint64_t seed, int32_t firstRun, int32_t lastRun,
                              const std::atomic<bool>* cancel = nullptr);
class LeanBattle;

// The runs of a simulation fought slice by slice on the calling thread, as
// SimulateRuns fights them, with the fast engine's tables built once for the
// armies: a worker fighting many short slices of the same armies (the
// browser's) pays for them once.
class RunFighter {
public:
    RunFighter(const Army& I, const Army& II);
    ~RunFighter();
    RunFighter(const RunFighter&) = delete;
    RunFighter& operator=(const RunFighter&) = delete;
    SimulationResult Fight(uint64_t seed, int32_t firstRun, int32_t lastRun, const std::atomic<bool>* cancel = nullptr);

private:
    Army I_;
    Army II_;
    std::unique_ptr<LeanBattle> lean_;
};

// The parts of one simulation of `runs` runs, given in any order, as one
// result in run order; cancelled when fewer runs were fought.
SimulationResult MergeRuns(std::vector<SimulationResult> parts, int32_t runs);
