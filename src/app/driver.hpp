// The whole run of escala, from the task file to "dumpfile.txt".
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "search/tabu_search.hpp"

namespace escala {

// Crew members in a roster.
constexpr int roster_size = 219;

// Reads one character of standard input and discards it; returns at once at
// the end of input.
void wait_for_enter();

// How a run is made. The defaults are the interactive program's.
struct DriverOptions {
    std::string task_file = "Lintra.tsk";  // read before anything is written
    std::optional<unsigned> seed;          // the construction's seed; the clock when empty
    bool interactive = true;               // the three waits for Enter
    double time_limit_seconds = 0;         // the search's wall-time limit; 0: none
    bool handle_interrupts = true;         // the first Ctrl-C ends the search
    const std::atomic<bool>* stop = nullptr;  // raised: the search ends as if interrupted
    int crew_size = roster_size;              // members in the roster; the sample and windows scale with it
    Rules rules;                              // the crew cost's: escala's own defaults unless a rules file says
};

// What a run gives back besides its files.
struct RunSummary {
    unsigned seed = 0;                        // the construction's seed
    std::uint32_t construction_value = 0;     // objective after the construction
    std::uint32_t best_value = 0;             // objective of the final roster
    std::int32_t iterations = 0;              // tabu iterations run
    StopReason stop_reason = StopReason::stall;
    std::int64_t overlapping_pairs = 0;       // in the final roster
};

// The main sequence: the console lines go to `out`, the files into
// `out_dir` (the working directory for "." or an empty path).
RunSummary run_escala(const DriverOptions& options, const std::filesystem::path& out_dir, std::ostream& out);

}  // namespace escala
