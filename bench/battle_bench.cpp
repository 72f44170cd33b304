// Battle engine benchmarks: whole battles between catalogue armies of three
// sizes, each iteration costing what one "Create Battle Report" costs (line
// set-up, shuffles, every phase, the report), plus the same battles without
// report text as a simulation run fights them.
//
// Before the timings a fixed-seed signature is printed: strikes, units left
// and a hash of the report text over a fixed set of battles. A change meant
// to keep behaviour must leave it unchanged. `--signature_only` prints it
// and exits; `--no_signature` skips it.

#include <benchmark/benchmark.h>

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
    {"ARC", 300}, {"XBO", 200}, {"KNI", 250}, {"CAV", 300},
    {"SPE", 400}, {"MAX", 250}, {"GON", 100}, {"APP", 200},
};
constexpr Order kSideII[] = {
    {"HAC", 250}, {"ROC", 250}, {"MRI", 150}, {"WRI", 350},
    {"CLA", 400}, {"ETR", 300}, {"BOD", 100}, {"CLE", 200},
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
            std::fprintf(stderr, "could not add %.*s\n", static_cast<int>(o.abbreviation.size()), o.abbreviation.data());
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
    state.counters["battles_per_s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["ns_per_strike"] = strikes > 0 ? cpu * 1e9 / strikes : 0.0;
    state.counters["strikes_per_battle"] = strikes / static_cast<double>(state.iterations());
}

void BM_BattleWithReport(benchmark::State& state) { runBattles(state, true); }
void BM_BattleNoReport(benchmark::State& state) { runBattles(state, false); }

BENCHMARK(BM_BattleWithReport)->ArgName("per_side")->Arg(20)->Arg(kMediumSide)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BattleNoReport)->ArgName("per_side")->Arg(20)->Arg(kMediumSide)->Arg(100000)->Unit(benchmark::kMicrosecond);

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
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--signature_only") == 0)
            signatureOnly = true;
        else if (std::strcmp(argv[i], "--no_signature") == 0)
            signature = false;  // profiles of one benchmark stay unmixed
        else
            args.push_back(argv[i]);
    }
    if (signature || signatureOnly)
        printSignature();
    if (signatureOnly)
        return 0;
    int n = static_cast<int>(args.size());
    benchmark::Initialize(&n, args.data());
    if (benchmark::ReportUnrecognizedArguments(n, args.data()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
