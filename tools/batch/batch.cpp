#include "batch.hpp"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "io/load_list.hpp"

namespace escala::batch {

namespace fs = std::filesystem;

namespace {

const char* const log_name = "file_obj.txt";  // the one file that grows with each run

// Runs its owner's scope in another working directory.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const fs::path& dir) : saved_(fs::current_path()) { fs::current_path(dir); }
    ~WorkingDirectory() {
        std::error_code ignored;
        fs::current_path(saved_, ignored);
    }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    fs::path saved_;
};

class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Sends std::cout nowhere while it lives, when asked to.
class Silence {
public:
    explicit Silence(bool on) : saved_(on ? std::cout.rdbuf(&null_) : nullptr) {}
    ~Silence() {
        if (saved_) std::cout.rdbuf(saved_);
    }
    Silence(const Silence&) = delete;
    Silence& operator=(const Silence&) = delete;

private:
    NullBuffer null_;
    std::streambuf* saved_;
};

// The task file as an absolute path, once it is known to hold tasks (or
// nothing at all: an empty day is a valid, if dull, input).
fs::path usable_task_file(const fs::path& name) {
    const fs::path path = fs::absolute(name);
    std::ifstream in(path);
    if (fs::is_directory(path) || !in) throw UnusableInput("cannot read the task file '" + name.string() + "'");
    l_tarefas tasks;
    const ReadOutcome outcome = read_tasks(in, tasks);
    if (outcome.tasks_read == 0 && outcome.malformed)
        throw UnusableInput("'" + name.string() + "' holds no task (line " + std::to_string(outcome.stop_line) +
                            " is not a task record)");
    return path;
}

fs::path usable_out_dir(const fs::path& dir) {
    std::error_code error;
    fs::create_directories(dir, error);
    if (!fs::is_directory(dir))
        throw UnusableInput("cannot create the output directory '" + dir.string() + "'" +
                            (error ? ": " + error.message() : ""));
    if (::access(dir.c_str(), W_OK | X_OK) != 0)
        throw UnusableInput("cannot write in the output directory '" + dir.string() + "'");
    return fs::absolute(dir);
}

// A fresh directory inside `parent`, so that files move out of it by rename.
fs::path make_scratch_dir(const fs::path& parent) {
    std::string name = (parent / ".escala-batch-XXXXXX").string();
    if (!::mkdtemp(name.data()))
        throw fs::filesystem_error("cannot create a scratch directory", parent,
                                   std::error_code(errno, std::generic_category()));
    return name;
}

// Moves a finished build's files into the output directory: the reports
// replace those there, the search log is appended to the one there.
void publish(const fs::path& scratch, const fs::path& out_dir) {
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch)) {
        const fs::path name = entry.path().filename();
        if (name != log_name) {
            fs::rename(entry.path(), out_dir / name);
            continue;
        }
        std::ifstream from(entry.path(), std::ios::binary);
        std::ofstream to(out_dir / name, std::ios::binary | std::ios::app);
        if (from.peek() != std::ifstream::traits_type::eof()) to << from.rdbuf();
        to.close();
        if (!to)
            throw fs::filesystem_error("cannot append to", out_dir / name,
                                       std::make_error_code(std::errc::io_error));
    }
    fs::remove_all(scratch);
}

const char* stop_text(StopReason reason) {
    switch (reason) {
        case StopReason::interrupted: return "interrupted";
        case StopReason::time_limit: return "time limit";
        case StopReason::stall: break;
    }
    return "stall limit";
}

}  // namespace

std::string describe_run(const RunRecord& run) {
    std::ostringstream line;
    line << "run " << run.number << ": seed " << run.summary.seed << ", construction "
         << run.summary.construction_value << ", best " << run.summary.best_value << ", iterations "
         << run.summary.iterations << ", " << std::fixed << std::setprecision(2) << run.seconds << " s, "
         << stop_text(run.summary.stop_reason);
    return line.str();
}

std::size_t best_run(const std::vector<RunRecord>& runs) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < runs.size(); ++i)
        if (runs[i].summary.best_value < runs[best].summary.best_value) best = i;
    return best;
}

std::vector<RunRecord> run_batch(const BatchOptions& options, std::ostream& out) {
    const fs::path task_file = usable_task_file(options.task_file);
    const fs::path out_dir = usable_out_dir(options.out_dir);
    // The tool's own lines keep going to the real output while escala's are silenced.
    std::ostream report(out.rdbuf());
    if (!options.quiet) report << "seed " << options.seed << "\n" << std::flush;

    std::vector<RunRecord> runs;
    fs::path best_dir;
    for (int k = 0; k < options.runs; ++k) {
        DriverOptions driver;
        driver.task_file = task_file.string();
        driver.seed = options.seed + static_cast<unsigned>(k);
        driver.interactive = false;
        driver.time_limit_seconds = options.time_limit_seconds;

        const fs::path scratch = make_scratch_dir(out_dir);
        RunRecord run;
        run.number = k + 1;
        const auto started = std::chrono::steady_clock::now();
        {
            const WorkingDirectory inside(scratch);
            const Silence silence(options.quiet);
            run.summary = run_escala(driver);
        }
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        runs.push_back(run);
        report << describe_run(run) << "\n" << std::flush;

        if (best_run(runs) == runs.size() - 1) {
            if (!best_dir.empty()) fs::remove_all(best_dir);
            best_dir = scratch;
        } else {
            fs::remove_all(scratch);
        }
        if (run.summary.stop_reason == StopReason::interrupted) {
            if (k + 1 < options.runs) report << "interrupted: the remaining runs are skipped\n";
            break;
        }
    }
    publish(best_dir, out_dir);
    if (options.runs > 1) {
        const RunRecord& best = runs[best_run(runs)];
        report << "best: run " << best.number << " (seed " << best.summary.seed << "), objective "
               << best.summary.best_value << "\n";
    }
    report << std::flush;
    return runs;
}

}  // namespace escala::batch
