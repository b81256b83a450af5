#include "cli/interrupt_guard.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace escala::cli {

namespace {

constexpr std::size_t max_temporaries = 64;
constexpr std::size_t max_path = 4096;

// A registered temporary. The handler only reads a slot whose state is
// `used`, and registration fills the path before it publishes the state.
struct Slot {
    std::atomic<int> state{0};  // 0 free, 1 being filled, 2 used
    bool is_directory = false;
    char path[max_path] = {};
};

std::array<Slot, max_temporaries> slots;
std::atomic<bool> stop_flag{false};
std::atomic<int> first_signal{0};
std::atomic<bool> guard_installed{false};
char program_name[64] = {};

void say(const char* text) {
    const std::size_t length = std::strlen(text);
    if (::write(STDERR_FILENO, text, length) < 0) return;
}

// Removes the files directly inside a folder, then the folder; only calls
// that are safe in a signal handler.
void remove_directory(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        alignas(8) char buffer[4096];
        for (;;) {
            const long got = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
            if (got <= 0) break;
            for (long at = 0; at < got;) {
                struct Entry {
                    ino64_t inode;
                    off64_t offset;
                    unsigned short length;
                    unsigned char type;
                    char name[1];
                };
                const auto* entry = reinterpret_cast<const Entry*>(buffer + at);
                const char* name = buffer + at + offsetof(Entry, name);
                if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0) ::unlinkat(fd, name, 0);
                at += entry->length;
            }
        }
        ::close(fd);
    }
    ::rmdir(path);
}

void remove_registered() {
    for (Slot& slot : slots) {
        if (slot.state.load(std::memory_order_acquire) != 2) continue;
        if (slot.is_directory)
            remove_directory(slot.path);
        else
            ::unlink(slot.path);
    }
}

extern "C" void remove_at_exit() { remove_registered(); }

extern "C" void on_signal(int number) {
    int expected = 0;
    if (first_signal.compare_exchange_strong(expected, number)) {
        stop_flag.store(true);
        return;
    }
    remove_registered();
    say(program_name);
    say(": interrupted again: stopped at once; nothing more was written\n");
    ::_exit(128 + number);
}

void install(void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int register_path(const std::filesystem::path& path, bool is_directory) {
    const std::string text = std::filesystem::absolute(path).string();
    if (text.size() >= max_path) throw std::length_error("temporary path too long: " + text);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        int expected = 0;
        if (!slots[i].state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(slots[i].path, text.c_str(), text.size() + 1);
        slots[i].is_directory = is_directory;
        slots[i].state.store(2, std::memory_order_release);
        return static_cast<int>(i);
    }
    throw std::length_error("too many temporary files at once");
}

void unregister(int slot) {
    if (slot >= 0) slots[static_cast<std::size_t>(slot)].state.store(0, std::memory_order_release);
}

}  // namespace

InterruptGuard::InterruptGuard(std::string program) {
    if (guard_installed.exchange(true)) throw std::logic_error("only one interrupt guard may live at a time");
    program.resize(std::min(program.size(), sizeof program_name - 1));
    std::memcpy(program_name, program.c_str(), program.size() + 1);
    stop_flag.store(false);
    first_signal.store(0);
    // A program that ends through std::exit leaves no temporary behind either.
    static const bool at_exit = std::atexit(remove_at_exit) == 0;
    (void)at_exit;
    install(on_signal);
}

// The handlers stay: a signal while the program winds down (static
// destructors, the sanitizers' exit checks) is still answered with the exit
// status it calls for, never with the default action.
InterruptGuard::~InterruptGuard() { guard_installed.store(false); }

bool InterruptGuard::stop_requested() const { return stop_flag.load(std::memory_order_relaxed); }

const std::atomic<bool>& InterruptGuard::flag() const { return stop_flag; }

int InterruptGuard::signal_number() const { return first_signal.load(); }

int InterruptGuard::exit_status(int otherwise) const {
    const int number = signal_number();
    return number != 0 ? 128 + number : otherwise;
}

std::string InterruptGuard::signal_text() const {
    switch (signal_number()) {
        case SIGINT: return "interrupted (SIGINT)";
        case SIGTERM: return "stopped (SIGTERM)";
        default: return "not interrupted";
    }
}

void InterruptGuard::request_stop(int signal_number) {
    int expected = 0;
    if (first_signal.compare_exchange_strong(expected, signal_number)) stop_flag.store(true);
}

Temporary::Temporary(std::filesystem::path path, bool is_directory)
    : path_(std::move(path)), is_directory_(is_directory), slot_(register_path(path_, is_directory)) {}

Temporary::~Temporary() { remove(); }

Temporary::Temporary(Temporary&& other) noexcept
    : path_(std::move(other.path_)), is_directory_(other.is_directory_), slot_(other.slot_) {
    other.slot_ = -1;
}

Temporary& Temporary::operator=(Temporary&& other) noexcept {
    if (this != &other) {
        remove();
        path_ = std::move(other.path_);
        is_directory_ = other.is_directory_;
        slot_ = other.slot_;
        other.slot_ = -1;
    }
    return *this;
}

void Temporary::release() {
    unregister(slot_);
    slot_ = -1;
}

void Temporary::remove() {
    if (slot_ < 0) return;
    std::error_code ignored;
    if (is_directory_)
        std::filesystem::remove_all(path_, ignored);
    else
        std::filesystem::remove(path_, ignored);
    release();
}

Temporary make_temporary_directory(const std::filesystem::path& parent, const std::string& prefix) {
    // Signals are held so that a folder never exists unregistered.
    const SignalsHeld held;
    std::string name = (parent / (prefix + "XXXXXX")).string();
    if (!::mkdtemp(name.data()))
        throw std::filesystem::filesystem_error("cannot create a scratch folder", parent,
                                                std::error_code(errno, std::generic_category()));
    return Temporary(name, true);
}

SignalsHeld::SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    held_ = ::pthread_sigmask(SIG_BLOCK, &set, &saved_) == 0;
}

SignalsHeld::~SignalsHeld() {
    if (held_) ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

}  // namespace escala::cli
