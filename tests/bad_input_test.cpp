// What escala does with input it cannot use as intended: a missing or odd
// task file, malformed content, extreme numbers, an output name taken by a
// directory, standard input at its end. Never a crash or a hang; a clear
// message on standard error whenever something is not done; nothing read is
// lost. Also replays the inputs that once broke the fuzz target.
#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <random>

#include <unistd.h>

#include "crew/crew_util.hpp"
#include "test_support.hpp"
#include "io/load_list.hpp"
#include "search/grasp.hpp"
#include "search/tabu_search.hpp"

namespace {

using namespace escala::test;

// Crashes show as signals: no fake clock wrapper here.
RunResult run_plain(const TempDir& dir, const std::string& stdin_redirect = "< /dev/null") {
    RunOptions options;
    options.fake_clock = false;
    options.stdin_redirect = stdin_redirect;
    options.timeout_seconds = 120;
    return run_escala(dir.path(), options);
}

// A run that must complete: no signal, no hang, status 0, the end line.
void expect_complete(const RunResult& r) {
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, 0) << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\n\nEnd of Orvik Dummie Seacrh.\tObjective Value Found: "), std::string::npos);
}

// A run that must stop through an open check with exactly this report.
void expect_open_check(const RunResult& r, const std::string& expression, const std::string& unit, int line) {
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, 0);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Assertion failed: " + expression + ", file " + unit + ", line " + std::to_string(line) + "\n");
}

std::string warning(int line, int tasks) {
    return "Aviso: leitura de \"Lintra.tsk\" interrompida na linha " + std::to_string(line) +
           ": registro invalido; " + std::to_string(tasks) + " tarefas lidas.\n";
}

const std::string two_records = "10;359;505;603;100004;23;66;67\n17;391;565;9011;100004;13;92;67\n";

// No task file, or a directory in its place: the open check on the task
// file (unit load_list, line 20), before anything is written or created.
TEST(BadInput, TaskFileMissingOrADirectory) {
    {
        TempDir dir;
        const RunResult r = run_plain(dir);
        expect_open_check(r, "task_file", "load_list", 20);
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
    }
    {
        TempDir dir;
        std::filesystem::create_directory(dir / "Lintra.tsk");
        const RunResult r = run_plain(dir);
        expect_open_check(r, "task_file", "load_list", 20);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"Lintra.tsk"});  // no output file was made
    }
}

// Permissions only bind an ordinary user: when the tests run as root, the
// program runs as "nobody" for these cases.
RunResult run_unprivileged(const TempDir& dir) {
    RunOptions options;
    options.fake_clock = false;
    options.timeout_seconds = 120;
    if (::geteuid() == 0) options.wrapper = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    return run_escala(dir.path(), options);
}

// A task file that cannot be read, and a working directory that cannot be
// written: the open check of the task file, then the one of the first report,
// with nothing left behind in the directory.
TEST(BadInput, NoPermission) {
    if (::geteuid() == 0 && std::system("command -v setpriv > /dev/null") != 0)
        GTEST_SKIP() << "running as root without setpriv";
    namespace fs = std::filesystem;
    {
        TempDir dir;
        write_file(dir / "Lintra.tsk", two_records);
        fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_all | fs::perms::others_all);
        fs::permissions(dir / "Lintra.tsk", fs::perms::none);
        const RunResult r = run_unprivileged(dir);
        expect_open_check(r, "task_file", "load_list", 20);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    }
    {
        TempDir dir;
        write_file(dir / "Lintra.tsk", two_records);
        fs::permissions(dir / "Lintra.tsk", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                        fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
        const RunResult r = run_unprivileged(dir);
        fs::permissions(dir.path(), fs::perms::owner_all);
        expect_open_check(r, "out_file", "CrewUtil", 231);
        EXPECT_NE(r.out.find("Tarefas Virtuais: "), std::string::npos);
        EXPECT_EQ(r.out.find("\nNV "), std::string::npos);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    }
}

// Content that ends the reading early: the records before it are kept and
// placed, one warning names the line and the count; the run completes.
TEST(BadInput, MalformedContentKeepsTheRecordsBeforeIt) {
    std::mt19937 gen(7);
    std::string garbage(4096, '\0');
    for (char& c : garbage) c = static_cast<char>(gen() & 0xFF);
    garbage[0] = '\xFF';  // not a digit, a sign or a blank
    const std::string one_mb_letters(1 << 20, 'x');
    const std::string one_mb_digits(1 << 20, '7');

    struct Case {
        const char* what;
        std::string content;
        int kept;       // records read
        int stop_line;  // 0: no warning
    };
    const Case cases[] = {
        {"binary garbage", garbage, 0, 1},
        {"garbage after two records", two_records + garbage, 2, 3},
        {"NUL bytes on a line", two_records + std::string("\0\0\0\0\n", 5), 2, 3},
        {"a NUL byte where a number starts", std::string("10;") + '\0' + "359;505;603;100004;23;66;67\n", 0, 1},
        {"a 1 MB line of letters, no line end", two_records + one_mb_letters, 2, 3},
        {"a 1 MB number, no line end", two_records + one_mb_digits, 2, 3},
        {"one past the 32-bit range", two_records + "1;100;200;2147483648;2;0;3;4\n", 2, 3},
        {"one below the 32-bit range", two_records + "1;-2147483649;200;1;2;0;3;4\n", 2, 3},
        {"a record cut short", two_records + "1;100;200;1\n", 2, 3},
        {"a text header", "vehicle;start;end;sp;ep;slack;sl;el\n" + two_records, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        write_file(dir / "Lintra.tsk", c.content);
        const RunResult r = run_plain(dir);
        expect_complete(r);
        EXPECT_EQ(r.err, c.stop_line == 0 ? "" : warning(c.stop_line, c.kept));
        EXPECT_EQ(r.out.find("Tamanho do Listao " + std::to_string(c.kept) + "\n"), r.out.find('\n') + 2);
        const DumpText dump = parse_dump(read_file(dir / "dumpfile.txt"));
        EXPECT_EQ(real_tasks_of_dump(dump).size(), static_cast<std::size_t>(c.kept));
        if (c.kept == 2) {
            EXPECT_EQ(real_tasks_of_dump(dump), tasks_of_task_file(two_records));
        }
    }
}

// Files without records: no warning, no task, 219 empty members.
TEST(BadInput, NoRecords) {
    for (const std::string& content : {std::string(), std::string(" \n\t\r\n  \n")}) {
        TempDir dir;
        write_file(dir / "Lintra.tsk", content);
        const RunResult r = run_plain(dir);
        expect_complete(r);
        EXPECT_EQ(r.err, "");
        EXPECT_NE(r.out.find("\nTamanho do Listao 0\n"), std::string::npos);
        EXPECT_NE(r.out.find("\nTotal de tarefas atribuidas : 0\n"), std::string::npos);
    }
}

// Numbers that are unusual but valid: a leading "+", the 32-bit limits,
// negative times, tasks that end before they start. All are read and
// placed; the numbers come back in the dump as plain integers.
TEST(BadInput, UnusualNumbersAreReadAndPlaced) {
    const std::string content =
        "+1;+100;+200;+1;+2;+0;+3;+4\n"
        "2;-500;-100;1;2;0;3;4\n"
        "3;300;100;1;2;0;3;4\n"
        "4;-2147483648;-2147483000;-7;-8;-9;-10;-11\n"
        "5;2147483000;2147483647;2147483647;2147483647;0;2147483647;2147483647\n";
    TempDir dir;
    write_file(dir / "Lintra.tsk", content);
    const RunResult r = run_plain(dir);
    expect_complete(r);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("\nTamanho do Listao 5\n"), std::string::npos);
    const std::string dump = read_file(dir / "dumpfile.txt");
    EXPECT_EQ(real_tasks_of_dump(parse_dump(dump)), tasks_of_task_file(content));
    EXPECT_NE(dump.find("\n1,100,200,1,2,0,3,4\n"), std::string::npos);
    EXPECT_NE(dump.find("\n4,-2147483648,-2147483000,-7,-8,-9,-10,-11\n"), std::string::npos);
}

// A task ending 7 minutes before the 32-bit limit gets its closing virtual
// task of 30 minutes beyond the limit: the end time wraps around, and the
// run goes on undisturbed.
TEST(BadInput, VirtualTaskBeyondTheLargestTime) {
    TempDir dir;
    write_file(dir / "Lintra.tsk", "1;2147483000;2147483640;2;3;0;4;5\n");
    const RunResult r = run_plain(dir);
    expect_complete(r);
    const DumpText dump = parse_dump(read_file(dir / "dumpfile.txt"));
    std::vector<std::string> lines;
    for (const auto& member : dump.members)
        if (!member.empty()) lines = member;
    EXPECT_EQ(lines, (std::vector<std::string>{"1,2147483000,2147483640,2,3,0,4,5", "1,2147483640,-2147483626,3,3,0,5,5,*"}));
}

// An output name taken by a directory: the open check of the writer that
// cannot write it, after everything before it has been done.
TEST(BadInput, OutputNameTakenByADirectory) {
    struct Case {
        const char* name;
        const char* expression;
        const char* unit;
        int line;
        const char* last_console;  // text the console must have reached
    };
    const Case cases[] = {
        {"ArqSaida.txt", "out_file", "CrewUtil", 231, "Tarefas Virtuais: "},
        {"file_obj.txt", "file_obj", "TabuSearch", 68, "\nFuncao Objetivo atual: "},
        {"teste_solucao.txt", "out_file", "CrewUtil", 161, "\nFuncao Objetivo atual: "},
        {"melhor_solucao.txt", "out_file", "CrewUtil", 161, "\nFuncao Objetivo atual: "},
        {"ArqSaida-zz.txt", "out_file", "CrewUtil", 161, "End of Orvik Dummie Seacrh."},
        {"dumpfile.txt", "out_file", "CrewUtil", 371, "End of Orvik Dummie Seacrh."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_file(dir / "Lintra.tsk", two_records);
        std::filesystem::create_directory(dir / c.name);
        const RunResult r = run_plain(dir);
        expect_open_check(r, c.expression, c.unit, c.line);
        EXPECT_NE(r.out.find(c.last_console), std::string::npos);
        EXPECT_TRUE(std::filesystem::is_directory(dir / c.name));
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    }
}

// A report that cannot be written leaves the earlier ones complete: with the
// dump blocked, the final detailed report is the best roster in full.
TEST(BadInput, EarlierReportsSurviveALaterFailure) {
    TempDir dir;
    write_file(dir / "Lintra.tsk", two_records);
    std::filesystem::create_directory(dir / "dumpfile.txt");
    const RunResult r = run_plain(dir);
    EXPECT_EQ(r.status, 1);
    const std::string zz = read_file(dir / "ArqSaida-zz.txt");
    EXPECT_EQ(zz, read_file(dir / "melhor_solucao.txt"));
    EXPECT_EQ(count_occurrences(zz, "Tempo total de trabalho (minutos): "), 219u);
}

// Standard input at its end, closed, or holding a few characters: every
// wait returns at once and the run completes.
TEST(BadInput, StandardInputAtItsEnd) {
    TempDir source;
    write_file(source / "keys", "x");
    for (const std::string& redirect : {std::string("< /dev/null"), std::string("0<&-"),
                                       "< " + shell_quote((source / "keys").string())}) {
        SCOPED_TRACE(redirect);
        TempDir dir;
        write_file(dir / "Lintra.tsk", two_records);
        const RunResult r = run_plain(dir, redirect);
        expect_complete(r);
        EXPECT_EQ(r.err, "");
    }
}

// ---------------------------------------------------------------- fuzz finds

// The fuzz target's pipeline, in process: read, cap, construct with a fixed
// seed into eight members, a few search iterations in a scratch directory.
void replay(const std::string& bytes) {
    escala::l_tarefas tasks = tasks_of(bytes);
    if (tasks.size() > 60) tasks.resize(60);
    const escala::l_tarefas input = tasks;
    escala::v_crew roster(8);
    TempDir dir;
    std::ostringstream console;
    escala::grasp(tasks, roster, 2.0, 2.0, escala::default_rules(), 1u, false, console);
    escala::TabuSearch search;
    search.control.wait_for_enter = false;
    search.control.handle_interrupts = false;
    search.control.console = &console;
    search.control.out_dir = dir.path();
    search.run(roster, 50.0, 5, 7, 3);

    EXPECT_EQ(real_tasks_of(roster), sorted_fields(input));
    for (const escala::Crew& member : roster) EXPECT_EQ(schedule_fault(member), "");
    escala::v_crew copy = roster;
    EXPECT_EQ(escala::global_objective(copy, escala::default_rules()), search.best_value);
}

// Every input kept in tests/regression goes through the pipeline cleanly.
TEST(FuzzRegression, KeptInputsRunCleanly) {
    const std::filesystem::path folder = source_path("tests/regression");
    ASSERT_TRUE(std::filesystem::is_directory(folder));
    std::size_t replayed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().filename() == "README.md") continue;
        SCOPED_TRACE(entry.path().filename().string());
        replay(read_file(entry.path()));
        ++replayed;
    }
    EXPECT_GT(replayed, 0u);
}

}  // namespace
