#pragma once

#include <cstdint>
#include <string>

// One kind of unit in an army: its values, head count and casualty counters.
// An empty Fullname marks a free slot.
struct Unittype {
    int32_t Number = 0;
    int32_t PhaseCasualties = 0;
    int32_t BattleCasualties = 0;
    int32_t LastCasualties = 0;
    int32_t SimCasualties = 0;
    double Offense = 0;
    double Defense = 0;
    double Rangedoff = 0;
    int32_t Attacks = 0;
    int32_t Hitpoints = 0;
    std::string Position = "F";
    std::string Type = "O";
    std::string Abbreviation;
    std::string Fullname;
};

// One soldier. Every soldier of a kind carries that kind's values, so the
// record keeps only what differs between soldiers and reads the rest from
// its kind (Army::kindOf). Twelve bytes keep a battle's line in cache.
struct Unit {
    int32_t Hitpoints = 0;
    int32_t Typeindex = 0;
    int32_t Retaliations = 0;
};

// The values of a kind as the unit dialogs enter them.
struct KindValues {
    std::string Fullname;
    std::string Abbreviation;
    std::string Position = "F";
    std::string Type = "O";
    double Offense = 0;
    double Defense = 0;
    double Rangedoff = 0;
    int32_t Attacks = 0;
    int32_t Hitpoints = 0;
    bool operator==(const KindValues&) const = default;
};

// A kind's values: read from it, and given to it. The head count and the
// casualty counters are no values and stay as they are.
KindValues valuesOf(const Unittype& kind);
void setValues(Unittype& kind, const KindValues& values);
