#include "screen.h"

#include "patch.h"
#include "scope_surface.h"
#include "start_up_picture.h"
#include "stream_callback.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {
const std::string NO_WINDOW = "The scope window could not be opened: playing with sound only.\n";

// An X server of the test's own, on a display number it picks itself.
struct Xvfb {
    pid_t pid = 0;
    std::string display;

    Xvfb() {
        int ready[2];
        if (pipe(ready) != 0)
            return;
        const std::string fd = std::to_string(ready[1]);
        const char *argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-noreset",   "-nolisten",
                              "tcp",  "-screen",    "0",        "640x800x24", nullptr};
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        const int spawned =
            posix_spawnp(&pid, "Xvfb", &quiet, nullptr, const_cast<char **>(argv), environ);
        posix_spawn_file_actions_destroy(&quiet);
        close(ready[1]);
        char number[16] = {};
        if (spawned == 0 && read(ready[0], number, sizeof number - 1) > 0)
            display = ":" + std::string(number, std::strcspn(number, "\n"));
        close(ready[0]);
    }
    ~Xvfb() {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};

std::string open_screen_output() {
    testing::internal::CaptureStdout();
    open_screen();
    return testing::internal::GetCapturedStdout();
}
} // namespace

TEST(SetScopeMode, GivesThe32BitLayoutOnAnEightBitDisplay) {
    start_dummy_video(); // its display is 8 bits deep
    ASSERT_EQ(SDL_SetVideoMode(640, 800, 0, SDL_ANYFORMAT)->format->BitsPerPixel, 8);

    screen = set_scope_mode();
    ASSERT_NE(screen, nullptr);
    const SDL_PixelFormat *f = screen->format;
    EXPECT_EQ(f->BytesPerPixel, 4);
    EXPECT_EQ(f->Rmask, 0xff0000u);
    EXPECT_EQ(f->Gmask, 0xff00u);
    EXPECT_EQ(f->Bmask, 0xffu);
    EXPECT_EQ(screen->w, 640);
    EXPECT_EQ(screen->h, 800);

    create_oscillators();
    std::vector<unsigned char> block(32768);
    stream_callback(nullptr, block.data(), 32768, nullptr);
    expect_start_up_picture(screen);
}

TEST(OpenScreen, WithoutADisplaySaysSoInOneLineAndStartsNoVideo) {
    unsetenv("DISPLAY");
    setenv("SDL_VIDEODRIVER", "dummy", 1); // would open, but is not a window
    EXPECT_EQ(open_screen_output(), NO_WINDOW);
    EXPECT_EQ(screen, nullptr);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
}

TEST(OpenScreen, TakesNoOtherDriverWhenTheXDisplayCannotBeReached) {
    struct stat st;
    ASSERT_NE(stat("/tmp/.X11-unix/X4095", &st), 0) << "display :4095 is in use";
    setenv("DISPLAY", ":4095", 1);
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    EXPECT_EQ(open_screen_output(), NO_WINDOW);
    EXPECT_EQ(screen, nullptr);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
}

TEST(OpenScreen, OpensTheWindowAndLeavesCtrlCAndSigtermAtTheirDefault) {
    Xvfb x;
    ASSERT_FALSE(x.display.empty()) << "Xvfb did not start";
    // Before the server goes, not at exit, where it would be gone.
    struct QuitVideo {
        ~QuitVideo() { SDL_Quit(); }
    } quit_video;
    setenv("DISPLAY", x.display.c_str(), 1);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);

    EXPECT_EQ(open_screen_output(), "");
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(screen->format->BytesPerPixel, 4);
    EXPECT_EQ(screen->format->Rmask, 0xff0000u);
    struct sigaction interrupt, terminate;
    sigaction(SIGINT, nullptr, &interrupt);
    sigaction(SIGTERM, nullptr, &terminate);
    EXPECT_EQ(interrupt.sa_handler, SIG_DFL);
    EXPECT_EQ(terminate.sa_handler, SIG_DFL);
}
