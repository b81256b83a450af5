// Why the priced cost never exceeds the crew cost, under rules in the range
// that rules_obstacle accepts, with slack that is never negative and tasks
// that never end before they start. Weights are never negative. Write W for
// the workday, S for the split workday, E for excess_after, R for the day
// less min_rest (1440 - min_rest), L for split_gap, B for break_gap, I for
// virtual_idle and Q for virtual_short; the range asks S <= W <= E,
// W <= R, B <= L, Q <= I and I <= L + 1.
//
// Take a day of real tasks t1..tk in schedule order (by start time) and
// A = t_ocioso (G + s) + t_sobreposicao O + t_veiculo V + tp_proibida P, with
// G the positive gaps, s the slack, O the overlap minutes, V the vehicle
// changes and P the point changes between consecutive tasks. The closing
// virtual task starts where tk ends, on its vehicle and at its point, so it
// adds no gap, overlap or change; the crew cost's gap, slack, overlap,
// vehicle and point change terms are exactly A. Let span = end(tk) -
// start(t1) and v the virtual task's length (0 when there is none): v = Q
// when G + s >= Q and I - (G + s) below it without a break, I - (G + s) or
// nothing with one; so 0 <= v <= M = I, as G + s >= 0 and Q <= I (with Q
// over I a day without a break could close with a task of negative length).
// The work time is w = span + v.
//
// Not split (every gap at most L): idle = max(0, W - w) + G + s, overtime =
// max(0, w - W) (nothing up to S, nothing below W), time beyond E =
// max(0, w - E), rest shortfall = max(0, min_rest - (1440 - w)) =
// max(0, w - R), and the permitted point changes cost tp_permitida each, at
// least 0. So the crew cost is at least A + f(span + v) for f(w) = t_ocioso
// max(0, W - w) + h_extra max(0, w - W) + d_jornada max(0, w - E) +
// i_jornada max(0, w - R), and at least A + min over v in [0, M] of
// f(span + v): plain_day_term. f is convex and, as W <= E and W <= R, it
// never increases below W and never decreases from W on, with its least
// value 0 at W; so that minimum is f(min(span + M, W)) below W and f(span)
// from W on.
//
// Split (a gap g over L, the longest): G + s >= L + 1 >= I, so no virtual
// task is added and the work time is span - g. idle = max(0, S - (span -
// g)) + G + s, and the overtime and permitted point changes are at least 0;
// the time beyond E and the rest shortfall are as above. The crew cost is at
// least A + psi(span - g), psi(w) = t_ocioso max(0, S - w) + d_jornada
// max(0, w - E) + i_jornada max(0, w - R): split_day_term. Taking the least
// over every gap over L includes the longest one.
//
// The empty day costs W idle minutes, t_ocioso W.
//
// The pricing reads these terms under the rules it is given; only its
// pricing of plain days at their crew cost (days for a roster, no bound)
// is built on escala's own numbers.
#include "columns/priced_cost.hpp"

#include <algorithm>

namespace escala::columns {

namespace {

std::int64_t positive(std::int64_t v) { return v > 0 ? v : 0; }

std::int64_t rested_work(const Limits& l) { return std::int64_t{day_minutes} - l.min_rest; }

std::int64_t longest_virtual(const Limits& l) { return std::max(l.virtual_idle, l.virtual_short); }

std::int64_t work_term(std::int64_t w, const Rules& rules) {
    const Pesos& p = rules.weights;
    const Limits& l = rules.limits;
    return std::int64_t{p.t_ocioso} * positive(l.workday - w) + std::int64_t{p.h_extra} * positive(w - l.workday) +
           std::int64_t{p.d_jornada} * positive(w - l.excess_after) +
           std::int64_t{p.i_jornada} * positive(w - rested_work(l));
}

}  // namespace

std::int64_t plain_day_term(std::int64_t span, const Rules& rules) {
    const std::int64_t workday = rules.limits.workday;
    return span < workday ? work_term(std::min(span + longest_virtual(rules.limits), workday), rules)
                          : work_term(span, rules);
}

std::int64_t plain_work_term(std::int64_t work, const Rules& rules) { return work_term(work, rules); }

std::int64_t split_day_term(std::int64_t work, const Rules& rules) {
    const Pesos& p = rules.weights;
    const Limits& l = rules.limits;
    return std::int64_t{p.t_ocioso} * positive(l.split_workday - work) +
           std::int64_t{p.d_jornada} * positive(work - l.excess_after) +
           std::int64_t{p.i_jornada} * positive(work - rested_work(l));
}

std::int64_t link_cost(const Task& from, const Task& to, const Rules& rules) {
    const Pesos& p = rules.weights;
    const std::int64_t gap = std::int64_t{to.start_time} - from.end_time;
    return (gap > 0 ? p.t_ocioso * gap : p.t_sobreposicao * -gap) + (from.vehicle != to.vehicle ? p.t_veiculo : 0) +
           (to.start_point != from.end_point ? p.tp_proibida : 0);
}

std::int64_t priced_cost(std::span<const Task> day, const Rules& rules) {
    const std::int64_t split_gap = rules.limits.split_gap;
    if (day.empty()) return std::int64_t{rules.weights.t_ocioso} * rules.limits.workday;
    std::int64_t links = 0;
    bool split = false;
    for (std::size_t i = 0; i < day.size(); ++i) {
        links += std::int64_t{rules.weights.t_ocioso} * day[i].slack;
        if (i == 0) continue;
        links += link_cost(day[i - 1], day[i], rules);
        const std::int64_t gap = std::int64_t{day[i].start_time} - day[i - 1].end_time;
        if (gap > split_gap) split = true;
    }
    const std::int64_t span = std::int64_t{day.back().end_time} - day.front().start_time;
    if (!split) return links + plain_day_term(span, rules);
    std::int64_t best = -1;
    for (std::size_t i = 1; i < day.size(); ++i) {
        const std::int64_t gap = std::int64_t{day[i].start_time} - day[i - 1].end_time;
        if (gap <= split_gap) continue;
        const std::int64_t term = split_day_term(span - gap, rules);
        if (best < 0 || term < best) best = term;
    }
    return links + best;
}

std::string rules_obstacle(const Rules& rules) {
    const Limits& l = rules.limits;
    if (l.split_workday > l.workday) return "the split workday is longer than the workday";
    if (l.workday > l.excess_after) return "the workday is longer than excess_after";
    if (l.workday > rested_work(l)) return "the workday and min_rest exceed the day";
    if (l.break_gap > l.split_gap) return "the break gap is longer than the split gap";
    if (l.virtual_short > l.virtual_idle) return "virtual_short is longer than virtual_idle";
    if (l.virtual_idle > l.split_gap + 1) return "virtual_idle exceeds the split gap";
    return {};
}

std::string priced_cost_obstacle(const l_tarefas& tasks, const Rules& rules) {
    if (std::string obstacle = rules_obstacle(rules); !obstacle.empty()) return obstacle;
    for (const Task& t : tasks) {
        if (t.slack < 0) return "a task has a negative slack";
        if (t.end_time < t.start_time) return "a task ends before it starts";
        if (t.start_time < 0 || t.end_time > latest_minute) return "a task lies outside the first four days";
    }
    return {};
}

}  // namespace escala::columns
