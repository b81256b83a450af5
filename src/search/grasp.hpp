// The randomised greedy construction of the first roster.
#pragma once

#include <iostream>
#include <optional>

#include "core/task.hpp"
#include "crew/crew.hpp"

namespace escala {

// Removes the element at 0-based position k and returns it.
template <typename List>
typename List::value_type take_at(List& list, std::size_t k) {
    typename List::value_type taken = list[k];
    list.erase(list.begin() + static_cast<typename List::difference_type>(k));
    return taken;
}

// Empties `tasks` into the roster: each task is drawn among the task window
// of longest remaining tasks and given to a member drawn among the crew
// window of cheapest trial insertions. Seeds the generator once, with the
// clock unless a seed is given. Writes a progress dot to `dots` every tenth
// task left. `reference` costs every trial the straightforward way (for
// comparisons).
void grasp(l_tarefas& tasks, v_crew& roster, double crew_percent, double task_percent, const Rules& rules,
           std::optional<unsigned> seed = std::nullopt, bool reference = false, std::ostream& dots = std::cout);

}  // namespace escala
