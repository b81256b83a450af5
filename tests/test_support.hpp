// What the tests share:
//   TempDir, InFolder  a fresh folder removed at scope end; a fixture with one
//   read_file, write_file, write_files, split_lines, count_occurrences, has
//   run_command, run_tool, run_escala   a program run, its status and output captured
//   spawn_escala, wait_for, poll_until  escala as a child process, for signals
//   binary, source_path                 the programs built and the source tree
//   parse_dump, dump_of, tasks_of, real_tasks_of, schedule_fault, ...  rosters read back and judged
//   assigned, holding                  crew members for unit tests
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "crew/crew.hpp"
#include "crew/dump.hpp"
#include "crew/rules.hpp"
#include "io/load_list.hpp"

namespace escala::test {

namespace fs = std::filesystem;

// ---- files and folders ----

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "escala-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Names of the entries, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    fs::path path_;
};

// The whole file, byte for byte ("" when it cannot be read).
inline std::string read_file(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

using Files = std::map<std::string, std::string>;  // name -> content

inline void write_files(const fs::path& dir, const Files& files) {
    fs::create_directories(dir);
    for (const auto& [name, text] : files) write_file(dir / name, text);
}

inline std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The first `n` lines of a file, line ends kept.
inline std::string first_lines(const fs::path& file, std::size_t n) {
    std::string text;
    const std::vector<std::string> lines = split_lines(read_file(file));
    for (std::size_t i = 0; i < n && i < lines.size(); ++i) text += lines[i] + "\n";
    return text;
}

inline std::size_t count_occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
    return count;
}

// The number right after the first `label` in `text`, or -1.
inline long long number_after(const std::string& text, const std::string& label) {
    const std::size_t at = text.find(label);
    if (at == std::string::npos) return -1;
    const std::size_t from = at + label.size();
    const std::size_t digits = text.find_first_not_of("0123456789", from);
    if (digits == from) return -1;
    return std::stoll(text.substr(from, digits - from));
}

inline bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ---- programs ----

inline std::string binary(const std::string& program) { return std::string(ESCALA_BINARY_DIR) + "/" + program; }
inline std::string escala_binary() { return binary("escala"); }
inline fs::path source_path(const std::string& relative) { return fs::path(ESCALA_SOURCE_DIR) / relative; }

// The shared data files (the LTD feed and its task files), when they are
// there: $ESCALA_SHARED_DATA, or beside the source tree; empty otherwise.
inline fs::path shared_data() {
    if (const char* dir = std::getenv("ESCALA_SHARED_DATA")) return dir;
    for (const fs::path& dir : {source_path("../shared/data"), fs::path("/work/shared/data")})
        if (fs::exists(dir / "gtfs/ltd-2023.zip")) return dir;
    return {};
}

// The fixed clock of every run that compares output: a Monday.
inline const char* const fixed_clock = "2026-12-07 10:00:00";

inline std::string shell_quote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct RunResult {
    int status = -1;  // the exit status, when the program exited
    int signal = 0;   // the signal that ended it, when one did
    bool timed_out = false;
    std::string out;  // standard output, byte for byte
    std::string err;  // standard error
};

// Runs `command` with /bin/sh in `dir`, standard input closed; standard
// output and error are captured outside `dir`.
inline RunResult run_command(const fs::path& dir, const std::string& command) {
    TempDir capture;
    const std::string full = "cd " + shell_quote(dir.string()) + " && " + command + " > " +
                             shell_quote(capture.file("out")) + " 2> " + shell_quote(capture.file("err")) +
                             " < /dev/null";
    const int raw = std::system(full.c_str());
    RunResult result;
    if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    result.out = read_file(capture / "out");
    result.err = read_file(capture / "err");
    return result;
}

// A companion ("escala-check") with its arguments, run in `dir`.
inline RunResult run_tool(const fs::path& dir, const std::string& program, const std::string& args) {
    return run_command(dir, shell_quote(binary(program)) + " " + args);
}

struct RunOptions {
    bool fake_clock = true;  // run under `faketime -f fixed_clock`
    std::string stdin_redirect = "< /dev/null";
    int timeout_seconds = 300;  // a hang ends the run and shows as timed_out
    std::string wrapper;        // a command that runs the program, e.g. as another user
};

// Runs escala in `dir` through the shell and captures everything it says.
// Without the fake clock the program is exec'd directly, so a crash shows as
// its signal (the faketime wrapper turns a crash into status 1).
inline RunResult run_escala(const fs::path& dir, const RunOptions& options = {}) {
    TempDir capture;
    std::string command = "cd " + shell_quote(dir.string()) + " && ";
    // faketime preloads its library ahead of everything; a sanitizer build
    // must be told to accept that.
    if (options.fake_clock)
        command += "ASAN_OPTIONS=\"verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}\"; export ASAN_OPTIONS; ";
    command += "exec timeout -k 5 " + std::to_string(options.timeout_seconds) + " ";
    if (!options.wrapper.empty()) command += options.wrapper + " ";
    if (options.fake_clock) command += "faketime -f " + shell_quote(fixed_clock) + " ";
    command += shell_quote(escala_binary()) + " " + options.stdin_redirect + " > " + shell_quote(capture.file("out")) +
               " 2> " + shell_quote(capture.file("err"));
    const int status = std::system(command.c_str());

    RunResult result;
    if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    } else if (WIFEXITED(status)) {
        const int code = WEXITSTATUS(status);
        if (code == 124)
            result.timed_out = true;
        else if (code > 128 && code < 128 + 65)
            result.signal = code - 128;  // the shell's report of a signalled child
        else
            result.status = code;
    }
    result.out = read_file(capture / "out");
    result.err = read_file(capture / "err");
    return result;
}

// A fresh folder for each test, and the programs run in it.
class InFolder : public ::testing::Test {
protected:
    TempDir dir;
    fs::path path(const std::string& name) const { return dir / name; }
    void put(const std::string& name, const std::string& text) const { write_file(dir / name, text); }
    RunResult run(const std::string& command) const { return run_command(dir.path(), command); }
    // A companion by its short name ("check" for escala-check).
    RunResult tool(const std::string& name, const std::string& args) const {
        return run_tool(dir.path(), "escala-" + name, args);
    }
};

// A program started without the shell in `dir`, standard input closed, so
// that signals reach the program itself; argv[0] is looked up in PATH.
struct Child {
    pid_t pid = -1;
};

inline Child spawn(const fs::path& dir, std::vector<std::string> argv, const fs::path& out_file,
                   const fs::path& err_file) {
    Child child;
    child.pid = ::fork();
    if (child.pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::chdir(dir.c_str()) != 0 || in < 0 || out < 0 || err < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char*> args;
        for (std::string& a : argv) args.push_back(a.data());
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    return child;
}

inline Child spawn_escala(const fs::path& dir, const fs::path& out_file, const fs::path& err_file) {
    return spawn(dir, {escala_binary()}, out_file, err_file);
}

// Polls until `ready` holds or `seconds` pass; returns whether it held.
template <typename Predicate>
bool poll_until(Predicate ready, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return ready();
}

// Waits for the child at most `seconds`; returns the wait status, or -1 when
// it is still running.
inline int wait_for(const Child& child, double seconds) {
    int status = -1;
    const bool ended = poll_until([&] { return ::waitpid(child.pid, &status, WNOHANG) == child.pid; }, seconds);
    return ended ? status : -1;
}

// ---- rosters read back ----

// The eight integers of a task, as they stand in a task file or a dump line.
using TaskFields = std::array<std::int64_t, 8>;

// Parses eight integers separated by single non-blank characters; false when
// the text does not hold exactly that.
inline bool parse_fields(const std::string& text, TaskFields& fields) {
    std::istringstream in(text);
    char separator = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0 && !(in >> separator)) return false;
        if (!(in >> fields[i])) return false;
    }
    return true;
}

// The tasks of a task file written with one record a line, sorted.
inline std::vector<TaskFields> tasks_of_task_file(const std::string& text) {
    std::vector<TaskFields> tasks;
    for (const std::string& line : split_lines(text)) {
        TaskFields fields{};
        if (parse_fields(line, fields)) tasks.push_back(fields);
    }
    std::sort(tasks.begin(), tasks.end());
    return tasks;
}

// A dump as text: the roster size and each member's task lines.
struct DumpText {
    long long size = -1;
    std::vector<std::vector<std::string>> members;  // task lines, in order
    bool well_formed = true;
};

inline DumpText parse_dump(const std::string& text) {
    DumpText dump;
    const std::size_t first_marker = text.find("##");
    if (first_marker == std::string::npos) {
        dump.well_formed = false;
        return dump;
    }
    dump.size = std::stoll(text.substr(0, first_marker));
    for (const std::string& line : split_lines(text.substr(first_marker))) {
        if (line.rfind("##", 0) == 0) {
            if (std::stoll(line.substr(2)) != static_cast<long long>(dump.members.size())) dump.well_formed = false;
            dump.members.emplace_back();
        } else if (!dump.members.empty()) {
            dump.members.back().push_back(line);
        } else {
            dump.well_formed = false;
        }
    }
    return dump;
}

inline bool is_virtual_line(const std::string& line) { return line.ends_with(",*"); }

// The real tasks of a dump, over all members, sorted.
inline std::vector<TaskFields> real_tasks_of_dump(const DumpText& dump) {
    std::vector<TaskFields> tasks;
    for (const auto& member : dump.members)
        for (const std::string& line : member) {
            TaskFields fields{};
            if (!is_virtual_line(line) && parse_fields(line, fields)) tasks.push_back(fields);
        }
    std::sort(tasks.begin(), tasks.end());
    return tasks;
}

// What is wrong with a schedule's shape, or an empty string: real tasks in
// ascending start time, at most one virtual task and only last, starting at
// the end of the task before it; an empty schedule holds none.
inline std::string schedule_fault(const Crew& member) {
    const l_tarefas& tasks = member.tasks;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        const bool last = i + 1 == tasks.size();
        if (tasks[i].is_virtual != 0 && !last) return "virtual task before the end at " + std::to_string(i);
        if (tasks[i].is_virtual != 0 && tasks[i].is_virtual != 1) return "odd virtual flag";
        if (i > 0 && tasks[i].is_virtual == 0 && tasks[i].start_time < tasks[i - 1].start_time)
            return "real tasks out of order at " + std::to_string(i);
    }
    if (!tasks.empty() && tasks.back().is_virtual != 0) {
        if (tasks.size() < 2) return "a virtual task alone";
        if (tasks.back().start_time != tasks[tasks.size() - 2].end_time)
            return "virtual task does not start at the end of the last real task";
    }
    return {};
}

inline TaskFields fields_of(const Task& t) {
    return {t.vehicle, t.start_time, t.end_time, t.start_point, t.end_point, t.slack, t.start_line, t.end_line};
}

inline std::vector<TaskFields> sorted_fields(const l_tarefas& tasks) {
    std::vector<TaskFields> all;
    for (const Task& t : tasks) all.push_back(fields_of(t));
    std::sort(all.begin(), all.end());
    return all;
}

// The real tasks held by a roster, as a sorted multiset of their integers.
inline std::vector<TaskFields> real_tasks_of(const v_crew& roster) {
    std::vector<TaskFields> all;
    for (const Crew& member : roster)
        for (const Task& t : member.tasks)
            if (t.is_virtual == 0) all.push_back(fields_of(t));
    std::sort(all.begin(), all.end());
    return all;
}

// A dump and a task file given as text, through the library's readers.
inline Dump dump_of(const std::string& text) {
    std::istringstream in(text);
    return read_dump(in);
}

inline l_tarefas tasks_of(const std::string& text) {
    std::istringstream in(text);
    l_tarefas tasks;
    read_tasks(in, tasks);
    return tasks;
}

// ---- crew members and weights ----

// A crew member that received the tasks one by one through assign_task.
inline Crew assigned(const l_tarefas& list) {
    Crew c;
    for (const Task& t : list) c.assign_task(t, default_rules());
    return c;
}

// A crew member whose schedule is exactly the list given, as it stands.
inline Crew holding(const l_tarefas& list) {
    Crew c;
    c.tasks = list;
    return c;
}

}  // namespace escala::test
