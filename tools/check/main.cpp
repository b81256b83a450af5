// escala-check: verifies a roster dump against its task file and measures it.
#include <CLI/CLI.hpp>

#include <fstream>
#include <iostream>

#include "check/check.hpp"
#include "io/load_list.hpp"

int main(int argc, char** argv) {
    using namespace escala::tools;
    CLI::App app{"Checks a roster dump written by escala (or edited by hand) against its task file:\n"
                 "every task in exactly one schedule, schedules in start order without overlaps,\n"
                 "each closed by the virtual task the schedule rules give. Prints every crew\n"
                 "member's cost and measures, the objective, the totals and a lower bound on the\n"
                 "crew needed.",
                 "escala-check"};
    std::string task_file = "Lintra.tsk";
    std::string dump_file = "dumpfile.txt";
    app.add_option("--tasks", task_file, "task file the roster was made from")->capture_default_str();
    app.add_option("--dump", dump_file, "roster dump to check")->capture_default_str();
    app.set_version_flag("--version", std::string("escala-check ") + ESCALA_VERSION);
    app.footer(print_format());
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }

    std::ifstream task_stream(task_file);
    if (!task_stream) {
        std::cerr << "escala-check: cannot read task file \"" << task_file << "\"\n";
        return 2;
    }
    escala::l_tarefas tasks;
    const escala::ReadOutcome read = escala::read_tasks(task_stream, tasks);
    if (task_stream.bad()) {
        std::cerr << "escala-check: read error in task file \"" << task_file << "\"\n";
        return 2;
    }
    if (read.malformed)  // escala itself uses the records before that line
        std::cerr << "escala-check: warning: " << task_file << ':' << read.stop_line
                  << ": not a task record; checking against the " << read.tasks_read << " tasks before it\n";

    std::ifstream dump_stream(dump_file);
    if (!dump_stream) {
        std::cerr << "escala-check: cannot read dump \"" << dump_file << "\"\n";
        return 2;
    }
    Dump dump;
    try {
        dump = read_dump(dump_stream);
    } catch (const DumpError& e) {
        std::cerr << "escala-check: " << dump_file << ':' << e.line() << ": " << e.what() << '\n';
        return 2;
    }
    const CheckReport report = check_roster(tasks, dump);
    print_report(std::cout, report, task_file, dump_file);
    return report.valid() ? 0 : 1;
}
