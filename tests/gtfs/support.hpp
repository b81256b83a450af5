// Tiny GTFS feeds written to a scratch folder for the tests.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace gtfs_test {

namespace fs = std::filesystem;

// A fresh folder removed with its content at the end of the test.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "escala-gtfs-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

using Files = std::map<std::string, std::string>;

inline void write_files(const fs::path& dir, const Files& files) {
    fs::create_directories(dir);
    for (const auto& [name, text] : files) std::ofstream(dir / name, std::ios::binary) << text;
}

}  // namespace gtfs_test
