#include "core/check.hpp"

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace escala {

void open_check(bool ok, const char* expression, const char* unit, int line) {
    if (ok) return;
    std::cout.flush();
    std::fflush(stdout);
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expression, unit, line);
    std::exit(1);
}

void write_failed(const std::string& file_name) {
    std::cout.flush();
    std::fflush(stdout);
    std::fprintf(stderr, "Erro ao gravar o arquivo \"%s\": a gravacao falhou.\n", file_name.c_str());
    std::exit(1);
}

}  // namespace escala
