#include "Battle.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "Random.h"
#include "Seed.h"

Battle::Battle(ReportColumns* report) : report_(report) {}

// ---- Random draws ----------------------------------------------------------

void Battle::Seed(uint64_t seed) {
    // Mixed, so that neighbouring seeds start far apart on the counter.
    state_ = splitmix64(seed);
}

void Battle::Randomize() {
    if (fixedSeed_) {
        Seed(*fixedSeed_ + battlesSeeded_++);
        return;
    }
    Seed(FreshSeed());
}

void Battle::Shuffle(Army& army, int32_t lo, int32_t hi) {
    // Each record is exchanged with one drawn from the whole range, itself
    // included.
    for (int32_t i = lo; i < hi; ++i)
        army.SwapUnits(i, lo + Random(hi - lo));
}

// ---- Fighting line and deaths ----------------------------------------------

void Battle::PrepareLine(Army& army) {
    army.Bexposed = 0;
    army.Lifecounter = army.SizeMinusB;
    if (army.Lifecounter == 0) {
        army.Bexposed = 1;
        army.Lifecounter = army.currentSize;
    }
}

void Battle::UnitKilled(Army& army, int32_t i) {
    Unittype& kind = army.unittypes[army.units[i].Typeindex];
    if (int32_t* counter = army.headCounter(kind.Position))
        --*counter;
    // NumberR also counts the shooters of other positions.
    if (kind.Rangedoff > 0 && kind.Position != "R")
        --army.NumberR;
    ++kind.PhaseCasualties;
    ++kind.BattleCasualties;
    --army.Lifecounter;
}

void Battle::ExposeBackline(Army& army) {
    if (army.Lifecounter > 0 || army.SizeMinusB == army.currentSize || army.Bexposed == 1)
        return;
    army.Lifecounter = 0;
    for (int32_t i = army.SizeMinusB; i < army.currentSize; ++i) {
        army.SwapUnits(i, army.Lifecounter);
        ++army.Lifecounter;
    }
    army.Bexposed = 1;
}

void Battle::ResetCounters(Army& army) {
    for (int32_t i = 0; i < army.currentSize; ++i)
        army.units[i].Retaliations = 0;
    CounterFlag = 0;
}

// ---- Strikes ---------------------------------------------------------------

int Battle::HitChance(double strength, double defense) {
    const double sum = strength + defense;
    if (!(sum != 0))
        return 0;  // 0 against 0: hits only on a draw of 0
    const double chance = strength / sum * 100;
    // Values no dialog accepts (negative ones) could give a chance below 0,
    // which would never hit and never end a battle; 0 still hits once in 100.
    if (!(chance > 0))
        return 0;
    return chance >= 100 ? 100 : static_cast<int>(chance);
}

void Battle::RangedStrike(Army& S, int32_t attacker, Army& T, int32_t target) {
    ++strikeCount;
    if (hits(HitChance(S.kindOf(attacker).Rangedoff, T.kindOf(target).Defense)))
        --T.units[target].Hitpoints;
}

void Battle::MeleeStrike(Army& S, int32_t attacker, Army& T, int32_t target) {
    ++strikeCount;
    if (hits(HitChance(S.kindOf(attacker).Offense, T.kindOf(target).Defense))) {
        --T.units[target].Hitpoints;
    } else if (CounterFlag == 0) {
        CounterFlag = 1;
        CounterStrike(T, target, S, attacker);
    }
}

void Battle::CounterStrike(Army& D, int32_t defender, Army& A, int32_t attacker) {
    Unit& d = D.units[defender];
    if (d.Retaliations < D.kindOf(defender).Attacks) {
        MeleeStrike(D, defender, A, attacker);
        ++d.Retaliations;
    }
}

// ---- Phases ----------------------------------------------------------------

void Battle::DecideTurn(Army& I, Army& II, std::string_view code) {
    // A position phase weighs the units still to move; the melee phase (and
    // any other code) the line.
    auto weight = [code](const Army& a) {
        const int32_t* counter = code == "B" ? nullptr : Army::headCounter(a, code);
        return counter ? *counter - a.Acted : a.Lifecounter;
    };
    const int32_t wI = weight(I);
    const int32_t n = Random(wI + weight(II));
    I.Turn = n < wI ? 1 : 0;
    II.Turn = 1 - I.Turn;
}

bool Battle::lineHoldsOtherThanRanged(const Army& T) {
    for (int32_t i = 0; i < T.Lifecounter; ++i)
        if (T.kindOf(i).Position != "R")
            return true;
    return false;
}

void Battle::bury(Army& army, int32_t i) {
    UnitKilled(army, i);
    BuryUnit(army, i);
    ExposeBackline(army);
}

// A unit with no hit points left is dead: exactly 0 for every unit the
// dialogs accept, and below it for one entered with none at all.
void Battle::action(Army& S, Army& T, Strike strike) {
    ExposeBackline(T);
    int32_t strikes = 0;
    while (T.Lifecounter > 0) {
        if (strike != Strike::Ranged)
            CounterFlag = 0;
        int32_t t = PickTarget(T);
        // Ranged units are passed over while others stand in the line; a
        // line of nothing but ranged units keeps the first draw, where the
        // rule alone would draw for ever.
        if (strike == Strike::Position && T.NumberR != T.Lifecounter && lineHoldsOtherThanRanged(T))
            while (T.kindOf(t).Position == "R")
                t = PickTarget(T);
        if (strike == Strike::Ranged)
            RangedStrike(S, S.Actor, T, t);
        else
            MeleeStrike(S, S.Actor, T, t);
        ++strikes;
        if (T.units[t].Hitpoints <= 0)
            bury(T, t);
        if (strike != Strike::Ranged && S.units[S.Actor].Hitpoints <= 0) {
            bury(S, S.Actor);
            break;  // a counter-strike killed the actor: its action ends
        }
        if (S.kindOf(S.Actor).Attacks <= strikes)
            break;
    }
}

void Battle::RangedPhase(Army& I, Army& II) {
    roundOnePhase(I, II, "R", "Ranged", Strike::Ranged);
}

void Battle::PositionPhase(Army& I, Army& II, std::string_view code, std::string_view name) {
    roundOnePhase(I, II, code, name, Strike::Position);
}

void Battle::roundOnePhase(Army& I, Army& II, std::string_view code, std::string_view name, Strike strike) {
    const bool ranged = strike == Strike::Ranged;
    auto counter = [&](const Army& a) {
        if (ranged)
            return a.NumberR;
        return code == "G" ? a.NumberG : code == "M" ? a.NumberM : code == "F" ? a.NumberF : 0;
    };
    auto acts = [&](const Unittype& kind) { return ranged ? kind.Rangedoff > 0 : kind.Position == code; };
    for (;;) {
        // A side whose units have all moved can keep a positive weight while
        // the other's falls to 0: once exactly one side is finished, the
        // other acts without a draw.
        const bool doneI = I.Actor >= I.Lifecounter;
        const bool doneII = II.Actor >= II.Lifecounter;
        if (doneI != doneII) {
            I.Turn = doneI ? 0 : 1;
            II.Turn = 1 - I.Turn;
        } else {
            DecideTurn(I, II, code);
        }
        Army& S = I.Turn == 1 ? I : II;
        Army& T = I.Turn == 1 ? II : I;
        while (S.Actor < S.Lifecounter && !acts(S.kindOf(S.Actor)))
            ++S.Actor;
        if (S.Actor < S.Lifecounter) {
            action(S, T, strike);
            ++S.Acted;
            ++S.Actor;
        }
        for (Army* a : {&I, &II})
            if (counter(*a) == 0 || a->Acted == counter(*a))
                a->Actor = a->Lifecounter;
        if (I.Actor >= I.Lifecounter && II.Actor >= II.Lifecounter)
            break;
    }
    endPhase(I, II, name);
}

void Battle::MeleePhase(Army& I, Army& II) {
    I.Actor = -1;
    II.Actor = -1;
    for (;;) {
        DecideTurn(I, II, "");
        Army& S = I.Turn == 1 ? I : II;
        Army& T = I.Turn == 1 ? II : I;
        if (S.Lifecounter > 0)
            ++S.Actor;
        if (S.Actor < S.Lifecounter) {
            action(S, T, Strike::Melee);
            ++S.Acted;
        }
        if (II.Lifecounter == 0 || I.Lifecounter == 0) {
            I.Actor = I.Lifecounter;
            II.Actor = II.Lifecounter;
        }
        if (I.Actor >= I.Lifecounter && II.Actor >= II.Lifecounter)
            break;
    }
    endPhase(I, II, "");
}

void Battle::endPhase(Army& I, Army& II, std::string_view name) {
    PhaseName = name;
    RoundText = std::to_string(Roundcounter);
    ReportCasualties(I, II, RoundText, PhaseName);
    for (Army* a : {&I, &II}) {
        a->Actor = 0;
        a->Acted = 0;
        for (Unittype& kind : a->unittypes)
            kind.PhaseCasualties = 0;
    }
}

// ---- Round driver and battle -----------------------------------------------

void Battle::FightRound(Army& I, Army& II) {
    Shuffle(I, 0, I.Lifecounter);
    Shuffle(II, 0, II.Lifecounter);
    I.Actor = I.Acted = 0;
    II.Actor = II.Acted = 0;
    if (Roundcounter == 1) {
        RangedPhase(I, II);
        // A phase of round 1 runs only while both sides still have a line.
        for (const auto& [code, name] : {std::pair{"G", "Go Anywhere"}, {"M", "Mounted"}, {"F", "Foot"}}) {
            if (I.Lifecounter <= 0 || II.Lifecounter <= 0)
                break;
            PositionPhase(I, II, code, name);
            ResetCounters(I);
            ResetCounters(II);
        }
    } else {
        ResetCounters(I);
        ResetCounters(II);
        MeleePhase(I, II);
    }
}

void Battle::FightBattle(Army& I, Army& II) {
    fight(I, II, false);
}

void Battle::FightSimBattle(Army& I, Army& II) {
    fight(I, II, true);
}

void Battle::fight(Army& I, Army& II, bool sim) {
    Roundcounter = 1;
    I.Actor = I.Acted = 0;
    II.Actor = II.Acted = 0;
    Randomize();
    ReportHeader(I, II);
    CounterFlag = 0;
    Shuffle(I, 0, I.SizeMinusB);
    Shuffle(I, I.SizeMinusB, I.currentSize);
    Shuffle(II, 0, II.SizeMinusB);
    Shuffle(II, II.SizeMinusB, II.currentSize);
    do {
        FightRound(I, II);
        ++Roundcounter;
    } while (I.Lifecounter > 0 && II.Lifecounter > 0);
    for (Army* a : {&I, &II})
        for (int32_t k = 0; k <= a->currentType; ++k) {
            Unittype& kind = a->unittypes[k];
            kind.LastCasualties = kind.BattleCasualties;
            if (sim)
                kind.SimCasualties += kind.BattleCasualties;
        }
    I.Rebuild();
    II.Rebuild();
    CounterFlag = 0;
    ReportUnitsLeft(I, II);
}

// ---- Report text -----------------------------------------------------------

// Lines are built by appending into text_, which keeps its capacity from
// line to line: operator+ chains and to_string would allocate several
// temporaries per line, and in small battles the report outweighs the fight.
void Battle::appendNumber(int32_t v) {
    char digits[12];
    const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    text_.append(digits, end);
}

void Battle::ReportHeader(const Army& I, const Army& II) {
    LineI = 4 + I.currentType + 1;
    LineII = 4 + II.currentType + 1;
    LineI = LineII = std::max(LineI, LineII);
    if (!report_) {
        ++LineI;
        ++LineII;
        return;
    }
    // The whole of both columns is cleared, so no line of an earlier, longer
    // report survives below this one.
    report_->clearColumns();
    report_->setLine(0, 0, "BATLLE:   SIDE I");
    report_->setLine(1, 0, "BATLLE:   SIDE II");
    for (int column = 0; column < 2; ++column) {
        text_.assign("Wizard ");
        text_.append(report_->playerNumber(column));
        text_.append(" : ");
        text_.append(report_->wizardName(column));
        report_->setLine(column, 1, text_);
    }
    report_->setLine(0, 3, "ARMY:");
    report_->setLine(1, 3, "ARMY:");
    for (int column = 0; column < 2; ++column) {
        const Army& a = column == 0 ? I : II;
        for (int32_t k = 0; k <= a.currentType; ++k) {
            const Unittype& kind = a.unittypes[k];
            text_.assign(kind.Fullname);
            text_.append("      :     ");
            appendNumber(kind.Number);
            report_->setLine(column, 4 + k, text_);
        }
    }
    report_->setLine(0, LineI++, Separator);
    report_->setLine(1, LineII++, Separator);
}

void Battle::ReportCasualties(const Army& I, const Army& II, const std::string& roundText,
                              const std::string& phaseName) {
    if (!report_)
        return;
    int32_t* counters[2] = {&LineI, &LineII};
    for (int column = 0; column < 2; ++column) {
        const Army& a = column == 0 ? I : II;
        int32_t& line = *counters[column];
        report_->setLine(column, line++, kEmptyLine);
        text_.assign("Round ");
        text_.append(roundText);
        text_.push_back(' ');
        text_.append(phaseName);
        text_.append(" Combat - Casualties:");
        report_->setLine(column, line++, text_);
        bool any = false;
        for (int32_t k = 0; k <= a.currentType; ++k) {
            const Unittype& kind = a.unittypes[k];
            if (kind.PhaseCasualties > 0) {
                text_.assign(" ");
                text_.append(kind.Fullname);
                text_.append(" : ");
                appendNumber(kind.PhaseCasualties);
                text_.append("      (Total = ");
                appendNumber(kind.BattleCasualties);
                text_.push_back(')');
                report_->setLine(column, line++, text_);
                any = true;
            }
        }
        if (!any)
            report_->setLine(column, line++, kNoneLine);
    }
    LineI = LineII = std::max(LineI, LineII);
}

void Battle::writeKindList(int column, const Army& a, int32_t first, bool average, int32_t N) {
    for (int32_t k = 0; k <= a.currentType; ++k) {
        const Unittype& kind = a.unittypes[k];
        const int32_t left = kind.Number - (average ? kind.SimCasualties / N : kind.LastCasualties);
        text_.assign(kind.Fullname);
        text_.append("    :     ");
        appendNumber(left);
        report_->setLine(column, first + k, text_);
    }
}

void Battle::ReportUnitsLeft(const Army& I, const Army& II) {
    if (!report_)
        return;
    for (const std::string* text : {&kEmptyLine, &Separator, &kUnitsLeftLine}) {
        report_->setLine(0, LineI++, *text);
        report_->setLine(1, LineII++, *text);
    }
    writeKindList(0, I, LineI, false, 1);
    writeKindList(1, II, LineII, false, 1);
}

void Battle::ReportAverageLeft(const Army& I, const Army& II, int32_t N) {
    if (!report_)
        return;
    N = std::max(N, 1);
    for (const std::string* text : {&kEmptyLine, &kUnitsLeftLine}) {
        report_->setLine(0, LineI++, *text);
        report_->setLine(1, LineII++, *text);
    }
    writeKindList(0, I, LineI, true, N);
    writeKindList(1, II, LineII, true, N);
}
