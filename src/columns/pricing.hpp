// The pricing of the column generation: for duals on the tasks and on the
// crew count, the least reduced cost over every crew day, found exactly,
// and the days that reach it or come close.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "core/task.hpp"

namespace escala::columns {

// A crew day as the positions of its tasks in the task list, in schedule order.
using Day = std::vector<std::int32_t>;

struct PricingResult {
    bool complete = false;           // false when stopped before every day was priced
    double least_reduced_cost = 0;   // over every day, the empty one included
    Day best;                        // a day that reaches it (empty: the empty day)
    std::vector<Day> days;           // days of negative reduced cost, a few from each task
};

class Pricer {
public:
    // The tasks must pass priced_cost_obstacle.
    explicit Pricer(const l_tarefas& tasks, unsigned threads = 1);
    ~Pricer();
    Pricer(const Pricer&) = delete;
    Pricer& operator=(const Pricer&) = delete;

    // Reduced cost of a day: priced cost - sum of its tasks' duals - crew_dual.
    // A day with several tasks of one start minute is priced at most at its
    // cost in any of their orders, which may only lower the least value.
    PricingResult price(std::span<const double> task_duals, double crew_dual,
                        const std::function<bool()>& stop = {});

    std::size_t links() const;  // pairs priced explicitly (gaps up to 120 minutes)

    struct Data;

private:
    Data* data_;
};

}  // namespace escala::columns
