#include "crew/crew.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>


namespace escala {

namespace {

std::int32_t gap_between(const Task& prev, const Task& next) { return wrap_sub(next.start_time, prev.end_time); }

std::int32_t at_least_zero(std::int32_t v) { return v > 0 ? v : 0; }

}  // namespace

// ---- schedule operations ----

void Crew::assign_task(const Task& task, const Rules& rules) {
    if (task.is_virtual != 0) {
        std::cout << "ERRO FATAL, TENTATIVA DE ATRIBUIR TAREFA VIRTUAL!!\n";
        std::cout.flush();
        std::fflush(stdout);
        std::_Exit(1);
    }
    if (has_virtual_task()) tasks.pop_back();
    tasks.push_back(task);
    sort_by_start(tasks);
    add_virtual_task(rules);
}

void Crew::sort_tasks() {
    // The closing virtual task stays at the back whatever its start time.
    auto end = has_virtual_task() ? tasks.end() - 1 : tasks.end();
    std::stable_sort(tasks.begin(), end);
}

void Crew::remove_task(const Task& task, const Rules& rules) {
    if (tasks.empty()) return;
    if (has_virtual_task()) tasks.pop_back();
    auto found = std::find(tasks.begin(), tasks.end(), task);
    if (found != tasks.end()) tasks.erase(found);
    if (tasks.empty()) return;
    sort_by_start(tasks);
    add_virtual_task(rules);
}

Task Crew::remove_task_at(std::int32_t position, const Rules& rules) {
    if (has_virtual_task()) tasks.pop_back();
    if (position < 0 || static_cast<std::size_t>(position) >= tasks.size()) {
        if (!tasks.empty()) add_virtual_task(rules);
        throw std::out_of_range("remove_task_at: no task at this position");
    }
    const Task removed = tasks[static_cast<std::size_t>(position)];
    tasks.erase(tasks.begin() + position);
    if (!tasks.empty()) add_virtual_task(rules);
    return removed;
}

bool Crew::has_virtual_task() const { return !tasks.empty() && tasks.back().is_virtual == 1; }

void Crew::add_virtual_task(const Rules& rules) {
    std::int32_t length = 0;
    if (has_break(rules)) {
        const std::int32_t t = wrap_add(gap_time(), slack_time());
        if (t >= rules.limits.virtual_idle) return;
        length = wrap_sub(rules.limits.virtual_idle, t);
    } else {
        length = virtual_length(rules);
    }
    const Task& last = tasks.back();
    tasks.emplace_back(last.vehicle, last.end_time, wrap_add(last.end_time, length), last.end_point,
                       last.end_point, 0, last.end_line, last.end_line, 1);
}

// ---- schedule measures ----

std::int32_t Crew::longest_gap() const {
    std::int32_t longest = 0;
    for (std::size_t i = 1; i < tasks.size(); ++i) {
        const std::int32_t gap = gap_between(tasks[i - 1], tasks[i]);
        if (gap > longest) longest = gap;
    }
    return longest;
}

bool Crew::is_split_shift(const Rules& rules) const {
    return tasks.size() > 1 && longest_gap() > rules.limits.split_gap;
}

bool Crew::has_break(const Rules& rules) const {
    return is_split_shift(rules) || longest_gap() >= rules.limits.break_gap;
}

std::int32_t Crew::gap_time() const {
    std::int32_t total = 0;
    for (std::size_t i = 1; i < tasks.size(); ++i) {
        const std::int32_t gap = gap_between(tasks[i - 1], tasks[i]);
        if (gap >= 1) total = wrap_add(total, gap);
    }
    return total;
}

std::int32_t Crew::slack_time() const {
    std::int32_t total = 0;
    for (const Task& t : tasks) total = wrap_add(total, t.slack);
    return total;
}

std::int32_t Crew::virtual_length(const Rules& rules) const {
    const std::int32_t t = wrap_add(gap_time(), slack_time());
    const Limits& l = rules.limits;
    return t >= l.virtual_short ? l.virtual_short : wrap_sub(l.virtual_idle, t);
}

// ---- cost measures ----

std::int32_t Crew::work_time(const Rules& rules) const {
    if (tasks.empty()) return 0;
    const std::int32_t span = wrap_sub(tasks.back().end_time, tasks.front().start_time);
    const std::int32_t longest = longest_gap();
    return longest > rules.limits.split_gap ? wrap_sub(span, longest) : span;
}

std::int32_t Crew::rest_time(const Rules& rules) const { return wrap_sub(day_minutes, work_time(rules)); }

std::int32_t Crew::idle_time(const Rules& rules) const {
    const std::int32_t work = work_time(rules);
    const std::int32_t threshold = is_split_shift(rules) ? rules.limits.split_workday : rules.limits.workday;
    const std::int32_t shortfall = work <= threshold ? wrap_sub(threshold, work) : 0;
    return wrap_add(wrap_add(shortfall, gap_time()), slack_time());
}

std::int32_t Crew::overtime(const Rules& rules) const {
    const Limits& l = rules.limits;
    const std::int32_t work = work_time(rules);
    if (work <= l.split_workday) return 0;
    if (!is_split_shift(rules)) return work >= l.workday ? wrap_sub(work, l.workday) : 0;
    return at_least_zero(wrap_sub(wrap_sub(work, longest_gap()), l.split_workday));
}

std::int32_t Crew::excess_time(const Rules& rules) const {
    return at_least_zero(wrap_sub(work_time(rules), rules.limits.excess_after));
}

std::int32_t Crew::rest_shortfall(const Rules& rules) const {
    return at_least_zero(wrap_sub(rules.limits.min_rest, rest_time(rules)));
}

std::int32_t Crew::overlap_time() const {
    std::int32_t total = 0;
    for (std::size_t i = 1; i < tasks.size(); ++i)
        if (tasks[i].start_time < tasks[i - 1].end_time)
            total = wrap_add(total, wrap_sub(tasks[i - 1].end_time, tasks[i].start_time));
    return total;
}

std::int32_t Crew::vehicle_changes() const {
    std::int32_t count = 0;
    for (std::size_t i = 1; i < tasks.size(); ++i)
        if (tasks[i].vehicle != tasks[i - 1].vehicle) ++count;
    return count;
}

std::int32_t Crew::forbidden_point_changes() const {
    std::int32_t count = 0;
    for (std::size_t i = 1; i < tasks.size(); ++i)
        if (tasks[i].start_point != tasks[i - 1].end_point) ++count;
    return count;
}

std::int32_t Crew::permitted_point_changes() const {
    const std::int32_t longest = longest_gap();
    std::int32_t count = 0;
    for (std::size_t i = 1; i < tasks.size(); ++i)
        if (gap_between(tasks[i - 1], tasks[i]) == longest && tasks[i].start_point != tasks[i - 1].end_point)
            ++count;
    return count;
}

std::uint32_t Crew::cost(const Rules& rules) {
    sort_tasks();
    const Pesos& pesos = rules.weights;
    auto term = [](std::int32_t measure, std::uint32_t weight) {
        return static_cast<std::uint32_t>(measure) * weight;
    };
    std::uint32_t total = 0;
    total += term(idle_time(rules), pesos.t_ocioso);
    total += term(overtime(rules), pesos.h_extra);
    total += term(excess_time(rules), pesos.d_jornada);
    total += term(overlap_time(), pesos.t_sobreposicao);
    total += term(forbidden_point_changes(), pesos.tp_proibida);
    total += term(permitted_point_changes(), pesos.tp_permitida);
    total += term(vehicle_changes(), pesos.t_veiculo);
    total += term(rest_shortfall(rules), pesos.i_jornada);
    return total;
}

}  // namespace escala
