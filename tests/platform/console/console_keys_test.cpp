// SPDX-License-Identifier: MIT
#include "platform/console/console_keys.h"

#include <gtest/gtest.h>

#include <csignal>
#include <pthread.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <utility>

// The keys are read in a child process, with a terminal or a pipe as its
// standard input, so that the test can watch the terminal from outside and
// see how the child ends.
namespace {
constexpr int STARTED = -1;

// A key that the child read, and whether key_waiting said so of the next.
using Report = std::pair<int, int>;

// The child's way out, as the program's: the console given back last.
[[noreturn]] void end_child(int status) {
    console_keys_stop();
    exit(status);
}

// The child reports each key. Only a helper thread takes SIGTERM, so that
// the main thread has nothing but the self-pipe to wake it from a wait. A
// child that hangs is ended by its alarm.
[[noreturn]] void run_child(int reports, bool spin) {
    alarm(10);
    console_keys_start(end_child);
    std::thread([] {
        for (;;)
            pause();
    }).detach();
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, nullptr);
    Report report{STARTED, 0};
    for (;;) {
        if (write(reports, &report, sizeof report) != sizeof report)
            _exit(99);
        while (spin && !key_waiting()) {
        }
        report.first = read_key();
        report.second = key_waiting() != 0;
    }
}

// With `spin` the child calls key_waiting back to back before each key, as
// the control loop does; otherwise it waits in read_key.
class Child {
  public:
    Child(int input, bool spin) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        pid = fork();
        if (pid == 0) {
            dup2(input, STDIN_FILENO);
            run_child(fds[1], spin);
        }
        close(fds[1]);
        reports = fds[0];
        EXPECT_EQ(next().first, STARTED);
    }
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        close(reports);
    }
    Report next() {
        Report r{-2, 0};
        EXPECT_EQ(read(reports, &r, sizeof r), ssize_t(sizeof r)) << "no key reported";
        return r;
    }
    // The exit status, or 1000 and the signal that killed the child.
    int exit_status() {
        int status;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    }
    void signal(int number) { kill(pid, number); }

  private:
    pid_t pid = -1;
    int reports = -1;
};

TEST(ConsoleKeys, TerminalIsRawWhileKeysArriveAndRestoredAfterASignal) {
    int master, slave;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios initial, now;
    tcgetattr(slave, &initial);
    Child child(slave, false);
    tcgetattr(slave, &now);
    EXPECT_EQ(now.c_lflag & (ECHO | ICANON | ISIG), tcflag_t(ISIG));
    EXPECT_FALSE(now.c_iflag & IXON) << "Ctrl-S is a key";
    EXPECT_EQ(now.c_cc[VMIN], 1) << "a read that returns nothing is the end of input";

    ASSERT_EQ(write(master, "\r\x1bOP", 4), 4);
    EXPECT_EQ(child.next().first, 13);
    EXPECT_EQ(child.next(), Report(0, 1)) << "the code byte waits after the lead byte";
    EXPECT_EQ(child.next(), Report(0x3B, 0));
    ASSERT_EQ(write(master, "\x1b", 1), 1);
    EXPECT_EQ(child.next(), Report(27, 0)) << "a lone ESC is Escape once its time is up";

    child.signal(SIGTERM);
    EXPECT_EQ(child.exit_status(), 128 + SIGTERM);
    tcgetattr(slave, &now);
    EXPECT_EQ(now.c_lflag, initial.c_lflag);
    EXPECT_EQ(now.c_iflag, initial.c_iflag);
    close(master);
    close(slave);
}

// At the end of piped input the keys still pending are read, an unfinished
// sequence is decided, and then the program ends, even one that only spins
// on key_waiting.
TEST(ConsoleKeys, PipedKeysAreDecodedUntilTheirEndEndsTheProgram) {
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    ASSERT_EQ(write(input[1], "x\x1b[D\x1b", 5), 5);
    close(input[1]);
    Child child(input[0], true);
    for (int key : {int('x'), 0xE0, 0x4B, 27})
        EXPECT_EQ(child.next().first, key);
    EXPECT_EQ(child.exit_status(), 0);
}
} // namespace
