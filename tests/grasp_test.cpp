// The randomised greedy construction: which task goes next, which member
// gets it, how many draws it makes, and that every task lands exactly once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <set>
#include <sstream>

#include "test_support.hpp"
#include "search/grasp.hpp"

namespace {

using namespace escala::test;

using escala::Crew;
using escala::grasp;
using escala::l_tarefas;
using escala::Task;
using escala::v_crew;

constexpr std::size_t full_roster = 219;

// Tasks that all overlap one another (they start within the first 50 minutes
// and last at least 100), each on its own vehicle: any member that already
// holds one pays thousands for the overlap, so every task goes to an empty
// member. Durations fall in groups of three equal ones.
l_tarefas overlapping_tasks(std::size_t n) {
    l_tarefas tasks;
    for (std::size_t i = 0; i < n; ++i) {
        const int start = static_cast<int>(i % 7) * 5;
        const int duration = 100 + static_cast<int>(i / 3) * 3;
        tasks.emplace_back(static_cast<int>(i) + 1, start, start + duration, 10, 20, 0, 3, 4);
    }
    return tasks;
}

// Where each task of overlapping_tasks() must go for a given seed, worked out
// from the generator directly: per placement one draw picks among the window
// of longest remaining tasks (1 below 100 tasks left, 2 up to 149, 3 from
// 150), one draw picks among the four empty members of lowest index.
std::vector<l_tarefas> expected_placement(l_tarefas tasks, unsigned seed) {
    std::stable_sort(tasks.begin(), tasks.end(),
                     [](const Task& a, const Task& b) { return a.end_time - a.start_time > b.end_time - b.start_time; });
    std::vector<l_tarefas> members(full_roster);
    std::srand(seed);
    while (!tasks.empty()) {
        const std::size_t n = tasks.size();
        const std::size_t window = n >= 150 ? 3 : n >= 100 ? 2 : 1;
        const std::size_t k = static_cast<std::size_t>(std::rand()) % window;
        const Task task = tasks[k];
        tasks.erase(tasks.begin() + static_cast<long>(k));
        std::size_t place = static_cast<std::size_t>(std::rand()) % 4;
        for (std::size_t m = 0; m < members.size(); ++m) {
            if (!members[m].empty()) continue;
            if (place-- == 0) {
                members[m].push_back(task);
                break;
            }
        }
    }
    return members;
}

std::vector<std::size_t> members_with_tasks(const v_crew& roster) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < roster.size(); ++i)
        if (!roster[i].tasks.empty()) found.push_back(i);
    return found;
}

// The draws std::rand() gives right after std::srand(seed), skipping `skip`.
int rand_after(unsigned seed, int skip) {
    std::srand(seed);
    for (int i = 0; i < skip; ++i) std::rand();
    return std::rand();
}

// Every placement uses the crew draw as the second draw: one task on an empty
// roster goes to member (second draw mod 4), so only members 0 to 3 occur.
TEST(Grasp, OneTaskOnAnEmptyRosterGoesToOneOfTheFirstFourMembers) {
    std::set<std::size_t> seen;
    for (unsigned seed = 0; seed < 300; ++seed) {
        v_crew roster(full_roster);
        l_tarefas tasks{Task(7, 480, 600, 1, 2, 0, 3, 4)};
        grasp(tasks, roster, 2.0, 2.0, escala::default_rules(), seed);
        const auto holders = members_with_tasks(roster);
        ASSERT_EQ(holders.size(), 1u) << "seed " << seed;
        const std::size_t expected = static_cast<std::size_t>(rand_after(seed, 1)) % 4;
        EXPECT_EQ(holders[0], expected) << "seed " << seed;
        seen.insert(holders[0]);
    }
    EXPECT_EQ(seen, (std::set<std::size_t>{0, 1, 2, 3}));
}

// The window is ranked by trial cost; members of equal cost keep index order.
// Members 100 and 150 hold a task that the new one continues without a gap,
// which makes them cheaper than any empty member: the window is 100, 150, 0, 1.
TEST(Grasp, CheaperMembersLeadTheWindowAndTiesKeepIndexOrder) {
    const Task held(1, 480, 600, 1, 1, 0, 1, 1);
    const Task next(1, 600, 720, 1, 1, 0, 1, 1);
    {
        Crew with_held, empty;
        with_held.assign_task(held, escala::default_rules());
        with_held.assign_task(next, escala::default_rules());
        empty.assign_task(next, escala::default_rules());
        ASSERT_LT(with_held.cost(escala::default_rules()), empty.cost(escala::default_rules())) << "the continuing member must be the cheaper one";
    }
    const std::size_t window[4] = {100, 150, 0, 1};
    std::set<std::size_t> seen;
    for (unsigned seed = 0; seed < 200; ++seed) {
        v_crew roster(full_roster);
        roster[100].assign_task(held, escala::default_rules());
        roster[150].assign_task(held, escala::default_rules());
        l_tarefas tasks{next};
        grasp(tasks, roster, 2.0, 2.0, escala::default_rules(), seed);
        const std::size_t expected = window[static_cast<std::size_t>(rand_after(seed, 1)) % 4];
        std::size_t receiver = full_roster;
        for (std::size_t i = 0; i < roster.size(); ++i)
            for (const Task& t : roster[i].tasks)
                if (t == next) receiver = i;
        EXPECT_EQ(receiver, expected) << "seed " << seed;
        seen.insert(receiver);
    }
    EXPECT_EQ(seen.size(), 4u);
}

// The task window (1 below 100 tasks left, 2 from 100, 3 from 150; the
// longest first, ties in input order) and the two draws per task, checked
// against a replay of the generator, for lists whose size crosses the
// boundaries 49/50, 99/100 and 149/150.
TEST(Grasp, TaskWindowFollowsTheNumberOfTasksLeft) {
    for (std::size_t n : {1u, 49u, 50u, 99u, 100u, 101u, 149u, 150u, 160u}) {
        bool second_longest_first = false;
        for (unsigned seed = 1; seed <= 12; ++seed) {
            const l_tarefas input = overlapping_tasks(n);
            const auto expected = expected_placement(input, seed);
            l_tarefas tasks = input;
            v_crew roster(full_roster);
            grasp(tasks, roster, 2.0, 2.0, escala::default_rules(), seed);
            ASSERT_TRUE(tasks.empty());
            for (std::size_t m = 0; m < full_roster; ++m) {
                l_tarefas real;
                for (const Task& t : roster[m].tasks)
                    if (t.is_virtual == 0) real.push_back(t);
                ASSERT_EQ(real, expected[m]) << n << " tasks, seed " << seed << ", member " << m;
            }
            // With 100 or more tasks the first draw can skip the longest task.
            const int window = n >= 150 ? 3 : 2;
            if (n >= 100 && rand_after(seed, 0) % window != 0) second_longest_first = true;
        }
        if (n >= 100) {
            EXPECT_TRUE(second_longest_first) << n;
        }
    }
}

// Below 100 tasks the window is one: whatever the seed, the longest task is
// placed first, on an empty roster, so it sits alone in one of members 0-3
// and every later task avoids that member.
TEST(Grasp, WithFiftyOrFewerTasksTheLongestGoesFirst) {
    for (std::size_t n : {49u, 50u}) {
        for (unsigned seed = 20; seed < 30; ++seed) {
            l_tarefas tasks = overlapping_tasks(n);
            // The last group of equal durations is the longest; its first task leads.
            const Task leader = tasks[n - 1 - (n - 1) % 3];
            ASSERT_EQ(leader.duration(), tasks.back().duration());
            v_crew roster(full_roster);
            grasp(tasks, roster, 2.0, 2.0, escala::default_rules(), seed);
            const std::size_t first_member = static_cast<std::size_t>(rand_after(seed, 1)) % 4;
            ASSERT_EQ(roster[first_member].tasks.size(), 2u) << n << " " << seed;
            EXPECT_EQ(roster[first_member].tasks[0], leader) << n << " " << seed;
        }
    }
}

// A percentage that would give a crew window of 0 gives a window of 1: the
// cheapest member, the first by index among equals, whatever the seed.
TEST(Grasp, CrewWindowOfZeroBecomesOne) {
    for (unsigned seed : {3u, 99u, 12345u}) {
        l_tarefas tasks = overlapping_tasks(30);
        v_crew roster(full_roster);
        grasp(tasks, roster, 0.1, 2.0, escala::default_rules(), seed);  // 219 x 0.001 is below one
        EXPECT_EQ(members_with_tasks(roster).size(), 30u);
        for (std::size_t m = 0; m < 30; ++m) EXPECT_FALSE(roster[m].tasks.empty()) << m;

        l_tarefas few = overlapping_tasks(5);
        v_crew small(10);  // 10 x 2 % is below one
        grasp(few, small, 2.0, 2.0, escala::default_rules(), seed);
        for (std::size_t m = 0; m < 5; ++m) EXPECT_FALSE(small[m].tasks.empty()) << m;
        for (std::size_t m = 5; m < 10; ++m) EXPECT_TRUE(small[m].tasks.empty()) << m;
    }
}

// Awkward task lists: duplicates, equal start times, overlaps, negative
// durations, slack. Afterwards the list is empty, the schedules hold every
// input task exactly once, and every schedule keeps its shape.
TEST(Grasp, EveryTaskLandsExactlyOnce) {
    for (unsigned seed : {1u, 2u, 77u}) {
        std::mt19937 gen(seed);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
        l_tarefas input;
        for (int i = 0; i < 137; ++i) {
            const int start = pick(0, 40) * 30;
            const int end = pick(0, 9) == 0 ? start - pick(1, 60) : start + pick(0, 300);
            input.emplace_back(pick(1, 12), start, end, pick(1, 6), pick(1, 6), pick(0, 3) == 0 ? pick(0, 40) : 0,
                               pick(1, 5), pick(1, 5));
            if (pick(0, 10) == 0) input.push_back(input.back());  // an identical twin
        }
        l_tarefas tasks = input;
        v_crew roster(full_roster);
        grasp(tasks, roster, 2.0, 2.0, escala::default_rules(), seed);
        EXPECT_TRUE(tasks.empty());
        EXPECT_EQ(real_tasks_of(roster), sorted_fields(input)) << "seed " << seed;
        for (const Crew& member : roster) EXPECT_EQ(schedule_fault(member), "");
    }
}

// The fast construction and the straightforward one (every trial insertion
// costed on a copy of the member) build the same roster from the same seed,
// also when members already hold tasks.
TEST(Grasp, FastAndReferenceConstructionsAgree) {
    for (unsigned seed : {4u, 40u, 400u}) {
        std::mt19937 gen(seed);
        auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
        l_tarefas input;
        for (int i = 0; i < 120; ++i) {
            const int start = pick(0, 30) * 40;
            input.emplace_back(pick(1, 8), start, start + pick(-20, 260), pick(1, 4), pick(1, 4), pick(0, 30), 1, 2);
        }
        v_crew fast(full_roster), reference(full_roster);
        for (int m : {0, 7, 100, 218}) {
            fast[static_cast<std::size_t>(m)].assign_task(Task(9, 300 + m, 420 + m, 1, 2, 0, 1, 1), escala::default_rules());
            reference[static_cast<std::size_t>(m)] = fast[static_cast<std::size_t>(m)];
        }
        l_tarefas a = input, b = input;
        std::ostringstream dots;
        grasp(a, fast, 2.0, 2.0, escala::default_rules(), seed, false, dots);
        grasp(b, reference, 2.0, 2.0, escala::default_rules(), seed, true, dots);
        EXPECT_EQ(fast, reference) << "seed " << seed;
    }
}

// Members that already hold tasks keep them: the construction only adds.
TEST(Grasp, KeepsTheTasksMembersAlreadyHold) {
    v_crew roster(full_roster);
    const Task kept(50, 100, 200, 1, 1, 0, 1, 1);
    roster[5].assign_task(kept, escala::default_rules());
    l_tarefas tasks = overlapping_tasks(20);
    const l_tarefas input = tasks;
    grasp(tasks, roster, 2.0, 2.0, escala::default_rules(), 4u);
    l_tarefas all = input;
    all.push_back(kept);
    EXPECT_EQ(real_tasks_of(roster), sorted_fields(all));
}

// A progress dot each time the tasks left are a multiple of ten, 0 included.
TEST(Grasp, WritesADotPerTenTasksLeft) {
    const std::pair<std::size_t, std::string> cases[] = {
        {0, ""}, {1, "."}, {9, "."}, {10, "."}, {11, ".."}, {25, "..."}, {30, "..."}, {31, "...."},
    };
    for (const auto& [n, dots] : cases) {
        l_tarefas tasks = overlapping_tasks(n);
        v_crew roster(full_roster);
        std::ostringstream written;
        grasp(tasks, roster, 2.0, 2.0, escala::default_rules(), 8u, false, written);
        EXPECT_EQ(written.str(), dots) << n << " tasks";
    }
}

// Each placed task makes exactly two draws; an empty list makes none and
// leaves the roster alone.
TEST(Grasp, DrawsTwicePerTaskAndNotAtAllForAnEmptyList) {
    v_crew roster(full_roster);
    roster[3].assign_task(Task(1, 10, 20, 1, 1, 0, 1, 1), escala::default_rules());
    const v_crew before = roster;
    l_tarefas none;
    std::ostringstream dots;
    grasp(none, roster, 2.0, 2.0, escala::default_rules(), 42u, false, dots);
    EXPECT_EQ(dots.str(), "");
    const int next = std::rand();  // taken before rand_after() reseeds
    EXPECT_EQ(next, rand_after(42u, 0));
    EXPECT_EQ(roster, before);

    for (std::size_t n : {1u, 7u, 120u}) {
        l_tarefas tasks = overlapping_tasks(n);
        v_crew fresh(full_roster);
        grasp(tasks, fresh, 2.0, 2.0, escala::default_rules(), 42u, false, dots);
        const int after = std::rand();
        EXPECT_EQ(after, rand_after(42u, static_cast<int>(2 * n))) << n << " tasks";
    }
}

// The same seed builds the same roster.
TEST(Grasp, SameSeedSameRoster) {
    std::mt19937 gen(5);
    l_tarefas input;
    for (int i = 0; i < 90; ++i) {
        const int start = static_cast<int>(gen() % 1200);
        input.emplace_back(static_cast<int>(gen() % 9), start, start + static_cast<int>(gen() % 240),
                           static_cast<int>(gen() % 4), static_cast<int>(gen() % 4), static_cast<int>(gen() % 20), 1, 2);
    }
    v_crew first(full_roster), second(full_roster);
    l_tarefas a = input, b = input;
    std::ostringstream dots;
    grasp(a, first, 2.0, 2.0, escala::default_rules(), 2024u, false, dots);
    grasp(b, second, 2.0, 2.0, escala::default_rules(), 2024u, false, dots);
    EXPECT_EQ(first, second);
}

// A virtual task in the input list is refused with the fatal message.
TEST(GraspDeathTest, VirtualTaskInTheListStopsTheProgram) {
    l_tarefas tasks{Task(1, 10, 20, 1, 1, 0, 1, 1, 1)};
    v_crew roster(full_roster);
    EXPECT_EXIT(grasp(tasks, roster, 2.0, 2.0, escala::default_rules(), 1u), testing::ExitedWithCode(1), "");
}

}  // namespace
