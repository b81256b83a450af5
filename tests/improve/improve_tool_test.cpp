// escala-improve end to end: the real binaries in a scratch directory, the
// improved roster judged by escala-check.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <fstream>

#include "test_support.hpp"

namespace {

using namespace escala::test;

const std::string bin = ESCALA_BINARY_DIR;
using Outcome = RunResult;

// One scratch directory for the suite, with escala's roster of the sample
// made once under the fixed clock.
class ImproveTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        fs::copy_file(source_path("examples/Lintra.tsk"), dir_->path() / "Lintra.tsk");
        escala_ = run(std::string("faketime -f '") + fixed_clock + "' '" + bin + "/escala'");
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static Outcome run(const std::string& command_line) { return run_command(dir_->path(), command_line); }
    static Outcome improve(const std::string& args) { return run_tool(dir_->path(), "escala-improve", args); }
    static Outcome check(const std::string& dump) {
        return run_tool(dir_->path(), "escala-check", "--tasks Lintra.tsk --dump " + dump);
    }

    static std::unique_ptr<TempDir> dir_;
    static Outcome escala_;
};

std::unique_ptr<TempDir> ImproveTool::dir_;
Outcome ImproveTool::escala_;

// Time limits are measured with room for the sanitizers' slower code.
#ifdef ESCALA_SANITIZED
constexpr double slow_build = 2;
#else
constexpr double slow_build = 1;
#endif

const std::string repeatable = " --threads 1 --seed 5 --iterations 300 --time-limit 0 --quiet";

// The improved roster passes escala-check with the objective the summary
// gives, never above escala's own; the trace falls to it.
TEST_F(ImproveTool, ImprovedRosterIsValidWithTheSameObjective) {
    ASSERT_EQ(escala_.status, 0) << escala_.err;
    const long long escala_value = number_after(escala_.out, "Objective Value Found: ");
    const Outcome r = improve("--dump dumpfile.txt --out-dir a" + repeatable);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(number_after(r.out, "start "), escala_value);
    const long long best = number_after(r.out, ", best ");
    EXPECT_LE(best, escala_value);

    const Outcome c = check("a/dumpfile.txt");
    EXPECT_EQ(c.status, 0) << c.out;
    EXPECT_NE(c.out.find("\nresult valid\n"), std::string::npos);
    EXPECT_EQ(number_after(c.out, "\nobjective "), best);
    EXPECT_EQ(number_after(read_file(dir_->path() / "a/ArqSaida-zz.txt"), "global = "), best);
    EXPECT_TRUE(fs::exists(dir_->path() / "a/ArqSaida.txt"));

    const std::vector<std::string> trace = split_lines(read_file(dir_->path() / "a/improve.csv"));
    ASSERT_FALSE(trace.empty());
    long long previous = escala_value;
    for (const std::string& line : trace) {
        const long long value = std::atoll(line.substr(line.rfind(',') + 1).c_str());
        EXPECT_LT(value, previous) << line;
        previous = value;
    }
    EXPECT_EQ(previous, best);
}

// One search with the same seed and iterations: the same roster and trace.
TEST_F(ImproveTool, SameSeedSameRosterAndTrace) {
    ASSERT_EQ(improve("--dump dumpfile.txt --out-dir b1" + repeatable).status, 0);
    ASSERT_EQ(improve("--dump dumpfile.txt --out-dir b2" + repeatable).status, 0);
    EXPECT_EQ(read_file(dir_->path() / "b1/dumpfile.txt"), read_file(dir_->path() / "b2/dumpfile.txt"));
    auto without_seconds = [](const std::string& text) {
        std::string kept;
        for (const std::string& line : split_lines(text)) kept += line.substr(line.find(',')) + "\n";
        return kept;
    };
    EXPECT_EQ(without_seconds(read_file(dir_->path() / "b1/improve.csv")), without_seconds(read_file(dir_->path() / "b2/improve.csv")));
}

// Without a dump: a construction of its own, of the size asked for. 120
// members drive the sample (at most 63 tasks run at once); 40 cannot, and the
// overlaps are then reported.
TEST_F(ImproveTool, OwnConstructionOfAnyCrewSize) {
    const Outcome r = improve("--crew 120 --out-dir c --threads 2 --seed 1 --iterations 100 --time-limit 0 --start plain");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("120 crew members, start "), std::string::npos) << r.err;
    EXPECT_EQ(read_file(dir_->path() / "c/dumpfile.txt").substr(0, 6), "120##0");
    const Outcome c = check("c/dumpfile.txt");
    EXPECT_EQ(c.status, 0) << c.out;
    EXPECT_EQ(number_after(c.out, "\nobjective "), number_after(r.out, ", best "));

    const Outcome few =
        improve("--crew 40 --out-dir e --threads 1 --seed 1 --iterations 10 --time-limit 0 --quiet --start plain");
    ASSERT_EQ(few.status, 0) << few.err;
    EXPECT_NE(few.err.find("not drivable as it stands; escala-check"), std::string::npos) << few.err;
    EXPECT_EQ(check("e/dumpfile.txt").status, 1);
}

// From the column generation's days: the integer program's roster, never
// worse than escala's, valid, with the objective and the bound escala-check
// gives it.
TEST_F(ImproveTool, StartFromTheColumns) {
    const long long escala_value = number_after(escala_.out, "Objective Value Found: ");
    const Outcome r = improve("--dump dumpfile.txt --start columns --out-dir f --threads 1 --seed 1 --iterations 200 "
                              "--time-limit 30");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("integer program over "), std::string::npos) << r.err;
    const long long best = number_after(r.out, ", best ");
    EXPECT_LE(best, escala_value);
    const Outcome c = run("'" + bin + "/escala-check' --tasks Lintra.tsk --dump f/dumpfile.txt --tight-bound");
    EXPECT_EQ(c.status, 0) << c.out;
    EXPECT_EQ(number_after(c.out, "\nobjective "), best);
    // Its bound: the first generation's, or the one at the crew cost of its second generation's duals.
    EXPECT_GE(number_after(r.out, "lower bound "), number_after(c.out, "\nobjective_lower_bound_cg "));
    EXPECT_LE(number_after(r.out, "lower bound "), best);
}

// The time limit holds through the columns, the integer programs and the
// searches: on the 1,257 weekday trips (with room for the reading and writing
// in slow builds), and on the two-depot day (2,434 trips) with one thread.
// Every task is placed once (in a slow build the roster may still overlap:
// status 1 then), and escala-check agrees with the objective.
TEST_F(ImproveTool, TimeLimitHolds) {
    const struct {
        std::string tasks, out, args;
        double most_seconds;
    } cases[] = {
        {"ltd-p1-weekday-trips.tsk", "g", "--time-limit 6 --threads 2", 6 + 6.0},
        {"ltd-2depots-weekday-trips.tsk", "h", "--time-limit 10 --threads 1", 11.5 * slow_build},
    };
    for (const auto& c : cases) {
        const std::string tasks = source_path("examples/" + c.tasks).string();
        const auto started = std::chrono::steady_clock::now();
        const Outcome r = improve("--tasks '" + tasks + "' --out-dir " + c.out + " " + c.args + " --seed 1 --quiet");
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        ASSERT_EQ(r.status, 0) << c.tasks << "\n" << r.err;
        EXPECT_LT(seconds, c.most_seconds) << c.tasks << "\n" << r.out;
        const Outcome check = run("'" + bin + "/escala-check' --tasks '" + tasks + "' --dump " + c.out + "/dumpfile.txt");
        EXPECT_EQ(check.out.find("is in no schedule"), std::string::npos) << check.out;
        EXPECT_EQ(check.out.find("is placed more than once"), std::string::npos) << check.out;
        EXPECT_EQ(number_after(check.out, "\nobjective "), number_after(r.out, ", best ")) << c.tasks;
    }
}

// With the same seed and iterations, the first search of a start from the
// columns is the plain path's whole search; what follows keeps only cheaper
// rosters. Here the crew is tight, and the generation does not converge; with
// two threads a search runs beside every integer program.
TEST_F(ImproveTool, NeverWorseThanThePlainPath) {
    for (const std::string threads : {"1", "2"}) {
        const std::string same = " --crew 80 --threads " + threads + " --seed 3 --iterations 2000 --time-limit 20 --quiet";
        const Outcome plain = improve("--start plain --out-dir p" + threads + same);
        const Outcome columns = improve("--start columns --out-dir q" + threads + same);
        ASSERT_EQ(plain.status, 0) << plain.err;
        ASSERT_EQ(columns.status, 0) << columns.err;
        EXPECT_LE(number_after(columns.out, ", best "), number_after(plain.out, ", best ")) << columns.out;
    }
}

TEST_F(ImproveTool, ExitStatuses) {
    struct Case {
        const char* name;
        std::string args;
        int status;
    };
    std::ofstream(dir_->path() / "other.tsk") << "1;100;200;1;1;0;1;1\n";
    std::ofstream(dir_->path() / "not-a-dir") << "x";
    const std::vector<Case> cases{
        {"missing task file", "--tasks missing.tsk", 2},
        {"dump of other tasks", "--tasks other.tsk --dump dumpfile.txt", 2},
        {"malformed dump", "--dump Lintra.tsk", 2},
        {"crew differs from the dump", "--dump dumpfile.txt --crew 10", 2},
        {"unknown option", "--bogus", 2},
        {"seconds not a number", "--time-limit soon", 2},
        {"output directory is a file", "--dump dumpfile.txt --out-dir not-a-dir", 1},
        {"help", "--help", 0},
    };
    for (const Case& c : cases) {
        const Outcome r = improve(c.args + " --iterations 10 --time-limit 0 --quiet");
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.err;
        if (c.status == 2) {
            EXPECT_NE(r.err.find("escala-improve: "), std::string::npos) << c.name;
        }
    }
    EXPECT_NE(improve("--help").out.find("Exit status"), std::string::npos);
}

// Ctrl-C ends the search; the best roster is written whole and the status says so.
// (timeout signals only the program: without --foreground it signals its
// whole process group as well, a second Ctrl-C that ends the program at once.)
TEST_F(ImproveTool, InterruptKeepsTheBestRoster) {
    const Outcome r = run("timeout --foreground --preserve-status -s INT 3 '" + bin +
                          "/escala-improve' --dump dumpfile.txt --out-dir d --time-limit 600 --threads 1");
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_NE(r.err.find("kept the best roster"), std::string::npos) << r.err;
    const Outcome c = check("d/dumpfile.txt");
    EXPECT_EQ(c.status, 0) << c.out;
    EXPECT_EQ(number_after(c.out, "\nobjective "), number_after(r.out, ", best "));
}

}  // namespace
