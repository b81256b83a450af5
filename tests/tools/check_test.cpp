// escala-check: the roster checks and measures, and the program run against
// a real escala run.
#include <gtest/gtest.h>

#include <iomanip>
#include <map>
#include <optional>
#include <regex>
#include <sstream>

#include "check/check.hpp"
#include "crew/crew_util.hpp"
#include "gtfs/legend.hpp"
#include "test_support.hpp"

namespace escala::tools {
namespace {

using namespace escala::test;

// ---- the lower bound ----

// Tasks cover [start, end): touching ones do not overlap, empty ones count not.
TEST(MaxSimultaneous, CountsTasksUnderWayAtOneMoment) {
    struct Case {
        l_tarefas tasks;
        std::int32_t most;
    };
    const std::vector<Case> cases = {
        {{}, 0},
        {{Task(1, 0, 10, 0, 0, 0, 0, 0), Task(1, 10, 20, 0, 0, 0, 0, 0)}, 1},
        {{Task(1, 0, 100, 0, 0, 0, 0, 0), Task(1, 10, 20, 0, 0, 0, 0, 0), Task(1, 30, 40, 0, 0, 0, 0, 0)}, 2},
        {{Task(1, 0, 30, 0, 0, 0, 0, 0), Task(1, 10, 40, 0, 0, 0, 0, 0), Task(1, 20, 50, 0, 0, 0, 0, 0)}, 3},
        {{Task(1, 0, 10, 0, 0, 0, 0, 0), Task(1, 5, 5, 0, 0, 0, 0, 0), Task(1, 8, 2, 0, 0, 0, 0, 0)}, 1},
        {{Task(1, 0, 10, 0, 0, 0, 0, 0), Task(1, 0, 10, 0, 0, 0, 0, 0, 1)}, 1},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(max_simultaneous(cases[i].tasks), cases[i].most) << i;
}

// ---- checks and measures on small rosters ----

// Task A alone gets a 30-minute virtual task; so does B. A and B together have
// a 100-minute break and no virtual task.
const std::string task_a = "7,480,600,1,2,0,3,4";
const std::string virtual_a = "7,600,630,2,2,0,4,4,*";
const std::string task_b = "9,700,800,5,6,0,1,1";
const std::string virtual_b = "9,800,830,6,6,0,1,1,*";
const std::string task_c = "5,560,660,2,2,0,4,4";  // overlaps A by 40 minutes

// A valid roster: hand-computed costs (A: work 150, idle 280 -> 11200; B: work
// 130, idle 300 -> 12000; empty member: idle 430 -> 17200) and totals.
TEST(CheckRoster, ValidRosterAndItsMeasures) {
    const l_tarefas tasks = tasks_of(task_a + "\n" + task_b + "\n");
    const CheckReport r =
        check_roster(tasks, dump_of("3##0\n" + task_a + "\n" + virtual_a + "\n##1\n" + task_b + "\n" + virtual_b + "\n##2\n"), default_rules());
    EXPECT_TRUE(r.valid());
    ASSERT_EQ(r.crew.size(), 3u);
    EXPECT_EQ(r.crew[0].cost, 11200u);
    EXPECT_EQ(r.crew[0].work_time, 150);
    EXPECT_EQ(r.crew[0].idle_time, 280);
    EXPECT_EQ(r.crew[1].cost, 12000u);
    EXPECT_EQ(r.crew[2].cost, 17200u);
    EXPECT_EQ(r.crew[2].idle_time, 430);
    EXPECT_EQ(r.objective, 40400u);
    EXPECT_EQ(r.totals.crew, 3);
    EXPECT_EQ(r.totals.real_tasks, 2);
    EXPECT_EQ(r.totals.virtual_tasks, 2);
    EXPECT_EQ(r.totals.without_tasks, 1);
    EXPECT_EQ(r.lower_bound, 1);
}

// A split shift (360-600 on vehicle 1, 900-1080 on vehicle 2, points differ):
// work 420, idle 300, one vehicle change, one forbidden and one permitted point
// change: 12000 + 9000 + 10000 + 300 = 31300.
TEST(CheckRoster, SplitShiftMeasures) {
    const std::string first = "1,360,600,1,2,0,0,0", second = "2,900,1080,3,4,0,0,0";
    const CheckReport r = check_roster(tasks_of(first + "\n" + second + "\n"), dump_of("1##0\n" + first + "\n" + second + "\n"), default_rules());
    EXPECT_TRUE(r.valid());
    EXPECT_EQ(r.crew[0].cost, 31300u);
    EXPECT_EQ(r.crew[0].work_time, 420);
    EXPECT_EQ(r.crew[0].idle_time, 300);
    EXPECT_EQ(r.crew[0].overtime, 0);
    EXPECT_TRUE(r.crew[0].split_shift);
    EXPECT_EQ(r.totals.split_shifts, 1);
    EXPECT_EQ(r.totals.vehicle_changes, 1);
    EXPECT_EQ(r.totals.permitted_point_changes, 1);
    EXPECT_EQ(r.totals.forbidden_point_changes, 1);
}

// Each hand edit gives exactly the violation that names it, with its crew
// member and dump line (task-file record for a task in no schedule).
TEST(CheckRoster, EachFaultGivesItsViolation) {
    struct Expected {
        int crew;
        int line;
        std::string message;
    };
    struct Case {
        std::string name;
        std::string tasks;
        std::string dump;
        Expected expected;
    };
    const std::string ab = task_a + "\n" + task_b + "\n";
    const std::vector<Case> cases = {
        {"removed", ab, "2##0\n" + task_a + "\n" + virtual_a + "\n##1\n", {-1, 2, "task " + task_b + " is in no schedule"}},
        {"held twice by the file, once in the dump", task_a + "\n" + task_a + "\n",
         "1##0\n" + task_a + "\n" + virtual_a + "\n", {-1, 2, "task " + task_a + " is in no schedule"}},
        {"duplicated", ab, "2##0\n" + task_a + "\n" + task_b + "\n##1\n" + task_b + "\n" + virtual_b + "\n",
         {1, 5, "task " + task_b + " is placed more than once (also crew 0, line 3)"}},
        {"not in the task file", task_a + "\n", "2##0\n" + task_a + "\n" + virtual_a + "\n##1\n" + task_b + "\n" + virtual_b + "\n",
         {1, 5, "task " + task_b + " is not in the task file"}},
        {"moved into an overlap", ab + task_c + "\n",
         "2##0\n" + task_a + "\n" + task_c + "\n5,660,690,2,2,0,4,4,*\n##1\n" + task_b + "\n" + virtual_b + "\n",
         {0, 3, "task " + task_c + " overlaps the task on line 2 by 40 minutes"}},
        {"virtual task too short", task_a + "\n", "1##0\n" + task_a + "\n7,600,620,2,2,0,4,4,*\n",
         {0, 3, "closing virtual task 7,600,620,2,2,0,4,4,* should be " + virtual_a}},
        {"virtual task missing", task_a + "\n", "1##0\n" + task_a + "\n",
         {0, 2, "the schedule lacks its closing virtual task " + virtual_a}},
        {"virtual task not due after a break", ab, "1##0\n" + task_a + "\n" + task_b + "\n" + virtual_b + "\n",
         {0, 4, "virtual task " + virtual_b + " is not due: gaps and slack reach 30 minutes with a break"}},
        {"virtual task without real tasks", task_a + "\n", "2##0\n" + task_a + "\n" + virtual_a + "\n##1\n" + virtual_b + "\n",
         {1, 5, "virtual task " + virtual_b + " closes a schedule without real tasks"}},
        {"virtual task not last", ab, "1##0\n" + task_a + "\n" + virtual_a + "\n" + task_b + "\n",
         {0, 3, "virtual task " + virtual_a + " is not the last task of the schedule"}},
        {"out of start order", ab, "1##0\n" + task_b + "\n" + task_a + "\n",
         {0, 3, "task " + task_a + " starts before the task on line 2; a schedule runs in start-time order"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CheckReport r = check_roster(tasks_of(c.tasks), dump_of(c.dump), default_rules());
        ASSERT_EQ(r.violations.size(), 1u) << r.violations[0].message;
        EXPECT_EQ(r.violations[0].crew, c.expected.crew);
        EXPECT_EQ(r.violations[0].line, c.expected.line);
        EXPECT_EQ(r.violations[0].message, c.expected.message);
    }
}

// A long task overlapped by a later, non-adjacent one is still found. (The
// closing task follows the last-starting task: gap 10, so 20 minutes long.)
TEST(CheckRoster, OverlapWithAnEarlierLongTask) {
    const std::string longest = "1,0,100,1,1,0,0,0", inner = "1,10,20,1,1,0,0,0", late = "1,30,40,1,1,0,0,0";
    const CheckReport r = check_roster(tasks_of(longest + "\n" + inner + "\n" + late + "\n"),
                                       dump_of("1##0\n" + longest + "\n" + inner + "\n" + late + "\n1,40,60,1,1,0,0,0,*\n"), default_rules());
    ASSERT_EQ(r.violations.size(), 2u);
    EXPECT_EQ(r.violations[1].message, "task " + late + " overlaps the task on line 2 by 10 minutes");
}

// The printed form: one line per member, objective, totals, bound, violations, result.
TEST(PrintReport, LineFormat) {
    const CheckReport r = check_roster(tasks_of(task_a + "\n" + task_b + "\n"), dump_of("1##0\n" + task_a + "\n" + virtual_a + "\n"), default_rules());
    std::ostringstream out;
    print_report(out, r, "T.tsk", "D.txt");
    EXPECT_EQ(out.str(),
              "crew 0 cost 11200 work 150 idle 280 overtime 0 split no\n"
              "objective 11200\n"
              "totals crew 1 tasks 1 virtual 1 without_tasks 0 split_shifts 0 overlap 0 overtime 0 excess 0 "
              "vehicle_changes 0 permitted_point_changes 0 forbidden_point_changes 0\n"
              "lower_bound 1\n"
              // idle 40 x (430 - 220 - 30) = 7200, plus the one pair A -> B: another
              // vehicle at another point, 19000; the roster misses B, so it is below.
              "objective_lower_bound 26200\n"
              "gap -57.25%\n"
              "violation T.tsk record 2: task " + task_b + " is in no schedule\n"
              "result invalid 1 violation\n");

    // With a legend, a violation says what its task stands for in the feed.
    gtfs::Legend legend;
    legend[{gtfs::IdKind::vehicle, 9}] = {"blk_9", ""};
    legend[{gtfs::IdKind::point, 5}] = {"escenter", "Eugene Station"};
    std::ostringstream named;
    print_report(named, r, "T.tsk", "D.txt", [&](const Task& t) { return gtfs::describe_task(legend, t); });
    EXPECT_NE(named.str().find("is in no schedule (block blk_9, from escenter \"Eugene Station\" to 6, route 1)\n"),
              std::string::npos)
        << named.str();
}

// ---- the program on a real run of escala ----

class RealRun : public ::testing::Test {
protected:
    static inline std::optional<TempDir> folder;
    static inline fs::path dir;

    // escala on the bundled sample, once for the whole suite, clock frozen.
    static void SetUpTestSuite() {
        dir = folder.emplace().path();
        fs::copy_file(source_path("examples/Lintra.tsk"), dir / "Lintra.tsk");
        const RunResult run = run_escala(dir);
        ASSERT_EQ(run.status, 0) << run.err;
        write_file(dir / "console.txt", run.out + run.err);
    }
    static void TearDownTestSuite() { folder.reset(); }

    static RunResult check(const std::string& args) { return run_tool(dir, "escala-check", args); }

    static std::vector<std::string> dump_lines() { return split_lines(read_file(dir / "dumpfile.txt")); }
    static void write_dump_file(const std::string& name, const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& l : lines) text += l + '\n';
        write_file(dir / name, text);
    }
};

// The final roster is valid, and its objective and per-member work, idle,
// overtime and split shift equal those of escala's console and detailed report.
TEST_F(RealRun, FinalRosterPassesAndMatchesTheDetailedReport) {
    const RunResult r = check("");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("\nresult valid\n"), std::string::npos);
    const std::string console = read_file(dir / "console.txt");
    const std::string report = read_file(dir / "ArqSaida-zz.txt");
    const long long objective = number_after(console, "Objective Value Found: ");
    EXPECT_EQ(number_after(r.out, "\nobjective "), objective);
    EXPECT_EQ(number_after(report, "global = "), objective);
    // The objective's lower bound lies below escala's roster, and the gap line follows it.
    const long long bound = number_after(r.out, "\nobjective_lower_bound ");
    ASSERT_GE(bound, 0);
    EXPECT_LE(bound, objective);
    EXPECT_NE(r.out.find("\ngap "), std::string::npos);

    // Footer of each member in the detailed report, in member order.
    std::vector<std::string> expected;
    for (const std::string& l : split_lines(report)) {
        if (l.starts_with("Tempo total de trabalho (minutos): ")) expected.push_back("work " + std::to_string(number_after(l, ": ")));
        if (l.starts_with("Tempo ocioso (minutos): ")) expected.back() += " idle " + std::to_string(number_after(l, ": "));
        if (l.starts_with("Hora Extra (minutos): ")) expected.back() += " overtime " + std::to_string(number_after(l, ": ")) + " split no";
        if (l.starts_with("Tripulante com pegada dupla.")) expected.back().replace(expected.back().size() - 2, 2, "yes");
    }
    ASSERT_EQ(expected.size(), 219u);
    const std::regex crew_line(R"(crew (\d+) cost \d+ (work .*))");
    std::size_t matched = 0;
    for (const std::string& l : split_lines(r.out)) {
        std::smatch m;
        if (!std::regex_match(l, m, crew_line)) continue;
        EXPECT_EQ(m[2].str(), expected.at(std::stoul(m[1].str()))) << l;
        ++matched;
    }
    EXPECT_EQ(matched, 219u);
}

// A rules file: escala-check prints the values that differ and scores the
// roster with them; a bad one stops every companion with status 2 and one
// line naming the file, the line and the key.
TEST_F(RealRun, RulesFile) {
    write_file(dir / "agreement.toml", "[limits]\nworkday = 480\nexcess_after = 600\n[weights]\nt_ocioso = 30\n");
    const RunResult r = check("--rules agreement.toml");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.starts_with("rules agreement.toml: t_ocioso 30, workday 480, excess_after 600\n")) << r.out;
    Rules rules;
    rules.limits.workday = 480;
    rules.limits.excess_after = 600;
    rules.weights.t_ocioso = 30;
    v_crew roster = load_dump(dir / "dumpfile.txt", rules);
    EXPECT_EQ(number_after(r.out, "\nobjective "), global_objective(roster, rules));
    EXPECT_NE(number_after(r.out, "\nobjective "), number_after(check("").out, "\nobjective "));

    write_file(dir / "bad.toml", "[weights]\nt_ocioos = 30\n");
    const std::pair<const char*, const char*> runs[] = {{"escala-check", ""},
                                                        {"escala-gantt", "--out bad-out/escala.html"},
                                                        {"escala-export", "--out-dir bad-out"},
                                                        {"escala-improve", "--out-dir bad-out"},
                                                        {"escala-batch", "--out-dir bad-out"}};
    for (const auto& [program, args] : runs) {
        const RunResult bad = run_tool(dir, program, std::string("--rules bad.toml ") + args);
        EXPECT_EQ(bad.status, 2) << program;
        EXPECT_EQ(bad.err, std::string(program) + ": bad.toml:2: weights.t_ocioos: unknown key (did you mean t_ocioso?)\n")
            << program;
    }
    EXPECT_FALSE(fs::exists(dir / "bad-out"));
}

// The column-generation bounds lie between the quick bound and the roster,
// the one at the crew cost at or above the first, and the gap is taken
// against the larger; a roster they reach is proven optimal.
TEST_F(RealRun, TightBound) {
    const RunResult r = check("--tight-bound --bound-time 60 --threads 2");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    const long long quick = number_after(r.out, "\nobjective_lower_bound ");
    const long long tight = number_after(r.out, "\nobjective_lower_bound_cg ");
    ASSERT_GE(tight, 0) << r.out;
    const long long objective = number_after(r.out, "\nobjective ");
    EXPECT_LE(quick, tight);
    EXPECT_LE(tight, objective);
    const long long exact = number_after(r.out, "\nobjective_lower_bound_exact ");
    ASSERT_GE(exact, 0) << r.out;
    EXPECT_LE(tight, exact);
    EXPECT_LE(exact, objective);
    EXPECT_NE(r.out.find(" converged\n"), std::string::npos);
    EXPECT_EQ(r.out.find("not converged"), std::string::npos);
    std::ostringstream gap;
    gap << "\ngap " << std::fixed << std::setprecision(2)
        << (static_cast<double>(objective) / static_cast<double>(exact) - 1) * 100 << "%\n";
    EXPECT_NE(r.out.find(gap.str()), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\nroster proven optimal\nresult valid\n") != std::string::npos, exact >= objective) << r.out;
}

// A bound time too short for the weekday trips: the line says so, and the
// gap falls back on the quick bound.
TEST_F(RealRun, TightBoundOutOfTime) {
    const RunResult r = check("--tasks '" ESCALA_SOURCE_DIR "/examples/ltd-p1-weekday-trips.tsk' --dump dumpfile.txt "
                            "--tight-bound --bound-time 0.01");
    EXPECT_NE(r.out.find("\nobjective_lower_bound_cg none rounds 0 seconds "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" not converged\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nobjective_lower_bound_exact none (the bound at priced costs did not converge in "
                         "--bound-time)\n"),
              std::string::npos)
        << r.out;
}

// The constructed roster, rebuilt from "ArqSaida.txt", gets the per-member
// costs and the objective that escala printed after the construction.
TEST_F(RealRun, ConstructionCostsMatchTheConsole) {
    std::vector<std::vector<std::string>> crew;
    std::vector<std::string> fields;
    for (const std::string& l : split_lines(read_file(dir / "ArqSaida.txt"))) {
        if (l.find("Tarefas do Tripulante ") != std::string::npos) crew.emplace_back();
        const std::size_t colon = l.find(':');
        if (l == "*TAREFA VIRTUAL*") crew.back().back() += ",*";
        if (crew.empty() || colon == std::string::npos) continue;
        fields.push_back(l.substr(l.find_first_not_of(' ', colon + 1)));
        if (fields.size() < 8) continue;
        std::string task = fields[0];
        for (std::size_t i = 1; i < 8; ++i) task += "," + fields[i];
        crew.back().push_back(task);
        fields.clear();
    }
    ASSERT_EQ(crew.size(), 219u);
    std::vector<std::string> lines = {"219"};
    for (std::size_t i = 0; i < crew.size(); ++i) {
        const std::string marker = "##" + std::to_string(i);
        if (i == 0) lines[0] += marker; else lines.push_back(marker);
        lines.insert(lines.end(), crew[i].begin(), crew[i].end());
    }
    write_dump_file("construction.txt", lines);

    const RunResult r = check("--dump construction.txt");
    ASSERT_TRUE(r.status == 0 || r.status == 1) << r.err;
    const std::string console = read_file(dir / "console.txt");
    const std::regex printed(R"(Tripulante (\d+): (\d+) )");
    std::map<std::string, std::string> cost_of;
    for (auto it = std::sregex_iterator(console.begin(), console.end(), printed); it != std::sregex_iterator(); ++it)
        cost_of[(*it)[1].str()] = (*it)[2].str();
    ASSERT_EQ(cost_of.size(), 219u);
    const std::regex crew_line(R"(crew (\d+) cost (\d+) .*)");
    std::size_t matched = 0;
    for (const std::string& l : split_lines(r.out)) {
        std::smatch m;
        if (!std::regex_match(l, m, crew_line)) continue;
        EXPECT_EQ(m[2].str(), cost_of[m[1].str()]) << l;
        ++matched;
    }
    EXPECT_EQ(matched, 219u);
    EXPECT_EQ(number_after(r.out, "\nobjective "), number_after(console, "Valor da solucao global: "));
}

// Finds the first real task line of the dump at or after `from`.
std::size_t next_real_task(const std::vector<std::string>& lines, std::size_t from) {
    while (from < lines.size() && (lines[from].find("##") != std::string::npos || lines[from].ends_with(",*"))) ++from;
    return from;
}

// Hand edits of the real dump: each gives its violation and status 1.
TEST_F(RealRun, HandEditsAreReported) {
    const std::vector<std::string> dump = dump_lines();
    const std::size_t first = next_real_task(dump, 0);
    ASSERT_LT(first, dump.size());
    const std::string task = dump[first];
    const int line = static_cast<int>(first) + 1;

    std::vector<std::string> removed = dump;
    removed.erase(removed.begin() + static_cast<long>(first));
    write_dump_file("removed.txt", removed);
    RunResult r = check("--dump removed.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("violation Lintra.tsk record "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(": task " + task + " is in no schedule\n"), std::string::npos) << r.out;

    std::vector<std::string> duplicated = dump;
    duplicated.insert(duplicated.begin() + line, task);  // right below itself, in crew 0
    write_dump_file("duplicated.txt", duplicated);
    r = check("--dump duplicated.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("violation duplicated.txt:" + std::to_string(line + 1) + " crew 0: task " + task +
                         " is placed more than once (also crew 0, line " + std::to_string(line) + ")\n"),
              std::string::npos)
        << r.out;

    // The closing virtual task of some member, five minutes longer.
    std::size_t closing = 0;
    while (closing < dump.size() && !dump[closing].ends_with(",*")) ++closing;
    ASSERT_LT(closing, dump.size());
    std::istringstream fields(dump[closing]);
    std::vector<std::string> f;
    for (std::string x; std::getline(fields, x, ',');) f.push_back(x);
    f[2] = std::to_string(std::stoi(f[2]) + 5);
    std::string longer = f[0];
    for (std::size_t i = 1; i < f.size(); ++i) longer += "," + f[i];
    std::vector<std::string> wrong = dump;
    wrong[closing] = longer;
    write_dump_file("wrong_virtual.txt", wrong);
    r = check("--dump wrong_virtual.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(":" + std::to_string(closing + 1) + " crew ") , std::string::npos) << r.out;
    EXPECT_NE(r.out.find(": closing virtual task " + longer + " should be " + dump[closing] + "\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("result invalid 1 violation"), std::string::npos) << r.out;
}

// A task moved by hand into another member's schedule where it overlaps one
// of that member's tasks is reported as an overlap in that member's schedule.
TEST_F(RealRun, TaskMovedIntoAnOverlap) {
    const Dump d = dump_of(read_file(dir / "dumpfile.txt"));
    // A real task T of member a that overlaps a real task of another member b.
    for (std::size_t a = 0; a < d.crew.size(); ++a)
        for (const DumpTask& t : d.crew[a].tasks) {
            if (t.task.is_virtual) continue;
            for (std::size_t b = 0; b < d.crew.size(); ++b) {
                if (b == a) continue;
                for (const DumpTask& u : d.crew[b].tasks) {
                    if (u.task.is_virtual || u.task.start_time >= t.task.end_time || t.task.start_time >= u.task.end_time)
                        continue;
                    std::vector<std::string> lines = dump_lines();
                    const std::string moved = lines[t.line - 1];
                    // Into b's block at its place in start order; then out of a's.
                    std::size_t at = d.crew[b].marker_line;  // index just after the marker
                    for (const DumpTask& x : d.crew[b].tasks)
                        if (!x.task.is_virtual && x.task.start_time <= t.task.start_time) at = x.line;
                    lines.insert(lines.begin() + static_cast<long>(at), moved);
                    lines.erase(lines.begin() + (t.line - 1 + (static_cast<int>(at) < t.line ? 1 : 0)));
                    write_dump_file("moved.txt", lines);
                    const RunResult r = check("--dump moved.txt");
                    EXPECT_EQ(r.status, 1);
                    EXPECT_TRUE(std::regex_search(r.out, std::regex("violation moved\\.txt:\\d+ crew " + std::to_string(b) +
                                                                    ": task [-0-9,]+ overlaps the task on line \\d+ by \\d+ minutes")))
                        << r.out;
                    EXPECT_EQ(r.out.find(" is in no schedule"), std::string::npos);
                    EXPECT_EQ(r.out.find(" more than once"), std::string::npos);
                    return;
                }
            }
        }
    FAIL() << "no two overlapping tasks in different schedules";
}

// Unusable input: exit status 2 and a message naming the file and line.
TEST_F(RealRun, UnusableInput) {
    std::vector<std::string> broken = dump_lines();
    broken[4] = "12,abc,3,4,5,6,7,8";
    write_dump_file("broken.txt", broken);
    RunResult r = check("--dump broken.txt");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "escala-check: broken.txt:5: field 2 \"abc\" is not an integer\n");
    EXPECT_TRUE(r.out.empty());

    // Every other way in which a file can be unusable: status 2, one line
    // naming the file (and the line), nothing on standard output.
    write_files(dir, {{"empty.tsk", ""},
                      {"short.tsk", "1,2,3\n1907;704;905;1;2;0;5;5\n"},
                      {"binary.bin", std::string("\x7f" "ELF\0\x01\xff", 7)},
                      {"huge.txt", "1##0\n1,2,3,4,5,6,7,99999999999\n"},
                      {"truncated.txt", "219##0\n1,2,3,4,5,6,7,8\n##1\n"}});
    fs::create_directories(dir / "folder");
    const struct {
        std::string args;
        std::string err;
    } cases[] = {
        {"--tasks folder", "escala-check: folder: is a folder, not a task file\n"},
        {"--tasks no_such_tasks.tsk", "escala-check: no_such_tasks.tsk: cannot read the task file: No such file or directory\n"},
        {"--tasks empty.tsk", "escala-check: empty.tsk: holds no task\n"},
        {"--tasks short.tsk", "escala-check: short.tsk:1: 3 fields where 8 are expected\n"},
        {"--tasks binary.bin", "escala-check: binary.bin:1: field 1 \"\\x7fELF\\x00\\x01\\xff\" is not an integer\n"},
        {"--dump folder", "escala-check: folder: is a folder, not a roster dump\n"},
        {"--dump no_such_dump.txt", "escala-check: cannot read dump \"no_such_dump.txt\"\n"},
        {"--dump empty.tsk", "escala-check: empty.tsk:1: empty dump: expected the roster size followed by \"##0\"\n"},
        {"--dump binary.bin", "escala-check: binary.bin:1: roster size \"\\x7fELF\\x00\\x01\\xff\" is not an integer\n"},
        {"--dump huge.txt", "escala-check: huge.txt:2: field 8 \"99999999999\" does not fit in 32 bits\n"},
        {"--dump truncated.txt", "escala-check: truncated.txt:1: the roster size is 219 but the dump has 2 crew markers\n"},
        {"--seed", "escala-check: The following argument was not expected: --seed\n"
                     "escala-check: run with --help for more information\n"},
    };
    for (const auto& c : cases) {
        r = check(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.err, c.err) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
    }
}

// --help documents the line format; --version names the program.
TEST_F(RealRun, HelpAndVersion) {
    RunResult r = check("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("violation <dump>:<line> crew <i>"), std::string::npos);
    r = check("--version");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("escala-check ")) << r.out;
}

}  // namespace
}  // namespace escala::tools
