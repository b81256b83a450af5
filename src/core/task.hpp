// A duty piece of vehicle work, the lists that hold it, and its orders.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

namespace escala {

// 32-bit arithmetic that wraps modulo 2^32 without undefined behaviour.
inline std::int32_t wrap_add(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline std::int32_t wrap_sub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

struct Task {
    std::int32_t vehicle = 0;      // vehicle on which the piece runs
    std::int32_t start_time = 0;   // minutes from the start of the day
    std::int32_t end_time = 0;     // minutes from the start of the day
    std::int32_t start_point = 0;  // place where the piece starts
    std::int32_t end_point = 0;    // place where the piece ends
    std::int32_t slack = 0;        // accumulated slack, minutes
    std::int32_t start_line = 0;   // line on which the piece starts
    std::int32_t end_line = 0;     // line on which the piece ends
    char is_virtual = 0;           // 1 for the closing virtual task of a schedule

    Task() = default;
    Task(std::int32_t vehicle_, std::int32_t start_time_, std::int32_t end_time_,
         std::int32_t start_point_, std::int32_t end_point_, std::int32_t slack_,
         std::int32_t start_line_, std::int32_t end_line_, char is_virtual_ = 0)
        : vehicle(vehicle_), start_time(start_time_), end_time(end_time_),
          start_point(start_point_), end_point(end_point_), slack(slack_),
          start_line(start_line_), end_line(end_line_), is_virtual(is_virtual_) {}

    std::int32_t duration() const { return wrap_sub(end_time, start_time); }
};

using l_tarefas = std::vector<Task>;

// The task order: by start time only.
inline bool operator<(const Task& a, const Task& b) { return a.start_time < b.start_time; }

// All eight integers and the virtual flag.
inline bool operator==(const Task& a, const Task& b) {
    return a.vehicle == b.vehicle && a.start_time == b.start_time && a.end_time == b.end_time &&
           a.start_point == b.start_point && a.end_point == b.end_point && a.slack == b.slack &&
           a.start_line == b.start_line && a.end_line == b.end_line && a.is_virtual == b.is_virtual;
}

// Longest first.
inline bool compare_duration(const Task& a, const Task& b) { return a.duration() > b.duration(); }

// A construction candidate: a crew member and its cost with the task tried in.
struct Solucao {
    std::int32_t crew_index = 0;
    std::uint32_t trial_cost = 0;
};
using l_solucao = std::vector<Solucao>;

// Cheapest first, costs in unsigned order.
inline bool compare_cost(const Solucao& a, const Solucao& b) { return a.trial_cost < b.trial_cost; }

// Stable sort of a task list by the task order.
void sort_by_start(l_tarefas& list);

// The labelled printed form of a task, one field a line; flushes the stream.
std::ostream& operator<<(std::ostream& out, const Task& t);

}  // namespace escala
