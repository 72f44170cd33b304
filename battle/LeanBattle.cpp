#include "LeanBattle.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "Battle.h"
#include "Random.h"
#include "rules/DialogRules.h"

namespace {
// if_ ? a : b without a branch: outcomes here are coin tosses, which a
// branch would mispredict half the time, and GCC turns a plain ?: into one.
template <class T>
[[gnu::always_inline]] inline T pick(bool if_, T a, T b) {
#if defined(__x86_64__) && defined(__GNUC__)
    static_assert(sizeof(T) == 4 || sizeof(T) == 8);
    asm("test %1, %1\n\tcmovnz %2, %0" : "+r"(b) : "r"(if_), "r"(a) : "cc");
    return b;
#else
    return static_cast<T>(b ^ ((a ^ b) & (T{0} - static_cast<T>(if_))));
#endif
}
}  // namespace

using wyrand::advance;
using wyrand::fastmod;
using wyrand::hitDraw;
using wyrand::output;

template <class Soldier, bool Far>
class LeanBattle::Engine final : public LeanBattle::Fighter {
public:
    // Hit points and counter-strikes each have a field this wide: 4 bits in
    // two-byte soldiers, 12 in four-byte ones.
    static constexpr int kBits = 8 * sizeof(Soldier);
    static constexpr int kField = (kBits - 8) / 2;
    static constexpr int32_t kLargest = (int32_t{1} << kField) - 1;

    Engine(const Army& I, const Army& II);
    void Fight(uint64_t seed) override;
    const std::array<int32_t, Army::maxTypes>& Losses(int side) const override { return sides_[side].armyLosses; }

private:
    using Pos = Battle::Pos;

    // One soldier: its hit points in the low field (a unit is dead when they
    // reach 0, and a dead unit is never struck again), the counter-strikes
    // it made in this phase in the next, its kind above them, whether it
    // stands in position "R", and whether it shoots in the ranged phase. All
    // of it travels with the unit, so one load reads what a strike needs and
    // burying the dead keeps it right without further work; two-byte
    // soldiers keep the largest armies in the core's own cache.
    static constexpr uint32_t kHitpoints = static_cast<uint32_t>(kLargest);
    static constexpr int kCountShift = kField;
    static constexpr uint32_t kCounts = kHitpoints << kCountShift;
    static constexpr int kKindShift = 2 * kField;
    static constexpr uint32_t kRangedPosition = uint32_t{1} << (kBits - 2);
    static constexpr uint32_t kActs = uint32_t{1} << (kBits - 1);
    static int32_t kindOf(uint32_t u) { return static_cast<int32_t>((u >> kKindShift) & 63); }
    static int32_t countsOf(uint32_t u) { return static_cast<int32_t>((u >> kCountShift) & kHitpoints); }

    struct Side {
        std::vector<Soldier> start;  // as Rebuild leaves them
        std::vector<Soldier> units;  // with room past the end for a scan sixteen at a time
        int32_t size = 0;
        int32_t sizeMinusB = 0;
        int32_t line = 0;  // Lifecounter
        int32_t bexposed = 0;
        int32_t kinds = 0;  // kinds in use: 0 to currentType
        // Head counters by position before a battle (NumberR counting
        // shooters outside position "R" too), and the position "R" units.
        std::array<int32_t, 6> startNumber{};
        int32_t startRanged = 0;
        std::array<uint8_t, Army::maxTypes> pos{};
        std::array<uint8_t, Army::maxTypes> shoots{};
        std::array<uint8_t, Army::maxTypes> extraR{};  // a shooter outside position "R"
        std::array<int32_t, Army::maxTypes> attacks{};
        std::array<int32_t, Army::maxTypes> losses{};
        // The kinds as NumberKinds numbers them: armyKind[k] is the army's
        // number of kind k.
        std::array<uint8_t, Army::maxTypes> armyKind{};
        std::array<int32_t, 6> firstOfPosition{};  // the kinds of code p: from firstOfPosition[p]
        std::array<int32_t, 6> endOfPosition{};    // to endOfPosition[p], not included
        int32_t firstShooter = 0, endShooter = 0;
        bool shootersInRange = true;  // else the ranged phase flags its actors
        // The current phase's actors: kinds actFirst to actEnd, or flagged
        // (only shooters, in the ranged phase, are ever flagged).
        int32_t actFirst = 0, actEnd = 0;
        bool flagged = false;
        std::array<int32_t, Army::maxTypes> armyLosses{};
    };

    // What a phase reads at every turn, per side. Every access names its side
    // with a constant, so the whole record lives in registers.
    struct Hot {
        std::array<int32_t, 2> line;
        std::array<uint64_t, 2> m;  // reciprocal of line, for the target draw
        std::array<int32_t, 2> actor;
        std::array<int32_t, 2> acted;
        std::array<int32_t, 2> K;       // the phase's head counter
        std::array<int32_t, 2> ranged;  // NumberR
        std::array<int32_t, 2> rangedInLine;
    };

    void shuffle(Side& side, int32_t lo, int32_t hi);
    static void resetCounters(Side& side);
    static void markActors(Side& side);
    static void exposeBackline(Side& side);
    template <int S>
    void expose(Hot& h);
    // The hot values as a phase of code C starts; the head counters only in
    // round 1's phases, which alone read them (C is PosOther in later rounds).
    template <Pos C>
    Hot hot() const;
    template <Pos C>
    void positionPhase();
    // A turn and an action, inlined into their phase's loop so that the
    // record of hot values stays in registers.
    template <Pos C, int S>
    [[gnu::always_inline]] bool positionTurn(Hot& h, uint64_t& st);
    void meleePhase();
    template <int S>
    [[gnu::always_inline]] bool meleeTurn(Hot& h, uint64_t& st);
    template <Pos C, int S>
    [[gnu::always_inline]] void action(Hot& h, uint64_t& st);
    template <Pos C, int X>
    [[gnu::always_inline]] void bury(Hot& h, int32_t i, int32_t kind, int32_t d, uint64_t mShorter);

    std::array<Side, 2> sides_;
    uint64_t state_ = 0;
    std::vector<uint64_t> recip_;  // recip_[n] = reciprocal(n) for n >= 1
    // Hit thresholds by attacking side, attacker kind and target kind.
    std::array<std::array<std::array<uint64_t, Army::maxTypes>, Army::maxTypes>, 2> rangedChance_{};
    std::array<std::array<std::array<uint64_t, Army::maxTypes>, Army::maxTypes>, 2> meleeChance_{};
    // The same melee thresholds by struck side, attacker kind and struck
    // kind: a counter-strike's chance against its attacker, one row per
    // action.
    std::array<std::array<std::array<uint64_t, Army::maxTypes>, Army::maxTypes>, 2> backChance_{};
};

namespace {
// Whether every kind with units has hit points from 1 to largest and at most
// largest attacks.
bool within(const Army& a, int32_t largest) {
    for (int32_t k = 0; k <= a.currentType; ++k) {
        const Unittype& kind = a.unittypes[k];
        if (kind.Number > 0 && (kind.Attacks > largest || kind.Hitpoints < 1 || kind.Hitpoints > largest))
            return false;
    }
    return true;
}
}  // namespace

LeanBattle::KindNumbering LeanBattle::NumberKinds(const Army& a) {
    const int32_t kinds = a.currentType + 1;
    auto position = [&](int32_t ak) { return Battle::posCode(a.unittypes[ak].Position); };
    auto shoots = [&](int32_t ak) { return a.unittypes[ak].Rangedoff > 0; };
    // Positions without shooters first, then one with shooters and others
    // (shooters last), those of shooters only, and one more with both
    // (shooters first): the shooters then stand together. A third position
    // with both leaves them apart.
    std::array<int, 6> mixed{};  // 0: no shooters, 1: both, 2: shooters only
    for (int p = Battle::PosF; p <= Battle::PosOther; ++p) {
        bool shooters = false, others = false;
        for (int32_t ak = 0; ak < kinds; ++ak)
            if (position(ak) == p)
                (shoots(ak) ? shooters : others) = true;
        mixed[p] = shooters ? (others ? 1 : 2) : 0;
    }
    std::vector<std::pair<int, bool>> order;  // position, shooters first
    for (int p = Battle::PosF; p <= Battle::PosOther; ++p)
        if (mixed[p] == 0)
            order.emplace_back(p, false);
    int both = 0;
    for (int p = Battle::PosF; p <= Battle::PosOther; ++p)
        if (mixed[p] == 1 && both++ == 0)
            order.emplace_back(p, false);
    for (int p = Battle::PosF; p <= Battle::PosOther; ++p)
        if (mixed[p] == 2)
            order.emplace_back(p, true);
    for (int p = Battle::PosF, seen = 0; p <= Battle::PosOther; ++p)
        if (mixed[p] == 1 && seen++ > 0)
            order.emplace_back(p, true);

    KindNumbering n;
    n.shootersInRange = both <= 2;
    n.firstShooter = -1;
    int32_t k = 0;
    for (const auto& [p, shootersFirst] : order) {
        n.firstOfPosition[p] = k;
        for (const bool shooting : {shootersFirst, !shootersFirst})
            for (int32_t ak = 0; ak < kinds; ++ak)
                if (position(ak) == p && shoots(ak) == shooting) {
                    if (shooting && n.firstShooter < 0)
                        n.firstShooter = k;
                    if (shooting)
                        n.endShooter = k + 1;
                    n.number[ak] = static_cast<uint8_t>(k);
                    n.armyKind[k++] = static_cast<uint8_t>(ak);
                }
        n.endOfPosition[p] = k;
    }
    n.firstShooter = std::max(n.firstShooter, 0);
    return n;
}

bool LeanBattle::Fits(const Army& I, const Army& II) {
    constexpr int32_t largest = Engine<uint32_t, false>::kLargest;
    // Every army the dialogs and army files accept fits the four-byte
    // records, so simulations of them never leave this engine.
    static_assert(dialogrules::MaxValue <= largest, "attacks and hit points the dialogs accept must fit a record");
    static_assert(dialogrules::MaxKinds <= 64, "every kind must fit the six bits of a record's kind");
    return within(I, largest) && within(II, largest);
}

LeanBattle::LeanBattle(const Army& I, const Army& II) {
    constexpr int32_t largest = Engine<uint16_t, false>::kLargest;
    narrow_ = within(I, largest) && within(II, largest);
    // Lines beyond the nearest cache have their next targets fetched ahead;
    // smaller ones do without the work.
    constexpr int32_t farLine = 1 << 15;
    const bool far = std::max(I.currentSize, II.currentSize) > farLine;
    if (narrow_)
        engine_ = far ? std::unique_ptr<Fighter>(std::make_unique<Engine<uint16_t, true>>(I, II))
                      : std::make_unique<Engine<uint16_t, false>>(I, II);
    else
        engine_ = far ? std::unique_ptr<Fighter>(std::make_unique<Engine<uint32_t, true>>(I, II))
                      : std::make_unique<Engine<uint32_t, false>>(I, II);
}

LeanBattle::~LeanBattle() = default;

void LeanBattle::Fight(uint64_t seed) {
    const uint64_t before = engine_->strikeCount;
    engine_->Fight(seed);
    strikeCount += engine_->strikeCount - before;
}

const std::array<int32_t, Army::maxTypes>& LeanBattle::Losses(int side) const {
    return engine_->Losses(side);
}

template <class Soldier, bool Far>
LeanBattle::Engine<Soldier, Far>::Engine(const Army& I, const Army& II) {
    const Army* armies[2] = {&I, &II};
    for (int s = 0; s < 2; ++s) {
        const Army& a = *armies[s];
        Side& side = sides_[s];
        side.size = a.currentSize;
        side.sizeMinusB = a.SizeMinusB;
        side.kinds = a.currentType + 1;
        const KindNumbering numbering = NumberKinds(a);
        const auto& number = numbering.number;
        side.armyKind = numbering.armyKind;
        side.firstOfPosition = numbering.firstOfPosition;
        side.endOfPosition = numbering.endOfPosition;
        side.firstShooter = numbering.firstShooter;
        side.endShooter = numbering.endShooter;
        side.shootersInRange = numbering.shootersInRange;
        side.start.resize(static_cast<size_t>(a.currentSize));
        for (int32_t i = 0; i < a.currentSize; ++i) {
            const Unit& u = a.units[i];
            side.start[static_cast<size_t>(i)] = static_cast<Soldier>(
                (Battle::posCode(a.unittypes[u.Typeindex].Position) == Battle::PosR ? kRangedPosition : 0) |
                uint32_t{number[u.Typeindex]} << kKindShift | static_cast<uint32_t>(u.Hitpoints));
        }
        side.units.resize(side.start.size() + 16);
        side.startNumber = {a.NumberF, a.NumberM, a.NumberR, a.NumberG, a.NumberB, 0};
        for (int32_t k = 0; k < side.kinds; ++k) {
            const Unittype& kind = a.unittypes[side.armyKind[k]];
            side.pos[k] = Battle::posCode(kind.Position);
            side.shoots[k] = kind.Rangedoff > 0;
            side.extraR[k] = side.shoots[k] && side.pos[k] != Battle::PosR;
            side.attacks[k] = kind.Attacks;
        }
        // Position "R" units all stand in the front part.
        for (int32_t i = 0; i < a.SizeMinusB; ++i)
            side.startRanged += Battle::posCode(a.unittypes[a.units[i].Typeindex].Position) == Battle::PosR;
    }
    for (int s = 0; s < 2; ++s) {
        const Army& S = *armies[s];
        const Army& T = *armies[1 - s];
        for (int32_t a = 0; a < sides_[s].kinds; ++a)
            for (int32_t t = 0; t < sides_[1 - s].kinds; ++t) {
                const Unittype& attacker = S.unittypes[sides_[s].armyKind[a]];
                const double def = T.unittypes[sides_[1 - s].armyKind[t]].Defense;
                rangedChance_[s][a][t] = wyrand::hitThreshold(Battle::HitChance(attacker.Rangedoff, def));
                meleeChance_[s][a][t] = wyrand::hitThreshold(Battle::HitChance(attacker.Offense, def));
            }
    }
    for (int s = 0; s < 2; ++s)
        for (int32_t a = 0; a < sides_[1 - s].kinds; ++a)
            for (int32_t t = 0; t < sides_[s].kinds; ++t)
                backChance_[s][a][t] = meleeChance_[s][t][a];
    const size_t n = static_cast<size_t>(I.currentSize) + static_cast<size_t>(II.currentSize) + 1;
    recip_.resize(n);
    for (size_t i = 1; i < n; ++i)
        recip_[i] = wyrand::reciprocal(static_cast<uint32_t>(i));
}

// ---- Draws, line and deaths: as Battle's, on the compact records ------------

template <class Soldier, bool Far>
void LeanBattle::Engine<Soldier, Far>::shuffle(Side& side, int32_t lo, int32_t hi) {
    if (hi <= lo)
        return;
    const auto span = static_cast<uint32_t>(hi - lo);
    const uint64_t m = wyrand::reciprocal(span);
    Soldier* const u = side.units.data() + lo;
    uint64_t st = state_;
    // The exchanges of a big line miss the cache at random places; the
    // places are known draws ahead, so they are fetched that far ahead.
    constexpr int32_t ahead = 16;
    if (span > 4096) {
        uint64_t pre = st;
        for (int32_t d = 0; d < ahead; ++d)
            __builtin_prefetch(&u[fastmod(output(pre = advance(pre)), m, span)], 1);
        for (uint32_t i = 0; i < span; ++i) {
            __builtin_prefetch(&u[fastmod(output(pre = advance(pre)), m, span)], 1);
            std::swap(u[i], u[fastmod(output(st = advance(st)), m, span)]);
        }
    } else {
#pragma GCC unroll 4
        for (uint32_t i = 0; i < span; ++i)
            std::swap(u[i], u[fastmod(output(st = advance(st)), m, span)]);
    }
    state_ = st;
}

// Counter-strikes of the line only: units behind it are dead or have never
// been struck.
template <class Soldier, bool Far>
void LeanBattle::Engine<Soldier, Far>::resetCounters(Side& side) {
    Soldier* const units = side.units.data();
#ifdef __SSE2__
    // Sixteen bytes at a time; the records past the line that this reaches
    // are dead, unstruck or spare, so clearing theirs changes nothing.
    constexpr int32_t step = 16 / sizeof(Soldier);
    const __m128i keep = sizeof(Soldier) == 2 ? _mm_set1_epi16(static_cast<int16_t>(~kCounts))
                                              : _mm_set1_epi32(static_cast<int32_t>(~kCounts));
    for (int32_t i = 0; i < side.line; i += step) {
        auto* const at = reinterpret_cast<__m128i*>(units + i);
        _mm_storeu_si128(at, _mm_and_si128(_mm_loadu_si128(at), keep));
    }
#else
    for (int32_t i = 0; i < side.line; ++i)
        units[i] = static_cast<Soldier>(units[i] & ~kCounts);
#endif
}

template <class Soldier, bool Far>
void LeanBattle::Engine<Soldier, Far>::markActors(Side& side) {
    Soldier* const units = side.units.data();
    for (int32_t i = 0; i < side.line; ++i)
        units[i] = static_cast<Soldier>((units[i] & ~kActs) | uint32_t{side.shoots[kindOf(units[i])]} << (kBits - 1));
}

template <class Soldier, bool Far>
void LeanBattle::Engine<Soldier, Far>::exposeBackline(Side& side) {
    if (side.line > 0 || side.sizeMinusB == side.size || side.bexposed == 1)
        return;
    Soldier* const u = side.units.data();
    for (int32_t i = side.sizeMinusB; i < side.size; ++i)
        std::swap(u[i], u[side.line++]);
    side.bexposed = 1;
    if (side.flagged && side.line != 0)
        markActors(side);
}

// ---- Phases ------------------------------------------------------------------

// The head counters as Battle keeps them, from the losses so far: each death
// takes one off its position's counter, and a shooter outside position "R"
// one more off NumberR.
template <class Soldier, bool Far>
template <Battle::Pos C>
typename LeanBattle::Engine<Soldier, Far>::Hot LeanBattle::Engine<Soldier, Far>::hot() const {
    Hot h{};
    for (int s = 0; s < 2; ++s) {
        const Side& side = sides_[s];
        h.line[s] = side.line;
        h.m[s] = recip_[static_cast<size_t>(side.line)];
        if constexpr (C != Battle::PosOther) {
            int32_t K = side.startNumber[C];
            int32_t ranged = side.startNumber[Battle::PosR];
            int32_t inLine = side.startRanged;
            for (int32_t k = 0; k < side.kinds; ++k) {
                const int32_t lost = side.losses[k];
                const int32_t inR = side.pos[k] == Battle::PosR;
                K -= lost * (side.pos[k] == C);
                ranged -= lost * (inR + side.extraR[k]);
                inLine -= lost * inR;
            }
            h.K[s] = C == Battle::PosR ? ranged : K;
            h.ranged[s] = ranged;
            h.rangedInLine[s] = inLine;
        }
    }
    return h;
}

// ExposeBackline on side S from within a phase.
template <class Soldier, bool Far>
template <int S>
void LeanBattle::Engine<Soldier, Far>::expose(Hot& h) {
    Side& side = sides_[S];
    side.line = h.line[S];
    exposeBackline(side);
    h.line[S] = side.line;
    h.m[S] = recip_[static_cast<size_t>(side.line)];
}

// The ranged phase (C = PosR: shooters act, NumberR weighs the turns) and
// the three position phases.
template <class Soldier, bool Far>
template <Battle::Pos C>
void LeanBattle::Engine<Soldier, Far>::positionPhase() {
    for (Side& side : sides_) {
        side.flagged = C == Battle::PosR && !side.shootersInRange;
        side.actFirst = C == Battle::PosR ? side.firstShooter : side.firstOfPosition[C];
        side.actEnd = C == Battle::PosR ? side.endShooter : side.endOfPosition[C];
        if (side.flagged)
            markActors(side);
    }
    Hot h = hot<C>();
    uint64_t st = state_;
    for (;;) {
        // A side whose units have all moved can keep a positive weight while
        // the other's falls to 0, so the unfinished side then acts undrawn.
        const bool doneI = h.actor[0] >= h.line[0];
        const bool doneII = h.actor[1] >= h.line[1];
        bool first;
        if (doneI != doneII) {
            first = !doneI;
        } else {
            const int32_t wI = h.K[0] - h.acted[0];
            const int32_t w = wI + h.K[1] - h.acted[1];
            int32_t n = 0;
            if (w > 0)
                n = static_cast<int32_t>(
                    fastmod(output(st = advance(st)), recip_[static_cast<size_t>(w)], static_cast<uint32_t>(w)));
            first = n < wI;
        }
        if (first ? positionTurn<C, 0>(h, st) : positionTurn<C, 1>(h, st))
            break;
    }
    state_ = st;
    for (int s = 0; s < 2; ++s)
        sides_[s].line = h.line[s];
}

// Whether each of sixteen units from at on acts, one bit each: flagged by
// its top bit, or else by its record without the two flags lying in
// [lo, hi), the records of the phase's kinds.
#ifdef __SSE2__
inline unsigned actsFlags(const uint32_t* u, int32_t at, bool flagged, uint32_t lo, uint32_t hi) {
    const __m128i low = _mm_set1_epi32(static_cast<int32_t>(lo) - 1);
    const __m128i high = _mm_set1_epi32(static_cast<int32_t>(hi));
    const __m128i record = _mm_set1_epi32(0x3FFFFFFF);
    auto four = [&](int32_t from) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + from));
        if (!flagged) {
            x = _mm_and_si128(x, record);
            x = _mm_and_si128(_mm_cmpgt_epi32(x, low), _mm_cmplt_epi32(x, high));
        }
        return static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(x)));
    };
    return four(at) | four(at + 4) << 4 | four(at + 8) << 8 | four(at + 12) << 12;
}
inline unsigned actsFlags(const uint16_t* u, int32_t at, bool flagged, uint32_t lo, uint32_t hi) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + at));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + at + 8));
    if (!flagged) {
        const __m128i low = _mm_set1_epi16(static_cast<int16_t>(lo - 1));
        const __m128i high = _mm_set1_epi16(static_cast<int16_t>(hi));
        const __m128i record = _mm_set1_epi16(0x3FFF);
        a = _mm_and_si128(a, record);
        b = _mm_and_si128(b, record);
        a = _mm_and_si128(_mm_cmpgt_epi16(a, low), _mm_cmplt_epi16(a, high));
        b = _mm_and_si128(_mm_cmpgt_epi16(b, low), _mm_cmplt_epi16(b, high));
    }
    // Packing keeps each unit's sign, the answer, in one byte.
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(a, b)));
}
#endif

template <class Soldier, bool Far>
template <Battle::Pos C, int S>
[[gnu::always_inline]] inline bool LeanBattle::Engine<Soldier, Far>::positionTurn(Hot& h, uint64_t& st) {
    // The next unit of side S that acts in this phase, sixteen units at a
    // time, so the scan nearly always ends in its first round; flags past
    // the line are stale, hence the cap.
    const int32_t n = h.line[S];
    if (int32_t i = h.actor[S]; i < n) {
        const Side& side = sides_[S];
        const Soldier* const u = side.units.data();
        const bool flagged = side.flagged;
        const uint32_t lo = static_cast<uint32_t>(side.actFirst) << kKindShift;
        const uint32_t hi = static_cast<uint32_t>(side.actEnd) << kKindShift;
#ifdef __SSE2__
        for (;; i += 16) {
            const unsigned found = actsFlags(u, i, flagged, lo, hi);
            if (found != 0 || i + 16 >= n) {
                i += found != 0 ? std::countr_zero(found) : 16;
                break;
            }
        }
#else
        while (i < n && (flagged ? (u[i] & kActs) == 0 : (u[i] & ~(kActs | kRangedPosition)) - lo >= hi - lo))
            ++i;
#endif
        h.actor[S] = std::min(i, n);
    }
    if (h.actor[S] < h.line[S]) {
        action<C, S>(h, st);
        ++h.acted[S];
        ++h.actor[S];
    }
    if (h.K[0] == 0 || h.acted[0] == h.K[0])
        h.actor[0] = h.line[0];
    if (h.K[1] == 0 || h.acted[1] == h.K[1])
        h.actor[1] = h.line[1];
    return h.actor[0] >= h.line[0] && h.actor[1] >= h.line[1];
}

// UnitKilled and BuryUnit for the unit at i of side X, of the given kind,
// booked as data: d is 1 for a death and 0 for none (a strike kills about
// every other time, too often to predict), the unit then exchanged with
// itself. mShorter is the reciprocal of the line one shorter, read ahead.
// Only round 1 reads the head counters (C is PosOther in later rounds).
template <class Soldier, bool Far>
template <Battle::Pos C, int X>
[[gnu::always_inline]] inline void LeanBattle::Engine<Soldier, Far>::bury(Hot& h, int32_t i, int32_t kind, int32_t d,
                                                                          uint64_t mShorter) {
    Side& side = sides_[X];
    side.losses[kind] += d;
    if constexpr (C != Battle::PosOther) {
        const uint8_t p = side.pos[kind];
        const int32_t rangedDeath = ((p == Battle::PosR) + side.extraR[kind]) & d;
        h.K[X] -= C == Battle::PosR ? rangedDeath : (p == C) & d;
        h.ranged[X] -= rangedDeath;
        h.rangedInLine[X] -= (p == Battle::PosR) & d;
    }
    const int32_t last = h.line[X] - d;
    h.line[X] = last;
    h.m[X] = pick(d != 0, mShorter, h.m[X]);
    const int32_t j = pick(d != 0, last, i);
    std::swap(side.units[static_cast<size_t>(i)], side.units[static_cast<size_t>(j)]);
    if (last == 0)
        expose<X>(h);
}

// One action of side S, as Battle's: the strikes of its actor, with their
// counter-strikes outside the ranged phase. C is the phase's position code:
// PosR for the ranged phase, PosOther for the general phase of later
// rounds. A strike's outcome changes data rather than the path taken,
// because hits, misses and deaths are as unpredictable as the draws behind
// them.
template <class Soldier, bool Far>
template <Battle::Pos C, int S>
[[gnu::always_inline]] inline void LeanBattle::Engine<Soldier, Far>::action(Hot& h, uint64_t& st) {
    constexpr int T = 1 - S;
    constexpr bool ranged = C == Battle::PosR;
    constexpr bool targetRule = C == Battle::PosG || C == Battle::PosM || C == Battle::PosF;
    Side& own = sides_[S];
    Side& foe = sides_[T];
    if (h.line[T] == 0)
        expose<T>(h);
    Soldier* const foes = foe.units.data();
    Soldier* const owns = own.units.data();
    const int32_t actor = h.actor[S];
    const int32_t kind = kindOf(owns[actor]);
    const int32_t attacks = own.attacks[kind];
    const auto& chance = (ranged ? rangedChance_ : meleeChance_)[S][kind];
    const auto& back = backChance_[T][kind];
    const uint64_t* const recip = recip_.data();
    int32_t strikes = 0;
    uint64_t counters = 0;
    while (h.line[T] > 0) {
        const int32_t line = h.line[T];
        const uint64_t mShorter = recip[line - 1];
        auto t = static_cast<int32_t>(fastmod(output(st = advance(st)), h.m[T], static_cast<uint32_t>(line)));
        uint32_t struck = foes[t];
        if constexpr (targetRule) {
            // Pass over ranged units while other targets stand in the line;
            // a line of ranged units only keeps the first draw. A first draw
            // falls on a ranged unit too often to predict, so the second
            // draw and its unit are read at once and taken without a branch;
            // a third is seldom needed.
            const bool rule = h.ranged[T] != line && line > h.rangedInLine[T];
            const uint64_t st2 = advance(st);
            const auto t2 = static_cast<int32_t>(fastmod(output(st2), h.m[T], static_cast<uint32_t>(line)));
            const uint32_t struck2 = foes[t2];
            const bool again = rule & ((struck & kRangedPosition) != 0);
            t = pick(again, t2, t);
            st = pick(again, st2, st);
            struck = pick(again, struck2, struck);
            if (again & ((struck & kRangedPosition) != 0)) [[unlikely]] {
                do {
                    t = static_cast<int32_t>(fastmod(output(st = advance(st)), h.m[T], static_cast<uint32_t>(line)));
                    struck = foes[t];
                } while (struck & kRangedPosition);
            }
        }
        if (Far && strikes + 1 < attacks) {
            // The actor strikes again, at the draw after this strike's hit
            // draw or after its counter-strike's: a line this big is beyond
            // the nearest cache, so both places are fetched now. A death
            // before then moves a place by one at most.
            const uint64_t next = advance(advance(st));
            __builtin_prefetch(&foes[fastmod(output(next), h.m[T], static_cast<uint32_t>(line))]);
            if constexpr (!ranged)
                __builtin_prefetch(&foes[fastmod(output(advance(next)), h.m[T], static_cast<uint32_t>(line))]);
        }
        const int32_t target = kindOf(struck);
        const bool hit = hitDraw(output(st = advance(st)), chance[target]);
        uint32_t u = struck - hit;
        ++strikes;
        bool actorDead = false;
        if constexpr (!ranged) {
            // A miss provokes one counter-strike while the target has any
            // left; its draw is taken only then, without a branch.
            const bool counter = !hit & (countsOf(struck) < foe.attacks[target]);
            const uint64_t st2 = advance(st);
            const bool backHit = hitDraw(output(st2), back[target]);
            st = pick(counter, st2, st);
            const uint32_t a = owns[actor] - (counter & backHit);
            owns[actor] = static_cast<Soldier>(a);
            actorDead = (a & kHitpoints) == 0;
            u += uint32_t{counter} << kCountShift;
            counters += counter;
        }
        foes[t] = static_cast<Soldier>(u);
        bury<C, T>(h, t, target, (u & kHitpoints) == 0, mShorter);
        if constexpr (!ranged) {
            if (actorDead) {
                // A counter-strike killed the actor: its action ends.
                bury<C, S>(h, actor, kind, 1, recip[h.line[S] - 1]);
                break;
            }
        }
        if (attacks <= strikes)
            break;
    }
    strikeCount += static_cast<uint64_t>(strikes) + counters;
}

// The general phase of every later round: the sides' lines weigh the turn
// draw and the units act in line order.
template <class Soldier, bool Far>
void LeanBattle::Engine<Soldier, Far>::meleePhase() {
    Hot h = hot<Battle::PosOther>();
    h.actor = {-1, -1};
    uint64_t st = state_;
    const uint64_t* const recip = recip_.data();
    for (;;) {
        // Both lines stand here: the phase ends as soon as one is gone.
        const int32_t wI = h.line[0];
        const auto w = static_cast<uint32_t>(wI + h.line[1]);
        const auto n = static_cast<int32_t>(fastmod(output(st = advance(st)), recip[w], w));
        if (n < wI ? meleeTurn<0>(h, st) : meleeTurn<1>(h, st))
            break;
    }
    state_ = st;
    for (int s = 0; s < 2; ++s)
        sides_[s].line = h.line[s];
}

template <class Soldier, bool Far>
template <int S>
[[gnu::always_inline]] inline bool LeanBattle::Engine<Soldier, Far>::meleeTurn(Hot& h, uint64_t& st) {
    ++h.actor[S];
    if (h.actor[S] < h.line[S])
        action<Battle::PosOther, S>(h, st);
    if (h.line[0] == 0 || h.line[1] == 0)
        return true;
    return h.actor[0] >= h.line[0] && h.actor[1] >= h.line[1];
}

template <class Soldier, bool Far>
void LeanBattle::Engine<Soldier, Far>::Fight(uint64_t seed) {
    state_ = splitmix64(seed);
    for (Side& side : sides_) {
        std::memcpy(side.units.data(), side.start.data(), side.start.size() * sizeof(Soldier));
        side.losses.fill(0);
        side.bexposed = 0;
        side.line = side.sizeMinusB;
        if (side.line == 0) {
            side.bexposed = 1;
            side.line = side.size;
        }
    }
    for (Side& side : sides_) {
        shuffle(side, 0, side.sizeMinusB);
        shuffle(side, side.sizeMinusB, side.size);
    }
    Side& I = sides_[0];
    Side& II = sides_[1];
    // Round 1: its four phases while both sides have a line, each but the
    // first followed by clearing the counter-strikes.
    shuffle(I, 0, I.line);
    shuffle(II, 0, II.line);
    positionPhase<Battle::PosR>();
    auto phase = [&](auto fightPhase) {
        if (I.line <= 0 || II.line <= 0)
            return false;
        fightPhase();
        resetCounters(I);
        resetCounters(II);
        return true;
    };
    phase([&] { positionPhase<Battle::PosG>(); }) && phase([&] { positionPhase<Battle::PosM>(); }) &&
        phase([&] { positionPhase<Battle::PosF>(); });
    // Later rounds: one general phase each, until one side is gone.
    while (I.line > 0 && II.line > 0) {
        shuffle(I, 0, I.line);
        shuffle(II, 0, II.line);
        resetCounters(I);
        resetCounters(II);
        meleePhase();
    }
    for (Side& side : sides_)
        for (int32_t k = 0; k < side.kinds; ++k)
            side.armyLosses[side.armyKind[k]] = side.losses[k];
}

template class LeanBattle::Engine<uint16_t, false>;
template class LeanBattle::Engine<uint16_t, true>;
template class LeanBattle::Engine<uint32_t, false>;
template class LeanBattle::Engine<uint32_t, true>;
