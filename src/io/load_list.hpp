// The task file reader.
#pragma once

#include <istream>

#include "core/task.hpp"

namespace escala {

// Where and why reading a task file stopped.
struct ReadOutcome {
    int tasks_read = 0;       // records appended by this read
    bool malformed = false;   // reading stopped at content that is not a record
    int stop_line = 0;        // 1-based line of that content (when malformed)
};

// Appends every record of the stream to `list`, in order, as real tasks.
// A record is eight integers with one separator character between them;
// reading ends at the first record that cannot be read in full.
ReadOutcome read_tasks(std::istream& in, l_tarefas& list);

// Opens the named file and reads it with read_tasks. A file that cannot be
// opened (missing, unreadable, a directory) stops the program through the
// open check; content that ends the reading early gets one warning line on
// standard error naming the file, the line and the number of tasks read.
void load_list(l_tarefas& list, const char* file_name);

}  // namespace escala
