/* The player's walking and the view that follows, headless: on hand-made floors (walls where a
 * test puts them) and on generated levels. */
#include "generate.h"
#include "player.h"
#include "shrouder_set.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

/* The doors move with one opener at (x, y). */
void doors_near(dungeon *level, double x, double y, double ms) {
    const door_opener o{x, y};
    move_doors(&level->doors, level->walls, &o, 1, ms);
}

const double frame_ms = 1000.0 / 60;
/* Positions are found to 1/256 of a step of at most 4 px. */
const double contact_tolerance = 4.0 / 256 + 1e-9;

struct PlayerWalk : ::testing::Test {
    /* A floor of open tiles everywhere inside a ring of walls. */
    void SetUp() override {
        level.tiles.assign(grid_columns * grid_rows, floor_tile);
        level.corridor.assign(grid_columns * grid_rows, false);
        for (int column = 0; column < grid_columns; column++)
            put(column, 0, wall_tile), put(column, grid_rows - 1, wall_tile);
        for (int row = 0; row < grid_rows; row++)
            put(0, row, wall_tile), put(grid_columns - 1, row, wall_tile);
    }
    void TearDown() override {
        free_dungeon(&level);
    }

    void put(int column, int row, tile_kind kind) {
        level.tiles[row * grid_columns + column] = kind;
    }

    /* Walks for `ms` in frames of `step_ms`, checking that the body fits after each. */
    void walk(player *p, int sx, int sy, double ms, double step_ms = frame_ms) {
        for (double t = 0; t < ms - 1e-9; t += step_ms) {
            walk_player(&level, p, sx, sy, std::min(step_ms, ms - t));
            ASSERT_TRUE(body_fits(&level, p->x, p->y)) << p->x << ", " << p->y;
        }
    }

    dungeon level;
};

TEST_F(PlayerWalk, KeepsItsSpeedWhateverTheFrameRate) {
    struct Case {
        int sx, sy;
        double step_ms;
    };
    const Case cases[] = {{1, 0, frame_ms}, {1, 0, 5.0},       {1, 0, 50.0},
                          {0, -1, 33.0},    {-1, 1, frame_ms}, {1, 1, 7.0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.sx << ", " << c.sy << " every " << c.step_ms);
        player p{1000.5, 1000.5};
        walk(&p, c.sx, c.sy, 1000.0, c.step_ms);
        EXPECT_NEAR(std::hypot(p.x - 1000.5, p.y - 1000.5), player_speed, 1e-6);
        EXPECT_NEAR(std::atan2(p.y - 1000.5, p.x - 1000.5), std::atan2(c.sy, c.sx), 1e-9);
    }
}

TEST_F(PlayerWalk, StandsStillWithoutKeysAndAfterAPauseWalksNoFurtherThanAStep) {
    player p{1000.5, 1000.5};
    walk_player(&level, &p, 0, 0, 500.0);
    EXPECT_EQ(p.x, 1000.5);
    walk_player(&level, &p, 1, 0, 60000.0);
    EXPECT_NEAR(p.x, 1000.5 + player_speed * 0.1, 1e-9);
}

/* Against a wall on each side the body stops touching it, from any frame length. */
TEST_F(PlayerWalk, AWallStopsThePlayerAtContact) {
    struct Case {
        int sx, sy;
        double step_ms;
    };
    const Case cases[] = {{1, 0, frame_ms}, {-1, 0, 40.0}, {0, 1, 3.0}, {0, -1, 100.0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.sx << ", " << c.sy << " every " << c.step_ms);
        player p{80.0, 80.0};
        walk(&p, c.sx, c.sy, 60000.0, c.step_ms);
        const double wall_near = tile_size + player_half_size;
        const double wall_far_x = world_width - tile_size - player_half_size;
        const double wall_far_y = world_height - tile_size - player_half_size;
        const double want_x = c.sx > 0 ? wall_far_x : c.sx < 0 ? wall_near : 80.0;
        const double want_y = c.sy > 0 ? wall_far_y : c.sy < 0 ? wall_near : 80.0;
        EXPECT_NEAR(p.x, want_x, contact_tolerance);
        EXPECT_NEAR(p.y, want_y, contact_tolerance);
    }
}

/* Walking at a slant into a long wall, the player slides along it at the speed across it. */
TEST_F(PlayerWalk, SlidesAlongAWall) {
    for (int column = 0; column < grid_columns; column++)
        put(column, 20, wall_tile);
    player p{500.0, 20 * tile_size - player_half_size - 1.0};
    walk(&p, 1, 1, 1000.0);
    EXPECT_NEAR(p.y, 20 * tile_size - player_half_size, contact_tolerance);
    /* A little less than speed / sqrt 2 when the first frame's step met the wall. */
    EXPECT_NEAR(p.x, 500.0 + player_speed / std::sqrt(2.0), 1.0);
}

/* Two walls that meet at a corner only leave no gap: walking at the corner, the player stops
 * in the nook and never comes out on the other side. */
TEST_F(PlayerWalk, NeverPassesBetweenWallsThatMeetAtACorner) {
    const int c = 40, r = 40;
    put(c, r, wall_tile);
    put(c + 1, r + 1, wall_tile);
    const double corner = (c + 1) * tile_size;
    struct Case {
        double x, y;
        int sx, sy;
    };
    /* From the two open tiles beside the corner, towards each other. */
    const Case cases[] = {{corner - 8, corner + 8, 1, -1}, {corner + 8, corner - 8, -1, 1}};
    for (const Case &k : cases)
        for (double step_ms : {frame_ms, 3.0, 100.0}) {
            SCOPED_TRACE(::testing::Message() << k.sx << ", " << k.sy << " every " << step_ms);
            player p{k.x, k.y};
            walk(&p, k.sx, k.sy, 3000.0, step_ms);
            EXPECT_NEAR(p.x, corner - k.sx * player_half_size, contact_tolerance);
            EXPECT_NEAR(p.y, corner - k.sy * player_half_size, contact_tolerance);
        }
}

/* A closed door stops the player like a wall; an open one lets it through. */
TEST_F(PlayerWalk, ClosedDoorsStopThePlayer) {
    level.doors.push_back(door{600, 0, 606, world_height, 0, -1, 0, 0, -1});
    player p{560.0, 500.0};
    walk(&p, 1, 0, 2000.0);
    EXPECT_NEAR(p.x, 600 - player_half_size, contact_tolerance);
    level.doors[0].open_px = world_height;
    walk(&p, 1, 0, 2000.0);
    EXPECT_GT(p.x, 606 + player_half_size);
}

/* Random walks through generated levels: the body never enters a wall or a door. */
TEST(PlayerInLevel, RandomWalksStayOnTheFloor) {
    for (uint32_t seed = 0; seed < 8; seed++) {
        SCOPED_TRACE(seed);
        dungeon level;
        ASSERT_TRUE(generate_dungeon(&level, seed));
        random_stream stream{seed};
        const room &r = level.rooms[0];
        player p{tile_centre(r.column) + 0.0, tile_centre(r.row) + 0.0};
        ASSERT_TRUE(body_fits(&level, p.x, p.y));
        for (int frame = 0; frame < 3000; frame++) {
            const int sx = random_between(&stream, -1, 1), sy = random_between(&stream, -1, 1);
            for (int held = random_between(&stream, 1, 30); held > 0; held--, frame++) {
                walk_player(&level, &p, sx, sy, random_between(&stream, 1, 60));
                doors_near(&level, p.x, p.y, frame_ms);
                ASSERT_TRUE(body_fits(&level, p.x, p.y)) << p.x << ", " << p.y;
            }
        }
        free_dungeon(&level);
    }
}

TEST(View, CentresOnThePlayerAndStopsAtTheWorldsEdges) {
    struct Case {
        double px, py, vx, vy;
    };
    const double right = world_width - screen_width, bottom = world_height - screen_height;
    const Case cases[] = {{2000, 1500, 2000 - screen_width / 2.0, 1500 - screen_height / 2.0},
                          {10, 10, 0, 0},
                          {world_width - 3.0, world_height - 3.0, right, bottom},
                          {2000, 5, 2000 - screen_width / 2.0, 0}};
    for (const Case &c : cases) {
        const view v = view_on(player{c.px, c.py});
        EXPECT_EQ(v.x, c.vx);
        EXPECT_EQ(v.y, c.vy);
    }
}

/* The view closes on the player without overshooting, at a pace that is the same in frames
 * of any length. */
TEST(View, FollowsSmoothlyWhateverTheFrameRate) {
    const player p{3000, 2000};
    const view target = view_on(p);
    view fine{1000, 1000}, coarse{1000, 1000};
    double last_gap = std::hypot(target.x - fine.x, target.y - fine.y);
    for (int i = 0; i < 50; i++) {
        follow_player(&fine, p, 4.0);
        const double gap = std::hypot(target.x - fine.x, target.y - fine.y);
        EXPECT_LT(gap, last_gap);
        last_gap = gap;
    }
    for (int i = 0; i < 4; i++)
        follow_player(&coarse, p, 50.0);
    EXPECT_NEAR(fine.x, coarse.x, 1e-6);
    EXPECT_NEAR(fine.y, coarse.y, 1e-6);
    for (int i = 0; i < 60; i++)
        follow_player(&fine, p, frame_ms);
    EXPECT_NEAR(fine.x, target.x, 0.5);
    EXPECT_NEAR(fine.y, target.y, 0.5);
}

} // namespace
