#include "app/driver.hpp"

#include <ctime>
#include <iostream>

#include "crew/crew_util.hpp"
#include "crew/overlaps.hpp"
#include "crew/report_file.hpp"
#include "io/load_list.hpp"
#include "search/grasp.hpp"
#include "search/tabu_search.hpp"

namespace escala {

void wait_for_enter() { std::cin.get(); }

RunSummary run_escala(const DriverOptions& options, const std::filesystem::path& out_dir, std::ostream& out) {
    RunSummary summary;
    l_tarefas tasks;
    const Crew prototype;
    v_crew roster(static_cast<std::size_t>(options.crew_size), prototype);
    TabuSearch search;
    std::int32_t virtual_count = 0;
    std::int32_t assigned_count = 0;

    load_list(tasks, options.task_file.c_str());
    sort_by_start(tasks);

    const std::time_t now = std::time(nullptr);
    out << std::ctime(&now) << "\n";
    out << "Tamanho do Listao " << tasks.size();
    out << "\nAperte Enter para iniciar Grasp.\n" << std::flush;
    if (options.interactive) wait_for_enter();
    out << "Executando....";

    const std::time_t start = std::time(nullptr);
    summary.seed = options.seed ? *options.seed : static_cast<unsigned>(start);
    grasp(tasks, roster, 2.0, 2.0, options.rules, summary.seed, false, out);
    const std::time_t end = std::time(nullptr);
    assigned_count = 0;

    sort_schedules(roster);
    const std::uint32_t solution_value = global_objective(roster, options.rules);
    for (std::size_t i = 0; i < roster.size(); ++i) {
        out << "Tripulante " << i << ": " << roster[i].cost(options.rules) << " " << roster[i].tasks.size() << " tarefas.\n";
        if (roster[i].has_virtual_task()) ++virtual_count;
        assigned_count += static_cast<std::int32_t>(roster[i].tasks.size());
    }
    out << "\nTotal de tarefas atribuidas : " << assigned_count << "\n";
    out << "Tamanho do Listao : " << tasks.size() << "\n";
    out << "Valor da solucao global: " << solution_value << ".\n";
    out << "Tempo transcorrido (Grasp): " << static_cast<long long>(end - start) << "segundos.\n";
    out << "Tarefas Virtuais: " << virtual_count << "\n";
    write_report(roster, output_path(out_dir, "ArqSaida.txt"), options.rules);
    out << "\nNV " << count_virtual_tasks(roster) << "\n";

    summary.construction_value = solution_value;
    search.control.wait_for_enter = options.interactive;
    search.control.time_limit_seconds = options.time_limit_seconds;
    search.control.handle_interrupts = options.handle_interrupts;
    search.control.stop = options.stop;
    search.control.console = &out;
    search.control.out_dir = out_dir;
    search.control.rules = options.rules;
    search.run(roster, 25.0, 500, 250, 150);
    summary.best_value = search.best_value;
    summary.iterations = search.iterations();
    summary.stop_reason = search.stop_reason();
    summary.overlapping_pairs = overlapping_pairs(roster);

    write_detailed_report(roster, output_path(out_dir, "ArqSaida-zz.txt"), options.rules);
    write_dump(roster, output_path(out_dir, "dumpfile.txt"));
    out << std::flush;
    if (options.interactive) wait_for_enter();
    return summary;
}

}  // namespace escala
