#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "army/Army.h"

// Battle after battle between the same two armies without a report, as a
// simulation fights them: the rules, the draws and so the outcome of
// Battle::FightSimBattle from the same seed, on compact copies of the armies
// made once. It fights every simulation and force search. Battle is the
// engine of record, step by step; this one is built for the chain from one
// strike to the next: a phase keeps both
// sides' line sizes, actors and head counters in registers, and everything
// a battle report needs but a simulation does not is left out.
class LeanBattle {
public:
    // Whether the armies fit the compact records: hit points from 1 to 4,095
    // and at most 4,095 attacks. Every value the dialogs and army files
    // accept fits (a compile-time check says so); Simulate refuses others.
    static bool Fits(const Army& I, const Army& II);

    // The engine numbers an army's kinds so that the kinds of each position,
    // and where they allow it the shooters, are ranges of numbers and so
    // ranges of records: a phase finds its actors by range rather than by a
    // flag set on the whole line first.
    struct KindNumbering {
        std::array<uint8_t, Army::maxTypes> armyKind{};  // the army's kind of engine kind k
        std::array<uint8_t, Army::maxTypes> number{};    // the engine's number of army kind ak
        // The kinds of position code p (Battle::Pos) are numbered from
        // firstOfPosition[p] to endOfPosition[p], not included.
        std::array<int32_t, 6> firstOfPosition{};
        std::array<int32_t, 6> endOfPosition{};
        // The shooters, numbered firstShooter to endShooter, not included,
        // when shootersInRange; otherwise the ranged phase flags its actors.
        int32_t firstShooter = 0;
        int32_t endShooter = 0;
        bool shootersInRange = true;
    };
    static KindNumbering NumberKinds(const Army& army);

    // Both armies as Rebuild leaves them; they are only read.
    LeanBattle(const Army& I, const Army& II);
    ~LeanBattle();

    // One battle from the armies' rebuilt order, with the generator seeded as
    // Battle::Seed(seed) seeds it.
    void Fight(uint64_t seed);

    // Each kind's losses in the last battle; side 0 is player 1's army.
    const std::array<int32_t, Army::maxTypes>& Losses(int side) const;

    // Whether the soldiers fit in two bytes each (every catalogue kind does);
    // otherwise they take four.
    bool Narrow() const { return narrow_; }

    // Strikes made since construction, counter-strikes included.
    uint64_t strikeCount = 0;

private:
    struct Fighter {
        virtual ~Fighter() = default;
        virtual void Fight(uint64_t seed) = 0;
        virtual const std::array<int32_t, Army::maxTypes>& Losses(int side) const = 0;
        uint64_t strikeCount = 0;
    };
    // The engine on soldier records of one width, for lines that fit the
    // nearest cache or not.
    template <class Soldier, bool Far>
    class Engine;
    std::unique_ptr<Fighter> engine_;
    bool narrow_ = false;
};
