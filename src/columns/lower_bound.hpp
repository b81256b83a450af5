// A lower bound on the roster objective of a task file and a roster size.
//
// Two parts that bound disjoint terms of the crew cost, so that their sum
// bounds the objective of every roster of `members` members:
//
// Idle part, on the idle and overtime terms. Write W for the workday [430 by
// default], S for the split workday [400], L for the split gap [120] and M
// for the virtual task's longest length, max(virtual_idle, virtual_short)
// [30]. For a member with task minutes d (end minus start, summed), slack s
// and closing virtual task of length v, t_ocioso x idle + h_extra x
// overtime >= t_ocioso x (W - d - v + s): without a split shift and at most
// W minutes of work, the gaps counted as idle cancel those inside the work
// time and an overlap only adds idle; with more work the right side is below
// the idle time alone. With a split shift, a break g > L: the idle time is
// at least S - (span - g) + gaps + s when the work is short and the gaps and
// slack alone when it is over S (then d + gaps >= span > S + g), both at
// least W - d + s as long as W <= S + L + 1; other rules get no idle part.
// The virtual task is at most M minutes (its length and the gaps and slack
// make virtual_idle or more, the last two being non-negative), and a member
// without tasks is idle W minutes. Summed over the members: t_ocioso x
// max(0, W N - d - M N + s), d and s over all tasks. A task file with a
// negative slack gets no idle part.
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
#include "crew/rules.hpp"

namespace escala::columns {

struct ObjectiveBound {
    std::int64_t idle_part = 0;
    std::int64_t link_part = 0;
    std::int64_t value = 0;  // the bound: the two parts, less the split-shift allowance
};

std::int64_t idle_lower_bound(const l_tarefas& tasks, std::size_t members, const Rules& rules);
std::int64_t link_lower_bound(const l_tarefas& tasks, std::size_t members, const Rules& rules);
ObjectiveBound objective_lower_bound(const l_tarefas& tasks, std::size_t members, const Rules& rules);

// objective / bound - 1, in percent (0 when the bound is not positive).
double gap_percent(std::uint32_t objective, std::int64_t bound);

}  // namespace escala::columns
