// One crew member: the schedule operations, the closing virtual task, the
// schedule and cost measures and the crew cost, with hand-worked figures.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <optional>
#include <string>

#include "crew/crew.hpp"
#include "crew/rules.hpp"
#include "search/move_eval.hpp"
#include "test_support.hpp"

namespace escala {
namespace {

Task real(std::int32_t vehicle, std::int32_t start, std::int32_t end, std::int32_t from, std::int32_t to,
          std::int32_t slack = 0, std::int32_t line_from = 0, std::int32_t line_to = 0) {
    return Task(vehicle, start, end, from, to, slack, line_from, line_to, 0);
}

// The closing virtual task expected after `last`, `length` minutes long.
Task closing(const Task& last, std::int32_t length) {
    return Task(last.vehicle, last.end_time, last.end_time + length, last.end_point, last.end_point, 0,
                last.end_line, last.end_line, 1);
}

using test::assigned;
using test::holding;

// ---------------------------------------------------------------- virtual task

// One task with slack 0: the closing task starts at its end, lasts 30
// minutes, on its vehicle, at its end point and end line, with slack 0.
TEST(VirtualTask, SingleTaskGetsThirtyMinutes) {
    const Task t = real(7, 480, 600, 1, 2, 0, 3, 4);
    const Crew c = assigned({t});
    const l_tarefas expected{t, Task(7, 600, 630, 2, 2, 0, 4, 4, 1)};
    EXPECT_EQ(c.tasks, expected);
    EXPECT_TRUE(c.has_virtual_task());
}

struct VirtualCase {
    const char* name;
    l_tarefas tasks;  // assigned in this order, already in start order
    int length;       // of the closing task; -1 when there is none
};

const VirtualCase virtual_cases[] = {
    {"slack_0", {real(1, 480, 600, 1, 2, 0)}, 30},
    {"slack_10", {real(1, 480, 600, 1, 2, 10)}, 20},
    {"slack_14", {real(1, 480, 600, 1, 2, 14)}, 16},
    {"slack_15", {real(1, 480, 600, 1, 2, 15)}, 15},
    {"slack_20", {real(1, 480, 600, 1, 2, 20)}, 15},
    {"gap_14_no_break", {real(1, 100, 200, 1, 1), real(1, 214, 300, 1, 1)}, 16},
    {"gap_15_break", {real(1, 100, 200, 1, 1), real(1, 215, 300, 1, 1)}, 15},
    {"gap_20", {real(1, 100, 200, 1, 1), real(1, 220, 300, 1, 1)}, 10},
    {"gap_29", {real(1, 100, 200, 1, 1), real(1, 229, 300, 1, 1)}, 1},
    {"gap_30_none", {real(1, 100, 200, 1, 1), real(1, 230, 300, 1, 1)}, -1},
    {"gap_20_slack_5", {real(1, 100, 200, 1, 1, 5), real(1, 220, 300, 1, 1)}, 5},
    {"gap_20_slack_10_none", {real(1, 100, 200, 1, 1, 10), real(1, 220, 300, 1, 1)}, -1},
    {"gap_10_slack_10_no_break", {real(1, 100, 200, 1, 1, 10), real(1, 210, 300, 1, 1)}, 15},
    {"touching", {real(1, 100, 200, 1, 1), real(1, 200, 300, 1, 1)}, 30},
    {"overlap_10", {real(1, 480, 600, 1, 2), real(1, 590, 700, 2, 3)}, 30},
    {"split_shift_none", {real(1, 100, 200, 1, 1), real(1, 350, 400, 1, 1)}, -1},
    // A break with idle minutes brought under 30 by negative slack: 150 - 140.
    {"split_shift_negative_slack", {real(1, 100, 200, 1, 1, -140), real(1, 350, 400, 1, 1)}, 20},
};

class VirtualTable : public testing::TestWithParam<VirtualCase> {};

// The closing task follows the last real task with the length that the gaps
// and slack call for, or is left out once a break holds 30 idle minutes.
TEST_P(VirtualTable, ClosingTask) {
    const VirtualCase& vc = GetParam();
    const Crew c = assigned(vc.tasks);
    l_tarefas expected = vc.tasks;
    if (vc.length >= 0) expected.push_back(closing(vc.tasks.back(), vc.length));
    EXPECT_EQ(c.tasks, expected);
    EXPECT_EQ(c.has_virtual_task(), vc.length >= 0);
}

INSTANTIATE_TEST_SUITE_P(Crew, VirtualTable, testing::ValuesIn(virtual_cases),
                         [](const testing::TestParamInfo<VirtualCase>& info) { return info.param.name; });

// A task that starts before those held goes to the front; the closing task
// is rebuilt after the task that is now last.
TEST(VirtualTask, EarlierTaskGoesToFront) {
    const Task b = real(1, 500, 600, 2, 3, 0, 5, 6);
    const Task a = real(1, 400, 480, 1, 2, 0, 4, 5);
    Crew c = assigned({b, a});
    const l_tarefas expected{a, b, Task(1, 600, 610, 3, 3, 0, 6, 6, 1)};  // gap 20: 10 minutes
    EXPECT_EQ(c.tasks, expected);
}

// Tasks with equal start times keep the order of assignment.
TEST(VirtualTask, EqualStartsKeepAssignmentOrder) {
    const Task a = real(1, 100, 200, 1, 1);
    const Task c2 = real(2, 100, 150, 1, 1);
    const Crew c = assigned({a, c2});
    const l_tarefas expected{a, c2, closing(c2, 30)};
    EXPECT_EQ(c.tasks, expected);
}

// Assigning a virtual task ends the program with the fatal message on
// standard output and a failure status.
TEST(VirtualTaskDeathTest, AssigningVirtualTaskIsFatal) {
    Crew c;
    EXPECT_EXIT(
        {
            ::dup2(2, 1);  // let the death test see standard output
            c.assign_task(Task(1, 100, 200, 1, 1, 0, 1, 1, 1), default_rules());
        },
        testing::ExitedWithCode(1), "ERRO FATAL, TENTATIVA DE ATRIBUIR TAREFA VIRTUAL!!");
}

// ---------------------------------------------------------------- removal

// remove_task right after assign_task gives back exactly the earlier schedule,
// closing task included.
TEST(Removal, RemoveUndoesAssign) {
    const l_tarefas bases[] = {
        {},
        {real(1, 100, 200, 1, 2)},
        {real(1, 100, 200, 1, 2), real(1, 220, 300, 2, 3)},
        {real(1, 360, 600, 1, 2), real(2, 900, 1080, 3, 4)},
    };
    const Task tried[] = {real(4, 50, 90, 7, 8, 3), real(4, 205, 215, 2, 2), real(4, 700, 800, 9, 9, 40)};
    for (const l_tarefas& base : bases) {
        for (const Task& t : tried) {
            Crew c = assigned(base);
            const l_tarefas before = c.tasks;
            c.assign_task(t, default_rules());
            c.sort_tasks();
            c.remove_task(t, default_rules());
            EXPECT_EQ(c.tasks, before) << "base of " << base.size() << " tasks, trying start " << t.start_time;
        }
    }
}

// Removing re-closes the schedule: the closing task follows the new last
// task, goes with the only real task, and is dropped where a 100-minute break
// opens. Of two equal tasks only the first goes; a task not held (or a
// virtual task other than the one held, or any task of an empty schedule)
// changes nothing. remove_task_at returns the task it took.
TEST(Removal, RemovingRecloses) {
    const Task a = real(1, 100, 200, 1, 2), b = real(1, 200, 300, 2, 3), d = real(1, 300, 400, 3, 4);
    const Task b2 = real(1, 210, 300, 2, 3), same = real(1, 100, 200, 1, 1), lone = real(7, 480, 600, 1, 2, 0, 3, 4);
    const struct {
        l_tarefas start;
        std::optional<Task> removed;  // by remove_task; none: remove_task_at(at)
        std::size_t at;
        l_tarefas after;
    } cases[] = {
        {{a, b2}, b2, 0, {a, closing(a, 30)}},
        {{same, same}, same, 0, {same, closing(same, 30)}},
        {{lone}, real(7, 480, 600, 1, 2, 0, 3, 5), 0, {lone, closing(lone, 30)}},
        {{lone}, closing(lone, 15), 0, {lone, closing(lone, 30)}},
        {{}, lone, 0, {}},
        {{lone}, std::nullopt, 0, {}},
        {{a, b, d}, std::nullopt, 1, {a, d}},
        {{a, b}, std::nullopt, 1, {a, closing(a, 30)}},
    };
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        const auto& c = cases[k];
        Crew crew = assigned(c.start);
        if (c.removed)
            crew.remove_task(*c.removed, default_rules());
        else
            EXPECT_EQ(crew.remove_task_at(static_cast<std::int32_t>(c.at), default_rules()), c.start[c.at]) << k;
        EXPECT_EQ(crew.tasks, c.after) << k;
        EXPECT_EQ(crew.has_virtual_task(), !c.after.empty() && c.after.back().is_virtual != 0) << k;
    }
}

// ---------------------------------------------------------------- closing task stays last

// A task that ends before it starts (600 -> 500) gets a closing task that
// starts before it; every sort keeps the closing task at the back, and
// removing the real task leaves nothing behind.
TEST(VirtualStaysLast, TaskEndingBeforeItStarts) {
    const Task r = real(1, 600, 500, 1, 2, 0, 3, 4);
    Crew c = assigned({r});
    const l_tarefas expected{r, Task(1, 500, 530, 2, 2, 0, 4, 4, 1)};
    ASSERT_EQ(c.tasks, expected);
    c.sort_tasks();
    EXPECT_EQ(c.tasks, expected);
    // work = 530 - 600 = -70, so idle = 430 + 70 = 500.
    EXPECT_EQ(c.cost(default_rules()), 20000u);
    EXPECT_EQ(c.tasks, expected);
    c.remove_task(r, default_rules());
    EXPECT_TRUE(c.tasks.empty());
}

// The same with a real task before it: A 100->300, B 300->250, closing
// task 250->280 stays after B through sort_tasks and cost.
TEST(VirtualStaysLast, AfterSecondTask) {
    const Task a = real(1, 100, 300, 1, 2, 0, 3, 4);
    const Task b = real(1, 300, 250, 2, 5, 0, 4, 6);
    Crew c = assigned({a, b});
    const l_tarefas expected{a, b, Task(1, 250, 280, 5, 5, 0, 6, 6, 1)};
    ASSERT_EQ(c.tasks, expected);
    c.sort_tasks();
    EXPECT_EQ(c.tasks, expected);
    EXPECT_EQ(c.cost(default_rules()), 10000u);  // work 180, idle 250
    EXPECT_EQ(c.tasks, expected);
    c.remove_task(a, default_rules());
    EXPECT_EQ(c.tasks, (l_tarefas{b, Task(1, 250, 280, 5, 5, 0, 6, 6, 1)}));
}

// ---------------------------------------------------------------- schedule measures

struct ScheduleCase {
    const char* name;
    l_tarefas tasks;  // held as they are
    int longest_gap, gap_time, slack_time, virtual_length;
    bool split, brk;
};

const ScheduleCase schedule_cases[] = {
    {"empty", {}, 0, 0, 0, 30, false, false},
    {"one_task", {real(1, 100, 200, 1, 1, 7)}, 0, 0, 7, 23, false, false},
    {"gaps_20_50_overlap_10",
     {real(1, 100, 200, 1, 1), real(1, 220, 300, 1, 1), real(1, 350, 400, 1, 1), real(1, 390, 450, 1, 1)},
     50, 70, 0, 15, false, true},
    {"all_overlapping", {real(1, 100, 300, 1, 1, 3), real(1, 200, 400, 1, 1, 4)}, 0, 0, 7, 23, false, false},
    {"gap_120", {real(1, 100, 300, 1, 1), real(1, 420, 600, 1, 1)}, 120, 120, 0, 15, false, true},
    {"gap_121", {real(1, 100, 300, 1, 1), real(1, 421, 600, 1, 1)}, 121, 121, 0, 15, true, true},
};

class ScheduleTable : public testing::TestWithParam<ScheduleCase> {};

// The schedule measures over lists held as they are.
TEST_P(ScheduleTable, Measures) {
    const ScheduleCase& sc = GetParam();
    const Crew c = holding(sc.tasks);
    EXPECT_EQ(c.longest_gap(), sc.longest_gap);
    EXPECT_EQ(c.gap_time(), sc.gap_time);
    EXPECT_EQ(c.slack_time(), sc.slack_time);
    EXPECT_EQ(c.virtual_length(default_rules()), sc.virtual_length);
    EXPECT_EQ(c.is_split_shift(default_rules()), sc.split);
    EXPECT_EQ(c.has_break(default_rules()), sc.brk);
}

INSTANTIATE_TEST_SUITE_P(Crew, ScheduleTable, testing::ValuesIn(schedule_cases),
                         [](const testing::TestParamInfo<ScheduleCase>& info) { return info.param.name; });

// ---------------------------------------------------------------- cost measures

struct CostCase {
    const char* name;
    l_tarefas assigned_tasks;
    bool closed;  // a closing task follows
    int longest_gap, work, rest, idle, overtime, excess, rest_shortfall, overlap, vehicles, forbidden, permitted;
    std::uint32_t cost;
};

const CostCase cost_cases[] = {
    {"one_task", {real(7, 480, 600, 1, 2, 0, 3, 4)}, true, 0, 150, 1290, 280, 0, 0, 0, 0, 0, 0, 0, 11200},
    {"one_task_slack_20", {real(7, 480, 600, 1, 2, 20, 3, 4)}, true, 0, 135, 1305, 315, 0, 0, 0, 0, 0, 0, 0, 12600},
    {"split_shift", {real(1, 360, 600, 1, 2), real(2, 900, 1080, 3, 4)}, false,
     300, 420, 1020, 300, 0, 0, 0, 0, 1, 1, 1, 31300},
    {"split_shift_overtime", {real(1, 240, 600, 1, 2), real(1, 750, 1150, 2, 3)}, false,
     150, 760, 680, 150, 210, 210, 0, 0, 0, 0, 0, 1068600},
    {"split_shift_short_day", {real(1, 300, 450, 1, 2), real(1, 700, 850, 2, 3)}, false,
     250, 300, 1140, 350, 0, 0, 0, 0, 0, 0, 0, 14000},
    {"long_day", {real(1, 300, 700, 1, 2), real(1, 700, 1070, 2, 3)}, true,
     0, 800, 640, 0, 370, 250, 20, 0, 0, 0, 0, 1372200},
    {"overlap", {real(1, 480, 600, 1, 2), real(1, 590, 700, 2, 3)}, true,
     0, 250, 1190, 180, 0, 0, 0, 10, 0, 0, 0, 57200},
    // Touching at different points with no positive gap: forbidden and permitted.
    {"touching_point_change", {real(1, 100, 200, 1, 2), real(1, 200, 300, 5, 6)}, true,
     0, 230, 1210, 200, 0, 0, 0, 0, 0, 1, 1, 18300},
    // A touching change while a 20-minute gap is the longest: forbidden only.
    {"point_change_off_longest_gap", {real(1, 100, 200, 1, 2), real(1, 200, 300, 5, 6), real(1, 320, 400, 6, 7)},
     true, 20, 310, 1130, 140, 0, 0, 0, 0, 0, 1, 0, 15600},
    // Two pairs share the longest gap, both with a point change.
    {"two_longest_gaps", {real(1, 100, 200, 1, 2), real(1, 220, 300, 3, 4), real(1, 320, 400, 5, 6)}, false,
     20, 300, 1140, 170, 0, 0, 0, 0, 0, 2, 2, 27400},
    {"vehicle_changes", {real(1, 100, 200, 1, 1), real(2, 200, 300, 1, 1), real(1, 300, 400, 1, 1)}, true,
     0, 330, 1110, 100, 0, 0, 0, 0, 2, 0, 0, 22000},
    // An empty schedule: work 0, rest 1440, idle 430, cost 430 x 40.
    {"empty", {}, false, 0, 0, 1440, 430, 0, 0, 0, 0, 0, 0, 0, 17200},
};

class CostTable : public testing::TestWithParam<CostCase> {};

// Every measure and the crew cost of hand-worked schedules built with
// assign_task, with the default weights.
TEST_P(CostTable, MeasuresAndCost) {
    const CostCase& cc = GetParam();
    Crew c = assigned(cc.assigned_tasks);
    EXPECT_EQ(c.has_virtual_task(), cc.closed);
    EXPECT_EQ(c.longest_gap(), cc.longest_gap);
    EXPECT_EQ(c.work_time(default_rules()), cc.work);
    EXPECT_EQ(c.rest_time(default_rules()), cc.rest);
    EXPECT_EQ(c.idle_time(default_rules()), cc.idle);
    EXPECT_EQ(c.overtime(default_rules()), cc.overtime);
    EXPECT_EQ(c.excess_time(default_rules()), cc.excess);
    EXPECT_EQ(c.rest_shortfall(default_rules()), cc.rest_shortfall);
    EXPECT_EQ(c.overlap_time(), cc.overlap);
    EXPECT_EQ(c.vehicle_changes(), cc.vehicles);
    EXPECT_EQ(c.forbidden_point_changes(), cc.forbidden);
    EXPECT_EQ(c.permitted_point_changes(), cc.permitted);
    EXPECT_EQ(c.cost(default_rules()), cc.cost);
}

INSTANTIATE_TEST_SUITE_P(Crew, CostTable, testing::ValuesIn(cost_cases),
                         [](const testing::TestParamInfo<CostCase>& info) { return info.param.name; });

// The cost examples under two other rule sets, worked by hand.
// A: workday 480, excess_after 600, t_ocioso 30 (the rest as escala's).
// B: workday 450, split_workday 380, excess_after 500, min_rest 700,
//    split_gap 90, break_gap 20, virtual_idle 40, virtual_short 10;
//    t_ocioso 50, h_extra 100, d_jornada 1000, i_jornada 2000,
//    t_sobreposicao 1000, tp_proibida 5000, tp_permitida 0, t_veiculo 3000.
Rules rules_a() {
    Rules r;
    r.limits.workday = 480;
    r.limits.excess_after = 600;
    r.weights.t_ocioso = 30;
    return r;
}

Rules rules_b() {
    Rules r;
    r.limits = Limits{450, 380, 500, 700, 90, 20, 40, 10};
    r.weights = Pesos{0, 2000, 100, 2000, 0, 1000, 50, 1000, 5000, 0, 3000};
    return r;
}

struct RulesCostCase {
    const char* name;
    char rules;              // 'A' or 'B'
    l_tarefas tasks;         // assigned in this order
    int work, idle, overtime, excess, rest_shortfall;
    bool split;
    std::uint32_t cost;
};

const RulesCostCase rules_cost_cases[] = {
    // Closing task 30 (no break, no idle): work 150, idle 480 - 150.
    {"A_one_task", 'A', {real(7, 480, 600, 1, 2, 0, 3, 4)}, 150, 330, 0, 0, 0, false, 9900},
    // Break 300, work 420 >= 400: idle is the break; a vehicle, a point change at the longest gap.
    {"A_split_shift", 'A', {real(1, 360, 600, 1, 2), real(2, 900, 1080, 3, 4)}, 420, 300, 0, 0, 0, true, 28300},
    // Work 800 with the closing 30: overtime 320, beyond 600 200, rest 640 short of 660 by 20.
    {"A_long_day", 'A', {real(1, 300, 700, 1, 2), real(1, 700, 1070, 2, 3)}, 800, 0, 320, 200, 20, false, 1119200},
    // Split work 760 - 150: overtime 210 past 400, 160 beyond 600.
    {"A_split_shift_overtime", 'A', {real(1, 240, 600, 1, 2), real(1, 750, 1150, 2, 3)}, 760, 150, 210, 160, 0, true,
     817100},
    // A 120-minute gap is no split day: work 500, idle the gap, overtime 20.
    {"A_gap_120", 'A', {real(1, 100, 300, 1, 1), real(1, 420, 600, 1, 1)}, 500, 120, 20, 0, 0, false, 4800},
    // An 18-minute break: closing task 30 - 18; work 212.
    {"A_gap_18", 'A', {real(1, 100, 200, 1, 1), real(1, 218, 300, 1, 1)}, 212, 286, 0, 0, 0, false, 8580},
    // 10 minutes of overlap at 5000.
    {"A_overlap", 'A', {real(1, 480, 600, 1, 2), real(1, 590, 700, 2, 3)}, 250, 230, 0, 0, 0, false, 56900},
    {"A_empty", 'A', {}, 0, 480, 0, 0, 0, false, 14400},
    // Closing task 40: work 160, idle 450 - 160.
    {"B_one_task", 'B', {real(7, 480, 600, 1, 2, 0, 3, 4)}, 160, 290, 0, 0, 0, false, 14500},
    // Slack 20 reaches virtual_short: closing task 10, work 130, idle 320 + 20.
    {"B_one_task_slack_20", 'B', {real(7, 480, 600, 1, 2, 20, 3, 4)}, 130, 340, 0, 0, 0, false, 17000},
    {"B_split_shift", 'B', {real(1, 360, 600, 1, 2), real(2, 900, 1080, 3, 4)}, 420, 300, 0, 0, 0, true, 23000},
    // Closing 40: work 810, overtime 360, beyond 500 310, rest 630 short of 700 by 70.
    {"B_long_day", 'B', {real(1, 300, 700, 1, 2), real(1, 700, 1070, 2, 3)}, 810, 0, 360, 310, 70, false, 486000},
    // Overtime 760 - 150 - 380 = 230, beyond 500 260, rest 680 short by 20.
    {"B_split_shift_overtime", 'B', {real(1, 240, 600, 1, 2), real(1, 750, 1150, 2, 3)}, 760, 150, 230, 260, 20, true,
     330500},
    // A 120-minute gap is over 90: a split day of 380 minutes, idle the gap.
    {"B_gap_120", 'B', {real(1, 100, 300, 1, 1), real(1, 420, 600, 1, 1)}, 380, 120, 0, 0, 0, true, 6000},
    // 18 minutes is no break under 20: closing task 10 as the idle reaches it; work 210.
    {"B_gap_18", 'B', {real(1, 100, 200, 1, 1), real(1, 218, 300, 1, 1)}, 210, 258, 0, 0, 0, false, 12900},
    {"B_overlap", 'B', {real(1, 480, 600, 1, 2), real(1, 590, 700, 2, 3)}, 260, 190, 0, 0, 0, false, 19500},
    {"B_empty", 'B', {}, 0, 450, 0, 0, 0, false, 22500},
};

class RulesCostTable : public testing::TestWithParam<RulesCostCase> {};

// The measures and the cost, straightforward and fast, under other rules.
TEST_P(RulesCostTable, MeasuresAndCost) {
    const RulesCostCase& rc = GetParam();
    const Rules rules = rc.rules == 'A' ? rules_a() : rules_b();
    Crew c;
    for (const Task& t : rc.tasks) c.assign_task(t, rules);
    EXPECT_EQ(c.work_time(rules), rc.work);
    EXPECT_EQ(c.idle_time(rules), rc.idle);
    EXPECT_EQ(c.overtime(rules), rc.overtime);
    EXPECT_EQ(c.excess_time(rules), rc.excess);
    EXPECT_EQ(c.rest_shortfall(rules), rc.rest_shortfall);
    EXPECT_EQ(c.is_split_shift(rules), rc.split);
    MemberCache cache;
    cache.refresh(c, rules);
    EXPECT_EQ(cache.current().cost, rc.cost);
    EXPECT_EQ(c.cost(rules), rc.cost);
}

INSTANTIATE_TEST_SUITE_P(Crew, RulesCostTable, testing::ValuesIn(rules_cost_cases),
                         [](const testing::TestParamInfo<RulesCostCase>& info) { return info.param.name; });

struct ThresholdCase {
    const char* name;
    l_tarefas tasks;  // held as they are, no closing task
    int work, idle, overtime, excess, rest_shortfall;
    std::uint32_t cost;
};

const ThresholdCase threshold_cases[] = {
    {"work_400", {real(1, 100, 500, 1, 1)}, 400, 30, 0, 0, 0, 1200},
    {"work_401", {real(1, 100, 501, 1, 1)}, 401, 29, 0, 0, 0, 1160},
    {"work_429", {real(1, 100, 529, 1, 1)}, 429, 1, 0, 0, 0, 40},
    {"work_430", {real(1, 100, 530, 1, 1)}, 430, 0, 0, 0, 0, 0},
    {"work_431", {real(1, 100, 531, 1, 1)}, 431, 0, 1, 0, 0, 60},
    {"work_550", {real(1, 100, 650, 1, 1)}, 550, 0, 120, 0, 0, 7200},
    {"work_551", {real(1, 100, 651, 1, 1)}, 551, 0, 121, 1, 0, 12260},
    {"work_780", {real(1, 100, 880, 1, 1)}, 780, 0, 350, 230, 0, 1171000},
    {"work_781", {real(1, 100, 881, 1, 1)}, 781, 0, 351, 231, 1, 1181060},
    {"split_work_399", {real(1, 100, 300, 1, 1), real(1, 450, 649, 1, 1)}, 399, 151, 0, 0, 0, 6040},
    {"split_work_400", {real(1, 100, 300, 1, 1), real(1, 450, 650, 1, 1)}, 400, 150, 0, 0, 0, 6000},
    {"split_work_401", {real(1, 100, 300, 1, 1), real(1, 450, 651, 1, 1)}, 401, 150, 0, 0, 0, 6000},
    {"split_work_701", {real(1, 100, 400, 1, 1), real(1, 550, 951, 1, 1)}, 701, 150, 151, 151, 0, 770060},
    // A gap of 120 is no split shift: the whole span is work.
    {"gap_120", {real(1, 100, 300, 1, 1), real(1, 420, 600, 1, 1)}, 500, 120, 70, 0, 0, 9000},
    {"gap_121", {real(1, 100, 300, 1, 1), real(1, 421, 600, 1, 1)}, 379, 142, 0, 0, 0, 5680},
};

class ThresholdTable : public testing::TestWithParam<ThresholdCase> {};

// Each side of the thresholds 400, 430, 550, 780 and of the split-shift gap.
TEST_P(ThresholdTable, Measures) {
    const ThresholdCase& tc = GetParam();
    Crew c = holding(tc.tasks);
    EXPECT_EQ(c.work_time(default_rules()), tc.work);
    EXPECT_EQ(c.idle_time(default_rules()), tc.idle);
    EXPECT_EQ(c.overtime(default_rules()), tc.overtime);
    EXPECT_EQ(c.excess_time(default_rules()), tc.excess);
    EXPECT_EQ(c.rest_shortfall(default_rules()), tc.rest_shortfall);
    EXPECT_EQ(c.cost(default_rules()), tc.cost);
}

INSTANTIATE_TEST_SUITE_P(Crew, ThresholdTable, testing::ValuesIn(threshold_cases),
                         [](const testing::TestParamInfo<ThresholdCase>& info) { return info.param.name; });

// The cost of a schedule out of order is that of the sorted schedule, which
// it leaves sorted; the measures alone read the list as it stands.
TEST(Cost, SortsFirst) {
    const Task a = real(1, 100, 200, 1, 2);
    const Task b = real(1, 300, 400, 2, 3);
    Crew c = holding({b, a});
    EXPECT_EQ(c.overlap_time(), 300);  // read in list order: 400 - 100
    EXPECT_EQ(c.cost(default_rules()), 9200u);        // sorted: work 300, idle 130 + 100
    EXPECT_EQ(c.tasks, (l_tarefas{a, b}));
}

// Negative measures enter the cost as unsigned values and the sum wraps:
// idle = -1000 (slack) and overtime 70 give 2^32 - 40000 + 4200.
TEST(Cost, NegativeMeasureWraps) {
    Crew c = holding({real(1, 100, 600, 1, 1, -1000)});
    EXPECT_EQ(c.idle_time(default_rules()), -1000);
    EXPECT_EQ(c.overtime(default_rules()), 70);
    EXPECT_EQ(c.cost(default_rules()), 4294931496u);
}

// Weights read at the time of the call: an all-ones idle weight wraps the
// product (280 x (2^32 - 1) = 2^32 - 280).
TEST(Cost, ProductWrapsWithLargeWeight) {
    Rules rules;
    rules.weights.t_ocioso = 4294967295u;
    Crew c = assigned({real(7, 480, 600, 1, 2, 0, 3, 4)});
    EXPECT_EQ(c.cost(rules), 4294967016u);
    rules.weights.t_ocioso = 1;
    EXPECT_EQ(c.cost(rules), 280u);
}

// A task ending just below 2^31: the closing task's end wraps to a negative
// value, and the work time comes back to 640 + 30 without undefined behaviour.
TEST(Cost, ClosingTaskNearTwoToThe31) {
    const Task w = real(1, 2147483000, 2147483640, 1, 1, 0, 1, 1);
    Crew c = assigned({w});
    const l_tarefas expected{w, Task(1, 2147483640, -2147483626, 1, 1, 0, 1, 1, 1)};
    EXPECT_EQ(c.tasks, expected);
    EXPECT_EQ(c.work_time(default_rules()), 670);
    EXPECT_EQ(c.rest_time(default_rules()), 770);
    EXPECT_EQ(c.idle_time(default_rules()), 0);
    EXPECT_EQ(c.overtime(default_rules()), 240);
    EXPECT_EQ(c.excess_time(default_rules()), 120);
    EXPECT_EQ(c.cost(default_rules()), 614400u);  // 240 x 60 + 120 x 5000
    EXPECT_EQ(c.tasks, expected);
}

// Gaps and overlaps that pass the 32-bit range wrap: a gap of -4e9 reads as
// 294967296 and an overlap of 4e9 as -294967296.
TEST(Cost, GapAndOverlapWrap) {
    const Crew c = holding({real(1, 0, 2000000000, 1, 1), real(1, -2000000000, 10, 1, 1)});
    EXPECT_EQ(c.longest_gap(), 294967296);
    EXPECT_EQ(c.gap_time(), 294967296);
    EXPECT_TRUE(c.is_split_shift(default_rules()));
    EXPECT_EQ(c.overlap_time(), -294967296);
}

}  // namespace
}  // namespace escala
