// The escala program run as a user runs it: in a directory holding
// Lintra.tsk, standard input at its end, the clock fixed with faketime.
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <memory>
#include <regex>
#include <sstream>

#include "test_support.hpp"

namespace {

using namespace escala::test;

const char* const report_files[] = {"ArqSaida.txt", "ArqSaida-zz.txt", "teste_solucao.txt",
                                    "melhor_solucao.txt", "file_obj.txt", "dumpfile.txt"};

// The first 60 records of the bundled sample: a run takes about a second.
std::string small_sample() { return first_lines(source_path("examples/Lintra.tsk"), 60); }

struct EscalaRun {
    TempDir dir;
    RunResult result;
};

// One run of escala on `tasks` in a fresh directory.
std::unique_ptr<EscalaRun> run_on(const std::string& tasks) {
    auto run = std::make_unique<EscalaRun>();
    write_file(run->dir / "Lintra.tsk", tasks);
    run->result = run_escala(run->dir.path());
    return run;
}

// The run on the small sample, made once per test process.
const EscalaRun& small_run() {
    static const std::unique_ptr<EscalaRun> run = run_on(small_sample());
    return *run;
}

struct MemberLine {
    long long index, cost, tasks;
};

// The per-member summary lines of the console, in order.
std::vector<MemberLine> member_lines(const std::string& out) {
    static const std::regex line("Tripulante ([0-9]+): ([0-9]+) ([0-9]+) tarefas\\.\n");
    std::vector<MemberLine> members;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator(); ++it)
        members.push_back({std::stoll((*it)[1]), std::stoll((*it)[2]), std::stoll((*it)[3])});
    return members;
}

// The console's final line: "End of ... Objective Value Found: <v>".
long long final_value(const std::string& out) {
    static const std::regex end("\n\nEnd of Orvik Dummie Seacrh\\.\tObjective Value Found: ([0-9]+)\n$");
    std::smatch m;
    if (!std::regex_search(out, m, end)) return -1;
    return std::stoll(m[1]);
}

// The objective written at the top of a report.
long long report_objective(const std::string& report) {
    return number_after(report, "A solucao abaixo possui fun\xE7\xE3o objetivo global = ");
}

// Checks a finished run's dump: 219 members in order, well-formed lines,
// and exactly the tasks of the task file.
void expect_dump_holds(const std::string& dump_text, const std::string& task_file) {
    const DumpText dump = parse_dump(dump_text);
    EXPECT_TRUE(dump.well_formed);
    EXPECT_EQ(dump.size, 219);
    EXPECT_EQ(dump.members.size(), 219u);
    EXPECT_EQ(dump_text.rfind("219##0\n", 0), 0u);
    static const std::regex real("-?[0-9]+(,-?[0-9]+){7}");
    static const std::regex virtual_line("-?[0-9]+(,-?[0-9]+){7},\\*");
    for (const auto& member : dump.members)
        for (const std::string& line : member)
            EXPECT_TRUE(std::regex_match(line, is_virtual_line(line) ? virtual_line : real)) << line;
    EXPECT_EQ(real_tasks_of_dump(dump), tasks_of_task_file(task_file));
}

// The console of a complete run, piece by piece: the date line and an empty
// line, the task count, the construction's dots, 219 member lines numbered
// 0 to 218, the totals, and the search's end line.
TEST(EndToEnd, ConsoleOfACompleteRun) {
    const RunResult& r = small_run().result;
    ASSERT_FALSE(r.timed_out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string& out = r.out;
    EXPECT_EQ(out.rfind("Mon Dec  7 10:00:00 2026\n\nTamanho do Listao 60\nAperte Enter para iniciar Grasp.\n"
                        "Executando..........Tripulante 0: ",
                        0),
              0u)
        << out.substr(0, 200);

    const auto members = member_lines(out);
    ASSERT_EQ(members.size(), 219u);
    long long assigned = 0;
    for (std::size_t i = 0; i < members.size(); ++i) {
        EXPECT_EQ(members[i].index, static_cast<long long>(i));
        assigned += members[i].tasks;
    }
    EXPECT_EQ(count_occurrences(out, "Tripulante "), 219u);
    EXPECT_EQ(number_after(out, "\nTotal de tarefas atribuidas : "), assigned);
    EXPECT_GE(assigned, 60);
    EXPECT_NE(out.find("\nTamanho do Listao : 0\n"), std::string::npos);
    EXPECT_NE(out.find("\nTempo transcorrido (Grasp): 0segundos.\n"), std::string::npos) << "the clock stands still";

    const long long virtual_members = number_after(out, "Tarefas Virtuais: ");
    EXPECT_GE(virtual_members, 0);
    EXPECT_EQ(virtual_members, number_after(out, "\nNV "));

    const long long construction = number_after(out, "Valor da solucao global: ");
    const long long found = final_value(out);
    ASSERT_GE(found, 0) << out.substr(out.size() > 300 ? out.size() - 300 : 0);
    EXPECT_LE(found, construction);
    EXPECT_EQ(number_after(out, "\nFuncao Objetivo atual: "), construction);
}

// Every report file is there, no temporary file is left behind, the final
// detailed report is the search's best roster, and the reports carry the
// values that the console shows.
TEST(EndToEnd, ReportFilesAgreeWithTheConsole) {
    const EscalaRun& run = small_run();
    ASSERT_EQ(run.result.status, 0);
    for (const char* name : report_files) EXPECT_TRUE(std::filesystem::is_regular_file(run.dir / name)) << name;
    for (const auto& entry : std::filesystem::directory_iterator(run.dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();

    const std::string zz = read_file(run.dir / "ArqSaida-zz.txt");
    EXPECT_EQ(zz, read_file(run.dir / "melhor_solucao.txt"));
    const long long found = final_value(run.result.out);
    const long long construction = number_after(run.result.out, "Valor da solucao global: ");
    EXPECT_EQ(report_objective(zz), found);
    EXPECT_EQ(report_objective(read_file(run.dir / "ArqSaida.txt")), construction);
    EXPECT_EQ(report_objective(read_file(run.dir / "teste_solucao.txt")), construction);
    EXPECT_EQ(count_occurrences(zz, "Tempo total de trabalho (minutos): "), 219u);
}

// The search log has one line per console iteration line, numbered from 1,
// and its last best value is the value found.
TEST(EndToEnd, SearchLogMatchesTheIterations) {
    const EscalaRun& run = small_run();
    const auto log = split_lines(read_file(run.dir / "file_obj.txt"));
    static const std::regex iteration_line("\n\\[[0-9]+\\] Funcao Objetivo atual: ");
    const auto iterations = static_cast<std::size_t>(
        std::distance(std::sregex_iterator(run.result.out.begin(), run.result.out.end(), iteration_line),
                      std::sregex_iterator()));
    ASSERT_EQ(log.size(), iterations);
    ASSERT_GE(log.size(), 500u) << "at least the 500 iterations without a new best";
    for (std::size_t i = 0; i < log.size(); ++i)
        EXPECT_EQ(log[i].substr(0, log[i].find('\t')), std::to_string(i + 1)) << log[i];
    std::istringstream last(log.back());
    long long it = 0, best = 0;
    last >> it >> best;
    EXPECT_EQ(best, final_value(run.result.out));
}

// The dump holds every task of the file in exactly one schedule.
TEST(EndToEnd, DumpHoldsEveryTaskOnce) {
    const EscalaRun& run = small_run();
    expect_dump_holds(read_file(run.dir / "dumpfile.txt"), small_sample());
}

// With the clock fixed, a second run in the same directory writes the same
// console and files; file_obj.txt gets the same lines once more, counted
// again from 1.
TEST(EndToEnd, SecondRunIsIdenticalAndAppendsTheLog) {
    auto run = run_on(small_sample());
    ASSERT_EQ(run->result.status, 0);
    std::map<std::string, std::string> first;
    for (const char* name : report_files) first[name] = read_file(run->dir / name);

    const RunResult second = run_escala(run->dir.path());
    ASSERT_EQ(second.status, 0);
    EXPECT_EQ(second.out, run->result.out);
    EXPECT_EQ(second.err, run->result.err);
    for (const char* name : report_files) {
        const std::string now = read_file(run->dir / name);
        if (std::string(name) == "file_obj.txt")
            EXPECT_EQ(now, first[name] + first[name]);
        else
            EXPECT_EQ(now, first[name]) << name;
    }
}

// The whole bundled sample: every task placed and dumped once, the final
// report is the best roster.
TEST(EndToEnd, FullSample) {
    const std::string tasks = read_file(source_path("examples/Lintra.tsk"));
    const auto run = run_on(tasks);
    const RunResult& r = run->result;
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("Mon Dec  7 10:00:00 2026\n\nTamanho do Listao 272\n", 0), 0u);
    EXPECT_EQ(member_lines(r.out).size(), 219u);
    EXPECT_NE(r.out.find("\nTamanho do Listao : 0\n"), std::string::npos);
    EXPECT_EQ(number_after(r.out, "Tarefas Virtuais: "), number_after(r.out, "\nNV "));
    EXPECT_EQ(read_file(run->dir / "ArqSaida-zz.txt"), read_file(run->dir / "melhor_solucao.txt"));
    EXPECT_EQ(report_objective(read_file(run->dir / "ArqSaida-zz.txt")), final_value(r.out));
    expect_dump_holds(read_file(run->dir / "dumpfile.txt"), tasks);
}

// An empty task file: nothing to place, 219 empty members (each costs its
// 430 idle minutes at weight 40: 17200; the roster 219 x 17200 = 3766800),
// and a search that never improves and so runs exactly 500 iterations,
// resizing its tabu list in iterations 150, 300 and 450.
TEST(EndToEnd, EmptyTaskFile) {
    const auto run = run_on("");
    const RunResult& r = run->result;
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.rfind("Mon Dec  7 10:00:00 2026\n\nTamanho do Listao 0\nAperte Enter para iniciar Grasp.\n"
                          "Executando....Tripulante 0: 17200 0 tarefas.\n",
                          0),
              0u);
    const auto members = member_lines(r.out);
    ASSERT_EQ(members.size(), 219u);
    for (std::size_t i = 0; i < members.size(); ++i) {
        EXPECT_EQ(members[i].index, static_cast<long long>(i));
        EXPECT_EQ(members[i].cost, 17200);
        EXPECT_EQ(members[i].tasks, 0);
    }
    EXPECT_NE(r.out.find("\nTotal de tarefas atribuidas : 0\nTamanho do Listao : 0\nValor da solucao global: 3766800.\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("Tarefas Virtuais: 0\n\nNV 0\n\nFuncao Objetivo atual: 3766800\n[0] "), std::string::npos);
    EXPECT_EQ(final_value(r.out), 3766800);

    static const std::regex resize("\nAlterando o tamanho da lista tabu para: (25[0-9])\n\\[(149|299|449)\\] ");
    EXPECT_EQ(std::distance(std::sregex_iterator(r.out.begin(), r.out.end(), resize), std::sregex_iterator()), 3);
    EXPECT_EQ(count_occurrences(r.out, "\nAlterando o tamanho da lista tabu para: "), 3u);

    const auto log = split_lines(read_file(run->dir / "file_obj.txt"));
    ASSERT_EQ(log.size(), 500u);
    for (std::size_t i = 0; i < log.size(); ++i) EXPECT_EQ(log[i], std::to_string(i + 1) + "\t3766800\t3766800");

    std::string dump = "219";
    for (int i = 0; i < 219; ++i) dump += "##" + std::to_string(i) + "\n";
    EXPECT_EQ(read_file(run->dir / "dumpfile.txt"), dump);
}

// Ctrl-C during the search: the search ends after the current iteration,
// says so, and the program still writes complete final reports and dump and
// ends normally.
TEST(EndToEnd, InterruptEndsTheSearchAndKeepsTheWork) {
    TempDir dir;
    // The weekday trips twice over: a search long enough, even in an
    // optimised build, to be caught while it runs.
    const std::string trips = read_file(source_path("examples/ltd-p1-weekday-trips.tsk"));
    ASSERT_GT(trips.size(), 0u);
    ASSERT_EQ(trips.back(), '\n');
    const std::string tasks = trips + trips;
    write_file(dir / "Lintra.tsk", tasks);
    TempDir capture;
    const Child child = spawn_escala(dir.path(), capture / "stdout", capture / "stderr");
    ASSERT_GT(child.pid, 0);

    int status = -1;
    const bool searching = poll_until(
        [&] {
            if (status == -1) status = wait_for(child, 0);
            return status != -1 || read_file(capture / "stdout").find("] Funcao Objetivo atual: ") != std::string::npos;
        },
        600);
    if (!searching || status != -1) {
        if (status == -1) {
            ::kill(child.pid, SIGKILL);
            wait_for(child, 30);
        }
        FAIL() << (searching ? "the run ended before it could be interrupted" : "the search never started");
    }
    ASSERT_EQ(::kill(child.pid, SIGINT), 0);
    status = wait_for(child, 120);
    if (status == -1) {
        ::kill(child.pid, SIGKILL);
        wait_for(child, 30);
        FAIL() << "the interrupted run did not end";
    }
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    const std::string out = read_file(capture / "stdout");
    EXPECT_EQ(read_file(capture / "stderr"), "");
    static const std::regex ending(
        "\n\\[[0-9]+\\] Funcao Objetivo atual: [0-9]+  Fonte Destino: [0-9]+ [0-9]+(  Melhora Global\\.)?"
        "\nBusca interrompida pelo usuario\\.\n\nEnd of Orvik Dummie Seacrh\\.\tObjective Value Found: [0-9]+\n$");
    EXPECT_TRUE(std::regex_search(out, ending)) << out.substr(out.size() > 400 ? out.size() - 400 : 0);

    const std::string zz = read_file(dir / "ArqSaida-zz.txt");
    EXPECT_EQ(zz, read_file(dir / "melhor_solucao.txt"));
    EXPECT_EQ(report_objective(zz), final_value(out));
    EXPECT_EQ(count_occurrences(zz, "Tempo total de trabalho (minutos): "), 219u);
    EXPECT_NE(zz.find("\t\t\tTripula\xE7\xE3o 218\n"), std::string::npos);
    expect_dump_holds(read_file(dir / "dumpfile.txt"), tasks);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
}

}  // namespace
