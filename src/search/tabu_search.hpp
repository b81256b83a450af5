// The improvement phase: sampled single-task moves under a tabu list.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "crew/crew.hpp"
#include "search/roster_eval.hpp"

namespace escala {

// One move: a task goes from one roster member to another.
struct solucao {
    std::int32_t from_crew = 0;  // roster index of the giver
    std::int32_t to_crew = 0;    // roster index of the receiver
    std::int32_t task_pos = 0;   // position of the task in the giver's schedule
    Task moved_task;             // the task that moves
};

// Fills `sample` (its size is kept) with copies of roster members drawn at
// random, each tagged with its roster index in `id`.
void draw_sample(const v_crew& roster, v_crew& sample);
// The same draws, giving only the roster indices.
void draw_sample_ids(std::size_t roster_size, std::vector<std::int32_t>& ids);

// The roster value after moving the task at `position` of `giver` to
// `receiver`, from the current value; `moved` receives the task.
std::uint32_t move_value(Crew giver, Crew receiver, std::int32_t position, std::uint32_t current, Task& moved,
                         const Rules& rules);

// Why a search ended.
enum class StopReason { stall, interrupted, time_limit };

// What the caller may ask of a search beyond its parameters.
struct SearchControl {
    double time_limit_seconds = 0;  // 0: no limit
    bool wait_for_enter = true;     // the final wait of an interactive run
    bool handle_interrupts = true;  // the first SIGINT/SIGTERM ends the search
    bool reference_scan = false;    // evaluate moves the straightforward way (for comparisons)
    Rules rules;                    // the crew cost's weights and limits (escala: the defaults)
    const std::atomic<bool>* stop = nullptr;  // when set and raised, the search ends as if interrupted
    std::ostream* console = &std::cout;      // where the iteration lines go
    std::filesystem::path out_dir;           // where its files go; empty: the working directory
};

class TabuSearch {
public:
    v_crew best_roster;            // copy of the best roster found
    std::uint32_t best_value = 0;  // its objective
    std::vector<solucao> tabu_list;  // recent moves, oldest first
    solucao move;                  // the move chosen in the current iteration
    std::uint32_t tabu_size = 0;   // the limit on the tabu list's length
    std::ofstream file_obj;        // the per-iteration log

    SearchControl control;         // limits and interaction

    // Improves `roster` in place; on return it holds the best roster found.
    void run(v_crew& roster, double sample_percent, std::int32_t max_stall, std::uint32_t tabu_base,
             std::int32_t resize_period);

    // Sizes the sample and builds the scan's caches for `roster`.
    void prepare(const v_crew& roster, std::size_t sample_size);
    // One iteration's draw, scan and move on the roster prepared: returns
    // true when a move was carried out (and appended to the tabu list), with
    // `current` the roster's value after it.
    bool step(v_crew& roster, std::uint32_t& current);

    // Chooses this iteration's move among all moves between sample members;
    // returns the value after it. `taken` tells whether any move was taken.
    std::uint32_t scan_moves(const v_crew& sample, std::uint32_t current, bool& taken);

    // The same choice by the straightforward evaluation of every move (kept
    // as the reference for the fast scan).
    std::uint32_t scan_moves_reference(const v_crew& sample, std::uint32_t current, bool& taken);

    // True when the tabu list holds the reverse of the candidate.
    bool is_tabu(const solucao& candidate) const;

    std::int32_t iterations() const { return iterations_; }
    StopReason stop_reason() const { return stop_reason_; }

private:
    // The take rule over all moves between the given members of the
    // evaluator; `ids` are their roster indices.
    std::uint32_t scan_members(const std::vector<std::size_t>& members, const std::vector<std::int32_t>& ids,
                               std::uint32_t current, bool& taken);

    RosterEvaluator evaluator_;              // the fast scan's caches
    std::vector<std::size_t> distinct_;      // scratch: the sample's distinct members
    std::vector<const Crew*> unique_;        // scratch: a sample's distinct entries
    std::vector<std::uint8_t> seen_;         // scratch: per member, already in distinct_
    v_crew sample_;                          // the straightforward scan's sample
    std::vector<std::uint8_t> tabu_pairs_;   // scratch: (from, to) pairs in the tabu list
    std::vector<std::size_t> scan_members_;  // scratch: evaluator indices of the sample
    std::vector<std::int32_t> scan_ids_;     // scratch: roster indices of the sample

    std::int32_t iterations_ = 0;
    StopReason stop_reason_ = StopReason::stall;
};

}  // namespace escala
