#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "army/Army.h"
#include "Report.h"

// The battle engine: fights two armies in place, one strike at a time, and
// writes the report through ReportColumns. It owns every piece of battle
// state, so independent engines can fight independent armies side by side.
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

private:
    enum Pos : uint8_t { PosF, PosM, PosR, PosG, PosB, PosOther };
    enum class Mode { Ranged, Position, Melee };

    // What the hot loops need of each side's kinds, read once per phase.
    struct Side {
        Army* army = nullptr;
        std::array<uint8_t, Army::maxTypes> pos{};
        std::array<uint8_t, Army::maxTypes> shoots{};
        std::array<int32_t, Army::maxTypes> attacks{};
        int32_t rangedInLine = 0;  // living position "R" units; they all stand in the line
    };

    uint32_t next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return static_cast<uint32_t>((state_ * 0x2545F4914F6CDD1DULL) >> 32);
    }
    static Pos posCode(std::string_view p);
    void bind(Army& I, Army& II);
    int chooseSide(Pos code);
    int32_t weight(const Army& a, Pos code) const;
    bool hits(int chance) { return Random(100) <= chance; }
    template <Mode M> void action(int s);
    void meleeStrike(int s, int32_t attacker, int32_t target);
    void kill(int s, int32_t i);
    int32_t avoidRanged(int t, int32_t target);
    void positionPhase(Army& I, Army& II, Pos code, std::string_view name);
    void endPhase(std::string_view name);
    void fight(Army& I, Army& II, bool sim);
    void writeKindList(int column, const Army& a, int32_t first, bool average, int32_t N);

    ReportColumns* report_;
    uint64_t state_ = 0x9E3779B97F4A7C15ULL;
    std::optional<uint64_t> fixedSeed_;
    uint64_t battlesSeeded_ = 0;
    std::array<Side, 2> sides_;
    // Hit chances by attacking side, attacker kind and target kind.
    std::array<std::array<std::array<int16_t, Army::maxTypes>, Army::maxTypes>, 2> rangedChance_{};
    std::array<std::array<std::array<int16_t, Army::maxTypes>, Army::maxTypes>, 2> meleeChance_{};
};
