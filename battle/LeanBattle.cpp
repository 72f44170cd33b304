#include "LeanBattle.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "Random.h"

using wyrand::advance;
using wyrand::fastmod;
using wyrand::hitDraw;
using wyrand::output;

bool LeanBattle::Fits(const Army& I, const Army& II) {
    for (const Army* a : {&I, &II})
        for (int32_t k = 0; k <= a->currentType; ++k)
            if (a->unittypes[k].Attacks > std::numeric_limits<uint16_t>::max())
                return false;
    return true;
}

LeanBattle::LeanBattle(const Army& I, const Army& II) {
    const Army* armies[2] = {&I, &II};
    for (int s = 0; s < 2; ++s) {
        const Army& a = *armies[s];
        Side& side = sides_[s];
        side.size = a.currentSize;
        side.sizeMinusB = a.SizeMinusB;
        side.start.resize(static_cast<size_t>(a.currentSize));
        for (int32_t i = 0; i < a.currentSize; ++i) {
            const Unit& u = a.units[i];
            side.start[static_cast<size_t>(i)] = {u.Hitpoints, static_cast<uint16_t>(u.Retaliations),
                                                  static_cast<uint8_t>(u.Typeindex), 0};
        }
        side.units.resize(side.start.size());
        side.actors.assign(static_cast<size_t>(a.currentSize) / 64 + 1, 0);
        side.startNumber = {a.NumberF, a.NumberM, a.NumberR, a.NumberG, a.NumberB, 0};
        for (int32_t k = 0; k <= a.currentType; ++k) {
            const Unittype& kind = a.unittypes[k];
            side.pos[k] = Battle::posCode(kind.Position);
            side.shoots[k] = kind.Rangedoff > 0;
            side.extraR[k] = side.shoots[k] && side.pos[k] != Battle::PosR;
            side.attacks[k] = kind.Attacks;
        }
    }
    for (int s = 0; s < 2; ++s) {
        const Army& S = *armies[s];
        const Army& T = *armies[1 - s];
        for (int32_t a = 0; a <= S.currentType; ++a)
            for (int32_t t = 0; t <= T.currentType; ++t) {
                const double def = T.unittypes[t].Defense;
                rangedChance_[s][a][t] = wyrand::hitThreshold(Battle::HitChance(S.unittypes[a].Rangedoff, def));
                meleeChance_[s][a][t] = wyrand::hitThreshold(Battle::HitChance(S.unittypes[a].Offense, def));
            }
    }
    const size_t n = static_cast<size_t>(I.currentSize) + static_cast<size_t>(II.currentSize) + 1;
    recip_.resize(n);
    for (size_t i = 1; i < n; ++i)
        recip_[i] = wyrand::reciprocal(static_cast<uint32_t>(i));
}

// ---- Draws, line and deaths: as Battle's, on the compact records ------------

void LeanBattle::shuffle(Side& side, int32_t lo, int32_t hi) {
    if (hi <= lo)
        return;
    const auto span = static_cast<uint32_t>(hi - lo);
    const uint64_t m = wyrand::reciprocal(span);
    Soldier* const u = side.units.data();
    uint64_t st = state_;
    // The exchanges of a big line miss the cache at random places; the
    // places are known draws ahead, so they are fetched that far ahead.
    constexpr int32_t ahead = 16;
    if (span > 4096) {
        uint64_t pre = st;
        for (int32_t d = 0; d < ahead; ++d)
            __builtin_prefetch(&u[lo + static_cast<int32_t>(fastmod(output(pre = advance(pre)), m, span))], 1);
        for (int32_t i = lo; i < hi; ++i) {
            __builtin_prefetch(&u[lo + static_cast<int32_t>(fastmod(output(pre = advance(pre)), m, span))], 1);
            std::swap(u[i], u[lo + static_cast<int32_t>(fastmod(output(st = advance(st)), m, span))]);
        }
    } else {
        for (int32_t i = lo; i < hi; ++i)
            std::swap(u[i], u[lo + static_cast<int32_t>(fastmod(output(st = advance(st)), m, span))]);
    }
    state_ = st;
}

// Retaliations of the line only: units behind it are dead or have never
// been struck, so theirs are 0 already or never read again.
void LeanBattle::resetCounters(Side& side) {
    Soldier* const u = side.units.data();
    for (int32_t i = 0; i < side.line; ++i)
        u[i].retaliations = 0;
}

void LeanBattle::markActors(Side& side) {
    const int32_t n = side.line;
    const Soldier* const units = side.units.data();
    for (int32_t base = 0; base < n; base += 64) {
        const int32_t end = std::min(n - base, 64);
        uint64_t word = 0;
#pragma GCC unroll 8
        for (int32_t b = 0; b < end; ++b)
            word = (word >> 1) | (uint64_t{side.acts[units[base + b].kind]} << 63);
        side.actors[static_cast<size_t>(base) >> 6] = end == 64 ? word : word >> (64 - end);
    }
}

void LeanBattle::exposeBackline(Side& side) {
    if (side.line > 0 || side.sizeMinusB == side.size || side.bexposed == 1)
        return;
    Soldier* const u = side.units.data();
    for (int32_t i = side.sizeMinusB; i < side.size; ++i)
        std::swap(u[i], u[side.line++]);
    side.bexposed = 1;
    if (side.line != 0)
        markActors(side);
}

[[gnu::always_inline]] inline void LeanBattle::nextActor(Side& side) {
    const int32_t n = side.line;
    const int32_t i = side.actor;
    if (i >= n)
        return;
    const uint64_t* w = side.actors.data();
    auto k = static_cast<size_t>(i) >> 6;
    const auto lastWord = static_cast<size_t>(n - 1) >> 6;
    uint64_t bits = w[k] & (~uint64_t{0} << (i & 63));
    while (bits == 0 && k < lastWord)
        bits = w[++k];
    side.actor = bits == 0 ? n : std::min(static_cast<int32_t>(k * 64) + std::countr_zero(bits), n);
}

[[gnu::always_inline]] inline int32_t LeanBattle::drawBelow(int32_t n) {
    if (n <= 0)
        return 0;
    const uint32_t x = output(state_ = advance(state_));
    return static_cast<int32_t>(static_cast<size_t>(n) < recip_.size()
                                    ? fastmod(x, recip_[static_cast<size_t>(n)], static_cast<uint32_t>(n))
                                    : x % static_cast<uint32_t>(n));
}

// UnitKilled, BuryUnit and ExposeBackline for the unit at i, of kind k,
// booked as data when dead is true (a strike kills about every other time,
// too often to predict) and a no-op otherwise. Returns the line's new size.
template <bool RoundOne>
[[gnu::always_inline]] inline int32_t LeanBattle::kill(Side& side, int32_t i, int32_t k, bool dead,
                                                        int32_t line) {
    const int32_t d = dead;
    if constexpr (RoundOne)
        side.rangedInLine -= (side.pos[k] == Battle::PosR) & dead;
    side.number[side.pos[k]] -= d;
    side.number[Battle::PosR] -= side.extraR[k] & d;
    side.losses[k] += d;
    line -= d;
    side.line = line;
    Soldier* const u = side.units.data();
    const int32_t j = i + ((line - i) & -d);
    std::swap(u[i], u[j]);
    if constexpr (RoundOne) {
        uint64_t* w = side.actors.data();
        const uint64_t bit = (w[j >> 6] >> (j & 63)) & 1;
        w[i >> 6] = (w[i >> 6] & ~(uint64_t{1} << (i & 63))) | (bit << (i & 63));
    }
    if (line == 0) {
        exposeBackline(side);
        return side.line;
    }
    return line;
}

// One action of side s, as Battle's.
template <LeanBattle::Mode M>
[[gnu::always_inline]] inline void LeanBattle::action(int s) {
    constexpr bool roundOne = M != Mode::Melee;
    Side& own = sides_[s];
    Side& foe = sides_[1 - s];
    if (foe.line == 0)
        exposeBackline(foe);
    Soldier* const foes = foe.units.data();
    Soldier* const owns = own.units.data();
    const int32_t actor = own.actor;
    const int32_t kind = owns[actor].kind;
    const int32_t attacks = own.attacks[kind];
    const auto& chance = (M == Mode::Ranged ? rangedChance_ : meleeChance_)[s][kind];
    const auto& back = meleeChance_[1 - s];
    const uint64_t* const recip = recip_.data();
    uint64_t st = state_;
    uint64_t made = 0;
    int32_t strikes = 0;
    int32_t line = foe.line;
    uint64_t m = recip[line];
    while (line > 0) {
        const uint64_t mShorter = recip[line - 1];
        auto t = static_cast<int32_t>(fastmod(output(st = advance(st)), m, static_cast<uint32_t>(line)));
        if constexpr (M == Mode::Position) {
            if (foe.number[Battle::PosR] != line && line > foe.rangedInLine)
                while (foe.pos[foes[t].kind] == Battle::PosR)
                    t = static_cast<int32_t>(fastmod(output(st = advance(st)), m, static_cast<uint32_t>(line)));
        }
        Soldier& u = foes[t];
        const int32_t target = u.kind;
        const bool hit = hitDraw(output(st = advance(st)), chance[target]);
        const int32_t hp = u.hp - hit;
        u.hp = hp;
        ++made;
        bool actorDead = false;
        if constexpr (M != Mode::Ranged) {
            const bool counter = !hit & (u.retaliations < foe.attacks[target]);
            const uint64_t st2 = advance(st);
            const bool backHit = hitDraw(output(st2), back[target][kind]);
            st ^= (st ^ st2) & (uint64_t{0} - counter);
            const int32_t actorHp = owns[actor].hp - (counter & backHit);
            owns[actor].hp = actorHp;
            actorDead = actorHp <= 0;
            u.retaliations = static_cast<uint16_t>(u.retaliations + counter);
            made += counter;
        }
        ++strikes;
        const bool dead = hp <= 0;
        const int32_t expected = line - dead;
        line = kill<roundOne>(foe, t, target, dead, line);
        m ^= (m ^ mShorter) & (uint64_t{0} - dead);
        if (line != expected)
            m = recip[line];  // the back line joined
        if constexpr (M != Mode::Ranged) {
            if (actorDead) {
                kill<roundOne>(own, actor, kind, true, own.line);
                break;
            }
        }
        if (attacks <= strikes)
            break;
    }
    state_ = st;
    strikeCount += made;
}

// ---- Phases, one cycle at a time -----------------------------------------

void LeanBattle::startPhase(Stage stage) {
    stage_ = stage;
    if (stage == Stage::Melee) {
        sides_[0].actor = sides_[1].actor = -1;
        return;
    }
    static constexpr Pos codes[] = {Battle::PosR, Battle::PosG, Battle::PosM, Battle::PosF};
    const Pos code = codes[static_cast<int>(stage)];
    for (Side& side : sides_) {
        for (int32_t k = 0; k < Army::maxTypes; ++k)
            side.acts[k] = code == Battle::PosR ? side.shoots[k] : side.pos[k] == code;
        markActors(side);
    }
}

// One cycle of the ranged phase (C = PosR: shooters act) or of a position
// phase; true when the phase has ended.
template <Battle::Pos C>
[[gnu::always_inline]] inline bool LeanBattle::positionCycle() {
    constexpr Mode mode = C == Battle::PosR ? Mode::Ranged : Mode::Position;
    Side& I = sides_[0];
    Side& II = sides_[1];
    // A side whose units have all moved can keep a positive weight while
    // the other's falls to 0, so the unfinished side then acts undrawn.
    const bool doneI = I.actor >= I.line;
    const bool doneII = II.actor >= II.line;
    int s;
    if (doneI != doneII) {
        s = doneI ? 1 : 0;
    } else {
        const int32_t wI = I.number[C] - I.acted;
        const int32_t n = drawBelow(wI + II.number[C] - II.acted);
        s = n < wI ? 0 : 1;
    }
    Side& S = sides_[s];
    nextActor(S);
    if (S.actor < S.line) {
        action<mode>(s);
        ++S.acted;
        ++S.actor;
    }
    for (Side& side : sides_)
        if (side.number[C] == 0 || side.acted == side.number[C])
            side.actor = side.line;
    return I.actor >= I.line && II.actor >= II.line;
}

[[gnu::always_inline]] inline bool LeanBattle::meleeCycle() {
    Side& I = sides_[0];
    Side& II = sides_[1];
    const int32_t wI = I.line;
    const int32_t n = drawBelow(wI + II.line);
    const int s = n < wI ? 0 : 1;
    Side& S = sides_[s];
    if (S.line > 0)
        ++S.actor;
    if (S.actor < S.line) {
        action<Mode::Melee>(s);
        ++S.acted;
    }
    if (II.line == 0 || I.line == 0) {
        I.actor = I.line;
        II.actor = II.line;
    }
    return I.actor >= I.line && II.actor >= II.line;
}

// The end of a phase, and what the round driver does next: round 1's
// phases in turn while both sides have a line, then a general phase per
// round until one side is gone.
void LeanBattle::endPhase() {
    Side& I = sides_[0];
    Side& II = sides_[1];
    for (Side& side : sides_)
        side.actor = side.acted = 0;
    const bool bothStand = I.line > 0 && II.line > 0;
    if (stage_ != Stage::Ranged && stage_ != Stage::Melee) {
        resetCounters(I);
        resetCounters(II);
    }
    if (bothStand && stage_ < Stage::F) {
        startPhase(static_cast<Stage>(static_cast<int>(stage_) + 1));
        return;
    }
    if (!bothStand) {
        stage_ = Stage::Over;
        return;
    }
    shuffle(I, 0, I.line);
    shuffle(II, 0, II.line);
    resetCounters(I);
    resetCounters(II);
    startPhase(Stage::Melee);
}

bool LeanBattle::Step() {
    bool ended;
    switch (stage_) {
    case Stage::Ranged: ended = positionCycle<Battle::PosR>(); break;
    case Stage::G: ended = positionCycle<Battle::PosG>(); break;
    case Stage::M: ended = positionCycle<Battle::PosM>(); break;
    case Stage::F: ended = positionCycle<Battle::PosF>(); break;
    case Stage::Melee: ended = meleeCycle(); break;
    default: return false;
    }
    if (ended)
        endPhase();
    return stage_ != Stage::Over;
}

void LeanBattle::Begin(uint64_t seed) {
    state_ = splitmix64(seed);
    for (Side& side : sides_) {
        std::memcpy(side.units.data(), side.start.data(), side.start.size() * sizeof(Soldier));
        side.number = side.startNumber;
        side.losses.fill(0);
        side.bexposed = 0;
        side.line = side.sizeMinusB;
        if (side.line == 0) {
            side.bexposed = 1;
            side.line = side.size;
        }
        side.actor = side.acted = 0;
    }
    for (Side& side : sides_) {
        shuffle(side, 0, side.sizeMinusB);
        shuffle(side, side.sizeMinusB, side.size);
    }
    for (Side& side : sides_) {
        side.rangedInLine = 0;
        for (int32_t i = 0; i < side.line; ++i)
            side.rangedInLine += side.pos[side.units[static_cast<size_t>(i)].kind] == Battle::PosR;
    }
    for (Side& side : sides_)
        shuffle(side, 0, side.line);
    startPhase(Stage::Ranged);
}

void LeanBattle::Fight(uint64_t seed) {
    Begin(seed);
    while (Step()) {
    }
}
