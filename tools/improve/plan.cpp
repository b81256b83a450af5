#include "plan.hpp"

#include <algorithm>

namespace escala::tools::improver {

Plan plan_run(double limit, bool columns_start, bool tight_bound, std::size_t tasks) {
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
    plan.first_search_end = plan.columns ? 0.25 * plan.end : plan.end;
    plan.generation_end = 0.45 * plan.end;
    plan.generation_give_up = 0.35 * plan.end;
    plan.crew_generation_end = 0.60 * plan.end;
    plan.program_end = 0.85 * plan.end;
    plan.recombination_round = 0.15 * plan.end;
    plan.recombination_search = 0.07 * plan.end;
    plan.recombination_end = 0.95 * plan.end;
    return plan;
}

}  // namespace escala::tools::improver
