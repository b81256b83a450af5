// escala-gen: the synthetic day and the program around it.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>

#include "generate.hpp"
#include "io/load_list.hpp"
#include "test_support.hpp"

using escala::l_tarefas;
using escala::Task;
using escala::tools::gen::generate_tasks;
using escala::tools::gen::write_tasks;

namespace {

using namespace escala::test;

std::string text_of(const l_tarefas& tasks) {
    std::ostringstream out;
    write_tasks(out, tasks);
    return out.str();
}

// Buses with a piece running at `minute`.
int buses_at(const l_tarefas& tasks, int minute) {
    std::set<int> buses;
    for (const Task& t : tasks)
        if (t.start_time <= minute && minute < t.end_time) buses.insert(t.vehicle);
    return static_cast<int>(buses.size());
}

using GenProgram = escala::test::InFolder;

}  // namespace

// A seed fixes the day; another seed gives another day.
TEST(Generate, SeedFixesTheDay) {
    EXPECT_EQ(text_of(generate_tasks(30, 7)), text_of(generate_tasks(30, 7)));
    EXPECT_NE(text_of(generate_tasks(30, 7)), text_of(generate_tasks(30, 8)));
}

// Every bus gets work, and the size of the file grows with the fleet.
TEST(Generate, SizeScalesWithVehicles) {
    for (int vehicles : {1, 10, 100, 400}) {
        const l_tarefas tasks = generate_tasks(vehicles, 3);
        std::set<int> buses;
        for (const Task& t : tasks) buses.insert(t.vehicle);
        EXPECT_EQ(static_cast<int>(buses.size()), vehicles);
        EXPECT_EQ(*buses.begin(), 1);
        EXPECT_EQ(*buses.rbegin(), vehicles);
        // At least one piece a bus, and no bus works more than a whole day's worth.
        EXPECT_GE(static_cast<int>(tasks.size()), vehicles);
        EXPECT_LE(static_cast<int>(tasks.size()), vehicles * 14);
    }
    EXPECT_GT(generate_tasks(100, 3).size(), 5 * generate_tasks(10, 3).size());
}

// Each piece is a plausible stretch of work: inside the service day, 90 to
// 255 minutes long, with less slack than length, between terminals.
TEST(Generate, PiecesArePlausible) {
    const l_tarefas tasks = generate_tasks(200, 11);
    std::set<int> points, lines;
    for (const Task& t : tasks) {
        EXPECT_GE(t.start_time, 300);
        EXPECT_LE(t.end_time, 1500);
        EXPECT_GT(t.duration(), 90);
        EXPECT_LE(t.duration(), 255);
        EXPECT_GE(t.slack, 0);
        EXPECT_LT(t.slack, t.duration());
        EXPECT_EQ(t.is_virtual, 0);
        points.insert(t.start_point);
        points.insert(t.end_point);
        lines.insert(t.start_line);
        lines.insert(t.end_line);
    }
    EXPECT_LE(points.size(), 7u);  // a few terminals
    EXPECT_LE(lines.size(), 10u);  // on a few lines
    const auto with_slack = std::count_if(tasks.begin(), tasks.end(), [](const Task& t) { return t.slack > 0; });
    EXPECT_GT(with_slack, 0);
}

// A bus's pieces come in time order without overlap, and within a block
// the next piece starts where the previous one ended.
TEST(Generate, BusesMoveConsistently) {
    const l_tarefas tasks = generate_tasks(150, 5);
    for (std::size_t i = 1; i < tasks.size(); ++i) {
        const Task& a = tasks[i - 1];
        const Task& b = tasks[i];
        if (a.vehicle != b.vehicle) {
            EXPECT_EQ(b.vehicle, a.vehicle + 1);
            continue;
        }
        EXPECT_LE(a.end_time, b.start_time);
        const int gap = b.start_time - a.end_time;
        if (gap <= 15) {  // a relief inside a block
            EXPECT_EQ(b.start_point, a.end_point) << "vehicle " << a.vehicle;
        }
    }
}

// More buses are out in the two peaks than at midday.
TEST(Generate, MorningAndEveningPeaks) {
    const l_tarefas tasks = generate_tasks(300, 21);
    const int midday = buses_at(tasks, 720);
    EXPECT_GT(buses_at(tasks, 450), midday + 30);
    EXPECT_GT(buses_at(tasks, 1000), midday + 30);
}

// The written file is read back whole, with no warning, into the same tasks.
TEST(Generate, ReaderTakesTheFileWhole) {
    const l_tarefas tasks = generate_tasks(40, 9);
    const std::string text = text_of(tasks);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), static_cast<long>(tasks.size()));
    EXPECT_EQ(text.find('\r'), std::string::npos);
    std::istringstream in(text);
    l_tarefas read;
    const escala::ReadOutcome outcome = escala::read_tasks(in, read);
    EXPECT_FALSE(outcome.malformed);
    EXPECT_EQ(read, tasks);
}

// One record: eight fields, ';' between them, LF at the end.
TEST(Generate, RecordLayout) {
    EXPECT_EQ(text_of({Task(3, 360, 540, 9000, 9002, 12, 11, 13)}), "3;360;540;9000;9002;12;11;13\n");
}

// The program writes the generator's day to --out, the same file for the
// same seed, and to standard output without --out.
TEST_F(GenProgram, WritesTheDay) {
    ASSERT_EQ(tool("gen", "--vehicles 12 --seed 4 --out a.tsk").status, 0);
    ASSERT_EQ(tool("gen", "--vehicles 12 --seed 4 --out b.tsk").status, 0);
    const std::string expected = text_of(generate_tasks(12, 4));
    EXPECT_EQ(read_file(path("a.tsk")), expected);
    EXPECT_EQ(read_file(path("b.tsk")), expected);
    const RunResult out = tool("gen", "--seed 4 --vehicles 12");
    ASSERT_EQ(out.status, 0);
    EXPECT_EQ(out.out, expected);
}

// Unusable arguments end the program with status 2 and a message.
TEST_F(GenProgram, RejectsUnusableArguments) {
    for (const char* args : {"--vehicles 0", "--vehicles -3", "--vehicles many", "--vehicles 0x10", "--seed -1",
                             "--seed 99999999999", "--bogus", "extra"}) {
        const RunResult r = tool("gen", args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.rfind("escala-gen: ", 0), 0u) << args << ": " << r.err;
    }
    // A file that cannot be written is a write failure, and leaves nothing behind.
    const RunResult r = tool("gen", "--out no/such/dir/x.tsk");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("escala-gen: cannot write in \"no/such/dir\"", 0), 0u) << r.err;
    EXPECT_TRUE(dir.entries().empty());
}

// --help and --version answer and succeed.
TEST_F(GenProgram, HelpAndVersion) {
    const RunResult help = tool("gen", "--help");
    ASSERT_EQ(help.status, 0);
    for (const char* option : {"--vehicles", "--seed", "--out", "--version"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    const RunResult version = tool("gen", "--version");
    ASSERT_EQ(version.status, 0);
    EXPECT_NE(version.out.find(ESCALA_VERSION), std::string::npos);
}
