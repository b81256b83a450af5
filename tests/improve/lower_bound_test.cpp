// The objective's lower bound: hand-computed cases, the link part against
// every set of links, and the whole bound against every roster of tiny
// instances.
#include <gtest/gtest.h>

#include <random>

#include "columns/lower_bound.hpp"
#include "../columns/tiny_instances.hpp"
#include "crew/crew_util.hpp"

namespace escala::columns {
namespace {

Task task(int vehicle, int start, int end, int from, int to, int slack = 0) {
    return Task(vehicle, start, end, from, to, slack, 1, 1);
}

struct Case {
    const char* name;
    l_tarefas tasks;
    std::size_t members;
    std::int64_t idle, link;
};

TEST(LowerBound, HandComputedCases) {
    const std::vector<Case> cases{
        // 40 x (430 - 100 - 30); one member, the pair on one vehicle at one point is free.
        {"one vehicle, matching points", {task(1, 0, 50, 1, 2), task(1, 60, 110, 2, 1)}, 1, 12000, 0},
        {"one vehicle, points differ", {task(1, 0, 50, 1, 2), task(1, 60, 110, 3, 1)}, 1, 12000, 10000},
        {"two vehicles, matching points", {task(1, 0, 50, 1, 2), task(2, 60, 110, 2, 1)}, 1, 12000, 9000},
        {"two vehicles, points differ", {task(1, 0, 50, 1, 2), task(2, 60, 110, 3, 1)}, 1, 12000, 19000},
        // b may not start before a: the only pair is the late task after the early one.
        {"order by start", {task(1, 60, 110, 2, 1), task(1, 0, 50, 1, 2)}, 1, 12000, 0},
        // Equal starts link either way: the cheaper way round is 2 -> 1, free.
        {"equal starts", {task(1, 0, 50, 1, 2), task(1, 0, 50, 2, 1)}, 1, 12000, 0},
        // As many members as tasks: no pair is needed.
        {"a member per task", {task(1, 0, 50, 1, 2), task(2, 60, 110, 3, 1)}, 2, 2 * 40 * 400 - 4000, 0},
        // Slack counts as idle time: 40 x (430 - 100 - 30 + 20).
        {"slack", {task(1, 0, 50, 1, 2, 20), task(1, 60, 110, 2, 1)}, 1, 12800, 0},
        // Work beyond the members' day: no idle part.
        {"no idle part", {task(1, 0, 500, 1, 1)}, 1, 0, 0},
        // Three tasks, one pair: a vehicle change at a matching point is cheaper
        // than the vehicle's own pair with a point change.
        {"choice of pairs", {task(1, 0, 50, 1, 2), task(2, 60, 110, 2, 3), task(1, 120, 170, 4, 4)}, 2,
         40 * (860 - 150 - 60), 9000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(idle_lower_bound(c.tasks, c.members, default_rules()), c.idle) << c.name;
        EXPECT_EQ(link_lower_bound(c.tasks, c.members, default_rules()), c.link) << c.name;
        EXPECT_EQ(objective_lower_bound(c.tasks, c.members, default_rules()).value, c.idle + c.link) << c.name;
    }
}

l_tarefas random_tasks(std::mt19937_64& random, std::size_t count) {
    auto draw = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    l_tarefas tasks;
    for (std::size_t i = 0; i < count; ++i) {
        const int start = draw(0, 12) * 40;  // equal starts now and then
        tasks.push_back(task(draw(1, 2), start, start + draw(5, 250), draw(1, 3), draw(1, 3), draw(0, 3) == 0 ? 20 : 0));
    }
    return tasks;
}

// The cheapest set of exactly `links` links, every successor choice tried.
std::int64_t cheapest_links(const l_tarefas& tasks, std::size_t links) {
    const std::size_t n = tasks.size();
    std::vector<std::size_t> next(n, 0);  // n: no successor
    std::int64_t best = -1;
    for (;;) {
        std::vector<int> used(n, 0);
        std::size_t count = 0;
        std::int64_t cost = 0;
        bool ok = true;
        for (std::size_t a = 0; a < n && ok; ++a) {
            const std::size_t b = next[a];
            if (b == n) continue;
            ok = b != a && tasks[b].start_time >= tasks[a].start_time && used[b]++ == 0;
            cost += (tasks[a].vehicle != tasks[b].vehicle ? 9000 : 0) + (tasks[b].start_point != tasks[a].end_point ? 10000 : 0);
            ++count;
        }
        if (ok && count == links && (best < 0 || cost < best)) best = cost;
        std::size_t a = 0;
        while (a < n && ++next[a] > n) next[a++] = 0;
        if (a == n) break;
    }
    return best;
}

TEST(LowerBound, LinkPartIsTheCheapestSetOfLinks) {
    std::mt19937_64 random(1);
    for (int round = 0; round < 200; ++round) {
        const std::size_t n = 2 + round % 4;
        const l_tarefas tasks = random_tasks(random, n);
        for (std::size_t members = 1; members < n; ++members)
            ASSERT_EQ(link_lower_bound(tasks, members, default_rules()), cheapest_links(tasks, n - members))
                << "round " << round << ", " << members << " members";
    }
}

// Under escala's rules and, every other round, rules drawn at random.
TEST(LowerBound, NeverAboveTheOptimumOfTinyInstances) {
    std::mt19937_64 random(2);
    int tight = 0;
    for (int round = 0; round < 300; ++round) {
        const Rules rules = round % 2 == 0 ? Rules{} : tiny::random_rules(random);
        const l_tarefas tasks = random_tasks(random, 2 + round % 5);
        const std::size_t members = 2 + round % 2;
        const std::int64_t bound = objective_lower_bound(tasks, members, rules).value;
        const std::uint32_t best = tiny::optimum(tasks, members, rules).value;
        ASSERT_LE(bound, std::int64_t{best}) << "round " << round;
        tight += bound == best ? 1 : 0;
    }
    EXPECT_GT(tight, 0);  // and not merely below it by far every time
}

TEST(LowerBound, GapPercent) {
    EXPECT_DOUBLE_EQ(gap_percent(150, 100), 50.0);
    EXPECT_DOUBLE_EQ(gap_percent(100, 100), 0.0);
    EXPECT_DOUBLE_EQ(gap_percent(100, 0), 0.0);
}

}  // namespace
}  // namespace escala::columns
