// Benchmarks of the column generation: one pricing round (every task as the
// first of a day, plain and split days) on the first 250, 600 and 1,250
// tasks of the weekday trips, with duals that make most days attractive.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "columns/priced_cost.hpp"
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
    for (const Task& t : tasks) duals.push_back(0.9 * static_cast<double>(priced_cost(std::vector{t})));
    Pricer pricer(tasks, 1);
    for (auto _ : bench) benchmark::DoNotOptimize(pricer.price(duals, 0.0).least_reduced_cost);
    bench.counters["tasks"] = static_cast<double>(tasks.size());
    bench.counters["links"] = static_cast<double>(pricer.links());
}
BENCHMARK(BM_PricingRound)->Arg(250)->Arg(600)->Arg(1250)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
