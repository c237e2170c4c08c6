/* The dungeon as a user meets it, in an Xvfb server of its own (see xvfb_program.h). The test
 * makes the same dungeon from the same seed and picks its points through the level's own
 * shrouder set: where the torch must light, where the walls hide from it, what a guard sees. */
#include "dungeon_frame.h"
#include "shrouder_set.h"
#include "xvfb_program.h"

#include <algorithm>
#include <regex>

namespace {

using namespace xvfb;

const std::string dungeon_screen = "1280x720x24";
const uint32_t seed = 5;
const int default_wanderers = 10;
const int torch_radius = 280;
const Rgb orange{255, 127, 0}, cyan{0, 255, 255}, red{255, 0, 0};
const Rgb help_title{255, 210, 120}, help_back{16, 16, 26};
/* The lit floor under the torch is brighter than this in its brightest channel, the floor in
 * the ambient dark no brighter than the second. */
const int lit_level = 120, dark_level = 60;
/* The shadow is exact up to 2.5 px from its edges: points are picked further from them. */
const int edge_margin = 4;
/* Where the torch lights strongly, and far enough out that the cursor does not cover. */
const int near_distance = 24, far_distance = 120;

struct Point {
    int x, y;
};

int brightest(Rgb c) {
    return std::max(c.r, std::max(c.g, c.b));
}

/* The same answer from (lx, ly) at the point and around it, beyond the shadow's rounding. */
bool clearly(const dungeon &level, Point light, Point p, bool lit) {
    for (const auto &[dx, dy] :
         {std::pair(0, 0), std::pair(edge_margin, 0), std::pair(-edge_margin, 0),
          std::pair(0, edge_margin), std::pair(0, -edge_margin)})
        if (is_lit_by(level.walls, light.x, light.y, p.x + dx, p.y + dy) != lit)
            return false;
    return true;
}

int squared_distance(Point a, Point b) {
    return (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y);
}

bool guard_stands_on(const dungeon &level, int column, int row) {
    for (tile_spot g : level.guards)
        if (g.column == column && g.row == row)
            return true;
    return false;
}

/* Floor tile centres between near_distance and far_distance from `from` that are clearly lit
 * (or clearly hidden) from it, without the guards drawn over them. */
std::vector<Point> floor_points(const dungeon &level, Point from, bool lit) {
    std::vector<Point> found;
    const int reach = far_distance / tile_size + 1;
    const int from_column = from.x / tile_size, from_row = from.y / tile_size;
    for (int row = from_row - reach; row <= from_row + reach; row++)
        for (int column = from_column - reach; column <= from_column + reach; column++) {
            const Point p{tile_centre(column), tile_centre(row)};
            const int d2 = squared_distance(p, from);
            if (tile_at(&level, column, row) == floor_tile &&
                !guard_stands_on(level, column, row) && d2 >= near_distance * near_distance &&
                d2 <= far_distance * far_distance && clearly(level, from, p, lit))
                found.push_back(p);
        }
    return found;
}

/* A place in a room from which the torch clearly lights a few floor tiles near it and clearly
 * does not light at least one other. */
std::optional<Point> torch_spot(const dungeon &level) {
    const size_t wanted_lit = 4;
    for (const room &r : level.rooms)
        for (int row = r.row; row < r.row + r.rows; row++)
            for (int column = r.column; column < r.column + r.columns; column++) {
                const Point p{tile_centre(column), tile_centre(row)};
                if (tile_at(&level, column, row) == floor_tile &&
                    floor_points(level, p, true).size() >= wanted_lit &&
                    !floor_points(level, p, false).empty())
                    return p;
            }
    return std::nullopt;
}

class DungeonInXvfb : public ProgramInXvfb {
  protected:
    void SetUp() override {
        ASSERT_TRUE(generate_dungeon(&level, seed));
        ASSERT_TRUE(use_screen(dungeon_screen));
    }

    void TearDown() override {
        ProgramInXvfb::TearDown();
        free_dungeon(&level);
    }

    /* The status line, up to its wall tiles, once it is readable. */
    static std::string status_start(BITMAP *shot) {
        const int length = 45;
        return read_text(shot, status_x, status_y, length, white);
    }

    static bool status_shown(BITMAP *shot) {
        return std::regex_match(
            status_start(shot),
            std::regex(".{8} FPS \\| +[0-9]+ lights \\| +[0-9]+ wall tiles \\|"));
    }

    void start_dungeon(int wanderers) {
        start_program({DUNGEON_PATH, std::to_string(seed), std::to_string(wanderers)},
                      status_shown);
    }

    Bitmap move_torch(Point p) {
        return move_pointer_until(p.x, p.y, [p](BITMAP *shot) {
            return near(pixel(shot, p.x, p.y), cyan) &&
                   near(pixel(shot, p.x + cursor_radius, p.y), orange);
        });
    }

    /* The status line's count of lights, once it reads `expected`. */
    bool status_reads_lights(int expected) {
        const std::string lights = " " + std::to_string(expected) + " lights |";
        return bool(capture_when(
            [&](BITMAP *shot) { return status_start(shot).find(lights) != std::string::npos; },
            settle_timeout));
    }

    dungeon level;
};

/* With no wandering lights, only the torch lights the floor. */
TEST_F(DungeonInXvfb, TorchLightsTheRoomAroundItButNotWhatTheWallsHide) {
    start_dungeon(0);
    const std::optional<Point> spot = torch_spot(level);
    ASSERT_TRUE(spot) << "no room with floor hidden near the torch for this seed";
    const Point torch = *spot;
    const std::vector<Point> lit = floor_points(level, torch, true);
    const std::vector<Point> hidden = floor_points(level, torch, false);

    Bitmap shot = move_torch(torch);
    ASSERT_TRUE(shot);
    for (Point p : lit) {
        const Rgb seen = pixel(shot.get(), p.x, p.y);
        EXPECT_GT(brightest(seen), lit_level)
            << "lit floor at (" << p.x << ", " << p.y << ") reads " << seen;
    }
    for (Point p : hidden) {
        const Rgb seen = pixel(shot.get(), p.x, p.y);
        EXPECT_LE(brightest(seen), dark_level)
            << "hidden floor at (" << p.x << ", " << p.y << ") reads " << seen;
    }
}

/* Five steps of - bring the torch's radius from 280 to 80 px: a lit point further than that
 * goes dark; five steps of + bring it back. */
TEST_F(DungeonInXvfb, PlusAndMinusChangeTheTorchsReach) {
    const int steps = 5, reach_after_minus = 80;
    start_dungeon(0);
    const std::optional<Point> torch = torch_spot(level);
    ASSERT_TRUE(torch);
    std::optional<Point> probe;
    for (Point p : floor_points(level, *torch, true))
        if (squared_distance(p, *torch) >
            (reach_after_minus + 2 * edge_margin) * (reach_after_minus + 2 * edge_margin))
            probe = p;
    ASSERT_TRUE(probe);
    const auto probe_level = [&](BITMAP *shot) {
        return brightest(pixel(shot, probe->x, probe->y));
    };
    Bitmap shot = move_torch(*torch);
    ASSERT_TRUE(shot);
    EXPECT_GT(probe_level(shot.get()), lit_level);
    for (int i = 0; i < steps; i++)
        press_key("minus");
    EXPECT_TRUE(
        capture_when([&](BITMAP *s) { return probe_level(s) <= dark_level; }, settle_timeout))
        << "still lit after " << steps << " steps of -";
    for (int i = 0; i < steps; i++)
        press_key("plus");
    EXPECT_TRUE(capture_when([&](BITMAP *s) { return probe_level(s) > lit_level; }, settle_timeout))
        << "still dark after " << steps << " steps of +";
}

TEST_F(DungeonInXvfb, GuardTurnsRedWhileItSeesTheTorch) {
    start_dungeon(0);
    const tile_spot g = level.guards.at(0);
    const Point guard{tile_centre(g.column), tile_centre(g.row)};
    const std::vector<Point> seen_from = floor_points(level, guard, true);
    const std::vector<Point> hidden_from = floor_points(level, guard, false);
    ASSERT_FALSE(seen_from.empty());
    ASSERT_FALSE(hidden_from.empty());

    Bitmap shot = move_torch(seen_from.front());
    ASSERT_TRUE(shot);
    expect_colour(shot.get(), guard.x, guard.y, red, "guard that sees the torch");
    shot = move_torch(hidden_from.front());
    ASSERT_TRUE(shot);
    EXPECT_FALSE(near(pixel(shot.get(), guard.x, guard.y), red)) << "guard that cannot see it";
}

/* Ten lights wander by default; a left click adds one, a right click takes it away again. */
TEST_F(DungeonInXvfb, StatusLineCountsLightsAndWallTilesAndClicksDropLights) {
    start_dungeon(default_wanderers);
    Bitmap shot = capture();
    ASSERT_TRUE(shot);
    const std::string walls = " " + std::to_string(level.wall_tiles) + " wall tiles |";
    EXPECT_NE(status_start(shot.get()).find(walls), std::string::npos) << status_start(shot.get());
    EXPECT_TRUE(status_reads_lights(default_wanderers + 1));
    const room &r = level.rooms.at(1);
    ASSERT_TRUE(move_torch({tile_centre(r.column + 1), tile_centre(r.row + 1)}));
    press_button(1);
    EXPECT_TRUE(status_reads_lights(default_wanderers + 2));
    press_button(3);
    EXPECT_TRUE(status_reads_lights(default_wanderers + 1));
}

TEST_F(DungeonInXvfb, HelpShowsTheSeedAndSpaceMakesANewDungeon) {
    start_dungeon(0);
    const auto read_title = [](BITMAP *shot) {
        const int length = 12;
        return read_text(shot, help_x + help_padding, help_y + help_padding, length, help_title,
                         help_back);
    };
    press_key("h");
    const std::string first = "Dungeon " + std::to_string(seed) + "   ";
    EXPECT_TRUE(
        capture_when([&](BITMAP *shot) { return read_title(shot) == first; }, settle_timeout));
    press_key("space");
    EXPECT_TRUE(capture_when(
        [&](BITMAP *shot) {
            const std::string title = read_title(shot);
            return title != first && std::regex_match(title, std::regex("Dungeon [0-9 ]+"));
        },
        settle_timeout));
    EXPECT_EQ(quit_with_escape(), "exit status 0");
}

TEST_F(DungeonInXvfb, EscapeAndTerminationQuitWithStatusZero) {
    start_dungeon(default_wanderers);
    EXPECT_EQ(quit_with_escape(), "exit status 0");
    start_dungeon(default_wanderers);
    kill(program_pid, SIGTERM);
    EXPECT_EQ(reap_program(), "exit status 0");
}

TEST(DungeonWithoutDisplay, SaysSoAndExitsWithOne) {
    const Outcome outcome = run_without_display({DUNGEON_PATH});
    EXPECT_EQ(outcome.status, "exit status 1");
    EXPECT_EQ(outcome.printed, "Error: no display, or no 1280x720 window at the desktop's colour "
                               "depth (15, 16, 24 or 32 bpp)\n");
}

} // namespace
