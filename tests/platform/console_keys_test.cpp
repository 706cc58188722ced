#include "console_keys.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

// The console keys run in a child process, on a pseudo-terminal or a pipe as
// its standard input, as in the program: the test process never starts them
// itself, so that it can watch the terminal's modes from outside and see how
// the child ends.
namespace {
constexpr int REPORT_WAIT_MS = 5000;
constexpr int EXIT_WAIT_MS = 5000;
constexpr int STARTED = -1;

// A key that the child read, and what key_waiting said right after it.
struct Report {
    int key;
    int waiting;
};

void send(int fd, const std::string &bytes) {
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

enum class Reader {
    Spinning, // calls key_waiting back to back, as the control loop does
    Blocking, // waits in read_key
};

// The child's side. With a trigger pipe, another thread sends SIGTERM to
// itself when a byte arrives there, and then lives on while the process ends.
[[noreturn]] void run_child(int reports, Reader reader, int trigger) {
    if (trigger >= 0)
        std::thread([trigger] {
            char byte;
            if (read(trigger, &byte, 1) == 1)
                pthread_kill(pthread_self(), SIGTERM);
            for (;;)
                pause();
        }).detach();
    console_keys_start();
    Report report{STARTED, 0};
    for (;;) {
        if (write(reports, &report, sizeof report) != sizeof report)
            _exit(99);
        if (reader == Reader::Spinning)
            while (!key_waiting()) {
            }
        report.key = read_key();
        report.waiting = key_waiting();
    }
}

class Child {
  public:
    // Runs the child with `input` as its standard input. With a terminal's
    // name it opens that terminal in a session of its own, so that the
    // terminal's interrupt and hangup signals reach it.
    Child(int input, const char *terminal, Reader reader, bool trigger_thread = false) {
        int report_pipe[2], trigger_pipe[2] = {-1, -1};
        EXPECT_EQ(pipe(report_pipe), 0);
        if (trigger_thread) {
            EXPECT_EQ(pipe(trigger_pipe), 0);
        }
        pid = fork();
        if (pid == 0) {
            // The test's ends of pipes and terminals stay with the test, or
            // their closing would not reach the child.
            for (int fd = 3; fd < 1024; fd++)
                if (fd != input && fd != report_pipe[1] && fd != trigger_pipe[0])
                    close(fd);
            if (terminal) {
                setsid();
                input = open(terminal, O_RDWR);
                ioctl(input, TIOCSCTTY, 0);
            }
            dup2(input, STDIN_FILENO);
            run_child(report_pipe[1], reader, trigger_pipe[0]);
        }
        close(report_pipe[1]);
        close(trigger_pipe[0]);
        reports = report_pipe[0];
        trigger = trigger_pipe[1];
        EXPECT_EQ(next().key, STARTED);
    }

    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        close(reports);
        close(trigger);
    }

    Report next() {
        Report r{-2, 0};
        pollfd p = {reports, POLLIN, 0};
        if (poll(&p, 1, REPORT_WAIT_MS) == 1 && read(reports, &r, sizeof r) == sizeof r)
            return r;
        ADD_FAILURE() << "no key reported";
        return r;
    }

    std::vector<int> keys(size_t count) {
        std::vector<int> k;
        while (k.size() < count)
            k.push_back(next().key);
        return k;
    }

    // The exit status; 1000 and the signal's number when a signal killed the
    // child, and -1 when it did not end in time.
    int exit_status() {
        for (int ms = 0; ms < EXIT_WAIT_MS; ms += 10) {
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
            }
            usleep(10000);
        }
        return -1;
    }

    void signal(int number) { kill(pid, number); }
    void pull_trigger() { send(trigger, "!"); }

  private:
    pid_t pid = -1;
    int reports = -1;
    int trigger = -1;
};

class Terminal : public testing::Test {
  protected:
    void SetUp() override {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        name = ptsname(master);
        slave = open(name.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        ASSERT_EQ(tcgetattr(slave, &initial), 0);
    }

    void TearDown() override {
        if (master >= 0)
            close(master);
        close(slave);
    }

    termios modes() {
        termios t;
        EXPECT_EQ(tcgetattr(slave, &t), 0);
        return t;
    }

    void expect_restored() {
        const termios now = modes();
        EXPECT_EQ(now.c_iflag, initial.c_iflag);
        EXPECT_EQ(now.c_oflag, initial.c_oflag);
        EXPECT_EQ(now.c_cflag, initial.c_cflag);
        EXPECT_EQ(now.c_lflag, initial.c_lflag);
        EXPECT_EQ(now.c_cc[VMIN], initial.c_cc[VMIN]);
        EXPECT_EQ(now.c_cc[VTIME], initial.c_cc[VTIME]);
    }

    int master = -1;
    int slave = -1;
    std::string name;
    termios initial;
};

TEST_F(Terminal, IsRawWhileRunningAndRestoredAfterSigterm) {
    ASSERT_TRUE(initial.c_lflag & ECHO) << "a fresh terminal echoes";
    Child child(-1, name.c_str(), Reader::Spinning);
    const termios raw = modes();
    EXPECT_FALSE(raw.c_lflag & ECHO);
    EXPECT_FALSE(raw.c_lflag & ICANON);
    EXPECT_TRUE(raw.c_lflag & ISIG);
    EXPECT_TRUE(raw.c_oflag & OPOST);
    EXPECT_FALSE(raw.c_iflag & IXON);
    EXPECT_FALSE(raw.c_iflag & ICRNL);
    EXPECT_EQ(raw.c_cc[VMIN], 1);
    EXPECT_EQ(raw.c_cc[VTIME], 0);

    child.signal(SIGTERM);
    EXPECT_EQ(child.exit_status(), 128 + SIGTERM);
    expect_restored();
}

TEST_F(Terminal, InterruptKeyEndsTheProgramAndRestores) {
    Child child(-1, name.c_str(), Reader::Spinning);
    send(master, "\x03");
    EXPECT_EQ(child.exit_status(), 128 + SIGINT);
    expect_restored();
}

// The signal lands on another thread while the main thread waits in
// read_key; the main thread must still wake and end the process, and the
// terminal be restored with that thread still running.
TEST_F(Terminal, SignalOnAnotherThreadWakesAWaitingReadKey) {
    Child child(-1, name.c_str(), Reader::Blocking, true);
    child.pull_trigger();
    EXPECT_EQ(child.exit_status(), 128 + SIGTERM);
    expect_restored();
}

TEST_F(Terminal, KeysArriveDecodedWithTheCodeByteWaiting) {
    Child child(-1, name.c_str(), Reader::Spinning);
    send(master, "a\r\x1b[A\x1bOP\xe9");
    std::vector<Report> reports;
    for (int i = 0; i < 7; i++)
        reports.push_back(child.next());
    const int expected[] = {'a', 13, 0xE0, 0x48, 0, 0x3B, 0xE9};
    for (int i = 0; i < 7; i++)
        EXPECT_EQ(reports[i].key, expected[i]) << "key " << i;
    EXPECT_TRUE(reports[2].waiting) << "the code byte waits after the lead byte";
    EXPECT_TRUE(reports[4].waiting) << "the code byte waits after the lead byte";

    send(master, "\x1b");
    EXPECT_EQ(child.keys(1), std::vector<int>{27});
    send(master, "\x1b[1;5B");
    EXPECT_EQ(child.keys(2), (std::vector<int>{0xE0, 0x50}));
}

TEST_F(Terminal, ClosingItEndsTheProgram) {
    Child child(-1, name.c_str(), Reader::Spinning);
    close(master);
    master = -1;
    const int status = child.exit_status();
    EXPECT_TRUE(status == 0 || status == 128 + SIGHUP) << "status " << status;
}

// Piped keys are decoded alike; at the end of input the pending keys are
// still read, and then the program ends with status 0, even when it only
// spins on key_waiting.
TEST(PipedKeys, AreDecodedAndTheirEndEndsTheProgram) {
    int input[2];
    ASSERT_EQ(pipe(input), 0);
    send(input[1], "x\x1b[D\x1b");
    close(input[1]);
    Child child(input[0], nullptr, Reader::Spinning);
    close(input[0]);
    EXPECT_EQ(child.keys(4), (std::vector<int>{'x', 0xE0, 0x4B, 27}));
    EXPECT_EQ(child.exit_status(), 0);
}
} // namespace
