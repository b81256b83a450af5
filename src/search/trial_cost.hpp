// What a schedule would cost after a change, without changing it.
#pragma once

#include <cstdint>

#include "crew/crew.hpp"

namespace escala {

// Cost of `member` with `task` assigned (schedule sorted, virtual task rebuilt).
std::uint32_t cost_with_task(const Crew& member, const Task& task, const Rules& rules);

}  // namespace escala
