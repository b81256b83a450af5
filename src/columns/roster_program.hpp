// A roster from a pool of crew days: the set-partitioning integer program
// (every task in exactly one day, exactly N days, the empty day allowed) on
// the days' true crew costs, solved by CBC.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "columns/pricing.hpp"
#include "core/task.hpp"
#include "crew/crew.hpp"
#include "crew/rules.hpp"

namespace escala::columns {

struct ProgramOptions {
    double time_limit = 20;                 // seconds, wall clock
    int max_nodes = 20000;                  // of the branch and bound
    std::function<bool()> stop;             // asked at every node
    std::vector<std::vector<Day>> rosters;  // complete rosters whose days join the pool; the cheapest starts the search
    Rules rules;                            // of the crew costs
};

struct ProgramRoster {
    bool found = false;    // a roster of the pool's days (false: none within the time)
    bool optimal = false;  // proven the cheapest of the pool
    std::vector<Day> days; // the chosen days, empty ones left out
    std::uint64_t cost = 0;        // sum of their crew costs, the empty days' included
    double lower = 0;              // the solver's bound on that sum over the pool
    double seconds = 0;
    std::size_t pool = 0;          // days in the program
};

// The crew cost of a day (its tasks assigned to one member, closed as usual).
std::uint32_t true_cost(const l_tarefas& tasks, const Day& day, const Rules& rules);

ProgramRoster solve_roster_program(const l_tarefas& tasks, std::size_t members, const std::vector<Day>& pool,
                                   const ProgramOptions& options = {});

// Days made of two days of a roster, the start of one before a time joined
// to the rest of the other from then on, at every start time of their tasks,
// whose reduced cost at their crew cost for the duals (every task's, then
// the crew row's) is below `margin`: what a roster cheaper by several such
// exchanges at once needs. The `limit` lowest, as task sets.
std::vector<Day> recombined_days(const l_tarefas& tasks, const std::vector<Day>& roster,
                                 const std::vector<double>& duals, const Rules& rules,
                                 const std::function<bool()>& stop = {},
                                 double margin = 3000, std::size_t limit = 5000);

// A roster at most as costly as `roster` (N members' days, empty ones left
// out) and usually cheaper, whatever the rest of the columns did: the days
// recombined from its own that come within reach of paying off at the duals
// of the linear program over the days known so far, the integer program
// over them started from the roster, and again from its roster while that
// pays and the time lasts. A large neighbourhood of many exchanges at once,
// for when the local search has stalled.
// `others` are more days for the pool (other good rosters' days).
ProgramRoster recombine_roster(const l_tarefas& tasks, std::size_t members, const std::vector<Day>& roster,
                               const ProgramOptions& options = {}, const std::vector<Day>& others = {});

// The schedules of a roster as positions in the task list, each position
// taken once, virtual tasks left out; none for a schedule holding a task
// the list lacks (or has no more of).
std::vector<std::optional<Day>> days_of_roster(const l_tarefas& tasks, const v_crew& roster);

// The roster of those days, N members, the members without a day last.
v_crew roster_of(const l_tarefas& tasks, std::size_t members, const std::vector<Day>& days, const Rules& rules);

}  // namespace escala::columns
