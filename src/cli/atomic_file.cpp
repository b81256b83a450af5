#include "cli/atomic_file.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace escala::cli {

namespace fs = std::filesystem;

std::string output_folder_problem(const fs::path& dir) {
    std::error_code error;
    fs::create_directories(dir, error);
    if (!fs::is_directory(dir))
        return "cannot create the output directory '" + dir.string() + "'" + (error ? ": " + error.message() : "");
    if (::access(dir.c_str(), W_OK | X_OK) != 0) return "cannot write in the output directory '" + dir.string() + "'";
    return {};
}

AtomicFile::AtomicFile(fs::path target, std::ios::openmode mode) : target_(std::move(target)) {
    std::error_code error;
    if (fs::is_directory(target_, error))
        throw WriteError("cannot write \"" + target_.string() + "\": it is a folder");
    const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
    std::string name = (folder / ("." + target_.filename().string() + ".tmp-XXXXXX")).string();
    {
        const SignalsHeld held;  // never an unregistered temporary
        const int fd = ::mkstemp(name.data());
        if (fd < 0)
            throw WriteError("cannot write in \"" + folder.string() + "\": " + std::strerror(errno));
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
        ::close(fd);
        temporary_ = Temporary(name, false);
    }
    out_.open(name, std::ios::out | std::ios::trunc | mode);
    if (!out_) throw WriteError("cannot write \"" + name + "\"");
}

void AtomicFile::commit() {
    out_.close();
    if (out_.fail()) throw WriteError("cannot write \"" + target_.string() + "\": a write failed");
    const SignalsHeld held;
    std::error_code error;
    fs::rename(temporary_.path(), target_, error);
    if (error) throw WriteError("cannot write \"" + target_.string() + "\": " + error.message());
    temporary_.release();
}

}  // namespace escala::cli
