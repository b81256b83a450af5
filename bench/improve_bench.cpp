// Benchmarks of the improver's move evaluation: values per second of the
// moves between two members and of whole ruin-and-recreate steps, on
// rosters of 219 members with 2, 4, 8 and 16 tasks each (the growth with
// the schedule length), and of a step on the real weekday trips.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "improve/moves.hpp"
#include "improve/search.hpp"
#include "io/strict_tasks.hpp"

namespace {

using namespace escala;
using namespace escala::improve;

constexpr std::size_t kRoster = 219;
const char* const kRealFile = ESCALA_SOURCE_DIR "/examples/ltd-p1-weekday-trips.tsk";

// Member m drives `per_member` trips of 25 to 60 minutes in a row from a
// start between 5:00 and 12:00, on two vehicles and a few points.
RosterState roster_of(std::size_t per_member) {
    std::mt19937_64 random(per_member);
    auto draw = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    l_tarefas all;
    v_crew roster(kRoster);
    for (std::size_t m = 0; m < kRoster; ++m) {
        int time = draw(300, 720);
        for (std::size_t k = 0; k < per_member; ++k) {
            const int length = draw(25, 60);
            const Task t(static_cast<int>(m) * 2 + draw(0, 1), time, time + length, draw(1, 6), draw(1, 6), 0, 1, 1);
            all.push_back(t);
            roster[m].assign_task(t, default_rules());
            time += length + draw(0, 15);
        }
    }
    return RosterState(all, roster, default_rules());
}

struct Pick {
    std::size_t a, i, b, j;
    std::int32_t from, to;
};

std::vector<Pick> picks(const RosterState& state, std::size_t count) {
    std::mt19937_64 random(7);
    std::uniform_int_distribution<std::size_t> member(0, state.size() - 1);
    std::vector<Pick> list;
    while (list.size() < count) {
        const std::size_t a = member(random), b = member(random);
        if (a == b || state.tasks(a).empty() || state.tasks(b).empty()) continue;
        const std::size_t i = random() % state.tasks(a).size(), j = random() % state.tasks(b).size();
        const std::int32_t from = state.tasks(a)[i].start_time;
        list.push_back({a, i, b, j, from, from + 120});
    }
    return list;
}

void BM_RelocateValue(benchmark::State& bench) {
    const RosterState state = roster_of(static_cast<std::size_t>(bench.range(0)));
    const std::vector<Pick> list = picks(state, 4096);
    std::size_t k = 0;
    for (auto _ : bench) {
        const Pick& p = list[k++ % list.size()];
        benchmark::DoNotOptimize(relocate_value(state, p.a, p.i, p.b));
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_RelocateValue)->Arg(2)->Arg(4)->Arg(8)->Arg(16);

void BM_SwapValue(benchmark::State& bench) {
    const RosterState state = roster_of(static_cast<std::size_t>(bench.range(0)));
    const std::vector<Pick> list = picks(state, 4096);
    MoveScratch scratch;
    std::size_t k = 0;
    for (auto _ : bench) {
        const Pick& p = list[k++ % list.size()];
        benchmark::DoNotOptimize(swap_value(state, p.a, p.i, p.b, p.j, scratch));
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_SwapValue)->Arg(2)->Arg(4)->Arg(8)->Arg(16);

void BM_WindowExchangeValue(benchmark::State& bench) {
    const RosterState state = roster_of(static_cast<std::size_t>(bench.range(0)));
    const std::vector<Pick> list = picks(state, 4096);
    MoveScratch scratch;
    std::size_t k = 0;
    for (auto _ : bench) {
        const Pick& p = list[k++ % list.size()];
        benchmark::DoNotOptimize(window_exchange_value(state, p.a, p.b, p.from, p.to, scratch));
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_WindowExchangeValue)->Arg(2)->Arg(4)->Arg(8)->Arg(16);

// A whole step: removal of about ten tasks, reinsertion of each at the best of
// the 219 members, and the undo.
void BM_RuinRecreateStep(benchmark::State& bench) {
    RosterState state = roster_of(static_cast<std::size_t>(bench.range(0)));
    RuinRecreate ruin(state);
    std::mt19937_64 random(3);
    for (auto _ : bench) {
        benchmark::DoNotOptimize(ruin.step(state, random));
        ruin.undo(state);
    }
    bench.SetItemsProcessed(bench.iterations());
}
BENCHMARK(BM_RuinRecreateStep)->Arg(2)->Arg(4)->Arg(8)->Arg(16)->Unit(benchmark::kMicrosecond);

// Iterations of one search on the real weekday trips, from its own construction.
void BM_SearchIterationsReal(benchmark::State& bench) {
    if (!std::filesystem::exists(kRealFile)) {
        bench.SkipWithError("no real task file");
        return;
    }
    const l_tarefas tasks = load_tasks_strict(kRealFile).tasks;
    std::mt19937_64 random(1);
    const RosterState start = construct(tasks, kRoster, default_rules(), random);
    std::uint64_t iterations = 0;
    for (auto _ : bench) {
        ImproveOptions options;
        options.time_limit_seconds = 0;
        options.max_iterations = 2000;
        options.seed = 1;
        iterations += escala::improve::improve(start, options).iterations;
    }
    bench.SetItemsProcessed(static_cast<std::int64_t>(iterations));
}
BENCHMARK(BM_SearchIterationsReal)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
