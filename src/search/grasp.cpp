#include "search/grasp.hpp"

#include <algorithm>
#include <iostream>

#include "search/move_eval.hpp"
#include "search/random.hpp"
#include "search/trial_cost.hpp"

namespace escala {

void grasp(l_tarefas& tasks, v_crew& roster, double crew_percent, double task_percent, const Rules& rules,
           std::optional<unsigned> seed, bool reference, std::ostream& dots) {
    const double alpha = crew_percent * 0.01;
    const double beta = task_percent * 0.01;
    std::stable_sort(tasks.begin(), tasks.end(), compare_duration);
    seed_random(seed ? *seed : clock_seed());
    if (roster.empty()) return;  // nobody to give a task to

    // Each member's trial costs come from its cache, rebuilt only when the
    // member receives a task.
    std::vector<MemberCache> caches(reference ? 0 : roster.size());
    for (std::size_t i = 0; i < caches.size(); ++i) caches[i].refresh(roster[i], rules);

    l_solucao candidates;
    candidates.reserve(roster.size());
    while (!tasks.empty()) {
        const std::size_t n = tasks.size();
        std::size_t task_window = static_cast<std::size_t>(static_cast<double>(n) * beta);
        if (task_window < 1) task_window = 1;
        if (task_window > n) task_window = n;  // a percentage over 100 never reaches past the list
        const std::size_t task_pick = static_cast<unsigned>(draw_random()) % task_window;
        const Task task = take_at(tasks, task_pick);
        if (task.is_virtual != 0) roster.front().assign_task(task, rules);  // stops with the fatal message

        const std::size_t m = roster.size();
        std::size_t crew_window = static_cast<std::size_t>(static_cast<double>(m) * alpha);
        if (crew_window < 1) crew_window = 1;
        if (crew_window > m) crew_window = m;
        if (reference) {
            for (std::size_t i = 0; i < m; ++i)
                candidates.push_back({static_cast<std::int32_t>(i), cost_with_task(roster[i], task, rules)});
            std::stable_sort(candidates.begin(), candidates.end(), compare_cost);
        } else {
            // Every empty member costs the same with the task.
            std::optional<std::uint32_t> empty_cost;
            for (std::size_t i = 0; i < m; ++i) {
                std::uint32_t cost = 0;
                if (caches[i].real_count() == 0) {
                    if (!empty_cost) empty_cost = caches[i].with_task(task).cost;
                    cost = *empty_cost;
                } else {
                    cost = caches[i].with_task(task).cost;
                }
                candidates.push_back({static_cast<std::int32_t>(i), cost});
            }
            // Only the window's places of the stable order are ever taken:
            // order them by cost, then by index, as the stable sort would.
            std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(crew_window),
                              candidates.end(), [](const Solucao& a, const Solucao& b) {
                                  return a.trial_cost != b.trial_cost ? a.trial_cost < b.trial_cost
                                                                      : a.crew_index < b.crew_index;
                              });
        }
        const std::size_t crew_pick = static_cast<unsigned>(draw_random()) % crew_window;
        const Solucao chosen = take_at(candidates, crew_pick);
        const auto receiver = static_cast<std::size_t>(chosen.crew_index);
        roster[receiver].assign_task(task, rules);
        if (!reference) caches[receiver].refresh(roster[receiver], rules);
        candidates.clear();

        if (tasks.size() % 10 == 0) dots << "." << std::flush;
    }
}

}  // namespace escala
