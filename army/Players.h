#pragma once

#include <array>
#include <cassert>
#include <optional>
#include <string>
#include <string_view>

#include "Army.h"

// A player: the number the unit dialogs find the army by, the wizard's name
// and the army. The number is kept as typed: "07" keeps its zero.
struct Player {
    std::string number;
    std::string name;
    Army army;
    bool operator==(const Player&) const = default;
};

// "Player 1 (Morgana): 2 kinds, 25 units", as a question about whose armies
// they are names them.
std::string Summary(const Player& player);

// Both players of a battle as one value, with the rules by which the dialogs
// find a player and change the numbers and names. Player 1 is side I,
// player 2 side II.
class Players {
public:
    // As at start: numbers 1 and 2, nameless wizards, no units.
    Players();

    Player& player(int p) {
        assert(p == 1 || p == 2);
        return players_[static_cast<size_t>(p - 1)];
    }
    const Player& player(int p) const {
        assert(p == 1 || p == 2);
        return players_[static_cast<size_t>(p - 1)];
    }
    Army& army(int p) { return player(p).army; }
    const Army& army(int p) const { return player(p).army; }

    // The player a dialog's number names, player 1 asked first; 0 means
    // nobody. Which comparison a dialog makes is part of its rules:
    // by text, exactly as the number is kept ("07" does not name "7");
    int byText(std::string_view number) const;
    // by number, where a text that is no number names nobody;
    int byNumber(std::string_view number) const;
    // by a number already read.
    int byValue(int number) const;

    // The first player whose army has no units, player 1 first; 0 when both
    // have some.
    int withoutUnits() const;

    // The army-info dialog's OK: each number and name given is written,
    // except a number that would leave both players with one number, which
    // the unit dialogs could not tell apart. Each number is checked against
    // the number the other player holds afterwards.
    struct InfoChange {
        std::array<std::optional<std::string>, 2> numbers;
        std::array<std::optional<std::string>, 2> names;
    };
    struct InfoWritten {
        std::array<bool, 2> numbers{};
        std::array<bool, 2> names{};
        bool refused = false;  // a number given was not written
    };
    InfoWritten changeInfo(const InfoChange& change);

    bool operator==(const Players&) const = default;

private:
    std::array<Player, 2> players_;
};
