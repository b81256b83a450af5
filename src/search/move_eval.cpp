#include "search/move_eval.hpp"

#include "crew/pesos.hpp"

namespace escala {

namespace {

PairAggregate pair_of(const Task& prev, const Task& next) {
    PairAggregate a;
    const std::int32_t gap = wrap_sub(next.start_time, prev.end_time);
    const bool point_change = next.start_point != prev.end_point;
    if (gap >= 0) {
        a.longest_gap = gap;
        a.permitted_changes = point_change ? 1 : 0;
    }
    if (gap >= 1) a.gap_time = static_cast<std::uint32_t>(gap);
    if (next.start_time < prev.end_time)
        a.overlap_time = static_cast<std::uint32_t>(prev.end_time) - static_cast<std::uint32_t>(next.start_time);
    a.vehicle_changes = next.vehicle != prev.vehicle ? 1u : 0u;
    a.point_changes = point_change ? 1u : 0u;
    return a;
}

PairAggregate combine(const PairAggregate& a, const PairAggregate& b) {
    PairAggregate c;
    if (a.longest_gap > b.longest_gap) {
        c.longest_gap = a.longest_gap;
        c.permitted_changes = a.permitted_changes;
    } else if (b.longest_gap > a.longest_gap) {
        c.longest_gap = b.longest_gap;
        c.permitted_changes = b.permitted_changes;
    } else {
        c.longest_gap = a.longest_gap;
        c.permitted_changes = a.permitted_changes + b.permitted_changes;
    }
    c.gap_time = a.gap_time + b.gap_time;
    c.overlap_time = a.overlap_time + b.overlap_time;
    c.vehicle_changes = a.vehicle_changes + b.vehicle_changes;
    c.point_changes = a.point_changes + b.point_changes;
    return c;
}

std::int32_t at_least_zero(std::int32_t v) { return v > 0 ? v : 0; }

// The value of a schedule of `count` real tasks, from its pair aggregate,
// its first start, the end of its last real task and its slack, with the
// closing virtual task that the schedule rules give it.
ScheduleValue value_of(std::size_t count, const PairAggregate& pairs, std::int32_t first_start,
                       std::int32_t last_end, std::uint32_t slack_sum) {
    std::int32_t work = 0;
    const std::int32_t longest = pairs.longest_gap;
    const bool split = longest > 120;  // a positive gap needs two real tasks
    const std::int32_t gaps = static_cast<std::int32_t>(pairs.gap_time);
    const std::int32_t slack = static_cast<std::int32_t>(slack_sum);
    if (count > 0) {
        // The closing virtual task, decided on the real tasks alone.
        const std::int32_t idle = wrap_add(gaps, slack);
        std::int32_t length = 0;
        bool closed = true;
        if (split || longest >= 15) {
            if (idle >= 30) closed = false;
            else length = wrap_sub(30, idle);
        } else {
            length = idle >= 15 ? 15 : wrap_sub(30, idle);
        }
        const std::int32_t end = closed ? wrap_add(last_end, length) : last_end;
        const std::int32_t span = wrap_sub(end, first_start);
        work = split ? wrap_sub(span, longest) : span;
    }
    const std::int32_t threshold = split ? 400 : 430;
    const std::int32_t shortfall = work <= threshold ? wrap_sub(threshold, work) : 0;
    const std::int32_t idle_time = wrap_add(wrap_add(shortfall, gaps), slack);
    std::int32_t overtime = 0;
    if (work > 400) {
        if (!split) overtime = work >= 430 ? wrap_sub(work, 430) : 0;
        else overtime = at_least_zero(wrap_sub(wrap_sub(work, longest), 400));
    }
    const std::int32_t excess = at_least_zero(wrap_sub(work, 550));
    const std::int32_t rest_shortfall = at_least_zero(wrap_sub(660, wrap_sub(1440, work)));

    auto u = [](std::int32_t v) { return static_cast<std::uint32_t>(v); };
    std::uint32_t cost = u(idle_time) * pesos.t_ocioso;
    cost += u(overtime) * pesos.h_extra;
    cost += u(excess) * pesos.d_jornada;
    cost += pairs.overlap_time * pesos.t_sobreposicao;
    cost += pairs.point_changes * pesos.tp_proibida;
    cost += u(pairs.permitted_changes) * pesos.tp_permitida;
    cost += pairs.vehicle_changes * pesos.t_veiculo;
    cost += u(rest_shortfall) * pesos.i_jornada;
    return {cost, split};
}

}  // namespace

void MemberCache::refresh(const Crew& member) {
    const std::size_t total = member.tasks.size();
    const std::size_t n = member.has_virtual_task() ? total - 1 : total;
    tasks_.assign(member.tasks.begin(), member.tasks.begin() + static_cast<std::ptrdiff_t>(n));
    starts_.resize(n);
    prefix_.assign(n, PairAggregate{});
    suffix_.assign(n + 1, PairAggregate{});
    slack_ = 0;
    for (std::size_t q = 0; q < n; ++q) {
        starts_[q] = tasks_[q].start_time;
        slack_ += static_cast<std::uint32_t>(tasks_[q].slack);
        if (q > 0) prefix_[q] = combine(prefix_[q - 1], pair_of(tasks_[q - 1], tasks_[q]));
    }
    for (std::size_t q = n; q-- > 1;) suffix_[q - 1] = combine(pair_of(tasks_[q - 1], tasks_[q]), suffix_[q]);
    current_ = n == 0 ? value_of(0, {}, 0, 0, 0)
                      : value_of(n, prefix_[n - 1], tasks_.front().start_time, tasks_.back().end_time, slack_);
}

ScheduleValue MemberCache::with_task(const Task& task) const {
    const std::size_t n = tasks_.size();
    // The new task goes after every task that starts no later than it.
    std::size_t p = 0;
    while (p < n && starts_[p] <= task.start_time) ++p;
    PairAggregate pairs;
    if (p > 0) pairs = combine(prefix_[p - 1], pair_of(tasks_[p - 1], task));
    if (p < n) pairs = combine(pairs, combine(pair_of(task, tasks_[p]), suffix_[p]));
    const std::int32_t first_start = p == 0 ? task.start_time : tasks_.front().start_time;
    const std::int32_t last_end = p == n ? task.end_time : tasks_.back().end_time;
    return value_of(n + 1, pairs, first_start, last_end, slack_ + static_cast<std::uint32_t>(task.slack));
}

ScheduleValue MemberCache::without_task(std::size_t k) const {
    const std::size_t n = tasks_.size();
    if (n == 1) return value_of(0, {}, 0, 0, 0);
    PairAggregate pairs;
    if (k > 0) pairs = prefix_[k - 1];
    if (k + 1 < n) pairs = combine(pairs, suffix_[k + 1]);
    if (k > 0 && k + 1 < n) pairs = combine(pairs, pair_of(tasks_[k - 1], tasks_[k + 1]));
    const std::int32_t first_start = k == 0 ? tasks_[1].start_time : tasks_.front().start_time;
    const std::int32_t last_end = k == n - 1 ? tasks_[n - 2].end_time : tasks_.back().end_time;
    return value_of(n - 1, pairs, first_start, last_end, slack_ - static_cast<std::uint32_t>(tasks_[k].slack));
}

}  // namespace escala
