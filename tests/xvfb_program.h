/* Shared by the tests that run a real program as a user meets it: an Xvfb server of the test's
 * own, the program started in it, xdotool for the mouse and keys, ImageMagick's import for
 * captures read back through Allegro, and the built-in font read off a capture. */
#ifndef TESTS_XVFB_PROGRAM_H
#define TESTS_XVFB_PROGRAM_H

#include <allegro.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace xvfb {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline const auto start_timeout = 10s;
inline const auto settle_timeout = 5s;
inline const auto exit_timeout = 5s;
inline const auto poll_interval = 50ms;
/* The programs read the key state, not a key buffer: a press and release that reach them
 * together (as xdotool's `key` sends them) often go unseen, so keys are held as a person
 * would. */
inline const auto key_hold = 200ms;

inline const int glyph_size = 8;
inline const int first_printable = 32, last_printable = 126;
/* A 15 or 16-bit screen keeps 5 or 6 bits a channel: 127 reads back as 123 to 125. */
inline const int colour_tolerance = 6;
/* Far more than a program's one error message. */
inline const size_t max_output = 4096;

struct Rgb {
    int r, g, b;
};
inline std::ostream &operator<<(std::ostream &out, Rgb c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

inline const Rgb black{0, 0, 0}, white{255, 255, 255};

inline bool near(Rgb a, Rgb b, int tolerance = colour_tolerance) {
    return abs(a.r - b.r) <= tolerance && abs(a.g - b.g) <= tolerance &&
           abs(a.b - b.b) <= tolerance;
}

using Bitmap = std::unique_ptr<BITMAP, decltype(&destroy_bitmap)>;

inline Bitmap no_bitmap() {
    return Bitmap(nullptr, destroy_bitmap);
}

inline Rgb pixel(BITMAP *bmp, int x, int y) {
    const int c = getpixel(bmp, x, y);
    return {getr(c), getg(c), getb(c)};
}

inline void expect_colour(BITMAP *shot, int x, int y, Rgb expected, const char *what) {
    const Rgb seen = pixel(shot, x, y);
    EXPECT_TRUE(near(seen, expected))
        << what << " at (" << x << ", " << y << "): saw " << seen << ", want " << expected;
}

/* One bit a pixel, row by row: which pixels of an 8x8 cell are foreground. */
inline uint64_t glyph_mask(char c) {
    static Bitmap cell(create_bitmap_ex(32, glyph_size, glyph_size), destroy_bitmap);
    const char text[] = {c, '\0'};
    textout_ex(cell.get(), font, text, 0, 0, makecol32(255, 255, 255), makecol32(0, 0, 0));
    uint64_t mask = 0;
    for (int i = 0; i < glyph_size * glyph_size; i++)
        if (near(pixel(cell.get(), i % glyph_size, i / glyph_size), white))
            mask |= uint64_t(1) << i;
    return mask;
}

/* Reads `length` characters of the built-in font drawn in `fg` on `bg`; a cell that holds any
 * other colour, or no glyph's exact shape, reads as '?'. */
inline std::string read_text(BITMAP *shot, int x, int y, int length, Rgb fg, Rgb bg = black) {
    std::string text;
    for (int cell = 0; cell < length; cell++) {
        uint64_t mask = 0;
        bool readable = true;
        for (int i = 0; i < glyph_size * glyph_size; i++) {
            const Rgb p = pixel(shot, x + cell * glyph_size + i % glyph_size, y + i / glyph_size);
            readable = readable && (near(p, fg) || near(p, bg));
            if (near(p, fg))
                mask |= uint64_t(1) << i;
        }
        char found = '?';
        for (char c = first_printable; readable && c <= last_printable && found == '?'; c++)
            if (glyph_mask(c) == mask)
                found = c;
        text += found;
    }
    return text;
}

/* Starts `args` with stdout and stderr on `output_fd` (or /dev/null when it is -1), closing
 * `close_fd` in the child. Returns the pid, or -1. */
inline pid_t spawn(const std::vector<std::string> &args, char *const *env, int output_fd = -1,
                   int close_fd = -1) {
    std::vector<char *> argv;
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output_fd < 0)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, output_fd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (close_fd >= 0)
        posix_spawn_file_actions_addclose(&actions, close_fd);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), env) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

/* The wait status, or nothing if the process still runs after `timeout`. */
inline std::optional<int> wait_for_exit(pid_t pid, Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline)
            return std::nullopt;
        std::this_thread::sleep_for(poll_interval);
    }
    return status;
}

inline std::string describe(std::optional<int> status) {
    if (!status)
        return "still running after the timeout";
    if (WIFSIGNALED(*status))
        return "killed by signal " + std::to_string(WTERMSIG(*status));
    return "exit status " + std::to_string(WEXITSTATUS(*status));
}

/* Ends a program that a failed test may have left in any state. */
inline void kill_and_reap(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

inline bool run(const std::string &command) {
    return std::system(command.c_str()) == 0;
}

/* Holds a key down for as long as it lives. */
struct HeldKey {
    std::string name;
    explicit HeldKey(std::string key) : name(std::move(key)) {
        run("xdotool keydown " + name);
    }
    ~HeldKey() {
        run("xdotool keyup " + name);
    }
};

inline void press_key(const std::string &name) {
    HeldKey held(name);
    std::this_thread::sleep_for(key_hold);
}

/* A mouse button (1 left, 3 right) held as a key is, for the same reason. */
inline void press_button(int button) {
    run("xdotool mousedown " + std::to_string(button));
    std::this_thread::sleep_for(key_hold);
    run("xdotool mouseup " + std::to_string(button));
}

inline void move_pointer(int x, int y) {
    run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y));
}

/* How a program ended and what it printed. */
struct Outcome {
    std::string status;
    std::string printed;
};

/* Runs `args` with no DISPLAY in its environment. */
inline Outcome run_without_display(const std::vector<std::string> &args) {
    std::vector<char *> env;
    for (char **var = environ; *var; var++)
        if (std::string(*var).rfind("DISPLAY=", 0) != 0)
            env.push_back(*var);
    env.push_back(nullptr);
    FILE *output = std::tmpfile();
    if (!output)
        return {"cannot make a temporary file", ""};
    const pid_t pid = spawn(args, env.data(), fileno(output));
    if (pid < 0) {
        std::fclose(output);
        return {"cannot start " + args[0], ""};
    }
    const std::optional<int> status = wait_for_exit(pid, exit_timeout);
    if (!status)
        kill_and_reap(pid);
    std::string printed(max_output, '\0');
    std::rewind(output);
    printed.resize(std::fread(printed.data(), 1, printed.size(), output));
    std::fclose(output);
    return {describe(status), printed};
}

/* A fixture whose tests share one Xvfb server and each start the program afresh. The server
 * starts with the first test that asks for it and is replaced when a test wants another screen;
 * the suite's end stops it. */
class ProgramInXvfb : public ::testing::Test {
  protected:
    static void TearDownTestSuite() {
        stop_server();
        unlink(shot_path.c_str());
    }

    /* Makes sure a server with `screen` (such as "640x480x16") runs; false with setup_error
     * set when it cannot. */
    static bool use_screen(const std::string &screen) {
        if (xvfb_pid > 0 && screen == server_screen)
            return true;
        stop_server();
        setup_error.clear();
        for (const std::string tool : {"Xvfb", "xdpyinfo", "xdotool", "import"})
            if (!run("command -v " + tool + " >/dev/null"))
                setup_error += tool + " is not installed (not on PATH). ";
        if (setup_error.empty())
            start_server(screen);
        if (!allegro_started) {
            install_allegro(SYSTEM_NONE, &errno, atexit);
            set_color_depth(32);
            allegro_started = true;
        }
        shot_path = ::testing::TempDir() + "xvfb_test_" + std::to_string(getpid()) + ".bmp";
        return setup_error.empty();
    }

    static void stop_server() {
        if (xvfb_pid > 0) {
            kill(xvfb_pid, SIGTERM);
            if (!wait_for_exit(xvfb_pid, exit_timeout))
                kill_and_reap(xvfb_pid);
        }
        xvfb_pid = -1;
        server_screen.clear();
    }

    /* Xvfb picks a free display itself and writes its number to the pipe once it listens. */
    static void start_server(const std::string &screen) {
        int fds[2];
        if (pipe(fds) != 0) {
            setup_error = "cannot make a pipe for Xvfb";
            return;
        }
        xvfb_pid = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                          "-nolisten", "tcp"},
                         environ, -1, fds[0]);
        close(fds[1]);
        std::string number;
        char c = 0;
        pollfd ready{fds[0], POLLIN, 0};
        const int wait_ms = std::chrono::milliseconds(start_timeout).count();
        while (poll(&ready, 1, wait_ms) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (xvfb_pid < 0 || number.empty()) {
            setup_error = "Xvfb did not start";
            return;
        }
        server_screen = screen;
        setenv("DISPLAY", (":" + number).c_str(), 1);
        const auto deadline = Clock::now() + start_timeout;
        while (!run("xdpyinfo >/dev/null 2>&1"))
            if (Clock::now() > deadline) {
                setup_error = "Xvfb on :" + number + " does not answer xdpyinfo";
                return;
            }
    }

    /* Starts the program on the server and waits until a capture satisfies `first_frame`. */
    void start_program(const std::vector<std::string> &args,
                       const std::function<bool(BITMAP *)> &first_frame) {
        ASSERT_TRUE(setup_error.empty()) << setup_error;
        program_pid = spawn(args, environ);
        ASSERT_GT(program_pid, 0) << "cannot start " << args[0];
        ASSERT_TRUE(capture_when(first_frame, start_timeout))
            << "no first frame from " << args[0] << " within the timeout";
    }

    void TearDown() override {
        if (program_pid > 0)
            kill_and_reap(program_pid);
        program_pid = -1;
    }

    Bitmap capture() {
        if (!run("import -window root BMP3:" + shot_path))
            return no_bitmap();
        return Bitmap(load_bitmap(shot_path.c_str(), nullptr), destroy_bitmap);
    }

    /* The first capture that satisfies `ready`, or none once `timeout` has passed or the
     * program has ended. */
    Bitmap capture_when(const std::function<bool(BITMAP *)> &ready, Clock::duration timeout) {
        const auto deadline = Clock::now() + timeout;
        while (Clock::now() < deadline && !program_ended()) {
            Bitmap shot = capture();
            if (shot && ready(shot.get()))
                return shot;
            std::this_thread::sleep_for(poll_interval);
        }
        return no_bitmap();
    }

    /* Moves the pointer to (x, y) and returns a capture of a frame drawn with it. Seeing the
     * pointer's mark (`shows`) is not enough, since the rest of that frame was drawn from a
     * slightly earlier mouse reading: take one more. Shortly after the window opens, the
     * library once warps the pointer back to its own last reading, undoing a move made just
     * before: the move is repeated until the mark shows. */
    Bitmap move_pointer_until(int x, int y, const std::function<bool(BITMAP *)> &shows) {
        const auto deadline = Clock::now() + settle_timeout;
        while (Clock::now() < deadline && !program_ended()) {
            move_pointer(x, y);
            Bitmap shot = capture();
            if (shot && shows(shot.get()))
                return capture();
            std::this_thread::sleep_for(poll_interval);
        }
        ADD_FAILURE() << "the pointer's mark never showed at (" << x << ", " << y << ")";
        return no_bitmap();
    }

    std::string quit_with_escape() {
        press_key("Escape");
        return reap_program();
    }

    /* Reaps the program if it has ended, keeping its status for reap_program. */
    bool program_ended() {
        if (program_pid < 0)
            return true;
        ended_status = wait_for_exit(program_pid, 0s);
        if (!ended_status)
            return false;
        program_pid = -1;
        return true;
    }

    std::string reap_program() {
        if (program_pid < 0)
            return describe(ended_status);
        ended_status = wait_for_exit(program_pid, exit_timeout);
        if (!ended_status)
            kill_and_reap(program_pid);
        program_pid = -1;
        return describe(ended_status);
    }

    static inline std::string setup_error;
    static inline pid_t xvfb_pid = -1;
    static inline std::string server_screen;
    static inline std::string shot_path;
    static inline bool allegro_started = false;
    pid_t program_pid = -1;
    std::optional<int> ended_status;
};

} // namespace xvfb

#endif
