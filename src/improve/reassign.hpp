// Reassignment over a time window: every member keeps its tasks outside the
// window and takes the tasks some member has inside it (the tail from a time
// on, when the window has no end). The best such permutation over all
// members at once is an assignment problem, solved exactly: a large
// neighbourhood of many exchanges at once, where the local search's moves
// change two members at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "improve/roster_state.hpp"

namespace escala::improve {

// The least-cost permutation of an n x n cost matrix (row-major): the column
// of every row. Exact, in integers.
std::vector<std::size_t> least_cost_assignment(const std::vector<std::int64_t>& costs, std::size_t n);

// Reassigns the tasks that start in [from, to) by the best permutation of
// members, when that lowers the objective (the split shifts included).
// Beyond 256 members, in groups of members that stand near one another when
// the window opens, each group on its own. Returns whether the roster changed.
bool reassign_window(RosterState& state, std::int32_t from, std::int32_t to);

// Windows in turn over the day: the tails from every `step` minutes (a
// thousand at most), then as many windows of one, two and four hours from
// random starts, again until `stop` says so, a whole sweep gains nothing or
// `most` sweeps have run. Returns the objective.
std::uint32_t reassign_sweeps(RosterState& state, std::mt19937_64& random, const std::function<bool()>& stop,
                              std::int32_t step = 10, int most = 3);

}  // namespace escala::improve
