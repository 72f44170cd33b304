// The force search on the sample army file: the knights player 2 needs to
// beat 20 archers and 5 golden dragons nine times in ten. Wall time is the
// time a player waits; the process CPU time shows what the workers spent,
// which is the fairer figure on a machine busy with other work.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "battle/ForceSearch.h"
#include "files/ArmyFileIO.h"

#ifndef ORB_SAMPLE_ARMIES
#error "ORB_SAMPLE_ARMIES must name examples/armies.json"
#endif

namespace {

struct Sample {
    Army I;
    Army II;
};

const Sample& sample() {
    static const Sample s = [] {
        armyfile::ArmySetup setup;
        QString error;
        Sample out;
        if (!armyfile::LoadArmies(QStringLiteral(ORB_SAMPLE_ARMIES), &setup, &error) ||
            !armyfile::BuildArmy(setup.players[0], &out.I) || !armyfile::BuildArmy(setup.players[1], &out.II)) {
            std::fprintf(stderr, "cannot load the sample: %s\n", qPrintable(error));
            std::exit(1);
        }
        return out;
    }();
    return s;
}

// Arg: worker threads (0: one per core).
void BM_FindKnights(benchmark::State& state) {
    const Sample& s = sample();
    ForceSearchOptions options;
    options.target = 0.9;
    int64_t battles = 0;
    int32_t found = 0;
    uint64_t seed = 1;
    for (auto _ : state) {
        options.seed = seed++;  // a fresh seed each time: the figure is not one lucky draw
        const ForceSearchResult r =
            FindForce(SimulatedBattles(s.I, s.II, 1, 0, static_cast<int>(state.range(0))), options);
        battles += r.battles;
        found = r.found.value_or(-1);
    }
    state.counters["knights"] = found;
    state.counters["battles"] = benchmark::Counter(static_cast<double>(battles), benchmark::Counter::kAvgIterations);
}

BENCHMARK(BM_FindKnights)
    ->ArgName("threads")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
