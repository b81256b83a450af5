// The task record: construction, duration, the orders, equality and the
// printed form.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <sstream>

#include "core/task.hpp"

namespace escala {
namespace {

// Construction puts each argument into the field of the same place; the
// default task is all zeros and real.
TEST(Task, ConstructionKeepsFieldOrder) {
    const Task t(1, 2, 3, 4, 5, 6, 7, 8, 1);
    EXPECT_EQ(t.vehicle, 1);
    EXPECT_EQ(t.start_time, 2);
    EXPECT_EQ(t.end_time, 3);
    EXPECT_EQ(t.start_point, 4);
    EXPECT_EQ(t.end_point, 5);
    EXPECT_EQ(t.slack, 6);
    EXPECT_EQ(t.start_line, 7);
    EXPECT_EQ(t.end_line, 8);
    EXPECT_EQ(t.is_virtual, 1);

    const Task d;
    EXPECT_EQ(d, Task(0, 0, 0, 0, 0, 0, 0, 0, 0));
}

// Duration is end minus start; negative when the task ends before it starts,
// and it wraps in 32 bits instead of overflowing.
TEST(Task, Duration) {
    EXPECT_EQ(Task(7, 480, 600, 1, 2, 0, 3, 4, 0).duration(), 120);
    EXPECT_EQ(Task(7, 600, 500, 1, 2, 0, 3, 4, 0).duration(), -100);
    EXPECT_EQ(Task(0, INT_MIN, INT_MAX, 0, 0, 0, 0, 0, 0).duration(), -1);
    EXPECT_EQ(Task(0, INT_MAX, INT_MIN, 0, 0, 0, 0, 0, 0).duration(), 1);
}

// The wrap helpers give the two's-complement results at the edges.
TEST(Task, WrapHelpers) {
    EXPECT_EQ(wrap_add(INT_MAX, 1), INT_MIN);
    EXPECT_EQ(wrap_add(2147483640, 30), -2147483626);
    EXPECT_EQ(wrap_sub(INT_MIN, 1), INT_MAX);
    EXPECT_EQ(wrap_sub(-2147483626, 2147483000), 670);
}

// The task order looks at start_time only, as a signed comparison.
TEST(Task, LessThanComparesStartTimeOnly) {
    const Task a(9, 100, 900, 9, 9, 9, 9, 9, 1);
    const Task b(1, 200, 201, 1, 1, 1, 1, 1, 0);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    const Task c(5, 100, 50, 0, 0, 0, 0, 0, 0);  // same start as a, all else different
    EXPECT_FALSE(a < c);
    EXPECT_FALSE(c < a);
    EXPECT_TRUE(Task(0, -5, 0, 0, 0, 0, 0, 0, 0) < Task(0, 3, 0, 0, 0, 0, 0, 0, 0));
}

// Equality needs all eight integers and the virtual flag to agree.
TEST(Task, EqualityCoversEveryField) {
    const Task base(1, 2, 3, 4, 5, 6, 7, 8, 0);
    EXPECT_TRUE(base == Task(1, 2, 3, 4, 5, 6, 7, 8, 0));
    for (int field = 0; field < 8; ++field) {
        Task other = base;
        std::int32_t* fields[] = {&other.vehicle,    &other.start_time, &other.end_time,   &other.start_point,
                                  &other.end_point,  &other.slack,      &other.start_line, &other.end_line};
        *fields[field] += 1;
        EXPECT_FALSE(base == other) << "field " << field;
    }
    Task flagged = base;
    flagged.is_virtual = 1;
    EXPECT_FALSE(base == flagged);
}

// compare_duration is strict "longer than"; sorted with it, a list runs from
// the longest task down, negative durations last, ties in their old order.
TEST(Task, SortByDurationLongestFirstStable) {
    const Task neg(1, 600, 500, 0, 0, 0, 0, 0, 0);   // -100
    const Task short1(2, 0, 10, 0, 0, 0, 0, 0, 0);   // 10
    const Task longest(3, 0, 300, 0, 0, 0, 0, 0, 0); // 300
    const Task zero(4, 50, 50, 0, 0, 0, 0, 0, 0);    // 0
    const Task short2(5, 90, 100, 0, 0, 0, 0, 0, 0); // 10, after short1
    EXPECT_TRUE(compare_duration(longest, short1));
    EXPECT_FALSE(compare_duration(short1, short2));
    EXPECT_FALSE(compare_duration(short2, short1));

    l_tarefas list{neg, short1, longest, zero, short2};
    std::stable_sort(list.begin(), list.end(), compare_duration);
    const l_tarefas expected{longest, short1, short2, zero, neg};
    EXPECT_EQ(list, expected);
}

// sort_by_start orders by start time and keeps equal starts in insertion order.
TEST(Task, SortByStartIsStable) {
    const Task a(1, 300, 400, 0, 0, 0, 0, 0, 0);
    const Task b(2, 100, 200, 0, 0, 0, 0, 0, 0);
    const Task c(3, 300, 310, 0, 0, 0, 0, 0, 0);
    const Task d(4, 100, 101, 0, 0, 0, 0, 0, 0);
    const Task e(5, -20, 0, 0, 0, 0, 0, 0, 0);
    l_tarefas list{a, b, c, d, e};
    sort_by_start(list);
    const l_tarefas expected{e, b, d, a, c};
    EXPECT_EQ(list, expected);
}

// compare_cost uses unsigned order: 2^31 and above come after smaller costs.
TEST(Task, CompareCostIsUnsigned) {
    const Solucao big{1, 2147483648u};
    const Solucao huge{2, 4294967295u};
    const Solucao small{3, 5};
    EXPECT_TRUE(compare_cost(small, big));
    EXPECT_FALSE(compare_cost(big, small));
    EXPECT_TRUE(compare_cost(big, huge));

    l_solucao list{huge, big, Solucao{4, 5}, small};
    std::stable_sort(list.begin(), list.end(), compare_cost);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].crew_index, 4);  // equal costs keep their order
    EXPECT_EQ(list[1].crew_index, 3);
    EXPECT_EQ(list[2].crew_index, 1);
    EXPECT_EQ(list[3].crew_index, 2);
}

std::string printed(const Task& t) {
    std::ostringstream out;
    out << t;
    return out.str();
}

// The printed form, byte for byte: a real task, a virtual task (marker and
// an extra empty line), negative values and the default task.
TEST(Task, PrintedForm) {
    EXPECT_EQ(printed(Task(7, 480, 600, 1, 2, 0, 3, 4, 0)),
              "\nVeiculo: 7\nHora Inicial: 480\nHora Final: 600\nPonto Inicial:1\nPonto Final: 2"
              "\nFolga Acumulada: 0\nLinha Inicial: 3\nLinha Final: 4\n");
    EXPECT_EQ(printed(Task(7, 600, 630, 2, 2, 0, 4, 4, 1)),
              "\nVeiculo: 7\nHora Inicial: 600\nHora Final: 630\nPonto Inicial:2\nPonto Final: 2"
              "\nFolga Acumulada: 0\nLinha Inicial: 4\nLinha Final: 4\n*TAREFA VIRTUAL*\n\n");
    EXPECT_EQ(printed(Task(-1, -2, -3, -4, -5, -6, -7, -8, 0)),
              "\nVeiculo: -1\nHora Inicial: -2\nHora Final: -3\nPonto Inicial:-4\nPonto Final: -5"
              "\nFolga Acumulada: -6\nLinha Inicial: -7\nLinha Final: -8\n");
    EXPECT_EQ(printed(Task()),
              "\nVeiculo: 0\nHora Inicial: 0\nHora Final: 0\nPonto Inicial:0\nPonto Final: 0"
              "\nFolga Acumulada: 0\nLinha Inicial: 0\nLinha Final: 0\n");
}

// Printing flushes the stream after the closing line end.
TEST(Task, PrintingFlushes) {
    struct CountingBuf : std::stringbuf {
        int syncs = 0;
        int sync() override {
            ++syncs;
            return std::stringbuf::sync();
        }
    } buf;
    std::ostream out(&buf);
    out << Task(1, 2, 3, 4, 5, 6, 7, 8, 0);
    EXPECT_GE(buf.syncs, 1);
}

}  // namespace
}  // namespace escala
