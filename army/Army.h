#pragma once

#include <array>
#include <cassert>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Units.h"

// One player's army: a record per soldier, a record per kind, and the head
// counters by battle position that the battle engine keeps at every death.
class Army {
public:
    static constexpr int32_t maxTypes = 40;

    Army();

    int32_t maxSize = 100;
    int32_t currentSize = 0;
    int32_t Lifecounter = 0;
    int32_t Turn = 0;
    int32_t Actor = 0;
    int32_t SizeMinusB = 0;
    int32_t Bexposed = 0;
    int32_t Acted = 0;
    int32_t NumberF = 0;
    int32_t NumberR = 0;
    int32_t NumberM = 0;
    int32_t NumberG = 0;
    int32_t NumberB = 0;
    std::vector<Unit> units;
    std::array<Unittype, maxTypes> unittypes;
    int32_t currentType = 0;

    void Grow(int32_t n);
    // Inline: shuffles and every death exchange records, so a call per
    // exchange would cost more than the exchange itself.
    void SwapUnits(int32_t i, int32_t j) {
        assert(i >= 0 && j >= 0 && i < maxSize && j < maxSize);
        std::swap(units[i], units[j]);
    }
    void Partition(int32_t lo, int32_t hi, std::string_view code);
    void Rebuild();

    // The head counter of a position text ("F", "R", "M", "G", "B"), in an
    // army or in any record of the same five counters; nullptr for any other
    // text.
    template <class Counts>
    static auto headCounter(Counts& counts, std::string_view position) -> decltype(&counts.NumberF) {
        if (position == "F")
            return &counts.NumberF;
        if (position == "R")
            return &counts.NumberR;
        if (position == "M")
            return &counts.NumberM;
        if (position == "G")
            return &counts.NumberG;
        if (position == "B")
            return &counts.NumberB;
        return nullptr;
    }
    int32_t* headCounter(std::string_view position) { return headCounter(*this, position); }

    // The kind a soldier belongs to, whose values it carries.
    const Unittype& kindOf(int32_t unitIndex) const { return unittypes[units[unitIndex].Typeindex]; }

    // Number of kinds in use: those at indices 0 to currentType that are not free.
    int32_t kindCount() const;

    // The three changes the unit dialogs make.
    enum class AddResult { Added, ArmyFull, BadValues };
    // Adds a kind with n units; on success kindIndex is the new kind's index.
    AddResult AddKind(const KindValues& values, int32_t n, int32_t* kindIndex = nullptr);
    // Gives kind k new values (its abbreviation stays) and n units. Refuses
    // values no dialog accepts and leaves the kind whole.
    bool ApplyKind(int32_t k, const KindValues& values, int32_t n);
    // Takes kind k out of the army; the kinds behind it move down one place.
    bool RemoveKind(int32_t k);

    // Every invariant that holds between battles; empty when all hold,
    // otherwise a description of the first one broken.
    std::string checkInvariants() const;

    // The same army: the same kinds in the same places, with the same values
    // and numbers, and so the same head counts. Where the soldiers stand,
    // the room kept for more and what the last battle left in the casualty
    // counters are no part of it: a battle or a rebuild keeps the army the
    // same (checkInvariants() tells whether its soldiers are whole).
    bool operator==(const Army& other) const;

private:
    void fillUnit(int32_t i, int32_t k);
};

inline bool isPositionCode(std::string_view s) {
    return s == "F" || s == "G" || s == "B" || s == "R" || s == "M";
}
inline bool isTypeCode(std::string_view s) {
    return s == "O" || s == "S" || s == "U" || s == "H";
}
