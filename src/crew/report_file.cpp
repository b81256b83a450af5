#include "crew/report_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "core/check.hpp"

namespace escala {

namespace {

// True when the target may be replaced: it is missing, or it is a file that
// can be opened for writing (a directory in its place cannot).
bool target_writable(const std::string& target) {
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0) return true;
    if (S_ISDIR(info.st_mode)) return false;
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

// Creates a fresh temporary file beside the target; returns its name, or an
// empty string when none can be made.
std::string make_temporary(const std::string& target) {
    std::vector<char> name(target.begin(), target.end());
    const char suffix[] = ".tmp-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return {};
    // Reports get the ordinary permissions of a new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    return std::string(name.data());
}

}  // namespace

std::string output_path(const std::filesystem::path& folder, const std::string& name) {
    if (folder.empty() || folder == ".") return name;
    return (folder / name).string();
}

ReportFile::ReportFile(std::string target, const char* expression, const char* unit, int line)
    : target_(std::move(target)) {
    if (target_writable(target_)) temporary_ = make_temporary(target_);
    if (!temporary_.empty()) out_.open(temporary_, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!temporary_.empty() && !out_.good()) {
        std::remove(temporary_.c_str());
        temporary_.clear();
    }
    open_check(!temporary_.empty(), expression, unit, line);
}

ReportFile::~ReportFile() {
    if (committed_) return;
    out_.close();
    std::remove(temporary_.c_str());
}

void ReportFile::commit() {
    out_.close();
    committed_ = true;
    if (out_.fail() || std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        std::remove(temporary_.c_str());
        write_failed(target_);
    }
}

}  // namespace escala
