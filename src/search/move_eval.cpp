#include "search/move_eval.hpp"

namespace escala {

void PairAggregate::add(const PairAggregate& other) {
    if (other.longest_gap > longest_gap) {
        longest_gap = other.longest_gap;
        permitted_changes = other.permitted_changes;
    } else if (other.longest_gap == longest_gap) {
        permitted_changes += other.permitted_changes;
    }
    gap_time += other.gap_time;
    overlap_time += other.overlap_time;
    vehicle_changes += other.vehicle_changes;
    point_changes += other.point_changes;
}

void MemberCache::refresh(const Crew& member, const Rules& rules) {
    rules_ = &rules;
    const std::size_t n = member.has_virtual_task() ? member.tasks.size() - 1 : member.tasks.size();
    tasks_.assign(member.tasks.begin(), member.tasks.begin() + static_cast<std::ptrdiff_t>(n));
    starts_.resize(n);
    prefix_.assign(n, PairAggregate{});
    suffix_.assign(n + 1, PairAggregate{});
    slots_.assign(n + 1, Slot{});
    slack_ = 0;
    for (std::size_t q = 0; q < n; ++q) {
        starts_[q] = tasks_[q].start_time;
        slack_ += static_cast<std::uint32_t>(tasks_[q].slack);
        if (q > 0) {
            prefix_[q] = prefix_[q - 1];
            prefix_[q].add_pair(tasks_[q - 1], tasks_[q]);
        }
    }
    for (std::size_t q = n; q-- > 1;) {
        suffix_[q - 1] = suffix_[q];
        suffix_[q - 1].add_pair(tasks_[q - 1], tasks_[q]);
    }
    for (std::size_t p = 0; p <= n; ++p) {
        Slot& s = slots_[p];
        if (p > 0) {
            const Task& left = tasks_[p - 1];
            s.untouched = prefix_[p - 1];
            s.has_left = true;
            s.first_start = tasks_.front().start_time;
            s.left_end = left.end_time;
            s.left_end_point = left.end_point;
            s.left_vehicle = left.vehicle;
        }
        if (p < n) {
            const Task& right = tasks_[p];
            s.untouched.add(suffix_[p]);
            s.has_right = true;
            s.last_end = tasks_.back().end_time;
            s.right_start = right.start_time;
            s.right_start_point = right.start_point;
            s.right_vehicle = right.vehicle;
        }
    }
    current_ = n == 0 ? schedule_value(0, {}, 0, 0, 0, rules)
                      : schedule_value(n, prefix_[n - 1], tasks_.front().start_time, tasks_.back().end_time, slack_,
                                       rules);
}

ScheduleValue MemberCache::without_task(std::size_t k) const {
    const std::size_t n = tasks_.size();
    if (n == 1) return schedule_value(0, {}, 0, 0, 0, *rules_);
    PairAggregate pairs;
    if (k > 0) pairs = prefix_[k - 1];
    if (k + 1 < n) pairs.add(suffix_[k + 1]);
    if (k > 0 && k + 1 < n) pairs.add_pair(tasks_[k - 1], tasks_[k + 1]);
    const std::int32_t first_start = k == 0 ? tasks_[1].start_time : tasks_.front().start_time;
    const std::int32_t last_end = k == n - 1 ? tasks_[n - 2].end_time : tasks_.back().end_time;
    return schedule_value(n - 1, pairs, first_start, last_end, slack_ - static_cast<std::uint32_t>(tasks_[k].slack),
                          *rules_);
}

}  // namespace escala
