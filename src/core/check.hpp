// Checks that stop the program when a file cannot be used. They stay active
// in every build: a roster must never be reported as written when it was not.
#pragma once

#include <string>

namespace escala {

// Stops the program (status 1) with a report naming the expression, the
// source unit and the line when `ok` is false.
void open_check(bool ok, const char* expression, const char* unit, int line);

// Stops the program (status 1) with a report naming the file when a write to
// it failed after a successful open.
[[noreturn]] void write_failed(const std::string& file_name);

}  // namespace escala
