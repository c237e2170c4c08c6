/* The dungeon as a user meets it, in an Xvfb server of its own (see xvfb_program.h). The test
 * makes the same dungeon from the same seed and picks its places from it: a straight run of
 * floor, a wall ahead, a door across a corridor, a guard's first steps. The help panel tells
 * where the player stands. */
#include "dungeon_frame.h"
#include "shrouder_set.h"
#include "xvfb_program.h"

#include <math.h>

#include <algorithm>
#include <regex>

namespace {

using namespace xvfb;

const std::string dungeon_screen = "1280x720x24";
const uint32_t seed = 5;
const int no_wanderers = 0;
const Rgb player_green{player_colour[0], player_colour[1], player_colour[2]};
const Rgb alarmed{guard_alarmed_colour[0], guard_alarmed_colour[1], guard_alarmed_colour[2]};
const Rgb calm{guard_calm_colour[0], guard_calm_colour[1], guard_calm_colour[2]};
const Rgb help_title{255, 210, 120}, help_back{16, 16, 26}, map_frame{200, 170, 110};
const auto walk_time = 800ms;

struct Point {
    int x, y;
};

std::ostream &operator<<(std::ostream &out, Point p) {
    return out << "(" << p.x << ", " << p.y << ")";
}

/* The body fits all along the straight line from a to b, doors open. */
bool path_fits(dungeon &level, Point a, Point b) {
    std::vector<int> closed;
    for (door &d : level.doors)
        closed.push_back(d.open_px), d.open_px = door_length;
    const int steps = std::max(abs(b.x - a.x), abs(b.y - a.y));
    bool fits = true;
    for (int i = 0; i <= steps && fits; i++)
        fits = body_fits(&level, a.x + double(b.x - a.x) * i / std::max(steps, 1),
                         a.y + double(b.y - a.y) * i / std::max(steps, 1));
    for (size_t i = 0; i < closed.size(); i++)
        level.doors[i].open_px = closed[i];
    return fits;
}

bool far_from_doors(const dungeon &level, Point p, int distance) {
    for (const door &d : level.doors)
        if (hypot((d.x0 + d.x1) / 2.0 - p.x, (d.y0 + d.y1) / 2.0 - p.y) < distance)
            return false;
    return true;
}

/* A start from which walking right crosses `run` pixels of floor with no door near, and the
 * view can follow without reaching the world's edge. */
std::optional<Point> open_run(dungeon &level, int run) {
    for (const room &r : level.rooms)
        for (int row = r.row; row < r.row + r.rows; row++) {
            const Point a{tile_centre(r.column), tile_centre(row)}, b{a.x + run, a.y};
            if (a.x > screen_width && b.x < world_width - screen_width && a.y > screen_height &&
                a.y < world_height - screen_height && path_fits(level, a, b) &&
                far_from_doors(level, a, run + 2 * door_reach))
                return a;
        }
    return std::nullopt;
}

/* A start a few tiles left of a wall, on floor, with nothing between. */
std::optional<Point> before_wall(dungeon &level) {
    const int tiles = 3;
    for (const room &r : level.rooms) {
        const int column = r.column + r.columns - 1 - tiles;
        for (int row = r.row; row < r.row + r.rows; row++) {
            const Point a{tile_centre(column), tile_centre(row)};
            const Point b{(r.column + r.columns) * tile_size - player_half_size, a.y};
            if (column >= r.column && path_fits(level, a, b) &&
                tile_at(&level, r.column + r.columns, row) == wall_tile &&
                far_from_doors(level, a, 4 * door_reach))
                return a;
        }
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

    static std::string status_start(BITMAP *shot) {
        const int length = 53;
        return read_text(shot, status_x, status_y, length, white);
    }

    static bool status_shown(BITMAP *shot) {
        return std::regex_match(status_start(shot),
                                std::regex(".{8} FPS \\| lights +[0-9]+ / +[0-9]+ \\| +[0-9]+ "
                                           "wall tiles \\|"));
    }

    void start_dungeon(Point at, int wanderers = no_wanderers) {
        start_program({DUNGEON_PATH, std::to_string(seed), std::to_string(wanderers),
                       std::to_string(at.x), std::to_string(at.y)},
                      status_shown);
    }

    static std::string help_title_text(BITMAP *shot) {
        const int length = 48;
        return read_text(shot, help_x + help_padding, help_y + help_padding, length, help_title,
                         help_back);
    }

    /* With the help shown: where it says the player stands, once two captures agree. */
    std::optional<Point> player_position() {
        const std::regex title("Dungeon [0-9]+, you at ([0-9]+) ([0-9]+), lamps .*");
        std::optional<Point> last;
        const auto deadline = Clock::now() + settle_timeout;
        while (Clock::now() < deadline) {
            Bitmap shot = capture();
            std::smatch m;
            const std::string text = shot ? help_title_text(shot.get()) : "";
            if (std::regex_match(text, m, title)) {
                const Point p{std::stoi(m[1]), std::stoi(m[2])};
                if (last && last->x == p.x && last->y == p.y)
                    return p;
                last = p;
            }
            std::this_thread::sleep_for(poll_interval);
        }
        return std::nullopt;
    }

    std::optional<Point> position_from_help() {
        press_key("h");
        const std::optional<Point> p = player_position();
        press_key("h");
        return p;
    }

    void walk(const std::string &arrow, std::chrono::milliseconds time) {
        HeldKey held(arrow);
        std::this_thread::sleep_for(time);
    }

    /* The centre of the player's green disc on the screen, once it stands still there. */
    std::optional<Point> player_on_screen() {
        std::optional<Point> last;
        const auto deadline = Clock::now() + settle_timeout;
        while (Clock::now() < deadline) {
            Bitmap shot = capture();
            long sx = 0, sy = 0, n = 0;
            for (int y = 0; shot && y < shot->h; y++)
                for (int x = 0; x < shot->w; x++)
                    if (near(pixel(shot.get(), x, y), player_green, 0))
                        sx += x, sy += y, n++;
            if (n > 0) {
                const Point p{int(lround(double(sx) / n)), int(lround(double(sy) / n))};
                if (last && last->x == p.x && last->y == p.y)
                    return p;
                last = p;
            }
            std::this_thread::sleep_for(poll_interval);
        }
        return std::nullopt;
    }

    dungeon level;
};

/* The arrow walks the player right, and the view follows: the player stays in the middle of
 * the screen while its world position grows. */
TEST_F(DungeonInXvfb, ArrowKeysWalkThePlayerAndTheViewScrolls) {
    const std::optional<Point> start = open_run(level, 8 * tile_size);
    ASSERT_TRUE(start) << "no open run for this seed";
    start_dungeon(*start);
    const Point middle{screen_width / 2, screen_height / 2};
    std::optional<Point> seen = player_on_screen();
    ASSERT_TRUE(seen);
    EXPECT_NEAR(seen->x, middle.x, 1);
    EXPECT_NEAR(seen->y, middle.y, 1);
    std::optional<Point> before = position_from_help();
    ASSERT_TRUE(before);
    EXPECT_EQ(before->x, start->x);

    walk("Right", walk_time);
    const std::optional<Point> after = position_from_help();
    ASSERT_TRUE(after);
    EXPECT_GT(after->x, before->x + tile_size);
    EXPECT_EQ(after->y, before->y);
    seen = player_on_screen();
    ASSERT_TRUE(seen);
    EXPECT_NEAR(seen->x, middle.x, 1) << "the view did not follow";
    EXPECT_NEAR(seen->y, middle.y, 1);

    walk("Down", 300ms);
    const std::optional<Point> lower = position_from_help();
    ASSERT_TRUE(lower);
    EXPECT_GT(lower->y, after->y);
}

/* Walking at a wall, the player stops against it and stays there. */
TEST_F(DungeonInXvfb, AWallStopsThePlayer) {
    const std::optional<Point> start = before_wall(level);
    ASSERT_TRUE(start);
    /* The start is on the fourth tile before the wall. */
    const int wall_x = (start->x / tile_size + 4) * tile_size;
    start_dungeon(*start);
    walk("Right", 2 * walk_time);
    const std::optional<Point> stopped = position_from_help();
    ASSERT_TRUE(stopped);
    EXPECT_EQ(stopped->x, wall_x - player_half_size);
    EXPECT_EQ(stopped->y, start->y);
}

/* Walking along a corridor at a closed door, the door slides open and the player walks on
 * through it. */
TEST_F(DungeonInXvfb, ADoorOpensAsThePlayerNears) {
    const int approach = 6 * tile_size;
    std::optional<Point> start, beyond;
    for (const door &d : level.doors) {
        const Point mid{(d.x0 + d.x1) / 2, (d.y0 + d.y1) / 2};
        const Point a{mid.x - approach, mid.y}, b{mid.x + approach, mid.y};
        if (d.along_y != 0 && path_fits(level, a, b) && far_from_doors(level, a, door_reach)) {
            start = a;
            beyond = Point{d.x1 + player_half_size, mid.y};
            break;
        }
    }
    ASSERT_TRUE(start) << "no door across a straight corridor for this seed";
    start_dungeon(*start);
    walk("Right", 2 * walk_time);
    const std::optional<Point> after = position_from_help();
    ASSERT_TRUE(after);
    EXPECT_GT(after->x, beyond->x) << "the door at x " << beyond->x << " did not let it through";
}

/* A guard that has the player in its cone turns red and stops; one that has the player behind
 * it stays blue and walks on. */
TEST_F(DungeonInXvfb, AGuardTurnsRedWhenItSeesThePlayer) {
    const int ahead = 2 * tile_size;
    std::optional<size_t> watcher;
    for (size_t i = 0; i < level.guards.size() && !watcher; i++) {
        const guard &g = level.guards[i];
        const double a = g.facing * M_PI / 180;
        const Point p{int(lround(g.x + cos(a) * ahead)), int(lround(g.y + sin(a) * ahead))};
        if (body_fits(&level, p.x, p.y) && guard_sees(level.walls, g, p.x, p.y))
            watcher = i;
    }
    ASSERT_TRUE(watcher);
    const guard &g = level.guards[*watcher];
    const double a = g.facing * M_PI / 180;
    const Point in_cone{int(lround(g.x + cos(a) * ahead)), int(lround(g.y + sin(a) * ahead))};
    start_dungeon(in_cone);
    const view v = view_on(player{double(in_cone.x), double(in_cone.y)});
    const Point on_screen{int(lround(g.x - v.x)), int(lround(g.y - v.y))};
    EXPECT_TRUE(capture_when(
        [&](BITMAP *shot) { return near(pixel(shot, on_screen.x, on_screen.y), alarmed); },
        settle_timeout))
        << "the guard at " << on_screen << " on the screen is not red";
    std::this_thread::sleep_for(500ms);
    Bitmap shot = capture();
    ASSERT_TRUE(shot);
    expect_colour(shot.get(), on_screen.x, on_screen.y, alarmed, "the guard, stopped");
    EXPECT_EQ(quit_with_escape(), "exit status 0");

    const Point behind{int(lround(g.x - cos(a) * ahead)), int(lround(g.y - sin(a) * ahead))};
    if (!body_fits(&level, behind.x, behind.y))
        return;
    start_dungeon(behind);
    const view w = view_on(player{double(behind.x), double(behind.y)});
    shot = capture();
    ASSERT_TRUE(shot);
    EXPECT_FALSE(near(pixel(shot.get(), int(lround(g.x - w.x)), int(lround(g.y - w.y))), alarmed))
        << "a guard that has the player behind it";
}

/* M shows the map in the top-right corner with the player's mark on it, and hides it again; S
 * turns the lamps hard and soft again, as the help says. */
TEST_F(DungeonInXvfb, MShowsTheMapAndSSwitchesTheLamps) {
    const std::optional<Point> start = open_run(level, 0);
    ASSERT_TRUE(start);
    start_dungeon(*start);
    const int mx = map_x(screen_width), my = map_y();
    const Point mark{mx + start->x / tile_size, my + start->y / tile_size};
    const auto map_shown = [&](BITMAP *shot) {
        return near(pixel(shot, mx - 1, my - 1), map_frame) &&
               near(pixel(shot, mark.x, mark.y), player_green);
    };
    press_key("m");
    EXPECT_TRUE(capture_when(map_shown, settle_timeout)) << "no map with the player at " << mark;
    press_key("m");
    EXPECT_TRUE(capture_when([&](BITMAP *shot) { return !map_shown(shot); }, settle_timeout));

    press_key("h");
    const auto lamps_read = [&](const std::string &kind) {
        return bool(capture_when(
            [&](BITMAP *shot) {
                const std::string title = help_title_text(shot);
                return title.find("lamps " + kind) != std::string::npos;
            },
            settle_timeout));
    };
    EXPECT_TRUE(lamps_read("soft"));
    press_key("s");
    EXPECT_TRUE(lamps_read("hard"));
    press_key("s");
    EXPECT_TRUE(lamps_read("soft"));
}

/* Five steps of - bring the lantern's reach from 360 to 160 px: floor lit by it 240 px ahead
 * along a corridor loses the lantern's light; five steps of + bring it back. */
TEST_F(DungeonInXvfb, PlusAndMinusChangeTheLanternsReach) {
    const int steps = 5, probe_distance = 240;
    const std::optional<Point> start = open_run(level, probe_distance + tile_size);
    ASSERT_TRUE(start);
    start_dungeon(*start);
    const Point probe{screen_width / 2 + probe_distance, screen_height / 2};
    move_pointer(probe.x, probe.y);
    const auto level_at_probe = [&](BITMAP *shot) {
        const Rgb c = pixel(shot, probe.x + 4, probe.y + 4);
        return c.r + c.g + c.b;
    };
    /* The cursor's ring is drawn on the probe: read beside it, once it shows. */
    Bitmap lit = capture_when(
        [&](BITMAP *shot) {
            return near(pixel(shot, probe.x + cursor_radius, probe.y), Rgb{255, 127, 0});
        },
        settle_timeout);
    ASSERT_TRUE(lit);
    std::this_thread::sleep_for(300ms);
    lit = capture();
    const int bright = level_at_probe(lit.get());
    for (int i = 0; i < steps; i++)
        press_key("minus");
    const int margin = 60;
    EXPECT_TRUE(capture_when([&](BITMAP *shot) { return level_at_probe(shot) < bright - margin; },
                             settle_timeout))
        << "still as bright (" << bright << ") after " << steps << " steps of -";
    for (int i = 0; i < steps; i++)
        press_key("plus");
    EXPECT_TRUE(capture_when(
        [&](BITMAP *shot) { return level_at_probe(shot) > bright - margin / 2; }, settle_timeout))
        << "still dark after " << steps << " steps of +";
}

/* Space makes a new dungeon from a new seed, and the player starts in its first room. */
TEST_F(DungeonInXvfb, SpaceMakesANewDungeon) {
    const std::optional<Point> start = open_run(level, 0);
    ASSERT_TRUE(start);
    start_dungeon(*start);
    press_key("h");
    const std::regex title("Dungeon ([0-9]+), you at ([0-9]+) ([0-9]+), lamps .*");
    std::smatch m;
    std::string text;
    ASSERT_TRUE(capture_when(
        [&](BITMAP *shot) {
            text = help_title_text(shot);
            return std::regex_match(text, m, title);
        },
        settle_timeout));
    EXPECT_EQ(m[1], std::to_string(seed));
    press_key("space");
    ASSERT_TRUE(capture_when(
        [&](BITMAP *shot) {
            text = help_title_text(shot);
            return std::regex_match(text, m, title) && m[1] != std::to_string(seed);
        },
        settle_timeout))
        << text;
    dungeon other;
    ASSERT_TRUE(generate_dungeon(&other, uint32_t(std::stoul(m[1]))));
    const room &first = other.rooms.at(0);
    const int x = std::stoi(m[2]), y = std::stoi(m[3]);
    EXPECT_TRUE(x >= first.column * tile_size && x < (first.column + first.columns) * tile_size &&
                y >= first.row * tile_size && y < (first.row + first.rows) * tile_size)
        << "the player at (" << x << ", " << y << ") is not in the new dungeon's first room";
    free_dungeon(&other);
    EXPECT_EQ(quit_with_escape(), "exit status 0");
}

/* The status line counts the walls and the lights; a left click drops a light onto the floor,
 * a right click takes it away; a click on a wall drops none. */
TEST_F(DungeonInXvfb, StatusLineCountsLightsAndWallTiles) {
    const int drop_distance = 40;
    const std::optional<Point> start = open_run(level, drop_distance);
    ASSERT_TRUE(start);
    start_dungeon(*start);
    Bitmap shot = capture();
    ASSERT_TRUE(shot);
    const std::string walls = " " + std::to_string(level.wall_tiles) + " wall tiles |";
    EXPECT_NE(status_start(shot.get()).find(walls), std::string::npos) << status_start(shot.get());
    const int in_world = int(level.wall_lamps.size() + level.guards.size()) + 2;
    const auto lights_read = [&](int count) {
        char text[16];
        snprintf(text, sizeof text, "/ %4d |", count);
        return bool(
            capture_when([&](BITMAP *s) { return status_start(s).find(text) != std::string::npos; },
                         settle_timeout));
    };
    EXPECT_TRUE(lights_read(in_world)) << status_start(shot.get());
    move_pointer(screen_width / 2 + drop_distance, screen_height / 2);
    press_button(1);
    EXPECT_TRUE(lights_read(in_world + 1));
    press_button(3);
    EXPECT_TRUE(lights_read(in_world));
    /* Half a tile up from the top-left of the view: at its world point a wall, or rock. */
    const view v = view_on(player{double(start->x), double(start->y)});
    for (int y = 0; y < screen_height; y += tile_size)
        if (tile_at(&level, int(v.x) / tile_size + 1, (int(v.y) + y) / tile_size) == wall_tile) {
            move_pointer(tile_size + tile_size / 2 - int(v.x) % tile_size,
                         y + tile_size / 2 - int(v.y) % tile_size);
            press_button(1);
            std::this_thread::sleep_for(300ms);
            EXPECT_TRUE(lights_read(in_world)) << "a light dropped on a wall";
            break;
        }
}

TEST_F(DungeonInXvfb, EscapeAndTerminationQuitWithStatusZero) {
    const std::optional<Point> start = open_run(level, 0);
    ASSERT_TRUE(start);
    start_dungeon(*start);
    EXPECT_EQ(quit_with_escape(), "exit status 0");
    start_dungeon(*start, 16);
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
