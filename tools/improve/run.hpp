// escala-improve's work: read the task file and the start roster, improve
// it, write the best roster's files.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "cli/tool.hpp"

namespace escala::tools::improver {

struct ImproveToolOptions {
    std::filesystem::path task_file = "Lintra.tsk";
    std::optional<std::filesystem::path> dump_file;  // none: a construction of its own
    std::filesystem::path out_dir = ".";
    double time_limit_seconds = 60;  // 0: none
    std::uint64_t seed = 0;
    unsigned threads = 1;
    std::optional<std::size_t> crew;  // none: 219, or the dump's size
    std::uint64_t max_iterations = 0;  // per search; 0: none
    bool quiet = false;
    // The start: the cheaper of the dump (if any) and a roster from the
    // column generation's days by an integer program; none: columns without
    // a dump, the dump with one. False: the dump or a construction.
    std::optional<bool> columns_start;
    bool tight_bound = false;  // the column-generation bound, for the gap
    std::filesystem::path rules_file;  // empty: escala's own rules
};

using cli::CannotWrite;
using cli::UnusableInput;

struct ImproveToolResult {
    std::uint32_t start_objective = 0;
    std::uint32_t best_objective = 0;
    std::int64_t lower_bound = 0;      // the larger of the two bounds
    std::string best_source;           // where the best roster came from: "dump", "construction",
                                       // "local search", "integer program", "... and local search"
    std::string columns;               // what the column generation and the integer program did, if they ran
    std::uint64_t iterations = 0;
    double seconds = 0;
    std::int64_t overlapping_pairs = 0;
};

// The summary line (without a line end).
std::string describe_result(const ImproveToolResult& result);

// Runs the whole program but its command line: progress lines and warnings
// go to `err`, the summary to `out`. A raised `stop` ends the search; the
// best roster is written all the same. Throws UnusableInput or CannotWrite
// before anything is written.
ImproveToolResult run_improve(const ImproveToolOptions& options, std::ostream& out, std::ostream& err,
                              const std::atomic<bool>* stop = nullptr);

}  // namespace escala::tools::improver
