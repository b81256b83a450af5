// Helpers for the tests that run the escala program itself, or that need a
// scratch directory: temporary directories, whole-file reads and writes,
// running the binary through the shell, and parsing its task lines.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
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
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "crew/crew.hpp"

namespace e2e {

namespace fs = std::filesystem;

inline std::string escala_binary() { return ESCALA_BINARY_DIR "/escala"; }
inline fs::path source_file(const std::string& relative) { return fs::path(ESCALA_SOURCE_DIR) / relative; }

// The fixed clock of every run that compares output: a Monday.
inline const char* const fixed_clock = "2026-12-07 10:00:00";

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes away.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "escala-e2e-XXXXXX").string();
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

private:
    fs::path path_;
};

// Makes `dir` the working directory until the object goes away.
class ScopedChdir {
public:
    explicit ScopedChdir(const fs::path& dir) : previous_(fs::current_path()) { fs::current_path(dir); }
    ~ScopedChdir() {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
    }
    ScopedChdir(const ScopedChdir&) = delete;
    ScopedChdir& operator=(const ScopedChdir&) = delete;

private:
    fs::path previous_;
};

inline void write_file(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

inline std::string read_file(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline std::size_t count_occurrences(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
    return count;
}

// The first `n` lines of a file, line ends kept.
inline std::string first_lines(const fs::path& file, std::size_t n) {
    std::ifstream in(file, std::ios::binary);
    std::string result;
    std::string line;
    for (std::size_t i = 0; i < n && std::getline(in, line); ++i) result += line + "\n";
    return result;
}

inline std::string shell_quote(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

struct RunOptions {
    bool fake_clock = true;              // run under `faketime -f fixed_clock`
    std::string stdin_redirect = "< /dev/null";
    int timeout_seconds = 300;           // a hang ends the run and shows as timed_out
    std::string wrapper;                 // a command that runs the program, e.g. as another user
};

struct RunResult {
    int exit_code = -1;    // the program's exit status, when it exited
    int signal = 0;        // the signal that ended it, when one did
    bool timed_out = false;
    std::string out;       // standard output, byte for byte
    std::string err;       // standard error
};

// Runs escala in `dir` through the shell and captures everything it says.
// Without the fake clock the program is exec'd directly, so a crash shows as
// its signal (the faketime wrapper turns a crash into status 1).
inline RunResult run_escala(const fs::path& dir, const RunOptions& options = {}) {
    TempDir capture;
    const fs::path out_file = capture / "stdout";
    const fs::path err_file = capture / "stderr";
    std::string command = "cd " + shell_quote(dir.string()) + " && ";
    // faketime preloads its library ahead of everything; a sanitizer build
    // must be told to accept that.
    if (options.fake_clock)
        command += "ASAN_OPTIONS=\"verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}\"; export ASAN_OPTIONS; ";
    command += "exec timeout -k 5 " + std::to_string(options.timeout_seconds) + " ";
    if (!options.wrapper.empty()) command += options.wrapper + " ";
    if (options.fake_clock) command += "faketime -f " + shell_quote(fixed_clock) + " ";
    command += shell_quote(escala_binary()) + " " + options.stdin_redirect + " > " +
               shell_quote(out_file.string()) + " 2> " + shell_quote(err_file.string());
    const int status = std::system(command.c_str());

    RunResult result;
    if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    } else if (WIFEXITED(status)) {
        const int code = WEXITSTATUS(status);
        if (code == 124) {
            result.timed_out = true;
        } else if (code > 128 && code < 128 + 65) {
            result.signal = code - 128;  // the shell's report of a signalled child
        } else {
            result.exit_code = code;
        }
    }
    result.out = read_file(out_file);
    result.err = read_file(err_file);
    return result;
}

// A child process of escala started without the shell, so that signals
// reach the program itself.
struct Child {
    pid_t pid = -1;
};

inline Child spawn_escala(const fs::path& dir, const fs::path& out_file, const fs::path& err_file) {
    Child child;
    child.pid = ::fork();
    if (child.pid == 0) {
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        const std::string binary = escala_binary();
        ::execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    return child;
}

// Waits for the child at most `seconds`; returns the wait status, or -1 when
// it is still running.
inline int wait_for(const Child& child, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(child.pid, &status, WNOHANG);
        if (done == child.pid) return status;
        if (done < 0 || std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Polls until `ready` holds or `seconds` pass; returns whether it held.
template <typename Predicate>
bool poll_until(Predicate ready, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (ready()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return ready();
}

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

// A dump, read back: the roster size and each member's task lines.
struct Dump {
    long long size = -1;
    std::vector<std::vector<std::string>> members;  // task lines, in order
    bool well_formed = true;
};

inline Dump parse_dump(const std::string& text) {
    Dump dump;
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

inline bool is_virtual_line(const std::string& line) {
    return line.size() >= 2 && line.compare(line.size() - 2, 2, ",*") == 0;
}

// The real tasks of a dump, over all members, sorted.
inline std::vector<TaskFields> real_tasks_of_dump(const Dump& dump) {
    std::vector<TaskFields> tasks;
    for (const auto& member : dump.members)
        for (const std::string& line : member) {
            if (is_virtual_line(line)) continue;
            TaskFields fields{};
            if (parse_fields(line, fields)) tasks.push_back(fields);
        }
    std::sort(tasks.begin(), tasks.end());
    return tasks;
}

// ---- in-process checks of a roster ----

// What is wrong with a schedule's shape, or an empty string: real tasks in
// ascending start time, at most one virtual task and only last, starting at
// the end of the task before it; an empty schedule holds none.
inline std::string schedule_fault(const escala::Crew& member) {
    const escala::l_tarefas& tasks = member.tasks;
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

inline TaskFields fields_of(const escala::Task& t) {
    return {t.vehicle, t.start_time, t.end_time, t.start_point, t.end_point, t.slack, t.start_line, t.end_line};
}

inline std::vector<TaskFields> sorted_fields(const escala::l_tarefas& tasks) {
    std::vector<TaskFields> all;
    for (const escala::Task& t : tasks) all.push_back(fields_of(t));
    std::sort(all.begin(), all.end());
    return all;
}

// The real tasks held by a roster, as a sorted multiset of their integers.
inline std::vector<TaskFields> real_tasks_of(const escala::v_crew& roster) {
    std::vector<TaskFields> all;
    for (const escala::Crew& member : roster)
        for (const escala::Task& t : member.tasks)
            if (t.is_virtual == 0) all.push_back(fields_of(t));
    std::sort(all.begin(), all.end());
    return all;
}

}  // namespace e2e
