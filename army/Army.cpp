#include "Army.h"

#include <algorithm>
#include <cassert>

Army::Army() : units(static_cast<size_t>(maxSize)) {}

void Army::Grow(int32_t n) {
    if (n <= 0)
        return;
    // A vector keeps the first currentSize records in order on resize, which
    // is all that growing promises; the new records are default ones.
    units.resize(static_cast<size_t>(maxSize) + static_cast<size_t>(n));
    for (size_t i = static_cast<size_t>(currentSize); i < units.size(); ++i)
        units[i] = Unit{};
    maxSize += n;
}

void Army::Partition(int32_t lo, int32_t hi, std::string_view code) {
    if (hi < lo)
        return;
    auto isCode = [&](int32_t idx) { return kindOf(idx).Position == code; };
    int32_t i = lo - 1;
    int32_t j = hi + 1;
    for (;;) {
        do
            ++i;
        while (!isCode(i) && i != hi);
        do
            --j;
        while (isCode(j) && j != lo);
        if (j != lo && i != hi)
            SwapUnits(i, j);
        if (j <= i)
            break;
    }
    // The scans crossed after the last exchange: undo it.
    if (j != lo && i != hi)
        SwapUnits(i, j);
}

void Army::fillUnit(int32_t i, int32_t k) {
    Unit& u = units[i];
    u.Hitpoints = unittypes[k].Hitpoints;
    u.Typeindex = k;
    u.Retaliations = 0;
}

void Army::Rebuild() {
    NumberF = NumberR = NumberM = NumberG = NumberB = 0;
    int32_t front = 0;
    int32_t back = currentSize - 1;
    for (int32_t k = 0; k <= currentType; ++k) {
        Unittype& kind = unittypes[k];
        const bool isB = kind.Position == "B";
        // The records of one kind are alike, so filling "B" kinds from the
        // back is filling one stretch ending at back.
        const int32_t n = std::max(kind.Number, 0);
        assert(n <= back - front + 1);
        const int32_t first = isB ? back - n + 1 : front;
        for (int32_t i = first; i < first + n; ++i)
            fillUnit(i, k);
        if (isB)
            back -= n;
        else
            front += n;
        kind.PhaseCasualties = 0;
        kind.BattleCasualties = 0;
        if (int32_t* counter = headCounter(kind.Position))
            *counter += kind.Number;
        if (kind.Rangedoff > 0 && kind.Position != "R")
            NumberR += kind.Number;
    }
    // Filling cleared every record of a kind; only records no kind filled
    // (when the counts fall short of currentSize) still need it.
    for (int32_t i = front; i <= back; ++i)
        units[i].Retaliations = 0;
    SizeMinusB = currentSize - NumberB;
}

KindValues valuesOf(const Unittype& kind) {
    return {kind.Fullname, kind.Abbreviation, kind.Position, kind.Type,     kind.Offense,
            kind.Defense,  kind.Rangedoff,    kind.Attacks,  kind.Hitpoints};
}

void setValues(Unittype& kind, const KindValues& v) {
    kind.Fullname = v.Fullname;
    kind.Abbreviation = v.Abbreviation;
    kind.Position = v.Position;
    kind.Type = v.Type;
    kind.Offense = v.Offense;
    kind.Defense = v.Defense;
    kind.Rangedoff = v.Rangedoff;
    kind.Attacks = v.Attacks;
    kind.Hitpoints = v.Hitpoints;
}

bool Army::operator==(const Army& o) const {
    if (currentSize != o.currentSize || currentType != o.currentType || SizeMinusB != o.SizeMinusB ||
        NumberF != o.NumberF || NumberR != o.NumberR || NumberM != o.NumberM || NumberG != o.NumberG ||
        NumberB != o.NumberB)
        return false;
    for (int32_t k = 0; k < maxTypes; ++k)
        if (unittypes[k].Number != o.unittypes[k].Number || valuesOf(unittypes[k]) != valuesOf(o.unittypes[k]))
            return false;
    return true;
}

int32_t Army::kindCount() const {
    int32_t n = 0;
    for (int32_t k = 0; k <= currentType; ++k)
        n += unittypes[k].Fullname.empty() ? 0 : 1;
    return n;
}

Army::AddResult Army::AddKind(const KindValues& v, int32_t n, int32_t* kindIndex) {
    if (n < 1 || v.Attacks < 1 || v.Hitpoints < 1)
        return AddResult::BadValues;
    // The next free slot, searched forward from the newest kind; an army
    // holding all its kinds refuses before anything changes.
    int32_t k = currentType;
    while (k < maxTypes && !unittypes[k].Fullname.empty())
        ++k;
    if (k >= maxTypes)
        return AddResult::ArmyFull;

    while (currentSize + n > maxSize)
        Grow(n);
    currentType = k;

    Unittype& kind = unittypes[k];
    setValues(kind, v);
    // An empty name would make the slot look free to the next add.
    if (kind.Fullname.empty())
        kind.Fullname = "Nameless Unit";
    kind.Number = n;

    for (int32_t i = currentSize; i < currentSize + n; ++i)
        fillUnit(i, k);
    currentSize += n;
    if (v.Position != "B")
        SizeMinusB += n;

    if (int32_t* counter = headCounter(v.Position))
        *counter += n;
    if (v.Rangedoff > 0 && v.Position != "R")
        NumberR += n;

    Partition(0, currentSize - 1, "B");
    if (NumberB < currentSize)
        Partition(0, currentSize - 1 - NumberB, "R");
    if (kindIndex)
        *kindIndex = k;
    return AddResult::Added;
}

bool Army::ApplyKind(int32_t k, const KindValues& v, int32_t n) {
    if (k < 0 || k > currentType || unittypes[k].Fullname.empty())
        return false;
    if (n < 1 || v.Attacks < 1 || v.Hitpoints < 1 || v.Fullname.empty())
        return false;
    Unittype& kind = unittypes[k];
    const int32_t numberChange = n - kind.Number;
    if (numberChange > 0)
        while (currentSize + numberChange > maxSize)
            Grow(numberChange);
    KindValues kept = v;
    kept.Abbreviation = kind.Abbreviation;
    setValues(kind, kept);
    kind.Number = n;
    currentSize += numberChange;
    Rebuild();
    return true;
}

bool Army::RemoveKind(int32_t k) {
    const int32_t L = currentType;
    if (k < 0 || k > L)
        return false;
    currentSize -= unittypes[k].Number;
    for (int32_t j = k; j <= L; ++j) {
        // With every slot in use there is no free slot behind the last kind:
        // it takes the values of a default kind instead.
        const Unittype next = j + 1 < maxTypes ? unittypes[j + 1] : Unittype{};
        setValues(unittypes[j], valuesOf(next));
        unittypes[j].Number = next.Number;
    }
    if (L > 0)
        currentType = L - 1;
    Rebuild();
    return true;
}

std::string Army::checkInvariants() const {
    if (maxSize != static_cast<int32_t>(units.size()))
        return "maxSize differs from the unit array";
    if (currentSize < 0 || currentSize > maxSize)
        return "currentSize out of range";
    if (currentType < 0 || currentType >= maxTypes)
        return "currentType out of range";
    int64_t sum = 0;
    std::array<int32_t, maxTypes> perKind{};
    struct {
        int32_t NumberF = 0, NumberR = 0, NumberM = 0, NumberG = 0, NumberB = 0;
    } counted;
    for (int32_t k = 0; k < maxTypes; ++k) {
        const Unittype& kind = unittypes[k];
        if (k > currentType) {
            if (!kind.Fullname.empty() || kind.Number != 0)
                return "kind " + std::to_string(k) + " beyond currentType is in use";
            continue;
        }
        if (kind.Fullname.empty() && !(k == 0 && currentSize == 0 && kind.Number == 0))
            return "kind " + std::to_string(k) + " in use has no name";
        if (kind.Number < 0)
            return "kind " + std::to_string(k) + " has a negative number";
        sum += kind.Number;
    }
    if (sum != currentSize)
        return "kind numbers add up to " + std::to_string(sum) + ", not currentSize " + std::to_string(currentSize);
    bool seenB = false;
    for (int32_t i = 0; i < currentSize; ++i) {
        const Unit& u = units[i];
        if (u.Typeindex < 0 || u.Typeindex > currentType)
            return "unit " + std::to_string(i) + " has a bad kind index";
        const Unittype& kind = unittypes[u.Typeindex];
        ++perKind[u.Typeindex];
        if (u.Hitpoints != kind.Hitpoints)
            return "unit " + std::to_string(i) + " does not have its kind's hit points";
        if (u.Retaliations != 0)
            return "unit " + std::to_string(i) + " has counter-strikes left over";
        const std::string& p = kind.Position;
        if (p == "B")
            seenB = true;
        else if (seenB)
            return "unit " + std::to_string(i) + " stands behind the back line";
        if (int32_t* counter = headCounter(counted, p))
            ++*counter;
        if (kind.Rangedoff > 0 && p != "R")
            ++counted.NumberR;
    }
    for (int32_t k = 0; k <= currentType; ++k)
        if (perKind[k] != unittypes[k].Number)
            return "kind " + std::to_string(k) + " has " + std::to_string(perKind[k]) + " units, not " +
                   std::to_string(unittypes[k].Number);
    if (counted.NumberF != NumberF || counted.NumberR != NumberR || counted.NumberM != NumberM ||
        counted.NumberG != NumberG || counted.NumberB != NumberB)
        return "position counters disagree with the units";
    if (SizeMinusB + NumberB != currentSize)
        return "SizeMinusB + NumberB differs from currentSize";
    return {};
}
