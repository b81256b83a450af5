#include "search/tabu_search.hpp"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "core/check.hpp"
#include "crew/crew_util.hpp"
#include "crew/report_file.hpp"
#include "search/random.hpp"

namespace escala {

namespace {

volatile std::sig_atomic_t interrupt_requested = 0;

extern "C" void on_interrupt(int) { interrupt_requested = 1; }

// The first SIGINT or SIGTERM only raises the flag; the handler resets
// itself, so a second signal ends the program at once.
void catch_interrupts() {
    interrupt_requested = 0;
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void release_interrupts() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

std::uint32_t split_term(const Crew& c, const Rules& rules) {
    return c.is_split_shift(rules) ? rules.weights.p_duplas : 0u;
}

void wait_for_enter_key() { std::cin.get(); }

}  // namespace

void draw_sample_ids(std::size_t roster_size, std::vector<std::int32_t>& ids) {
    const auto size = static_cast<unsigned>(roster_size);
    for (std::int32_t& id : ids) id = static_cast<std::int32_t>(static_cast<unsigned>(draw_random()) % size);
}

void draw_sample(const v_crew& roster, v_crew& sample) {
    std::vector<std::int32_t> ids(sample.size());
    draw_sample_ids(roster.size(), ids);
    for (std::size_t p = 0; p < sample.size(); ++p) {
        sample[p] = roster[static_cast<std::size_t>(ids[p])];
        sample[p].id = ids[p];
    }
}

std::uint32_t move_value(Crew giver, Crew receiver, std::int32_t position, std::uint32_t current, Task& moved,
                         const Rules& rules) {
    const std::uint32_t sg = split_term(giver, rules), sr = split_term(receiver, rules);
    const std::uint32_t cg = giver.cost(rules), cr = receiver.cost(rules);
    moved = giver.remove_task_at(position, rules);
    receiver.assign_task(moved, rules);
    const std::uint32_t sg2 = split_term(giver, rules), sr2 = split_term(receiver, rules);
    const std::uint32_t cg2 = giver.cost(rules), cr2 = receiver.cost(rules);
    return current - cg - cr - sg - sr + sg2 + sr2 + cg2 + cr2;
}

bool TabuSearch::is_tabu(const solucao& candidate) const {
    for (const solucao& e : tabu_list)
        if (e.from_crew == candidate.to_crew && e.to_crew == candidate.from_crew && e.moved_task == candidate.moved_task)
            return true;
    return false;
}

std::uint32_t TabuSearch::scan_moves_reference(const v_crew& sample, std::uint32_t current, bool& taken) {
    std::uint32_t chosen = 100000000u;
    taken = false;
    const std::size_t s = sample.size();
    for (std::size_t i = 0; i < s; ++i) {
        const Crew& giver = sample[i];
        const std::int32_t movable =
            static_cast<std::int32_t>(giver.tasks.size()) - (giver.has_virtual_task() ? 1 : 0);
        for (std::size_t j = 0; j < s; ++j) {
            if (j == i || sample[j].id == giver.id) continue;  // a member never gives to itself
            for (std::int32_t k = 0; k < movable; ++k) {
                solucao candidate;
                const std::uint32_t v = move_value(giver, sample[j], k, current, candidate.moved_task, control.rules);
                candidate.from_crew = giver.id;
                candidate.to_crew = sample[j].id;
                if ((v < chosen && !is_tabu(candidate)) || v < best_value) {
                    chosen = v;
                    taken = true;
                    move = candidate;
                    move.task_pos = k;
                }
            }
        }
    }
    return chosen;
}

std::uint32_t TabuSearch::scan_moves(const v_crew& sample, std::uint32_t current, bool& taken) {
    if (control.reference_scan) return scan_moves_reference(sample, current, taken);
    // A member drawn twice is cached once: equal entries of the sample share
    // one member of the evaluator.
    unique_.clear();
    scan_members_.resize(sample.size());
    scan_ids_.resize(sample.size());
    for (std::size_t p = 0; p < sample.size(); ++p) {
        std::size_t m = 0;
        while (m < unique_.size() && !(*unique_[m] == sample[p])) ++m;
        if (m == unique_.size()) unique_.push_back(&sample[p]);
        scan_members_[p] = m;
        scan_ids_[p] = sample[p].id;
    }
    evaluator_.attach(unique_, control.rules);
    return scan_members(scan_members_, scan_ids_, current, taken);
}

std::uint32_t TabuSearch::scan_members(const std::vector<std::size_t>& members, const std::vector<std::int32_t>& ids,
                                       std::uint32_t current, bool& taken) {
    std::uint32_t chosen = 100000000u;
    taken = false;
    const std::size_t s = members.size();

    // Which (giver, receiver) pairs the tabu list holds a move for, so that
    // the list is searched only for a candidate whose reverse may be there.
    std::size_t id_bound = 0;
    for (const std::int32_t id : ids) id_bound = std::max(id_bound, static_cast<std::size_t>(id) + 1);
    if (tabu_pairs_.size() != id_bound * id_bound) tabu_pairs_.assign(id_bound * id_bound, 0);
    auto mark_tabu_pairs = [&](std::uint8_t mark) {
        for (const solucao& e : tabu_list)
            if (e.from_crew >= 0 && e.to_crew >= 0 && static_cast<std::size_t>(e.from_crew) < id_bound &&
                static_cast<std::size_t>(e.to_crew) < id_bound)
                tabu_pairs_[static_cast<std::size_t>(e.from_crew) * id_bound + static_cast<std::size_t>(e.to_crew)] = mark;
    };
    mark_tabu_pairs(1);
    auto tabu = [&](const solucao& candidate) {
        const std::size_t back = static_cast<std::size_t>(candidate.to_crew) * id_bound +
                                 static_cast<std::size_t>(candidate.from_crew);
        return tabu_pairs_[back] != 0 && is_tabu(candidate);
    };

    // The range of every pair of distinct members that changed since its
    // range was stored, a giver at a time (the task loop then runs the same
    // length for every receiver); a receiver's row is renewed on first use.
    distinct_.clear();
    if (seen_.size() < evaluator_.size()) seen_.resize(evaluator_.size(), 0);
    for (const std::size_t m : members)
        if (!seen_[m]) {
            seen_[m] = 1;
            distinct_.push_back(m);
        }
    for (const std::size_t m : distinct_) seen_[m] = 0;
    const std::vector<std::size_t>& distinct = distinct_;
    for (const std::size_t giver : distinct) {
        const RosterEvaluator::Giver g = evaluator_.giver(giver);
        if (g.count == 0) continue;
        const std::uint32_t* at = evaluator_.positions(giver);
        for (const std::size_t receiver : distinct) {
            if (giver == receiver || evaluator_.range_current(giver, receiver)) continue;
            const std::uint32_t* into = evaluator_.row(receiver);
            RosterEvaluator::Range range{INT64_MAX, INT64_MIN};
            for (std::size_t k = 0; k < g.count; ++k) {
                const std::int64_t both = static_cast<std::int64_t>(g.removal_share[k]) + into[at[k]];
                range.low = std::min(range.low, both);
                range.high = std::max(range.high, both);
            }
            evaluator_.store_range(giver, receiver, range);
        }
    }

    for (std::size_t i = 0; i < s; ++i) {
        const std::size_t giver = members[i];
        const RosterEvaluator::Giver g = evaluator_.giver(giver);
        if (g.count == 0) continue;
        const std::int64_t giver_share = evaluator_.share(giver);
        const std::uint32_t* at = evaluator_.positions(giver);
        for (std::size_t j = 0; j < s; ++j) {
            if (j == i || ids[j] == ids[i]) continue;  // a member never gives to itself
            const std::size_t receiver = members[j];
            const std::uint32_t receiver_share = evaluator_.share(receiver);
            // Every move of this pair is worth current - both shares now + both
            // shares after. When none of those sums wraps and the lowest is not
            // below both the chosen value and the best value, no move of the
            // pair can be taken.
            RosterEvaluator::Range range{};
            const bool known = evaluator_.known_range(giver, receiver, range);
            const std::int64_t offset = static_cast<std::int64_t>(current) - giver_share - receiver_share;
            const std::int64_t lowest = offset + range.low;
            if (known && lowest >= 0 && offset + range.high <= static_cast<std::int64_t>(UINT32_MAX) &&
                lowest >= static_cast<std::int64_t>(chosen) && lowest >= static_cast<std::int64_t>(best_value))
                continue;
            const std::uint32_t base = current - receiver_share;
            const std::uint32_t* into = evaluator_.row(receiver);
            for (std::size_t k = 0; k < g.count; ++k) {
                const std::uint32_t v = base + g.removal_delta[k] + into[at[k]];
                if (v >= chosen && v >= best_value) continue;
                solucao candidate;
                candidate.from_crew = ids[i];
                candidate.to_crew = ids[j];
                candidate.moved_task = g.tasks[k];
                if ((v < chosen && !tabu(candidate)) || v < best_value) {
                    chosen = v;
                    taken = true;
                    move = candidate;
                    move.task_pos = static_cast<std::int32_t>(k);
                }
            }
        }
    }
    mark_tabu_pairs(0);
    return chosen;
}

void TabuSearch::prepare(const v_crew& roster, std::size_t sample_size) {
    sample_.assign(sample_size, Crew{});
    scan_ids_.assign(sample_size, 0);
    scan_members_.assign(sample_size, 0);
    if (!control.reference_scan) evaluator_.attach(roster, control.rules);
}

bool TabuSearch::step(v_crew& roster, std::uint32_t& current) {
    if (roster.empty()) return false;  // no member to sample, no move
    bool taken = false;
    std::uint32_t value = 0;
    if (control.reference_scan) {
        draw_sample(roster, sample_);
        value = scan_moves_reference(sample_, current, taken);
    } else {
        // The sample's members are the roster's own, seen through the evaluator.
        draw_sample_ids(roster.size(), scan_ids_);
        for (std::size_t p = 0; p < scan_ids_.size(); ++p) scan_members_[p] = static_cast<std::size_t>(scan_ids_[p]);
        value = scan_members(scan_members_, scan_ids_, current, taken);
    }
    if (!taken) return false;  // nothing to move: the roster and its value stay as they are
    current = value;
    const auto from = static_cast<std::size_t>(move.from_crew);
    const auto to = static_cast<std::size_t>(move.to_crew);
    roster[to].assign_task(roster[from].remove_task_at(move.task_pos, control.rules), control.rules);
    if (!control.reference_scan) evaluator_.moved(roster, from, to);
    tabu_list.push_back(move);
#ifndef NDEBUG
    if (control.rules.weights.p_duplas == 0) {
        v_crew fresh = roster;
        if (global_objective(fresh, control.rules) != current) {
            std::fprintf(stderr, "running value %u differs from the roster's objective\n", current);
            std::abort();
        }
    }
#endif
    return true;
}

void TabuSearch::run(v_crew& roster, double sample_percent, std::int32_t max_stall, std::uint32_t tabu_base,
                     std::int32_t resize_period) {
    std::ostream& out = *control.console;
    const std::string log_file = output_path(control.out_dir, "file_obj.txt");
    const std::string best_file = output_path(control.out_dir, "melhor_solucao.txt");
    std::int32_t sample_size =
        static_cast<std::int32_t>(static_cast<double>(roster.size()) * sample_percent * 0.01);
    if (sample_size < 1) sample_size = 1;
    std::uint32_t current = global_objective(roster, control.rules);
    best_value = current;
    out << "\nFuncao Objetivo atual: " << current;

    std::int32_t stall_count = 0;
    file_obj.open(log_file, std::ios::out | std::ios::app);
    open_check(file_obj.good(), "file_obj", "TabuSearch", 68);

    tabu_size = tabu_base;
    std::int32_t iteration = 0, last_improvement = 0, since_resize = 0;
    best_roster = roster;
    write_detailed_report(best_roster, output_path(control.out_dir, "teste_solucao.txt"), control.rules);

    const auto started = std::chrono::steady_clock::now();
    if (control.handle_interrupts) catch_interrupts();
    stop_reason_ = StopReason::stall;
    prepare(roster, static_cast<std::size_t>(sample_size));

    while (iteration - last_improvement < max_stall) {
        ++iteration;
        ++since_resize;
        step(roster, current);
        if (since_resize >= resize_period) {
            write_detailed_report(best_roster, best_file, control.rules);
            tabu_size = tabu_base + static_cast<unsigned>(draw_random()) % 10u;
            out << "\nAlterando o tamanho da lista tabu para: " << tabu_size;
            since_resize = 0;
        }
        if (tabu_list.size() > tabu_size) tabu_list.erase(tabu_list.begin());
        out << "\n[" << stall_count << "]" << " Funcao Objetivo atual: " << current
            << "  Fonte Destino: " << move.from_crew << " " << move.to_crew;
        if (current < best_value) {
            best_roster = roster;
            best_value = current;
            last_improvement = iteration;
            stall_count = 0;
            out << "  Melhora Global.";
        } else {
            ++stall_count;
        }
        file_obj << iteration << "\t" << best_value << "\t" << current << "\n";

        if ((control.handle_interrupts && interrupt_requested) ||
            (control.stop != nullptr && control.stop->load(std::memory_order_relaxed))) {
            stop_reason_ = StopReason::interrupted;
            break;
        }
        if (control.time_limit_seconds > 0 &&
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() >=
                control.time_limit_seconds) {
            stop_reason_ = StopReason::time_limit;
            break;
        }
    }
    if (control.handle_interrupts) release_interrupts();
    iterations_ = iteration;

    file_obj.flush();
    file_obj.close();
    if (file_obj.fail()) write_failed(log_file);
    write_detailed_report(best_roster, best_file, control.rules);
    if (stop_reason_ == StopReason::interrupted) out << "\nBusca interrompida pelo usuario.";
    if (stop_reason_ == StopReason::time_limit) out << "\nBusca encerrada pelo limite de tempo.";
    out << "\n\nEnd of Orvik Dummie Seacrh.\t" << "Objective Value Found: " << best_value << "\n";
    roster = best_roster;
    if (control.wait_for_enter) wait_for_enter_key();
}

}  // namespace escala
