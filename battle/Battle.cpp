#include "Battle.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <ctime>

#include "Random.h"

namespace {
// Battles seeded from the clock in this process; mixed into every seed so
// that two battles started within one clock tick still fight differently.
std::atomic<uint64_t> clockSeededBattles{0};
}  // namespace

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
    const uint64_t count = clockSeededBattles.fetch_add(1, std::memory_order_relaxed);
    Seed(splitmix64(static_cast<uint64_t>(clock())) ^ (count * 0xD1B54A32D192ED03ULL));
}

void Battle::Shuffle(Army& army, int32_t lo, int32_t hi) {
    if (hi <= lo)
        return;
    const auto span = static_cast<uint32_t>(hi - lo);
    const uint64_t m = reciprocal(span);
    uint64_t st = state_;
    for (int32_t i = lo; i < hi; ++i)
        army.SwapUnits(i, lo + static_cast<int32_t>(fastmod(output(st = advance(st)), m, span)));
    state_ = st;
}

void Battle::reserveReciprocals(size_t n) {
    for (size_t i = recip_.size(); i < n; ++i)
        recip_.push_back(reciprocal(static_cast<uint32_t>(i)));
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
    const Pos p = posCode(kind.Position);
    int32_t none = 0;
    int32_t* counter = army.headCounter(kind.Position);
    bookDeath(army, kind, counter ? counter : &none, kind.Rangedoff > 0 && p != PosR, 1, army.Lifecounter);
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
    // Unrolled: four clears of a whole army per battle, one store per unit.
    Unit* const units = army.units.data();
#pragma GCC unroll 8
    for (int32_t i = 0; i < army.currentSize; ++i)
        units[i].Retaliations = 0;
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

void Battle::bind(Army& I, Army& II) {
    sides_[0].army = &I;
    sides_[1].army = &II;
    for (Side& side : sides_) {
        const Army& a = *side.army;
        for (int32_t k = 0; k <= a.currentType; ++k) {
            const Unittype& kind = a.unittypes[k];
            side.pos[k] = posCode(kind.Position);
            side.shoots[k] = kind.Rangedoff > 0;
            side.attacks[k] = kind.Attacks;
            int32_t* counter = side.army->headCounter(kind.Position);
            side.counter[k] = counter ? counter : &side.noCounter;
            side.extraR[k] = side.shoots[k] && side.pos[k] != PosR;
        }
        side.actors.assign(static_cast<size_t>(a.maxSize) / 64 + 1, 0);
        side.rangedInLine = 0;
        for (int32_t i = 0; i < a.Lifecounter; ++i)
            side.rangedInLine += side.pos[a.units[i].Typeindex] == PosR;
    }
    // Draws go below one line's size or, for the melee turn, both lines'.
    reserveReciprocals(static_cast<size_t>(I.currentSize) + static_cast<size_t>(II.currentSize) + 1);
    // The hit tables take two divisions per pair of kinds, which in small
    // armies costs as much as a tenth of a battle; they are made anew only
    // when a value they come from has changed since the last battle.
    bool same = chanceTablesMade_;
    for (int s = 0; s < 2; ++s) {
        const Army& a = *sides_[s].army;
        same &= chanceLastKind_[s] == a.currentType;
        chanceLastKind_[s] = a.currentType;
        for (int32_t k = 0; k <= a.currentType; ++k) {
            const Unittype& kind = a.unittypes[k];
            const std::array<double, 3> v{kind.Offense, kind.Rangedoff, kind.Defense};
            same &= chanceInputs_[s][k] == v;  // a NaN compares unequal: remade
            chanceInputs_[s][k] = v;
        }
    }
    chanceTablesMade_ = true;
    if (same)
        return;
    for (int s = 0; s < 2; ++s) {
        const Army& S = *sides_[s].army;
        const Army& T = *sides_[1 - s].army;
        for (int32_t a = 0; a <= S.currentType; ++a)
            for (int32_t t = 0; t <= T.currentType; ++t) {
                const Unittype& ka = S.unittypes[a];
                const double def = T.unittypes[t].Defense;
                rangedChance_[s][a][t] = hitThreshold(HitChance(ka.Rangedoff, def));
                meleeChance_[s][a][t] = hitThreshold(HitChance(ka.Offense, def));
            }
    }
}

// A phase called on its own reads the kinds and the line afresh; within
// fight() the battle-wide binding is already current.
void Battle::bindPhase(Army& I, Army& II) {
    if (!battleBound_ || sides_[0].army != &I || sides_[1].army != &II)
        bind(I, II);
}

void Battle::DecideTurn(Army& I, Army& II, std::string_view code) {
    const Pos c = code.empty() ? PosOther : posCode(code);
    const int32_t wI = weight(I, c);
    const int32_t wII = weight(II, c);
    const int32_t n = Random(wI + wII);
    I.Turn = n < wI ? 1 : 0;
    II.Turn = 1 - I.Turn;
}

// The side that acts next in a ranged or position phase. A side whose units
// have all moved can keep a positive weight while the other's falls to 0, so
// once exactly one side is finished the other acts without a draw.
template <Battle::Pos C>
int Battle::chooseSide() {
    Army& I = *sides_[0].army;
    Army& II = *sides_[1].army;
    const bool doneI = I.Actor >= I.Lifecounter;
    const bool doneII = II.Actor >= II.Lifecounter;
    if (doneI != doneII) {
        I.Turn = doneI ? 0 : 1;
        II.Turn = 1 - I.Turn;
    } else {
        const int32_t wI = weight(I, C);
        const int32_t n = drawBelow(wI + weight(II, C));
        I.Turn = n < wI ? 1 : 0;
        II.Turn = 1 - I.Turn;
    }
    return I.Turn == 1 ? 0 : 1;
}

// UnitKilled, BuryUnit and ExposeBackline on the hot path, for the unit at
// i, of kind k, in side s's records (units). The counters to lower come
// from the tables bind() made, and a strike kills about every other time,
// so the death is booked as data (d = 0 or 1) rather than behind a branch
// that would be mispredicted that often. The caller passes the line's size
// and gets the new one back in a register: each strike waits on the last
// one's death, and a round trip through memory would lengthen that wait.
// Only round 1's phases read the actor bits and rangedInLine; the melee
// phases of the later rounds leave them stale (bind() makes them afresh).
template <bool RoundOne>
[[gnu::always_inline]] inline int32_t Battle::kill(int s, Unit* units, int32_t i, int32_t k, bool dead,
                                                    int32_t line) {
    Side& side = sides_[s];
    Army& a = *side.army;
    const int32_t d = dead;
    if constexpr (RoundOne)
        side.rangedInLine -= (side.pos[k] == PosR) & dead;
    line = bookDeath(a, a.unittypes[k], side.counter[k], side.extraR[k], d, line);
    // BuryUnit; without a death the unit is exchanged with itself. Masked
    // arithmetic, since compilers turn a conditional choice into a branch.
    const int32_t j = i + ((line - i) & -d);
    std::swap(units[i], units[j]);
    if constexpr (RoundOne) {
        uint64_t* w = side.actors.data();
        const uint64_t bit = (w[j >> 6] >> (j & 63)) & 1;
        w[i >> 6] = (w[i >> 6] & ~(uint64_t{1} << (i & 63))) | (bit << (i & 63));
    }
    if (line == 0) {
        exposeBackline(s);
        return a.Lifecounter;
    }
    return line;
}

void Battle::exposeBackline(int s) {
    Army& a = *sides_[s].army;
    const int32_t before = a.Lifecounter;
    ExposeBackline(a);
    if (a.Lifecounter != before)
        markActors(s);
}

void Battle::markActors(int s) {
    Side& side = sides_[s];
    const Army& a = *side.army;
    const int32_t n = a.Lifecounter;
    const Unit* const units = a.units.data();
    for (int32_t base = 0; base < n; base += 64) {
        const int32_t end = std::min(n - base, 64);
        // Each unit's bit enters at the top and moves down one place per
        // later unit: constant shifts, cheaper than shifting by b.
        uint64_t word = 0;
#pragma GCC unroll 8
        for (int32_t b = 0; b < end; ++b)
            word = (word >> 1) | (uint64_t{side.acts[units[base + b].Typeindex]} << 63);
        side.actors[static_cast<size_t>(base) >> 6] = end == 64 ? word : word >> (64 - end);
    }
}

void Battle::setActing(int s, const uint8_t* acts) {
    std::copy(acts, acts + Army::maxTypes, sides_[s].acts.begin());
    markActors(s);
}

// Moves side s's Actor forward to the next unit that acts in the phase,
// stopping at Lifecounter.
void Battle::nextActor(int s) {
    Army& a = *sides_[s].army;
    const int32_t n = a.Lifecounter;
    const int32_t i = a.Actor;
    if (i >= n)
        return;
    const uint64_t* w = sides_[s].actors.data();
    auto k = static_cast<size_t>(i) >> 6;
    const auto lastWord = static_cast<size_t>(n - 1) >> 6;
    uint64_t bits = w[k] & (~uint64_t{0} << (i & 63));
    while (bits == 0 && k < lastWord)
        bits = w[++k];
    a.Actor = bits == 0 ? n : std::min(static_cast<int32_t>(k * 64) + std::countr_zero(bits), n);
}

// One action: the strikes of the unit at S's Actor, with their counter-
// strikes. A strike's outcome changes data rather than the path taken,
// because hits and misses are as unpredictable as the draws behind them.
template <Battle::Mode M>
void Battle::action(int s) {
    constexpr bool roundOne = M != Mode::Melee;
    Side& own = sides_[s];
    Side& foe = sides_[1 - s];
    Army& S = *own.army;
    Army& T = *foe.army;
    if (T.Lifecounter == 0)
        exposeBackline(1 - s);
    // Records never move out of their arrays during an action and only a
    // death moves the actor, which ends the action: locals spare the reloads
    // that every store into the unit records would otherwise force.
    Unit* const foes = T.units.data();
    Unit* const owns = S.units.data();
    const int32_t actor = S.Actor;
    const int32_t kind = owns[actor].Typeindex;
    const int32_t attacks = own.attacks[kind];
    const auto& chance = (M == Mode::Ranged ? rangedChance_ : meleeChance_)[s][kind];
    const auto& back = meleeChance_[1 - s];
    uint64_t st = state_;
    uint64_t made = 0;
    int32_t strikes = 0;
    int32_t flag = CounterFlag;  // set before each melee strike, kept in a register
    int32_t line = T.Lifecounter;
    // The multipliers for the line's size and for one less, so that a death
    // selects the next one instead of waiting for a load.
    const uint64_t* const recip = recip_.data();
    uint64_t m = recip[line];
    while (line > 0) {
        const uint64_t mShorter = recip[line - 1];
        auto t = static_cast<int32_t>(fastmod(output(st = advance(st)), m, static_cast<uint32_t>(line)));
        if constexpr (M == Mode::Position) {
            // Pass over ranged units while other targets stand in the line;
            // a line of ranged units only keeps the first draw.
            if (T.NumberR != line && line > foe.rangedInLine)
                while (foe.pos[foes[t].Typeindex] == PosR)
                    t = static_cast<int32_t>(fastmod(output(st = advance(st)), m, static_cast<uint32_t>(line)));
        }
        Unit& u = foes[t];
        const int32_t target = u.Typeindex;
        const bool hit = hitDraw(output(st = advance(st)), chance[target]);
        const int32_t hp = u.Hitpoints - hit;
        u.Hitpoints = hp;
        ++made;
        bool actorDead = false;
        if constexpr (M != Mode::Ranged) {
            // A miss provokes one counter-strike while the target has any
            // left; its draw is taken only then, without a branch.
            const bool counter = !hit & (u.Retaliations < foe.attacks[target]);
            const uint64_t st2 = advance(st);
            const bool backHit = hitDraw(output(st2), back[target][kind]);
            st ^= (st ^ st2) & (uint64_t{0} - counter);
            const int32_t actorHp = owns[actor].Hitpoints - (counter & backHit);
            owns[actor].Hitpoints = actorHp;
            actorDead = actorHp <= 0;
            u.Retaliations += counter;
            made += counter;
            flag = !hit;
        }
        ++strikes;
        const bool dead = hp <= 0;
        const int32_t expected = line - dead;
        line = kill<roundOne>(1 - s, foes, t, target, dead, line);
        m ^= (m ^ mShorter) & (uint64_t{0} - dead);  // masked: deaths are a coin toss
        if (line != expected)
            m = recip[line];  // the back line joined
        if constexpr (M != Mode::Ranged) {
            if (actorDead) {
                kill<roundOne>(s, owns, actor, kind, true, S.Lifecounter);
                break;  // a counter-strike killed the actor: its action ends
            }
        }
        if (attacks <= strikes)
            break;
    }
    state_ = st;
    strikeCount += made;
    CounterFlag = flag;
}

void Battle::RangedPhase(Army& I, Army& II) {
    bindPhase(I, II);
    for (int s = 0; s < 2; ++s)
        setActing(s, sides_[s].shoots.data());
    for (;;) {
        const int s = chooseSide<PosR>();
        Army& S = *sides_[s].army;
        nextActor(s);
        if (S.Actor < S.Lifecounter) {
            action<Mode::Ranged>(s);
            ++S.Acted;
            ++S.Actor;
        }
        for (Side& side : sides_) {
            Army& a = *side.army;
            if (a.NumberR == 0 || a.Acted == a.NumberR)
                a.Actor = a.Lifecounter;
        }
        if (I.Actor >= I.Lifecounter && II.Actor >= II.Lifecounter)
            break;
    }
    endPhase("Ranged");
}

void Battle::PositionPhase(Army& I, Army& II, std::string_view code, std::string_view name) {
    switch (posCode(code)) {
    case PosF: positionPhase<PosF>(I, II, name); break;
    case PosM: positionPhase<PosM>(I, II, name); break;
    case PosR: positionPhase<PosR>(I, II, name); break;
    case PosG: positionPhase<PosG>(I, II, name); break;
    case PosB: positionPhase<PosB>(I, II, name); break;
    default: positionPhase<PosOther>(I, II, name); break;
    }
}

template <Battle::Pos code>
void Battle::positionPhase(Army& I, Army& II, std::string_view name) {
    bindPhase(I, II);
    auto counter = [](const Army& a) {
        return code == PosG ? a.NumberG : code == PosM ? a.NumberM : code == PosF ? a.NumberF : 0;
    };
    for (int s = 0; s < 2; ++s) {
        std::array<uint8_t, Army::maxTypes> acts{};
        for (size_t k = 0; k < acts.size(); ++k)
            acts[k] = sides_[s].pos[k] == code;
        setActing(s, acts.data());
    }
    for (;;) {
        const int s = chooseSide<code>();
        Army& S = *sides_[s].army;
        nextActor(s);
        if (S.Actor < S.Lifecounter) {
            action<Mode::Position>(s);
            ++S.Acted;
            ++S.Actor;
        }
        for (Side& side : sides_) {
            Army& a = *side.army;
            const int32_t K = counter(a);
            if (K == 0 || a.Acted == K)
                a.Actor = a.Lifecounter;
        }
        if (I.Actor >= I.Lifecounter && II.Actor >= II.Lifecounter)
            break;
    }
    endPhase(name);
}

void Battle::MeleePhase(Army& I, Army& II) {
    bindPhase(I, II);
    I.Actor = -1;
    II.Actor = -1;
    for (;;) {
        const int32_t wI = I.Lifecounter;
        const int32_t n = drawBelow(wI + II.Lifecounter);
        I.Turn = n < wI ? 1 : 0;
        II.Turn = 1 - I.Turn;
        const int s = I.Turn == 1 ? 0 : 1;
        Army& S = *sides_[s].army;
        if (S.Lifecounter > 0)
            ++S.Actor;
        if (S.Actor < S.Lifecounter) {
            action<Mode::Melee>(s);
            ++S.Acted;
        }
        if (II.Lifecounter == 0 || I.Lifecounter == 0) {
            I.Actor = I.Lifecounter;
            II.Actor = II.Lifecounter;
        }
        if (I.Actor >= I.Lifecounter && II.Actor >= II.Lifecounter)
            break;
    }
    endPhase("");
}

void Battle::endPhase(std::string_view name) {
    Army& I = *sides_[0].army;
    Army& II = *sides_[1].army;
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
        // Each phase runs only while both sides still have a line.
        auto phase = [&](auto fightPhase) {
            if (I.Lifecounter <= 0 || II.Lifecounter <= 0)
                return false;
            fightPhase();
            ResetCounters(I);
            ResetCounters(II);
            return true;
        };
        phase([&] { positionPhase<PosG>(I, II, "Go Anywhere"); }) &&
            phase([&] { positionPhase<PosM>(I, II, "Mounted"); }) &&
            phase([&] { positionPhase<PosF>(I, II, "Foot"); });
    } else {
        ResetCounters(I);
        ResetCounters(II);
        MeleePhase(I, II);
    }
}

void Battle::FightBattle(Army& I, Army& II) { fight(I, II, false); }

void Battle::FightSimBattle(Army& I, Army& II) { fight(I, II, true); }

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
    bind(I, II);
    battleBound_ = true;
    do {
        FightRound(I, II);
        ++Roundcounter;
    } while (I.Lifecounter > 0 && II.Lifecounter > 0);
    battleBound_ = false;
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
