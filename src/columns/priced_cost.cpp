// Why the priced cost never exceeds the crew cost, with the default weights,
// slack that is never negative and tasks that never end before they start.
//
// Take a day of real tasks t1..tk in schedule order (by start time) and
// A = 40 (G + s) + 5000 O + 9000 V + 10000 P, with G the positive gaps, s the
// slack, O the overlap minutes, V the vehicle changes and P the point
// changes between consecutive tasks. The closing virtual task starts where
// tk ends, on its vehicle and at its point, so it adds no gap, overlap or
// change; the crew cost's gap, slack, overlap, vehicle and point change
// terms are exactly A. Let span = end(tk) - start(t1) and v the virtual
// task's length (0 when there is none): v = 15 or 30 - (G + s) without a
// break and 30 - (G + s) or nothing with one, so 0 <= v <= 30 as G + s >= 0.
// The work time is w = span + v.
//
// Not split (every gap at most 120): idle = max(0, 430 - w) + G + s,
// overtime = max(0, w - 430) (nothing up to 400, nothing below 430), time
// beyond 550 = max(0, w - 550), rest shortfall = max(0, 660 - (1440 - w)) =
// max(0, w - 780), and the permitted point changes cost 300 each, at least 0.
// So the crew cost is at least A + f(span + v) for f(w) = 40 max(0, 430 - w)
// + 60 max(0, w - 430) + 5000 max(0, w - 550) + 5000 max(0, w - 780), and at
// least A + min over v in [0, 30] of f(span + v): plain_day_term. f is
// convex with its least value 0 at 430, so that minimum is f(min(span + 30,
// 430)) below 430 and f(span) from 430 on.
//
// Split (a gap g over 120, the longest): G + s >= 121, so no virtual task is
// added and the work time is span - g. idle = max(0, 400 - (span - g)) + G +
// s, and the overtime and permitted point changes are at least 0; the time
// beyond 550 and the rest shortfall are as above. The crew cost is at least
// A + psi(span - g), psi(w) = 40 max(0, 400 - w) + 5000 max(0, w - 550) +
// 5000 max(0, w - 780): split_day_term. Taking the least over every gap over
// 120 includes the longest one.
//
// The empty day costs 430 idle minutes, 17200.
#include "columns/priced_cost.hpp"

#include <algorithm>

#include "crew/pesos.hpp"

namespace escala::columns {

namespace {

std::int64_t positive(std::int64_t v) { return v > 0 ? v : 0; }

std::int64_t work_term(std::int64_t w) {
    return 40 * positive(430 - w) + 60 * positive(w - 430) + 5000 * positive(w - 550) + 5000 * positive(w - 780);
}

bool default_weights() {
    const Pesos d;
    return pesos.p_duplas == d.p_duplas && pesos.h_extra == d.h_extra && pesos.i_jornada == d.i_jornada &&
           pesos.d_jornada == d.d_jornada && pesos.t_ocioso == d.t_ocioso &&
           pesos.t_sobreposicao == d.t_sobreposicao && pesos.tp_proibida == d.tp_proibida &&
           pesos.tp_permitida == d.tp_permitida && pesos.t_veiculo == d.t_veiculo;
}

}  // namespace

std::int64_t plain_day_term(std::int64_t span) { return span < 430 ? work_term(std::min<std::int64_t>(span + 30, 430)) : work_term(span); }

std::int64_t plain_work_term(std::int64_t work) { return work_term(work); }

std::int64_t split_day_term(std::int64_t work) {
    return 40 * positive(400 - work) + 5000 * positive(work - 550) + 5000 * positive(work - 780);
}

std::int64_t link_cost(const Task& from, const Task& to) {
    const std::int64_t gap = std::int64_t{to.start_time} - from.end_time;
    return (gap > 0 ? 40 * gap : 5000 * -gap) + (from.vehicle != to.vehicle ? 9000 : 0) +
           (to.start_point != from.end_point ? 10000 : 0);
}

std::int64_t priced_cost(std::span<const Task> day) {
    if (day.empty()) return 17200;
    std::int64_t links = 0;
    bool split = false;
    for (std::size_t i = 0; i < day.size(); ++i) {
        links += 40 * std::int64_t{day[i].slack};
        if (i == 0) continue;
        links += link_cost(day[i - 1], day[i]);
        const std::int64_t gap = std::int64_t{day[i].start_time} - day[i - 1].end_time;
        if (gap > 120) split = true;
    }
    const std::int64_t span = std::int64_t{day.back().end_time} - day.front().start_time;
    if (!split) return links + plain_day_term(span);
    std::int64_t best = -1;
    for (std::size_t i = 1; i < day.size(); ++i) {
        const std::int64_t gap = std::int64_t{day[i].start_time} - day[i - 1].end_time;
        if (gap <= 120) continue;
        const std::int64_t term = split_day_term(span - gap);
        if (best < 0 || term < best) best = term;
    }
    return links + best;
}

std::string priced_cost_obstacle(const l_tarefas& tasks) {
    if (!default_weights()) return "the weights are not the defaults";
    for (const Task& t : tasks) {
        if (t.slack < 0) return "a task has a negative slack";
        if (t.end_time < t.start_time) return "a task ends before it starts";
        if (t.start_time < 0 || t.end_time > latest_minute) return "a task lies outside the first four days";
    }
    return {};
}

}  // namespace escala::columns
