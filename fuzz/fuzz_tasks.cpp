// libFuzzer target: the bytes are a task file. They go through the reader,
// a construction with a fixed seed into a small roster and a few tabu search
// iterations; afterwards every task read must sit in exactly one schedule,
// every schedule must keep its shape, and the search's best value must be
// the objective of the roster it hands back. Any broken invariant aborts.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "crew/crew_util.hpp"
#include "io/load_list.hpp"
#include "search/grasp.hpp"
#include "search/tabu_search.hpp"

namespace {

using escala::Crew;
using escala::l_tarefas;
using escala::Task;
using escala::v_crew;

constexpr std::size_t task_cap = 60;    // more tasks only make an input slower
constexpr std::size_t roster_size = 8;  // small enough to keep every input fast

// Swallows the console.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c == traits_type::eof() ? 0 : c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

[[noreturn]] void broken(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what) {
    if (!ok) broken(what);
}

using Key = std::vector<std::int64_t>;

Key key_of(const Task& t) {
    return {t.vehicle, t.start_time, t.end_time, t.start_point, t.end_point, t.slack, t.start_line, t.end_line};
}

std::vector<Key> real_tasks(const v_crew& roster) {
    std::vector<Key> all;
    for (const Crew& member : roster)
        for (const Task& t : member.tasks)
            if (t.is_virtual == 0) all.push_back(key_of(t));
    std::sort(all.begin(), all.end());
    return all;
}

// Real tasks in ascending start time; at most one virtual task, last, from
// the end of the task before it; none in an empty schedule.
void check_schedule(const Crew& member) {
    const l_tarefas& tasks = member.tasks;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        const bool last = i + 1 == tasks.size();
        check(tasks[i].is_virtual == 0 || tasks[i].is_virtual == 1, "virtual flag is 0 or 1");
        check(tasks[i].is_virtual == 0 || last, "a virtual task only at the end");
        if (i > 0 && tasks[i].is_virtual == 0)
            check(tasks[i - 1].start_time <= tasks[i].start_time, "real tasks in start order");
    }
    if (member.has_virtual_task()) {
        check(tasks.size() >= 2, "a virtual task follows a real one");
        check(tasks.back().start_time == tasks[tasks.size() - 2].end_time, "the virtual task starts at the end");
    }
}

void check_roster(const v_crew& roster, const std::vector<Key>& expected) {
    check(roster.size() == roster_size, "roster size kept");
    for (const Crew& member : roster) check_schedule(member);
    check(real_tasks(roster) == expected, "every task read sits in exactly one schedule");
}

std::string original_dir;   // where the fuzzer was started: corpus and artifacts
std::filesystem::path scratch_base;  // where each input gets its own directory

// Runs one input's file writes (the search's log and reports) in a fresh
// directory, removed afterwards, and gives the fuzzer its own directory back.
class InScratch {
public:
    InScratch() {
        std::string pattern = (scratch_base / "escala-fuzz-XXXXXX").string();
        check(::mkdtemp(pattern.data()) != nullptr, "make a scratch directory");
        dir_ = pattern;
        check(::chdir(dir_.c_str()) == 0, "enter the scratch directory");
    }
    ~InScratch() {
        check(::chdir(original_dir.c_str()) == 0, "leave the scratch directory");
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    InScratch(const InScratch&) = delete;
    InScratch& operator=(const InScratch&) = delete;

private:
    std::string dir_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    original_dir = std::filesystem::current_path().string();
    // A memory file system when there is one: every input writes reports.
    std::error_code no_shm;
    scratch_base =
        std::filesystem::is_directory("/dev/shm", no_shm) ? "/dev/shm" : std::filesystem::temp_directory_path();

    // A crash happens while the working directory is the scratch one: unless
    // told otherwise, the fuzzer keeps its crash inputs where it was started.
    bool artifact_path_given = false;
    for (int i = 1; i < *argc; ++i) {
        const std::string arg = (*argv)[i];
        if (arg.rfind("-artifact_prefix=", 0) == 0 || arg.rfind("-exact_artifact_path=", 0) == 0)
            artifact_path_given = true;
    }
    if (!artifact_path_given) {
        static std::string prefix_flag = "-artifact_prefix=" + original_dir + "/";
        static std::vector<char*> args;
        args.assign(*argv, *argv + *argc);
        args.push_back(prefix_flag.data());
        args.push_back(nullptr);
        *argc += 1;
        *argv = args.data();
    }

    static NullBuffer null_buffer;
    std::cout.rdbuf(&null_buffer);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    l_tarefas tasks;
    const escala::ReadOutcome outcome = escala::read_tasks(in, tasks);
    check(outcome.tasks_read == static_cast<int>(tasks.size()), "the count of tasks read");
    for (const Task& t : tasks) check(t.is_virtual == 0, "tasks read are real");
    if (tasks.size() > task_cap) tasks.resize(task_cap);

    std::vector<Key> expected;
    for (const Task& t : tasks) expected.push_back(key_of(t));
    std::sort(expected.begin(), expected.end());

    v_crew roster(roster_size);
    escala::sort_by_start(tasks);
    escala::grasp(tasks, roster, 2.0, 2.0, escala::default_rules(), 12345u);
    check(tasks.empty(), "the construction places every task");
    check_roster(roster, expected);

    InScratch scratch;
    escala::TabuSearch search;
    search.control.wait_for_enter = false;
    search.control.handle_interrupts = false;
    search.run(roster, 50.0, 6, 5, 4);
    check_roster(roster, expected);
    check(roster == search.best_roster, "the roster handed back is the best roster");
    v_crew copy = roster;
    check(escala::global_objective(copy, escala::default_rules()) == search.best_value, "best value is the objective of the best roster");
    return 0;
}
