/* The demo as a user meets it: the real program runs in an Xvfb server of its own, xdotool
 * moves the mouse and presses keys, ImageMagick's import captures the screen, and Allegro reads
 * the capture back. Every expected colour sits at a point the scene's geometry decides. */
#include "xvfb_program.h"

#include <regex>

namespace {

using namespace xvfb;

const std::string demo_screen = "640x480x16";
const int cursor_radius = 7;

const Rgb background{0, 127, 0}, shadow = black, grey{127, 127, 127};
const Rgb red{255, 0, 0}, orange{255, 127, 0}, cyan{0, 255, 255};

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
const char unmeasured_readout[] = "     --- FPS";

std::string read_label(BITMAP *shot, const Label &label) {
    return read_text(shot, label.x, label.y, int(label.text.size()), label.colour);
}

/* A colour expected at (x, y) with the light at (light_x, light_y). */
struct Probe {
    int light_x, light_y, x, y;
    Rgb colour;
    const char *what;
};

class InXvfb : public ProgramInXvfb {
  protected:
    void SetUp() override {
        ASSERT_TRUE(use_screen(screen()));
        start_demo();
    }

    virtual std::string screen() const {
        return demo_screen;
    }

    void start_demo() {
        start_program({EXAMPLE_PATH},
                      [](BITMAP *shot) { return read_label(shot, credit) == credit.text; });
    }

    Bitmap move_light(int x, int y) {
        return move_pointer_until(x, y, [x, y](BITMAP *shot) {
            return near(pixel(shot, x, y), cyan) && near(pixel(shot, x + cursor_radius, y), orange);
        });
    }

    /* Moves the light only when a probe asks for another position. */
    void expect_probes(const std::vector<Probe> &list) {
        Bitmap shot = no_bitmap();
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
    start_demo();
    kill(program_pid, SIGTERM);
    EXPECT_EQ(reap_program(), "exit status 0");
}

/* Desktops run X at 24 bits; a 15-bit display accepts a 16 bpp window but shows it in wrong
 * colours (the grey triangle turns yellow), so the demo must pick 15 bpp there. */
class TrueColoursAtDepth : public InXvfb, public ::testing::WithParamInterface<int> {
  protected:
    std::string screen() const override {
        return "640x480x" + std::to_string(GetParam());
    }
};

TEST_P(TrueColoursAtDepth, TriangleIsGreyAndCursorOrange) {
    const int x = 320, y = 100;
    Bitmap shot = move_light(x, y);
    ASSERT_TRUE(shot);
    expect_colour(shot.get(), 320, 200, grey, "clockwise triangle under the light");
    expect_colour(shot.get(), x + cursor_radius, y, orange, "cursor circle");
}

INSTANTIATE_TEST_SUITE_P(Screens, TrueColoursAtDepth, ::testing::Values(24, 16, 15),
                         [](const ::testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param) + "bits";
                         });

/* With no X server the library cannot start; the program must say so and fail, not crash. */
TEST(WithoutDisplay, ReportsTheVideoModeErrorAndExitsWithOne) {
    const Outcome outcome = run_without_display({EXAMPLE_PATH});
    EXPECT_EQ(outcome.status, "exit status 1");
    EXPECT_NE(outcome.printed.find("Error setting a 15 or 16 bpp 640x480 video mode"),
              std::string::npos)
        << outcome.printed;
}

} // namespace
