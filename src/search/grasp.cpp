#include "search/grasp.hpp"

#include <algorithm>
#include <iostream>

#include "search/move_eval.hpp"
#include "search/random.hpp"
#include "search/trial_cost.hpp"

namespace escala {

void grasp(l_tarefas& tasks, v_crew& roster, double crew_percent, double task_percent,
           std::optional<unsigned> seed, bool reference) {
    const double alpha = crew_percent * 0.01;
    const double beta = task_percent * 0.01;
    std::stable_sort(tasks.begin(), tasks.end(), compare_duration);
    seed_random(seed ? *seed : clock_seed());
    if (roster.empty()) return;  // nobody to give a task to

    // Each member's trial costs come from its cache, rebuilt only when the
    // member receives a task.
    std::vector<MemberCache> caches(reference ? 0 : roster.size());
    for (std::size_t i = 0; i < caches.size(); ++i) caches[i].refresh(roster[i]);

    l_solucao candidates;
    candidates.reserve(roster.size());
    while (!tasks.empty()) {
        const std::size_t n = tasks.size();
        std::size_t task_window = static_cast<std::size_t>(static_cast<double>(n) * beta);
        if (task_window < 1) task_window = 1;
        const std::size_t task_pick = static_cast<unsigned>(draw_random()) % task_window;
        const Task task = take_at(tasks, task_pick);
        if (task.is_virtual != 0) roster.front().assign_task(task);  // stops with the fatal message

        for (std::size_t i = 0; i < roster.size(); ++i)
            candidates.push_back({static_cast<std::int32_t>(i),
                                  reference ? cost_with_task(roster[i], task) : caches[i].with_task(task).cost});
        std::stable_sort(candidates.begin(), candidates.end(), compare_cost);

        const std::size_t m = candidates.size();
        std::size_t crew_window = static_cast<std::size_t>(static_cast<double>(m) * alpha);
        if (crew_window < 1) crew_window = 1;
        const std::size_t crew_pick = static_cast<unsigned>(draw_random()) % crew_window;
        const Solucao chosen = take_at(candidates, crew_pick);
        const auto receiver = static_cast<std::size_t>(chosen.crew_index);
        roster[receiver].assign_task(task);
        if (!reference) caches[receiver].refresh(roster[receiver]);
        candidates.clear();

        if (tasks.size() % 10 == 0) std::cout << "." << std::flush;
    }
}

}  // namespace escala
