// An output file that appears complete or not at all.
#pragma once

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "cli/interrupt_guard.hpp"

namespace escala::cli {

// A file that cannot be written; the message names it.
struct WriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Makes the output folder when it is missing; returns what stands in the way
// of writing there, or an empty text when nothing does.
std::string output_folder_problem(const std::filesystem::path& dir);

// Writes go to a registered temporary beside the target; commit() renames it
// over the target. Until then, and whenever a write fails, the target stays
// as it was.
class AtomicFile {
public:
    // Throws WriteError when the target's folder cannot take the temporary
    // or the target is a folder.
    explicit AtomicFile(std::filesystem::path target, std::ios::openmode mode = std::ios::binary);
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    std::ostream& stream() { return out_; }
    // Throws WriteError when a write failed or the rename did.
    void commit();

private:
    std::filesystem::path target_;
    Temporary temporary_;
    std::ofstream out_;
};

}  // namespace escala::cli
