/* The dungeon's frame drawn headless into a memory bitmap: the guards' colours against the
 * walls' lines of sight, the stone where no light reaches, and the status line's timings. */
#include "dungeon_frame.h"
#include "frame_rate.h"
#include "headless.h"
#include "light_map.h"
#include "shrouder_set.h"

namespace {

const uint32_t seed = 5;
const int depth = 32;
const int torch_radius = 280;
/* Every this many tiles of each room, the torch stands on a floor tile. */
const int torch_stride = 3;

bool guard_stands_on(const dungeon &level, int column, int row) {
    for (tile_spot g : level.guards)
        if (g.column == column && g.row == row)
            return true;
    return false;
}

struct DungeonFrame : ::testing::Test {
    void SetUp() override {
        set_color_depth(depth);
        bmp = create_bitmap(level_width, level_height);
        stone = create_bitmap(level_width, level_height);
        map = create_light_map(level_width, level_height);
        ASSERT_TRUE(bmp && stone && map);
        ASSERT_TRUE(generate_dungeon(&level, seed));
        draw_stone(stone, &level);
        view = dungeon_view{&level,
                            stone,
                            map,
                            lamp{0, 0, torch_radius, 255, 196, 120},
                            nullptr,
                            0,
                            0,
                            false,
                            &counter,
                            0,
                            frame_timings{0, 0, 0}};
    }
    void TearDown() override {
        free_dungeon(&level);
        destroy_light_map(map);
        destroy_bitmap(stone);
        destroy_bitmap(bmp);
    }

    void draw_with_torch_at(int x, int y) {
        view.torch.x = x;
        view.torch.y = y;
        draw_dungeon_frame(bmp, &view);
    }

    BITMAP *bmp = nullptr, *stone = nullptr;
    light_map *map = nullptr;
    dungeon level;
    frame_rate counter;
    dungeon_view view;
};

TEST_F(DungeonFrame, GuardsAreRedExactlyWhileTheySeeTheTorch) {
    int seen = 0, unseen = 0;
    for (const room &r : level.rooms)
        for (int row = r.row; row < r.row + r.rows; row += torch_stride)
            for (int column = r.column; column < r.column + r.columns; column += torch_stride) {
                if (tile_at(&level, column, row) != floor_tile)
                    continue;
                draw_with_torch_at(tile_centre(column), tile_centre(row));
                for (tile_spot g : level.guards) {
                    const int x = tile_centre(g.column), y = tile_centre(g.row);
                    if (abs(x - view.torch.x) <= cursor_radius &&
                        abs(y - view.torch.y) <= cursor_radius)
                        continue;
                    const bool sees = is_lit_by(level.walls, view.torch.x, view.torch.y, x, y);
                    EXPECT_EQ(getpixel(bmp, x, y) == makecol(255, 0, 0), sees)
                        << "guard at (" << x << ", " << y << "), torch at (" << view.torch.x << ", "
                        << view.torch.y << ")";
                    sees ? seen++ : unseen++;
                }
            }
    EXPECT_GT(seen, 0);
    EXPECT_GT(unseen, 0);
}

/* With the torch the only light, floor it cannot reach (below the status line, without a
 * guard on it) is the stone times the ambient level, and floor right beside it is brighter
 * than that. */
TEST_F(DungeonFrame, StoneOutOfTheTorchsReachShowsAtTheAmbientLevel) {
    const room &r = level.rooms.at(0);
    const int x = tile_centre(r.column), y = tile_centre(r.row);
    draw_with_torch_at(x, y);
    const auto ambient = [&](int px, int py) {
        const int c = getpixel(stone, px, py);
        return makecol((getr(c) * ambient_r + 127) / 255, (getg(c) * ambient_g + 127) / 255,
                       (getb(c) * ambient_b + 127) / 255);
    };
    int dark = 0;
    for (int row = 0; row < grid_rows; row++)
        for (int column = 0; column < grid_columns; column++) {
            const int px = tile_centre(column), py = tile_centre(row);
            const bool out_of_reach = (px - x) * (px - x) + (py - y) * (py - y) >
                                      (torch_radius + tile_size) * (torch_radius + tile_size);
            if (tile_at(&level, column, row) == floor_tile && out_of_reach &&
                !guard_stands_on(level, column, row) && py > 2 * tile_size) {
                ASSERT_EQ(getpixel(bmp, px, py), ambient(px, py)) << px << ", " << py;
                dark++;
            }
        }
    EXPECT_GT(dark, 0);
    const int beside = getpixel(bmp, x + tile_size, y), unlit = ambient(x + tile_size, y);
    EXPECT_GT(getr(beside) + getg(beside) + getb(beside),
              2 * (getr(unlit) + getg(unlit) + getb(unlit)));
}

TEST_F(DungeonFrame, StatusTimesTheLightsAndTheApplyOnceASampleIsTaken) {
    const room &r = level.rooms.at(0);
    draw_with_torch_at(tile_centre(r.column + 1), tile_centre(r.row + 1));
    EXPECT_GT(view.shown.lights_ms, 0.0);
    EXPECT_GT(view.shown.apply_ms, 0.0);
    const frame_timings first = view.shown;
    for (int i = 0; i < 2 * frames_per_timing; i++)
        draw_with_torch_at(tile_centre(r.column + 1), tile_centre(r.row + 1));
    EXPECT_NE(view.shown.lights_ms, first.lights_ms) << "no new sample in two rounds";
}

} // namespace
