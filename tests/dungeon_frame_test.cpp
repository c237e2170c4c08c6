/* The dungeon's frame drawn headless into a memory bitmap: the guards' colours against their
 * sight, the baked lamps where the view puts them, the stone where no light reaches, and the
 * status line's measures. */
#include "dungeon_frame.h"
#include "frame_rate.h"
#include "headless.h"
#include "light_map.h"
#include "shrouder_set.h"
#include "stone.h"

#include <cmath>

namespace {

const uint32_t seed = 5;
const int depth = 32;
/* Sprites stand on these pixels at most this far from their centres. */
const int sprite_reach = 12;

int brightness(int c) {
    return getr(c) + getg(c) + getb(c);
}

struct DungeonFrame : ::testing::Test {
    void SetUp() override {
        set_color_depth(depth);
        bmp = create_bitmap(screen_width, screen_height);
        ASSERT_TRUE(bmp && make_scene(&s, &level, &fog, &counter));
        ASSERT_TRUE(generate_dungeon(&level, seed));
        draw_stone(s.stone, &level);
        bake_wall_lamps(s.baked, &level, true);
    }
    void TearDown() override {
        free_dungeon(&level);
        free_scene(&s);
        destroy_bitmap(bmp);
    }

    void draw_with_player_at(double x, double y) {
        s.you = player{x, y};
        s.at = view_on(s.you);
        s.aim_x = int(x - s.at.x) + 100;
        s.aim_y = int(y - s.at.y);
        draw_dungeon_frame(bmp, &s);
    }

    /* The stone at world point (x, y) darkened to the ambient level, as the screen shows it. */
    int ambient_stone(int x, int y) {
        const int c = getpixel(s.stone, x, y);
        return makecol((getr(c) * ambient_r + 127) / 255, (getg(c) * ambient_g + 127) / 255,
                       (getb(c) * ambient_b + 127) / 255);
    }

    bool near_sprite(int x, int y) {
        const auto close = [&](double sx, double sy, int reach) {
            return std::hypot(sx - x, sy - y) <= reach;
        };
        if (close(s.you.x, s.you.y, std::max(glow_reach, sprite_reach)))
            return true;
        for (const guard &g : level.guards)
            if (close(g.x, g.y, guard_cone_reach))
                return true;
        for (const wall_lamp &l : level.wall_lamps)
            if (close(l.x, l.y, wall_lamp_reach))
                return true;
        for (const door &d : level.doors)
            if (close((d.x0 + d.x1) / 2.0, (d.y0 + d.y1) / 2.0, door_length))
                return true;
        return false;
    }

    BITMAP *bmp = nullptr;
    fog_map fog;
    dungeon level;
    frame_rate counter;
    scene s;
};

/* Around guards, the player at distances and headings: a guard is red exactly when it sees the
 * player, and then it has stopped. */
TEST_F(DungeonFrame, GuardsAreRedExactlyWhileTheySeeThePlayer) {
    int seen = 0, unseen = 0;
    const size_t guards_checked = 8;
    for (size_t i = 0; i < guards_checked; i++)
        for (int distance : {2 * tile_size, 5 * tile_size})
            for (int heading = 0; heading < 360; heading += 45) {
                const guard before = level.guards[i];
                const double a = heading * M_PI / 180;
                const double x = before.x + cos(a) * distance, y = before.y + sin(a) * distance;
                if (!body_fits(&level, x, y))
                    continue;
                move_guards(&level.guards, level.walls, x, y, 10.0);
                draw_with_player_at(x, y);
                const guard &g = level.guards[i];
                const bool sees = guard_sees(level.walls, g, x, y);
                EXPECT_EQ(g.alarmed, sees);
                const int gx = int(lround(g.x - s.at.x)), gy = int(lround(g.y - s.at.y));
                EXPECT_EQ(getpixel(bmp, gx, gy) == makecol(255, 0, 0), sees)
                    << "guard " << i << ", player at heading " << heading;
                if (sees) {
                    EXPECT_EQ(g.x, before.x);
                    EXPECT_EQ(g.y, before.y);
                }
                sees ? seen++ : unseen++;
            }
    EXPECT_GT(seen, 0);
    EXPECT_GT(unseen, 0);
}

/* With the baked lamps in place under the view: floor beyond every light's reach shows the
 * stone at the ambient level exactly, and floor beside a lamp in view is brighter. */
TEST_F(DungeonFrame, TheViewShowsTheBakedLampsWhereTheyStand) {
    for (size_t i = 0; i < level.wall_lamps.size(); i += level.wall_lamps.size() / 6) {
        const wall_lamp &l = level.wall_lamps[i];
        /* The player off to one side, so that the lamp is in view away from the lantern. */
        const room *home = nullptr;
        for (const room &r : level.rooms)
            if (l.x / tile_size >= r.column && l.x / tile_size < r.column + r.columns &&
                l.y / tile_size >= r.row && l.y / tile_size < r.row + r.rows)
                home = &r;
        ASSERT_TRUE(home);
        draw_with_player_at(tile_centre(home->column + home->columns / 2),
                            tile_centre(home->row + home->rows / 2));
        const int vx = int(s.at.x), vy = int(s.at.y);
        int dark = 0;
        for (int y = vy + 2 * tile_size; y < vy + screen_height; y += 5)
            for (int x = vx; x < vx + screen_width; x += 5) {
                if (tile_at(&level, x / tile_size, y / tile_size) != floor_tile ||
                    near_sprite(x, y) || std::hypot(x - s.you.x, y - s.you.y) <= lantern_reach)
                    continue;
                ASSERT_EQ(getpixel(bmp, x - vx, y - vy), ambient_stone(x, y)) << x << ", " << y;
                dark++;
            }
        EXPECT_GT(dark, 0);
        const int beside_x = l.x + (l.x > tile_centre(home->column) ? -1 : 1) * tile_size;
        const int lit = getpixel(bmp, beside_x - vx, l.y - vy);
        EXPECT_GT(brightness(lit), 2 * brightness(ambient_stone(beside_x, l.y)))
            << "lamp at (" << l.x << ", " << l.y << ")";
    }
}

TEST_F(DungeonFrame, StatusLineMeasuresTheLightingAndCountsTheLightsInView) {
    const room &r = level.rooms.at(0);
    const double x = tile_centre(r.column + 1), y = tile_centre(r.row + 1);
    draw_with_player_at(x, y);
    EXPECT_GT(s.shown.lighting_ms, 0.0);
    EXPECT_GT(s.shown.apply_ms, 0.0);
    int in_view = 2;
    for (const wall_lamp &l : level.wall_lamps)
        in_view += light_in_view(l.x, l.y, wall_lamp_reach, int(s.at.x), int(s.at.y));
    for (const guard &g : level.guards)
        in_view += light_in_view(int(lround(g.x)), int(lround(g.y)), guard_cone_reach, int(s.at.x),
                                 int(s.at.y));
    EXPECT_EQ(s.lights_in_view, in_view);
    EXPECT_LT(s.lights_in_view, lights_in_world(&s));
    EXPECT_EQ(lights_in_world(&s), int(level.wall_lamps.size() + level.guards.size()) + 2);
}

/* From a spot in the first room, the map marks exactly the floor tiles in reach that the
 * player's centre sees, and walls only beside them; it shows black wherever nothing is seen. */
TEST_F(DungeonFrame, TheMapMarksWhatThePlayerSees) {
    const room &r = level.rooms.at(0);
    const player p{double(tile_centre(r.column + 1)), double(tile_centre(r.row + 1))};
    look_around(&fog, &level, p);
    const int x = int(p.x), y = int(p.y);
    int seen_floor = 0, hidden_floor = 0;
    for (int row = 0; row < grid_rows; row++)
        for (int column = 0; column < grid_columns; column++) {
            const int cx = tile_centre(column), cy = tile_centre(row);
            const bool seen = tile_seen(&fog, column, row);
            EXPECT_EQ(getpixel(fog.tiles, column, row) != makecol(0, 0, 0), seen);
            if (tile_at(&level, column, row) == floor_tile) {
                const bool sees =
                    (cx - x) * (cx - x) + (cy - y) * (cy - y) <= sight_reach * sight_reach &&
                    is_lit_by(level.walls, x, y, cx, cy);
                ASSERT_EQ(seen, sees) << "floor tile (" << column << ", " << row << ")";
                sees ? seen_floor++ : hidden_floor++;
            } else if (seen) {
                bool beside_seen_floor = false;
                for (int dr = -1; dr <= 1; dr++)
                    for (int dc = -1; dc <= 1; dc++)
                        beside_seen_floor = beside_seen_floor ||
                                            (tile_at(&level, column + dc, row + dr) == floor_tile &&
                                             tile_seen(&fog, column + dc, row + dr));
                ASSERT_EQ(tile_at(&level, column, row), wall_tile);
                ASSERT_TRUE(beside_seen_floor) << "wall tile (" << column << ", " << row << ")";
            }
        }
    EXPECT_GT(seen_floor, 0);
    EXPECT_GT(hidden_floor, 0);
    clear_fog_map(&fog);
    EXPECT_FALSE(tile_seen(&fog, x / tile_size, y / tile_size));
}

} // namespace
