// The tabu search: the tabu test, the value of a move, the rule by which the
// scan takes a candidate, the sample, and whole runs on small rosters.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cctype>
#include <random>
#include <set>
#include <sstream>

#include "crew/crew_util.hpp"
#include "crew/rules.hpp"
#include "test_support.hpp"
#include "search/grasp.hpp"
#include "search/tabu_search.hpp"

namespace {

using namespace escala::test;

using escala::Crew;
using escala::l_tarefas;
using escala::solucao;
using escala::TabuSearch;
using escala::Task;
using escala::v_crew;

Crew crew_of(std::initializer_list<Task> tasks, std::int32_t id = 0) {
    Crew c;
    c.id = id;
    for (const Task& t : tasks) c.assign_task(t, escala::default_rules());
    return c;
}

// A search object ready for unit use: no waiting, no signal handlers.
TabuSearch quiet_search() {
    TabuSearch search;
    search.control.wait_for_enter = false;
    search.control.handle_interrupts = false;
    return search;
}

// One scan of `sample`, the fast way or the reference way.
std::uint32_t scan(TabuSearch& search, const v_crew& sample, std::uint32_t current, bool& taken, bool reference) {
    return reference ? search.scan_moves_reference(sample, current, taken) : search.scan_moves(sample, current, taken);
}

// Copies the state a scan reads and writes (the log stream is not copied).
void copy_scan_state(const TabuSearch& from, TabuSearch& to) {
    to.best_roster = from.best_roster;
    to.best_value = from.best_value;
    to.tabu_list = from.tabu_list;
    to.move = from.move;
    to.tabu_size = from.tabu_size;
    to.control = from.control;
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A random schedule with the awkward shapes: equal start times, overlaps,
// tasks that end before they start, slack, split shifts, empty schedules.
Crew random_crew(std::mt19937& gen, int max_tasks) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
    Crew c;
    const int n = pick(0, max_tasks);
    for (int i = 0; i < n; ++i) {
        const int start = pick(0, 24) * 40;
        const int end = pick(0, 7) == 0 ? start - pick(1, 50) : start + pick(0, 200);
        c.assign_task(Task(pick(1, 4), start, end, pick(1, 3), pick(1, 3), pick(0, 2) == 0 ? pick(0, 25) : 0,
                           pick(1, 3), pick(1, 3)), escala::default_rules());
    }
    return c;
}

std::int32_t movable_tasks(const Crew& c) {
    return static_cast<std::int32_t>(c.tasks.size()) - (c.has_virtual_task() ? 1 : 0);
}

// ---------------------------------------------------------------- is_tabu

// Only the reverse move of an equal task is tabu; its position plays no part.
TEST(TabuIsTabu, MatchesOnlyTheReverseMoveOfAnEqualTask) {
    const Task t(7, 480, 600, 1, 2, 5, 3, 4);
    TabuSearch search = quiet_search();
    EXPECT_FALSE(search.is_tabu({7, 3, 0, t})) << "empty list";

    search.tabu_list = {{1, 2, 0, Task(9, 9, 9, 9, 9, 9, 9, 9)}, {3, 7, 2, t}};
    EXPECT_TRUE(search.is_tabu({7, 3, 0, t}));
    EXPECT_TRUE(search.is_tabu({7, 3, 5, t}));
    EXPECT_FALSE(search.is_tabu({3, 7, 2, t})) << "same direction";
    EXPECT_FALSE(search.is_tabu({7, 4, 0, t}));
    EXPECT_FALSE(search.is_tabu({8, 3, 0, t}));
    EXPECT_FALSE(search.is_tabu({3, 3, 0, t}));

    // Any one of the nine fields different: not tabu.
    const std::vector<Task> variants = {
        Task(8, 480, 600, 1, 2, 5, 3, 4), Task(7, 481, 600, 1, 2, 5, 3, 4), Task(7, 480, 601, 1, 2, 5, 3, 4),
        Task(7, 480, 600, 0, 2, 5, 3, 4), Task(7, 480, 600, 1, 3, 5, 3, 4), Task(7, 480, 600, 1, 2, 6, 3, 4),
        Task(7, 480, 600, 1, 2, 5, 0, 4), Task(7, 480, 600, 1, 2, 5, 3, 5), Task(7, 480, 600, 1, 2, 5, 3, 4, 1),
    };
    for (std::size_t f = 0; f < variants.size(); ++f)
        EXPECT_FALSE(search.is_tabu({7, 3, 0, variants[f]})) << "field " << f + 1 << " differs";
}

// ---------------------------------------------------------------- move_value

// The value after a move is the current value plus the change in the two
// members' costs and weighted split-shift flags, modulo 2^32, whatever the
// current value; the moved task is the one at the position.
TEST(TabuMoveValue, EqualsAFreshRecomputationOfBothMembers) {
    const std::uint32_t currents[] = {0u, 5u, 100000u, 0x7FFFFFFFu, 0xFFFFFFF0u};
    for (std::uint32_t p_duplas : {0u, 1000u, 0xFFFFFF00u}) {
        escala::Rules rules;
        rules.weights.p_duplas = p_duplas;
        std::mt19937 gen(11 + p_duplas);
        int flag_changes = 0, wrapped = 0;
        for (int round = 0; round < 150; ++round) {
            const Crew giver = random_crew(gen, 6);
            const Crew receiver = random_crew(gen, 5);
            for (std::int32_t k = 0; k < movable_tasks(giver); ++k) {
                v_crew before{giver, receiver};
                v_crew after{giver, receiver};
                const Task expected_task = after[0].tasks[static_cast<std::size_t>(k)];
                after[1].assign_task(after[0].remove_task_at(k, rules), rules);
                const std::int64_t cost_change = std::int64_t{after[0].cost(rules)} + after[1].cost(rules) -
                                                 before[0].cost(rules) - before[1].cost(rules);
                const std::int32_t flag_change =
                    escala::count_split_shifts(after, rules) - escala::count_split_shifts(before, rules);
                if (flag_change != 0) ++flag_changes;
                for (std::uint32_t current : currents) {
                    Task moved;
                    const std::uint32_t v = escala::move_value(giver, receiver, k, current, moved, rules);
                    const std::int64_t exact = std::int64_t{current} + cost_change + std::int64_t{p_duplas} * flag_change;
                    const auto expected = static_cast<std::uint32_t>(static_cast<std::uint64_t>(exact));
                    ASSERT_EQ(v, expected) << "round " << round << " k " << k << " current " << current;
                    ASSERT_EQ(moved, expected_task);
                    if (exact < 0 || exact > 0xFFFFFFFFll) ++wrapped;
                }
            }
        }
        EXPECT_GT(flag_changes, 0) << "the random schedules must make and break split shifts";
        EXPECT_GT(wrapped, 0) << "some values must wrap around";
    }
}

// With the default weights the move's value is the roster objective after
// the move, on a whole roster.
TEST(TabuMoveValue, MatchesTheObjectiveOfTheRosterAfterTheMove) {
    std::mt19937 gen(3);
    for (int round = 0; round < 100; ++round) {
        v_crew roster;
        for (int m = 0; m < 5; ++m) roster.push_back(random_crew(gen, 5));
        const std::size_t from = gen() % 5, to = (from + 1 + gen() % 4) % 5;
        if (movable_tasks(roster[from]) == 0) continue;
        const std::int32_t k = static_cast<std::int32_t>(gen() % static_cast<unsigned>(movable_tasks(roster[from])));
        v_crew copy = roster;
        const std::uint32_t current = escala::global_objective(copy, escala::default_rules());
        Task moved;
        const std::uint32_t v = escala::move_value(roster[from], roster[to], k, current, moved, escala::default_rules());
        copy[to].assign_task(copy[from].remove_task_at(k, escala::default_rules()), escala::default_rules());
        EXPECT_EQ(v, escala::global_objective(copy, escala::default_rules())) << "round " << round;
    }
}

// ---------------------------------------------------------------- the take rule

// Among equal candidates the first in scan order (giver position, receiver
// position, task position) stays.
TEST(TabuScan, KeepsTheFirstOfEqualCandidates) {
    const Task t(4, 300, 420, 1, 1, 0, 2, 2);
    for (bool reference : {false, true}) {
        TabuSearch search = quiet_search();
        search.best_value = 0;  // no aspiration
        // Two empty receivers give the same value; the one in the earlier
        // sample position wins, whatever its roster index.
        const v_crew sample{crew_of({t}, 5), crew_of({}, 2), crew_of({}, 1)};
        bool taken = false;
        const std::uint32_t v = scan(search, sample, 50000, taken, reference);
        EXPECT_TRUE(taken);
        EXPECT_EQ(v, 50000u) << "moving a lone task to an empty member changes nothing";
        EXPECT_EQ(search.move.from_crew, 5);
        EXPECT_EQ(search.move.to_crew, 2);
        EXPECT_EQ(search.move.task_pos, 0);
        EXPECT_EQ(search.move.moved_task, t);

        // Two equal tasks in one schedule: the first position wins.
        const v_crew twins{crew_of({t, t}, 4), crew_of({}, 0)};
        TabuSearch second = quiet_search();
        scan(second, twins, 5000000, taken, reference);
        EXPECT_TRUE(taken);
        EXPECT_EQ(second.move.from_crew, 4);
        EXPECT_EQ(second.move.to_crew, 0);
        EXPECT_EQ(second.move.task_pos, 0);
    }
}

// Candidates of a small sample, in scan order, with their values.
struct Candidate {
    solucao move;
    std::uint32_t value;
};

std::vector<Candidate> candidates_of(const v_crew& sample, std::uint32_t current) {
    std::vector<Candidate> all;
    for (std::size_t i = 0; i < sample.size(); ++i)
        for (std::size_t j = 0; j < sample.size(); ++j) {
            if (sample[i].id == sample[j].id) continue;
            for (std::int32_t k = 0; k < movable_tasks(sample[i]); ++k) {
                Candidate c{{sample[i].id, sample[j].id, k, Task()}, 0};
                c.value = escala::move_value(sample[i], sample[j], k, current, c.move.moved_task, escala::default_rules());
                all.push_back(c);
            }
        }
    return all;
}

void expect_move(const solucao& actual, const solucao& expected) {
    EXPECT_EQ(actual.from_crew, expected.from_crew);
    EXPECT_EQ(actual.to_crew, expected.to_crew);
    EXPECT_EQ(actual.task_pos, expected.task_pos);
    EXPECT_EQ(actual.moved_task, expected.moved_task);
}

// Member 1 holds a piece that continues member 0's morning piece; member 0
// also holds an evening piece. Three candidates, in scan order, with their
// changes: member 1's piece to 0 (-20000), morning piece to 1 (-12000),
// evening piece to 1 (-3200).
v_crew three_candidate_sample() {
    return {crew_of({Task(1, 600, 700, 1, 1, 0, 1, 1)}, 1),
            crew_of({Task(1, 480, 600, 1, 1, 0, 1, 1), Task(1, 900, 1000, 1, 1, 0, 1, 1)}, 0)};
}

// Aspiration: a candidate below best_value is taken even when tabu, and even
// when a better candidate was taken before it in the same scan.
TEST(TabuScan, AspirationTakesCandidatesBelowTheBestValue) {
    const std::uint32_t current = 1000000;
    const v_crew sample = three_candidate_sample();
    const auto all = candidates_of(sample, current);
    ASSERT_EQ(all.size(), 3u);
    const std::uint32_t lowest = std::min({all[0].value, all[1].value, all[2].value});
    const std::uint32_t highest = std::max({all[0].value, all[1].value, all[2].value});
    ASSERT_GT(all[2].value, lowest) << "the last candidate must be worse than an earlier one";
    ASSERT_LT(all[1].value, all[2].value);

    for (bool reference : {false, true}) {
        bool taken = false;
        // Every candidate below best_value: each is taken in turn, the last stays.
        TabuSearch search = quiet_search();
        search.best_value = highest + 1;
        for (const Candidate& c : all) search.tabu_list.push_back({c.move.to_crew, c.move.from_crew, 0, c.move.moved_task});
        for (const Candidate& c : all) ASSERT_TRUE(search.is_tabu(c.move));
        EXPECT_EQ(scan(search, sample, current, taken, reference), all[2].value);
        EXPECT_TRUE(taken);
        expect_move(search.move, all[2].move);

        // best_value exactly at the last candidate's value does not let that
        // one through: the one before it, also tabu but below, stays.
        TabuSearch strict = quiet_search();
        strict.best_value = all[2].value;
        strict.tabu_list = search.tabu_list;
        EXPECT_EQ(scan(strict, sample, current, taken, reference), all[1].value);
        EXPECT_TRUE(taken);
        expect_move(strict.move, all[1].move);
    }
}

// Without aspiration the cheapest candidate that is not tabu is taken.
TEST(TabuScan, SkipsTabuCandidatesWithoutAspiration) {
    const std::uint32_t current = 1000000;
    const v_crew sample = three_candidate_sample();
    const auto all = candidates_of(sample, current);
    std::size_t best = 0;
    for (std::size_t c = 1; c < all.size(); ++c)
        if (all[c].value < all[best].value) best = c;

    for (bool reference : {false, true}) {
        bool taken = false;
        TabuSearch free_search = quiet_search();
        const std::uint32_t v = scan(free_search, sample, current, taken, reference);
        EXPECT_EQ(v, all[best].value);
        expect_move(free_search.move, all[best].move);

        TabuSearch search = quiet_search();
        search.tabu_list.push_back({all[best].move.to_crew, all[best].move.from_crew, 3, all[best].move.moved_task});
        std::size_t next = all.size();
        for (std::size_t c = 0; c < all.size(); ++c)
            if (c != best && (next == all.size() || all[c].value < all[next].value)) next = c;
        const std::uint32_t w = scan(search, sample, current, taken, reference);
        EXPECT_TRUE(taken);
        EXPECT_EQ(w, all[next].value);
        expect_move(search.move, all[next].move);
    }
}

// Values at or above 100,000,000 are never taken, unless below best_value;
// when nothing is taken the move is left as it was.
TEST(TabuScan, NothingAboveTheCeilingUnlessBelowTheBest) {
    const v_crew sample = three_candidate_sample();
    const solucao stale{17, 18, 2, Task(1, 2, 3, 4, 5, 6, 7, 8)};
    for (bool reference : {false, true}) {
        TabuSearch search = quiet_search();
        search.move = stale;
        bool taken = true;
        const std::uint32_t v = scan(search, sample, 200000000u, taken, reference);
        EXPECT_FALSE(taken);
        EXPECT_EQ(v, 100000000u);
        expect_move(search.move, stale);

        search.best_value = 300000000u;
        const std::uint32_t w = scan(search, sample, 200000000u, taken, reference);
        EXPECT_TRUE(taken);
        EXPECT_GE(w, 100000000u);
    }
}

// A sample whose positions all hold the same member, or only empty
// schedules, offers no move.
TEST(TabuScan, NoCandidateWithoutTwoDistinctMembersOrAMovableTask) {
    const Crew member = crew_of({Task(1, 100, 200, 1, 1, 0, 1, 1), Task(1, 250, 300, 1, 1, 0, 1, 1)}, 9);
    const v_crew same{member, member, member};
    const v_crew empty{crew_of({}, 0), crew_of({}, 1), crew_of({}, 2)};
    for (const v_crew* sample : {&same, &empty}) {
        TabuSearch search = quiet_search();
        bool taken = true;
        EXPECT_EQ(search.scan_moves(*sample, 5000, taken), 100000000u);
        EXPECT_FALSE(taken);
        expect_move(search.move, solucao{});
    }
}

// The fast scan and the reference scan choose the same move and value on
// random samples: repeated members, empty members, odd schedules, random
// tabu lists (some holding reverses of real candidates) and best values.
TEST(TabuScan, FastScanAgreesWithTheReference) {
    std::mt19937 gen(20240607);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); };
    int taken_count = 0, aspiration_relevant = 0;
    for (int round = 0; round < 400; ++round) {
        v_crew roster;
        const int roster_size = pick(1, 7);
        for (int m = 0; m < roster_size; ++m) roster.push_back(random_crew(gen, 5));
        v_crew sample;
        const int sample_size = pick(1, 8);
        for (int p = 0; p < sample_size; ++p) {
            const int a = pick(0, roster_size - 1);
            sample.push_back(roster[static_cast<std::size_t>(a)]);
            sample.back().id = a;
        }
        const std::uint32_t current =
            pick(0, 4) == 0 ? 0xFFFFFFFFu - static_cast<std::uint32_t>(pick(0, 100000)) : static_cast<std::uint32_t>(pick(0, 3000000));
        const auto all = candidates_of(sample, current);

        TabuSearch fast = quiet_search();
        fast.move = {pick(0, 5), pick(0, 5), pick(0, 3), Task(pick(0, 9), 1, 2, 3, 4, 5, 6, 7)};
        switch (pick(0, 3)) {
            case 0: fast.best_value = 0; break;
            case 1: fast.best_value = current; break;
            case 2: fast.best_value = static_cast<std::uint32_t>(gen()); break;
            default:
                fast.best_value = all.empty() ? current : all[static_cast<std::size_t>(pick(0, static_cast<int>(all.size()) - 1))].value;
        }
        for (const Candidate& c : all) {
            const int roll = pick(0, 5);
            if (roll == 0) fast.tabu_list.push_back({c.move.to_crew, c.move.from_crew, pick(0, 3), c.move.moved_task});
            if (roll == 1) fast.tabu_list.push_back(c.move);  // same direction: not tabu
        }
        for (const Candidate& c : all) aspiration_relevant += c.value < fast.best_value && fast.is_tabu(c.move);
        TabuSearch slow = quiet_search();
        copy_scan_state(fast, slow);

        bool fast_taken = false, slow_taken = false;
        const std::uint32_t fast_value = fast.scan_moves(sample, current, fast_taken);
        const std::uint32_t slow_value = slow.scan_moves_reference(sample, current, slow_taken);
        ASSERT_EQ(fast_value, slow_value) << "round " << round;
        ASSERT_EQ(fast_taken, slow_taken) << "round " << round;
        expect_move(fast.move, slow.move);
        if (HasFailure()) FAIL() << "round " << round;
        taken_count += fast_taken;
    }
    EXPECT_GT(taken_count, 100);
    EXPECT_GT(aspiration_relevant, 10);
}

// ---------------------------------------------------------------- the sample

// Each position draws rand() modulo the roster size (every member, the last
// one included), copies that member and tags it with its index; the draw
// does not reseed the generator.
TEST(TabuSample, DrawsEveryMemberWithoutReseeding) {
    v_crew roster;
    for (int m = 0; m < 5; ++m) roster.push_back(crew_of({Task(m, 100 * m, 100 * m + 50, 1, 1, 0, 1, 1)}, 40 + m));
    v_crew sample(200);
    std::srand(99);
    escala::draw_sample(roster, sample);
    const int after = std::rand();

    std::srand(99);
    std::set<int> seen;
    for (const Crew& member : sample) {
        const int expected = std::rand() % 5;
        ASSERT_EQ(member.id, expected);
        EXPECT_EQ(member.tasks, roster[static_cast<std::size_t>(expected)].tasks);
        seen.insert(member.id);
    }
    EXPECT_EQ(after, std::rand()) << "the generator goes on after the sample's draws";
    EXPECT_EQ(seen.size(), 5u);
    EXPECT_EQ(sample.size(), 200u);
}

// ---------------------------------------------------------------- whole runs

// A roster of the given tasks built by the construction with a fixed seed.
v_crew constructed_roster(std::size_t members, std::size_t tasks, unsigned seed) {
    std::mt19937 gen(seed);
    l_tarefas list;
    for (std::size_t i = 0; i < tasks; ++i) {
        const int start = static_cast<int>(gen() % 900) + 300;
        list.emplace_back(static_cast<int>(gen() % 4), start, start + 40 + static_cast<int>(gen() % 150),
                          static_cast<int>(gen() % 3), static_cast<int>(gen() % 3), static_cast<int>(gen() % 10), 1, 1);
    }
    v_crew roster(members);
    std::ostringstream dots;
    escala::grasp(list, roster, 2.0, 2.0, escala::default_rules(), seed, false, dots);
    return roster;
}

// A run: its console text and the lines of file_obj.txt.
struct RunRecord {
    std::string console;
    std::vector<std::string> log;
};

RunRecord run_in(const TempDir& dir, TabuSearch& search, v_crew& roster, double percent, std::int32_t max_stall,
                 std::uint32_t tabu_base, std::int32_t resize_period) {
    std::ostringstream console;
    search.control.console = &console;
    search.control.out_dir = dir.path();
    search.run(roster, percent, max_stall, tabu_base, resize_period);
    return {console.str(), split_lines(read_file(dir / "file_obj.txt"))};
}

// Two members hold pieces that overlap, on different vehicles; a third is
// empty. No move can lower the objective: a piece either moves to the empty
// member (same value) or onto the other piece (an overlap).
v_crew roster_without_improvement() {
    return {crew_of({Task(1, 480, 700, 1, 1, 0, 1, 1)}), crew_of({Task(2, 500, 650, 2, 2, 0, 2, 2)}), Crew()};
}

// A search that never improves runs exactly max_stall iterations, logs one
// line per iteration, counts the stall up from 0 and resizes the tabu list
// in each resize period.
TEST(TabuRun, WithoutImprovementRunsExactlyMaxStallIterations) {
    TempDir dir;
    v_crew roster = roster_without_improvement();
    v_crew start = roster;
    const std::uint32_t value = escala::global_objective(start, escala::default_rules());
    TabuSearch search = quiet_search();
    std::srand(5);
    const RunRecord run = run_in(dir, search, roster, 100.0, 12, 250, 5);

    ASSERT_EQ(run.log.size(), 12u);
    for (std::size_t i = 0; i < run.log.size(); ++i) {
        const std::string expected_prefix = std::to_string(i + 1) + "\t" + std::to_string(value) + "\t";
        EXPECT_EQ(run.log[i].rfind(expected_prefix, 0), 0u) << run.log[i];
    }
    for (int stall = 0; stall < 12; ++stall)
        EXPECT_NE(run.console.find("\n[" + std::to_string(stall) + "] Funcao Objetivo atual: "), std::string::npos);
    EXPECT_EQ(run.console.find("\n[12]"), std::string::npos);
    EXPECT_EQ(run.console.find("Melhora Global."), std::string::npos);
    EXPECT_EQ(count_occurrences(run.console, "\nAlterando o tamanho da lista tabu para: "), 2u);
    EXPECT_TRUE(ends_with(run.console, "\n\nEnd of Orvik Dummie Seacrh.\tObjective Value Found: " + std::to_string(value) + "\n"))
        << run.console;
    EXPECT_EQ(run.console.rfind("\nFuncao Objetivo atual: " + std::to_string(value) + "\n[0] ", 0), 0u);
    EXPECT_EQ(search.iterations(), 12);
    EXPECT_EQ(search.stop_reason(), escala::StopReason::stall);
    EXPECT_EQ(search.best_value, value);

    // The reports: the start roster in teste_solucao.txt, the best one in
    // melhor_solucao.txt, each as the detailed report writes it.
    escala::write_detailed_report(start, dir.file("expected_start.txt"), escala::default_rules());
    escala::write_detailed_report(search.best_roster, dir.file("expected_best.txt"), escala::default_rules());
    EXPECT_EQ(read_file(dir / "teste_solucao.txt"), read_file(dir / "expected_start.txt"));
    EXPECT_EQ(read_file(dir / "melhor_solucao.txt"), read_file(dir / "expected_best.txt"));
}

// Runs the search with its console on standard error (for a death test).
void run_on_stderr(const TempDir& dir) {
    v_crew roster = roster_without_improvement();
    TabuSearch search = quiet_search();
    search.control.console = &std::cerr;
    search.control.out_dir = dir.path();
    search.run(roster, 100.0, 12, 250, 5);
}

// melhor_solucao.txt is first written in the first resize iteration: with a
// directory in its place the run stops there, after four console lines.
TEST(TabuRunDeathTest, WritesTheBestRosterAtTheFirstResize) {
    TempDir dir;
    std::filesystem::create_directory(dir / "melhor_solucao.txt");
    EXPECT_EXIT(run_on_stderr(dir), testing::ExitedWithCode(1),
        "\\[3\\] Funcao Objetivo atual: [0-9]+  Fonte Destino: [0-9]+ [0-9]+"
        "Assertion failed: out_file, file CrewUtil, line 161");
}

// The resize draw comes after the iteration's sample draws, from the
// generator as the construction left it; the sizes go from base to base + 9.
TEST(TabuRun, ResizeDrawsFollowTheSampleDraws) {
    TempDir dir;
    v_crew roster = constructed_roster(8, 20, 31);
    TabuSearch search = quiet_search();
    std::srand(4321);
    const RunRecord run = run_in(dir, search, roster, 50.0, 40, 250, 3);  // sample of 4
    const int iterations = search.iterations();
    ASSERT_EQ(static_cast<int>(run.log.size()), iterations);

    std::srand(4321);
    std::string expected;
    for (int it = 1; it <= iterations; ++it) {
        for (int p = 0; p < 4; ++p) std::rand();
        if (it % 3 == 0) expected += std::to_string(250 + std::rand() % 10) + " ";
    }
    ASSERT_FALSE(expected.empty());
    std::string shown;
    const std::string label = "\nAlterando o tamanho da lista tabu para: ";
    for (auto at = run.console.find(label); at != std::string::npos; at = run.console.find(label, at + 1)) {
        std::size_t end = at + label.size();
        while (end < run.console.size() && std::isdigit(static_cast<unsigned char>(run.console[end]))) ++end;
        shown += run.console.substr(at + label.size(), end - at - label.size()) + " ";
    }
    EXPECT_EQ(shown, expected);
}

// A smaller tabu size does not shorten the list: one entry in, at most one
// out per iteration. A list below the size grows to it and stays there.
TEST(TabuRun, TabuListKeepsItsLengthWhenTheSizeShrinks) {
    TempDir dir;
    {
        v_crew roster = constructed_roster(6, 14, 8);
        TabuSearch search = quiet_search();
        for (int e = 0; e < 100; ++e) search.tabu_list.push_back({-1, -1, e, Task()});  // never matches
        std::srand(1);
        run_in(dir, search, roster, 100.0, 10, 5, 1000);
        ASSERT_LT(search.iterations(), 100);
        EXPECT_EQ(search.tabu_list.size(), 100u);
        EXPECT_EQ(search.tabu_size, 5u);
        EXPECT_EQ(search.tabu_list.front().task_pos, search.iterations()) << "the oldest entries left first";
    }
    {
        v_crew roster = constructed_roster(6, 14, 9);
        TabuSearch search = quiet_search();
        std::srand(2);
        run_in(dir, search, roster, 100.0, 10, 3, 1000);
        EXPECT_EQ(search.tabu_list.size(), 3u);
    }
}

// Members without a movable task: the search runs max_stall iterations and
// touches nothing; the move stays all zero.
TEST(TabuRun, RosterWithoutMovableTasksIsLeftAlone) {
    const v_crew none;
    const v_crew empty(5);
    const v_crew lone{crew_of({Task(1, 100, 200, 1, 2, 0, 1, 1), Task(1, 400, 500, 2, 1, 0, 1, 1)})};
    for (const v_crew* start : {&none, &empty, &lone}) {
        TempDir dir;
        v_crew roster = *start;
        v_crew copy = roster;
        const std::uint32_t value = escala::global_objective(copy, escala::default_rules());
        TabuSearch search = quiet_search();
        const RunRecord run = run_in(dir, search, roster, 100.0, 7, 250, 150);
        EXPECT_EQ(roster, *start);
        EXPECT_TRUE(search.tabu_list.empty());
        expect_move(search.move, solucao{});
        ASSERT_EQ(run.log.size(), 7u);
        for (std::size_t i = 0; i < 7; ++i)
            EXPECT_EQ(run.log[i], std::to_string(i + 1) + "\t" + std::to_string(value) + "\t" + std::to_string(value));
        EXPECT_EQ(count_occurrences(run.console, "  Fonte Destino: 0 0"), 7u);
    }
}

// After a run the roster is the best roster, its objective is best_value,
// it holds the same tasks in well-formed schedules, and the log's best
// column never rises.
TEST(TabuRun, HandsBackTheBestRoster) {
    for (unsigned seed : {1u, 2u, 3u}) {
        TempDir dir;
        v_crew roster = constructed_roster(10, 40, seed);
        const auto tasks_before = real_tasks_of(roster);
        v_crew start = roster;
        const std::uint32_t start_value = escala::global_objective(start, escala::default_rules());
        TabuSearch search = quiet_search();
        const RunRecord run = run_in(dir, search, roster, 50.0, 25, 7, 10);

        EXPECT_EQ(roster, search.best_roster);
        v_crew copy = roster;
        EXPECT_EQ(escala::global_objective(copy, escala::default_rules()), search.best_value);
        EXPECT_LE(search.best_value, start_value);
        EXPECT_EQ(real_tasks_of(roster), tasks_before);
        for (const Crew& member : roster) EXPECT_EQ(schedule_fault(member), "");

        std::uint64_t previous_best = start_value;
        for (const std::string& line : run.log) {
            std::istringstream fields(line);
            std::uint64_t it = 0, best = 0, current = 0;
            ASSERT_TRUE(fields >> it >> best >> current) << line;
            EXPECT_LE(best, previous_best);
            EXPECT_LE(best, current);
            previous_best = best;
        }
        EXPECT_EQ(previous_best, search.best_value);
        const std::size_t improvements = count_occurrences(run.console, "  Melhora Global.");
        EXPECT_EQ(improvements > 0, search.best_value < start_value);
    }
}

// The search with its fast scan and with the straightforward scan runs the
// same iterations: same console, log, tabu list and final roster.
TEST(TabuRun, FastAndReferenceScansRunTheSameSearch) {
    for (unsigned seed : {5u, 6u}) {
        const v_crew start = constructed_roster(12, 45, seed);
        TempDir fast_dir, reference_dir;
        v_crew fast_roster = start, reference_roster = start;
        TabuSearch fast = quiet_search(), reference = quiet_search();
        reference.control.reference_scan = true;
        std::srand(seed);
        const RunRecord a = run_in(fast_dir, fast, fast_roster, 50.0, 30, 4, 7);
        std::srand(seed);
        const RunRecord b = run_in(reference_dir, reference, reference_roster, 50.0, 30, 4, 7);
        EXPECT_EQ(a.console, b.console);
        EXPECT_EQ(a.log, b.log);
        EXPECT_EQ(fast_roster, reference_roster);
        EXPECT_EQ(fast.best_value, reference.best_value);
        ASSERT_EQ(fast.tabu_list.size(), reference.tabu_list.size());
        for (std::size_t e = 0; e < fast.tabu_list.size(); ++e) expect_move(fast.tabu_list[e], reference.tabu_list[e]);
    }
}

// file_obj.txt grows with every run; each run counts its iterations from 1.
TEST(TabuRun, LogIsAppendedByEachRun) {
    TempDir dir;
    v_crew first = roster_without_improvement();
    v_crew second = roster_without_improvement();
    TabuSearch a = quiet_search(), b = quiet_search();
    run_in(dir, a, first, 100.0, 4, 250, 150);
    const RunRecord run = run_in(dir, b, second, 100.0, 3, 250, 150);
    ASSERT_EQ(run.log.size(), 7u);
    const char* const first_column[] = {"1", "2", "3", "4", "1", "2", "3"};
    for (std::size_t i = 0; i < 7; ++i) EXPECT_EQ(run.log[i].substr(0, run.log[i].find('\t')), first_column[i]);
}

// A time limit ends the search after the iteration in which it is reached,
// with its own line before the end lines.
TEST(TabuRun, TimeLimitEndsTheSearch) {
    TempDir dir;
    v_crew roster = roster_without_improvement();
    TabuSearch search = quiet_search();
    search.control.time_limit_seconds = 1e-9;
    const RunRecord run = run_in(dir, search, roster, 100.0, 500, 250, 150);
    EXPECT_EQ(search.iterations(), 1);
    EXPECT_EQ(search.stop_reason(), escala::StopReason::time_limit);
    EXPECT_NE(run.console.find("\nBusca encerrada pelo limite de tempo.\n\nEnd of Orvik Dummie Seacrh."), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(dir / "melhor_solucao.txt"));
}

}  // namespace
