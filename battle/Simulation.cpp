#include "Simulation.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "LeanBattle.h"
#include "Random.h"
#include "Seed.h"

// ---- Spread and WinChance ---------------------------------------------------

void Spread::add(int32_t value) {
    if (count == 0) {
        min = max = value;
    } else {
        min = std::min(min, value);
        max = std::max(max, value);
    }
    ++count;
    sum += value;
    sumSquares += static_cast<int64_t>(value) * value;
}

void Spread::merge(const Spread& other) {
    if (other.count == 0)
        return;
    if (count == 0) {
        *this = other;
        return;
    }
    count += other.count;
    sum += other.sum;
    sumSquares += other.sumSquares;
    min = std::min(min, other.min);
    max = std::max(max, other.max);
}

double Spread::variance() const {
    if (count < 2)
        return 0.0;
    // n * sum of squares - sum^2 exactly, then one rounding: no cancellation,
    // and the same bits however the runs were split.
    const __int128 n = count;
    const __int128 scaled = n * sumSquares - static_cast<__int128>(sum) * sum;
    return static_cast<double>(scaled) / (static_cast<double>(count) * static_cast<double>(count - 1));
}

double Spread::standardDeviation() const {
    return std::sqrt(variance());
}

Proportion WinChance(int64_t wins, int64_t runs) {
    if (runs <= 0)
        return {};
    wins = std::clamp<int64_t>(wins, 0, runs);
    constexpr double z = 1.959964;
    const double n = static_cast<double>(runs);
    const double p = static_cast<double>(wins) / n;
    const double z2 = z * z;
    const double denom = 1 + z2 / n;
    const double centre = (p + z2 / (2 * n)) / denom;
    const double half = z * std::sqrt(p * (1 - p) / n + z2 / (4 * n * n)) / denom;
    // In exact arithmetic an all-or-nothing count reaches 0 or 1 exactly;
    // rounding would leave it just short.
    const double low = wins == 0 ? 0.0 : std::max(0.0, centre - half);
    const double high = wins == runs ? 1.0 : std::min(1.0, centre + half);
    return {p, low, high};
}

// ---- Simulate ---------------------------------------------------------------

// The engine's own "base + battle" step never lands on another run's base in
// practice.
uint64_t RunSeed(uint64_t seed, int32_t run) {
    return splitmix64(seed ^ splitmix64(0xA0761D6478BD642FULL + static_cast<uint64_t>(run)));
}

int32_t SimulationResult::runOf(size_t entry) const {
    for (const auto& [first, last] : fought) {
        if (entry < static_cast<size_t>(last - first))
            return first + static_cast<int32_t>(entry);
        entry -= static_cast<size_t>(last - first);
    }
    return -1;
}

namespace {

// Adds runs [first, last) to the ranges fought, joining a range they continue.
void addFought(std::vector<std::pair<int32_t, int32_t>>& fought, int32_t first, int32_t last) {
    if (!fought.empty() && fought.back().second == first)
        fought.back().second = last;
    else
        fought.emplace_back(first, last);
}

// What the workers share while a simulation runs.
struct Shared {
    const Army& I;
    const Army& II;
    const SimulationOptions& options;
    uint64_t seed;
    int32_t first;  // the runs fought are first to last - 1
    int32_t last;
    int32_t chunk;
    std::atomic<int64_t> nextRun;  // 64 bits: claims past the end must not wrap
    std::atomic<int32_t> done{0};
    std::atomic<bool> stop{false};
    // Per run from the first, the units left of each side (-1: not fought).
    // Each slot has one writer, so the array needs no lock and ends up in
    // run order.
    std::vector<std::array<int32_t, 2>> totals;
    std::chrono::steady_clock::time_point lastProgress;
    std::mutex progressLock;  // guards lastProgress and keeps calls apart
    std::mutex errorLock;
    std::exception_ptr error;

    Shared(const Army& a, const Army& b, const SimulationOptions& o, uint64_t seedBase, int32_t firstRun,
           int32_t lastRun, int32_t chunkSize)
        : I(a),
          II(b),
          options(o),
          seed(seedBase),
          first(firstRun),
          last(lastRun),
          chunk(chunkSize),
          nextRun(firstRun),
          totals(static_cast<size_t>(lastRun - firstRun), {-1, -1}),
          lastProgress(std::chrono::steady_clock::now()) {}

    bool cancelled() const {
        return stop.load(std::memory_order_relaxed) ||
               (options.cancel && options.cancel->load(std::memory_order_relaxed));
    }

    void reportProgress() {
        if (!options.progress)
            return;
        // A worker that finds another one reporting simply skips its turn.
        std::unique_lock lock(progressLock, std::try_to_lock);
        if (!lock.owns_lock())
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - lastProgress < std::chrono::milliseconds(20))
            return;
        lastProgress = now;
        // Read under the lock, so the reported counts never go backwards.
        options.progress(done.load(std::memory_order_relaxed));
    }

    void fail(std::exception_ptr e) {
        {
            std::lock_guard lock(errorLock);
            if (!error)
                error = std::move(e);
        }
        stop.store(true, std::memory_order_relaxed);
    }
};

struct WorkerResult {
    std::array<SideResult, 2> sides;
    uint64_t strikes = 0;
};

// Fights the runs this worker claims on its engine, built for armies.
void fightClaimed(Shared& shared, LeanBattle& lean, const std::array<const Army*, 2>& armies, WorkerResult& out) {
    const uint64_t strikesBefore = lean.strikeCount;
    while (!shared.cancelled()) {
        const int64_t claimed = shared.nextRun.fetch_add(shared.chunk, std::memory_order_relaxed);
        if (claimed >= shared.last)
            break;
        const auto first = static_cast<int32_t>(claimed);
        const int32_t last = static_cast<int32_t>(std::min<int64_t>(shared.last, claimed + shared.chunk));
        for (int32_t run = first; run < last; ++run) {
            if (shared.cancelled())
                break;
            lean.Fight(RunSeed(shared.seed, run));

            auto& left = shared.totals[static_cast<size_t>(run - shared.first)];
            for (int s = 0; s < 2; ++s) {
                const Army& a = *armies[s];
                const auto& losses = lean.Losses(s);
                SideResult& side = out.sides[s];
                left[s] = 0;
                for (int32_t k = 0; k <= a.currentType; ++k) {
                    const int32_t kindLeft = a.unittypes[k].Number - losses[k];
                    side.casualties[k] += losses[k];
                    side.unitsLeft[k].add(kindLeft);
                    left[s] += kindLeft;
                }
            }
            // A battle ends when one side is gone, so at most one has units left.
            if (left[0] > 0 && left[1] == 0)
                ++out.sides[0].wins;
            else if (left[1] > 0 && left[0] == 0)
                ++out.sides[1].wins;

            shared.done.fetch_add(1, std::memory_order_relaxed);
            if (shared.options.afterRun)
                shared.options.afterRun();
            shared.reportProgress();
        }
    }
    out.strikes = lean.strikeCount - strikesBefore;
}

void work(Shared& shared, WorkerResult& out) {
    try {
        // Every battle starts from the order Rebuild leaves, so a run's
        // outcome depends only on its seed, not on which worker fought it;
        // the caller's armies may stand in another order.
        Army I = shared.I;
        Army II = shared.II;
        I.Rebuild();
        II.Rebuild();
        LeanBattle lean(I, II);
        fightClaimed(shared, lean, {&I, &II}, out);
    } catch (...) {
        shared.fail(std::current_exception());
    }
}

bool hasUnits(const Army& a) {
    return a.currentSize > 0;
}

// Every army the dialogs and army files accept fits the lean engine; one
// made otherwise is refused here, where it enters a simulation.
void checkFits(const Army& I, const Army& II) {
    if (!LeanBattle::Fits(I, II))
        throw std::invalid_argument(
            "an army holds a kind with values no dialog accepts (hit points from 1 to 999, "
            "at most 999 attacks)");
}

// The workers' parts as one result in run order.
SimulationResult collect(Shared& shared, const std::vector<WorkerResult>& partial) {
    if (shared.error)
        std::rethrow_exception(shared.error);

    SimulationResult result;
    result.firstRun = shared.first;
    for (const WorkerResult& part : partial) {
        for (int s = 0; s < 2; ++s) {
            SideResult& side = result.sides[s];
            for (int32_t k = 0; k < Army::maxTypes; ++k) {
                side.casualties[k] += part.sides[s].casualties[k];
                side.unitsLeft[k].merge(part.sides[s].unitsLeft[k]);
            }
            side.wins += part.sides[s].wins;
        }
        result.strikes += part.strikes;
    }
    for (size_t i = 0; i < shared.totals.size(); ++i) {
        const auto& left = shared.totals[i];
        if (left[0] < 0)
            continue;  // claimed by a worker but never fought
        result.sides[0].totalLeft.push_back(left[0]);
        result.sides[1].totalLeft.push_back(left[1]);
        const int32_t run = shared.first + static_cast<int32_t>(i);
        addFought(result.fought, run, run + 1);
    }
    result.seed = shared.seed;
    result.runsDone = shared.done.load();
    result.cancelled = result.runsDone < shared.last - shared.first;
    return result;
}

// Fights the runs of `shared` on `workers` threads (the calling one among
// them) and gathers the result in run order.
SimulationResult fightRuns(Shared& shared, int workers) {
    std::vector<WorkerResult> partial(static_cast<size_t>(workers));
    {
        // The calling thread is worker 0; the others are joined even when
        // unwinding.
        std::vector<std::thread> threads;
        struct Joiner {
            std::vector<std::thread>& threads;
            ~Joiner() {
                for (std::thread& t : threads)
                    t.join();
            }
        } joiner{threads};
        threads.reserve(static_cast<size_t>(workers - 1));
        for (int w = 1; w < workers; ++w) {
            try {
                threads.emplace_back(work, std::ref(shared), std::ref(partial[static_cast<size_t>(w)]));
            } catch (const std::system_error&) {
                break;  // fewer threads than asked for still finish the job
            }
        }
        work(shared, partial[0]);
    }
    return collect(shared, partial);
}

}  // namespace

SimulationResult Simulate(const Army& I, const Army& II, const SimulationOptions& options) {
    const int32_t runs = options.runs;
    if (runs < 1 || !hasUnits(I) || !hasUnits(II))
        return {};

    int workers = options.threads > 0 ? options.threads : static_cast<int>(std::thread::hardware_concurrency());
    workers = std::clamp(workers, 1, static_cast<int>(std::min<int32_t>(runs, 256)));
    // One run at a time unless there are very many: a large battle takes a
    // tenth of a second, and a chunk of them would leave the other workers
    // idle at the end. Only thousands of (then surely tiny) runs share a
    // chunk, to keep the shared counter out of the way.
    const int32_t chunk = std::clamp<int32_t>(runs / (workers * 256), 1, 64);

    // Without a seed every simulation draws its own; each run is then seeded
    // from it as from a given one.
    const uint64_t seed = options.seed ? *options.seed : FreshSeed();
    checkFits(I, II);
    Shared shared(I, II, options, seed, 0, runs, chunk);
    return fightRuns(shared, workers);
}

RunFighter::RunFighter(const Army& I, const Army& II) : I_(I), II_(II) {
    if (!hasUnits(I_) || !hasUnits(II_))
        return;
    checkFits(I_, II_);
    I_.Rebuild();
    II_.Rebuild();
    lean_ = std::make_unique<LeanBattle>(I_, II_);
}

RunFighter::~RunFighter() = default;

SimulationResult RunFighter::Fight(uint64_t seed, int32_t firstRun, int32_t lastRun, const std::atomic<bool>* cancel) {
    if (firstRun < 0 || lastRun <= firstRun || !lean_) {
        SimulationResult none;
        none.firstRun = firstRun;
        return none;
    }
    SimulationOptions options;
    options.runs = lastRun - firstRun;
    options.threads = 1;
    options.seed = seed;
    options.cancel = cancel;
    Shared shared(I_, II_, options, seed, firstRun, lastRun, 1);
    std::vector<WorkerResult> part(1);
    try {
        fightClaimed(shared, *lean_, {&I_, &II_}, part[0]);
    } catch (...) {
        shared.fail(std::current_exception());
    }
    return collect(shared, part);
}

SimulationResult SimulateRuns(const Army& I, const Army& II, uint64_t seed, int32_t firstRun, int32_t lastRun,
                              const std::atomic<bool>* cancel) {
    return RunFighter(I, II).Fight(seed, firstRun, lastRun, cancel);
}

SimulationResult MergeRuns(std::vector<SimulationResult> parts, int32_t runs) {
    std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.firstRun < b.firstRun; });
    SimulationResult result;
    for (const SimulationResult& part : parts) {
        for (int s = 0; s < 2; ++s) {
            SideResult& side = result.sides[s];
            const SideResult& from = part.sides[s];
            for (int32_t k = 0; k < Army::maxTypes; ++k) {
                side.casualties[k] += from.casualties[k];
                side.unitsLeft[k].merge(from.unitsLeft[k]);
            }
            side.wins += from.wins;
            side.totalLeft.insert(side.totalLeft.end(), from.totalLeft.begin(), from.totalLeft.end());
        }
        result.strikes += part.strikes;
        result.runsDone += part.runsDone;
        result.seed = part.seed;
        for (const auto& [first, last] : part.fought)
            addFought(result.fought, first, last);
    }
    result.cancelled = result.runsDone < runs;
    return result;
}
