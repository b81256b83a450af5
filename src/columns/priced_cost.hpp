// The priced cost of a crew day: a lower estimate of its crew cost that adds
// up along the day, which the column generation prices and its master pays.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/task.hpp"
#include "crew/rules.hpp"

namespace escala::columns {

// The work measures of a day that is not split (defaults in brackets):
// t_ocioso [40] per minute short of the workday [430], h_extra [60] per
// minute of overtime beyond it, d_jornada [5000] per minute beyond
// excess_after [550] and i_jornada [5000] more per minute beyond the day less
// the rest [780] (the rest shortfall), with the closing virtual task's length
// taken at its cheapest in [0, its longest].
std::int64_t plain_day_term(std::int64_t span, const Rules& rules);

// The same measures over the work minutes themselves (span and virtual task).
std::int64_t plain_work_term(std::int64_t work, const Rules& rules);

// The same measures of a split day over its work minutes (span less the
// break): t_ocioso per minute short of the split workday [400], d_jornada
// beyond excess_after, i_jornada more beyond the day less the rest.
std::int64_t split_day_term(std::int64_t work, const Rules& rules);

// What a pair of consecutive tasks costs: t_ocioso per minute of gap,
// t_sobreposicao per minute of overlap, t_veiculo for a vehicle change,
// tp_proibida for a point change.
std::int64_t link_cost(const Task& from, const Task& to, const Rules& rules);

// The least of the day's priced costs over the ways to read it: as a plain
// day when no gap exceeds split_gap, and as a split day with any gap over it
// as its break. The workday's idle minutes for the empty day. The tasks are
// taken in the given order, which must be by start time.
std::int64_t priced_cost(std::span<const Task> day, const Rules& rules);

// Why the rules fall outside the range where the priced cost bounds the crew
// cost (empty when they are inside it; see priced_cost.cpp).
std::string rules_obstacle(const Rules& rules);

// Why the priced cost may not bound the crew cost of these tasks under these
// rules (empty when it does): rules outside the range, rules other than the
// defaults (which the pricing's labelling is built on), a negative slack, a
// task that ends before it starts or times out of range.
std::string priced_cost_obstacle(const l_tarefas& tasks, const Rules& rules);

// Largest minute a task may end at for the priced cost's tables.
inline constexpr std::int32_t latest_minute = 4 * 1440;

}  // namespace escala::columns
