#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "army/Army.h"
#include "Random.h"
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

    // Position codes as the engine's tables hold them; texts other than the
    // five codes are PosOther.
    enum Pos : uint8_t { PosF, PosM, PosR, PosG, PosB, PosOther };
    static Pos posCode(std::string_view p) {
        if (p.size() != 1)
            return PosOther;
        switch (p[0]) {
        case 'F': return PosF;
        case 'M': return PosM;
        case 'R': return PosR;
        case 'G': return PosG;
        case 'B': return PosB;
        default: return PosOther;
        }
    }

private:
    enum class Mode { Ranged, Position, Melee };

    // What the hot loops need of each side's kinds, read once per phase.
    struct Side {
        Army* army = nullptr;
        std::array<uint8_t, Army::maxTypes> pos{};
        std::array<uint8_t, Army::maxTypes> shoots{};
        std::array<int32_t, Army::maxTypes> attacks{};
        int32_t rangedInLine = 0;  // living position "R" units; they all stand in the line
        // Per kind, what a death takes off the army's head counters: the
        // counter of its position (a spare one for other texts), and 1 more
        // off NumberR for a shooter outside position "R".
        std::array<int32_t*, Army::maxTypes> counter{};
        std::array<uint8_t, Army::maxTypes> extraR{};
        int32_t noCounter = 0;
        // Kinds that act in the current phase, and one bit per slot of the
        // line telling whether its unit does: the next actor is found a word
        // at a time instead of by a test per unit whose outcome is random.
        // Bits at and past Lifecounter are stale.
        std::array<uint8_t, Army::maxTypes> acts{};
        std::vector<uint64_t> actors;
    };

    static uint64_t advance(uint64_t x) { return wyrand::advance(x); }
    static uint32_t output(uint64_t x) { return wyrand::output(x); }
    uint32_t next() {
        state_ = advance(state_);
        return output(state_);
    }
    static uint64_t reciprocal(uint32_t n) { return wyrand::reciprocal(n); }
    static uint32_t fastmod(uint32_t x, uint64_t m, uint32_t n) { return wyrand::fastmod(x, m, n); }
    // Line sizes change at nearly every other strike, so the multipliers of
    // every size a battle can meet are kept rather than divided out anew.
    void reserveReciprocals(size_t n);
    uint32_t below(uint32_t x, int32_t n) const {
        return fastmod(x, recip_[static_cast<size_t>(n)], static_cast<uint32_t>(n));
    }
    // Random(n) for the turn draws; their weights come from head counters a
    // caller may have set past the sizes the table was made for.
    int32_t drawBelow(int32_t n) {
        if (n <= 0)
            return 0;
        const uint32_t x = next();
        return static_cast<int32_t>(static_cast<size_t>(n) < recip_.size() ? below(x, n) : x % static_cast<uint32_t>(n));
    }
    // What one death (d = 1; none for d = 0) takes off the army's counters;
    // line is its Lifecounter, and the new one is returned.
    static int32_t bookDeath(Army& a, Unittype& kind, int32_t* positionCount, int32_t extraR, int32_t d,
                             int32_t line) {
        *positionCount -= d;
        a.NumberR -= extraR & d;
        kind.PhaseCasualties += d;
        kind.BattleCasualties += d;
        a.Lifecounter = line - d;
        return line - d;
    }
    void bind(Army& I, Army& II);
    void bindPhase(Army& I, Army& II);
    template <Pos C> int chooseSide();
    static int32_t weight(const Army& a, Pos code) {
        switch (code) {
        case PosR: return a.NumberR - a.Acted;
        case PosG: return a.NumberG - a.Acted;
        case PosM: return a.NumberM - a.Acted;
        case PosF: return a.NumberF - a.Acted;
        default: return a.Lifecounter;
        }
    }
    static uint64_t hitThreshold(int chance) { return wyrand::hitThreshold(chance); }
    static bool hitDraw(uint32_t x, uint64_t threshold) { return wyrand::hitDraw(x, threshold); }
    bool hits(int chance) { return hitDraw(next(), hitThreshold(chance)); }
    template <Mode M> void action(int s);
    // Books the death of the unit at i of side s when dead is true and
    // changes nothing otherwise, without a branch on dead.
    template <bool RoundOne> int32_t kill(int s, Unit* units, int32_t i, int32_t k, bool dead, int32_t line);
    void exposeBackline(int s);
    void markActors(int s);
    void setActing(int s, const uint8_t* acts);
    void nextActor(int s);
    // One instance per position code, so the per-action counter reads
    // and tests need no dispatch on the code.
    template <Pos C> void positionPhase(Army& I, Army& II, std::string_view name);
    void endPhase(std::string_view name);
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
    std::array<Side, 2> sides_;
    // Set while fight() runs: the kinds' tables stay valid for the whole
    // battle and rangedInLine is kept at every death of round 1, the only
    // round that reads it, so phases skip bind.
    bool battleBound_ = false;
    std::vector<uint64_t> recip_{0};  // recip_[n] = reciprocal(n) for n >= 1
    // Hit thresholds (hitThreshold) by attacking side, attacker kind and
    // target kind.
    std::array<std::array<std::array<uint64_t, Army::maxTypes>, Army::maxTypes>, 2> rangedChance_{};
    std::array<std::array<std::array<uint64_t, Army::maxTypes>, Army::maxTypes>, 2> meleeChance_{};
    // What the hit tables were made from: each side's last kind and its
    // kinds' offense, ranged offense and defense.
    bool chanceTablesMade_ = false;
    std::array<int32_t, 2> chanceLastKind_{};
    std::array<std::array<std::array<double, 3>, Army::maxTypes>, 2> chanceInputs_{};
};
