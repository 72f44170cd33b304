#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Random.h"
#include "Report.h"
#include "army/Army.h"

// The battle engine of record: fights two armies in place, one strike at a
// time, through the rules' own operations in the rules' own order, and
// writes the report through ReportColumns. It fights the battle of a report;
// simulations fight the same battles, draw for draw, on LeanBattle. It owns
// every piece of battle state, so independent engines can fight independent
// armies side by side.
class Battle {
public:
    explicit Battle(ReportColumns* report = nullptr);
    // An engine is bound to the battle it fights; copying one mid-battle
    // would duplicate its generator stream.
    Battle(const Battle&) = delete;
    Battle& operator=(const Battle&) = delete;

    // Report columns; none means the report is not written at all.
    void setReport(ReportColumns* report) { report_ = report; }
    ReportColumns* report() const { return report_; }

    // Random draws.
    void Seed(uint64_t seed);
    // With a base, every battle's seed comes from the base and the engine's
    // battle count, so a run of battles can be repeated exactly.
    void setFixedSeed(std::optional<uint64_t> base) {
        fixedSeed_ = base;
        battlesSeeded_ = 0;
    }
    void Randomize();
    int32_t Random(int32_t n) { return n > 0 ? static_cast<int32_t>(next() % static_cast<uint32_t>(n)) : 0; }
    void Shuffle(Army& army, int32_t lo, int32_t hi);

    // Fighting line and deaths.
    static void PrepareLine(Army& army);
    int32_t PickTarget(const Army& army) { return Random(army.Lifecounter); }
    static void UnitKilled(Army& army, int32_t i);
    static void BuryUnit(Army& army, int32_t i) { army.SwapUnits(i, army.Lifecounter); }
    static void ExposeBackline(Army& army);
    void ResetCounters(Army& army);

    // Phases and strikes; side I is player 1's army, side II player 2's.
    void DecideTurn(Army& I, Army& II, std::string_view code);
    static int HitChance(double strength, double defense);
    void RangedStrike(Army& S, int32_t attacker, Army& T, int32_t target);
    void MeleeStrike(Army& S, int32_t attacker, Army& T, int32_t target);
    void CounterStrike(Army& D, int32_t defender, Army& A, int32_t attacker);
    void RangedPhase(Army& I, Army& II);
    void PositionPhase(Army& I, Army& II, std::string_view code, std::string_view name);
    void MeleePhase(Army& I, Army& II);

    // Round driver and battle.
    void FightRound(Army& I, Army& II);
    void FightBattle(Army& I, Army& II);
    void FightSimBattle(Army& I, Army& II);

    // Report text.
    void ReportHeader(const Army& I, const Army& II);
    void ReportCasualties(const Army& I, const Army& II, const std::string& roundText, const std::string& phaseName);
    void ReportUnitsLeft(const Army& I, const Army& II);
    void ReportAverageLeft(const Army& I, const Army& II, int32_t N);

    int32_t CounterFlag = 0;
    int32_t Roundcounter = 0;
    std::string PhaseName;
    std::string RoundText;
    int32_t LineI = 0;
    int32_t LineII = 0;

    // Strikes made since construction (counter-strikes included).
    uint64_t strikeCount = 0;

    static inline const std::string Separator = std::string(44, '_');

    // Position codes as the lean engine's tables hold them; texts other than
    // the five codes are PosOther.
    enum Pos : uint8_t { PosF, PosM, PosR, PosG, PosB, PosOther };
    static Pos posCode(std::string_view p) {
        if (p.size() != 1)
            return PosOther;
        switch (p[0]) {
            case 'F':
                return PosF;
            case 'M':
                return PosM;
            case 'R':
                return PosR;
            case 'G':
                return PosG;
            case 'B':
                return PosB;
            default:
                return PosOther;
        }
    }

private:
    enum class Strike { Ranged, Position, Melee };

    uint32_t next() {
        state_ = wyrand::advance(state_);
        return wyrand::output(state_);
    }
    // The hit test: a draw below 100 of at most the chance.
    bool hits(int chance) { return Random(100) <= chance; }
    // Whether T's line holds a unit outside position "R": only then can the
    // target rule of a position phase pass over the ranged units.
    static bool lineHoldsOtherThanRanged(const Army& T);
    // UnitKilled, BuryUnit and ExposeBackline: a death, in that order.
    static void bury(Army& army, int32_t i);
    // One action of the unit at S's Actor against T.
    void action(Army& S, Army& T, Strike strike);
    // The ranged phase or a position phase: the same cycle, with the code
    // and name for the turn draw and the report.
    void roundOnePhase(Army& I, Army& II, std::string_view code, std::string_view name, Strike strike);
    void endPhase(Army& I, Army& II, std::string_view name);
    void fight(Army& I, Army& II, bool sim);
    void writeKindList(int column, const Army& a, int32_t first, bool average, int32_t N);
    void appendNumber(int32_t v);

    ReportColumns* report_;
    std::string text_;  // the report line being built
    static inline const std::string kEmptyLine;
    static inline const std::string kNoneLine = " None";
    static inline const std::string kUnitsLeftLine = "UNITS LEFT:";
    uint64_t state_ = 0;
    std::optional<uint64_t> fixedSeed_;
    uint64_t battlesSeeded_ = 0;
};
