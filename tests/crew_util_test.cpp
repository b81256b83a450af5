// A whole roster: the global objective with its split-shift term, the
// totals, and the sort of every schedule.
#include <gtest/gtest.h>

#include "crew/crew_util.hpp"
#include "crew/rules.hpp"
#include "test_support.hpp"

namespace escala {
namespace {

Task real(std::int32_t vehicle, std::int32_t start, std::int32_t end, std::int32_t from, std::int32_t to,
          std::int32_t slack = 0) {
    return Task(vehicle, start, end, from, to, slack, 0, 0, 0);
}

using test::assigned;
using test::holding;

// Hand-worked members (default weights).
Crew one_task() { return assigned({real(7, 480, 600, 1, 2)}); }  // 11200, closed
Crew split_shift() { return assigned({real(1, 360, 600, 1, 2), real(2, 900, 1080, 3, 4)}); }  // 31300
Crew split_overtime() { return assigned({real(1, 240, 600, 1, 2), real(1, 750, 1150, 2, 3)}); }  // 1068600
Crew overlapping() { return assigned({real(1, 480, 600, 1, 2), real(1, 590, 700, 2, 3)}); }  // 57200, closed

v_crew with_split_shifts(int count, const Crew& extra) {
    v_crew roster(static_cast<std::size_t>(count), split_shift());
    roster.push_back(extra);
    return roster;
}

// An empty roster: every count, total and the objective are 0.
TEST(Roster, EmptyRoster) {
    v_crew roster;
    sort_schedules(roster);
    EXPECT_EQ(global_objective(roster, default_rules()), 0u);
    EXPECT_EQ(split_shift_excess(roster, default_rules()), 0);
    EXPECT_EQ(count_split_shifts(roster, default_rules()), 0);
    EXPECT_EQ(count_crew_without_tasks(roster), 0);
    EXPECT_EQ(total_overtime(roster, default_rules()), 0);
    EXPECT_EQ(total_excess_time(roster, default_rules()), 0);
    EXPECT_EQ(total_overlap_time(roster), 0);
    EXPECT_EQ(total_vehicle_changes(roster), 0);
    EXPECT_EQ(total_permitted_point_changes(roster), 0);
    EXPECT_EQ(total_forbidden_point_changes(roster), 0);
    EXPECT_EQ(count_virtual_tasks(roster), 0);
}

// With the default weights the objective is the plain sum of the crew costs,
// the empty member's 17200 included; the totals add up each member's measure.
TEST(Roster, ObjectiveAndTotalsWithDefaults) {
    v_crew roster{one_task(), split_shift(), Crew(), split_overtime(), overlapping()};
    EXPECT_EQ(global_objective(roster, default_rules()), 11200u + 31300u + 17200u + 1068600u + 57200u);
    EXPECT_EQ(count_split_shifts(roster, default_rules()), 2);
    EXPECT_EQ(split_shift_excess(roster, default_rules()), -18);
    EXPECT_EQ(count_crew_without_tasks(roster), 1);
    EXPECT_EQ(total_overtime(roster, default_rules()), 210);
    EXPECT_EQ(total_excess_time(roster, default_rules()), 210);
    EXPECT_EQ(total_overlap_time(roster), 10);
    EXPECT_EQ(total_vehicle_changes(roster), 1);
    EXPECT_EQ(total_permitted_point_changes(roster), 1);
    EXPECT_EQ(total_forbidden_point_changes(roster), 1);
    EXPECT_EQ(count_virtual_tasks(roster), 2);
}

// The split-shift excess is the count minus 20, but 0 when there is none.
TEST(Roster, SplitShiftExcess) {
    const struct {
        int split_shifts;
        int excess;
    } cases[] = {{0, 0}, {1, -19}, {19, -1}, {20, 0}, {21, 1}, {25, 5}};
    for (const auto& c : cases) {
        const v_crew roster = with_split_shifts(c.split_shifts, one_task());
        EXPECT_EQ(count_split_shifts(roster, default_rules()), c.split_shifts);
        EXPECT_EQ(split_shift_excess(roster, default_rules()), c.excess) << c.split_shifts << " split shifts";
    }
}

// With p_duplas = 100: none adds 0, 5 take off 1500, 20 add 0, 25 add 500.
TEST(Roster, SplitShiftTerm) {
    Rules rules;
    rules.weights.p_duplas = 100;
    const struct {
        int split_shifts;
        std::uint32_t objective;
    } cases[] = {
        {0, 11200u},
        {5, 11200u + 5 * 31300u - 1500u},
        {20, 11200u + 20 * 31300u},
        {25, 11200u + 25 * 31300u + 500u},
    };
    for (const auto& c : cases) {
        v_crew roster = with_split_shifts(c.split_shifts, one_task());
        EXPECT_EQ(global_objective(roster, rules), c.objective) << c.split_shifts << " split shifts";
    }
}

// Weights that make each split-shift member cost 200 (its one point change):
// five of them sum to 1000, and 1000 - 100 x 15 wraps to 4294966796.
TEST(Roster, ObjectiveWrapsBelowZero) {
    Rules rules;
    rules.weights.t_ocioso = rules.weights.h_extra = rules.weights.d_jornada = rules.weights.t_sobreposicao = 0;
    rules.weights.tp_permitida = rules.weights.t_veiculo = rules.weights.i_jornada = 0;
    rules.weights.tp_proibida = 200;
    rules.weights.p_duplas = 100;
    v_crew roster(5, split_shift());
    EXPECT_EQ(roster[0].cost(rules), 200u);
    EXPECT_EQ(global_objective(roster, rules), 4294966796u);
}

// 25 members of 171798691 each sum to 4294967275; the 500 of the split-shift
// term carries the objective past 2^32 - 1 to 479.
TEST(Roster, ObjectiveWrapsAboveMaximum) {
    Rules rules;
    rules.weights.t_ocioso = rules.weights.h_extra = rules.weights.d_jornada = rules.weights.t_sobreposicao = 0;
    rules.weights.tp_permitida = rules.weights.t_veiculo = rules.weights.i_jornada = 0;
    rules.weights.tp_proibida = 171798691;
    rules.weights.p_duplas = 100;
    v_crew roster(25, split_shift());
    EXPECT_EQ(global_objective(roster, rules), 479u);
}

// global_objective sorts every schedule and scores the sorted roster; the
// closing task of a task that ends before it starts stays last.
TEST(Roster, ObjectiveSortsSchedules) {
    const Task a = real(1, 100, 200, 1, 2);
    const Task b = real(1, 300, 400, 2, 3);
    const Task r = real(1, 600, 500, 1, 2);
    v_crew roster{holding({b, a}), assigned({r})};
    const l_tarefas closed_r{r, Task(1, 500, 530, 2, 2, 0, 0, 0, 1)};
    ASSERT_EQ(roster[1].tasks, closed_r);
    EXPECT_EQ(global_objective(roster, default_rules()), 9200u + 20000u);
    EXPECT_EQ(roster[0].tasks, (l_tarefas{a, b}));
    EXPECT_EQ(roster[1].tasks, closed_r);
}

// sort_schedules sorts each schedule and keeps each closing task at the back.
TEST(Roster, SortSchedules) {
    const Task a = real(1, 100, 200, 1, 2);
    const Task b = real(1, 300, 400, 2, 3);
    const Task r = real(1, 600, 500, 1, 2);
    v_crew roster{holding({b, a}), assigned({r}), Crew()};
    const l_tarefas closed_r = roster[1].tasks;
    sort_schedules(roster);
    EXPECT_EQ(roster[0].tasks, (l_tarefas{a, b}));
    EXPECT_EQ(roster[1].tasks, closed_r);
    EXPECT_TRUE(roster[2].tasks.empty());
}

// The totals read each schedule in the order it stands and sort nothing.
TEST(Roster, TotalsDoNotSort) {
    const Task a = real(1, 100, 200, 1, 2);
    const Task b = real(1, 300, 400, 2, 3);
    const v_crew roster{holding({b, a})};
    EXPECT_EQ(total_overlap_time(roster), 300);
    EXPECT_EQ(total_forbidden_point_changes(roster), 1);  // b ends at 3, a starts at 1
    EXPECT_EQ(roster[0].tasks, (l_tarefas{b, a}));
}

// Only a schedule with no task at all counts as without tasks; one task,
// real or virtual, is never a split shift.
TEST(Roster, WithoutTasksAndSingleTasks) {
    const v_crew roster{Crew(), holding({real(1, 100, 200, 1, 1)}),
                        holding({Task(1, 200, 230, 1, 1, 0, 0, 0, 1)}), Crew()};
    EXPECT_EQ(count_crew_without_tasks(roster), 2);
    EXPECT_EQ(count_split_shifts(roster, default_rules()), 0);
    EXPECT_EQ(count_virtual_tasks(roster), 1);
}

// Totals wrap in 32 bits: two overlaps of 2e9 sum to -294967296.
TEST(Roster, TotalsWrap) {
    const Crew big = holding({real(1, 0, 2000000000, 1, 1), real(1, 0, 10, 1, 1)});
    ASSERT_EQ(big.overlap_time(), 2000000000);
    const v_crew roster{big, big};
    EXPECT_EQ(total_overlap_time(roster), -294967296);
}

}  // namespace
}  // namespace escala
