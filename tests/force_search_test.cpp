// The force search: on a win chance the test controls, the sequential judge
// stops early on clear cases and at the cap on close ones, misjudges a
// number at the wanted chance no more often than it may, the search finds
// the boundary and stops, and a chance that falls with the number is
// reported. On real battles: the same answer whatever the thread count, and
// the caller's armies untouched.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <tuple>
#include <vector>

#include "EngineTestSupport.h"
#include "battle/ForceSearch.h"

using testsupport::catalogueArmy;
using testsupport::stateOf;

namespace {

// Battles whose outcome is a coin with the chance p(number): wins drawn
// from the binomial law, so every statistic the search sees is realistic.
struct StandIn {
    explicit StandIn(std::function<double(int32_t)> chance) : p(std::move(chance)) {}
    std::function<double(int32_t)> p;
    std::vector<int32_t> asked;  // the number of every batch, in order

    BatchFighter fighter() {
        return [this](int32_t number, int64_t battles, uint64_t seed, const std::function<void(int64_t)>&) {
            asked.push_back(number);
            std::mt19937_64 draw(seed);
            std::binomial_distribution<int64_t> wins(battles, std::clamp(p(number), 0.0, 1.0));
            return BatchOutcome{battles, wins(draw)};
        };
    }
};

// Battles won in exactly the share share(number) of every batch: a share
// just at the wanted chance, or one the cap must judge, comes out for sure.
BatchFighter exactly(std::function<double(int32_t)> share) {
    return [share](int32_t number, int64_t battles, uint64_t, const std::function<void(int64_t)>&) {
        return BatchOutcome{battles, std::llround(share(number) * static_cast<double>(battles))};
    };
}

double logistic(double x) {
    return 1 / (1 + std::exp(-x));
}

// p(34) = 0.881 and p(35) = 0.924: the boundary of 90% lies between them.
double rising(int32_t n) {
    return logistic((n - 30) / 2.0);
}

ForceSearchOptions options(uint64_t seed = 1) {
    ForceSearchOptions o;
    o.seed = seed;
    return o;
}

std::vector<int32_t> numbersTried(const ForceSearchResult& r) {
    std::vector<int32_t> numbers;
    for (const NumberTrial& t : r.trials)
        numbers.push_back(t.number);
    return numbers;
}

}  // namespace

TEST(JudgeNumber, ClearCasesStopAtTheFirstLookCloseOnesAtTheCap) {
    ForceSearchOptions o = options();
    o.cap = 3000;
    struct Case {
        double p;
        bool reaches;
        int64_t atMost;  // battles
    } cases[] = {
        {0.2, false, 100},  // far below: the first batch decides
        {1.0, true, 100},   // never loses: 100 wins put the interval above 90%
        {0.99, true, 400},  // clearly above
        {0.8, false, 400},  // clearly below
    };
    for (const Case& c : cases) {
        StandIn s([&](int32_t) { return c.p; });
        // Over several seeds, so that one lucky draw proves nothing.
        for (uint64_t seed = 1; seed <= 5; ++seed) {
            o.seed = seed;
            const std::optional<NumberTrial> t = JudgeNumber(s.fighter(), 7, o);
            ASSERT_TRUE(t);
            EXPECT_EQ(t->number, 7);
            EXPECT_EQ(t->reaches, c.reaches) << c.p;
            EXPECT_FALSE(t->atCap) << c.p;
            EXPECT_LE(t->battles, c.atMost) << c.p;
            EXPECT_DOUBLE_EQ(t->chance.value, static_cast<double>(t->wins) / static_cast<double>(t->battles));
        }
    }
    // A chance a hair from the target is usually not decided at 3000
    // battles: then it is judged at the cap, by its share.
    for (double p : {0.9, 0.902}) {
        StandIn s([&](int32_t) { return p; });
        int atCap = 0;
        for (uint64_t seed = 1; seed <= 20; ++seed) {
            o.seed = seed;
            const NumberTrial t = *JudgeNumber(s.fighter(), 7, o);
            if (t.atCap) {
                ++atCap;
                EXPECT_EQ(t.battles, o.cap);
                EXPECT_EQ(t.reaches, t.chance.value >= o.target);
            } else {
                // Decided before the cap: the 95% interval shown agrees.
                EXPECT_TRUE(t.reaches ? t.chance.low > o.target : t.chance.high < o.target) << p;
            }
        }
        EXPECT_GE(atCap, 15) << p;
    }
    // "At least" the wanted chance: a share just at it reaches at the cap.
    const NumberTrial tie = *JudgeNumber(exactly([&](int32_t) { return o.target; }), 7, o);
    EXPECT_TRUE(tie.atCap);
    EXPECT_EQ(tie.wins, 2700);
    EXPECT_TRUE(tie.reaches);
}

TEST(BinomialTail, RightOnItsOwnWhereTheFirstTermUnderflows) {
    // At least 5000 wins in 10000 at 90%, or at most 9990: all but certain,
    // though the chance of exactly that many is below the smallest double.
    // The judge asks only for the far tail, but the tail alone must be right.
    EXPECT_NEAR(BinomialTail(5000, 10000, 0.9, true), 1.0, 1e-12);
    EXPECT_NEAR(BinomialTail(9990, 10000, 0.9, false), 1.0, 1e-12);

    // Against the terms summed one by one, each from its own logarithm.
    constexpr int64_t n = 400;
    for (double p : {0.5, 0.9, 0.999}) {
        auto term = [&](int64_t k) {
            return std::exp(std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0) +
                            static_cast<double>(k) * std::log(p) + static_cast<double>(n - k) * std::log1p(-p));
        };
        for (int64_t k = 0; k <= n; ++k) {
            double upper = 0, lower = 0;
            for (int64_t i = 0; i <= n; ++i)
                (i >= k ? upper : lower) += term(i);
            lower += term(k);
            ASSERT_NEAR(BinomialTail(k, n, p, true), upper, 1e-12 + 1e-9 * upper) << p << " " << k;
            ASSERT_NEAR(BinomialTail(k, n, p, false), lower, 1e-12 + 1e-9 * lower) << p << " " << k;
        }
    }
}

TEST(JudgeNumber, AtTheWantedChanceJudgedEitherWayBeforeTheCapAtMostOneTimeInForty) {
    // Looked at eight times, after 100, 200 ... 6400 and 10000 battles,
    // against the 95% interval each time, a number at the wanted chance was
    // judged "reaches" 12% of the time and "short" 13%. At 99% the short
    // tail is long, where a wider interval alone still misjudges.
    constexpr int judgments = 4000;
    const double allowed = 0.025 + 3 * std::sqrt(0.025 * 0.975 / judgments);
    for (double target : {0.9, 0.99}) {
        StandIn s([&](int32_t) { return target; });
        ForceSearchOptions o = options();
        o.target = target;
        int reaches = 0, short_ = 0;
        for (uint64_t seed = 1; seed <= judgments; ++seed) {
            o.seed = seed;
            const NumberTrial t = *JudgeNumber(s.fighter(), 7, o);
            if (!t.atCap)
                ++(t.reaches ? reaches : short_);
        }
        EXPECT_LE(reaches, allowed * judgments) << target;
        EXPECT_LE(short_, allowed * judgments) << target;
    }
}

TEST(FindForce, DoublesThenBisectsToTheBoundaryAndStops) {
    StandIn s(rising);
    const ForceSearchResult r = FindForce(s.fighter(), options());
    ASSERT_TRUE(r.found);
    EXPECT_EQ(*r.found, 35);
    EXPECT_EQ(numbersTried(r), (std::vector<int32_t>{1, 2, 4, 8, 16, 32, 64, 48, 40, 36, 34, 35}));
    ASSERT_TRUE(r.answer());
    EXPECT_EQ(r.answer()->number, 35);
    EXPECT_GE(r.answer()->chance.low, 0.9);
    ASSERT_TRUE(r.lower());
    EXPECT_EQ(r.lower()->number, 34);
    EXPECT_LE(r.lower()->chance.high, 0.9);
    EXPECT_TRUE(r.falls.empty());
    EXPECT_FALSE(r.cancelled);
    int64_t battles = 0;
    for (const NumberTrial& t : r.trials)
        battles += t.battles;
    EXPECT_EQ(r.battles, battles);

    // The same seed, the same answer; the largest considered bounds the search.
    StandIn again(rising);
    const ForceSearchResult same = FindForce(again.fighter(), options());
    EXPECT_EQ(numbersTried(same), numbersTried(r));
    EXPECT_EQ(same.battles, r.battles);
    EXPECT_EQ(again.asked, s.asked);

    ForceSearchOptions small = options();
    small.largest = 20;
    StandIn bounded(rising);
    const ForceSearchResult none = FindForce(bounded.fighter(), small);
    EXPECT_FALSE(none.found);
    EXPECT_EQ(numbersTried(none), (std::vector<int32_t>{1, 2, 4, 8, 16, 20}));
    ASSERT_TRUE(none.answer());
    EXPECT_EQ(none.answer()->number, 20);  // the chance reached by the largest
    EXPECT_NEAR(none.answer()->chance.value, rising(20), 0.05);
    ASSERT_TRUE(none.lower());
    EXPECT_EQ(none.lower()->number, 16);

    // One unit already enough: nothing lower was tried.
    StandIn sure([](int32_t) { return 1.0; });
    const ForceSearchResult one = FindForce(sure.fighter(), options());
    ASSERT_TRUE(one.found);
    EXPECT_EQ(*one.found, 1);
    EXPECT_EQ(one.lower(), nullptr);
}

TEST(DescribeForce, OneUnitEnoughOnlyWhenOneUnitWins) {
    auto describe = [](double p) {
        StandIn s([p](int32_t) { return p; });
        ForceSearchOptions o = options();
        o.largest = 1;
        return DescribeForce(FindForce(s.fighter(), o), o, "Knights", 0.5);
    };
    const std::vector<std::string> enough = describe(1.0);
    ASSERT_EQ(enough.size(), 3u);
    EXPECT_EQ(enough[0].rfind("1 unit of Knights wins 100.0% of battles", 0), 0u) << enough[0];
    EXPECT_EQ(enough[1], "No lower number was tried: one unit is enough.");

    // The largest considered is 1 and it falls short: nothing says one is enough.
    const std::vector<std::string> short_ = describe(0.0);
    ASSERT_EQ(short_.size(), 2u);
    EXPECT_EQ(short_[0].rfind("Even 1 unit of Knights does not win 90.0%: it wins 0.0% of battles", 0), 0u)
        << short_[0];
    EXPECT_EQ(short_[1].rfind("Battles fought: 100, over 1 number,", 0), 0u) << short_[1];
}

TEST(DescribeForce, TheFirstLineHedgesWhenItRestsOnANumberJudgedAtTheCap) {
    ForceSearchOptions o = options();
    o.cap = 1000;
    auto firstLine = [&](std::function<double(int32_t)> share) {
        const ForceSearchResult r = FindForce(exactly(std::move(share)), o);
        return DescribeForce(r, o, "Knights", 0.5).front();
    };
    const std::string sure = ": the fewest that win at least 90.0%.";
    const std::string hedged = ": the fewest that win at least 90.0%, judged at the cap by the share of wins alone.";
    o.largest = 2;
    // The number found judged at the cap, then the next lower one.
    std::string line = firstLine([](int32_t n) { return n == 1 ? 0.0 : 0.91; });
    EXPECT_TRUE(line.starts_with("2 Knights win 91.0% of battles") && line.ends_with(hedged)) << line;
    line = firstLine([](int32_t n) { return n == 1 ? 0.89 : 1.0; });
    EXPECT_TRUE(line.starts_with("2 Knights win 100.0% of battles") && line.ends_with(hedged)) << line;
    line = firstLine([](int32_t n) { return n == 1 ? 0.0 : 1.0; });
    EXPECT_TRUE(line.ends_with(sure)) << line;
    // A number judged at the cap that the answer does not rest on: 3 is
    // surely short, 4 surely reaches.
    o.largest = 4;
    line = firstLine([](int32_t n) { return n == 2 ? 0.89 : n == 4 ? 1.0 : 0.0; });
    EXPECT_TRUE(line.starts_with("4 Knights win") && line.ends_with(sure)) << line;
    // Even the largest falls short, judged at the cap.
    o.largest = 1;
    line = firstLine([](int32_t) { return 0.89; });
    EXPECT_TRUE(
        line.starts_with("Even 1 unit of Knights does not win 90.0%, judged at the cap by the share of wins "
                         "alone: it wins 89.0% of battles"))
        << line;
}

TEST(FindForce, ReportsAChanceThatFallsWithTheNumber) {
    // Rises to 80% at 8 units, falls to 20% from 12 to 40, then wins outright.
    StandIn s([](int32_t n) { return n <= 8 ? n / 10.0 : n < 48 ? 0.2 : 0.99; });
    const ForceSearchResult r = FindForce(s.fighter(), options());
    ASSERT_TRUE(r.found);
    EXPECT_EQ(*r.found, 48);
    // 8 did better than 16 and 32, plainly: both falls are named.
    const std::vector<std::pair<int32_t, int32_t>> expected{{8, 16}, {8, 32}, {8, 40}, {8, 44}, {8, 46}, {8, 47}};
    EXPECT_EQ(r.falls, expected);

    // A steady rise shows no fall, however noisy the shares near the target.
    StandIn steady([](int32_t n) { return std::min(1.0, n / 1000.0); });
    EXPECT_TRUE(FindForce(steady.fighter(), options()).falls.empty());
}

TEST(FindForce, ProgressCountsUpAndCancelStopsWithoutAnAnswer) {
    StandIn s(rising);
    std::atomic<bool> cancel{false};
    ForceSearchOptions o = options();
    o.cancel = &cancel;
    std::vector<SearchProgress> seen;
    o.progress = [&](const SearchProgress& p) {
        seen.push_back(p);
        if (p.current == 40)
            cancel = true;
    };
    const ForceSearchResult r = FindForce(s.fighter(), o);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.found);
    EXPECT_EQ(r.answer(), nullptr);
    EXPECT_EQ(numbersTried(r), (std::vector<int32_t>{1, 2, 4, 8, 16, 32, 64, 48}));
    ASSERT_FALSE(seen.empty());
    for (size_t i = 1; i < seen.size(); ++i) {
        EXPECT_GE(seen[i].battles, seen[i - 1].battles);
        EXPECT_GE(seen[i].numbersTried, seen[i - 1].numbersTried);
    }
    EXPECT_EQ(seen.back().current, 40);
    EXPECT_EQ(seen.back().numbersTried, 8);
    // Nothing is fought once the cancel is seen.
    EXPECT_EQ(s.asked.back(), 40);
}

TEST(FindForce, RealBattlesSameAnswerWhateverTheThreadCountArmiesUntouched) {
    const Army I = catalogueArmy({{"ARC", 6}, {"KNI", 3}});
    const Army II = catalogueArmy({{"SPE", 1}, {"HAC", 4}});
    const auto beforeI = stateOf(I, false);
    const auto beforeII = stateOf(II, false);
    ForceSearchOptions o = options(77);
    o.cap = 800;
    o.largest = 200;
    auto outcome = [&](int threads) {
        const ForceSearchResult r = FindForce(SimulatedBattles(I, II, 1, 0, threads), o);
        std::vector<std::tuple<int32_t, int64_t, int64_t>> trials;
        for (const NumberTrial& t : r.trials)
            trials.emplace_back(t.number, t.battles, t.wins);
        return std::make_pair(r.found, trials);
    };
    const auto one = outcome(1);
    EXPECT_EQ(outcome(3), one);
    // More spearmen win more often: the search ends on some number that reaches.
    ASSERT_TRUE(one.first);
    EXPECT_GT(*one.first, 1);
    EXPECT_EQ(stateOf(I, false), beforeI);
    EXPECT_EQ(stateOf(II, false), beforeII);

    EXPECT_THROW(SimulatedBattles(I, II, 1, 2), std::invalid_argument);  // player 2 has kinds 0 and 1
    EXPECT_THROW(SimulatedBattles(I, Army{}, 0, 0), std::invalid_argument);
}
