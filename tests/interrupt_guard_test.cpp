// The companions' interrupt guard, temporaries and whole-or-nothing files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "cli/atomic_file.hpp"
#include "cli/interrupt_guard.hpp"
#include "test_support.hpp"

namespace escala::cli {
namespace {

using namespace escala::test;

// Runs `body` in a child process; returns its wait status.
template <class Body>
int in_child(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

// The first signal only raises the flag; the second removes every registered
// temporary (a folder with its files, a lone file) and ends the program with
// 128 + the signal, whether it comes at once or after signals were held back.
TEST(InterruptGuard, FirstSignalAsksSecondEndsWithoutTemporaries) {
    for (const int number : {SIGINT, SIGTERM}) {
        for (const bool held : {false, true}) {
            const TempDir folder;
            const fs::path& dir = folder.path();
            const int status = in_child([&] {
                const InterruptGuard guard("test");
                Temporary scratch = make_temporary_directory(dir, ".scratch-");
                std::ofstream(scratch.path() / "report.txt") << "half";
                const Temporary file(dir / "file.tmp", false);
                std::ofstream(file.path()) << "half";
                ::raise(number);
                if (!guard.stop_requested() || guard.exit_status(0) != 128 + number) ::_exit(3);
                if (held) {
                    const SignalsHeld hold;
                    ::raise(number);
                    std::ofstream(dir / "after-hold") << "reached";
                }
                ::raise(number);
                ::_exit(4);
            });
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 128 + number);
            EXPECT_EQ(fs::exists(dir / "after-hold"), held);
            fs::remove(dir / "after-hold");
            EXPECT_TRUE(fs::is_empty(dir)) << "signal " << number << (held ? ", held" : "");
        }
    }
}

// A program that ends through std::exit leaves no registered temporary either.
TEST(InterruptGuard, ExitRemovesTemporaries) {
    const TempDir folder;
    const fs::path& dir = folder.path();
    const int status = in_child([&] {
        const InterruptGuard guard("test");
        Temporary scratch = make_temporary_directory(dir, ".scratch-");
        std::ofstream(scratch.path() / "a") << "x";
        std::exit(1);
    });
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_TRUE(fs::is_empty(dir));
}

// The target changes only on commit; otherwise it stays as it was and no
// temporary is left beside it.
TEST(AtomicFile, ReplacesOnlyOnCommit) {
    const TempDir folder;
    const fs::path& dir = folder.path();
    const fs::path target = dir / "out.txt";
    std::ofstream(target) << "earlier";
    {
        AtomicFile file(target);
        file.stream() << "new";
    }
    EXPECT_EQ(read_file(target), "earlier");
    {
        AtomicFile file(target);
        file.stream() << "new";
        file.commit();
    }
    EXPECT_EQ(read_file(target), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    EXPECT_THROW(AtomicFile{dir}, WriteError);
    EXPECT_THROW(AtomicFile{dir / "no" / "such.txt"}, WriteError);
}

}  // namespace
}  // namespace escala::cli
