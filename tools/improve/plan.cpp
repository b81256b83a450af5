#include "plan.hpp"

#include <algorithm>

namespace escala::tools::improver {

Plan plan_run(double limit, bool columns_start, bool tight_bound, std::size_t tasks, unsigned threads) {
    Plan plan;
    plan.columns = columns_start || tight_bound;
    plan.crew_generation = columns_start;
    if (limit <= 0) {
        // One search, after the columns: a first one would run until Ctrl-C.
        // Phase budgets, counted from when each phase starts.
        plan.generation_end = plan.generation_give_up = plan.crew_generation_end = 600;
        plan.program_end = plan.recombination_round = plan.recombination_end = 120;
        plan.recombination_search = 30;
        return plan;
    }
    const double reserve = 0.3 + 0.1 * static_cast<double>(tasks) / 1000;
    plan.two_searches = plan.columns;
    plan.end = std::max(limit - reserve, 0.5 * limit);
    plan.construction_end = 0.05 * plan.end;
    // With one thread nothing runs beside the programs, and the first search
    // takes 40 % (on the two-depot day with a busy core, a quarter's search
    // and the rounds after it ended above the plain search).
    const double first = threads > 1 ? 0.25 : 0.40;
    plan.first_search_end = plan.columns ? first * plan.end : plan.end;
    plan.generation_end = (first + 0.20) * plan.end;
    plan.generation_give_up = (first + 0.10) * plan.end;
    plan.crew_generation_end = (first + 0.35) * plan.end;
    plan.program_end = 0.85 * plan.end;
    plan.recombination_round = 0.15 * plan.end;
    plan.recombination_search = 0.07 * plan.end;
    plan.recombination_end = 0.95 * plan.end;
    return plan;
}

}  // namespace escala::tools::improver
