// What the companion programs share around their work: the interrupt guard,
// temporaries that never outlive the program, and whole-or-nothing files.
#pragma once

#include <signal.h>

#include <atomic>
#include <filesystem>
#include <string>

namespace escala::cli {

// Installed at the start of a companion's main and kept until it returns.
// The first SIGINT or SIGTERM only raises a flag that the work polls at its
// safe points; a second one removes every registered temporary and ends the
// program at once with status 128 + that signal. The handlers stay in place
// until the process ends. Only one guard may live at a time.
class InterruptGuard {
public:
    explicit InterruptGuard(std::string program);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // True once the first signal has come.
    bool stop_requested() const;
    // The flag itself, for work that polls it (a search's stop flag).
    const std::atomic<bool>& flag() const;
    // The first signal caught, or 0.
    int signal_number() const;
    // 130 after SIGINT, 143 after SIGTERM, `otherwise` when no signal came.
    int exit_status(int otherwise) const;
    // "interrupted (SIGINT)" style text for the closing line.
    std::string signal_text() const;

    // Raises the flag as a first signal would (for tests and for work that
    // must stop for another reason).
    static void request_stop(int signal_number);
};

// A file or folder that must not outlive the program: registered while the
// object lives, so that a second signal removes it (a folder with the files
// directly inside it). The destructor removes it unless released.
class Temporary {
public:
    Temporary() = default;
    Temporary(std::filesystem::path path, bool is_directory);
    ~Temporary();
    Temporary(Temporary&& other) noexcept;
    Temporary& operator=(Temporary&& other) noexcept;
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;

    const std::filesystem::path& path() const { return path_; }
    bool empty() const { return slot_ < 0; }
    // Keeps the path (it has been renamed away or is now the result).
    void release();
    // Removes the path now.
    void remove();

private:
    std::filesystem::path path_;
    bool is_directory_ = false;
    int slot_ = -1;
};

// A fresh folder `parent`/`prefix`XXXXXX, registered as a temporary.
Temporary make_temporary_directory(const std::filesystem::path& parent, const std::string& prefix);

// Holds SIGINT and SIGTERM back while it lives, so that a few steps that
// belong together (renames into place) are never cut in the middle; a
// signal that came meanwhile is handled when it ends.
class SignalsHeld {
public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t saved_{};
    bool held_ = false;
};

}  // namespace escala::cli
