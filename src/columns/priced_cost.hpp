// The priced cost of a crew day: a lower estimate of its crew cost that adds
// up along the day, which the column generation prices and its master pays.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/task.hpp"

namespace escala::columns {

// The work measures of a day that is not split: 40 per minute short of 430,
// 60 per minute of overtime beyond 430, 5000 per minute beyond 550 and 5000
// more per minute beyond 780 (the rest shortfall), with the closing virtual
// task's length taken at its cheapest in [0, 30].
std::int64_t plain_day_term(std::int64_t span);

// The same measures over the work minutes themselves (span and virtual task).
std::int64_t plain_work_term(std::int64_t work);

// The same measures of a split day over its work minutes (span less the
// break): 40 per minute short of 400, 5000 beyond 550, 5000 more beyond 780.
std::int64_t split_day_term(std::int64_t work);

// What a pair of consecutive tasks costs: 40 per minute of gap, 5000 per
// minute of overlap, 9000 for a vehicle change, 10000 for a point change.
std::int64_t link_cost(const Task& from, const Task& to);

// The least of the day's priced costs over the ways to read it: as a plain
// day when no gap exceeds 120 minutes, and as a split day with any gap over
// 120 as its break. 17200 (430 idle minutes) for the empty day. The tasks
// are taken in the given order, which must be by start time.
std::int64_t priced_cost(std::span<const Task> day);

// Why the priced cost may not bound the crew cost of these tasks under the
// current weights (empty when it does): weights other than the defaults, a
// negative slack, a task that ends before it starts or times out of range.
std::string priced_cost_obstacle(const l_tarefas& tasks);

// Largest minute a task may end at for the priced cost's tables.
inline constexpr std::int32_t latest_minute = 4 * 1440;

}  // namespace escala::columns
