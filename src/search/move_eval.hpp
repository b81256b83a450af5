// Fast exact costs of a schedule after one task is added or taken out.
//
// A schedule's cost depends on its real tasks only through a few sums over
// consecutive pairs (gaps, overlaps, changes), the longest gap with the
// number of point changes at it, its first start, its last end and its
// slack; the closing virtual task follows from those. MemberCache keeps
// these per pair as prefix and suffix aggregates, so that the cost with one
// task inserted or removed takes a constant number of steps, without
// copying a schedule, sorting a list or touching the heap.
#pragma once

#include <cstdint>
#include <vector>

#include "crew/crew.hpp"

namespace escala {

// Aggregate over a run of consecutive pairs.
struct PairAggregate {
    std::int32_t longest_gap = 0;         // running maximum from 0
    std::int32_t permitted_changes = 0;   // point changes at pairs whose gap equals longest_gap
    std::uint32_t gap_time = 0;           // gaps of at least 1 minute
    std::uint32_t overlap_time = 0;       // minutes of overlap
    std::uint32_t vehicle_changes = 0;
    std::uint32_t point_changes = 0;      // forbidden point changes
};

// A cost and the split-shift flag of a schedule.
struct ScheduleValue {
    std::uint32_t cost = 0;
    bool split_shift = false;
};

// The cache of one schedule's real tasks.
class MemberCache {
public:
    // Rebuilds the cache from the schedule (real tasks in task order,
    // possibly closed by its virtual task).
    void refresh(const Crew& member);

    std::size_t real_count() const { return tasks_.size(); }
    const Task& real_task(std::size_t k) const { return tasks_[k]; }

    // The schedule as it stands.
    ScheduleValue current() const { return current_; }
    // With `task` assigned (placed after the tasks that start no later).
    ScheduleValue with_task(const Task& task) const;
    // With the real task at position k taken out.
    ScheduleValue without_task(std::size_t k) const;

private:
    std::vector<Task> tasks_;             // the real tasks, in schedule order
    std::vector<std::int32_t> starts_;    // their start times
    std::vector<PairAggregate> prefix_;   // prefix_[q]: pairs among tasks 0..q
    std::vector<PairAggregate> suffix_;   // suffix_[q]: pairs among tasks q..n-1
    std::uint32_t slack_ = 0;             // slack of the real tasks
    ScheduleValue current_;
};

}  // namespace escala
