#pragma once

// Shared helpers for the army and engine tests: building armies, snapshots
// to compare an army before and after a battle, reading a written report,
// and a watchdog that turns a hang into a failure.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "HandKind.h"
#include "army/Army.h"
#include "army/Catalogue.h"
#include "battle/Battle.h"

namespace testsupport {

using handkind::kind;

inline KindValues catalogueKind(std::string_view abbreviation) {
    const CatalogueRow* row = Unitcatalogue::find(abbreviation);
    if (!row) {
        ADD_FAILURE() << "no catalogue row " << abbreviation;
        return {};
    }
    return Unitcatalogue::values(*row);
}

inline void add(Army& a, const KindValues& v, int32_t n) {
    ASSERT_EQ(a.AddKind(v, n), Army::AddResult::Added) << v.Fullname;
}

// An army of catalogue kinds, e.g. {{"ARC", 20}, {"KNI", 10}}.
inline Army catalogueArmy(std::initializer_list<std::pair<const char*, int32_t>> kinds) {
    Army a;
    for (const auto& [abb, n] : kinds)
        add(a, catalogueKind(abb), n);
    return a;
}

// Puts a kind straight into the table, bypassing the checks of AddKind, so
// that values no dialog accepts (attacks 0, hit points 0) can be fought with.
inline void putKind(Army& a, const KindValues& v, int32_t n) {
    int32_t k = a.kindCount() == 0 ? 0 : a.currentType + 1;
    setValues(a.unittypes[k], v);
    a.unittypes[k].Number = n;
    a.currentType = k;
    if (a.currentSize + n > a.maxSize)
        a.Grow(n);
    a.currentSize += n;
    a.Rebuild();
}

// Everything of an army that must be the same before and after a battle.
struct ArmyState {
    int32_t maxSize, currentSize, currentType, SizeMinusB, NumberF, NumberR, NumberM, NumberG, NumberB;
    std::vector<std::tuple<int32_t, int32_t, int32_t>> units;  // Typeindex, Hitpoints, Retaliations
    // name, Number, position, Attacks, Hitpoints
    std::vector<std::tuple<std::string, int32_t, std::string, int32_t, int32_t>> kinds;

    bool operator==(const ArmyState&) const = default;
};

inline ArmyState stateOf(const Army& a, bool sortUnits) {
    ArmyState s{a.maxSize, a.currentSize, a.currentType, a.SizeMinusB, a.NumberF, a.NumberR,
                a.NumberM, a.NumberG,     a.NumberB,     {},           {}};
    for (int32_t i = 0; i < a.currentSize; ++i)
        s.units.emplace_back(a.units[i].Typeindex, a.units[i].Hitpoints, a.units[i].Retaliations);
    if (sortUnits)
        std::sort(s.units.begin(), s.units.end());
    for (int32_t k = 0; k <= a.currentType; ++k)
        s.kinds.emplace_back(a.unittypes[k].Fullname, a.unittypes[k].Number, a.unittypes[k].Position,
                             a.unittypes[k].Attacks, a.unittypes[k].Hitpoints);
    return s;
}

inline std::string positionsOf(const Army& a) {
    std::string s;
    for (int32_t i = 0; i < a.currentSize; ++i)
        s += a.kindOf(i).Position;
    return s;
}

// Sets up both lines and fights one battle, the way the main window does.
inline void fight(Battle& b, Army& I, Army& II, bool sim = false) {
    Battle::PrepareLine(I);
    Battle::PrepareLine(II);
    if (sim)
        b.FightSimBattle(I, II);
    else
        b.FightBattle(I, II);
}

// One column of a written battle report, read back.
struct ParsedColumn {
    std::vector<std::string> phaseTitles;
    // Per kind name: casualties per phase block, and the "(Total = n)" seen.
    std::map<std::string, int> phaseSum;
    std::map<std::string, int> lastTotal;
    std::vector<std::pair<std::string, int>> unitsLeft;
    bool wellFormed = true;
    std::string problem;
};

inline ParsedColumn parseColumn(const StringReport& r, int column) {
    ParsedColumn p;
    const auto& lines = r.columns[column];
    size_t i = 0;
    auto fail = [&](const std::string& why) {
        if (p.wellFormed)
            p.problem = why + " at line " + std::to_string(i);
        p.wellFormed = false;
    };
    while (i < lines.size() && lines[i] != Battle::Separator)
        ++i;
    for (++i; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l.empty())
            continue;
        if (l == Battle::Separator) {
            if (i + 1 >= lines.size() || lines[i + 1] != "UNITS LEFT:")
                fail("separator without UNITS LEFT");
            for (size_t j = i + 2; j < lines.size() && !lines[j].empty(); ++j) {
                const size_t colon = lines[j].rfind("    :     ");
                if (colon == std::string::npos) {
                    fail("bad units-left line");
                    break;
                }
                p.unitsLeft.emplace_back(lines[j].substr(0, colon), std::stoi(lines[j].substr(colon + 10)));
            }
            break;
        }
        if (l.rfind("Round ", 0) == 0) {
            p.phaseTitles.push_back(l);
            continue;
        }
        if (l == " None")
            continue;
        const size_t colon = l.rfind(" : ");
        const size_t total = l.rfind("      (Total = ");
        if (l[0] != ' ' || colon == std::string::npos || total == std::string::npos || l.back() != ')') {
            fail("bad casualty line '" + l + "'");
            continue;
        }
        const std::string name = l.substr(1, colon - 1);
        p.phaseSum[name] += std::stoi(l.substr(colon + 3, total - colon - 3));
        p.lastTotal[name] = std::stoi(l.substr(total + 15));
        if (p.lastTotal[name] != p.phaseSum[name])
            fail("running total of " + name + " disagrees with its phase lines");
    }
    return p;
}

// Aborts the test program with a message when a scope takes longer than
// allowed: a battle that never ends would otherwise stall the whole run.
class Watchdog {
public:
    Watchdog(const char* what, std::chrono::seconds limit) : what_(what) {
        thread_ = std::thread([this, limit] {
            std::unique_lock lock(m_);
            if (!cv_.wait_for(lock, limit, [this] { return done_; })) {
                std::fprintf(stderr, "HANG: %s did not finish in time\n", what_);
                std::_Exit(3);
            }
        });
    }
    ~Watchdog() {
        {
            std::lock_guard lock(m_);
            done_ = true;
        }
        cv_.notify_one();
        thread_.join();
    }

private:
    const char* what_;
    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace testsupport
