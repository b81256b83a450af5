#include "cli.hpp"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdlib>

#include "search/random.hpp"

namespace escala::batch {

namespace {

// Plain decimal digits only (CLI11 alone would also take "0x10" or "010").
const CLI::Validator decimal([](std::string& text) -> std::string {
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) return {};
    return "'" + text + "' is not a decimal number";
}, "");

// A finite, non-negative number of seconds.
const CLI::Validator seconds([](std::string& text) -> std::string {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (!text.empty() && *end == '\0' && std::isfinite(value) && value >= 0) return {};
    return "'" + text + "' is not a number of seconds (0 or more)";
}, "");

}  // namespace

ParsedCommandLine parse_command_line(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Builds a crew roster like escala, without waiting for Enter, into an output directory.",
                 "escala-batch"};
    app.set_version_flag("--version", std::string("escala-batch ") + ESCALA_VERSION);
    BatchOptions options;
    std::optional<unsigned> seed;
    std::string task_file = options.task_file.string();
    std::string out_dir = options.out_dir.string();
    app.add_option("--tasks", task_file, "Task file to read")->type_name("FILE")->capture_default_str();
    app.add_option("--out-dir", out_dir, "Directory for the output files, created if missing")
        ->type_name("DIR")
        ->capture_default_str();
    app.add_option("--seed", seed, "Seed of the first run (default: the time in seconds)")
        ->type_name("N")
        ->check(decimal);
    app.add_option("--runs", options.runs, "Builds with seeds N, N+1, ...; the best roster is kept")
        ->type_name("K")
        ->check(decimal)
        ->check(CLI::Range(1, 1000000))
        ->capture_default_str();
    app.add_option("--time-limit", options.time_limit_seconds,
                   "End each search after the iteration in which S seconds have passed (0: no limit)")
        ->type_name("S")
        ->check(seconds)
        ->capture_default_str();
    app.add_flag("--quiet", options.quiet, "Print only one summary line per run");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e, out, err);
        return {std::nullopt, status == 0 ? 0 : 2};
    }
    options.task_file = task_file;
    options.out_dir = out_dir;
    options.seed = seed ? *seed : clock_seed();
    return {options, 0};
}

}  // namespace escala::batch
