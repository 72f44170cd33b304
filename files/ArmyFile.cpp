#include "ArmyFile.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include "rules/DialogRules.h"

namespace armyfile {
using namespace dialogrules;
using nlohmann::json;

namespace {

std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string number(int64_t n) {
    return std::to_string(n);
}

// Reports carry names line by line and the command line prints them to a
// terminal: a line break or an escape sequence in a name would break the
// report's columns or drive the terminal. The dialogs' one-line edits never
// hold such characters: C0 and C1 controls, and the line and paragraph
// separators. The parser has already refused text that is not UTF-8.
bool hasControlCharacters(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F)
            return true;
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (c == 0xC2 && next >= 0x80 && next <= 0x9F)
            return true;
        if (c == 0xE2 && next == 0x80 && i + 2 < text.size() &&
            (static_cast<unsigned char>(text[i + 2]) == 0xA8 || static_cast<unsigned char>(text[i + 2]) == 0xA9))
            return true;
    }
    return false;
}

// The checks of one file, each failure thrown as its message so that the
// first broken rule ends the reading with nothing taken from the file.
struct Broken {
    std::string message;
};

class Reader {
public:
    ArmySetup read(const json& root) {
        if (!root.is_object())
            fail("not an army file: the top level is not a JSON object");

        const json* format = find(root, "format");
        if (!format)
            fail("not an army file: \"format\" is missing");
        if (!format->is_string())
            fail(std::string("not an army file: \"format\" must be the text \"") + Format + "\"");
        if (format->get_ref<const std::string&>() != Format)
            fail("unknown format " + inQuotes(format->get_ref<const std::string&>()));

        const json* version = find(root, "version");
        if (!version)
            fail("\"version\" is missing");
        const std::optional<double> v = integral(*version);
        if (!v)
            fail("\"version\" must be a whole number");
        if (*v != Version) {
            char text[40];
            std::snprintf(text, sizeof text, "%.17g", *v);
            fail(std::string("version ") + text + " is not supported");
        }

        const json* players = find(root, "players");
        if (!players)
            fail("\"players\" is missing");
        if (!players->is_array())
            fail("\"players\" must be a list of two players");
        if (players->size() != 2)
            fail("\"players\" must hold exactly 2 players, not " + number(static_cast<int64_t>(players->size())));

        ArmySetup setup;
        std::array<int, 2> numbers{};
        for (int p = 0; p < 2; ++p) {
            where_ = "player " + number(p + 1);
            const json& player = (*players)[static_cast<size_t>(p)];
            if (!player.is_object())
                fail(where_ + " must be a JSON object");
            numbers[p] = readPlayer(player, &setup.players[p]);
        }
        const std::string& a = setup.players[0].number;
        const std::string& b = setup.players[1].number;
        if (a == b)
            fail("players 1 and 2 both have the number " + inQuotes(a));
        if (numbers[0] == numbers[1])
            fail("players 1 and 2 have the same number (" + inQuotes(a) + " and " + inQuotes(b) + " both read as " +
                 number(numbers[0]) + ")");
        return setup;
    }

private:
    [[noreturn]] static void fail(const std::string& message) { throw Broken{message}; }
    [[noreturn]] void failField(const char* key, const std::string& rule) const {
        fail(where_ + ": \"" + key + "\" " + rule);
    }

    static const json* find(const json& object, const char* key) {
        const auto it = object.find(key);
        return it == object.end() ? nullptr : &*it;
    }

    static std::optional<double> integral(const json& value) {
        if (!value.is_number())
            return std::nullopt;
        const double d = value.get<double>();
        if (!std::isfinite(d) || std::trunc(d) != d)
            return std::nullopt;
        return d;
    }

    const json& required(const json& object, const char* key) const {
        const json* value = find(object, key);
        if (!value)
            failField(key, "is missing");
        return *value;
    }

    int wholeNumber(const json& object, const char* key, int low, int high) const {
        const std::optional<double> d = integral(required(object, key));
        if (!d || *d < low || *d > high)
            failField(key, "must be a whole number from " + number(low) + " to " + number(high));
        return static_cast<int>(*d);
    }

    std::string text(const json& object, const char* key, int minLength, int maxLength) const {
        const json& value = required(object, key);
        const std::string rule =
            minLength > 0 ? "must be a text of " + number(minLength) + " to " + number(maxLength) + " characters"
                          : "must be a text of at most " + number(maxLength) + " characters";
        if (!value.is_string())
            failField(key, rule);
        const std::string& s = value.get_ref<const std::string&>();
        const int64_t length = FieldLength(s);
        if (length < minLength || length > maxLength)
            failField(key, rule);
        if (hasControlCharacters(s))
            failField(key, "must not hold line breaks or other control characters");
        return s;
    }

    std::string code(const json& object, const char* key, std::initializer_list<const char*> codes) const {
        const json& value = required(object, key);
        if (value.is_string())
            for (const char* c : codes)
                if (value.get_ref<const std::string&>() == c)
                    return c;
        std::string list;
        for (const char* c : codes)
            list += (list.empty() ? "" : ", ") + std::string(c);
        failField(key, "must be one of " + list);
    }

    // Returns the player number as a number, for the distinctness check.
    int readPlayer(const json& object, PlayerSetup* player) {
        const json& value = required(object, "number");
        const std::string rule =
            "must be a text of 1 or 2 characters reading as a whole number from 1 to " + number(MaxPlayerNumber);
        if (!value.is_string())
            failField("number", rule);
        player->number = value.get<std::string>();
        // A player number of " 7" or "+7" is one the army-info dialog accepts,
        // so a file may hold it too.
        const std::optional<int> n = DialogInteger(player->number);
        const int64_t length = FieldLength(player->number);
        if (length < 1 || length > PlayerNumberDigits || !n || *n < 1 || *n > MaxPlayerNumber)
            failField("number", rule);

        player->name = text(object, "name", 1, MaxNameLength);

        const json& kinds = required(object, "kinds");
        if (!kinds.is_array())
            failField("kinds", "must be a list of kinds");
        if (kinds.size() > static_cast<size_t>(MaxKinds))
            failField("kinds", "holds " + number(static_cast<int64_t>(kinds.size())) +
                                   " kinds; an army holds at most " + number(MaxKinds));

        const std::string playerWhere = where_;
        for (size_t k = 0; k < kinds.size(); ++k) {
            where_ = playerWhere + ", kind " + number(static_cast<int64_t>(k + 1));
            if (!kinds[k].is_object())
                fail(where_ + " must be a JSON object");
            player->kinds.push_back(readKind(kinds[k]));
        }
        where_ = playerWhere;
        return *n;
    }

    KindSetup readKind(const json& object) {
        KindSetup kind;
        KindValues& v = kind.values;
        // The name first, so that every later message can say which kind.
        v.Fullname = text(object, "name", 1, MaxNameLength);
        where_ += " (" + inQuotes(v.Fullname) + ")";
        v.Abbreviation = text(object, "abbreviation", 0, MaxAbbreviationLength);
        v.Position = code(object, "position", {"F", "G", "B", "R", "M"});
        v.Type = code(object, "type", {"O", "S", "U", "H"});
        v.Offense = wholeNumber(object, "offense", 0, MaxValue);
        v.Defense = wholeNumber(object, "defense", 0, MaxValue);
        v.Rangedoff = wholeNumber(object, "rangedoff", 0, MaxValue);
        v.Attacks = wholeNumber(object, "attacks", 1, MaxValue);
        v.Hitpoints = wholeNumber(object, "hitpoints", 1, MaxValue);
        kind.number = wholeNumber(object, "number", 1, MaxUnits);
        return kind;
    }

    std::string where_;
};

// Whole values are written as integers so the file reads as it was typed;
// anything else stays a real and is refused on reading.
json numberValue(double d) {
    if (std::isfinite(d) && std::trunc(d) == d && std::fabs(d) < 1e15)
        return static_cast<int64_t>(d);
    return d;
}

void setError(std::string* error, const std::string& message) {
    if (error)
        *error = message;
}

// Thrown from the parser's callback: the nesting limit is reached.
struct TooDeep {};

// The parser's own words, without its prefix ("[json.exception.parse_error.101]
// parse error at line 1, column 5: ") that repeats where the offset says.
std::string parseProblem(const std::string& what) {
    const size_t at = what.find(": ");
    return at == std::string::npos ? what : what.substr(at + 2);
}

}  // namespace

int64_t FieldLength(std::string_view text) {
    int64_t units = 0;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte & 0xC0) != 0x80)
            units += byte >= 0xF0 ? 2 : 1;  // a four-byte sequence is a surrogate pair
    }
    return units;
}

ArmySetup SetupOf(const Players& players) {
    ArmySetup setup;
    for (int p = 1; p <= 2; ++p) {
        const Player& from = players.player(p);
        PlayerSetup& player = setup.players[static_cast<size_t>(p - 1)];
        player.number = from.number;
        player.name = from.name;
        for (int32_t k = 0; k <= from.army.currentType && k < Army::maxTypes; ++k) {
            const Unittype& t = from.army.unittypes[k];
            if (!t.Fullname.empty())  // else a free slot (only kind 0 of an empty army)
                player.kinds.push_back({valuesOf(t), t.Number});
        }
    }
    return setup;
}

std::string ToJson(const ArmySetup& setup) {
    json players = json::array();
    for (const PlayerSetup& p : setup.players) {
        json kinds = json::array();
        for (const KindSetup& k : p.kinds) {
            const KindValues& v = k.values;
            kinds.push_back({{"abbreviation", v.Abbreviation},
                             {"name", v.Fullname},
                             {"position", v.Position},
                             {"type", v.Type},
                             {"offense", numberValue(v.Offense)},
                             {"defense", numberValue(v.Defense)},
                             {"rangedoff", numberValue(v.Rangedoff)},
                             {"attacks", v.Attacks},
                             {"hitpoints", v.Hitpoints},
                             {"number", k.number}});
        }
        players.push_back({{"number", p.number}, {"name", p.name}, {"kinds", std::move(kinds)}});
    }
    const json root = {{"format", Format}, {"version", Version}, {"players", std::move(players)}};
    // Text that is not UTF-8 cannot come from a window or a file; should it
    // come from code, it is written replaced rather than thrown.
    return root.dump(4, ' ', false, json::error_handler_t::replace) + "\n";
}

bool FromJson(std::string_view text, ArmySetup* out, std::string* error) {
    if (static_cast<int64_t>(text.size()) > MaxFileBytes) {
        setError(error, "the file is too large for an army file (more than " + number(MaxFileBytes) + " bytes)");
        return false;
    }
    json root;
    try {
        root = json::parse(text.begin(), text.end(), [](int depth, json::parse_event_t event, json&) {
            if ((event == json::parse_event_t::object_start || event == json::parse_event_t::array_start) &&
                depth >= MaxNesting)
                throw TooDeep{};
            return true;
        });
    } catch (const json::parse_error& e) {
        setError(error, "not JSON: " + parseProblem(e.what()) + " at offset " + number(static_cast<int64_t>(e.byte)));
        return false;
    } catch (const json::exception& e) {
        setError(error, "not JSON: " + parseProblem(e.what()));
        return false;
    } catch (const TooDeep&) {
        setError(error, "not an army file: it nests more than " + number(MaxNesting) + " levels deep");
        return false;
    }
    try {
        ArmySetup setup = Reader().read(root);
        if (out)
            *out = std::move(setup);
        return true;
    } catch (const Broken& broken) {
        setError(error, broken.message);
        return false;
    }
}

std::string Check(const ArmySetup& setup) {
    // One set of rules for reading and writing: what would not read back is
    // not written.
    std::string error;
    return FromJson(ToJson(setup), nullptr, &error) ? std::string() : error;
}

bool BuildArmy(const PlayerSetup& player, Army* army) {
    Army built;
    for (const KindSetup& kind : player.kinds)
        if (built.AddKind(kind.values, kind.number) != Army::AddResult::Added)
            return false;
    *army = std::move(built);
    return true;
}

bool PlayersOf(const ArmySetup& setup, Players* players, std::string* error) {
    // Both armies are built before either replaces anything.
    Players built;
    for (int p = 1; p <= 2; ++p) {
        const PlayerSetup& from = setup.players[static_cast<size_t>(p - 1)];
        if (!BuildArmy(from, &built.army(p))) {
            if (error)
                *error = "player " + std::to_string(p) + "'s army cannot be built";
            return false;
        }
        built.player(p).number = from.number;
        built.player(p).name = from.name;
    }
    *players = std::move(built);
    return true;
}

}  // namespace armyfile
