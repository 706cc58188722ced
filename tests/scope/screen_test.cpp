// SPDX-License-Identifier: MIT
#include "scope/screen.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// An X server of the test's own, `depth` bits a pixel, on a display number
// it picks itself.
struct Xvfb {
    pid_t pid = 0;
    std::string display;

    explicit Xvfb(int depth) {
        int ready[2];
        if (pipe(ready) != 0)
            return;
        const std::string fd = std::to_string(ready[1]);
        const std::string screen_size = "640x800x" + std::to_string(depth);
        const char *argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-noreset",          "-nolisten",
                              "tcp",  "-screen",    "0",        screen_size.c_str(), nullptr};
        const int spawned =
            posix_spawnp(&pid, "Xvfb", nullptr, nullptr, const_cast<char **>(argv), environ);
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

// Declared after the server, so that video stops before the server goes
// rather than at exit, when it would be gone.
struct QuitVideo {
    ~QuitVideo() { SDL_Quit(); }
};

void expect_scope_layout(const SDL_Surface *s) {
    ASSERT_NE(s, nullptr);
    const SDL_PixelFormat *f = s->format;
    EXPECT_EQ((std::array<uint32_t, 6>{f->BytesPerPixel, f->Rmask, f->Gmask, f->Bmask,
                                       static_cast<uint32_t>(s->w), static_cast<uint32_t>(s->h)}),
              (std::array<uint32_t, 6>{4, 0xff0000, 0xff00, 0xff, 640, 800}));
}

// What open_screen printed, and where it said the previews go.
std::string open_screen_output(NewestOfThree<Preview> **previews) {
    testing::internal::CaptureStdout();
    *previews = open_screen();
    return testing::internal::GetCapturedStdout();
}
} // namespace

TEST(SetScopeMode, GivesThe32BitLayoutOnASixteenBitDisplay) {
    Xvfb x(16);
    ASSERT_FALSE(x.display.empty()) << "Xvfb did not start";
    QuitVideo quit_video;
    setenv("DISPLAY", x.display.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE);
    ASSERT_EQ(SDL_SetVideoMode(640, 800, 0, SDL_ANYFORMAT)->format->BitsPerPixel, 16);
    expect_scope_layout(set_scope_mode());
}

TEST(OpenScreen, WithoutAReachableXDisplaySaysSoInOneLineAndStartsNoVideo) {
    struct stat st;
    ASSERT_NE(stat("/tmp/.X11-unix/X4095", &st), 0) << "display :4095 is in use";
    for (const char *display : {"", ":4095"}) {
        if (*display)
            setenv("DISPLAY", display, 1);
        else
            unsetenv("DISPLAY");
        setenv("SDL_VIDEODRIVER", "dummy", 1); // would open, but is not a window
        NewestOfThree<Preview> *previews = nullptr;
        EXPECT_EQ(open_screen_output(&previews),
                  "The scope window could not be opened: playing with sound only.\n");
        EXPECT_EQ(previews, nullptr);
        EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
    }
}

TEST(OpenScreen, OpensTheWindowAndLeavesCtrlCAndSigtermAtTheirDefault) {
    Xvfb x(24);
    ASSERT_FALSE(x.display.empty()) << "Xvfb did not start";
    QuitVideo quit_video;
    setenv("DISPLAY", x.display.c_str(), 1);
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    NewestOfThree<Preview> *previews = nullptr;
    EXPECT_EQ(open_screen_output(&previews), "");
    EXPECT_NE(previews, nullptr);
    expect_scope_layout(SDL_GetVideoSurface());
    struct sigaction interrupt, terminate;
    sigaction(SIGINT, nullptr, &interrupt);
    sigaction(SIGTERM, nullptr, &terminate);
    EXPECT_EQ(interrupt.sa_handler, SIG_DFL);
    EXPECT_EQ(terminate.sa_handler, SIG_DFL);
    close_screen();
}
