// Benchmarks of the column generation: one pricing round (every task as the
// first of a day, plain and split days; second argument 1: plain days at
// their crew cost) on the first 250, 600 and 1,250 tasks of the weekday
// trips, with duals that make most days attractive;
// and the whole way to a roster on the same tasks (counters: seconds of the
// generation, of costing its days with the crew cost, of the integer program).
#include <benchmark/benchmark.h>

#include <filesystem>

#include <chrono>

#include "columns/column_generation.hpp"
#include "columns/priced_cost.hpp"
#include "columns/roster_program.hpp"
#include "columns/pricing.hpp"
#include "io/strict_tasks.hpp"

namespace {

using namespace escala;
using namespace escala::columns;

const char* const kRealFile = ESCALA_SOURCE_DIR "/examples/ltd-p1-weekday-trips.tsk";

l_tarefas first_tasks(std::size_t count) {
    l_tarefas tasks = load_tasks_strict(kRealFile).tasks;
    tasks.resize(std::min(count, tasks.size()));
    return tasks;
}

void BM_PricingRound(benchmark::State& bench) {
    if (!std::filesystem::exists(kRealFile)) {
        bench.SkipWithError("no real task file");
        return;
    }
    const l_tarefas tasks = first_tasks(static_cast<std::size_t>(bench.range(0)));
    std::vector<double> duals;
    for (const Task& t : tasks) duals.push_back(0.9 * static_cast<double>(priced_cost(std::vector{t}, default_rules())));
    Pricer pricer(tasks, 1, bench.range(1) == 1 ? PricerMode::crew_cost_plain : PricerMode::priced);
    for (auto _ : bench) benchmark::DoNotOptimize(pricer.price(duals, 0.0).least_reduced_cost);
    bench.counters["tasks"] = static_cast<double>(tasks.size());
    bench.counters["links"] = static_cast<double>(pricer.links());
}
BENCHMARK(BM_PricingRound)->ArgsProduct({{250, 600, 1250}, {0, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ColumnsToRoster(benchmark::State& bench) {
    if (!std::filesystem::exists(kRealFile)) {
        bench.SkipWithError("no real task file");
        return;
    }
    const l_tarefas tasks = first_tasks(static_cast<std::size_t>(bench.range(0)));
    const std::size_t members = (tasks.size() * 219 + 1256) / 1257;  // the weekday's ratio
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::time_point from) { return std::chrono::duration<double>(Clock::now() - from).count(); };
    double generation = 0, costing = 0, program = 0;
    for (auto _ : bench) {
        auto at = Clock::now();
        const TightBound bound = tight_lower_bound(tasks, members);
        generation += seconds(at);
        at = Clock::now();
        std::uint64_t sum = 0;
        for (const Day& day : bound.pool) sum += true_cost(tasks, day, default_rules());
        benchmark::DoNotOptimize(sum);
        costing += seconds(at);
        at = Clock::now();
        benchmark::DoNotOptimize(solve_roster_program(tasks, members, bound.pool).cost);
        program += seconds(at);
    }
    const auto runs = static_cast<double>(bench.iterations());
    bench.counters["generation_s"] = generation / runs;
    bench.counters["costing_s"] = costing / runs;
    bench.counters["program_s"] = program / runs;
}
BENCHMARK(BM_ColumnsToRoster)->Arg(250)->Arg(600)->Arg(1250)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
