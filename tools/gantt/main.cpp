// escala-gantt: writes a roster dump as a self-contained HTML timeline page.
#include <CLI/CLI.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>

#include "gantt/gantt.hpp"

int main(int argc, char** argv) {
    using namespace escala::tools;
    CLI::App app{"Writes the roster in a dump of escala as one self-contained HTML page: a timeline\n"
                 "row per crew member (bars coloured by vehicle, virtual tasks dashed, overlaps in\n"
                 "red, split-shift breaks hatched), the objective and totals, and the convergence\n"
                 "of the last search in the search log. The page needs no network.",
                 "escala-gantt"};
    std::string dump_file = "dumpfile.txt";
    std::string log_file = "file_obj.txt";
    std::string out_file = "escala.html";
    app.add_option("--dump", dump_file, "roster dump to draw")->capture_default_str();
    auto* log_option =
        app.add_option("--log", log_file, "search log for the convergence chart (skipped when the default is absent)")
            ->capture_default_str();
    app.add_option("--out", out_file, "page to write")->capture_default_str();
    app.set_version_flag("--version", std::string("escala-gantt ") + ESCALA_VERSION);
    app.footer("Exit status: 0 page written, 1 page not written, 2 unusable input.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }

    std::ifstream dump_stream(dump_file);
    if (!dump_stream) {
        std::cerr << "escala-gantt: cannot read dump \"" << dump_file << "\"\n";
        return 2;
    }
    Dump dump;
    try {
        dump = read_dump(dump_stream);
    } catch (const DumpError& e) {
        std::cerr << "escala-gantt: " << dump_file << ':' << e.line() << ": " << e.what() << '\n';
        return 2;
    }

    std::optional<SearchLog> log;
    std::ifstream log_stream(log_file);
    if (log_stream) {
        log = read_last_search(log_stream);
    } else if (log_option->count() > 0) {
        std::cerr << "escala-gantt: cannot read search log \"" << log_file << "\"\n";
        return 2;
    }

    {
        std::ofstream out(out_file);
        if (out) write_gantt(out, dump, log, dump_file, log_file);
        if (!out || !out.flush()) {
            std::cerr << "escala-gantt: cannot write \"" << out_file << "\"\n";
            return 1;
        }
    }
    std::cout << "escala-gantt: wrote " << out_file << " (" << dump.crew.size() << " crew, " << dump.task_lines()
              << " tasks)\n";
    return 0;
}
