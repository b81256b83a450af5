#include "run.hpp"

#include <chrono>
#include <fstream>
#include <iomanip>
#include <random>
#include <sstream>

#include "check/dump.hpp"
#include "cli/atomic_file.hpp"
#include "columns/lower_bound.hpp"
#include "crew/crew_util.hpp"
#include "crew/overlaps.hpp"
#include "improve/search.hpp"
#include "io/strict_tasks.hpp"

namespace escala::improve_tool {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t default_crew = 219;

l_tarefas usable_tasks(const fs::path& file, std::ostream& err) {
    try {
        StrictTasks read = load_tasks_strict(file);
        for (const std::string& warning : read.warnings) err << "escala-improve: " << warning << "\n";
        return read.tasks;
    } catch (const TaskFileError& e) {
        throw UnusableInput(e.what());
    }
}

v_crew usable_dump(const fs::path& file) {
    std::error_code error;
    if (fs::is_directory(file, error)) throw UnusableInput(file.string() + ": is a folder, not a roster dump");
    std::ifstream in(file, std::ios::binary);
    if (!in) throw UnusableInput("cannot read dump \"" + file.string() + "\"");
    try {
        return tools::to_roster(tools::read_dump(in));
    } catch (const tools::DumpError& e) {
        throw UnusableInput(file.string() + ":" + std::to_string(e.line()) + ": " + e.what());
    } catch (const std::ios_base::failure&) {
        throw UnusableInput("cannot read dump \"" + file.string() + "\"");
    }
}

void usable_out_dir(const fs::path& dir) {
    const std::string problem = cli::output_folder_problem(dir);
    if (!problem.empty()) throw CannotWrite(problem);
}

std::string percent(double value) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(2) << value << " %";
    return text.str();
}

double improvement(std::uint32_t start, std::uint32_t best) {
    return start == 0 ? 0 : (static_cast<double>(start) - static_cast<double>(best)) / static_cast<double>(start) * 100;
}

}  // namespace

std::string describe_result(const ImproveToolResult& r) {
    std::ostringstream line;
    line << "start " << r.start_objective << ", best " << r.best_objective << " ("
         << percent(improvement(r.start_objective, r.best_objective)) << " better), iterations " << r.iterations
         << ", " << std::fixed << std::setprecision(1) << r.seconds << " s, lower bound " << r.lower_bound
         << ", gap " << percent(columns::gap_percent(r.start_objective, r.lower_bound)) << " -> "
         << percent(columns::gap_percent(r.best_objective, r.lower_bound)) << ", "
         << overlaps_text(r.overlapping_pairs);
    return line.str();
}

ImproveToolResult run_improve(const ImproveToolOptions& options, std::ostream& out, std::ostream& err,
                              const std::atomic<bool>* stop) {
    using Clock = std::chrono::steady_clock;
    const auto started = Clock::now();
    const l_tarefas tasks = usable_tasks(options.task_file, err);
    std::optional<v_crew> dumped;
    if (options.dump_file) {
        dumped = usable_dump(*options.dump_file);
        if (options.crew && *options.crew != dumped->size())
            throw UnusableInput("--crew " + std::to_string(*options.crew) + " differs from the " +
                                std::to_string(dumped->size()) + " members of the dump");
        if (dumped->empty()) throw UnusableInput(options.dump_file->string() + ": a roster without members");
    }
    const std::size_t members = dumped ? dumped->size() : options.crew.value_or(default_crew);
    improve::RosterState start;
    if (dumped) {
        try {
            start = improve::RosterState(tasks, *dumped);
        } catch (const improve::RosterMismatch& e) {
            throw UnusableInput(options.dump_file->string() + ": " + e.what());
        }
    }
    usable_out_dir(options.out_dir);

    const columns::ObjectiveBound bound = columns::objective_lower_bound(tasks, members);
    std::optional<Clock::time_point> deadline;
    if (options.time_limit_seconds > 0)
        deadline = started + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(options.time_limit_seconds));
    if (!dumped) {
        std::mt19937_64 random(options.seed);
        start = improve::construct(tasks, members, random, deadline);
    }
    const std::uint32_t start_objective = start.objective();
    if (!options.quiet)
        err << "escala-improve: " << tasks.size() << " tasks, " << members << " crew members, start "
            << start_objective << (dumped ? " (dump)" : " (construction)") << ", lower bound " << bound.value
            << " (gap " << percent(columns::gap_percent(start_objective, bound.value)) << "), seed "
            << options.seed << ", " << options.threads << (options.threads == 1 ? " thread\n" : " threads\n")
            << std::flush;

    improve::ImproveOptions search;
    search.seed = options.seed;
    search.threads = options.threads;
    search.stop = stop;
    search.max_iterations = options.max_iterations;
    if (deadline) {
        const double left = std::chrono::duration<double>(*deadline - Clock::now()).count();
        search.time_limit_seconds = std::max(left, 1e-9);
    } else {
        search.time_limit_seconds = 0;
    }
    const double construction_seconds = std::chrono::duration<double>(Clock::now() - started).count();
    auto progress = [&](const improve::ProgressReport& p) {
        err << "escala-improve: " << std::fixed << std::setprecision(1) << construction_seconds + p.seconds
            << " s, iterations " << p.iterations << ", current " << p.current << ", best " << p.best << ", "
            << percent(improvement(start_objective, p.best)) << " better\n"
            << std::flush;
    };
    improve::ImproveResult improved =
        options.quiet ? improve::improve(start, search) : improve::improve(start, search, progress);

    const fs::path dir = options.out_dir;
    v_crew roster = improved.best.to_roster();
    std::optional<cli::AtomicFile> trace;
    try {
        trace.emplace(dir / "improve.csv");
        for (const improve::TraceEntry& e : improved.trace)
            trace->stream() << std::fixed << std::setprecision(3) << construction_seconds + e.seconds << ','
                            << e.iteration << ',' << e.objective << '\n';
    } catch (const cli::WriteError& e) {
        throw CannotWrite(e.what());
    }
    write_report(roster, (dir / "ArqSaida.txt").string());
    write_detailed_report(roster, (dir / "ArqSaida-zz.txt").string());
    write_dump(roster, (dir / "dumpfile.txt").string());
    try {
        trace->commit();
    } catch (const cli::WriteError& e) {
        throw CannotWrite(e.what());
    }

    ImproveToolResult result;
    result.start_objective = start_objective;
    result.best_objective = global_objective(roster);
    result.lower_bound = bound.value;
    result.iterations = improved.iterations;
    result.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    result.overlapping_pairs = overlapping_pairs(roster);
    out << describe_result(result) << "\n" << std::flush;
    if (result.overlapping_pairs > 0)
        err << "escala-improve: the best roster has " << overlaps_text(result.overlapping_pairs)
            << ": it is not drivable as it stands; escala-check --tasks " << options.task_file.string()
            << " --dump " << (dir / "dumpfile.txt").string() << " lists them\n";
    return result;
}

}  // namespace escala::improve_tool
