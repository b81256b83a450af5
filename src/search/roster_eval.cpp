#include "search/roster_eval.hpp"

#include <algorithm>
#include <stdexcept>

namespace escala {

void RosterEvaluator::forget(std::size_t m) {
    row_ready_[m] = 0;
    // The member's pairs, as giver and as receiver.
    auto clear = [&](std::size_t pair) { current_[pair / 64] &= ~(std::uint64_t{1} << (pair % 64)); };
    for (std::size_t other = 0; other < size_; ++other) {
        clear(m * size_ + other);
        clear(other * size_ + m);
    }
}

std::uint32_t RosterEvaluator::position_of(const Task& task) const {
    const std::int32_t* starts = tasks_.start.data();
    std::size_t u = static_cast<std::size_t>(std::lower_bound(starts, starts + task_count_, task.start_time) - starts);
    // Tasks with equal fields have equal entries in every row: any of them will do.
    for (; u < task_count_ && starts[u] == task.start_time; ++u)
        if (tasks_.end[u] == task.end_time && tasks_.start_point[u] == task.start_point &&
            tasks_.end_point[u] == task.end_point && tasks_.vehicle[u] == task.vehicle && tasks_.slack[u] == task.slack)
            return static_cast<std::uint32_t>(u);
    throw std::logic_error("a member holds a task that no member held when the roster was attached");
}

void RosterEvaluator::fill(std::size_t m) {
    fill_row(members_[m].cache, tasks_, task_count_, rows_.data() + m * stride_);
    row_ready_[m] = 1;
}

void RosterEvaluator::rebuild(const Crew& crew, std::size_t m, bool placed) {
    Member& member = members_[m];
    member.cache.refresh(crew, *rules_);
    share_[m] = member.cache.current().objective_share(*rules_);
    const std::size_t n = member.cache.real_count();
    member.removal_share.resize(n);
    member.removal_delta.resize(n);
    for (std::size_t k = 0; k < n; ++k) {
        member.removal_share[k] = member.cache.without_task(k).objective_share(*rules_);
        member.removal_delta[k] = member.removal_share[k] - share_[m];
    }
    if (placed) return;  // attach has placed the tasks and forgotten every pair
    member.positions.resize(n);
    for (std::size_t k = 0; k < n; ++k) member.positions[k] = position_of(member.cache.real_task(k));
    forget(m);
}

void RosterEvaluator::attach(const v_crew& members, const Rules& rules) {
    std::vector<const Crew*> all(members.size());
    for (std::size_t m = 0; m < members.size(); ++m) all[m] = &members[m];
    attach(all, rules);
}

void RosterEvaluator::attach(const std::vector<const Crew*>& members, const Rules& rules) {
    rules_ = &rules;
    const std::size_t size = members.size();
    size_ = size;
    members_.resize(size);
    share_.assign(size, 0);

    // Every real task, sorted by start (equal starts in any order: they fall
    // into the same slot of every receiver); each member learns where its
    // tasks stand.
    placed_.clear();
    for (std::size_t m = 0; m < size; ++m) {
        const Crew& crew = *members[m];
        const std::size_t real = crew.has_virtual_task() ? crew.tasks.size() - 1 : crew.tasks.size();
        members_[m].positions.resize(real);
        for (std::size_t k = 0; k < real; ++k) placed_.push_back({&crew.tasks[k], &members_[m].positions[k]});
    }
    task_count_ = placed_.size();
    order_.resize(task_count_);
    for (std::size_t u = 0; u < task_count_; ++u) {
        const auto start = static_cast<std::uint32_t>(placed_[u].task->start_time) ^ 0x80000000u;  // signed order
        order_[u] = static_cast<std::uint64_t>(start) << 32 | u;
    }
    std::sort(order_.begin(), order_.end());
    tasks_.resize(task_count_);
    for (std::size_t u = 0; u < task_count_; ++u) {
        const Placed& entry = placed_[static_cast<std::size_t>(order_[u] & 0xffffffffu)];
        tasks_.set(u, *entry.task);
        *entry.position = static_cast<std::uint32_t>(u);
    }
    stride_ = task_count_ + kRunPadding;
    rows_.resize(size * stride_);  // a row is filled before it is read
    row_ready_.assign(size, 0);
    blocks_.resize(size * size);   // a block is read only once stored
    current_.assign((size * size + 63) / 64, 0);

    for (std::size_t m = 0; m < size; ++m) rebuild(*members[m], m, true);
}

void RosterEvaluator::moved(const v_crew& members, std::size_t from, std::size_t to) {
    rebuild(members[from], from, false);
    rebuild(members[to], to, false);
}

}  // namespace escala
