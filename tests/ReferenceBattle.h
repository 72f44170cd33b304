#pragma once

// A simulation battle fought through the named operations alone, one step
// at a time as the rules read: the reference that the engines' fast loops
// must match, draw for draw, and in the distribution of their outcomes.
// Where the rules leave a choice, it takes the engine's: in a position
// phase the first target draw stands when the line holds nothing but ranged
// units, and once exactly one side has moved all its units the other acts
// without a turn draw.

#include <string>

#include "army/Army.h"
#include "battle/Battle.h"

namespace reference {

enum class Strike { Ranged, Position, Melee };

inline bool lineHoldsOtherThanRanged(const Army& a) {
    for (int32_t i = 0; i < a.Lifecounter; ++i)
        if (a.kindOf(i).Position != "R")
            return true;
    return false;
}

inline void killAt(Army& a, int32_t i) {
    Battle::UnitKilled(a, i);
    Battle::BuryUnit(a, i);
    Battle::ExposeBackline(a);
}

// One action of the unit at S's Actor against T.
inline void action(Battle& p, Army& S, Army& T, Strike strike) {
    Battle::ExposeBackline(T);
    int32_t strikes = 0;
    while (T.Lifecounter > 0) {
        if (strike != Strike::Ranged)
            p.CounterFlag = 0;
        int32_t t = p.PickTarget(T);
        if (strike == Strike::Position && T.NumberR != T.Lifecounter && lineHoldsOtherThanRanged(T))
            while (T.kindOf(t).Position == "R")
                t = p.PickTarget(T);
        if (strike == Strike::Ranged)
            p.RangedStrike(S, S.Actor, T, t);
        else
            p.MeleeStrike(S, S.Actor, T, t);
        ++strikes;
        if (T.units[t].Hitpoints == 0)
            killAt(T, t);
        if (strike != Strike::Ranged && S.units[S.Actor].Hitpoints == 0) {
            killAt(S, S.Actor);
            break;
        }
        if (S.kindOf(S.Actor).Attacks <= strikes)
            break;
    }
}

inline void endPhase(Army& I, Army& II) {
    for (Army* a : {&I, &II}) {
        a->Actor = a->Acted = 0;
        for (Unittype& kind : a->unittypes)
            kind.PhaseCasualties = 0;
    }
}

// The ranged phase (code "R") or a position phase ("G", "M", "F").
inline void roundOnePhase(Battle& p, Army& I, Army& II, const std::string& code) {
    auto counter = [&](const Army& a) {
        return code == "R" ? a.NumberR : code == "G" ? a.NumberG : code == "M" ? a.NumberM : a.NumberF;
    };
    auto acts = [&](const Army& a, int32_t i) {
        return code == "R" ? a.kindOf(i).Rangedoff > 0 : a.kindOf(i).Position == code;
    };
    for (;;) {
        const bool doneI = I.Actor >= I.Lifecounter;
        const bool doneII = II.Actor >= II.Lifecounter;
        if (doneI != doneII) {
            I.Turn = doneI ? 0 : 1;
            II.Turn = 1 - I.Turn;
        } else {
            p.DecideTurn(I, II, code);
        }
        Army& S = I.Turn == 1 ? I : II;
        Army& T = I.Turn == 1 ? II : I;
        while (S.Actor < S.Lifecounter && !acts(S, S.Actor))
            ++S.Actor;
        if (S.Actor < S.Lifecounter) {
            action(p, S, T, code == "R" ? Strike::Ranged : Strike::Position);
            ++S.Acted;
            ++S.Actor;
        }
        for (Army* a : {&I, &II})
            if (counter(*a) == 0 || a->Acted == counter(*a))
                a->Actor = a->Lifecounter;
        if (I.Actor >= I.Lifecounter && II.Actor >= II.Lifecounter)
            break;
    }
    endPhase(I, II);
}

// The general phase of every later round.
inline void meleePhase(Battle& p, Army& I, Army& II) {
    I.Actor = II.Actor = -1;
    for (;;) {
        p.DecideTurn(I, II, "");
        Army& S = I.Turn == 1 ? I : II;
        Army& T = I.Turn == 1 ? II : I;
        if (S.Lifecounter > 0)
            ++S.Actor;
        if (S.Actor < S.Lifecounter) {
            action(p, S, T, Strike::Melee);
            ++S.Acted;
        }
        if (II.Lifecounter == 0 || I.Lifecounter == 0) {
            I.Actor = I.Lifecounter;
            II.Actor = II.Lifecounter;
        }
        if (I.Actor >= I.Lifecounter && II.Actor >= II.Lifecounter)
            break;
    }
    endPhase(I, II);
}

// One simulation battle, lines prepared here; afterwards each kind's
// LastCasualties holds its losses and both armies are rebuilt. Seeded by
// p's Randomize, as Battle seeds its battles.
inline void fight(Battle& p, Army& I, Army& II) {
    Battle::PrepareLine(I);
    Battle::PrepareLine(II);
    p.Roundcounter = 1;
    I.Actor = I.Acted = II.Actor = II.Acted = 0;
    p.Randomize();
    p.CounterFlag = 0;
    p.Shuffle(I, 0, I.SizeMinusB);
    p.Shuffle(I, I.SizeMinusB, I.currentSize);
    p.Shuffle(II, 0, II.SizeMinusB);
    p.Shuffle(II, II.SizeMinusB, II.currentSize);
    do {
        p.Shuffle(I, 0, I.Lifecounter);
        p.Shuffle(II, 0, II.Lifecounter);
        I.Actor = I.Acted = II.Actor = II.Acted = 0;
        if (p.Roundcounter == 1) {
            roundOnePhase(p, I, II, "R");
            for (const char* code : {"G", "M", "F"}) {
                if (I.Lifecounter <= 0 || II.Lifecounter <= 0)
                    break;
                roundOnePhase(p, I, II, code);
                p.ResetCounters(I);
                p.ResetCounters(II);
            }
        } else {
            p.ResetCounters(I);
            p.ResetCounters(II);
            meleePhase(p, I, II);
        }
        ++p.Roundcounter;
    } while (I.Lifecounter > 0 && II.Lifecounter > 0);
    for (Army* a : {&I, &II})
        for (int32_t k = 0; k <= a->currentType; ++k)
            a->unittypes[k].LastCasualties = a->unittypes[k].BattleCasualties;
    I.Rebuild();
    II.Rebuild();
}

}  // namespace reference
