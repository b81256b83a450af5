#include <cstdio>
#include <cstring>
#include <iostream>

#include "app/driver.hpp"

namespace {

const char* const help_text =
    "Usage: escala [--help] [--version]\n"
    "\n"
    "Builds the daily duty roster of a bus operator's crew: reads the task file\n"
    "Lintra.tsk in the working directory, builds a roster of 219 crew members with\n"
    "a randomised greedy construction, improves it with a tabu search, and writes\n"
    "a console summary and text reports (in Portuguese) to the working directory.\n"
    "\n"
    "It waits for Enter three times: before the construction, after the search and\n"
    "before it ends; with standard input closed (escala < /dev/null) it never waits.\n"
    "Ctrl-C during the search ends the search and keeps the best roster found; a\n"
    "second Ctrl-C ends the program at once.\n"
    "\n"
    "Options:\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
    // Only these two words are answered; a run takes no arguments.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(help_text, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("escala %s\n", ESCALA_VERSION);
        return 0;
    }
    escala::run_escala({}, ".", std::cout);
    return 0;
}
