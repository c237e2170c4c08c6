/* The demo as a user meets it: the real program runs in an Xvfb server of its own, xdotool
 * moves the mouse and presses keys, ImageMagick's import captures the screen, and Allegro reads
 * the capture back. Every expected colour sits at a point the scene's geometry decides. */
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
#include <memory>
#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const auto start_timeout = 10s;
const auto settle_timeout = 5s;
const auto exit_timeout = 5s;
const auto poll_interval = 50ms;
/* The program reads the key state, not a key buffer: a press and release that reach it together
 * (as xdotool's `key` sends them) often go unseen, so keys are held as a person would. */
const auto key_hold = 200ms;

const int cursor_radius = 7;
const int glyph_size = 8;
const int first_printable = 32, last_printable = 126;
/* A 16-bit screen keeps 5 or 6 bits a channel: 127 reads back as 123 to 125. */
const int colour_tolerance = 6;

struct Rgb {
    int r, g, b;
};
std::ostream &operator<<(std::ostream &out, Rgb c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

const Rgb background{0, 127, 0}, black{0, 0, 0}, shadow = black, grey{127, 127, 127};
const Rgb red{255, 0, 0}, white{255, 255, 255}, orange{255, 127, 0}, cyan{0, 255, 255};

/* Text the program draws in the built-in font on a black box. */
struct Label {
    std::string text;
    int x, y;
    Rgb colour;
};
const Label credit{"Tenebrant by Orvellan", 16, 16, white};
const std::vector<Label> labels = {credit,
                                   {"http://orvellan.example.net/tenebrant/", 16, 32, white},
                                   {"move mouse around", 260, 120, white},
                                   {"ClockWise", 280, 240, grey}};

const int readout_x = 16, readout_y = 48, readout_length = 12;
/* Far more than the program's one error message. */
const size_t max_output = 4096;
const char unmeasured_readout[] = "     --- FPS";

bool near(Rgb a, Rgb b) {
    return abs(a.r - b.r) <= colour_tolerance && abs(a.g - b.g) <= colour_tolerance &&
           abs(a.b - b.b) <= colour_tolerance;
}

using Bitmap = std::unique_ptr<BITMAP, decltype(&destroy_bitmap)>;

Rgb pixel(BITMAP *bmp, int x, int y) {
    const int c = getpixel(bmp, x, y);
    return {getr(c), getg(c), getb(c)};
}

/* One bit a pixel, row by row: which pixels of an 8x8 cell are foreground. */
uint64_t glyph_mask(char c) {
    static Bitmap cell(create_bitmap_ex(32, glyph_size, glyph_size), destroy_bitmap);
    const char text[] = {c, '\0'};
    textout_ex(cell.get(), font, text, 0, 0, makecol32(255, 255, 255), makecol32(0, 0, 0));
    uint64_t mask = 0;
    for (int i = 0; i < glyph_size * glyph_size; i++)
        if (near(pixel(cell.get(), i % glyph_size, i / glyph_size), white))
            mask |= uint64_t(1) << i;
    return mask;
}

/* Reads `length` characters of the built-in font drawn in `fg` on black; a cell that holds any
 * other colour, or no glyph's exact shape, reads as '?'. */
std::string read_text(BITMAP *shot, int x, int y, int length, Rgb fg) {
    std::string text;
    for (int cell = 0; cell < length; cell++) {
        uint64_t mask = 0;
        bool readable = true;
        for (int i = 0; i < glyph_size * glyph_size; i++) {
            const Rgb p = pixel(shot, x + cell * glyph_size + i % glyph_size, y + i / glyph_size);
            readable = readable && (near(p, fg) || near(p, black));
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

std::string read_label(BITMAP *shot, const Label &label) {
    return read_text(shot, label.x, label.y, int(label.text.size()), label.colour);
}

/* Starts `args` with stdout and stderr on `output_fd` (or /dev/null when it is -1), closing
 * `close_fd` in the child. Returns the pid, or -1. */
pid_t spawn(const std::vector<std::string> &args, char *const *env, int output_fd = -1,
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
std::optional<int> wait_for_exit(pid_t pid, Clock::duration timeout) {
    const auto deadline = Clock::now() + timeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline)
            return std::nullopt;
        std::this_thread::sleep_for(poll_interval);
    }
    return status;
}

std::string describe(std::optional<int> status) {
    if (!status)
        return "still running after the timeout";
    if (WIFSIGNALED(*status))
        return "killed by signal " + std::to_string(WTERMSIG(*status));
    return "exit status " + std::to_string(WEXITSTATUS(*status));
}

/* Ends a program that a failed test may have left in any state. */
void kill_and_reap(pid_t pid) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

bool run(const std::string &command) {
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

void expect_colour(BITMAP *shot, int x, int y, Rgb expected, const char *what) {
    const Rgb seen = pixel(shot, x, y);
    EXPECT_TRUE(near(seen, expected))
        << what << " at (" << x << ", " << y << "): saw " << seen << ", want " << expected;
}

/* A colour expected at (x, y) with the light at (light_x, light_y). */
struct Probe {
    int light_x, light_y, x, y;
    Rgb colour;
    const char *what;
};

class InXvfb : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        for (const std::string tool : {"Xvfb", "xdpyinfo", "xdotool", "import"})
            if (!run("command -v " + tool + " >/dev/null"))
                setup_error += tool + " is not installed (not on PATH). ";
        if (setup_error.empty())
            start_xvfb();
        install_allegro(SYSTEM_NONE, &errno, atexit);
        set_color_depth(32);
        shot_path = ::testing::TempDir() + "demo_test_" + std::to_string(getpid()) + ".bmp";
    }

    static void TearDownTestSuite() {
        if (xvfb_pid > 0) {
            kill(xvfb_pid, SIGTERM);
            if (!wait_for_exit(xvfb_pid, exit_timeout))
                kill_and_reap(xvfb_pid);
        }
        unlink(shot_path.c_str());
    }

    /* Xvfb picks a free display itself and writes its number to the pipe once it listens. */
    static void start_xvfb() {
        int fds[2];
        if (pipe(fds) != 0) {
            setup_error = "cannot make a pipe for Xvfb";
            return;
        }
        xvfb_pid = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                          "640x480x16", "-nolisten", "tcp"},
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
        setenv("DISPLAY", (":" + number).c_str(), 1);
        const auto deadline = Clock::now() + start_timeout;
        while (!run("xdpyinfo >/dev/null 2>&1"))
            if (Clock::now() > deadline) {
                setup_error = "Xvfb on :" + number + " does not answer xdpyinfo";
                return;
            }
    }

    void SetUp() override {
        ASSERT_TRUE(setup_error.empty()) << setup_error;
        program_pid = spawn({EXAMPLE_PATH}, environ);
        ASSERT_GT(program_pid, 0) << "cannot start " << EXAMPLE_PATH;
        ASSERT_TRUE(wait_for_first_frame()) << "no frame with the credit line within the timeout";
    }

    void TearDown() override {
        if (program_pid > 0)
            kill_and_reap(program_pid);
    }

    Bitmap capture() {
        if (!run("import -window root BMP3:" + shot_path))
            return Bitmap(nullptr, destroy_bitmap);
        return Bitmap(load_bitmap(shot_path.c_str(), nullptr), destroy_bitmap);
    }

    bool wait_for_first_frame() {
        const auto deadline = Clock::now() + start_timeout;
        while (Clock::now() < deadline && !program_ended()) {
            Bitmap shot = capture();
            if (shot && read_label(shot.get(), credit) == credit.text)
                return true;
            std::this_thread::sleep_for(poll_interval);
        }
        return false;
    }

    /* Moves the light and returns a capture of a frame drawn with it. Seeing the cursor is not
     * enough, since the scene was drawn from a slightly earlier mouse reading: take one more.
     * Shortly after the window opens, the library once warps the pointer back to its own last
     * reading, undoing a move made just before: the move is repeated until the cursor shows. */
    Bitmap move_light(int x, int y) {
        const std::string move = "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y);
        const auto deadline = Clock::now() + settle_timeout;
        while (Clock::now() < deadline) {
            run(move);
            Bitmap shot = capture();
            if (shot && near(pixel(shot.get(), x, y), cyan) &&
                near(pixel(shot.get(), x + cursor_radius, y), orange))
                return capture();
            std::this_thread::sleep_for(poll_interval);
        }
        ADD_FAILURE() << "the cursor never showed at (" << x << ", " << y << ")";
        return Bitmap(nullptr, destroy_bitmap);
    }

    /* Moves the light only when a probe asks for another position. */
    void expect_probes(const std::vector<Probe> &list) {
        Bitmap shot(nullptr, destroy_bitmap);
        const Probe *lit_by = nullptr;
        for (const Probe &p : list) {
            SCOPED_TRACE(p.what);
            if (!lit_by || p.light_x != lit_by->light_x || p.light_y != lit_by->light_y)
                shot = move_light(p.light_x, p.light_y);
            lit_by = &p;
            ASSERT_TRUE(shot);
            expect_colour(shot.get(), p.x, p.y, p.colour, p.what);
        }
    }

    std::string quit_with_escape() {
        {
            HeldKey escape("Escape");
            std::this_thread::sleep_for(key_hold);
        }
        return reap_program();
    }

    bool program_ended() {
        if (!wait_for_exit(program_pid, 0s))
            return false;
        program_pid = -1;
        return true;
    }

    std::string reap_program() {
        const std::optional<int> status = wait_for_exit(program_pid, exit_timeout);
        if (!status)
            kill_and_reap(program_pid);
        program_pid = -1;
        return describe(status);
    }

    static inline std::string setup_error;
    static inline pid_t xvfb_pid = -1;
    static inline std::string shot_path;
    pid_t program_pid = -1;
};

/* The dark and lit probes share points, so that none passes by having one colour whatever the
 * light. Rows with the same light share a capture. */
const std::vector<Probe> probes = {
    {420, 320, 540, 320, shadow, "one-way lit from the west: dark east of it"},
    {600, 320, 540, 320, background, "one-way lit from the east: no shadow"},
    {600, 320, 320, 450, background, "lit beside the triangle's shadow"},
    {150, 180, 50, 180, shadow, "two-way lit from the east: dark west of it"},
    {50, 180, 150, 180, shadow, "two-way lit from the west: dark east of it"},
    {100, 300, 50, 180, background, "light on the two-way's line: nothing west"},
    {100, 300, 150, 180, background, "light on the two-way's line: nothing east"},
    {100, 300, 100, 100, background, "light on the two-way's line: nothing along it"},
    {140, 200, 140, 330, shadow, "counter-clockwise diamond lit from outside: covered"},
    {140, 350, 140, 330, red, "light inside the diamond: it keeps its colour"},
    {320, 100, 320, 200, grey, "clockwise triangle lit from outside: keeps its colour"},
    {320, 100, 320, 450, shadow, "clockwise triangle lit from outside: dark behind"},
    {320, 100, 320, 140, background, "clockwise triangle lit from outside: lit in front"},
    {320, 200, 320, 300, grey, "light inside the triangle: it stays lit"},
    {320, 200, 540, 320, shadow, "light inside the triangle: dark east"},
    {320, 200, 100, 100, shadow, "light inside the triangle: dark north-west"},
};

TEST_F(InXvfb, ShadowsFollowTheLight) {
    expect_probes(probes);
}

TEST_F(InXvfb, CursorAndLabelsAreDrawnOverTheScene) {
    const int x = 600, y = 320;
    Bitmap shot = move_light(x, y);
    ASSERT_TRUE(shot);
    expect_colour(shot.get(), x, y, cyan, "cursor dot");
    for (const auto &[dx, dy] :
         {std::pair(1, 0), std::pair(-1, 0), std::pair(0, 1), std::pair(0, -1)})
        expect_colour(shot.get(), x + dx * cursor_radius, y + dy * cursor_radius, orange,
                      "cursor circle");
    for (const Label &label : labels)
        EXPECT_EQ(read_label(shot.get(), label), label.text);
}

TEST_F(InXvfb, FrameRateReadoutShowsAPositiveRate) {
    Bitmap shot = capture();
    ASSERT_TRUE(shot);
    const std::string readout = read_text(shot.get(), readout_x, readout_y, readout_length, white);
    if (readout == unmeasured_readout)
        return;
    ASSERT_TRUE(std::regex_match(readout, std::regex(" *[0-9]+\\.[0-9] FPS"))) << readout;
    EXPECT_GT(std::stod(readout), 0.0) << readout;
}

TEST_F(InXvfb, KeepsDrawingWhileVIsHeld) {
    {
        HeldKey v("v");
        expect_probes({{600, 320, 540, 320, background, "one-way lit from the east: no shadow"},
                       {420, 320, 540, 320, shadow, "one-way lit from the west: dark east of it"}});
    }
    EXPECT_EQ(quit_with_escape(), "exit status 0");
}

TEST_F(InXvfb, EscapeQuitsWithStatusZero) {
    EXPECT_EQ(quit_with_escape(), "exit status 0");
}

/* Ctrl+C in a terminal and a polite termination end the program as Esc does, not with a
 * crash inside the library's own signal handling. */
TEST_F(InXvfb, InterruptAndTerminationQuitWithStatusZero) {
    kill(program_pid, SIGINT);
    EXPECT_EQ(reap_program(), "exit status 0");
    SetUp();
    kill(program_pid, SIGTERM);
    EXPECT_EQ(reap_program(), "exit status 0");
}

/* With no X server the library cannot start; the program must say so and fail, not crash. */
TEST(WithoutDisplay, ReportsTheVideoModeErrorAndExitsWithOne) {
    std::vector<char *> env;
    for (char **var = environ; *var; var++)
        if (std::string(*var).rfind("DISPLAY=", 0) != 0)
            env.push_back(*var);
    env.push_back(nullptr);
    FILE *output = std::tmpfile();
    ASSERT_TRUE(output);
    const pid_t pid = spawn({EXAMPLE_PATH}, env.data(), fileno(output));
    ASSERT_GT(pid, 0);
    const std::optional<int> status = wait_for_exit(pid, exit_timeout);
    if (!status)
        kill_and_reap(pid);
    std::string printed(max_output, '\0');
    std::rewind(output);
    printed.resize(std::fread(printed.data(), 1, printed.size(), output));
    std::fclose(output);
    EXPECT_EQ(describe(status), "exit status 1");
    EXPECT_NE(printed.find("Error setting a 15 or 16 bpp 640x480 video mode"), std::string::npos)
        << printed;
}

} // namespace
