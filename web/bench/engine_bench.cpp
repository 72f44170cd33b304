// ns per strike of the engine simulations fight on, built from this one
// source both natively and as WebAssembly so that the figures can be set
// side by side. The armies are those of the native benches: 2,000 a side in
// eight kinds, or with "largest" 40 kinds of 9,999 units a side, the most
// the dialogs allow (bench/largest.json). Before the timing a fixed-seed
// signature (strikes and units left over a fixed set of battles) shows that
// every build fights the same battles draw for draw.
// Usage: web_bench [LABEL [largest]]

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "army/Army.h"
#include "army/Catalogue.h"
#include "battle/LeanBattle.h"

namespace {

struct Order {
    std::string_view abbreviation;
    int32_t number;
};

constexpr Order kSideI[] = {
    {"ARC", 300}, {"XBO", 200}, {"KNI", 250}, {"CAV", 300}, {"SPE", 400}, {"MAX", 250}, {"GON", 100}, {"APP", 200},
};
constexpr Order kSideII[] = {
    {"HAC", 250}, {"ROC", 250}, {"MRI", 150}, {"WRI", 350}, {"CLA", 400}, {"ETR", 300}, {"BOD", 100}, {"CLE", 200},
};

void add(Army& army, std::string_view abbreviation, int32_t number) {
    const CatalogueRow* row = Unitcatalogue::find(abbreviation);
    if (!row || army.AddKind(Unitcatalogue::values(*row), number) != Army::AddResult::Added) {
        std::fprintf(stderr, "could not add %.*s\n", static_cast<int>(abbreviation.size()), abbreviation.data());
        std::exit(1);
    }
}

void build(Army& army, const Order (&orders)[8]) {
    for (const Order& o : orders)
        add(army, o.abbreviation, o.number);
    army.Rebuild();
}

// Forty different catalogue kinds of 9,999 units, as sim_bench builds them.
void buildLargest(Army& army, int side) {
    const auto& rows = Unitcatalogue::rows();
    for (int i = 0; i < Army::maxTypes; ++i)
        add(army, rows[(side * 47 + i) % Unitcatalogue::rowCount].Abbreviation, 9999);
    army.Rebuild();
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
    const char* label = argc > 1 ? argv[1] : "engine";
    const bool largest = argc > 2 && std::strcmp(argv[2], "largest") == 0;
    const char* size = largest ? "40 kinds of 9999 a side" : "2000 a side";
    static Army I, II;
    if (largest) {
        buildLargest(I, 0);
        buildLargest(II, 1);
    } else {
        build(I, kSideI);
        build(II, kSideII);
    }
    LeanBattle lean(I, II);

    // A battle of the largest armies takes about as long as a slice.
    const uint64_t signatureBattles = largest ? 2 : 20;
    uint64_t left = 0;
    for (uint64_t seed = 1; seed <= signatureBattles; ++seed) {
        lean.Fight(seed);
        for (int s = 0; s < 2; ++s) {
            const Army& army = s == 0 ? I : II;
            for (int32_t k = 0; k < army.kindCount(); ++k)
                left += static_cast<uint64_t>(army.unittypes[k].Number - lean.Losses(s)[k]);
        }
    }
    std::printf("%s signature at %s: strikes=%llu units_left=%llu\n", label, size,
                static_cast<unsigned long long>(lean.strikeCount), static_cast<unsigned long long>(left));

    // The best of several slices: a busy machine only ever slows one down.
    constexpr double slice = 0.3;
    double best = 1e9;
    uint64_t seed = 1000;
    for (int turn = 0; turn < 7; ++turn) {
        const uint64_t before = lean.strikeCount;
        const double t0 = now();
        double t = 0;
        do {
            lean.Fight(++seed);
            t = now() - t0;
        } while (t < slice);
        best = std::min(best, t * 1e9 / static_cast<double>(lean.strikeCount - before));
    }
    std::printf("%s ns per strike at %s: %.2f\n", label, size, best);
    return 0;
}
