// The plan of an escala-improve run: which phases run, in which order, and
// by when (seconds from the start) each must have ended. All of the run's
// timing is decided here.
//
// With a time limit T:
// - a plain start: the construction (by 5 % of T), then the local search to
//   the end;
// - a start from the columns: the construction, a first local search (to
//   25 %, 40 % with one thread: the generations' ends below then move up by 15 %)
//   so that a good roster exists whatever the columns do; the bound's
//   column generation, started from that roster's days (to 45 %, given up
//   after five rounds while its bound is still not above zero, at 35 %
//   while it is not above the quick bound or has not ended a round, or once
//   a third of its time is gone while it is below 80 % of its master); when it
//   has converged or come within 0.5 % of its master (its pool then covers
//   the good days), the generation at crew costs (to 60 %) and the integer
//   program over both pools and the search's days (to 85 %); when it has
//   not (a large day, a tight crew), rounds of an integer
//   program over the days recombined from the best roster's (15 % each at
//   most, a local search from the same roster on the other cores meanwhile,
//   whose days join the next round's pool), each followed by a local search
//   of 7 %, to 95 % or until a round
//   finds nothing (the rounds gain more than a long search would); then a final
//   local search from the best roster of every source, to the end;
// - --tight-bound with a plain start: the bound's generation after the first
//   search, then the search goes on.
// The end leaves room for writing the files: 0.3 s, and 0.1 s a thousand tasks.
// Without a time limit the construction and the columns come first (the
// generations get 600 s each, the integer program 120 s), then one search
// runs until --iterations or Ctrl-C.
#pragma once

#include <cstddef>

namespace escala::tools::improver {

struct Plan {
    bool columns = false;            // the bound's generation runs
    bool crew_generation = false;    // and, if it converges, the generation at crew costs and the program
    bool two_searches = false;       // a search before the columns and one after them
    double construction_end = 0;     // seconds from the start; 0: no limit
    double first_search_end = 0;
    double generation_end = 0;
    double generation_give_up = 0;   // the bound is still not above zero then: stop
    double crew_generation_end = 0;
    double program_end = 0;
    double recombination_round = 0;  // seconds of an integer program over recombined days, at most
    double recombination_search = 0; // seconds of the local search after each
    double recombination_end = 0;    // of the last round and its search
    double end = 0;                  // of the last search
};

// `limit` is --time-limit (0: none); `columns_start`, `tight_bound` and
// `threads` as the options say; `tasks` the task count.
Plan plan_run(double limit, bool columns_start, bool tight_bound, std::size_t tasks, unsigned threads);

}  // namespace escala::tools::improver
