#include "improve/reassign.hpp"

#include <algorithm>
#include <climits>
#include <limits>

namespace escala::improve {

namespace {

// First position of a task that starts at `time` or later.
std::size_t cut_of(const std::vector<Task>& tasks, std::int32_t time) {
    return static_cast<std::size_t>(
        std::lower_bound(tasks.begin(), tasks.end(), time,
                         [](const Task& t, std::int32_t v) { return t.start_time < v; }) -
        tasks.begin());
}

// The least-cost assignment of k rows to distinct columns of m >= k
// (row-major k x m): the column of every row. Shortest augmenting paths
// with potentials, O(k^2 m).
std::vector<std::size_t> assign_rows(const std::vector<std::int64_t>& cost, std::size_t k, std::size_t m) {
    constexpr std::int64_t infinity = std::numeric_limits<std::int64_t>::max() / 4;
    // 1-based: column 0 is the virtual start of every augmenting path.
    std::vector<std::int64_t> u(k + 1, 0), v(m + 1, 0), least(m + 1);
    std::vector<std::size_t> row_of(m + 1, 0), way(m + 1, 0);
    std::vector<char> used(m + 1);
    for (std::size_t i = 1; i <= k; ++i) {
        row_of[0] = i;
        std::size_t column = 0;
        std::fill(least.begin(), least.end(), infinity);
        std::fill(used.begin(), used.end(), 0);
        do {
            used[column] = 1;
            const std::size_t row = row_of[column];
            std::int64_t delta = infinity;
            std::size_t next = 0;
            for (std::size_t j = 1; j <= m; ++j) {
                if (used[j]) continue;
                const std::int64_t reduced = cost[(row - 1) * m + (j - 1)] - u[row] - v[j];
                if (reduced < least[j]) {
                    least[j] = reduced;
                    way[j] = column;
                }
                if (least[j] < delta) {
                    delta = least[j];
                    next = j;
                }
            }
            for (std::size_t j = 0; j <= m; ++j) {
                if (used[j]) {
                    u[row_of[j]] += delta;
                    v[j] -= delta;
                } else {
                    least[j] -= delta;
                }
            }
            column = next;
        } while (row_of[column] != 0);
        do {  // flip the path
            const std::size_t previous = way[column];
            row_of[column] = row_of[previous];
            column = previous;
        } while (column != 0);
    }
    std::vector<std::size_t> column_of(k);
    for (std::size_t j = 1; j <= m; ++j)
        if (row_of[j] != 0) column_of[row_of[j] - 1] = j - 1;
    return column_of;
}

}  // namespace

std::vector<std::size_t> least_cost_assignment(const std::vector<std::int64_t>& costs, std::size_t n) {
    return assign_rows(costs, n, n);
}

bool reassign_window(RosterState& state, std::int32_t from, std::int32_t to) {
    const std::size_t n = state.size();
    std::vector<std::size_t> begin(n), end(n), owners;
    for (std::size_t m = 0; m < n; ++m) {
        begin[m] = cut_of(state.tasks(m), from);
        end[m] = std::max(begin[m], cut_of(state.tasks(m), to));
        if (end[m] > begin[m]) owners.push_back(m);
    }
    const std::size_t k = owners.size();
    if (k == 0) return false;
    const Rules& rules = state.rules();
    // Every split shift but the first changes the objective by its weight:
    // counted in the day's cost (the objective itself decides below).
    const auto split_weight = static_cast<std::int64_t>(rules.weights.p_duplas);
    auto day_cost = [&](const ScheduleValue& value) {
        return static_cast<std::int64_t>(value.cost) + (value.split_shift ? split_weight : 0);
    };
    // Member i's tasks outside the window with owner j's inside it.
    std::vector<Task> day;
    auto compose = [&](std::size_t i, std::size_t j, std::vector<Task>& out) {
        const auto& own = state.tasks(i);
        const auto& other = state.tasks(j);
        out.assign(own.begin(), own.begin() + static_cast<std::ptrdiff_t>(begin[i]));
        out.insert(out.end(), other.begin() + static_cast<std::ptrdiff_t>(begin[j]),
                   other.begin() + static_cast<std::ptrdiff_t>(end[j]));
        out.insert(out.end(), own.begin() + static_cast<std::ptrdiff_t>(end[i]), own.end());
    };
    // Rows: the owners' windows; columns: every member; each entry the
    // member's cost with that window less its cost with none.
    std::vector<std::int64_t> without(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto& own = state.tasks(i);
        day.assign(own.begin(), own.begin() + static_cast<std::ptrdiff_t>(begin[i]));
        day.insert(day.end(), own.begin() + static_cast<std::ptrdiff_t>(end[i]), own.end());
        without[i] = day_cost(schedule_value_of(day, rules));
    }
    std::vector<std::int64_t> cost(k * n);
    for (std::size_t r = 0; r < k; ++r)
        for (std::size_t i = 0; i < n; ++i) {
            compose(i, owners[r], day);
            cost[r * n + i] = day_cost(schedule_value_of(day, rules)) - without[i];
        }
    const std::vector<std::size_t> to_member = assign_rows(cost, k, n);
    std::int64_t now = 0, then = 0;
    for (std::size_t r = 0; r < k; ++r) {
        now += cost[r * n + owners[r]];
        then += cost[r * n + to_member[r]];
    }
    if (then >= now) return false;

    // The new days of every member whose window changes, checked on the objective itself.
    std::vector<std::size_t> window_of(n, SIZE_MAX);  // member -> owner of its new window
    for (std::size_t r = 0; r < k; ++r) window_of[to_member[r]] = owners[r];
    std::vector<std::uint32_t> changed;
    std::vector<ScheduleValue> values;
    std::vector<std::vector<TaskId>> ids;
    for (std::size_t i = 0; i < n; ++i) {
        const bool had = end[i] > begin[i];
        const std::size_t j = window_of[i];
        if (j == i || (j == SIZE_MAX && !had)) continue;
        const auto& own = state.ids(i);
        std::vector<TaskId> next(own.begin(), own.begin() + static_cast<std::ptrdiff_t>(begin[i]));
        if (j != SIZE_MAX)
            next.insert(next.end(), state.ids(j).begin() + static_cast<std::ptrdiff_t>(begin[j]),
                        state.ids(j).begin() + static_cast<std::ptrdiff_t>(end[j]));
        next.insert(next.end(), own.begin() + static_cast<std::ptrdiff_t>(end[i]), own.end());
        if (j == SIZE_MAX) {
            day.assign(state.tasks(i).begin(), state.tasks(i).begin() + static_cast<std::ptrdiff_t>(begin[i]));
            day.insert(day.end(), state.tasks(i).begin() + static_cast<std::ptrdiff_t>(end[i]), state.tasks(i).end());
        } else {
            compose(i, j, day);
        }
        changed.push_back(static_cast<std::uint32_t>(i));
        values.push_back(schedule_value_of(day, rules));
        ids.push_back(std::move(next));
    }
    if (state.objective_with(changed, values) >= state.objective()) return false;
    for (std::size_t c = 0; c < changed.size(); ++c) state.set_ids(changed[c], ids[c]);
    return true;
}

std::uint32_t reassign_sweeps(RosterState& state, std::mt19937_64& random, const std::function<bool()>& stop,
                              std::int32_t step) {
    std::int64_t first = INT32_MAX, last = INT32_MIN;
    for (TaskId id = 0; id < state.task_count(); ++id) {
        first = std::min<std::int64_t>(first, state.task(id).start_time);
        last = std::max<std::int64_t>(last, state.task(id).start_time);
    }
    if (first > last) return state.objective();
    const std::int64_t every = std::max<std::int32_t>(step, 1);
    const std::int64_t windows = std::min<std::int64_t>((last - first) / every, 1000);
    auto over = [&] { return stop && stop(); };
    auto clamped = [](std::int64_t t) { return static_cast<std::int32_t>(std::min<std::int64_t>(t, INT32_MAX)); };
    for (;;) {
        const std::uint32_t before = state.objective();
        for (std::int64_t t = first + every; t <= last && t - first <= 1000 * every && !over(); t += every)
            reassign_window(state, static_cast<std::int32_t>(t), INT32_MAX);
        std::uniform_int_distribution<std::int64_t> start(first, last);
        for (std::int64_t w = 0; w < windows && !over(); ++w) {
            const std::int64_t from = start(random);
            reassign_window(state, static_cast<std::int32_t>(from), clamped(from + (60 << (w % 3))));
        }
        if (over() || state.objective() >= before) break;
    }
    return state.objective();
}

}  // namespace escala::improve
