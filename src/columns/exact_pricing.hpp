// The pricing at the crew cost: for duals on the tasks and on the crew count,
// a least reduced cost over every crew day that never exceeds the least one
// at the crew cost itself, the closing virtual task included (see
// exact_pricing.cpp for what is priced exactly and what below it).
#pragma once

#include <functional>
#include <limits>
#include <memory>
#include <span>
#include <string>

#include "columns/pricing.hpp"
#include "core/task.hpp"
#include "crew/rules.hpp"

namespace escala::columns {

// Why these tasks and rules are outside what the pricing at the crew cost
// bounds (empty when inside): priced_cost_obstacle's reasons, and a virtual
// task longer than 250 minutes (its labels' states).
std::string exact_pricing_obstacle(const l_tarefas& tasks, const Rules& rules);

class ExactPricer {
public:
    // The tasks and rules must pass exact_pricing_obstacle.
    ExactPricer(const l_tarefas& tasks, unsigned threads, const Rules& rules);
    ~ExactPricer();
    ExactPricer(const ExactPricer&) = delete;
    ExactPricer& operator=(const ExactPricer&) = delete;

    // least_reduced_cost: at most the least crew cost - sum of the day's
    // duals - crew_dual over every day, the empty one included. `days` holds
    // days whose reduced cost at their crew cost may be negative. When the
    // other days price at most `floor` and some of them were traced, the
    // days of two long gaps or more are left out (the least is then only
    // over the others, and `bound` false): a caller whose bound they could
    // not raise passes the least reduced cost that would.
    PricingResult price(std::span<const double> task_duals, double crew_dual, const std::function<bool()>& stop = {},
                        double floor = -std::numeric_limits<double>::infinity());

    struct Data;

private:
    std::unique_ptr<Data> data_;
};

}  // namespace escala::columns
