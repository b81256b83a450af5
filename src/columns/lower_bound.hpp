// A lower bound on the roster objective of a task file and a roster size.
//
// Two parts that bound disjoint terms of the crew cost, so that their sum
// bounds the objective of every roster of `members` members:
//
// Idle part, on the idle and overtime terms. For a member with task minutes
// d (end minus start, summed), slack s and closing virtual task of length v,
// t_ocioso x idle + h_extra x overtime >= t_ocioso x (430 - d - v + s):
// without a split shift and at most 430 minutes of work, the gaps counted as
// idle cancel those inside the work time and an overlap only adds idle; with
// more work, or with a split shift (the break is idle, or makes the work
// long), the right side is below the idle time alone. The virtual task is
// at most 30 minutes (its length and the gaps and slack make 30 or more,
// the last two being non-negative), and a member without tasks is idle 430
// minutes. Summed over the members: t_ocioso x max(0, 430 N - d - 30 N + s),
// d and s over all tasks. A task file with a negative slack gets no idle part.
//
// Link part, on the vehicle and point change terms. A member with k tasks
// has k - 1 consecutive pairs (the virtual task adds no change), each pair
// (a, b) with b starting no earlier than a; a roster thus has at least
// n - N of them, and its vehicle changes and point changes (every pair whose
// start point differs from the previous end point, at the longest gap too)
// are those of its pairs. The least total cost of n - N links "a is
// followed by b" (a != b, b.start_time >= a.start_time, every task at most
// once in front and at most once behind), t_veiculo when the vehicles
// differ plus tp_proibida when b starts away from where a ends, is then a
// bound: a min-cost flow, solved exactly with LEMON's network simplex.
//
// With a split-shift weight p_duplas the objective can be up to 20 x p_duplas
// below the sum of the costs, which the bound then subtracts.
#pragma once

#include <cstdint>

#include "core/task.hpp"

namespace escala::columns {

struct ObjectiveBound {
    std::int64_t idle_part = 0;
    std::int64_t link_part = 0;
    std::int64_t value = 0;  // the bound: the two parts, less the split-shift allowance
};

std::int64_t idle_lower_bound(const l_tarefas& tasks, std::size_t members);
std::int64_t link_lower_bound(const l_tarefas& tasks, std::size_t members);
ObjectiveBound objective_lower_bound(const l_tarefas& tasks, std::size_t members);

// objective / bound - 1, in percent (0 when the bound is not positive).
double gap_percent(std::uint32_t objective, std::int64_t bound);

}  // namespace escala::columns
