// Unattended, reproducible builds of a roster: escala's construction and
// tabu search without the waits, on a named task file, into a directory.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "app/driver.hpp"
#include "cli/tool.hpp"

namespace escala::tools::batch {

struct BatchOptions {
    std::filesystem::path task_file = "Lintra.tsk";
    std::filesystem::path out_dir = ".";
    unsigned seed = 0;              // seed of run 1; run k uses seed + k - 1
    int runs = 1;
    double time_limit_seconds = 0;  // per search; 0: none
    double total_time_seconds = 0;  // the whole batch; 0: none
    bool quiet = false;             // only the per-run summaries on the console
    int crew = roster_size;         // members in each roster
    std::filesystem::path rules_file;  // empty: escala's own rules
};

// One finished build.
struct RunRecord {
    int number = 0;  // 1-based
    RunSummary summary;
    double seconds = 0;  // wall time of the whole build
};

// The summary line of one run (without a line end).
std::string describe_run(const RunRecord& run);

// Position of the run with the lowest final objective; the earliest on ties.
std::size_t best_run(const std::vector<RunRecord>& runs);

// What a batch did.
struct BatchResult {
    std::vector<RunRecord> runs;  // the runs that finished, in order
    bool written = false;         // the best run's files are in the output directory
    bool total_time_reached = false;
};

// Runs the builds and leaves the best one's files in the output directory
// (file_obj.txt there gets its lines appended). The tool's own lines, and
// escala's console lines unless quiet, go to `out`; warnings to `err`.
// Throws cli::UnusableInput before anything is written when the task file
// or the output directory cannot be used. A raised `stop` ends the running
// search, starts no further run, and keeps the best finished run (none:
// nothing is written). Every run's files are made in a scratch folder that
// never outlives the program.
BatchResult run_batch(const BatchOptions& options, std::ostream& out, std::ostream& err,
                      const std::atomic<bool>* stop = nullptr);

}  // namespace escala::tools::batch
