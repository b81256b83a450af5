// Counting the tasks one crew member would have to drive at the same time.
#pragma once

#include <cstdint>
#include <string>

#include "crew/crew.hpp"

namespace escala {

// Pairs of real tasks of one schedule that are under way at the same moment
// (a task covers [start_time, end_time); tasks that only touch do not
// overlap). Virtual tasks are left out.
std::int64_t overlapping_pairs(const Crew& crew);
std::int64_t overlapping_pairs(const v_crew& roster);

// "3 overlapping task pairs" ("1 overlapping task pair").
std::string overlaps_text(std::int64_t pairs);

}  // namespace escala
