// Small helpers shared by the test suites:
//   TempDir        - a fresh directory under /tmp, removed with its content at scope end
//   read_file      - the whole content of a file, byte for byte ("" when it cannot be read)
//   write_file     - creates or replaces a file with the given bytes
//   run_command    - runs a shell command in a directory, capturing exit status, stdout, stderr
//   escala_binary  - path of the escala program built beside the tests
//   source_path    - path of a file of the source tree (e.g. "examples/Lintra.tsk")
//   RestoreWeights - keeps a copy of the global weights and puts it back at scope end
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "crew/crew.hpp"
#include "crew/pesos.hpp"

namespace escala::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "escala-test-XXXXXX").string();
        std::vector<char> name(pattern.begin(), pattern.end());
        name.push_back('\0');
        if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = name.data();
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // Path of an entry of the directory.
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Names of the entries of the directory, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path_;
};

inline std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void write_file(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

struct RunResult {
    int status = -1;  // exit status; -1 when the command did not exit normally
    std::string out;  // its standard output
    std::string err;  // its standard error
};

// Runs `command` with /bin/sh in `dir`; stdout and stderr go to files in
// `dir` named .stdout and .stderr, which are read back and removed.
inline RunResult run_command(const std::string& dir, const std::string& command) {
    const std::string out_file = dir + "/.stdout";
    const std::string err_file = dir + "/.stderr";
    const std::string full = "cd '" + dir + "' && " + command + " > '" + out_file + "' 2> '" + err_file + "'";
    const int raw = std::system(full.c_str());
    RunResult result;
    if (raw != -1 && WIFEXITED(raw)) result.status = WEXITSTATUS(raw);
    result.out = read_file(out_file);
    result.err = read_file(err_file);
    std::filesystem::remove(out_file);
    std::filesystem::remove(err_file);
    return result;
}

inline std::string escala_binary() { return ESCALA_BINARY_DIR "/escala"; }

inline std::string source_path(const std::string& relative) { return std::string(ESCALA_SOURCE_DIR) + "/" + relative; }

// A crew member that received the tasks one by one through assign_task.
inline Crew assigned(const l_tarefas& list) {
    Crew c;
    for (const Task& t : list) c.assign_task(t);
    return c;
}

// A crew member whose schedule is exactly the list given, as it stands.
inline Crew holding(const l_tarefas& list) {
    Crew c;
    c.tasks = list;
    return c;
}

class RestoreWeights {
public:
    RestoreWeights() : saved_(pesos) {}
    ~RestoreWeights() { pesos = saved_; }
    RestoreWeights(const RestoreWeights&) = delete;
    RestoreWeights& operator=(const RestoreWeights&) = delete;

private:
    Pesos saved_;
};

}  // namespace escala::test
