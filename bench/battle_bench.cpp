// Battle engine benchmarks: whole battles between catalogue armies of three
// sizes, each iteration costing what one "Create Battle Report" costs (line
// set-up, shuffles, every phase, the report), plus the same battles without
// report text.
//
// First a table sets the engines beside their floor: a bare loop that only
// draws a target, draws a hit, lowers hit points and buries the dead by a
// swap, with the same generator over the same lines. The lean engine that
// simulations fight on, the engine of record with and without a report, and
// the floor are timed in turns in one run, so the ratios hold even on a busy
// machine. `--no_floor` skips it.
//
// Before the timings a fixed-seed signature is printed: strikes, units left
// and a hash of the report text over a fixed set of battles. A change meant
// to keep behaviour must leave it unchanged. `--signature_only` prints it
// and exits; `--no_signature` skips it.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "army/Army.h"
#include "army/Catalogue.h"
#include "battle/Battle.h"
#include "battle/LeanBattle.h"
#include "battle/Random.h"
#include "battle/Report.h"

namespace {

struct Order {
    std::string_view abbreviation;
    int32_t number;  // units at the medium size of 2,000 a side
};

// Eight kinds a side: shooters of position "R", mounted, foot and
// go-anywhere kinds (some of which shoot too), and a back line, one of whose
// kinds shoots while it waits behind the line.
constexpr Order kSideI[] = {
    {"ARC", 300}, {"XBO", 200}, {"KNI", 250}, {"CAV", 300}, {"SPE", 400}, {"MAX", 250}, {"GON", 100}, {"APP", 200},
};
constexpr Order kSideII[] = {
    {"HAC", 250}, {"ROC", 250}, {"MRI", 150}, {"WRI", 350}, {"CLA", 400}, {"ETR", 300}, {"BOD", 100}, {"CLE", 200},
};

constexpr int32_t kMediumSide = 2000;

std::unique_ptr<Army> makeArmy(const Order (&orders)[8], int32_t perSide) {
    auto army = std::make_unique<Army>();
    for (const Order& o : orders) {
        const CatalogueRow* row = Unitcatalogue::find(o.abbreviation);
        if (!row) {
            std::fprintf(stderr, "unknown catalogue abbreviation %.*s\n", static_cast<int>(o.abbreviation.size()),
                         o.abbreviation.data());
            std::exit(1);
        }
        const KindValues v = Unitcatalogue::values(*row);
        // Every kind keeps at least one unit, so the small armies still hold
        // every position.
        const auto n = std::max<int32_t>(
            1, static_cast<int32_t>(std::lround(static_cast<double>(o.number) * perSide / kMediumSide)));
        if (army->AddKind(v, n) != Army::AddResult::Added) {
            std::fprintf(stderr, "could not add %.*s\n", static_cast<int>(o.abbreviation.size()),
                         o.abbreviation.data());
            std::exit(1);
        }
    }
    return army;
}

struct Armies {
    std::unique_ptr<Army> I;
    std::unique_ptr<Army> II;
    explicit Armies(int32_t perSide) : I(makeArmy(kSideI, perSide)), II(makeArmy(kSideII, perSide)) {}
};

// Kept out of line so profilers can count exactly the cost of battles.
[[gnu::noinline]] void fightOne(Battle& battle, Armies& a) {
    Battle::PrepareLine(*a.I);
    Battle::PrepareLine(*a.II);
    battle.FightBattle(*a.I, *a.II);
}

// The same clock as the benchmark's CPU column, read around the timed loop.
double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void runBattles(benchmark::State& state, bool withReport) {
    Armies armies(static_cast<int32_t>(state.range(0)));
    StringReport report;
    Battle battle(withReport ? &report : nullptr);
    battle.setFixedSeed(20240601);
    const uint64_t strikesBefore = battle.strikeCount;
    const double cpuBefore = threadCpuSeconds();
    for (auto _ : state) {
        fightOne(battle, armies);
        benchmark::DoNotOptimize(armies.I->unittypes[0].LastCasualties);
    }
    const double cpu = threadCpuSeconds() - cpuBefore;
    const auto strikes = static_cast<double>(battle.strikeCount - strikesBefore);
    state.counters["battles_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["ns_per_strike"] = strikes > 0 ? cpu * 1e9 / strikes : 0.0;
    state.counters["strikes_per_battle"] = strikes / static_cast<double>(state.iterations());
}

void BM_BattleWithReport(benchmark::State& state) {
    runBattles(state, true);
}
void BM_BattleNoReport(benchmark::State& state) {
    runBattles(state, false);
}

BENCHMARK(BM_BattleWithReport)
    ->ArgName("per_side")
    ->Arg(20)
    ->Arg(kMediumSide)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BattleNoReport)
    ->ArgName("per_side")
    ->Arg(20)
    ->Arg(kMediumSide)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);

// ---- The floor ------------------------------------------------------------

// Both armies' units as a battle starts, and per side the hit threshold of
// each target kind (the chance of the side's first kind against it).
struct FloorArmies {
    std::vector<Unit> start[2];
    std::array<uint64_t, Army::maxTypes> threshold[2]{};
    std::vector<uint64_t> recip;

    explicit FloorArmies(const Armies& a) {
        const Army* armies[2] = {a.I.get(), a.II.get()};
        for (int s = 0; s < 2; ++s) {
            start[s].assign(armies[s]->units.begin(), armies[s]->units.begin() + armies[s]->currentSize);
            const Army& foe = *armies[1 - s];
            for (int32_t k = 0; k <= foe.currentType; ++k)
                threshold[s][k] =
                    wyrand::hitThreshold(Battle::HitChance(armies[s]->unittypes[0].Offense, foe.unittypes[k].Defense));
        }
        recip.resize(std::max(start[0].size(), start[1].size()) + 1);
        for (size_t n = 1; n < recip.size(); ++n)
            recip[n] = wyrand::reciprocal(static_cast<uint32_t>(n));
    }
};

// Bare battles until at least minStrikes strikes: the sides strike in turn,
// each strike a target draw, a hit draw, the hit points and a burial by
// swap, until one line is empty; then both lines start afresh.
[[gnu::noinline]] uint64_t floorStrikes(const FloorArmies& f, std::vector<Unit> (&work)[2], uint64_t& st,
                                        uint64_t minStrikes) {
    using namespace wyrand;
    uint64_t strikes = 0;
    while (strikes < minStrikes) {
        int32_t line[2];
        for (int s = 0; s < 2; ++s) {
            work[s] = f.start[s];
            line[s] = static_cast<int32_t>(work[s].size());
        }
        int s = 0;
        while (line[0] > 0 && line[1] > 0) {
            const int t = 1 - s;
            Unit* const u = work[t].data();
            const int32_t n = line[t];
            const auto i =
                static_cast<int32_t>(fastmod(output(st = advance(st)), f.recip[n], static_cast<uint32_t>(n)));
            const bool hit = hitDraw(output(st = advance(st)), f.threshold[s][u[i].Typeindex]);
            const int32_t hp = u[i].Hitpoints - hit;
            u[i].Hitpoints = hp;
            const int32_t d = hp <= 0;
            line[t] = n - d;
            std::swap(u[i], u[i + ((n - d - i) & -d)]);
            s = t;
            ++strikes;
        }
    }
    return strikes;
}

// The engine beside the floor at each size, three ways: as a simulation
// fights (the lean engine), the engine of record without a report (what
// simulations fought before the lean engine) and with one (a battle report).
// Each is timed for a slice in turn, several times, and the best slice of
// each kept: a busy machine only ever slows a slice down.
void printFloorTable() {
    constexpr double slice = 0.2;  // seconds of thread time per measurement
    constexpr int turns = 5;
    std::printf("ns per strike, counter-strikes included; floor: draw a target, draw a hit, bury by swap\n");
    std::printf("%-9s %10s %10s %10s %10s %8s %8s %8s\n", "per_side", "sim", "record", "report", "floor", "sim/fl",
                "rec/fl", "rep/fl");
    for (const int32_t perSide : {20, kMediumSide, 100000}) {
        Armies armies(perSide);
        armies.I->Rebuild();
        armies.II->Rebuild();
        const FloorArmies f(armies);
        std::vector<Unit> work[2];
        uint64_t st = 1;
        LeanBattle lean(*armies.I, *armies.II);
        StringReport report;
        Battle withReport(&report);
        Battle withoutReport(nullptr);
        withReport.setFixedSeed(7);
        withoutReport.setFixedSeed(7);
        uint64_t seed = 0;
        std::array<double, 4> best{1e9, 1e9, 1e9, 1e9};
        for (int turn = 0; turn < turns; ++turn) {
            for (size_t which = 0; which < best.size(); ++which) {
                uint64_t strikes = 0;
                const double t0 = threadCpuSeconds();
                double t = 0;
                do {
                    if (which == 0) {
                        const uint64_t before = lean.strikeCount;
                        lean.Fight(++seed);
                        strikes += lean.strikeCount - before;
                    } else if (which == 3) {
                        strikes += floorStrikes(f, work, st, 1);
                    } else {
                        Battle& battle = which == 1 ? withoutReport : withReport;
                        const uint64_t before = battle.strikeCount;
                        fightOne(battle, armies);
                        strikes += battle.strikeCount - before;
                    }
                    t = threadCpuSeconds() - t0;
                } while (t < slice);
                best[which] = std::min(best[which], t * 1e9 / static_cast<double>(strikes));
            }
        }
        std::printf("%-9d %10.2f %10.2f %10.2f %10.2f %8.2f %8.2f %8.2f\n", perSide, best[0], best[1], best[2], best[3],
                    best[0] / best[3], best[1] / best[3], best[2] / best[3]);
    }
    std::fflush(stdout);
}

uint64_t fnv1a(uint64_t h, std::string_view s) {
    for (unsigned char c : s) {
        h ^= c;
        h *= 0x100000001B3ULL;
    }
    return h ^ 0xFF;  // marks the end of a line, so line breaks count
}

// Fixed-seed battles at every size; anything that should leave behaviour
// alone must leave these figures alone.
void printSignature() {
    struct Run {
        int32_t perSide;
        int battles;
    };
    const Run runs[] = {{20, 200}, {kMediumSide, 20}, {100000, 2}};
    for (const Run& run : runs) {
        Armies armies(run.perSide);
        StringReport report;
        Battle battle(&report);
        battle.setFixedSeed(12345);
        uint64_t unitsLeft = 0;
        uint64_t reportHash = 0xCBF29CE484222325ULL;
        for (int b = 0; b < run.battles; ++b) {
            fightOne(battle, armies);
            for (const Army* a : {armies.I.get(), armies.II.get()})
                for (int32_t k = 0; k <= a->currentType; ++k)
                    unitsLeft += static_cast<uint64_t>(a->unittypes[k].Number - a->unittypes[k].LastCasualties);
            for (const auto& column : report.columns)
                for (const std::string& line : column)
                    reportHash = fnv1a(reportHash, line);
        }
        std::printf("signature per_side=%d battles=%d strikes=%llu units_left=%llu report_hash=%016llx\n", run.perSide,
                    run.battles, static_cast<unsigned long long>(battle.strikeCount),
                    static_cast<unsigned long long>(unitsLeft), static_cast<unsigned long long>(reportHash));
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    bool signatureOnly = false;
    bool signature = true;
    bool floor = true;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--signature_only") == 0)
            signatureOnly = true;
        else if (std::strcmp(argv[i], "--no_signature") == 0)
            signature = false;  // profiles of one benchmark stay unmixed
        else if (std::strcmp(argv[i], "--no_floor") == 0)
            floor = false;
        else
            args.push_back(argv[i]);
    }
    if (signature || signatureOnly)
        printSignature();
    if (signatureOnly)
        return 0;
    if (floor)
        printFloorTable();
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    if (benchmark::ReportUnrecognizedArguments(n, args.data()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
