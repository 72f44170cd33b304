// ns per strike of the engine simulations fight on, at 2,000 a side, built
// from this one source both natively and as WebAssembly so that the two
// figures can be set side by side. The armies are those of the native
// battle bench's medium size. Before the timing a fixed-seed signature
// (strikes and units left over a fixed set of battles) shows that both
// builds fight the same battles draw for draw.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

void build(Army& army, const Order (&orders)[8]) {
    for (const Order& o : orders) {
        const CatalogueRow* row = Unitcatalogue::find(o.abbreviation);
        if (!row || army.AddKind(Unitcatalogue::values(*row), o.number) != Army::AddResult::Added) {
            std::fprintf(stderr, "could not add %.*s\n", static_cast<int>(o.abbreviation.size()), o.abbreviation.data());
            std::exit(1);
        }
    }
    army.Rebuild();
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

int main(int argc, char** argv) {
    const char* label = argc > 1 ? argv[1] : "engine";
    static Army I, II;
    build(I, kSideI);
    build(II, kSideII);
    LeanBattle lean(I, II);

    uint64_t left = 0;
    for (uint64_t seed = 1; seed <= 20; ++seed) {
        lean.Fight(seed);
        for (int s = 0; s < 2; ++s)
            for (int32_t k = 0; k < 8; ++k)
                left += static_cast<uint64_t>((s == 0 ? I : II).unittypes[k].Number - lean.Losses(s)[k]);
    }
    std::printf("%s signature: strikes=%llu units_left=%llu\n", label,
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
    std::printf("%s ns per strike at 2000 a side: %.2f\n", label, best);
    return 0;
}
