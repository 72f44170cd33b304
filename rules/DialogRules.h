#pragma once

// What the unit and army dialogs accept, read alike by the windows, by army
// files, by orbsim, by the engine and by the browser edition, so that
// whatever a file holds could have been typed. Plain C++: no toolkit.

#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "army/Army.h"

namespace dialogrules {
// The numbers a field holds follow from the characters it takes.
constexpr int largestOfDigits(int digits) {
    return digits > 0 ? 10 * largestOfDigits(digits - 1) + 9 : 0;
}
inline constexpr int UnitsDigits = 4;         // units of a kind
inline constexpr int ValueDigits = 3;         // offense, defense, ranged offense, attacks, hit points
inline constexpr int PlayerNumberDigits = 2;  // a player's (wizard's) number
inline constexpr int MaxUnits = largestOfDigits(UnitsDigits);
inline constexpr int MaxValue = largestOfDigits(ValueDigits);
inline constexpr int MaxPlayerNumber = largestOfDigits(PlayerNumberDigits);
inline constexpr int MaxNameLength = 30;
inline constexpr int AddNameLength = 28;  // the add dialog's name field is shorter
inline constexpr int MaxAbbreviationLength = 3;
inline constexpr int MaxKinds = Army::maxTypes;
}  // namespace dialogrules

// A whole number as the dialogs read one: leading blanks, an optional sign,
// then decimal digits and nothing else, within the range of int. Any byte
// outside ASCII (UTF-8 text) is no digit, as no other character is.
constexpr std::optional<int> DialogInteger(std::string_view text) {
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == n)
        return std::nullopt;
    int64_t value = 0;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        // Stops a long run of digits before it overflows.
        if (value > static_cast<int64_t>(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}
