// The companions' strict reading of task files: every line a full record.
#pragma once

#include <filesystem>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/task.hpp"

namespace escala {

// A task file that cannot be used; the message reads "FILE:LINE: what" (or
// "FILE: what" when no line is at fault).
struct TaskFileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct StrictTasks {
    l_tarefas tasks;                    // in file order, as real tasks
    std::vector<int> lines;             // the 1-based line of each task
    std::vector<std::string> warnings;  // "FILE:LINE: warning: ..." for doubtful tasks
};

// Reads a task file where each non-blank line holds exactly eight integers
// (an optional sign, decimal digits, 32 bits) with one separator character
// between them (any character but a digit, a sign or a blank). Blanks at
// either end of a line and blank lines are allowed. Throws TaskFileError on
// any other line and on a file with no task; a task that ends before it
// starts gets a warning. `name` is used in the messages.
StrictTasks read_tasks_strict(std::istream& in, const std::string& name);

// Opens and reads the file; a missing, unreadable or folder path is a
// TaskFileError as well.
StrictTasks load_tasks_strict(const std::filesystem::path& file);

}  // namespace escala
