// The pricing at the crew cost against every day of tiny instances, and the
// bound at the crew cost against the linear program over every day (CLP) and
// the optimum found by trying every assignment.
#include <gtest/gtest.h>

#include <ClpSimplex.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "columns/column_generation.hpp"
#include "columns/exact_pricing.hpp"
#include "columns/priced_cost.hpp"
#include "columns/roster_program.hpp"
#include "crew/crew.hpp"
#include "tiny_instances.hpp"

namespace escala::columns {
namespace {

using tiny::draw;

// Gaps around the break gap, the virtual task's 30 minutes and the split gap,
// shared start minutes, overlaps, slack, a few points and vehicles.
l_tarefas gapped_tasks(std::mt19937_64& random, std::size_t count) {
    static const int gaps[] = {-20, 0, 5, 14, 15, 16, 29, 30, 31, 119, 120, 121, 149, 150, 151, 200};
    l_tarefas tasks;
    int at = draw(random, 0, 100);
    for (std::size_t i = 0; i < count; ++i) {
        const int length = draw(random, 0, 6) == 0 ? draw(random, 0, 400) : draw(random, 1, 120);
        const int start = i > 0 && draw(random, 0, 5) == 0 ? tasks.back().start_time : at;
        tasks.emplace_back(draw(random, 1, 2), start, start + length, draw(random, 1, 2), draw(random, 1, 2),
                           draw(random, 0, 3) == 0 ? draw(random, 1, 20) : 0, 1, 1);
        at = start + length + gaps[draw(random, 0, 15)];
        at = std::max(at, start);
    }
    return tasks;
}

bool shares_a_start(const l_tarefas& tasks) {
    for (std::size_t i = 0; i < tasks.size(); ++i)
        for (std::size_t j = i + 1; j < tasks.size(); ++j)
            if (tasks[i].start_time == tasks[j].start_time) return true;
    return false;
}

// Every day once in each of its schedule orders (any order among tasks of one
// start minute), with its crew cost and the lower cost that the pricing is
// said to reach: the crew cost itself for a day without a gap over the split
// gap and for a split day of one such gap (less its overtime when it works
// beyond the first of excess_after and the rested work); for a split day of
// more, the least of its costs with the break at a long gap that is at least
// the long gap before it and longer than the one after it (any, where a
// task after it ends before the one before it).
struct Costed {
    Day day;
    double cost = 0, lower = 0;
};

// A split day's cost with the gap before schedule[k] as its break.
double with_break(const l_tarefas& schedule, std::size_t k, const Rules& rules) {
    const Pesos& p = rules.weights;
    const Limits& l = rules.limits;
    std::int64_t cost = 0;
    for (std::size_t i = 0; i < schedule.size(); ++i)
        cost += std::int64_t{p.t_ocioso} * schedule[i].slack + (i > 0 ? link_cost(schedule[i - 1], schedule[i], rules) : 0);
    const std::int64_t gap = schedule[k].start_time - schedule[k - 1].end_time;
    const std::int64_t work = std::int64_t{schedule.back().end_time} - schedule.front().start_time - gap;
    const std::int64_t rise = std::min(l.excess_after, 1440 - l.min_rest);
    if (work <= rise) cost += std::int64_t{p.h_extra} * std::max<std::int64_t>(0, work - gap - l.split_workday);
    if (schedule[k - 1].end_point != schedule[k].start_point) cost += p.tp_permitida;
    return static_cast<double>(cost + split_day_term(work, rules));
}

double multi_split_lower(const l_tarefas& schedule, const Rules& rules) {
    std::vector<std::size_t> at;  // the tasks after a long gap
    for (std::size_t k = 1; k < schedule.size(); ++k)
        if (schedule[k].start_time - schedule[k - 1].end_time > rules.limits.split_gap) at.push_back(k);
    auto gap = [&](std::size_t i) { return schedule[at[i]].start_time - schedule[at[i] - 1].end_time; };
    double lower = INFINITY;
    for (std::size_t i = 0; i < at.size(); ++i) {
        bool contained = false;  // a task after the break ends before the one before it
        for (std::size_t k = at[i] + 1; k < schedule.size(); ++k) contained = contained || schedule[k].end_time < schedule[k - 1].end_time;
        const bool before = i == 0 || gap(i - 1) <= gap(i);
        const bool after = i + 1 == at.size() || gap(i + 1) < gap(i) || contained;
        if (before && after) lower = std::min(lower, with_break(schedule, at[i], rules));
    }
    return lower;
}

std::vector<Costed> every_day(const l_tarefas& tasks, const Rules& rules) {
    std::vector<Costed> all{{{}, static_cast<double>(true_cost(tasks, {}, rules)), 0}};
    all[0].lower = all[0].cost;
    const std::size_t n = tasks.size();
    for (std::uint32_t subset = 1; subset < (1u << n); ++subset) {
        Day day;
        for (std::size_t i = 0; i < n; ++i)
            if (subset >> i & 1u) day.push_back(static_cast<std::int32_t>(i));
        do {
            bool ordered = true;
            for (std::size_t k = 1; k < day.size(); ++k)
                ordered = ordered && tasks[static_cast<std::size_t>(day[k - 1])].start_time <=
                                         tasks[static_cast<std::size_t>(day[k])].start_time;
            if (!ordered) continue;
            Crew crew;
            l_tarefas schedule;
            for (std::int32_t p : day) schedule.push_back(tasks[static_cast<std::size_t>(p)]);
            crew.tasks = schedule;
            const double cost = true_cost(tasks, day, rules);
            int long_gaps = 0;
            for (std::size_t k = 1; k < schedule.size(); ++k)
                long_gaps += schedule[k].start_time - schedule[k - 1].end_time > rules.limits.split_gap ? 1 : 0;
            const std::int32_t rise = std::min(rules.limits.excess_after, 1440 - rules.limits.min_rest);
            const double overtime =
                crew.work_time(rules) > rise ? static_cast<double>(rules.weights.h_extra) * crew.overtime(rules) : 0.0;
            const double lower = long_gaps > 1    ? multi_split_lower(schedule, rules)
                                 : long_gaps == 1 ? cost - overtime
                                                  : cost;
            EXPECT_LE(lower, cost);
            all.push_back({day, cost, lower});
        } while (std::next_permutation(day.begin(), day.end()));
    }
    return all;
}

double reduced(const Costed& c, double cost, const std::vector<double>& duals) {
    double value = cost - duals.back();
    for (std::int32_t p : c.day) value -= duals[static_cast<std::size_t>(p)];
    return value;
}

TEST(ExactPricing, NeverAboveTheCrewCostAndExactWhereSaid) {
    std::mt19937_64 random(31);
    int equal = 0, checked = 0;
    for (int round = 0; round < 600; ++round) {
        const Rules rules = round % 3 == 2 ? tiny::random_rules(random) : Rules{};
        const l_tarefas tasks = gapped_tasks(random, static_cast<std::size_t>(draw(random, 1, 7)));
        ASSERT_EQ(exact_pricing_obstacle(tasks, rules), "");
        std::vector<double> duals;
        for (std::size_t i = 0; i <= tasks.size(); ++i) duals.push_back(draw(random, -5000, 40000) + 0.25);
        const std::vector<Costed> all = every_day(tasks, rules);
        double least_cost = INFINITY, least_lower = INFINITY;
        for (const Costed& c : all) {
            least_cost = std::min(least_cost, reduced(c, c.cost, duals));
            least_lower = std::min(least_lower, reduced(c, c.lower, duals));
        }
        ExactPricer pricer(tasks, 1 + static_cast<unsigned>(round % 2), rules);
        const PricingResult priced = pricer.price({duals.data(), tasks.size()}, duals.back());
        ASSERT_TRUE(priced.complete);
        const double tolerance = 1e-6 * std::max(1.0, std::abs(least_cost));
        ASSERT_LE(priced.least_reduced_cost, least_cost + tolerance) << "round " << round;
        if (shares_a_start(tasks)) continue;
        // Without shared start minutes: the lower costs exactly, or a value of
        // at least 0 for the long days bounded as a whole.
        ASSERT_LE(priced.least_reduced_cost, least_lower + tolerance) << "round " << round;
        ASSERT_GE(priced.least_reduced_cost, std::min(least_lower, 0.0) - tolerance) << "round " << round;
        if (least_lower > 0) continue;
        if (!priced.best.empty()) {
            // The day traced costs what was priced, at the lower cost of its reading.
            Day best = priced.best;
            std::sort(best.begin(), best.end());
            const auto traced = std::find_if(all.begin(), all.end(), [&](const Costed& c) {
                Day day = c.day;
                std::sort(day.begin(), day.end());
                return day == best;
            });
            ASSERT_NE(traced, all.end()) << "round " << round;
            EXPECT_NEAR(reduced(*traced, traced->lower, duals), priced.least_reduced_cost, tolerance) << "round " << round;
        }
        ++checked;
        equal += std::abs(priced.least_reduced_cost - least_lower) <= tolerance ? 1 : 0;
    }
    EXPECT_GT(checked, 100);
    EXPECT_EQ(equal, checked);
}

// A day of three long gaps with its break first, in the middle or last, its
// tasks worth the most: the pricing meets its crew cost (the break is its
// longest gap whichever side of it the shorter ones lie).
TEST(ExactPricing, DaysOfThreeLongGapsAtTheirCrewCost) {
    const Rules rules{};
    for (const auto& gaps : {std::array{200, 130, 140}, std::array{130, 200, 140}, std::array{130, 140, 200}}) {
        l_tarefas tasks;
        int at = 300;
        for (std::size_t i = 0; i < 4; ++i) {
            tasks.emplace_back(1, at, at + 60, 1, 1, 0, 1, 1);
            at += 60 + (i < 3 ? gaps[i] : 0);
        }
        const std::vector<double> duals{40000.5, 40000.5, 40000.5, 40000.5, 0.0};
        double least = INFINITY;
        for (const Costed& c : every_day(tasks, rules)) least = std::min(least, reduced(c, c.cost, duals));
        ExactPricer pricer(tasks, 1, rules);
        const PricingResult priced = pricer.price({duals.data(), tasks.size()}, duals.back());
        ASSERT_TRUE(priced.complete);
        EXPECT_NEAR(priced.least_reduced_cost, least, 1e-6 * std::abs(least)) << gaps[0] << " " << gaps[1] << " " << gaps[2];
        EXPECT_EQ(priced.best.size(), 4u);
    }
}

// The linear program over every day at its crew cost, N days exactly.
double every_day_program(const l_tarefas& tasks, std::size_t members, const std::vector<Costed>& all) {
    const std::size_t n = tasks.size();
    ClpSimplex model;
    model.setLogLevel(0);
    model.resize(static_cast<int>(n + 1), 0);
    for (std::size_t r = 0; r < n; ++r) model.setRowBounds(static_cast<int>(r), 1.0, 1.0);
    model.setRowBounds(static_cast<int>(n), static_cast<double>(members), static_cast<double>(members));
    for (const Costed& c : all) {
        std::vector<int> rows(c.day.begin(), c.day.end());
        rows.push_back(static_cast<int>(n));
        const std::vector<double> ones(rows.size(), 1.0);
        model.addColumn(static_cast<int>(rows.size()), rows.data(), ones.data(), 0.0, COIN_DBL_MAX, c.cost);
    }
    model.primal();
    return model.status() == 0 ? model.objectiveValue() : INFINITY;
}

bool every_day_exact(const std::vector<Costed>& all) {
    return std::all_of(all.begin(), all.end(), [](const Costed& c) { return c.lower == c.cost; });
}

TEST(ExactBound, MeetsTheProgramOverEveryDayAndNeverPassesTheOptimum) {
    std::mt19937_64 random(3131);
    int exact_instances = 0;
    for (int round = 0; round < 120; ++round) {
        const std::size_t count = static_cast<std::size_t>(draw(random, 3, 7)), members = static_cast<std::size_t>(draw(random, 1, 3));
        const l_tarefas tasks = round % 2 == 0 ? tiny::random_tasks(random, count) : gapped_tasks(random, count);
        GenerationOptions options;
        if (round % 4 == 3) options.rules.weights.tp_permitida = 0;
        const TightBound first = tight_lower_bound(tasks, members, options);
        ASSERT_TRUE(first.found);
        options.initial_days = first.pool;
        options.initial_duals = first.duals;
        const TightBound bound = exact_lower_bound(tasks, members, options);
        ASSERT_TRUE(bound.found) << "round " << round;
        const std::vector<Costed> all = every_day(tasks, options.rules);
        const double program = every_day_program(tasks, members, all);
        const std::uint32_t optimum = tiny::optimum(tasks, members, options.rules).value;
        ASSERT_LE(bound.value, static_cast<std::int64_t>(optimum)) << "round " << round;
        ASSERT_LE(bound.exact, program + 1e-6 * std::max(1.0, program)) << "round " << round;
        if (!bound.converged || shares_a_start(tasks) || !every_day_exact(all)) continue;
        ++exact_instances;
        EXPECT_NEAR(bound.exact, program, 1e-4 * std::max(1.0, program)) << "round " << round;
    }
    EXPECT_GT(exact_instances, 5);
}

TEST(ExactBound, StopsWhenAsked) {
    std::mt19937_64 random(7);
    const l_tarefas tasks = tiny::random_tasks(random, 40);
    GenerationOptions options;
    options.stop = [] { return true; };
    const TightBound bound = exact_lower_bound(tasks, 5, options);
    EXPECT_FALSE(bound.found);
    EXPECT_FALSE(bound.converged);
}

}  // namespace
}  // namespace escala::columns
