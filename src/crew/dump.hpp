// Reading back the compact roster dump that write_dump writes ("dumpfile.txt").
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "crew/crew.hpp"

namespace escala {

// One task line of the dump and where it stands in the file.
struct DumpTask {
    Task task;
    int line = 0;  // 1-based line of the dump
};

// One crew member's block: its "##i" marker and its task lines, in file order.
struct DumpCrew {
    int marker_line = 0;
    std::vector<DumpTask> tasks;
};

// A whole dump; crew[i] is the block of marker "##i".
struct Dump {
    std::vector<DumpCrew> crew;
    int task_lines() const;
};

// A dump that cannot be read; names the 1-based line at fault.
class DumpError : public std::runtime_error {
public:
    DumpError(int line, const std::string& message);
    int line() const { return line_; }

private:
    int line_;
};

// Reads a dump: the roster size immediately followed by "##0", then "##i"
// marker lines numbered 0, 1, 2, ... and task lines of eight integers
// "v,s,e,sp,ep,slack,sl,el", with ",*" appended for a virtual task. Blanks
// around fields, a carriage return at a line end and empty lines are
// tolerated. Throws DumpError on anything else.
Dump read_dump(std::istream& in);

// The dump's schedules as a roster (member i gets id i).
v_crew to_roster(const Dump& dump);

// A task in the form of a dump line, without the line end.
std::string dump_line(const Task& task);

// What is wrong with the end of one schedule: the closing virtual task that
// assigning its real tasks gives is missing, differs, or stands where none is
// due. `line` is the dump line at fault (the marker's for an empty schedule).
struct ClosingProblem {
    int line = 0;
    std::string message;
    Task task;  // the task at fault, or the one due
};
std::optional<ClosingProblem> closing_problem(const DumpCrew& schedule, const Rules& rules);

// Whether load_dump_file refuses a schedule with a closing problem, or leaves
// it to the caller (escala-check lists it with the other violations).
enum class ClosingTasks { refused, kept };

// Reads the dump file at `path`. Throws cli::UnusableInput naming the file:
// "<path>: is a folder, not a roster dump", "cannot read dump \"<path>\"",
// "<path>:<line>: <what is wrong>" (also for a closing problem, when refused).
Dump load_dump_file(const std::filesystem::path& path, const Rules& rules,
                    ClosingTasks closing = ClosingTasks::refused);

// The same, as a roster.
v_crew load_dump(const std::filesystem::path& path, const Rules& rules);

}  // namespace escala
