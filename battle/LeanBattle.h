#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "army/Army.h"
#include "Battle.h"

// Battle after battle between the same two armies without a report, as a
// simulation fights them: the rules, the draws and so the outcome of
// Battle::FightSimBattle from the same seed, on compact copies of the armies
// made once. Battle stays the engine of record, step by step; this one is
// built for the chain from one strike to the next: a phase keeps both
// sides' line sizes, actors and head counters in registers, and everything
// a battle report needs but a simulation does not is left out.
class LeanBattle {
public:
    // Whether the armies fit the compact records: hit points from 1 to
    // 2^24 - 1, and at most 65,535 attacks (the counter-strikes a unit makes
    // in a phase are kept in 16 bits). Every value the dialogs and army files
    // accept fits.
    static bool Fits(const Army& I, const Army& II);

    // Both armies as Rebuild leaves them; they are only read.
    LeanBattle(const Army& I, const Army& II);

    // One battle from the armies' rebuilt order, with the generator seeded as
    // Battle::Seed(seed) seeds it.
    void Fight(uint64_t seed);

    // Each kind's losses in the last battle; side 0 is player 1's army.
    const std::array<int32_t, Army::maxTypes>& Losses(int side) const { return sides_[side].losses; }

    // Strikes made since construction, counter-strikes included.
    uint64_t strikeCount = 0;

private:
    using Pos = Battle::Pos;

    // One soldier in four bytes, so three times as many share a cache line
    // as Unit records: its hit points in the low 24 bits (a unit is dead when
    // they reach 0, and a dead unit is never struck again), its kind above
    // them, whether it stands in position "R", and whether it acts in the
    // current phase. The flags travel with the unit, so burying the dead
    // keeps them right without further work.
    using Soldier = uint32_t;
    static constexpr uint32_t kHitpoints = (uint32_t{1} << 24) - 1;
    static constexpr uint32_t kRangedPosition = uint32_t{1} << 30;
    static constexpr uint32_t kActs = uint32_t{1} << 31;
    static int32_t kindOf(Soldier u) { return static_cast<int32_t>((u >> 24) & 63); }

    struct Side {
        std::vector<Soldier> start;  // as Rebuild leaves them
        std::vector<Soldier> units;  // with room past the end for a scan four at a time
        // The counter-strikes each slot's unit made in this phase: apart
        // from the records, so clearing them is one fill and the shuffles,
        // which always come before a clearing, need not move them.
        std::vector<uint16_t> retaliations;
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
        std::array<uint8_t, Army::maxTypes> acts{};    // acts in the current phase
        std::array<int32_t, Army::maxTypes> attacks{};
        std::array<int32_t, Army::maxTypes> losses{};
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
    void resetCounters(Side& side);
    void markActors(Side& side);
    void exposeBackline(Side& side);
    template <int S> void expose(Hot& h);
    int32_t counter(const Side& side, Pos code) const;
    Hot hot() const;
    template <Pos C> void positionPhase();
    // A turn and an action, inlined into their phase's loop so that the
    // record of hot values stays in registers.
    template <Pos C, int S> [[gnu::always_inline]] bool positionTurn(Hot& h, uint64_t& st);
    void meleePhase();
    template <int S> [[gnu::always_inline]] bool meleeTurn(Hot& h, uint64_t& st);
    template <Pos C, int S> [[gnu::always_inline]] void action(Hot& h, uint64_t& st);
    template <Pos C, int X>
    [[gnu::always_inline]] void bury(Hot& h, int32_t i, int32_t kind, int32_t d, uint64_t mShorter);

    std::array<Side, 2> sides_;
    uint64_t state_ = 0;
    std::vector<uint64_t> recip_;  // recip_[n] = reciprocal(n) for n >= 1
    // Hit thresholds by attacking side, attacker kind and target kind.
    std::array<std::array<std::array<uint64_t, Army::maxTypes>, Army::maxTypes>, 2> rangedChance_{};
    std::array<std::array<std::array<uint64_t, Army::maxTypes>, Army::maxTypes>, 2> meleeChance_{};
};
