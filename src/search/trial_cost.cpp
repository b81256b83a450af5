#include "search/trial_cost.hpp"

namespace escala {

std::uint32_t cost_with_task(const Crew& member, const Task& task) {
    Crew trial = member;
    trial.assign_task(task);
    trial.sort_tasks();
    return trial.cost();
}

}  // namespace escala
