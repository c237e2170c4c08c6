/* The dungeon's generator, its doors, guards, wall lamps and wandering lights, headless: the
 * grid, the wall set's lines of sight and the walks are checked against the tiles themselves. */
#include "generate.h"
#include "motion.h"
#include "shrouder_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>
#include <vector>

namespace {

/* The doors move with one opener at (x, y). */
void doors_near(dungeon *level, double x, double y, double ms) {
    const door_opener o{x, y};
    move_doors(&level->doors, level->walls, &o, 1, ms);
}

/* Each world takes a few milliseconds to make. */
const uint32_t seeds_checked = 100;
const size_t min_doors = 6, min_wall_lamps = 100;

struct level_fixture : ::testing::Test {
    dungeon level;
    ~level_fixture() override {
        free_dungeon(&level);
    }
};

using DungeonLevel = level_fixture;
using Wanderers = level_fixture;

int count_tiles(const dungeon &level, tile_kind kind) {
    int count = 0;
    for (int row = 0; row < grid_rows; row++)
        for (int column = 0; column < grid_columns; column++)
            count += tile_at(&level, column, row) == kind;
    return count;
}

/* The floor tiles reachable from (column, row) by steps across edges. */
int reachable_floor(const dungeon &level, int column, int row) {
    std::vector<bool> seen(grid_columns * grid_rows, false);
    std::vector<std::pair<int, int>> todo = {{column, row}};
    int count = 0;
    while (!todo.empty()) {
        const auto [c, r] = todo.back();
        todo.pop_back();
        if (tile_at(&level, c, r) != floor_tile || seen[r * grid_columns + c])
            continue;
        seen[r * grid_columns + c] = true;
        count++;
        todo.insert(todo.end(), {{c + 1, r}, {c - 1, r}, {c, r + 1}, {c, r - 1}});
    }
    return count;
}

TEST_F(DungeonLevel, TheSameSeedMakesTheSameDungeon) {
    ASSERT_TRUE(generate_dungeon(&level, 7));
    const std::vector<tile_kind> first = level.tiles;
    const double first_guard_x = level.guards.at(0).x;
    const int first_door_x = level.doors.at(0).x0;
    ASSERT_TRUE(generate_dungeon(&level, 8));
    EXPECT_NE(level.tiles, first);
    ASSERT_TRUE(generate_dungeon(&level, 7));
    EXPECT_EQ(level.tiles, first);
    EXPECT_EQ(level.guards.at(0).x, first_guard_x);
    EXPECT_EQ(level.doors.at(0).x0, first_door_x);
}

TEST_F(DungeonLevel, EverySeedHasEnoughWallsAndOneConnectedFloor) {
    for (uint32_t seed = 0; seed < seeds_checked; seed++) {
        SCOPED_TRACE(seed);
        ASSERT_TRUE(generate_dungeon(&level, seed));
        EXPECT_GE(level.wall_tiles, min_wall_tiles);
        EXPECT_EQ(level.wall_tiles, count_tiles(level, wall_tile));
        EXPECT_GE(level.rooms.size(), 2u);
        const tile_spot start{level.rooms[0].column, level.rooms[0].row};
        EXPECT_EQ(reachable_floor(level, start.column, start.row), count_tiles(level, floor_tile));
        for (const room &r : level.rooms)
            ASSERT_EQ(tile_at(&level, r.column, r.row), floor_tile);
    }
}

/* Walls enclose the floor: no floor tile on the grid's border or beside rock. */
TEST_F(DungeonLevel, FloorIsEnclosedByWalls) {
    for (uint32_t seed = 0; seed < seeds_checked; seed++) {
        SCOPED_TRACE(seed);
        ASSERT_TRUE(generate_dungeon(&level, seed));
        for (int row = 0; row < grid_rows; row++)
            for (int column = 0; column < grid_columns; column++) {
                if (tile_at(&level, column, row) != floor_tile)
                    continue;
                for (int dy = -1; dy <= 1; dy++)
                    for (int dx = -1; dx <= 1; dx++)
                        ASSERT_NE(tile_at(&level, column + dx, row + dy), rock_tile)
                            << "floor at (" << column << ", " << row << ") beside rock";
            }
    }
}

bool floor_box(const dungeon &level, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            if (tile_at(&level, x / tile_size, y / tile_size) != floor_tile)
                return false;
    return true;
}

bool wall_box(const dungeon &level, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            if (tile_at(&level, x / tile_size, y / tile_size) != wall_tile)
                return false;
    return true;
}

/* A closed door fills its passage from wall to wall and blocks the line across it; slid open,
 * it lies wholly in the wall and the line is clear. */
TEST_F(DungeonLevel, DoorsCloseTheirPassagesAndSlideIntoTheWall) {
    for (uint32_t seed = 0; seed < seeds_checked; seed++) {
        SCOPED_TRACE(seed);
        ASSERT_TRUE(generate_dungeon(&level, seed));
        ASSERT_GE(level.doors.size(), min_doors);
        for (door &d : level.doors) {
            ASSERT_TRUE(floor_box(level, d.x0, d.y0, d.x1, d.y1));
            const int mx = (d.x0 + d.x1) / 2, my = (d.y0 + d.y1) / 2;
            /* Across the door: along its thin side, a tile each way. */
            const int ax = d.along_x == 0 ? tile_size : 0, ay = d.along_y == 0 ? tile_size : 0;
            EXPECT_FALSE(is_lit_by(level.walls, mx - ax, my - ay, mx + ax, my + ay));
            for (int i = 0; i < door_length / door_thickness + 8; i++)
                doors_near(&level, mx, my, 100.0);
            ASSERT_EQ(d.open_px, door_length);
            int x0, y0, x1, y1;
            door_box(d, &x0, &y0, &x1, &y1);
            EXPECT_TRUE(wall_box(level, x0, y0, x1, y1));
            EXPECT_TRUE(is_lit_by(level.walls, mx - ax, my - ay, mx + ax, my + ay));
        }
    }
}

TEST_F(DungeonLevel, DoorsCloseAgainOnceThePlayerHasGone) {
    ASSERT_TRUE(generate_dungeon(&level, 4));
    door &d = level.doors.at(0);
    const double mx = (d.x0 + d.x1) / 2.0, my = (d.y0 + d.y1) / 2.0;
    doors_near(&level, mx, my, 100.0);
    EXPECT_GT(d.open_px, 0);
    EXPECT_LT(d.open_px, door_length) << "a door slides, it does not jump open";
    for (int i = 0; i < 10; i++)
        doors_near(&level, mx, my, 100.0);
    EXPECT_EQ(d.open_px, door_length);
    for (int i = 0; i < 10; i++)
        doors_near(&level, mx + door_reach + 1, my + door_reach + 1, 100.0);
    EXPECT_EQ(d.open_px, 0);
}

/* Any one opener near a door holds it open: a wandering light far from the player too. */
TEST_F(DungeonLevel, AnyOpenerNearADoorOpensIt) {
    ASSERT_TRUE(generate_dungeon(&level, 4));
    const door &d = level.doors.at(0);
    const door_opener far{-1000, -1000},
        near{(d.x0 + d.x1) / 2.0, (d.y0 + d.y1) / 2.0 + door_reach - 1.0};
    const door_opener player_and_wanderer[] = {far, near};
    for (int i = 0; i < 10; i++)
        move_doors(&level.doors, level.walls, player_and_wanderer, 2, 100.0);
    EXPECT_EQ(d.open_px, door_length);
    for (int i = 0; i < 10; i++)
        move_doors(&level.doors, level.walls, player_and_wanderer, 1, 100.0);
    EXPECT_EQ(d.open_px, 0);
}

/* A frame of the level moves its wanderers and lets them open doors: a wanderer beside a door
 * opens it while the player stands far away, and the openers tell where both stand. */
TEST_F(DungeonLevel, WanderersOpenDoorsAsTheLevelMoves) {
    ASSERT_TRUE(generate_dungeon(&level, 4));
    const door &d = level.doors.at(0);
    wanderer w;
    place_wanderers(&level, &w, 1);
    w.x = (d.x0 + d.x1) / 2.0;
    w.y = (d.y0 + d.y1) / 2.0;
    door_opener openers[2];
    for (int i = 0; i < 300; i++) /* a wanderer walks 0.09 px a millisecond */
        move_level(&level, &w, 1, openers, -1000, -1000, 1.0);
    EXPECT_EQ(d.open_px, door_length);
    EXPECT_EQ(openers[0].x, -1000);
    EXPECT_EQ(openers[1].x, w.x);
    EXPECT_EQ(openers[1].y, w.y);
}

/* Guards walk loops on the floor of their own rooms, never the first. */
TEST_F(DungeonLevel, GuardsPatrolTheFloorOfTheirRooms) {
    for (uint32_t seed = 0; seed < seeds_checked; seed++) {
        SCOPED_TRACE(seed);
        ASSERT_TRUE(generate_dungeon(&level, seed));
        ASSERT_GE(level.guards.size(), 10u);
        const room &first = level.rooms[0];
        for (int step = 0; step < 200; step++) {
            for (const guard &g : level.guards) {
                const int column = int(g.x) / tile_size, row = int(g.y) / tile_size;
                ASSERT_EQ(tile_at(&level, column, row), floor_tile);
                ASSERT_FALSE(column >= first.column && column < first.column + first.columns &&
                             row >= first.row && row < first.row + first.rows);
            }
            /* The player far from every guard: none sees it, all walk on. */
            move_guards(&level.guards, level.walls, -10000, -10000, 50.0);
        }
    }
}

/* A guard sees a point in its cone in open floor, and not one behind it. */
TEST_F(DungeonLevel, GuardsSeeOnlyInsideTheirCones) {
    ASSERT_TRUE(generate_dungeon(&level, 2));
    const guard g = level.guards.at(0);
    const double a = g.facing * M_PI / 180.0, d = 2.0 * tile_size;
    EXPECT_TRUE(guard_sees(level.walls, g, g.x + cos(a) * d, g.y + sin(a) * d));
    EXPECT_FALSE(guard_sees(level.walls, g, g.x - cos(a) * d, g.y - sin(a) * d));
    EXPECT_FALSE(guard_sees(level.walls, g, g.x + cos(a) * (guard_cone_reach + 1),
                            g.y + sin(a) * (guard_cone_reach + 1)));
    level.guards.resize(1);
    const double x = level.guards[0].x, y = level.guards[0].y;
    move_guards(&level.guards, level.walls, g.x + cos(a) * d, g.y + sin(a) * d, 100.0);
    EXPECT_TRUE(level.guards[0].alarmed);
    EXPECT_EQ(level.guards[0].x, x) << "an alarmed guard stops";
    EXPECT_EQ(level.guards[0].y, y);
}

/* Over a hundred lamps, each on floor with its flame clear of every wall, and its reach clear
 * of every door. */
TEST_F(DungeonLevel, WallLampsStandClearOfWallsAndDoors) {
    for (uint32_t seed = 0; seed < seeds_checked; seed++) {
        SCOPED_TRACE(seed);
        ASSERT_TRUE(generate_dungeon(&level, seed));
        ASSERT_GE(level.wall_lamps.size(), min_wall_lamps);
        for (const wall_lamp &l : level.wall_lamps) {
            ASSERT_TRUE(floor_box(level, l.x - wall_lamp_size, l.y - wall_lamp_size,
                                  l.x + wall_lamp_size + 1, l.y + wall_lamp_size + 1));
            for (const door &d : level.doors)
                for (int open = 0; open <= door_length; open++) {
                    const int x0 = d.x0 + d.along_x * open, x1 = d.x1 + d.along_x * open;
                    const int y0 = d.y0 + d.along_y * open, y1 = d.y1 + d.along_y * open;
                    const int dx = std::max({x0 - l.x, l.x - x1, 0});
                    const int dy = std::max({y0 - l.y, l.y - y1, 0});
                    ASSERT_GT(hypot(dx, dy), wall_lamp_reach);
                }
        }
    }
}

/* Along a row or a column between two floor tile centres, the set without its doors hides one
 * from the other exactly when a wall tile lies between them. */
TEST_F(DungeonLevel, WallBoxesBlockExactlyTheLinesThatCrossWallTiles) {
    ASSERT_TRUE(generate_dungeon(&level, 3));
    for (const door &d : level.doors)
        remove_from_shrouder_set(level.walls, d.id);
    int blocked = 0, open = 0;
    for (int row = 0; row < grid_rows; row++)
        for (int column = 0; column < grid_columns; column++) {
            if (tile_at(&level, column, row) != floor_tile)
                continue;
            for (const auto &[dx, dy] : {std::pair(1, 0), std::pair(0, 1)}) {
                bool wall_between = false;
                for (int c = column + dx, r = row + dy; tile_at(&level, c, r) != rock_tile;
                     c += dx, r += dy) {
                    if (tile_at(&level, c, r) == wall_tile) {
                        wall_between = true;
                        continue;
                    }
                    const bool lit = is_lit_by(level.walls, tile_centre(column), tile_centre(row),
                                               tile_centre(c), tile_centre(r));
                    ASSERT_EQ(lit, !wall_between) << "from tile (" << column << ", " << row
                                                  << ") to (" << c << ", " << r << ")";
                    wall_between ? blocked++ : open++;
                }
            }
        }
    EXPECT_GT(blocked, 0);
    EXPECT_GT(open, 0);
}

TEST_F(Wanderers, WalkTheCorridorsOnlyAndCoverThem) {
    const int count = 16, frames = 8000;
    const double frame_ms = 16.0;
    ASSERT_TRUE(generate_dungeon(&level, 11));
    wanderer list[count];
    place_wanderers(&level, list, count);
    std::set<std::pair<int, int>> visited;
    for (int frame = 0; frame < frames; frame++) {
        move_wanderers(&level, list, count, frame_ms);
        for (const wanderer &w : list) {
            ASSERT_TRUE(is_corridor(&level, w.column, w.row));
            /* Between the centres of two neighbouring corridor tiles. */
            const int column = int(w.x) / tile_size, row = int(w.y) / tile_size;
            ASSERT_TRUE(is_corridor(&level, column, row)) << w.x << ", " << w.y;
            visited.insert({w.column, w.row});
        }
    }
    int corridor_tiles = 0;
    for (int row = 0; row < grid_rows; row++)
        for (int column = 0; column < grid_columns; column++)
            corridor_tiles += is_corridor(&level, column, row);
    /* They walk about twice as many tiles as the corridors hold, and cross their own tracks. */
    EXPECT_GT(visited.size(), size_t(corridor_tiles) / 4);
}

TEST_F(Wanderers, MoveAtTheirSpeedAndNoFurtherAfterALongPause) {
    ASSERT_TRUE(generate_dungeon(&level, 5));
    wanderer w;
    place_wanderers(&level, &w, 1);
    const double x = w.x, y = w.y;
    move_wanderers(&level, &w, 1, 50.0);
    const double moved = fabs(w.x - x) + fabs(w.y - y);
    EXPECT_NEAR(moved, wanderer_speed * 0.05, 1e-9);
    const double x2 = w.x, y2 = w.y;
    move_wanderers(&level, &w, 1, 60000.0);
    EXPECT_LE(fabs(w.x - x2) + fabs(w.y - y2), wanderer_speed * 0.1 + 1e-9);
}

} // namespace
