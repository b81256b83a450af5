// The fast evaluation of schedules, moves and trial insertions must agree to
// the bit with the straightforward one (copy, change, sort, cost).
#include <gtest/gtest.h>

#include <iostream>
#include <stdexcept>
#include <random>

#include "crew/crew_util.hpp"
#include "crew/rules.hpp"
#include "search/grasp.hpp"
#include "search/insertion_rows.hpp"
#include "search/roster_eval.hpp"
#include "search/move_eval.hpp"
#include "search/tabu_search.hpp"
#include "search/trial_cost.hpp"

namespace {

using namespace escala;

// Random tasks of several kinds: ordinary days, equal starts, overlaps,
// zero and negative durations, large slack, and values near the 32-bit limits.
class TaskMaker {
public:
    explicit TaskMaker(unsigned seed) : gen_(seed) {}

    Task operator()(int regime) {
        Task t;
        t.vehicle = pick(1, 4);
        t.start_point = pick(1, 4);
        t.end_point = pick(1, 4);
        t.start_line = pick(1, 3);
        t.end_line = pick(1, 3);
        switch (regime) {
            case 0:  // ordinary
                t.start_time = pick(300, 1400);
                t.end_time = t.start_time + pick(10, 200);
                t.slack = pick(0, 3) == 0 ? pick(0, 40) : 0;
                break;
            case 1:  // coarse times: equal starts, touching, zero and negative durations
                t.start_time = 60 * pick(5, 20);
                t.end_time = t.start_time + 30 * pick(-2, 6);
                t.slack = 5 * pick(0, 8);
                break;
            case 2:  // long days, split shifts, negative slack
                t.start_time = pick(0, 1440);
                t.end_time = t.start_time + pick(0, 900);
                t.slack = pick(-50, 50);
                break;
            default: {  // near the limits: everything wraps
                const std::int32_t edge[] = {INT32_MIN, INT32_MIN + 100, -1000, 0, 2147483000, INT32_MAX};
                t.start_time = escala::wrap_add(edge[pick(0, 5)], pick(0, 60));
                t.end_time = escala::wrap_sub(edge[pick(0, 5)], pick(0, 60));
                t.slack = pick(0, 1) ? INT32_MAX - pick(0, 100) : pick(-100, 100);
                break;
            }
        }
        return t;
    }

    // A schedule closed under `rules`.
    Crew member(int regime, const Rules& rules) {
        Crew c;
        const int n = pick(0, 7);
        for (int i = 0; i < n; ++i) c.assign_task((*this)(regime), rules);
        return c;
    }

    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen_); }

private:
    std::mt19937 gen_;
};

std::uint32_t share(Crew c, const Rules& rules) {
    const std::uint32_t cost = c.cost(rules);
    return cost + (c.is_split_shift(rules) ? rules.weights.p_duplas : 0u);
}

// Runs a body under a few rule settings, the defaults among them: other
// weights, and other limits throughout.
template <typename Body>
void for_weight_settings(Body body) {
    const Rules settings[] = {
        Rules{},
        Rules{Pesos{100}, Limits{}},
        Rules{Pesos{7, 1, 3, 11, 0, 13, 17, 19, 23, 29, 31}, Limits{}},
        Rules{Pesos{}, Limits{480, 450, 600, 600, 90, 20, 40, 10}},
    };
    for (const Rules& rules : settings) body(rules);
}

TEST(MoveEval, CurrentInsertionAndRemovalMatchTheStraightforwardCost) {
    for_weight_settings([](const Rules& rules) {
        TaskMaker make(20261207);
        for (int round = 0; round < 3000; ++round) {
            const int regime = round % 4;
            const Crew member = make.member(regime, rules);
            MemberCache cache;
            cache.refresh(member, rules);

            Crew copy = member;
            ASSERT_EQ(cache.current().cost, copy.cost(rules)) << "round " << round;
            ASSERT_EQ(cache.current().split_shift, member.is_split_shift(rules)) << "round " << round;

            const Task extra = make(regime);
            Crew with = member;
            with.assign_task(extra, rules);
            const ScheduleValue inserted = cache.with_task(extra);
            ASSERT_EQ(inserted.cost, cost_with_task(member, extra, rules)) << "round " << round;
            ASSERT_EQ(inserted.split_shift, with.is_split_shift(rules)) << "round " << round;

            for (std::size_t k = 0; k < cache.real_count(); ++k) {
                Crew without = member;
                const Task removed = without.remove_task_at(static_cast<std::int32_t>(k), rules);
                ASSERT_EQ(removed, cache.real_task(k));
                const ScheduleValue value = cache.without_task(k);
                ASSERT_EQ(value.cost, without.cost(rules)) << "round " << round << " k " << k;
                ASSERT_EQ(value.split_shift, without.is_split_shift(rules)) << "round " << round << " k " << k;
            }
        }
    });
}

TEST(MoveEval, EmptyMemberCostsItsIdleShortfall) {
    MemberCache cache;
    cache.refresh(Crew{}, default_rules());
    EXPECT_EQ(cache.current().cost, 17200u);
    EXPECT_EQ(cache.real_count(), 0u);
    // One task from 480 to 600 with its 30-minute virtual task: 11200.
    EXPECT_EQ(cache.with_task(Task(7, 480, 600, 1, 2, 0, 3, 4)).cost, 11200u);
}

TEST(MoveEval, MoveValueIsTheChangeOfBothShares) {
    for_weight_settings([](const Rules& rules) {
        TaskMaker make(7);
        for (int round = 0; round < 2000; ++round) {
            const int regime = round % 4;
            const Crew giver = make.member(regime, rules);
            const Crew receiver = make.member(regime, rules);
            const std::int32_t movable =
                static_cast<std::int32_t>(giver.tasks.size()) - (giver.has_virtual_task() ? 1 : 0);
            const std::uint32_t current = static_cast<std::uint32_t>(make.pick(0, INT32_MAX)) * 2u;
            for (std::int32_t k = 0; k < movable; ++k) {
                Task moved;
                const std::uint32_t v = move_value(giver, receiver, k, current, moved, rules);
                Crew g = giver, r = receiver;
                const std::uint32_t before = share(g, rules) + share(r, rules);
                r.assign_task(g.remove_task_at(k, rules), rules);
                ASSERT_EQ(v, current - before + share(g, rules) + share(r, rules));
            }
        }
    });
}

// Every entry of every row against the receiver copied, given the task and
// costed: after attach, and after moves, which must renew the rows of both
// members. Rosters hold empty members, equal tasks and long runs.
TEST(MoveEval, RowsMatchTheStraightforwardCost) {
    for_weight_settings([](const Rules& rules) {
        TaskMaker make(4242);
        RosterEvaluator evaluator;
        for (int round = 0; round < 200; ++round) {
            const int regime = round % 4;
            v_crew roster(static_cast<std::size_t>(make.pick(1, 10)));
            for (auto& member : roster) member = make.member(regime, rules);
            for (int extra = make.pick(0, 40); extra > 0; --extra) roster[0].assign_task(make(regime), rules);
            if (!roster[0].tasks.empty()) roster.back().assign_task(roster[0].tasks.front(), rules);
            evaluator.attach(roster, rules);
            for (int moves = 0; moves < 3; ++moves) {
                for (std::size_t r = 0; r < roster.size(); ++r) {
                    const std::uint32_t* row = evaluator.row(r);
                    for (std::size_t g = 0; g < roster.size(); ++g) {
                        const std::uint32_t* at = evaluator.positions(g);
                        const MemberCache& giver = evaluator.member(g);
                        for (std::size_t k = 0; k < giver.real_count(); ++k) {
                            Crew with = roster[r];
                            with.assign_task(giver.real_task(k), rules);
                            ASSERT_EQ(row[at[k]], share(with, rules))
                                << "round " << round << " move " << moves << " receiver " << r << " giver " << g
                                << " k " << k;
                        }
                    }
                }
                // Move a task from a random member that has one.
                const std::size_t from = static_cast<std::size_t>(make.pick(0, static_cast<int>(roster.size()) - 1));
                const std::size_t to = static_cast<std::size_t>(make.pick(0, static_cast<int>(roster.size()) - 1));
                const std::size_t real = evaluator.member(from).real_count();
                if (real == 0 || from == to) continue;
                roster[to].assign_task(roster[from].remove_task_at(make.pick(0, static_cast<int>(real) - 1), rules), rules);
                evaluator.moved(roster, from, to);
            }
        }
    });
}

// A task that no member held at attach cannot be placed in the rows.
TEST(MoveEval, RowsRefuseATaskFromOutsideTheRoster) {
    v_crew roster(2);
    roster[0].assign_task(Task(1, 300, 400, 1, 2, 0, 1, 1), default_rules());
    RosterEvaluator evaluator;
    evaluator.attach(roster, default_rules());
    roster[1].assign_task(Task(1, 500, 600, 1, 2, 0, 1, 1), default_rules());
    EXPECT_THROW(evaluator.moved(roster, 0, 1), std::logic_error);
}

// Both builds of the run kernel, at every slot (with and without each
// neighbour), over runs of every length up to a few groups of lanes.
TEST(MoveEval, RunKernelsMatchTheSlotInsertion) {
    using Kernel = void (*)(const MemberCache&, std::size_t, const TaskColumns&, std::size_t, std::size_t,
                            std::uint32_t*);
    std::vector<std::pair<const char*, Kernel>> kernels{{"generic", detail::fill_insertion_run_generic}};
    if (detail::has_avx2()) kernels.emplace_back("avx2", detail::fill_insertion_run_avx2);
    for_weight_settings([&](const Rules& rules) {
        TaskMaker make(777);
        for (int round = 0; round < 600; ++round) {
            const int regime = round % 4;
            MemberCache cache;
            cache.refresh(make.member(regime, rules), rules);
            const std::size_t count = static_cast<std::size_t>(make.pick(0, 40));
            std::vector<Task> tasks;
            TaskColumns columns;
            columns.resize(count);
            for (std::size_t u = 0; u < count; ++u) {
                tasks.push_back(make(make.pick(0, 3)));
                columns.set(u, tasks.back());
            }
            const std::size_t begin = count == 0 ? 0 : static_cast<std::size_t>(make.pick(0, static_cast<int>(count)));
            for (const auto& [name, kernel] : kernels)
                for (std::size_t slot = 0; slot <= cache.real_count(); ++slot) {
                    std::vector<std::uint32_t> out(count + kRunPadding, 0);
                    kernel(cache, slot, columns, begin, count, out.data());
                    for (std::size_t u = begin; u < count; ++u)
                        ASSERT_EQ(out[u], cache.with_task_at(slot, tasks[u]).objective_share(rules))
                            << name << " round " << round << " slot " << slot << " task " << u;
                }
        }
    });
}

// Samples drawn from a random roster, with random tabu lists and best values.
TEST(MoveEval, FastScanChoosesTheSameMoveAsTheStraightforwardScan) {
    for_weight_settings([](const Rules& rules) {
        TaskMaker make(99);
        for (int round = 0; round < 300; ++round) {
            const int regime = round % 4;
            v_crew roster(12);
            for (auto& member : roster) member = make.member(regime, rules);
            for (int extra = make.pick(0, 6); extra > 0; --extra) roster[0].assign_task(make(regime), rules);
            v_crew sample(static_cast<std::size_t>(make.pick(1, 9)));
            for (auto& slot : sample) {
                const int a = make.pick(0, 11);
                slot = roster[static_cast<std::size_t>(a)];
                slot.id = a;
            }
            // Now and then two entries with one id but different schedules:
            // each is scanned with its own.
            if (round % 7 == 0 && sample.size() >= 2) {
                sample[1] = sample[0];
                sample[1].assign_task(make(regime), rules);
            }
            TabuSearch fast, reference;
            reference.control.reference_scan = true;
            fast.control.rules = reference.control.rules = rules;
            v_crew copy = roster;
            const std::uint32_t objective = global_objective(copy, rules);
            const std::uint32_t current = round % 5 == 0 ? static_cast<std::uint32_t>(make.pick(0, INT32_MAX)) : objective;
            fast.best_value = reference.best_value =
                round % 3 == 0 ? current : current - static_cast<std::uint32_t>(make.pick(0, 30000));
            // Tabu entries that reverse some of the possible moves.
            for (int e = make.pick(0, 20); e > 0; --e) {
                const Crew& member = sample[static_cast<std::size_t>(make.pick(0, static_cast<int>(sample.size()) - 1))];
                if (member.tasks.empty()) continue;
                solucao entry;
                entry.from_crew = make.pick(0, 11);
                entry.to_crew = member.id;
                entry.moved_task = member.tasks[static_cast<std::size_t>(make.pick(0, static_cast<int>(member.tasks.size()) - 1))];
                fast.tabu_list.push_back(entry);
            }
            reference.tabu_list = fast.tabu_list;
            bool fast_taken = false, reference_taken = false;
            const std::uint32_t fast_value = fast.scan_moves(sample, current, fast_taken);
            const std::uint32_t reference_value = reference.scan_moves(sample, current, reference_taken);
            ASSERT_EQ(fast_value, reference_value) << "round " << round;
            ASSERT_EQ(fast_taken, reference_taken) << "round " << round;
            ASSERT_EQ(fast.move.from_crew, reference.move.from_crew) << "round " << round;
            ASSERT_EQ(fast.move.to_crew, reference.move.to_crew) << "round " << round;
            ASSERT_EQ(fast.move.task_pos, reference.move.task_pos) << "round " << round;
            ASSERT_EQ(fast.move.moved_task, reference.move.moved_task) << "round " << round;
        }
    });
}

TEST(MoveEval, FastConstructionBuildsTheSameRoster) {
    std::ostream dots(nullptr);  // the progress dots, nowhere
    TaskMaker make(3);
    for (int round = 0; round < 40; ++round) {
        l_tarefas tasks;
        for (int n = make.pick(0, 120); n > 0; --n) tasks.push_back(make(round % 3));
        sort_by_start(tasks);
        l_tarefas fast_tasks = tasks, reference_tasks = tasks;
        v_crew fast(30), reference(30);
        grasp(fast_tasks, fast, 10.0, 2.0, default_rules(), 1000u + static_cast<unsigned>(round), false, dots);
        grasp(reference_tasks, reference, 10.0, 2.0, default_rules(), 1000u + static_cast<unsigned>(round), true, dots);
        ASSERT_EQ(fast, reference) << "round " << round;
    }
}

}  // namespace
