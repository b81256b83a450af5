// The pricing of the column generation: for duals on the tasks and on the
// crew count, the least reduced cost over every crew day, found exactly,
// and the days that reach it or come close.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <vector>

#include "core/task.hpp"
#include "crew/rules.hpp"

namespace escala::columns {

// A crew day as the positions of its tasks in the task list, in schedule order.
using Day = std::vector<std::int32_t>;

struct PricingResult {
    bool complete = false;           // false when stopped before every day was priced
    bool bound = true;               // least_reduced_cost is over every day (see ExactPricer::price)
    double least_reduced_cost = 0;   // over every day, the empty one included
    Day best;                        // a day that reaches it (empty: the empty day)
    std::vector<Day> days;           // days of negative reduced cost, a few from each task
    double least_split_reduced_cost = 0;  // over the split days alone (a gap over split_gap); +inf: none
    Day best_split;                  // a split day that reaches it, when one was traced
    // By task list position: the least priced cost less duals (no crew dual)
    // of the plain days labelled from that task as the first (every plain day
    // is labelled from one of the tasks of its first start minute).
    std::vector<double> least_plain_by_first;
};

// The positions of the task list in start order (ties in list order).
std::vector<std::int32_t> positions_by_start(const l_tarefas& tasks);

// What a Pricer prices; the days not named are at their priced cost.
enum class PricerMode {
    priced,              // every day at its priced cost: the least reduced cost is a bound
    crew_cost_plain,     // plain days near their crew cost (see the constructor): no bound
    split_at_crew_cost,  // split days of one long gap at their crew cost, none of more
    multi_split_only,    // split days of two long gaps or more alone
};

class Pricer {
public:
    // The tasks must pass priced_cost_obstacle. With crew_cost_plain
    // the plain days (no gap over 120 minutes) are priced at their crew cost
    // with its closing virtual task, less only the permitted point changes,
    // over spans of at most 600 minutes, without overlaps and with a few
    // labels dropped by dominance that holds up to 550 minutes of work; split
    // days then have one gap over 120 minutes, the break, and pay a point
    // change there as a permitted one too: days that suit a roster, but the
    // least reduced cost is then no bound.
    //
    // With split_at_crew_cost (and priced plain days) the split days
    // priced are those with one gap over split_gap, the break, at their crew
    // cost: a point change there is a permitted one too, and overtime (the
    // work less the break less the split workday) is paid exactly on days
    // that work no longer than the first of excess_after and the rested work,
    // and left out beyond it (where every minute pays d_jornada). Days with
    // two gaps or more over split_gap are then not priced at all. With
    // multi_split_only, the split days priced are those days alone, at their
    // crew cost with the break at their longest gap, but for what is said in
    // exact_pricing.cpp, and the least of them are traced.
    explicit Pricer(const l_tarefas& tasks, unsigned threads = 1, PricerMode mode = PricerMode::priced,
                    const Rules& rules = default_rules());
    ~Pricer();
    Pricer(const Pricer&) = delete;
    Pricer& operator=(const Pricer&) = delete;

    // Reduced cost of a day: priced cost - sum of its tasks' duals - crew_dual.
    // A day with several tasks of one start minute is priced at most at its
    // cost in any of their orders, which may only lower the least value.
    // With multi_split_only, the days of reduced cost `threshold` or more need
    // not be priced: least_split_reduced_cost is exact below it, infinity
    // when no day is.
    PricingResult price(std::span<const double> task_duals, double crew_dual,
                        const std::function<bool()>& stop = {}, double threshold = std::numeric_limits<double>::infinity());

    std::size_t links() const;  // pairs priced explicitly (gaps up to 120 minutes)

    struct Data;

private:
    Data* data_;
};

}  // namespace escala::columns
