// The integer program over crew days: a roster that covers every task once,
// costs what the crew cost says, and is the optimum whenever the pool holds
// an optimal roster's days.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>

#include "columns/column_generation.hpp"
#include "columns/roster_program.hpp"
#include "crew/crew_util.hpp"
#include "io/strict_tasks.hpp"
#include "tiny_instances.hpp"

namespace escala::columns {
namespace {

using tiny::random_tasks;

// Every task in exactly one of the chosen days, and the cost the roster of
// those days has.
::testing::AssertionResult is_roster(const l_tarefas& tasks, std::size_t members, const ProgramRoster& chosen) {
    std::vector<int> seen(tasks.size(), 0);
    for (const Day& day : chosen.days)
        for (std::int32_t p : day) ++seen[static_cast<std::size_t>(p)];
    if (!std::all_of(seen.begin(), seen.end(), [](int k) { return k == 1; }))
        return ::testing::AssertionFailure() << "a task is not in exactly one day";
    v_crew roster = roster_of(tasks, members, chosen.days, default_rules());
    if (global_objective(roster, default_rules()) != chosen.cost)
        return ::testing::AssertionFailure() << "cost " << chosen.cost << ", roster " << global_objective(roster, default_rules());
    return ::testing::AssertionSuccess();
}

TEST(RosterProgram, CoversEveryTaskOnceAndReachesTheOptimumInThePool) {
    std::mt19937_64 random(21);
    int optimal_from_generation = 0;
    for (int round = 0; round < 120; ++round) {
        const l_tarefas tasks = random_tasks(random, static_cast<std::size_t>(3 + round % 5));
        const std::size_t members = static_cast<std::size_t>(1 + round % 3);
        const auto [best, best_days] = tiny::optimum(tasks, members);
        const TightBound bound = tight_lower_bound(tasks, members);

        // From the generation's days alone: a valid roster, never below the optimum.
        const ProgramRoster chosen = solve_roster_program(tasks, members, bound.pool);
        ASSERT_TRUE(chosen.found) << "round " << round;
        ASSERT_TRUE(is_roster(tasks, members, chosen)) << "round " << round;
        ASSERT_GE(chosen.cost, best) << "round " << round;
        optimal_from_generation += chosen.cost == best ? 1 : 0;

        // With an optimal roster's days in the pool, the optimum.
        std::vector<Day> pool = bound.pool;
        pool.insert(pool.end(), best_days.begin(), best_days.end());
        ASSERT_EQ(solve_roster_program(tasks, members, pool).cost, best) << "round " << round;
    }
    EXPECT_GT(optimal_from_generation, 60);  // the generation's days alone reach it mostly
}

// A given roster starts the search: it is the answer when nothing cheaper is in the pool.
TEST(RosterProgram, GivenRosterIsKept) {
    const l_tarefas tasks{Task(1, 300, 400, 1, 2, 0, 1, 1), Task(1, 410, 500, 2, 1, 0, 1, 1)};
    ProgramOptions options;
    options.rosters.push_back({{1, 0}});
    const ProgramRoster chosen = solve_roster_program(tasks, 1, {}, options);
    ASSERT_TRUE(chosen.found);
    v_crew roster = roster_of(tasks, 1, chosen.days, default_rules());
    EXPECT_EQ(chosen.cost, global_objective(roster, default_rules()));
    EXPECT_EQ(chosen.days.size(), 1u);
}

// The start of one day joined to the rest of another: each vehicle's own
// pair of trips comes out of two days that change vehicles.
TEST(RosterProgram, RecombinedDaysJoinStartsAndEnds) {
    const l_tarefas tasks{Task(1, 300, 400, 1, 1, 0, 1, 1), Task(2, 410, 500, 1, 1, 0, 1, 1),
                          Task(2, 300, 400, 1, 1, 0, 1, 1), Task(1, 410, 500, 1, 1, 0, 1, 1)};
    const std::vector<double> duals{20000, 20000, 20000, 20000, 0};
    const std::vector<Day> days = recombined_days(tasks, {{0, 1}, {2, 3}}, duals, default_rules());
    EXPECT_NE(std::find(days.begin(), days.end(), Day{0, 3}), days.end());
    EXPECT_NE(std::find(days.begin(), days.end(), Day{1, 2}), days.end());
    // Only below the margin: with no dual, nothing prices out.
    EXPECT_TRUE(recombined_days(tasks, {{0, 1}, {2, 3}}, {0, 0, 0, 0, 0}, default_rules()).empty());
}


// The crew cost of a day in any task order is what assigning its tasks one
// by one gives; recombining a roster never makes it dearer, keeps every task
// once, and reaches the optimum when the roster's days hold it.
TEST(RosterProgram, RecombinedRosterIsNeverDearer) {
    std::mt19937_64 random(8);
    int improved = 0;
    for (int round = 0; round < 60; ++round) {
        const l_tarefas tasks = random_tasks(random, static_cast<std::size_t>(3 + round % 5));
        Day shuffled(tasks.size());
        for (std::size_t i = 0; i < tasks.size(); ++i) shuffled[i] = static_cast<std::int32_t>(i);
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        Crew one_by_one;
        for (std::int32_t p : shuffled) one_by_one.assign_task(tasks[static_cast<std::size_t>(p)], default_rules());
        ASSERT_EQ(true_cost(tasks, shuffled, default_rules()), one_by_one.cost(default_rules())) << "round " << round;

        const std::size_t members = static_cast<std::size_t>(1 + round % 3);
        const std::vector<Day> start = first_fit_days(tasks, members);
        v_crew start_roster = roster_of(tasks, members, start, default_rules());
        const std::uint32_t start_cost = global_objective(start_roster, default_rules());
        const ProgramRoster chosen = recombine_roster(tasks, members, start);
        ASSERT_TRUE(is_roster(tasks, members, chosen)) << "round " << round;
        ASSERT_LE(chosen.cost, start_cost) << "round " << round;
        improved += chosen.cost < start_cost ? 1 : 0;
    }
    EXPECT_GT(improved, 5);
}

// The integer program keeps to its time on a pool far too large to solve in it.
TEST(RosterProgram, StopsAtItsTimeLimit) {
    const l_tarefas tasks = load_tasks_strict(ESCALA_SOURCE_DIR "/examples/ltd-p1-weekday-trips.tsk").tasks;
    std::vector<Day> pool = vehicle_stretches(tasks, 900);
    ProgramOptions options;
    options.time_limit = 0.5;
    options.rosters.push_back(first_fit_days(tasks, 219));
    const auto started = std::chrono::steady_clock::now();
    const ProgramRoster chosen = solve_roster_program(tasks, 219, pool, options);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 5.0);
    EXPECT_TRUE(chosen.found);  // the given roster at least
}

}  // namespace
}  // namespace escala::columns
