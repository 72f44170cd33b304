#pragma once

// What the unit and army dialogs accept, read alike by the windows and by
// army files, so that whatever a file holds could have been typed.
// Qt Core only.

#include <QStringView>
#include <limits>
#include <optional>

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
// then decimal digits and nothing else, within the range of int.
inline std::optional<int> DialogInteger(QStringView text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == n)
        return std::nullopt;
    qint64 value = 0;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
        // Stops a long run of digits before it overflows.
        if (value > static_cast<qint64>(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}
