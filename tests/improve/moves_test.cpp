// The improver's moves and searches against the straightforward cost: a copy
// of the roster in escala's form, the move carried out with Crew's own
// operations, and global_objective.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "crew/crew_util.hpp"
#include "improve/moves.hpp"
#include "improve/reassign.hpp"
#include "improve/search.hpp"

namespace escala::improve {
namespace {

std::uint32_t straightforward(v_crew roster) { return global_objective(roster, default_rules()); }

// Random tasks of the awkward kinds: equal starts, overlaps, tasks that end
// before they start, slack large enough to do without the virtual task,
// points and vehicles drawn from few values (changes and non-changes), and a
// few times near the 32-bit limit where the measures wrap around.
l_tarefas random_tasks(std::mt19937_64& random, std::size_t count) {
    auto draw = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    l_tarefas tasks;
    for (std::size_t i = 0; i < count; ++i) {
        int start = draw(0, 24) * 30;  // coarse: equal starts are common
        int end = start + draw(-20, 300);
        if (draw(0, 40) == 0) {
            start = INT32_MAX - draw(0, 500);
            end = INT32_MIN + draw(0, 500);
        }
        const int slack = draw(0, 3) == 0 ? draw(0, 60) : 0;
        tasks.emplace_back(draw(1, 3), start, end, draw(1, 3), draw(1, 3), slack, 1, 1);
    }
    return tasks;
}

RosterState random_state(std::mt19937_64& random, std::size_t tasks, std::size_t members) {
    const l_tarefas all = random_tasks(random, tasks);
    v_crew roster(members);
    for (const Task& t : all) roster[std::uniform_int_distribution<std::size_t>(0, members - 1)(random)].assign_task(t, default_rules());
    return RosterState(all, roster, default_rules());
}

// Two members that differ, the first with at least one task.
std::pair<std::size_t, std::size_t> two_members(std::mt19937_64& random, const RosterState& state) {
    std::uniform_int_distribution<std::size_t> any(0, state.size() - 1);
    std::size_t a = any(random);
    while (state.tasks(a).empty()) a = any(random);
    std::size_t b = any(random);
    while (b == a) b = any(random);
    return {a, b};
}

std::size_t position_in(std::mt19937_64& random, std::size_t size) {
    return std::uniform_int_distribution<std::size_t>(0, size - 1)(random);
}

void expect_consistent(const RosterState& state, std::uint32_t value) {
    EXPECT_EQ(state.objective(), value);
    EXPECT_EQ(state.fresh_objective(), value);
}

TEST(RosterState, ObjectiveEqualsTheStraightforwardOne) {
    std::mt19937_64 random(1);
    for (int round = 0; round < 200; ++round) {
        const RosterState state = random_state(random, 12, 4);
        EXPECT_EQ(state.objective(), straightforward(state.to_roster())) << "round " << round;
    }
}

TEST(RosterState, RefusesRostersWhoseTasksAreNotTheFilesTasks) {
    const l_tarefas all{Task(1, 0, 10, 1, 1, 0, 1, 1), Task(1, 20, 30, 1, 1, 0, 1, 1)};
    v_crew missing(2), doubled(2), foreign(2);
    missing[0].assign_task(all[0], default_rules());
    doubled[0].assign_task(all[0], default_rules());
    doubled[1].assign_task(all[0], default_rules());
    doubled[1].assign_task(all[1], default_rules());
    foreign[0].assign_task(all[0], default_rules());
    foreign[1].assign_task(Task(2, 20, 30, 1, 1, 0, 1, 1), default_rules());
    EXPECT_THROW(RosterState(all, missing, default_rules()), RosterMismatch);
    EXPECT_THROW(RosterState(all, doubled, default_rules()), RosterMismatch);
    EXPECT_THROW(RosterState(all, foreign, default_rules()), RosterMismatch);
    // Identical tasks are told apart by count only.
    const l_tarefas twins{all[0], all[0]};
    v_crew both(1);
    both[0].assign_task(all[0], default_rules());
    both[0].assign_task(all[0], default_rules());
    EXPECT_NO_THROW(RosterState(twins, both, default_rules()));
}

TEST(Moves, RelocateValueIsTheStraightforwardCost) {
    std::mt19937_64 random(2);
    for (int round = 0; round < 500; ++round) {
        RosterState state = random_state(random, 10, 3);
        const auto [a, b] = two_members(random, state);
        const std::size_t k = position_in(random, state.tasks(a).size());
        v_crew roster = state.to_roster();
        roster[b].assign_task(roster[a].remove_task_at(static_cast<std::int32_t>(k), default_rules()), default_rules());
        const std::uint32_t expected = straightforward(roster);
        ASSERT_EQ(relocate_value(state, a, k, b), expected) << "round " << round;
        relocate(state, a, k, b);
        expect_consistent(state, expected);
    }
}

TEST(Moves, SwapValueIsTheStraightforwardCost) {
    std::mt19937_64 random(3);
    for (int round = 0; round < 500; ++round) {
        RosterState state = random_state(random, 10, 3);
        auto [a, b] = two_members(random, state);
        if (state.tasks(b).empty()) continue;
        const std::size_t i = position_in(random, state.tasks(a).size());
        const std::size_t j = position_in(random, state.tasks(b).size());
        v_crew roster = state.to_roster();
        const Task x = roster[a].remove_task_at(static_cast<std::int32_t>(i), default_rules());
        const Task y = roster[b].remove_task_at(static_cast<std::int32_t>(j), default_rules());
        roster[a].assign_task(y, default_rules());
        roster[b].assign_task(x, default_rules());
        const std::uint32_t expected = straightforward(roster);
        ASSERT_EQ(swap_value(state, a, i, b, j), expected) << "round " << round;
        swap_tasks(state, a, i, b, j);
        expect_consistent(state, expected);
    }
}

// Window and tail exchanges: the straightforward version rebuilds both
// schedules task by task with assign_task.
TEST(Moves, WindowExchangeValueIsTheStraightforwardCost) {
    std::mt19937_64 random(4);
    for (int round = 0; round < 500; ++round) {
        RosterState state = random_state(random, 12, 3);
        const auto [a, b] = two_members(random, state);
        const std::int32_t from = std::uniform_int_distribution<int>(0, 24)(random) * 30;
        const bool tail = round % 3 == 0;
        const std::int32_t to = tail ? INT32_MAX : from + std::uniform_int_distribution<int>(0, 400)(random);
        auto in_window = [&](const Task& t) { return t.start_time >= from && t.start_time < to; };
        auto rebuilt = [&](std::size_t own, std::size_t other) {
            Crew c;
            for (const Task& t : state.tasks(own))
                if (t.start_time < from) c.assign_task(t, default_rules());
            for (const Task& t : state.tasks(other))
                if (in_window(t)) c.assign_task(t, default_rules());
            for (const Task& t : state.tasks(own))
                if (t.start_time >= to) c.assign_task(t, default_rules());
            return c;
        };
        v_crew roster = state.to_roster();
        roster[a] = rebuilt(a, b);
        roster[b] = rebuilt(b, a);
        const std::uint32_t expected = straightforward(roster);
        if (tail) {
            ASSERT_EQ(tail_exchange_value(state, a, b, from), expected) << "round " << round;
            tail_exchange(state, a, b, from);
        } else {
            ASSERT_EQ(window_exchange_value(state, a, b, from, to), expected) << "round " << round;
            window_exchange(state, a, b, from, to);
        }
        expect_consistent(state, expected);
    }
}

// A step changes only what it reports, gives the fresh objective, and its
// undo restores every schedule.
TEST(RuinRecreate, StepValueAndUndo) {
    std::mt19937_64 random(5);
    for (int round = 0; round < 100; ++round) {
        RosterState state = random_state(random, 30, 6);
        const RosterState before = state;
        RuinRecreate ruin(state, 10);
        const std::uint32_t value = ruin.step(state, random);
        expect_consistent(state, value);
        ruin.undo(state);
        EXPECT_EQ(state.objective(), before.objective());
        for (std::size_t m = 0; m < state.size(); ++m) EXPECT_EQ(state.ids(m), before.ids(m)) << "member " << m;
    }
}

// A roster without wrap-around: tasks of a plain working day.
RosterState day_roster(unsigned seed, std::size_t tasks, std::size_t members) {
    std::mt19937_64 random(seed);
    auto draw = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    l_tarefas all;
    for (std::size_t i = 0; i < tasks; ++i) {
        const int start = draw(300, 1300);
        all.emplace_back(draw(1, 8), start, start + draw(10, 90), draw(1, 4), draw(1, 4), 0, 1, 1);
    }
    std::mt19937_64 own(seed);
    return construct(all, members, default_rules(), own);
}

TEST(Construct, PlacesEveryTaskOnceWithTheFreshObjective) {
    const RosterState state = day_roster(6, 80, 10);
    std::size_t placed = 0;
    for (std::size_t m = 0; m < state.size(); ++m) placed += state.ids(m).size();
    EXPECT_EQ(placed, 80u);
    EXPECT_EQ(state.objective(), state.fresh_objective());
}

TEST(Improve, NeverWorseAndEveryTaskOnce) {
    // A start that is already good (a short search's best) as well as a poor one.
    RosterState start = day_roster(7, 60, 8);
    for (int pass = 0; pass < 2; ++pass) {
        ImproveOptions options;
        options.time_limit_seconds = 0;
        options.max_iterations = 300;
        options.seed = 11 + static_cast<unsigned>(pass);
        options.threads = 2;
        const ImproveResult result = improve(start, options);
        EXPECT_LE(result.best_objective, start.objective());
        EXPECT_EQ(result.best_objective, result.best.fresh_objective());
        std::vector<Task> all;
        for (std::size_t id = 0; id < start.task_count(); ++id) all.push_back(start.task(static_cast<TaskId>(id)));
        EXPECT_NO_THROW(RosterState(all, result.best.to_roster(), default_rules()));
        for (std::size_t k = 1; k < result.trace.size(); ++k)
            EXPECT_LT(result.trace[k].objective, result.trace[k - 1].objective);
        if (!result.trace.empty()) {
            EXPECT_EQ(result.trace.back().objective, result.best_objective);
        }
        start = result.best;
    }
}

TEST(Improve, SameSeedSameRosterAndTrace) {
    const RosterState start = day_roster(8, 60, 8);
    ImproveOptions options;
    options.time_limit_seconds = 0;
    options.max_iterations = 400;
    options.seed = 42;
    const ImproveResult first = improve(start, options), second = improve(start, options);
    ASSERT_EQ(first.trace.size(), second.trace.size());
    for (std::size_t k = 0; k < first.trace.size(); ++k) {
        EXPECT_EQ(first.trace[k].iteration, second.trace[k].iteration);
        EXPECT_EQ(first.trace[k].objective, second.trace[k].objective);
    }
    for (std::size_t m = 0; m < start.size(); ++m) EXPECT_EQ(first.best.ids(m), second.best.ids(m));
    EXPECT_LT(first.best_objective, start.objective());  // 400 iterations find something
}

TEST(Improve, RaisedStopFlagEndsAtOnceWithTheStart) {
    const RosterState start = day_roster(9, 40, 6);
    std::atomic<bool> stop{true};
    ImproveOptions options;
    options.time_limit_seconds = 0;
    options.stop = &stop;
    const ImproveResult result = improve(start, options);
    EXPECT_EQ(result.iterations, 0u);
    EXPECT_EQ(result.best_objective, start.objective());
}

TEST(Reassign, LeastCostAssignmentMatchesEveryPermutation) {
    std::mt19937_64 random(21);
    for (int round = 0; round < 200; ++round) {
        const std::size_t n = 1 + round % 6;
        std::vector<std::int64_t> costs(n * n);
        for (std::int64_t& c : costs) c = std::uniform_int_distribution<std::int64_t>(-50, 50)(random);
        std::vector<std::size_t> order(n);
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::int64_t least = INT64_MAX;
        do {
            std::int64_t sum = 0;
            for (std::size_t r = 0; r < n; ++r) sum += costs[r * n + order[r]];
            least = std::min(least, sum);
        } while (std::next_permutation(order.begin(), order.end()));
        const std::vector<std::size_t> chosen = least_cost_assignment(costs, n);
        std::vector<std::size_t> sorted = chosen;
        std::sort(sorted.begin(), sorted.end());
        std::iota(order.begin(), order.end(), std::size_t{0});
        ASSERT_EQ(sorted, order) << "round " << round;  // a permutation
        std::int64_t sum = 0;
        for (std::size_t r = 0; r < n; ++r) sum += costs[r * n + chosen[r]];
        EXPECT_EQ(sum, least) << "round " << round;
    }
}

// Without the split-shift weight the objective is a sum over members, and the
// reassignment of a window is the best of every permutation of its contents.
TEST(Reassign, WindowReassignmentIsTheBestPermutation) {
    Rules rules = default_rules();
    rules.weights.p_duplas = 0;
    std::mt19937_64 random(22);
    auto draw = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int round = 0; round < 150; ++round) {
        const std::size_t members = 2 + static_cast<std::size_t>(round % 4);
        l_tarefas all;
        for (int i = 0; i < 14; ++i) {
            const int start = 300 + draw(0, 30) * 30;
            all.emplace_back(draw(1, 3), start, start + draw(10, 200), draw(1, 3), draw(1, 3), 0, 1, 1);
        }
        v_crew roster(members);
        for (const Task& t : all) roster[static_cast<std::size_t>(draw(0, static_cast<int>(members) - 1))].assign_task(t, rules);
        RosterState state(all, roster, rules);
        const std::int32_t from = 300 + draw(0, 30) * 30;
        const std::int32_t to = draw(0, 2) == 0 ? INT32_MAX : from + draw(1, 8) * 60;
        // Every permutation of the windows' contents, on the objective itself.
        std::vector<std::vector<TaskId>> outside(members), inside(members);
        for (std::size_t m = 0; m < members; ++m)
            for (TaskId id : state.ids(m)) {
                const std::int32_t s = state.task(id).start_time;
                (s >= from && s < to ? inside : outside)[m].push_back(id);
            }
        std::vector<std::size_t> order(members);
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::uint32_t least = UINT32_MAX;
        do {
            v_crew trial(members);
            for (std::size_t m = 0; m < members; ++m) {
                for (TaskId id : outside[m]) trial[m].assign_task(state.task(id), rules);
                for (TaskId id : inside[order[m]]) trial[m].assign_task(state.task(id), rules);
            }
            least = std::min(least, global_objective(trial, rules));
        } while (std::next_permutation(order.begin(), order.end()));
        const std::uint32_t before = state.objective();
        const bool changed = reassign_window(state, from, to);
        EXPECT_EQ(changed, state.objective() < before) << "round " << round;
        EXPECT_EQ(state.objective(), std::min(before, least)) << "round " << round;
        EXPECT_EQ(state.fresh_objective(), state.objective()) << "round " << round;
        EXPECT_NO_THROW(RosterState(all, state.to_roster(), rules));
    }
}

// With the split-shift weight and awkward times too: never worse, nothing lost.
TEST(Reassign, SweepsNeverLoseATaskOrRaiseTheObjective) {
    std::mt19937_64 random(23);
    for (int round = 0; round < 60; ++round) {
        RosterState state = random_state(random, 16, 5);
        const std::uint32_t before = state.objective();
        const std::uint32_t after = reassign_sweeps(state, random, {}, 15);
        EXPECT_LE(after, before) << "round " << round;
        expect_consistent(state, after);
        std::vector<Task> all;
        for (TaskId id = 0; id < state.task_count(); ++id) all.push_back(state.task(id));
        EXPECT_NO_THROW(RosterState(all, state.to_roster(), default_rules()));
    }
    // Beyond 256 members the windows go round in groups.
    RosterState large = random_state(random, 700, 300);
    const std::uint32_t before = large.objective();
    expect_consistent(large, reassign_sweeps(large, random, {}, 60));
    EXPECT_LT(large.objective(), before);
}

}  // namespace
}  // namespace escala::improve
