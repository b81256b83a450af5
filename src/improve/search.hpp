// The improver: ruin and recreate with string removals and greedy
// reinsertion with blinks, with relocate, swap and window exchanges (the
// tasks two members have between two time points, or from one time point
// on: a tail exchange) between two members, under simulated annealing;
// every annealing cycle starts with the best reassignment of every member's
// tasks in time windows (reassign.hpp).
// Each move is valued by recomputing only the members it changes.
//
// A single search is a pure function of its start roster, its seed and the
// number of iterations it runs: the same seed gives the same trajectory, and
// the limits (time, iterations, stop flag) only decide where it ends. Several
// threads run independent searches (seeds seed, seed+1, ...) and the best
// roster among them is kept. The result is never worse than the start.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "improve/roster_state.hpp"

namespace escala::improve {

struct ImproveOptions {
    double time_limit_seconds = 60;       // wall clock from the call; 0: none
    std::uint64_t max_iterations = 0;     // per search; 0: none
    std::uint64_t seed = 1;
    unsigned threads = 1;
    const std::atomic<bool>* stop = nullptr;  // raised: the searches end at once
    double progress_seconds = 2;          // period of the progress callback
    double start_temperature = 3000;      // of every annealing cycle; lower from a near-optimal start
    bool reassign = true;                 // every cycle starts with reassignments over time windows
};

// One new best roster: when, after which iteration of the search that found
// it, and its objective.
struct TraceEntry {
    double seconds = 0;
    std::uint64_t iteration = 0;
    std::uint32_t objective = 0;
};

// What the progress callback is told.
struct ProgressReport {
    double seconds = 0;
    std::uint64_t iterations = 0;  // over all searches
    std::uint32_t current = 0;     // objective of the first search's roster now
    std::uint32_t best = 0;        // the best roster over all searches
};

struct ImproveResult {
    RosterState best;
    std::uint32_t start_objective = 0;
    std::uint32_t best_objective = 0;
    std::uint64_t iterations = 0;  // over all searches
    double seconds = 0;
    std::vector<TraceEntry> trace;  // one entry per new best, in time order
    // Each search's best roster (its members' task ids): other good rosters
    // beside the best, whose days an integer program may combine.
    std::vector<std::vector<std::vector<TaskId>>> search_best;
};

// Improves `start`; calls `progress` (when given) from the calling thread
// every progress_seconds while the searches run.
ImproveResult improve(const RosterState& start, const ImproveOptions& options,
                      const std::function<void(const ProgressReport&)>& progress = {});

// A roster of its own for the tasks of `all`: tasks by start time, each to the
// member where it costs least (a few members skipped at random, by the
// generator given). After `deadline` passes (checked once a task) the rest
// go to the members in turn, so that the roster is complete at once.
RosterState construct(const l_tarefas& all, std::size_t members, const Rules& rules, std::mt19937_64& random,
                      std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt);

// Ruin and recreate: strings of consecutive tasks are taken out of a few
// members near a task drawn at random, and each goes back, one by one, to
// the member where it costs least (a member passed over now and then).
class RuinRecreate {
public:
    RuinRecreate(const RosterState& state, std::size_t neighbours = 60);
    // One step on `state` with the generator's draws; returns the new
    // objective. `undo` restores the state as it was before the step.
    std::uint32_t step(RosterState& state, std::mt19937_64& random);
    void undo(RosterState& state);
    // The tasks of task `id`'s neighbourhood, nearest first (itself first).
    const std::vector<TaskId>& neighbours(TaskId id) const { return neighbours_[id]; }
    // Members changed by the last step.
    const std::vector<std::uint32_t>& touched() const { return touched_; }

private:
    void save(const RosterState& state, std::uint32_t m);
    void insert_best(RosterState& state, TaskId id, std::mt19937_64& random);

    std::vector<std::vector<TaskId>> neighbours_;
    std::vector<std::uint32_t> touched_;
    std::vector<std::vector<TaskId>> saved_;  // per touched member, its ids before the step
    std::vector<std::uint8_t> is_touched_;
    std::vector<std::uint8_t> ruined_;
    std::vector<TaskId> removed_;
};

}  // namespace escala::improve
