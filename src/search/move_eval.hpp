// Fast exact costs of a schedule after one task is added or taken out.
//
// A schedule's cost depends on its real tasks only through a few sums over
// consecutive pairs (gaps, overlaps, changes), the longest gap with the
// number of point changes at it, its first start, its last end and its
// slack; the closing virtual task follows from those. MemberCache keeps, for
// every place where a task could be inserted, the aggregate of the pairs
// that an insertion there leaves untouched, and for every task the
// aggregate that its removal leaves. The cost with one task inserted or
// removed then takes a constant number of steps, without copying a
// schedule, sorting a list or touching the heap.
#pragma once

#include <cstdint>
#include <vector>

#include "crew/crew.hpp"
#include "crew/rules.hpp"

namespace escala {

// Aggregate over a run of consecutive pairs.
struct PairAggregate {
    std::int32_t longest_gap = 0;        // running maximum from 0
    std::int32_t permitted_changes = 0;  // point changes at pairs whose gap equals longest_gap
    std::uint32_t gap_time = 0;          // gaps of at least 1 minute
    std::uint32_t overlap_time = 0;      // minutes of overlap
    std::uint32_t vehicle_changes = 0;
    std::uint32_t point_changes = 0;     // forbidden point changes

    // Adds the pair (prev, next), given by the fields that a pair reads.
    void add_pair(std::int32_t prev_end, std::int32_t prev_end_point, std::int32_t prev_vehicle,
                  std::int32_t next_start, std::int32_t next_start_point, std::int32_t next_vehicle) {
        const std::int32_t gap = wrap_sub(next_start, prev_end);
        const bool point_change = next_start_point != prev_end_point;
        if (gap > longest_gap) {
            longest_gap = gap;
            permitted_changes = point_change ? 1 : 0;
        } else if (gap == longest_gap) {
            permitted_changes += point_change ? 1 : 0;
        }
        if (gap >= 1) gap_time += static_cast<std::uint32_t>(gap);
        if (next_start < prev_end)
            overlap_time += static_cast<std::uint32_t>(prev_end) - static_cast<std::uint32_t>(next_start);
        vehicle_changes += next_vehicle != prev_vehicle ? 1u : 0u;
        point_changes += point_change ? 1u : 0u;
    }
    void add_pair(const Task& prev, const Task& next) {
        add_pair(prev.end_time, prev.end_point, prev.vehicle, next.start_time, next.start_point, next.vehicle);
    }
    // Adds the pairs of another run.
    void add(const PairAggregate& other);
};

// A cost and the split-shift flag of a schedule.
struct ScheduleValue {
    std::uint32_t cost = 0;
    bool split_shift = false;
    // The schedule's share of the roster objective: cost plus the weighted flag.
    std::uint32_t objective_share(const Rules& rules) const {
        return cost + (split_shift ? rules.weights.p_duplas : 0u);
    }
};

// The value of a schedule of `count` real tasks, from its pair aggregate,
// its first start, the end of its last real task and its slack, closed by
// the virtual task that the rules give it.
inline ScheduleValue schedule_value(std::size_t count, const PairAggregate& pairs, std::int32_t first_start,
                                    std::int32_t last_end, std::uint32_t slack_sum, const Rules& rules) {
    const Limits& l = rules.limits;
    const std::int32_t longest = pairs.longest_gap;
    const bool split = longest > l.split_gap;  // a positive gap needs two real tasks
    const std::int32_t gaps = static_cast<std::int32_t>(pairs.gap_time);
    const std::int32_t slack = static_cast<std::int32_t>(slack_sum);
    std::int32_t work = 0;
    if (count > 0) {
        // The closing virtual task, decided on the real tasks alone.
        const std::int32_t idle = wrap_add(gaps, slack);
        std::int32_t end = last_end;
        if (split || longest >= l.break_gap) {
            if (idle < l.virtual_idle) end = wrap_add(last_end, wrap_sub(l.virtual_idle, idle));
        } else {
            end = wrap_add(last_end, idle >= l.virtual_short ? l.virtual_short : wrap_sub(l.virtual_idle, idle));
        }
        const std::int32_t span = wrap_sub(end, first_start);
        work = split ? wrap_sub(span, longest) : span;
    }
    const std::int32_t threshold = split ? l.split_workday : l.workday;
    const std::int32_t shortfall = work <= threshold ? wrap_sub(threshold, work) : 0;
    const std::int32_t idle_time = wrap_add(wrap_add(shortfall, gaps), slack);
    std::int32_t overtime = 0;
    if (work > l.split_workday) {
        if (!split) {
            overtime = work >= l.workday ? wrap_sub(work, l.workday) : 0;
        } else {
            overtime = wrap_sub(wrap_sub(work, longest), l.split_workday);
            if (overtime < 0) overtime = 0;
        }
    }
    std::int32_t excess = wrap_sub(work, l.excess_after);
    if (excess < 0) excess = 0;
    std::int32_t rest_shortfall = wrap_sub(l.min_rest, wrap_sub(day_minutes, work));
    if (rest_shortfall < 0) rest_shortfall = 0;

    const Pesos& w = rules.weights;
    std::uint32_t cost = static_cast<std::uint32_t>(idle_time) * w.t_ocioso;
    cost += static_cast<std::uint32_t>(overtime) * w.h_extra;
    cost += static_cast<std::uint32_t>(excess) * w.d_jornada;
    cost += pairs.overlap_time * w.t_sobreposicao;
    cost += pairs.point_changes * w.tp_proibida;
    cost += static_cast<std::uint32_t>(pairs.permitted_changes) * w.tp_permitida;
    cost += pairs.vehicle_changes * w.t_veiculo;
    cost += static_cast<std::uint32_t>(rest_shortfall) * w.i_jornada;
    return {cost, split};
}

// What an insertion between task p-1 and task p of a schedule leaves as it is.
struct Slot {
    PairAggregate untouched;       // the pairs before p-1 and after p
    std::int32_t first_start = 0;  // start of task 0 (when there is a left neighbour)
    std::int32_t last_end = 0;     // end of the last task (when there is a right neighbour)
    std::int32_t left_end = 0, left_end_point = 0, left_vehicle = 0;
    std::int32_t right_start = 0, right_start_point = 0, right_vehicle = 0;
    bool has_left = false, has_right = false;
};

// The cache of one schedule's real tasks.
class MemberCache {
public:
    // Rebuilds the cache from the schedule (real tasks in task order,
    // possibly closed by its virtual task), valued under `rules`, which must
    // outlive the cache.
    void refresh(const Crew& member, const Rules& rules);
    const Rules& rules() const { return *rules_; }

    std::size_t real_count() const { return tasks_.size(); }
    const Task& real_task(std::size_t k) const { return tasks_[k]; }
    const Task* real_tasks() const { return tasks_.data(); }

    // The schedule as it stands.
    ScheduleValue current() const { return current_; }
    // The slack of its real tasks.
    std::uint32_t slack() const { return slack_; }
    // Slot p: an insertion before real task p (p = real_count(): after the last).
    const Slot& slot(std::size_t p) const { return slots_[p]; }
    // Start times of the real tasks, in schedule order.
    const std::int32_t* starts() const { return starts_.data(); }

    // Where `task` would be placed: after every task that starts no later.
    std::size_t slot_of(const Task& task) const {
        std::size_t lo = 0, hi = starts_.size();
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (starts_[mid] <= task.start_time) lo = mid + 1;
            else hi = mid;
        }
        return lo;
    }
    // With `task` assigned at its slot.
    ScheduleValue with_task(const Task& task) const { return with_task_at(slot_of(task), task); }
    ScheduleValue with_task_at(std::size_t slot, const Task& task) const {
        const Slot& s = slots_[slot];
        PairAggregate pairs = s.untouched;
        std::int32_t first_start = task.start_time;
        std::int32_t last_end = task.end_time;
        if (s.has_left) {
            pairs.add_pair(s.left_end, s.left_end_point, s.left_vehicle, task.start_time, task.start_point,
                           task.vehicle);
            first_start = s.first_start;
        }
        if (s.has_right) {
            pairs.add_pair(task.end_time, task.end_point, task.vehicle, s.right_start, s.right_start_point,
                           s.right_vehicle);
            last_end = s.last_end;
        }
        return schedule_value(tasks_.size() + 1, pairs, first_start, last_end,
                              slack_ + static_cast<std::uint32_t>(task.slack), *rules_);
    }

    // With the real task at position k taken out.
    ScheduleValue without_task(std::size_t k) const;

private:
    std::vector<Task> tasks_;            // the real tasks, in schedule order
    std::vector<std::int32_t> starts_;   // their start times
    std::vector<PairAggregate> prefix_;  // prefix_[q]: pairs among tasks 0..q
    std::vector<PairAggregate> suffix_;  // suffix_[q]: pairs among tasks q..n-1
    std::vector<Slot> slots_;            // slots_[p]: insertion before task p
    std::uint32_t slack_ = 0;            // slack of the real tasks
    ScheduleValue current_;
    const Rules* rules_ = &default_rules();
};

}  // namespace escala
