// escala-batch: the same roster build as escala, unattended and repeatable.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "batch.hpp"
#include "generate.hpp"
#include "test_support.hpp"

using escala::RunSummary;
using escala::StopReason;
using escala::tools::batch::RunRecord;

namespace {

using namespace escala::test;

const std::string bin = ESCALA_BINARY_DIR;
const std::string sample = source_path("examples/Lintra.tsk").string();

// Name -> content of every entry of a directory (subdirectories as "<dir>").
std::map<std::string, std::string> files_in(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir))
        files[entry.path().filename().string()] = entry.is_directory() ? "<dir>" : read_file(entry.path());
    return files;
}

// Runs a command line in `dir`, made first when missing.
RunResult run_in(const fs::path& dir, const std::string& command_line) {
    fs::create_directories(dir);
    return run_command(dir, command_line);
}

RunResult batch(const fs::path& dir, const std::string& args) {
    return run_in(dir, "'" + bin + "/escala-batch' " + args);
}

class BatchTest : public InFolder {
protected:
    // The first `count` records of the bundled sample.
    fs::path sample_head(std::size_t count) const {
        const fs::path file = path("head.tsk");
        write_file(file, first_lines(sample, count));
        return file;
    }

    fs::path generated(int vehicles, unsigned seed) const {
        std::ostringstream text;
        escala::tools::gen::write_tasks(text, escala::tools::gen::generate_tasks(vehicles, seed));
        const fs::path file = path("generated.tsk");
        write_file(file, text.str());
        return file;
    }
};

// The summary lines of a run with its own lines prefixed "run " and "best: ".
std::vector<std::string> lines_starting(const std::string& text, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& line : split_lines(text))
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

}  // namespace

// The summary line names the seed, both objectives, the iterations, the
// time and why the search ended.
TEST(DescribeRun, OneLinePerRun) {
    const RunRecord run{2, RunSummary{7, 1000, 900, 12, StopReason::time_limit, 1}, 1.5};
    EXPECT_EQ(escala::tools::batch::describe_run(run),
              "run 2: seed 7, construction 1000, best 900, iterations 12, 1.50 s, time limit, 1 overlapping task pair");
    const RunRecord stalled{1, RunSummary{4294967295u, 5, 5, 500, StopReason::stall, 0}, 0.004};
    EXPECT_EQ(escala::tools::batch::describe_run(stalled), "run 1: seed 4294967295, construction 5, best 5, iterations 500, "
                                                    "0.00 s, stall limit, 0 overlapping task pairs");
}

// The lowest final objective wins, the earliest run on ties; objectives
// compare as unsigned values.
TEST(BestRun, LowestObjectiveEarliestOnTies) {
    struct Case {
        std::vector<std::uint32_t> best_values;
        std::size_t winner;
    };
    for (const Case& c : std::vector<Case>{{{5}, 0}, {{9, 4, 7}, 1}, {{3, 8, 3}, 0}, {{6, 6, 2, 2}, 2},
                                           {{4000000000u, 7}, 1}}) {
        std::vector<RunRecord> runs;
        for (std::uint32_t v : c.best_values) runs.push_back({0, RunSummary{0, 0, v, 0, StopReason::stall}, 0});
        EXPECT_EQ(escala::tools::batch::best_run(runs), c.winner);
    }
}

// Arguments or input that cannot be used end the program with status 2, a
// message on standard error and no output files.
TEST_F(BatchTest, RejectsUnusableArgumentsAndInput) {
    write_file(path("header.tsk"), "vehicle;start;end;from;to;slack;line;line\n1;2;3;4;5;6;7;8\n");
    write_file(path("not_a_dir"), "");
    write_file(path("empty.tsk"), "");
    write_file(path("short.tsk"), "1,2,3\n1907;704;905;1;2;0;5;5\n");
    const fs::path dir = path("cwd");
    const std::string tasks = " --tasks '" + sample + "'";
    const struct {
        std::string args;
        std::string message;  // what standard error says, after the program's name
    } cases[] = {
        {"--tasks missing.tsk", "missing.tsk: cannot read the task file: No such file or directory"},
        {"--tasks /", "/: is a folder, not a task file"},
        {"--tasks ../header.tsk", "../header.tsk:1: field 1 \"vehicle;start;end;from;t...\" is not an integer"},
        {"--tasks ../empty.tsk", "../empty.tsk: holds no task"},
        {"--tasks ../short.tsk", "../short.tsk:1: 3 fields where 8 are expected"},
        {tasks + " --out-dir ../not_a_dir/out", "cannot create the output directory"},
        {tasks + " --out-dir ../not_a_dir", "cannot create the output directory"},
        {tasks + " --runs 0", "--runs: '0' is outside 1\u20131000000"},
        {tasks + " --runs two", "--runs: 'two' is not a decimal number"},
        {tasks + " --seed -1", "--seed"},
        {tasks + " --seed 0x10", "--seed: '0x10' is not a decimal number in 0\u20134294967295"},
        {tasks + " --seed 4294967296", "--seed: '4294967296' is outside 0\u20134294967295"},
        {tasks + " --seed 99999999999", "is outside 0\u20134294967295"},
        {tasks + " --time-limit -1", "--time-limit"},
        {tasks + " --time-limit soon", "is not a number of seconds"},
        {tasks + " --total-time inf", "is not a number of seconds"},
        {tasks + " --bogus", "--bogus"},
        {tasks + " extra", "extra"},
    };
    for (const auto& [args, message] : cases) {
        const RunResult o = batch(dir, args);
        EXPECT_EQ(o.status, 2) << args;
        EXPECT_EQ(o.err.rfind("escala-batch: ", 0), 0u) << args << ": " << o.err;
        EXPECT_NE(o.err.find(message), std::string::npos) << args << ": " << o.err;
        EXPECT_TRUE(fs::is_empty(dir)) << args;
    }
}

// --help lists the options and --version gives the project's version.
TEST_F(BatchTest, HelpAndVersion) {
    const RunResult help = batch(path("cwd"), "--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--tasks", "--out-dir", "--seed", "--runs", "--time-limit", "--quiet", "--version"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    const RunResult version = batch(path("cwd"), "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_NE(version.out.find(ESCALA_VERSION), std::string::npos);
}

// Two runs with the same seed and input write byte-identical directories:
// one with the defaults (Lintra.tsk, the working directory), one named.
TEST_F(BatchTest, SameSeedSameFiles) {
    const fs::path first = path("first");
    fs::create_directories(first);
    fs::copy_file(sample_head(60), first / "Lintra.tsk");
    ASSERT_EQ(batch(first, "--seed 77").status, 0);
    fs::remove(first / "Lintra.tsk");
    const RunResult second = batch(path("cwd"), "--seed 77 --tasks ../first/../head.tsk --out-dir ../second/new");
    ASSERT_EQ(second.status, 0) << second.err;
    const auto a = files_in(first), b = files_in(path("second/new"));
    EXPECT_EQ(a.size(), 6u);
    EXPECT_EQ(a, b);
}

// --crew sets the roster's size: the dump has that many members, and
// escala-check takes it as a valid roster of every task.
TEST_F(BatchTest, CrewSizeSetsTheRosterSize) {
    const fs::path tasks = sample_head(40);
    for (const int crew : {1, 25, 300}) {
        const fs::path out = path("crew" + std::to_string(crew));
        const RunResult r = batch(path("."), "--seed 3 --quiet --crew " + std::to_string(crew) + " --tasks " +
                                               tasks.string() + " --out-dir " + out.string());
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string dump = read_file(out / "dumpfile.txt");
        EXPECT_EQ(dump.substr(0, dump.find('#')), std::to_string(crew));
        EXPECT_NE(dump.find("##" + std::to_string(crew - 1) + "\n"), std::string::npos);
        EXPECT_EQ(dump.find("##" + std::to_string(crew) + "\n"), std::string::npos);
        const RunResult check = run_in(path("."), "'" + bin + "/escala-check' --tasks " + tasks.string() +
                                                    " --dump " + (out / "dumpfile.txt").string());
        EXPECT_NE(check.out.find("totals crew " + std::to_string(crew) + " tasks 40 "), std::string::npos) << check.out;
    }
    EXPECT_EQ(batch(path("."), "--crew 0").status, 2);
}

// A generated day loads without a warning and every one of its tasks ends up
// in the roster: the dump's real task lines are the file's records.
TEST_F(BatchTest, PlacesEveryGeneratedTask) {
    const fs::path tasks = generated(10, 3);
    const RunResult o = batch(path("cwd"), "--seed 5 --tasks '" + tasks.string() + "'");
    ASSERT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_NE(o.out.find("\nTamanho do Listao : 0\n"), std::string::npos);
    std::vector<std::string> placed;
    for (const std::string& line : split_lines(read_file(path("cwd/dumpfile.txt"))))
        if (line.find(',') != std::string::npos && line.find(",*") == std::string::npos) {
            placed.push_back(line);
            std::replace(placed.back().begin(), placed.back().end(), ',', ';');
        }
    std::vector<std::string> records = split_lines(read_file(tasks));
    ASSERT_GT(records.size(), 10u);
    std::sort(placed.begin(), placed.end());
    std::sort(records.begin(), records.end());
    EXPECT_EQ(placed, records);
}

// With the seed that escala takes from a frozen clock, escala-batch writes
// the same files and the same console lines as escala on the bundled
// sample; a second run into the same directory appends to file_obj.txt.
TEST_F(BatchTest, MatchesEscalaWithTheSameSeed) {
    if (std::system("command -v faketime > /dev/null") != 0) GTEST_SKIP() << "faketime is not installed";
    const fs::path plain = path("escala");
    fs::create_directories(plain);
    fs::copy_file(sample, plain / "Lintra.tsk");
    const RunResult reference = run_in(plain, "faketime -f '2026-12-07 10:00:00' '" + bin + "/escala'");
    ASSERT_EQ(reference.status, 0) << reference.err;
    fs::remove(plain / "Lintra.tsk");

    const RunResult epoch = run_in(path("cwd"), "date -d '2026-12-07 10:00:00' +%s");
    const std::string seed = split_lines(epoch.out).at(0);
    const std::string args = "--seed " + seed + " --tasks '" + sample + "' --out-dir ../batch";
    const RunResult o = batch(path("cwd"), args);
    ASSERT_EQ(o.status, 0) << o.err;
    const auto expected = files_in(plain);
    EXPECT_EQ(expected.size(), 6u);
    EXPECT_EQ(files_in(path("batch")), expected);

    // The console: escala's lines, apart from the clock's, plus the seed
    // line first and the run's summary line last.
    std::vector<std::string> ours = split_lines(o.out), theirs = split_lines(reference.out);
    ASSERT_GT(ours.size(), 3u);
    EXPECT_EQ(ours.front(), "seed " + seed);
    EXPECT_EQ(ours.back().rfind("run 1: seed " + seed + ", ", 0), 0u) << ours.back();
    ours = {ours.begin() + 1, ours.end() - 1};
    for (auto* lines : {&ours, &theirs}) {
        lines->erase(lines->begin());  // the date line
        std::erase_if(*lines, [](const std::string& l) { return l.rfind("Tempo transcorrido (Grasp): ", 0) == 0; });
    }
    EXPECT_EQ(ours, theirs);

    ASSERT_EQ(batch(path("cwd"), args + " --quiet").status, 0);
    auto twice = expected;
    twice["file_obj.txt"] += expected.at("file_obj.txt");
    EXPECT_EQ(files_in(path("batch")), twice);
}

// --runs 3 tries seeds N, N+1, N+2, prints one line per run and keeps the
// files of the run with the lowest objective, as one run of its seed alone
// would write them; --quiet leaves only the summaries on the console. (On
// this day the three searches end at different objectives.)
TEST_F(BatchTest, RunsKeepTheBestRoster) {
    const std::string tasks = " --tasks '" + generated(110, 3).string() + "'";
    const RunResult o = batch(path("cwd"), "--quiet --runs 3 --seed 900 --out-dir ../best" + tasks);
    ASSERT_EQ(o.status, 0) << o.err;
    const std::vector<std::string> runs = lines_starting(o.out, "run ");
    ASSERT_EQ(runs.size(), 3u);
    ASSERT_EQ(split_lines(o.out).size(), 4u) << o.out;
    std::vector<long long> best;
    for (int k = 0; k < 3; ++k) {
        const std::string& line = runs[static_cast<std::size_t>(k)];
        EXPECT_EQ(line.rfind("run " + std::to_string(k + 1) + ": seed " + std::to_string(900 + k) + ", ", 0), 0u);
        best.push_back(number_after(line, ", best "));
    }
    ASSERT_NE(std::count(best.begin(), best.end(), best[0]), 3) << "the runs do not differ; choose another day";
    const auto lowest = std::min_element(best.begin(), best.end());
    const long long winner = lowest - best.begin() + 1;
    const std::string winner_seed = std::to_string(900 + winner - 1);
    EXPECT_EQ(split_lines(o.out).back().rfind("best: run " + std::to_string(winner) + " (seed " + winner_seed +
                                               "), objective " + std::to_string(*lowest) + ", ",
                                           0),
              0u);
    const auto kept = files_in(path("best"));
    ASSERT_EQ(kept.size(), 6u);  // no scratch directory left behind
    EXPECT_EQ(number_after(kept.at("ArqSaida-zz.txt"), "objetivo global = "), *lowest);
    EXPECT_EQ(static_cast<long long>(split_lines(kept.at("file_obj.txt")).size()),
              number_after(runs[static_cast<std::size_t>(winner - 1)], ", iterations "));

    ASSERT_EQ(batch(path("cwd"), "--quiet --seed " + winner_seed + " --out-dir ../alone" + tasks).status, 0);
    EXPECT_EQ(files_in(path("alone")), kept);
}

// A time limit ends the search on a day far too large for it, says so, and
// leaves complete files. (The limit is well below the second in which a
// sanitizer build's search of this day can reach its stall limit.)
TEST_F(BatchTest, TimeLimitEndsTheSearch) {
    const fs::path tasks = generated(1000, 8);
    const std::size_t task_count = split_lines(read_file(tasks)).size();
    const RunResult o = batch(path("cwd"), "--time-limit 0.2 --seed 9 --tasks '" + tasks.string() + "'");
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.out.find("\nBusca encerrada pelo limite de tempo.\n\nEnd of Orvik Dummie Seacrh."), std::string::npos);
    const std::vector<std::string> runs = lines_starting(o.out, "run ");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_NE(runs[0].find(", time limit, "), std::string::npos) << runs[0];

    const std::vector<std::string> dump = split_lines(read_file(path("cwd/dumpfile.txt")));
    const auto markers = std::count_if(dump.begin(), dump.end(), [](const std::string& l) { return l.find("##") != std::string::npos; });
    const auto real = std::count_if(dump.begin(), dump.end(), [](const std::string& l) {
        return l.find(',') != std::string::npos && l.find(",*") == std::string::npos;
    });
    EXPECT_EQ(markers, 219);
    EXPECT_EQ(static_cast<std::size_t>(real), task_count);
    const std::string report = read_file(path("cwd/ArqSaida-zz.txt"));
    EXPECT_NE(report.find("Tripula\xE7\xE3o 218\n"), std::string::npos);
    EXPECT_EQ(number_after(report, "objetivo global = "), number_after(runs[0], ", best "));
}

namespace {

// Starts escala-batch in `dir` (standard output line-buffered into a file,
// so that it shows how far the work had got) and returns its process id.
// Where a batch stood, from its console so far: the lines of its last run.
std::string stage_of(const std::string& console) {
    const std::size_t run = console.rfind("Executando....");
    if (run == std::string::npos) return "start";
    const std::string last = console.substr(run);
    if (last.find("Valor da solucao global") == std::string::npos) return "construction";
    if (last.find("End of Orvik Dummie Seacrh.") == std::string::npos) return "search";
    return "reports";
}

}  // namespace

// Signals at many moments of a long batch (while a run builds its roster,
// searches, writes its reports, and between runs; once or twice, SIGINT or
// SIGTERM) leave either the earlier files untouched or a complete set of new
// ones, never a temporary, and the status the signal calls for.
TEST_F(BatchTest, InterruptsKeepCompleteFilesOrNone) {
    const fs::path tasks = sample_head(120);
    const std::string earlier = "earlier\n";
    const char* const names[] = {"ArqSaida.txt", "teste_solucao.txt", "melhor_solucao.txt",
                                 "ArqSaida-zz.txt", "dumpfile.txt", "file_obj.txt"};
    std::map<std::string, std::map<std::string, int>> outcomes;  // stage -> what was left -> count
    for (int trial = 0; trial < 32; ++trial) {
        const fs::path dir = path("t" + std::to_string(trial));
        const fs::path out = dir / "out";
        fs::create_directories(out);
        for (const char* name : names) write_file(out / name, earlier);
        const bool quick_search = trial % 2 == 0;  // then the construction and the reports take most of a run
        std::vector<std::string> args{"stdbuf", "-oL", bin + "/escala-batch", "--tasks", tasks.string(),
                                      "--out-dir", "out", "--seed", "3", "--runs", "1000"};
        if (quick_search) args.insert(args.end(), {"--time-limit", "0.001"});
        const int signal_number = trial % 3 == 2 ? SIGTERM : SIGINT;
        const bool twice = trial % 4 == 3;

        // The console of the trial before says "seed" too, until the new run opens it again.
        fs::remove(path("stdout.txt"));
        const pid_t pid = spawn(dir, args, path("stdout.txt"), path("stderr.txt")).pid;
        // Signals before main has installed the guard end any program; the
        // seed line says it is in place.
        for (int wait = 0; wait < 2000 && read_file(path("stdout.txt")).find("seed ") == std::string::npos; ++wait)
            ::usleep(5000);
        ::usleep(static_cast<useconds_t>((trial * 37 % 32) * 25000));
        const std::string stage = stage_of(read_file(path("stdout.txt")));
        ::kill(pid, signal_number);
        if (twice) {
            ::usleep(static_cast<useconds_t>(trial * 3000 % 40000));
            ::kill(pid, signal_number);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "trial " << trial << " ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal_number) << "trial " << trial << ": " << read_file(path("stderr.txt"));

        const auto left = files_in(out);
        for (const auto& [name, content] : left) EXPECT_NE(name.front(), '.') << "trial " << trial << ": " << name;
        ASSERT_EQ(left.size(), 6u) << "trial " << trial;
        std::string kept;
        if (std::all_of(left.begin(), left.end(), [&](const auto& f) { return f.second == earlier; })) {
            kept = "earlier files untouched";
        } else {
            for (const char* name : names) {
                if (std::string(name) != "file_obj.txt") {
                    EXPECT_NE(left.at(name), earlier) << "trial " << trial << ": " << name;
                }
            }
            EXPECT_EQ(left.at("file_obj.txt").rfind(earlier, 0), 0u);
            EXPECT_GT(left.at("file_obj.txt").size(), earlier.size());
            const std::vector<std::string> dump = split_lines(left.at("dumpfile.txt"));
            EXPECT_EQ(std::count_if(dump.begin(), dump.end(),
                                    [](const std::string& l) { return l.find(",*") == std::string::npos && l.find(',') != std::string::npos; }),
                      120);
            EXPECT_NE(left.at("ArqSaida-zz.txt").find("objetivo global = "), std::string::npos);
            kept = "complete new files";
        }
        ++outcomes[stage + (twice ? ", signalled twice" : "")][kept];
    }
    for (const auto& [stage, kept] : outcomes)
        for (const auto& [what, count] : kept) std::cout << "  " << stage << ": " << count << " x " << what << "\n";
}
