// An output file that replaces its target only once it is complete.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

namespace escala {

// The file `name` in `folder`: the name alone for the working directory (an
// empty folder or "."), so that messages name it as they always have.
std::string output_path(const std::filesystem::path& folder, const std::string& name);

// Writes go to a temporary file beside the target; commit() closes it and
// renames it over the target. A write that fails, or an object destroyed
// before commit(), leaves the previous target untouched.
class ReportFile {
public:
    // Stops the program through the open check (expression, unit, line)
    // when the target cannot be written or no temporary file can be made.
    ReportFile(std::string target, const char* expression, const char* unit, int line);
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    std::ostream& stream() { return out_; }

    // Closes and renames; stops the program with a report naming the target
    // when any write failed.
    void commit();

private:
    std::string target_;
    std::string temporary_;
    std::ofstream out_;
    bool committed_ = false;
};

}  // namespace escala
