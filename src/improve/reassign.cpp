#include "improve/reassign.hpp"

#include <algorithm>
#include <climits>
#include <limits>
#include <type_traits>

namespace escala::improve {

namespace {

constexpr std::size_t kGroup = 256;

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

namespace {

// The reassignment of the window among the members of `group`, whose
// window is [begin, end) of their task lists.
bool reassign_group(RosterState& state, const std::vector<std::size_t>& group, const std::vector<std::size_t>& begin,
                    const std::vector<std::size_t>& end) {
    const std::size_t n = group.size();
    std::vector<std::size_t> owners;  // positions in the group
    for (std::size_t i = 0; i < n; ++i)
        if (end[group[i]] > begin[group[i]]) owners.push_back(i);
    const std::size_t k = owners.size();
    if (k == 0) return false;
    const Rules& rules = state.rules();
    // Every split shift but the first changes the objective by its weight:
    // counted in the day's cost (the objective itself decides below).
    const auto split_weight = static_cast<std::int64_t>(rules.weights.p_duplas);
    auto day_cost = [&](const ScheduleValue& value) {
        return static_cast<std::int64_t>(value.cost) + (value.split_shift ? split_weight : 0);
    };
    auto at = [](const auto& list, std::size_t k) { return list.begin() + static_cast<std::ptrdiff_t>(k); };
    // Member a's tasks (or ids) outside the window with member b's inside it (none without `other`).
    auto compose = [&]<class List>(const List& own, std::size_t a, std::type_identity_t<const List*> other, std::size_t b, List& out) {
        out.assign(own.begin(), at(own, begin[a]));
        if (other != nullptr) out.insert(out.end(), at(*other, begin[b]), at(*other, end[b]));
        out.insert(out.end(), at(own, end[a]), own.end());
    };
    std::vector<Task> day;
    // Rows: the owners' windows; columns: the group's members; each entry the
    // member's cost with that window less its cost with none.
    std::vector<std::int64_t> without(n);
    for (std::size_t i = 0; i < n; ++i) {
        compose(state.tasks(group[i]), group[i], nullptr, 0, day);
        without[i] = day_cost(schedule_value_of(day, rules));
    }
    std::vector<std::int64_t> cost(k * n);
    for (std::size_t r = 0; r < k; ++r) {
        const std::size_t owner = group[owners[r]];
        for (std::size_t i = 0; i < n; ++i) {
            compose(state.tasks(group[i]), group[i], &state.tasks(owner), owner, day);
            cost[r * n + i] = day_cost(schedule_value_of(day, rules)) - without[i];
        }
    }
    const std::vector<std::size_t> to_member = assign_rows(cost, k, n);
    std::int64_t now = 0, then = 0;
    for (std::size_t r = 0; r < k; ++r) {
        now += cost[r * n + owners[r]];
        then += cost[r * n + to_member[r]];
    }
    if (then >= now) return false;

    // The new days of every member whose window changes, checked on the objective itself.
    std::vector<std::size_t> window_of(n, SIZE_MAX);  // member -> member whose window it takes
    for (std::size_t r = 0; r < k; ++r) window_of[to_member[r]] = group[owners[r]];
    std::vector<std::uint32_t> changed;
    std::vector<ScheduleValue> values;
    std::vector<std::vector<TaskId>> ids;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t m = group[i], j = window_of[i];
        if (j == m || (j == SIZE_MAX && end[m] == begin[m])) continue;
        const bool none = j == SIZE_MAX;
        std::vector<TaskId> next;
        compose(state.ids(m), m, none ? nullptr : &state.ids(j), j, next);
        compose(state.tasks(m), m, none ? nullptr : &state.tasks(j), j, day);
        changed.push_back(static_cast<std::uint32_t>(m));
        values.push_back(schedule_value_of(day, rules));
        ids.push_back(std::move(next));
    }
    if (state.objective_with(changed, values) >= state.objective()) return false;
    for (std::size_t c = 0; c < changed.size(); ++c) state.set_ids(changed[c], ids[c]);
    return true;
}

}  // namespace

bool reassign_window(RosterState& state, std::int32_t from, std::int32_t to) {
    const std::size_t n = state.size();
    std::vector<std::size_t> begin(n), end(n);
    for (std::size_t m = 0; m < n; ++m) {
        begin[m] = cut_of(state.tasks(m), from);
        end[m] = std::max(begin[m], cut_of(state.tasks(m), to));
    }
    // Large rosters in groups of at most kGroup members, each of members near
    // one another: by the point where each stands when the window opens (the
    // end of its last task before it, or else the start of its first in it or
    // after it), members without tasks last.
    std::vector<std::size_t> order(n);
    for (std::size_t m = 0; m < n; ++m) order[m] = m;
    const std::size_t groups = (n + kGroup - 1) / kGroup;
    if (groups > 1) {
        std::vector<std::int64_t> key(n, INT64_MAX);
        for (std::size_t m = 0; m < n; ++m) {
            const auto& tasks = state.tasks(m);
            if (begin[m] > 0) key[m] = tasks[begin[m] - 1].end_point;
            else if (!tasks.empty()) key[m] = tasks.front().start_point;
        }
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return key[a] < key[b]; });
    }
    bool changed = false;
    for (std::size_t g = 0; g < groups; ++g) {
        const std::vector<std::size_t> group(order.begin() + static_cast<std::ptrdiff_t>(g * n / groups),
                                             order.begin() + static_cast<std::ptrdiff_t>((g + 1) * n / groups));
        changed = reassign_group(state, group, begin, end) || changed;
    }
    return changed;
}

std::uint32_t reassign_sweeps(RosterState& state, std::mt19937_64& random, const std::function<bool()>& stop,
                              std::int32_t step, int most) {
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
    for (int sweep = 0; sweep < most; ++sweep) {
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
