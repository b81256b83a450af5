// Tiny task files and their optimum roster, found by trying every assignment.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "crew/crew_util.hpp"
#include "crew/rules.hpp"

namespace escala::tiny {

inline int draw(std::mt19937_64& random, int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
}

// Shared start minutes, overlaps, slack, long gaps and tasks up to 900 minutes.
inline l_tarefas random_tasks(std::mt19937_64& random, std::size_t count) {
    l_tarefas tasks;
    for (std::size_t i = 0; i < count; ++i) {
        const int start = draw(random, 0, 14) * 45;
        const int length = draw(random, 0, 5) == 0 ? draw(random, 300, 900) : draw(random, 0, 200);
        tasks.emplace_back(draw(random, 1, 3), start, start + length, draw(random, 1, 3), draw(random, 1, 3),
                           draw(random, 0, 3) == 0 ? draw(random, 1, 40) : 0, 1, 1);
    }
    return tasks;
}

// Rules drawn inside the range where the priced cost bounds the crew cost
// (split workday <= workday <= excess_after and 1440 - min_rest, break gap
// <= split gap, virtual_short <= virtual_idle <= split gap + 1), every weight
// at random too.
inline Rules random_rules(std::mt19937_64& random) {
    Rules r;
    Limits& l = r.limits;
    l.workday = draw(random, 300, 600);
    l.split_workday = draw(random, 200, l.workday);
    l.excess_after = draw(random, l.workday, 800);
    l.min_rest = draw(random, 400, 1440 - l.workday);
    l.split_gap = draw(random, 30, 200);
    l.break_gap = draw(random, 0, l.split_gap);
    l.virtual_idle = draw(random, 0, std::min(60, l.split_gap + 1));
    l.virtual_short = draw(random, 0, l.virtual_idle);
    Pesos& w = r.weights;
    for (std::uint32_t Pesos::*weight : {&Pesos::p_duplas, &Pesos::h_extra, &Pesos::i_jornada, &Pesos::d_jornada,
                                         &Pesos::t_ocioso, &Pesos::t_sobreposicao, &Pesos::tp_proibida,
                                         &Pesos::tp_permitida, &Pesos::t_veiculo})
        w.*weight = static_cast<std::uint32_t>(draw(random, 0, 3) == 0 ? 0 : draw(random, 1, 6000));
    return r;
}

// The least objective over every assignment of the tasks to the members, and
// the members' task positions in the first assignment that reaches it.
struct Optimum {
    std::uint32_t value = UINT32_MAX;
    std::vector<std::vector<std::int32_t>> days;
};

inline Optimum optimum(const l_tarefas& tasks, std::size_t members, const Rules& rules = default_rules()) {
    std::vector<std::size_t> member(tasks.size(), 0);
    Optimum best;
    for (;;) {
        v_crew roster(members);
        std::vector<std::vector<std::int32_t>> days(members);
        for (std::size_t i = 0; i < tasks.size(); ++i) {
            roster[member[i]].assign_task(tasks[i], rules);
            days[member[i]].push_back(static_cast<std::int32_t>(i));
        }
        const std::uint32_t value = global_objective(roster, rules);
        if (value < best.value) best = {value, days};
        std::size_t i = 0;
        while (i < tasks.size() && ++member[i] == members) member[i++] = 0;
        if (i == tasks.size()) break;
    }
    return best;
}

}  // namespace escala::tiny
