#include "improve/moves.hpp"

#include <algorithm>
#include <array>
#include <climits>

namespace escala::improve {

namespace {

// `tasks` without position `skip`, with `added` at its place.
void replaced(const std::vector<Task>& tasks, std::size_t skip, const Task& added, std::vector<Task>& out) {
    out.clear();
    bool placed = false;
    for (std::size_t q = 0; q < tasks.size(); ++q) {
        if (q == skip) continue;
        if (!placed && tasks[q].start_time > added.start_time) {
            out.push_back(added);
            placed = true;
        }
        out.push_back(tasks[q]);
    }
    if (!placed) out.push_back(added);
}

// `own` with its positions [own_begin, own_end) replaced by [other_begin, other_end) of `other`.
template <typename T>
void spliced(const std::vector<T>& own, std::size_t own_begin, std::size_t own_end, const std::vector<T>& other,
             std::size_t other_begin, std::size_t other_end, std::vector<T>& out) {
    auto at = [](const std::vector<T>& list, std::size_t k) { return list.begin() + static_cast<std::ptrdiff_t>(k); };
    out.assign(own.begin(), at(own, own_begin));
    out.insert(out.end(), at(other, other_begin), at(other, other_end));
    out.insert(out.end(), at(own, own_end), own.end());
}

}  // namespace

std::uint32_t relocate_value(const RosterState& state, std::size_t from, std::size_t k, std::size_t to) {
    const std::array<std::uint32_t, 2> members{static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(to)};
    const std::array<ScheduleValue, 2> values{state.cache(from).without_task(k),
                                              state.cache(to).with_task(state.tasks(from)[k])};
    return state.objective_with(members, values);
}

void relocate(RosterState& state, std::size_t from, std::size_t k, std::size_t to) {
    state.insert(to, state.erase(from, k));
}

std::uint32_t swap_value(const RosterState& state, std::size_t a, std::size_t i, std::size_t b, std::size_t j,
                         MoveScratch& scratch) {
    replaced(state.tasks(a), i, state.tasks(b)[j], scratch.first);
    replaced(state.tasks(b), j, state.tasks(a)[i], scratch.second);
    const std::array<std::uint32_t, 2> members{static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)};
    const std::array<ScheduleValue, 2> values{schedule_value_of(scratch.first, state.rules()), schedule_value_of(scratch.second, state.rules())};
    return state.objective_with(members, values);
}

std::uint32_t swap_value(const RosterState& state, std::size_t a, std::size_t i, std::size_t b, std::size_t j) {
    MoveScratch scratch;
    return swap_value(state, a, i, b, j, scratch);
}

void swap_tasks(RosterState& state, std::size_t a, std::size_t i, std::size_t b, std::size_t j) {
    const TaskId x = state.erase(a, i);
    const TaskId y = state.erase(b, j);
    state.insert(a, y);
    state.insert(b, x);
}

std::uint32_t tail_exchange_value(const RosterState& state, std::size_t a, std::size_t b, std::int32_t time,
                                  MoveScratch& scratch) {
    return window_exchange_value(state, a, b, time, INT32_MAX, scratch);
}

std::uint32_t window_exchange_value(const RosterState& state, std::size_t a, std::size_t b, std::int32_t from,
                                    std::int32_t to, MoveScratch& scratch) {
    const auto& ta = state.tasks(a);
    const auto& tb = state.tasks(b);
    const std::size_t a1 = cut_of(ta, from), b1 = cut_of(tb, from);
    const std::size_t a2 = std::max(a1, cut_of(ta, to)), b2 = std::max(b1, cut_of(tb, to));
    spliced(ta, a1, a2, tb, b1, b2, scratch.first);
    spliced(tb, b1, b2, ta, a1, a2, scratch.second);
    const std::array<std::uint32_t, 2> members{static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b)};
    const std::array<ScheduleValue, 2> values{schedule_value_of(scratch.first, state.rules()), schedule_value_of(scratch.second, state.rules())};
    return state.objective_with(members, values);
}

std::uint32_t tail_exchange_value(const RosterState& state, std::size_t a, std::size_t b, std::int32_t time) {
    MoveScratch scratch;
    return tail_exchange_value(state, a, b, time, scratch);
}

void tail_exchange(RosterState& state, std::size_t a, std::size_t b, std::int32_t time) {
    window_exchange(state, a, b, time, INT32_MAX);
}

std::uint32_t window_exchange_value(const RosterState& state, std::size_t a, std::size_t b, std::int32_t from,
                                    std::int32_t to) {
    MoveScratch scratch;
    return window_exchange_value(state, a, b, from, to, scratch);
}

void window_exchange(RosterState& state, std::size_t a, std::size_t b, std::int32_t from, std::int32_t to) {
    const auto& ta = state.tasks(a);
    const auto& tb = state.tasks(b);
    const std::size_t a1 = cut_of(ta, from), b1 = cut_of(tb, from);
    const std::size_t a2 = std::max(a1, cut_of(ta, to)), b2 = std::max(b1, cut_of(tb, to));
    std::vector<TaskId> first, second;
    spliced(state.ids(a), a1, a2, state.ids(b), b1, b2, first);
    spliced(state.ids(b), b1, b2, state.ids(a), a1, a2, second);
    state.set_ids(a, first);
    state.set_ids(b, second);
}

}  // namespace escala::improve
