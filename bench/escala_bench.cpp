// Benchmarks of the move scan, the construction and whole searches, each
// with the fast evaluation and the straightforward one side by side.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <streambuf>

#include "crew/crew_util.hpp"
#include "io/load_list.hpp"
#include "search/grasp.hpp"
#include "search/random.hpp"
#include "search/tabu_search.hpp"

namespace {

using namespace escala;

constexpr std::size_t kRoster = 219;
const char* const kRealFile = ESCALA_SOURCE_DIR "/examples/ltd-p1-weekday-trips.tsk";

// Swallows the console output of the code under test.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
};
NullBuffer null_buffer;

struct QuietConsole {
    std::streambuf* saved = std::cout.rdbuf(&null_buffer);
    ~QuietConsole() { std::cout.rdbuf(saved); }
};

// Runs the code under test in a scratch directory, since the search writes files.
struct ScratchDir {
    std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::path dir;
    ScratchDir() {
        char pattern[] = "/tmp/escala-bench-XXXXXX";
        dir = ::mkdtemp(pattern);
        std::filesystem::current_path(dir);
    }
    ~ScratchDir() {
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(dir);
    }
};

l_tarefas real_tasks() {
    l_tarefas tasks;
    load_list(tasks, kRealFile);
    sort_by_start(tasks);
    return tasks;
}

// A synthetic day: vehicles running trips of 20-60 minutes between six
// terminals from 300 to 1500 minutes, about `per_member` tasks per member.
l_tarefas synthetic_tasks(int per_member) {
    std::mt19937 gen(12345);
    l_tarefas tasks;
    const std::size_t wanted = kRoster * static_cast<std::size_t>(per_member);
    for (int vehicle = 1; tasks.size() < wanted; ++vehicle) {
        int t = 300 + static_cast<int>(gen() % 240);
        int point = static_cast<int>(gen() % 6);
        while (t < 1500 && tasks.size() < wanted) {
            const int length = 20 + static_cast<int>(gen() % 41);
            const int next = static_cast<int>(gen() % 6);
            tasks.emplace_back(vehicle, t, t + length, point, next, static_cast<int>(gen() % 3), vehicle % 9,
                               vehicle % 9);
            t += length + 5 + static_cast<int>(gen() % 20);
            point = next;
        }
    }
    sort_by_start(tasks);
    return tasks;
}

v_crew constructed(l_tarefas tasks) {
    QuietConsole quiet;
    v_crew roster(kRoster);
    grasp(tasks, roster, 2.0, 2.0, default_rules(), 20261207u);
    return roster;
}

// One scan over a sample of the roster built from the real weekday trips,
// from cold caches.
void BM_Scan(benchmark::State& state) {
    const bool reference = state.range(0) == 1;
    static const v_crew roster = constructed(real_tasks());
    v_crew copy = roster;
    TabuSearch search;
    search.best_value = global_objective(copy, default_rules());
    search.control.reference_scan = reference;
    v_crew sample(kRoster / 4);
    seed_random(7);
    draw_sample(roster, sample);
    bool taken = false;
    for (auto _ : state) benchmark::DoNotOptimize(search.scan_moves(sample, search.best_value, taken));
    state.SetLabel(reference ? "straightforward" : "fast");
}
BENCHMARK(BM_Scan)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->Repetitions(5);

// One iteration of a running search on the real weekday trips (draw a
// sample, scan it, carry out the move), after 300 iterations of warm-up:
// the scan as the search meets it, with the caches of earlier iterations.
// Both evaluations follow the same trajectory.
void BM_SearchStep(benchmark::State& state) {
    const bool reference = state.range(0) == 1;
    static const v_crew start = constructed(real_tasks());
    v_crew roster = start;
    TabuSearch search;
    search.control.reference_scan = reference;
    std::uint32_t current = global_objective(roster, default_rules());
    search.best_value = current;
    search.prepare(roster, kRoster / 4);
    seed_random(11);
    // The rest of an iteration as the search makes it: tabu list upkeep and
    // the best value (the copy of the best roster is left out).
    auto iterate = [&] {
        search.step(roster, current);
        if (search.tabu_list.size() > 250) search.tabu_list.erase(search.tabu_list.begin());
        if (current < search.best_value) search.best_value = current;
    };
    for (int warm = 0; warm < 300; ++warm) iterate();
    for (auto _ : state) iterate();
    state.SetLabel(reference ? "straightforward" : "fast");
}
BENCHMARK(BM_SearchStep)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->Repetitions(5);

// The whole construction of the real weekday trips.
void BM_Construction(benchmark::State& state) {
    const bool reference = state.range(0) == 1;
    const l_tarefas tasks = real_tasks();
    QuietConsole quiet;
    for (auto _ : state) {
        l_tarefas list = tasks;
        v_crew roster(kRoster);
        grasp(list, roster, 2.0, 2.0, default_rules(), 20261207u, reference);
        benchmark::DoNotOptimize(roster.data());
    }
    state.SetLabel(reference ? "straightforward" : "fast");
}
BENCHMARK(BM_Construction)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

// Construction and search to the stall limit on the real weekday trips, as escala runs them.
void BM_WholeRun(benchmark::State& state) {
    const bool reference = state.range(0) == 1;
    const l_tarefas tasks = real_tasks();
    ScratchDir scratch;
    QuietConsole quiet;
    std::int32_t iterations = 0;
    for (auto _ : state) {
        l_tarefas list = tasks;
        v_crew roster(kRoster);
        grasp(list, roster, 2.0, 2.0, default_rules(), 20261207u, reference);
        TabuSearch search;
        search.control.wait_for_enter = false;
        search.control.handle_interrupts = false;
        search.control.reference_scan = reference;
        search.run(roster, 25.0, 500, 250, 150);
        iterations = search.iterations();
    }
    state.counters["iterations"] = iterations;
    state.SetLabel(reference ? "straightforward" : "fast");
}
// The straightforward whole run takes most of a minute: it runs once.
BENCHMARK(BM_WholeRun)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_WholeRun)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5);

// Search iterations on synthetic days of 2, 4, 8 and 16 tasks per crew
// member: a search of 300 iterations without a stall reset, timed per iteration.
void BM_Iteration(benchmark::State& state) {
    const int per_member = static_cast<int>(state.range(0));
    const v_crew start = constructed(synthetic_tasks(per_member));
    ScratchDir scratch;
    QuietConsole quiet;
    std::int32_t iterations = 0;
    for (auto _ : state) {
        v_crew roster = start;
        TabuSearch search;
        search.control.wait_for_enter = false;
        search.control.handle_interrupts = false;
        search.run(roster, 25.0, 300, 250, 150);
        iterations += search.iterations();
    }
    state.counters["tasks_per_member"] = per_member;
    state.counters["iterations"] = benchmark::Counter(iterations, benchmark::Counter::kAvgIterations);
    state.counters["per_iteration"] =
        benchmark::Counter(iterations, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Iteration)->Arg(2)->Arg(4)->Arg(8)->Arg(16)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
