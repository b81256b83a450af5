#include "search/trial_cost.hpp"

namespace escala {

std::uint32_t cost_with_task(const Crew& member, const Task& task, const Rules& rules) {
    Crew trial = member;
    trial.assign_task(task, rules);
    trial.sort_tasks();
    return trial.cost(rules);
}

}  // namespace escala
