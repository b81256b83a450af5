// A tight lower bound on the roster objective: the linear relaxation of the
// roster as a set partitioning over crew days, solved by column generation,
// with a valid Lagrangian bound at every pricing round.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "columns/pricing.hpp"
#include "core/task.hpp"
#include "crew/rules.hpp"

namespace escala::columns {

struct GenerationProgress {
    int rounds = 0;
    double seconds = 0;
    double bound = 0;     // best Lagrangian bound so far
    double lp_value = 0;  // the master's value
    std::size_t columns = 0;
};

struct GenerationOptions {
    double time_limit = 60;            // seconds, wall clock
    unsigned threads = 1;              // labelling threads of the pricing
    std::function<bool()> stop;        // asked between labellings
    std::vector<Day> initial_days;     // schedules to start the master with (a roster's)
    std::vector<double> initial_duals; // duals to price first (every task's, then the crew row's), or none
    std::function<void(const GenerationProgress&)> progress;  // after every round
    Rules rules;                       // of the crew costs (a bound needs them inside the priced cost's range)
};

struct TightBound {
    std::string obstacle;          // why there is no bound (empty when there is)
    bool found = false;            // at least one pricing round completed
    std::int64_t value = 0;        // the bound, rounded up to the objective's integers
    double exact = 0;              // the bound as computed
    double lp_value = 0;           // the last master value (the bound when converged)
    bool converged = false;        // no day prices out at the master's duals
    bool boxed = false;            // the duals were held in a box (a tight crew)
    int rounds = 0;
    double seconds = 0;
    std::vector<Day> pool;         // every day the master held, in schedule order
    std::vector<double> duals;     // the last master's duals: every task's, then the crew row's
};

TightBound tight_lower_bound(const l_tarefas& tasks, std::size_t members, const GenerationOptions& options = {});

// The same at the crew cost: the master pays each day's crew cost and the
// pricing prices every day at or below it (exact_pricing.hpp), so that its
// Lagrangian bound sum pi + N (mu + least) bounds the objective at every
// round. Meant to run after tight_lower_bound, from its pool
// (initial_days) and duals (initial_duals); its own pool is not kept.
TightBound exact_lower_bound(const l_tarefas& tasks, std::size_t members, const GenerationOptions& options = {});

// Days that suit a roster, by a second generation whose master pays each
// day's crew cost and whose pricing prices plain days at it too. It gives no
// bound: it ends when its master stops falling over five rounds (`settled`),
// and its pool also keeps the days priced within 3000 of paying off, for an
// integer program.
struct CrewCostDays {
    std::string obstacle;          // why it could not run (empty when it ran)
    bool settled = false;
    double lp_value = 0;           // the last master value
    int rounds = 0;
    double seconds = 0;
    std::vector<Day> pool;         // every day the master held and the near-paying ones
    std::vector<double> duals;     // the last master's duals: every task's, then the crew row's
    bool bound_found = false;      // the bound at the crew cost at those duals (exact_lower_bound's
    std::int64_t bound = 0;        // Lagrangian bound), rounded up, when there was time to price them
};

CrewCostDays crew_cost_days(const l_tarefas& tasks, std::size_t members, const GenerationOptions& options = {});

// A first roster: the tasks in start order, each to the day free the
// latest before it starts (or else the one free the soonest), at most
// `members` days.
std::vector<Day> first_fit_days(const l_tarefas& tasks, std::size_t members);

// The schedules of the days of one vehicle, every stretch of consecutive
// tasks of at most `longest` minutes, as positions in the task list.
std::vector<Day> vehicle_stretches(const l_tarefas& tasks, std::int32_t longest);

}  // namespace escala::columns
