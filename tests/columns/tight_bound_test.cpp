// The column-generation bound: the priced cost against the crew cost, the
// pricing against every day of tiny instances, and the bound against the
// optimum found by trying every assignment.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "columns/column_generation.hpp"
#include "columns/priced_cost.hpp"
#include "columns/pricing.hpp"
#include "crew/crew_util.hpp"
#include "crew/rules.hpp"
#include "tiny_instances.hpp"

namespace escala::columns {
namespace {

using tiny::draw;
using tiny::random_tasks;

// Under escala's rules and, every other round, rules drawn at random inside
// the range the proof covers.
TEST(PricedCost, NeverAboveTheCrewCost) {
    std::mt19937_64 random(11);
    int equal = 0;
    for (int round = 0; round < 20000; ++round) {
        const Rules rules = round % 2 == 0 ? Rules{} : tiny::random_rules(random);
        ASSERT_EQ(rules_obstacle(rules), "") << "round " << round;
        l_tarefas day = random_tasks(random, static_cast<std::size_t>(draw(random, 1, 6)));
        Crew crew;
        for (const Task& t : day) crew.assign_task(t, rules);
        l_tarefas schedule(crew.tasks.begin(), crew.tasks.end() - (crew.has_virtual_task() ? 1 : 0));
        const std::int64_t priced = priced_cost(schedule, rules);
        const std::int64_t cost = crew.cost(rules);
        ASSERT_LE(priced, cost) << "round " << round;
        equal += priced == cost ? 1 : 0;
        ASSERT_EQ(priced_cost({}, rules), Crew{}.cost(rules)) << "round " << round;  // the empty day, exactly
    }
    EXPECT_EQ(priced_cost({}, default_rules()), 17200);
    EXPECT_GT(equal, 1000);  // exact for most days without permitted point changes
}

TEST(PricedCost, HandComputedDays) {
    const Task a(1, 0, 200, 1, 2, 0, 1, 1), b(1, 210, 400, 2, 3, 0, 1, 1), c(2, 600, 700, 5, 1, 0, 1, 1);
    // A plain day of 400 minutes: 10 minutes of gap; a 30-minute virtual task reaches 430.
    EXPECT_EQ(priced_cost(std::vector{a, b}, default_rules()), 40 * 10);
    // Split at the 200-minute gap: 500 work minutes, no term; a vehicle and a point change.
    EXPECT_EQ(priced_cost(std::vector{a, b, c}, default_rules()), 40 * 10 + 40 * 200 + 9000 + 10000);
    // Split with 300 work minutes: 100 short of 400.
    const Task d(2, 500, 600, 3, 3, 0, 1, 1);
    EXPECT_EQ(priced_cost(std::vector{a, d}, default_rules()), 40 * 300 + 9000 + 10000 + 40 * 100);
    EXPECT_EQ(plain_day_term(600, default_rules()), 60 * 170 + 5000 * 50);
    EXPECT_EQ(split_day_term(800, default_rules()), 5000 * 250 + 5000 * 20);
}

// Every day of the tasks in every start order: the least reduced cost.
double least_by_enumeration(const l_tarefas& tasks, const std::vector<double>& duals, double crew_dual,
                             const Rules& rules) {
    double least = static_cast<double>(priced_cost({}, rules)) - crew_dual;
    const std::size_t n = tasks.size();
    for (std::uint32_t subset = 1; subset < (1u << n); ++subset) {
        std::vector<std::size_t> day;
        double dual_sum = crew_dual;
        for (std::size_t i = 0; i < n; ++i)
            if (subset >> i & 1u) {
                day.push_back(i);
                dual_sum += duals[i];
            }
        do {
            bool ordered = true;
            l_tarefas schedule;
            for (std::size_t k = 0; k < day.size(); ++k) {
                ordered = ordered && (k == 0 || tasks[day[k - 1]].start_time <= tasks[day[k]].start_time);
                schedule.push_back(tasks[day[k]]);
            }
            if (ordered) least = std::min(least, static_cast<double>(priced_cost(schedule, rules)) - dual_sum);
        } while (std::next_permutation(day.begin(), day.end()));
    }
    return least;
}

// Under escala's rules and, every other round, rules drawn at random.
TEST(Pricing, FindsTheLeastReducedCostOfEveryDay) {
    std::mt19937_64 random(12);
    for (int round = 0; round < 800; ++round) {
        const Rules rules = round % 2 == 0 ? Rules{} : tiny::random_rules(random);
        const l_tarefas tasks = random_tasks(random, static_cast<std::size_t>(draw(random, 1, 6)));
        std::vector<double> duals;
        for (std::size_t i = 0; i < tasks.size(); ++i) duals.push_back(draw(random, -5000, 60000));
        const double crew_dual = draw(random, -20000, 20000);
        Pricer pricer(tasks, 1 + round % 2, PricerMode::priced, rules);
        const PricingResult result = pricer.price(duals, crew_dual);
        const double expected = least_by_enumeration(tasks, duals, crew_dual, rules);
        bool distinct = true;
        for (std::size_t i = 0; i < tasks.size(); ++i)
            for (std::size_t j = 0; j < i; ++j) distinct = distinct && tasks[i].start_time != tasks[j].start_time;
        ASSERT_TRUE(result.complete);
        // Walks through a start minute may only come lower; without shared minutes there are none.
        ASSERT_LE(result.least_reduced_cost, expected + 1e-6) << "round " << round;
        if (distinct) {
            ASSERT_NEAR(result.least_reduced_cost, expected, 1e-6) << "round " << round;
        }
        for (const Day& day : result.days) {
            l_tarefas schedule;
            double reduced = -crew_dual;
            for (std::int32_t p : day) {
                schedule.push_back(tasks[static_cast<std::size_t>(p)]);
                reduced -= duals[static_cast<std::size_t>(p)];
            }
            ASSERT_LT(static_cast<double>(priced_cost(schedule, rules)) + reduced, 1e-6) << "round " << round;
        }
    }
}

// At their crew cost, every day a roster would hold (no overlap, at most one
// gap over 120 minutes, a plain day working at most 550 minutes) is priced
// at its crew cost or lower. One point everywhere: no point changes.
TEST(Pricing, AtCrewCostFindsEveryRosterDay) {
    std::mt19937_64 random(13);
    for (int round = 0; round < 300; ++round) {
        l_tarefas tasks;
        const auto count = static_cast<std::size_t>(draw(random, 1, 6));
        for (std::size_t i = 0; i < count; ++i) {
            const int start = draw(random, 0, 14) * 45 + static_cast<int>(i);  // distinct minutes
            tasks.emplace_back(draw(random, 1, 2), start, start + draw(random, 0, 200), 1, 1,
                               draw(random, 0, 3) == 0 ? draw(random, 1, 20) : 0, 1, 1);
        }
        std::vector<double> duals;
        for (std::size_t i = 0; i < count; ++i) duals.push_back(draw(random, -5000, 60000));
        const double crew_dual = draw(random, -20000, 20000);
        Pricer pricer(tasks, 1 + round % 2, PricerMode::crew_cost_plain);
        const PricingResult result = pricer.price(duals, crew_dual);
        ASSERT_TRUE(result.complete);
        double expected = 17200.0 - crew_dual;
        for (std::uint32_t subset = 1; subset < (1u << count); ++subset) {
            Crew crew;
            double reduced = -crew_dual;
            for (std::size_t i = 0; i < count; ++i)
                if (subset >> i & 1u) {
                    crew.assign_task(tasks[i], default_rules());
                    reduced -= duals[i];
                }
            const std::int64_t cost = crew.cost(default_rules());
            const std::size_t real = crew.tasks.size() - (crew.has_virtual_task() ? 1 : 0);
            int long_gaps = 0;
            bool overlap = false;
            for (std::size_t k = 1; k < real; ++k) {
                const int gap = crew.tasks[k].start_time - crew.tasks[k - 1].end_time;
                long_gaps += gap > 120 ? 1 : 0;
                overlap = overlap || gap < 0;
            }
            if (overlap || long_gaps > 1 || (long_gaps == 0 && crew.work_time(default_rules()) > 550)) continue;
            expected = std::min(expected, static_cast<double>(cost) + reduced);
        }
        ASSERT_LE(result.least_reduced_cost, expected + 1e-6) << "round " << round;
    }
}

// Under escala's rules and, every other round, rules drawn at random.
TEST(TightBound, NeverAboveTheOptimumOfTinyInstances) {
    std::mt19937_64 random(13);
    int close = 0;
    for (int round = 0; round < 400; ++round) {
        GenerationOptions options;
        if (round % 2 == 1) options.rules = tiny::random_rules(random);
        const l_tarefas tasks = random_tasks(random, static_cast<std::size_t>(3 + round % 5));
        const std::size_t members = static_cast<std::size_t>(1 + round % 3);
        const TightBound bound = tight_lower_bound(tasks, members, options);
        ASSERT_TRUE(bound.found && bound.converged) << "round " << round;
        const std::uint32_t best = tiny::optimum(tasks, members, options.rules).value;
        ASSERT_LE(bound.value, std::int64_t{best}) << "round " << round;
        close += bound.value >= 0.98 * best ? 1 : 0;
    }
    EXPECT_GT(close, 130);  // and within 2 % of it in a third of the cases at least
}

// Started from a roster that keeps every member busy (the duals then held in
// a box when the first bound is not above zero), the generation still ends,
// below the optimum and about as high as without the box.
TEST(TightBound, ABusyRosterStartKeepsTheBound) {
    std::mt19937_64 random(15);
    int busy = 0, as_high = 0, held = 0;
    for (int round = 0; round < 120; ++round) {
        const l_tarefas tasks = random_tasks(random, static_cast<std::size_t>(4 + round % 4));
        const std::size_t members = static_cast<std::size_t>(2 + round % 2);
        const tiny::Optimum best = tiny::optimum(tasks, members);
        GenerationOptions options;
        options.initial_days = best.days;
        if (std::any_of(best.days.begin(), best.days.end(), [](const Day& d) { return d.empty(); })) continue;
        ++busy;
        const TightBound plain = tight_lower_bound(tasks, members), boxed = tight_lower_bound(tasks, members, options);
        ASSERT_TRUE(boxed.found && boxed.converged) << "round " << round;
        ASSERT_LE(boxed.value, std::int64_t{best.value}) << "round " << round;
        as_high += boxed.exact >= plain.exact - 1e-6 * plain.exact ? 1 : 0;
        held += boxed.boxed ? 1 : 0;
    }
    EXPECT_GT(busy, 30);
    EXPECT_GT(held, 10);  // the box did hold the duals in some
    EXPECT_GT(as_high, busy * 9 / 10);
}

// Asked to stop before the first round ends: no bound, and honestly so.
TEST(TightBound, StopsWhenAsked) {
    std::mt19937_64 random(14);
    GenerationOptions options;
    options.stop = [] { return true; };
    const TightBound bound = tight_lower_bound(random_tasks(random, 40), 5, options);
    EXPECT_FALSE(bound.found);
    EXPECT_FALSE(bound.converged);
    EXPECT_EQ(bound.value, 0);
}

TEST(TightBound, NoBoundUnderRulesOutsideTheRange) {
    const l_tarefas tasks{Task(1, 0, 100, 1, 1, 0, 1, 1)};
    GenerationOptions options;
    options.rules.weights.t_veiculo = 1;
    EXPECT_TRUE(tight_lower_bound(tasks, 1, options).found);
    EXPECT_EQ(crew_cost_days(tasks, 1, options).obstacle, "the generation at crew costs prices escala's own rules only");
    options.rules = Rules{};
    options.rules.limits.split_workday = 500;  // outside the priced cost's range
    EXPECT_EQ(tight_lower_bound(tasks, 1, options).obstacle, "the split workday is longer than the workday");
}

}  // namespace
}  // namespace escala::columns
