#include "crew/crew.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>

#include "crew/pesos.hpp"

namespace escala {

namespace {

std::int32_t gap_between(const Task& prev, const Task& next) { return wrap_sub(next.start_time, prev.end_time); }

std::int32_t at_least_zero(std::int32_t v) { return v > 0 ? v : 0; }

}  // namespace

// ---- schedule operations ----

void Crew::assign_task(const Task& task) {
    if (task.is_virtual != 0) {
        std::cout << "ERRO FATAL, TENTATIVA DE ATRIBUIR TAREFA VIRTUAL!!\n";
        std::cout.flush();
        std::fflush(stdout);
        std::_Exit(1);
    }
    if (has_virtual_task()) tasks.pop_back();
    tasks.push_back(task);
    sort_by_start(tasks);
    add_virtual_task();
}

void Crew::sort_tasks() {
    // The closing virtual task stays at the back whatever its start time.
    auto end = has_virtual_task() ? tasks.end() - 1 : tasks.end();
    std::stable_sort(tasks.begin(), end);
}

void Crew::remove_task(const Task& task) {
    if (tasks.empty()) return;
    if (has_virtual_task()) tasks.pop_back();
    auto found = std::find(tasks.begin(), tasks.end(), task);
    if (found != tasks.end()) tasks.erase(found);
    if (tasks.empty()) return;
    sort_by_start(tasks);
    add_virtual_task();
}

Task Crew::remove_task_at(std::int32_t position) {
    if (has_virtual_task()) tasks.pop_back();
    if (position < 0 || static_cast<std::size_t>(position) >= tasks.size()) {
        if (!tasks.empty()) add_virtual_task();
        throw std::out_of_range("remove_task_at: no task at this position");
    }
    const Task removed = tasks[static_cast<std::size_t>(position)];
    tasks.erase(tasks.begin() + position);
    if (!tasks.empty()) add_virtual_task();
    return removed;
}

bool Crew::has_virtual_task() const { return !tasks.empty() && tasks.back().is_virtual == 1; }

void Crew::add_virtual_task() {
    std::int32_t length = 0;
    if (has_break()) {
        const std::int32_t t = wrap_add(gap_time(), slack_time());
        if (t >= 30) return;
        length = wrap_sub(30, t);
    } else {
        length = virtual_length();
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

bool Crew::is_split_shift() const { return tasks.size() > 1 && longest_gap() > 120; }

bool Crew::has_break() const { return is_split_shift() || longest_gap() >= 15; }

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

std::int32_t Crew::virtual_length() const {
    const std::int32_t t = wrap_add(gap_time(), slack_time());
    return t >= 15 ? 15 : wrap_sub(30, t);
}

// ---- cost measures ----

std::int32_t Crew::work_time() const {
    if (tasks.empty()) return 0;
    const std::int32_t span = wrap_sub(tasks.back().end_time, tasks.front().start_time);
    const std::int32_t longest = longest_gap();
    return longest > 120 ? wrap_sub(span, longest) : span;
}

std::int32_t Crew::rest_time() const { return wrap_sub(1440, work_time()); }

std::int32_t Crew::idle_time() const {
    const std::int32_t work = work_time();
    const std::int32_t threshold = is_split_shift() ? 400 : 430;
    const std::int32_t shortfall = work <= threshold ? wrap_sub(threshold, work) : 0;
    return wrap_add(wrap_add(shortfall, gap_time()), slack_time());
}

std::int32_t Crew::overtime() const {
    const std::int32_t work = work_time();
    if (work <= 400) return 0;
    if (!is_split_shift()) return work >= 430 ? wrap_sub(work, 430) : 0;
    return at_least_zero(wrap_sub(wrap_sub(work, longest_gap()), 400));
}

std::int32_t Crew::excess_time() const { return at_least_zero(wrap_sub(work_time(), 550)); }

std::int32_t Crew::rest_shortfall() const { return at_least_zero(wrap_sub(660, rest_time())); }

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

std::uint32_t Crew::cost() {
    sort_tasks();
    auto term = [](std::int32_t measure, std::uint32_t weight) {
        return static_cast<std::uint32_t>(measure) * weight;
    };
    std::uint32_t total = 0;
    total += term(idle_time(), pesos.t_ocioso);
    total += term(overtime(), pesos.h_extra);
    total += term(excess_time(), pesos.d_jornada);
    total += term(overlap_time(), pesos.t_sobreposicao);
    total += term(forbidden_point_changes(), pesos.tp_proibida);
    total += term(permitted_point_changes(), pesos.tp_permitida);
    total += term(vehicle_changes(), pesos.t_veiculo);
    total += term(rest_shortfall(), pesos.i_jornada);
    return total;
}

}  // namespace escala
