#include "batch.hpp"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <optional>
#include <sstream>

#include "cli/atomic_file.hpp"
#include "cli/interrupt_guard.hpp"
#include "crew/overlaps.hpp"
#include "io/strict_tasks.hpp"
#include "rules/rules_file.hpp"

namespace escala::tools::batch {

namespace fs = std::filesystem;

namespace {

const char* const log_name = "file_obj.txt";  // the one file that grows with each run

// The task file as an absolute path, once the strict reader has taken it
// whole; its warnings go to `err`, its number of tasks to `count`.
fs::path usable_task_file(const fs::path& name, std::ostream& err, std::size_t& count) {
    try {
        const StrictTasks read = load_tasks_strict(name);
        for (const std::string& warning : read.warnings) err << "escala-batch: " << warning << "\n";
        count = read.tasks.size();
    } catch (const TaskFileError& e) {
        throw cli::UnusableInput(e.what());
    }
    return fs::absolute(name);
}

const char* const rules_copy = "rules.toml";  // the rules file, beside the roster it scored

fs::path usable_out_dir(const fs::path& dir) {
    const std::string problem = cli::output_folder_problem(dir);
    if (!problem.empty()) throw cli::UnusableInput(problem);
    return fs::absolute(dir);
}

// Moves a finished build's files into the output directory: the reports
// replace those there, the search log is appended to the one there. Signals
// are held meanwhile, so the directory gets the whole set or none of it.
void publish(const fs::path& scratch, const fs::path& out_dir) {
    std::vector<fs::path> reports;
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch))
        if (entry.path().filename() != log_name) reports.push_back(entry.path());
    // The longer log is made beside its target before anything moves.
    std::optional<cli::AtomicFile> log;
    if (fs::exists(scratch / log_name)) {
        log.emplace(out_dir / log_name);
        std::ifstream old(out_dir / log_name, std::ios::binary), added(scratch / log_name, std::ios::binary);
        if (old && old.peek() != std::ifstream::traits_type::eof()) log->stream() << old.rdbuf();
        if (added.peek() != std::ifstream::traits_type::eof()) log->stream() << added.rdbuf();
    }
    const cli::SignalsHeld held;
    for (const fs::path& report : reports) fs::rename(report, out_dir / report.filename());
    if (log) {
        try {
            log->commit();
        } catch (const cli::WriteError& e) {
            throw fs::filesystem_error(e.what(), out_dir / log_name, std::make_error_code(std::errc::io_error));
        }
    }
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
         << stop_text(run.summary.stop_reason) << ", " << overlaps_text(run.summary.overlapping_pairs);
    return line.str();
}

std::size_t best_run(const std::vector<RunRecord>& runs) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < runs.size(); ++i)
        if (runs[i].summary.best_value < runs[best].summary.best_value) best = i;
    return best;
}

BatchResult run_batch(const BatchOptions& options, std::ostream& out, std::ostream& err,
                      const std::atomic<bool>* stop) {
    std::size_t task_count = 0;
    const fs::path task_file = usable_task_file(options.task_file, err, task_count);
    RulesFile rules;
    if (!options.rules_file.empty()) {
        rules = read_rules_file(options.rules_file);
        check_rules_fit(rules, static_cast<std::size_t>(options.crew), task_count);
    }
    const fs::path out_dir = usable_out_dir(options.out_dir);
    if (const std::string used = rules_summary(rules); !used.empty()) out << used << "\n" << std::flush;
    std::ostream nowhere(nullptr);  // escala's console lines when quiet
    std::ostream& console = options.quiet ? nowhere : out;
    if (!options.quiet) out << "seed " << options.seed << "\n" << std::flush;

    const auto started = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); };
    auto stopped = [&] { return stop != nullptr && stop->load(); };

    BatchResult result;
    cli::Temporary best_dir;
    for (int k = 0; k < options.runs && !stopped(); ++k) {
        DriverOptions driver;
        driver.task_file = task_file.string();
        driver.seed = options.seed + static_cast<unsigned>(k);
        driver.interactive = false;
        driver.handle_interrupts = false;
        driver.stop = stop;
        driver.time_limit_seconds = options.time_limit_seconds;
        driver.crew_size = options.crew;
        driver.rules = rules.rules;
        if (options.total_time_seconds > 0) {
            const double left = options.total_time_seconds - elapsed();
            if (left <= 0) {
                result.total_time_reached = true;
                break;
            }
            if (driver.time_limit_seconds == 0 || left < driver.time_limit_seconds) driver.time_limit_seconds = left;
        }

        cli::Temporary scratch = cli::make_temporary_directory(out_dir, ".escala-batch-");
        RunRecord run;
        run.number = k + 1;
        const auto run_started = std::chrono::steady_clock::now();
        run.summary = run_escala(driver, scratch.path(), console);
        if (!options.rules_file.empty()) fs::copy_file(options.rules_file, scratch.path() / rules_copy);
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - run_started).count();
        result.runs.push_back(run);
        out << describe_run(run) << "\n" << std::flush;

        if (best_run(result.runs) == result.runs.size() - 1) best_dir = std::move(scratch);
        if (stopped() && k + 1 < options.runs) out << "interrupted: the remaining runs are skipped\n";
    }
    if (options.total_time_seconds > 0 && result.runs.size() < static_cast<std::size_t>(options.runs) && !stopped()) {
        result.total_time_reached = true;
        out << "total time reached: " << result.runs.size() << " of " << options.runs << " runs done\n";
    }
    if (result.runs.empty()) return result;
    publish(best_dir.path(), out_dir);
    result.written = true;
    const RunRecord& best = result.runs[best_run(result.runs)];
    if (options.runs > 1)
        out << "best: run " << best.number << " (seed " << best.summary.seed << "), objective "
               << best.summary.best_value << ", " << overlaps_text(best.summary.overlapping_pairs) << "\n";
    out << std::flush;
    if (best.summary.overlapping_pairs > 0)
        err << "escala-batch: "
            << overlaps_warning("kept", best.summary.overlapping_pairs, task_file.string(),
                                (out_dir / "dumpfile.txt").string())
            << "\n";
    return result;
}

}  // namespace escala::tools::batch
