// Simulation benchmarks: repeated battles between catalogue armies of three
// sizes, on one worker and on every core, reporting runs per second and the
// wall time per strike. The largest pair is what the add dialog allows at
// most: 40 kinds of 9,999 units a side.
//
// A 999-run simulation of the largest armies costs 999 / runs_per_s; the
// benchmark fights a few runs and leaves the extrapolation to the reader.
// bench/largest.json holds the same two armies as an army file, to time the
// whole simulation through orbsim:
//   time orbsim bench/largest.json --runs 999

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "army/Army.h"
#include "army/Catalogue.h"
#include "battle/Simulation.h"

namespace {

void addKind(Army& army, std::string_view abbreviation, int32_t n) {
    const CatalogueRow* row = Unitcatalogue::find(abbreviation);
    if (!row || army.AddKind(Unitcatalogue::values(*row), n) != Army::AddResult::Added) {
        std::fprintf(stderr, "cannot add %.*s\n", static_cast<int>(abbreviation.size()), abbreviation.data());
        std::exit(1);
    }
}

// Eight kinds a side in the shares of a 2,000-unit army: shooters, mounted,
// foot, go-anywhere kinds and a back line.
using Order = std::pair<std::string_view, int32_t>;
constexpr Order kSideI[] = {{"ARC", 300}, {"XBO", 200}, {"KNI", 250}, {"CAV", 300},
                            {"SPE", 400}, {"MAX", 250}, {"GON", 100}, {"APP", 200}};
constexpr Order kSideII[] = {{"HAC", 250}, {"ROC", 250}, {"MRI", 150}, {"WRI", 350},
                             {"CLA", 400}, {"ETR", 300}, {"BOD", 100}, {"CLE", 200}};

Army eightKinds(const Order (&orders)[8], int32_t scale) {
    Army army;
    for (const auto& [abbreviation, n] : orders)
        addKind(army, abbreviation, n * scale);
    return army;
}

// Forty different catalogue kinds of 9,999 units; the two sides draw from
// the two halves of the table, so each has every position and type.
Army fullArmy(int side) {
    Army army;
    const auto& rows = Unitcatalogue::rows();
    for (int i = 0; i < Army::maxTypes; ++i)
        addKind(army, rows[(side * 47 + i) % Unitcatalogue::rowCount].Abbreviation, 9999);
    return army;
}

enum Size { Medium, Large, Full };

const std::pair<Army, Army>& armies(Size size) {
    static const std::pair<Army, Army> medium{eightKinds(kSideI, 1), eightKinds(kSideII, 1)};
    static const std::pair<Army, Army> large{eightKinds(kSideI, 50), eightKinds(kSideII, 50)};
    static const std::pair<Army, Army> full{fullArmy(0), fullArmy(1)};
    switch (size) {
        case Medium:
            return medium;
        case Large:
            return large;
        default:
            return full;
    }
}

// Args: army size, worker threads (0: one per core).
void BM_Simulate(benchmark::State& state) {
    const auto size = static_cast<Size>(state.range(0));
    const auto& [I, II] = armies(size);
    SimulationOptions options;
    options.threads = static_cast<int>(state.range(1));
    const int workers = options.threads > 0 ? options.threads : static_cast<int>(std::thread::hardware_concurrency());
    // Enough runs per simulation that every worker has several.
    options.runs = (size == Medium ? 16 : size == Large ? 4 : 2) * std::max(workers, 1);
    int64_t runs = 0;
    uint64_t strikes = 0;
    for (auto _ : state) {
        const SimulationResult r = Simulate(I, II, options);
        runs += r.runsDone;
        strikes += r.strikes;
        benchmark::DoNotOptimize(r.sides[0].wins);
    }
    state.counters["workers"] = workers;
    state.counters["runs_per_s"] = benchmark::Counter(static_cast<double>(runs), benchmark::Counter::kIsRate);
    // Wall time per strike: with several workers, strikes made side by side
    // share the clock.
    state.counters["s_per_strike"] =
        benchmark::Counter(static_cast<double>(strikes), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["strikes_per_run"] = static_cast<double>(strikes) / static_cast<double>(std::max<int64_t>(runs, 1));
}

BENCHMARK(BM_Simulate)
    ->ArgNames({"size", "threads"})
    ->ArgsProduct({{Medium, Large, Full}, {1, 0}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
