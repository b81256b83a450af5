#include "improve/search.hpp"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <numeric>
#include <thread>

#include "improve/moves.hpp"
#include "improve/reassign.hpp"

namespace escala::improve {

namespace {

using Clock = std::chrono::steady_clock;

// The search's parameters. Removals: about kAverageRemoved tasks a step, in
// strings of at most kMaxString tasks; kBlinkPercent of the members are
// passed over at each reinsertion. Window exchanges swap the tasks two
// members have between two time points (or from one on: a tail exchange). Annealing: the temperature falls from
// the options' start temperature to kEndTemperature over kCycle iterations, and each new
// cycle starts again from the search's best roster.
constexpr double kAverageRemoved = 10;
constexpr double kMaxString = 10;
constexpr std::uint64_t kBlinkPercent = 1;
constexpr double kEndTemperature = 30;
constexpr std::uint64_t kCycle = 400000;
// Of 20 iterations: 8 ruin and recreate, 8 window exchanges, 2 relocations, 2 swaps.
constexpr std::size_t kRuinShare = 8;
constexpr std::size_t kWindowShare = 16;
constexpr std::size_t kRelocateShare = 18;

std::size_t uniform(std::mt19937_64& random, std::size_t count) {
    return std::uniform_int_distribution<std::size_t>(0, count - 1)(random);
}
double unit(std::mt19937_64& random) { return std::uniform_real_distribution<double>(0, 1)(random); }

#ifndef NDEBUG
void check_running_value(const RosterState& state, std::uint32_t value) {
    const std::uint32_t fresh = state.fresh_objective();
    if (fresh != value || state.objective() != value) {
        std::fprintf(stderr, "running value %u differs from the roster's objective %u\n", value, fresh);
        std::abort();
    }
}
#endif

// The tasks nearest to task a: by the distance of their middles, a task of
// the same vehicle counting as 20 minutes nearer.
std::vector<std::vector<TaskId>> nearest_tasks(const RosterState& state, std::size_t count) {
    const std::size_t n = state.task_count();
    std::vector<std::vector<TaskId>> lists(n);
    std::vector<std::pair<std::int64_t, TaskId>> order(n);
    auto middle = [&](TaskId id) {
        const Task& t = state.task(id);
        return (std::int64_t{t.start_time} + std::int64_t{t.end_time}) / 2;
    };
    const std::size_t keep = std::min(count, n);
    for (TaskId a = 0; a < n; ++a) {
        for (TaskId b = 0; b < n; ++b) {
            std::int64_t d = std::llabs(middle(a) - middle(b));
            if (b != a && state.task(a).vehicle == state.task(b).vehicle) d = std::max<std::int64_t>(0, d - 20);
            order[b] = {b == a ? -1 : d, b};
        }
        std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(keep), order.end());
        for (std::size_t k = 0; k < keep; ++k) lists[a].push_back(order[k].second);
    }
    return lists;
}

}  // namespace

// ---- ruin and recreate ----

RuinRecreate::RuinRecreate(const RosterState& state, std::size_t neighbours)
    : neighbours_(nearest_tasks(state, neighbours)), is_touched_(state.size(), 0), ruined_(state.size(), 0) {}

void RuinRecreate::save(const RosterState& state, std::uint32_t m) {
    if (is_touched_[m]) return;
    is_touched_[m] = 1;
    if (saved_.size() <= touched_.size()) saved_.emplace_back();
    saved_[touched_.size()] = state.ids(m);
    touched_.push_back(m);
}

void RuinRecreate::insert_best(RosterState& state, TaskId id, std::mt19937_64& random) {
    const Task& task = state.task(id);
    std::size_t best = state.size();
    std::uint32_t best_value = 0;
    for (int pass = 0; pass < 2 && best == state.size(); ++pass) {
        bool empty_seen = false;
        for (std::uint32_t m = 0; m < state.size(); ++m) {
            if (pass == 0 && random() % 100 < kBlinkPercent) continue;
            if (state.tasks(m).empty()) {
                if (empty_seen) continue;  // members without tasks are all alike
                empty_seen = true;
            }
            const ScheduleValue with = state.cache(m).with_task(task);
            const std::uint32_t value = state.objective_with({&m, 1}, {&with, 1});
            if (best == state.size() || value < best_value) {
                best = m;
                best_value = value;
            }
        }
    }
    save(state, static_cast<std::uint32_t>(best));
    state.insert(best, id);
}

std::uint32_t RuinRecreate::step(RosterState& state, std::mt19937_64& random) {
    for (std::uint32_t m : touched_) is_touched_[m] = 0;
    touched_.clear();
    removed_.clear();
    std::fill(ruined_.begin(), ruined_.end(), 0);

    std::size_t busy = 0;
    for (std::size_t m = 0; m < state.size(); ++m) busy += state.tasks(m).empty() ? 0 : 1;
    const double average = static_cast<double>(state.task_count()) / static_cast<double>(std::max<std::size_t>(1, busy));
    const double longest = std::min(kMaxString, average);
    const double most_members = 4 * kAverageRemoved / (1 + longest) - 1;
    const std::size_t members = static_cast<std::size_t>(std::floor(1 + unit(random) * most_members));

    const TaskId seed = static_cast<TaskId>(uniform(random, state.task_count()));
    std::size_t ruined = 0;
    std::vector<TaskId> kept;
    for (TaskId near : neighbours_[seed]) {
        if (ruined >= members) break;
        const std::uint32_t m = state.member_of(near);
        if (ruined_[m]) continue;
        const auto& ids = state.ids(m);
        const std::size_t size = ids.size();
        const std::size_t max_length = std::min<std::size_t>(size, static_cast<std::size_t>(longest));
        const std::size_t length = 1 + uniform(random, std::max<std::size_t>(1, max_length));
        const std::size_t at = state.position_of(near);
        const std::size_t low = at + 1 >= length ? at + 1 - length : 0;
        const std::size_t high = std::min(at, size - length);
        const std::size_t first = low + uniform(random, high - low + 1);
        save(state, m);
        kept.clear();
        for (std::size_t q = 0; q < size; ++q) {
            if (q >= first && q < first + length) removed_.push_back(ids[q]);
            else kept.push_back(ids[q]);
        }
        state.set_ids(m, kept);
        ruined_[m] = 1;
        ++ruined;
    }

    // The order of reinsertion: at random, by start, longest first, latest first.
    const std::size_t order = uniform(random, 11);
    if (order < 4) {
        std::shuffle(removed_.begin(), removed_.end(), random);
    } else if (order < 8) {
        std::sort(removed_.begin(), removed_.end(), [&](TaskId a, TaskId b) {
            return std::pair(state.task(a).start_time, a) < std::pair(state.task(b).start_time, b);
        });
    } else if (order < 10) {
        std::sort(removed_.begin(), removed_.end(), [&](TaskId a, TaskId b) {
            return std::pair(state.task(b).duration(), a) < std::pair(state.task(a).duration(), b);
        });
    } else {
        std::sort(removed_.begin(), removed_.end(), [&](TaskId a, TaskId b) {
            return std::pair(state.task(b).start_time, a) < std::pair(state.task(a).start_time, b);
        });
    }
    for (TaskId id : removed_) insert_best(state, id, random);
    return state.objective();
}

void RuinRecreate::undo(RosterState& state) {
    for (std::size_t i = 0; i < touched_.size(); ++i) state.set_ids(touched_[i], saved_[i]);
}

// ---- construction ----

RosterState construct(const l_tarefas& all, std::size_t members, const Rules& rules, std::mt19937_64& random,
                      std::optional<Clock::time_point> deadline) {
    RosterState state(all, members, rules);
    if (members == 0) return state;
    std::vector<TaskId> order(all.size());
    std::iota(order.begin(), order.end(), TaskId{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](TaskId a, TaskId b) { return all[a].start_time < all[b].start_time; });
    bool late = false;
    std::size_t next = 0;
    for (TaskId id : order) {
        if (!late && deadline && Clock::now() >= *deadline) late = true;
        std::size_t best = next++ % members;
        if (!late) {
            std::uint32_t best_value = UINT32_MAX;
            bool chosen = false;
            for (std::uint32_t m = 0; m < members; ++m) {
                if (random() % 100 < kBlinkPercent) continue;
                const ScheduleValue with = state.cache(m).with_task(state.task(id));
                const std::uint32_t value = state.objective_with({&m, 1}, {&with, 1});
                if (!chosen || value < best_value) {
                    best = m;
                    best_value = value;
                    chosen = true;
                }
            }
        }
        state.insert(best, id);
    }
    return state;
}

// ---- the searches ----

namespace {

struct Shared {
    Clock::time_point started;
    std::optional<Clock::time_point> deadline;
    const ImproveOptions* options = nullptr;
    std::mutex mutex;  // guards the best roster and the trace
    std::uint32_t best_objective = 0;
    std::vector<std::vector<TaskId>> best_ids;
    std::vector<TraceEntry> trace;
    std::vector<std::vector<std::vector<TaskId>>> search_best;  // each search's own, set as it ends
    std::vector<std::atomic<std::uint64_t>> iterations;
    std::atomic<std::uint32_t> current{0};
    std::atomic<std::uint32_t> best{0};
    std::atomic<unsigned> running{0};

    explicit Shared(unsigned threads) : search_best(threads), iterations(threads) {}
    double seconds() const { return std::chrono::duration<double>(Clock::now() - started).count(); }
    bool over(std::uint64_t iteration) const {
        if (options->stop != nullptr && options->stop->load(std::memory_order_relaxed)) return true;
        if (options->max_iterations != 0 && iteration >= options->max_iterations) return true;
        return deadline && Clock::now() >= *deadline;
    }
};

std::vector<std::vector<TaskId>> all_ids(const RosterState& state) {
    std::vector<std::vector<TaskId>> ids(state.size());
    for (std::size_t m = 0; m < state.size(); ++m) ids[m] = state.ids(m);
    return ids;
}

void search(const RosterState& start, unsigned index, Shared& shared) {
    RosterState state = start;
    std::mt19937_64 random(shared.options->seed + index);
    RuinRecreate ruin(state);
    MoveScratch scratch;
    std::uint32_t current = state.objective();
    std::uint32_t best = current;
    std::vector<std::vector<TaskId>> best_ids = all_ids(state);

    // A task's partner: one of its nearest tasks in another member.
    auto partner = [&](TaskId x) -> std::optional<TaskId> {
        const auto& near = ruin.neighbours(x);
        if (near.size() < 2) return std::nullopt;
        const TaskId y = near[1 + uniform(random, std::min<std::size_t>(near.size() - 1, 20))];
        if (state.member_of(y) == state.member_of(x)) return std::nullopt;
        return y;
    };

    const double start_temperature = shared.options->start_temperature;
    std::uint64_t iteration = 0;
    auto record = [&] {  // `current` is a new best of this search
        best = current;
        best_ids = all_ids(state);
        const std::lock_guard lock(shared.mutex);
        if (best < shared.best_objective) {
            shared.best_objective = best;
            shared.best_ids = best_ids;
            shared.trace.push_back({shared.seconds(), iteration + 1, best});
            shared.best.store(best, std::memory_order_relaxed);
        }
    };
    for (; !shared.over(iteration); ++iteration) {
        if (iteration > 0 && iteration % kCycle == 0) {
            // A new cycle from the best roster so far.
            for (std::size_t m = 0; m < state.size(); ++m)
                if (state.ids(m) != best_ids[m]) state.set_ids(m, best_ids[m]);
            current = state.objective();
        }
        if (iteration % kCycle == 0 && shared.options->reassign) {
            // Every cycle starts with the windows' best reassignments.
            reassign_sweeps(state, random, [&] { return shared.over(iteration); });
#ifndef NDEBUG
            check_running_value(state, state.objective());
#endif
            if (state.objective() < current) {
                current = state.objective();
                if (current < best) record();
            }
            if (shared.over(iteration)) break;
        }
        const double fraction = static_cast<double>(iteration % kCycle) / static_cast<double>(kCycle);
        const double temperature = start_temperature * std::pow(kEndTemperature / start_temperature, fraction);
        // Accepts a value at most this much above the current one.
        const double threshold = static_cast<double>(current) - temperature * std::log(1 - unit(random));

        const std::size_t kind = uniform(random, 20);
        bool moved = false;
        if (kind < kRuinShare || state.task_count() < 2) {
            const std::uint32_t value = ruin.step(state, random);
            if (static_cast<double>(value) <= threshold) {
                current = value;
                moved = true;
            } else {
                ruin.undo(state);
            }
        } else {
            const TaskId x = static_cast<TaskId>(uniform(random, state.task_count()));
            const std::optional<TaskId> y = partner(x);
            if (y) {
                const std::size_t a = state.member_of(x), b = state.member_of(*y);
                const std::size_t i = state.position_of(x), j = state.position_of(*y);
                if (kind < kWindowShare) {
                    // Tasks of a from x on (and of b from the same time) up to
                    // a later task of either, or to the end.
                    const std::int32_t from = state.task(x).start_time;
                    std::int32_t to = INT32_MAX;
                    const auto& own = state.tasks(uniform(random, 2) == 0 ? a : b);
                    const std::size_t first = place_of(own, state.task(x));
                    if (uniform(random, 3) != 0 && first < own.size())
                        to = own[first + uniform(random, own.size() - first)].start_time + 1;
                    const std::uint32_t value = window_exchange_value(state, a, b, from, to, scratch);
                    if (static_cast<double>(value) <= threshold) {
                        window_exchange(state, a, b, from, to);
                        current = value;
                        moved = true;
                    }
                } else if (kind < kRelocateShare) {
                    const std::uint32_t value = relocate_value(state, a, i, b);
                    if (static_cast<double>(value) <= threshold) {
                        relocate(state, a, i, b);
                        current = value;
                        moved = true;
                    }
                } else {
                    const std::uint32_t value = swap_value(state, a, i, b, j, scratch);
                    if (static_cast<double>(value) <= threshold) {
                        swap_tasks(state, a, i, b, j);
                        current = value;
                        moved = true;
                    }
                }
            }
        }
#ifndef NDEBUG
        if (moved) check_running_value(state, current);
#endif
        if (moved && current < best) record();
        shared.iterations[index].store(iteration + 1, std::memory_order_relaxed);
        if (index == 0) shared.current.store(current, std::memory_order_relaxed);
    }
    shared.search_best[index] = std::move(best_ids);
}

}  // namespace

ImproveResult improve(const RosterState& start, const ImproveOptions& options,
                      const std::function<void(const ProgressReport&)>& progress) {
    const unsigned threads = std::max(1u, options.threads);
    Shared shared(threads);
    shared.started = Clock::now();
    if (options.time_limit_seconds > 0)
        shared.deadline = shared.started + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(options.time_limit_seconds));
    shared.options = &options;
    shared.best_objective = start.objective();
    shared.best_ids = all_ids(start);
    shared.best = shared.best_objective;
    shared.current = shared.best_objective;

    auto total_iterations = [&] {
        std::uint64_t total = 0;
        for (const auto& i : shared.iterations) total += i.load(std::memory_order_relaxed);
        return total;
    };
    {
        shared.running = threads;
        std::vector<std::jthread> workers;
        for (unsigned t = 0; t < threads; ++t)
            workers.emplace_back([&, t] {
                search(start, t, shared);
                --shared.running;
            });
        double next_report = options.progress_seconds;
        while (shared.running.load() > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (progress && options.progress_seconds > 0 && shared.seconds() >= next_report) {
                progress({shared.seconds(), total_iterations(), shared.current.load(), shared.best.load()});
                while (next_report <= shared.seconds()) next_report += options.progress_seconds;
            }
        }
    }

    ImproveResult result;
    result.best = start;
    for (std::size_t m = 0; m < start.size(); ++m)
        if (shared.best_ids[m] != start.ids(m)) result.best.set_ids(m, shared.best_ids[m]);
    result.start_objective = start.objective();
    result.best_objective = result.best.objective();
    result.iterations = total_iterations();
    result.seconds = shared.seconds();
    result.trace = std::move(shared.trace);
    result.search_best = std::move(shared.search_best);
    return result;
}

}  // namespace escala::improve
