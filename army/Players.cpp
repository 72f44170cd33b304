#include "Players.h"

#include "rules/DialogRules.h"

namespace {
bool sameNumber(std::string_view a, std::string_view b) {
    const std::optional<int> x = DialogInteger(a);
    return x && x == DialogInteger(b);
}
}  // namespace

std::string Summary(const Player& player) {
    const int32_t kinds = player.army.kindCount();
    const int32_t units = player.army.currentSize;
    return "Player " + player.number + " (" + player.name + "): " + std::to_string(kinds) +
           (kinds == 1 ? " kind, " : " kinds, ") + std::to_string(units) + (units == 1 ? " unit" : " units");
}

Players::Players() : players_{Player{"1", "Nameless 1", Army()}, Player{"2", "Nameless 2", Army()}} {}

int Players::byText(std::string_view number) const {
    return number == players_[0].number ? 1 : number == players_[1].number ? 2 : 0;
}

int Players::byNumber(std::string_view number) const {
    return sameNumber(number, players_[0].number) ? 1 : sameNumber(number, players_[1].number) ? 2 : 0;
}

int Players::byValue(int number) const {
    return DialogInteger(players_[0].number) == number ? 1 : DialogInteger(players_[1].number) == number ? 2 : 0;
}

int Players::withoutUnits() const {
    return players_[0].army.currentSize <= 0 ? 1 : players_[1].army.currentSize <= 0 ? 2 : 0;
}

Players::InfoWritten Players::changeInfo(const InfoChange& change) {
    InfoWritten written;
    const auto& wanted = change.numbers;
    written.numbers[0] = wanted[0] && !sameNumber(*wanted[0], wanted[1] ? *wanted[1] : players_[1].number);
    const std::string& after1 = written.numbers[0] ? *wanted[0] : players_[0].number;
    written.numbers[1] = wanted[1] && !sameNumber(*wanted[1], after1);
    written.refused = (wanted[0] && !written.numbers[0]) || (wanted[1] && !written.numbers[1]);
    for (size_t s = 0; s < 2; ++s) {
        if (written.numbers[s])
            players_[s].number = *wanted[s];
        written.names[s] = change.names[s].has_value();
        if (written.names[s])
            players_[s].name = *change.names[s];
    }
    return written;
}
