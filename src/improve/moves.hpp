// The improver's moves between members: their values (the roster objective
// after the move, computed without changing the roster) and their execution.
#pragma once

#include <cstdint>
#include <vector>

#include "improve/roster_state.hpp"

namespace escala::improve {

// Task at position k of member `from` goes to member `to` (from != to).
std::uint32_t relocate_value(const RosterState& state, std::size_t from, std::size_t k, std::size_t to);
void relocate(RosterState& state, std::size_t from, std::size_t k, std::size_t to);

// Task i of member a and task j of member b change places (a != b).
std::uint32_t swap_value(const RosterState& state, std::size_t a, std::size_t i, std::size_t b, std::size_t j);
void swap_tasks(RosterState& state, std::size_t a, std::size_t i, std::size_t b, std::size_t j);

// Members a and b (a != b) exchange their tasks that start at `time` or later.
std::uint32_t tail_exchange_value(const RosterState& state, std::size_t a, std::size_t b, std::int32_t time);
void tail_exchange(RosterState& state, std::size_t a, std::size_t b, std::int32_t time);

// Members a and b (a != b) exchange their tasks that start in [from, to).
std::uint32_t window_exchange_value(const RosterState& state, std::size_t a, std::size_t b, std::int32_t from,
                                    std::int32_t to);
void window_exchange(RosterState& state, std::size_t a, std::size_t b, std::int32_t from, std::int32_t to);

// Scratch lists reused by the value functions of one thread.
struct MoveScratch {
    std::vector<Task> first, second;
    std::vector<TaskId> first_ids, second_ids;
};

std::uint32_t swap_value(const RosterState& state, std::size_t a, std::size_t i, std::size_t b, std::size_t j,
                         MoveScratch& scratch);
std::uint32_t tail_exchange_value(const RosterState& state, std::size_t a, std::size_t b, std::int32_t time,
                                  MoveScratch& scratch);
std::uint32_t window_exchange_value(const RosterState& state, std::size_t a, std::size_t b, std::int32_t from,
                                    std::int32_t to, MoveScratch& scratch);

}  // namespace escala::improve
