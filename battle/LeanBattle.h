#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "army/Army.h"
#include "Battle.h"

// Battle after battle between the same two armies without a report, as a
// simulation fights them: the rules, the draws and so the outcome of
// Battle::FightSimBattle from the same seed, on compact copies of the armies
// made once. Battle stays the engine of record, step by step; this one keeps
// every hot value in a register or in one small record, so a strike costs a
// fraction of its instructions.
class LeanBattle {
public:
    // Whether the armies fit the compact records: counter-strikes per phase
    // are kept in 16 bits, so no kind may have more attacks than that. Every
    // value the dialogs and army files accept fits.
    static bool Fits(const Army& I, const Army& II);

    // Both armies as Rebuild leaves them; they are only read.
    LeanBattle(const Army& I, const Army& II);

    // One battle from the armies' rebuilt order, with the generator seeded as
    // Battle::Seed(seed) seeds it.
    void Fight(uint64_t seed);

    // The same battle a step at a time, so that one thread can fight
    // several at once and keep busy while one waits on its last strike:
    // Begin, then Step until it returns false.
    void Begin(uint64_t seed);
    // One turn of the current phase (one unit's action at most); false once
    // the battle has ended.
    bool Step();

    // Each kind's losses in the last battle; side 0 is player 1's army.
    const std::array<int32_t, Army::maxTypes>& Losses(int side) const { return sides_[side].losses; }

    // Strikes made since construction, counter-strikes included.
    uint64_t strikeCount = 0;

private:
    using Pos = Battle::Pos;
    enum class Mode { Ranged, Position, Melee };

    // One soldier: its hit points, the counter-strikes it made in this phase
    // and its kind. Eight bytes, so twice as many share a cache line.
    struct Soldier {
        int32_t hp;
        uint16_t retaliations;
        uint8_t kind;
        uint8_t unused;
    };

    struct Side {
        std::vector<Soldier> start;  // as Rebuild leaves them
        std::vector<Soldier> units;
        // One bit per slot of the line: does its unit act in this phase.
        std::vector<uint64_t> actors;
        int32_t size = 0;
        int32_t sizeMinusB = 0;
        int32_t line = 0;  // Lifecounter
        int32_t actor = 0;
        int32_t acted = 0;
        int32_t bexposed = 0;
        int32_t rangedInLine = 0;  // living position "R" units, all in the line
        // Head counters by position (PosOther: a spare nobody reads), and
        // their values before a battle.
        std::array<int32_t, 6> number{};
        std::array<int32_t, 6> startNumber{};
        std::array<uint8_t, Army::maxTypes> pos{};
        std::array<uint8_t, Army::maxTypes> shoots{};
        std::array<uint8_t, Army::maxTypes> extraR{};  // a shooter outside position "R"
        std::array<uint8_t, Army::maxTypes> acts{};
        std::array<int32_t, Army::maxTypes> attacks{};
        std::array<int32_t, Army::maxTypes> losses{};
    };

    void shuffle(Side& side, int32_t lo, int32_t hi);
    void resetCounters(Side& side);
    void markActors(Side& side);
    void exposeBackline(Side& side);
    void nextActor(Side& side);
    int32_t drawBelow(int32_t n);
    template <bool RoundOne> int32_t kill(Side& side, int32_t i, int32_t k, bool dead, int32_t line);
    template <Mode M> void action(int s);
    // Where the battle stands: a phase of round 1, or the general phase of
    // a later round.
    enum class Stage : uint8_t { Ranged, G, M, F, Melee, Over };
    void startPhase(Stage stage);
    template <Pos C> bool positionCycle();
    bool meleeCycle();
    void endPhase();

    std::array<Side, 2> sides_;
    Stage stage_ = Stage::Over;
    uint64_t state_ = 0;
    std::vector<uint64_t> recip_;  // recip_[n] = reciprocal(n) for n >= 1
    // Hit thresholds by attacking side, attacker kind and target kind.
    std::array<std::array<std::array<uint64_t, Army::maxTypes>, Army::maxTypes>, 2> rangedChance_{};
    std::array<std::array<std::array<uint64_t, Army::maxTypes>, Army::maxTypes>, 2> meleeChance_{};
};
