/* The dungeon's generator and its wandering lights, headless: the grid, the wall set's lines of
 * sight and the walks are checked against the tiles themselves. */
#include "generate.h"
#include "shrouder_set.h"
#include "wanderers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>
#include <vector>

namespace {

const uint32_t seeds_checked = 100;

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
    const int first_guard_column = level.guards.at(0).column;
    ASSERT_TRUE(generate_dungeon(&level, 8));
    EXPECT_NE(level.tiles, first);
    ASSERT_TRUE(generate_dungeon(&level, 7));
    EXPECT_EQ(level.tiles, first);
    EXPECT_EQ(level.guards.at(0).column, first_guard_column);
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

TEST_F(DungeonLevel, GuardsStandOnFloorOffTheCorridorsInDistinctRooms) {
    for (uint32_t seed = 0; seed < seeds_checked; seed++) {
        SCOPED_TRACE(seed);
        ASSERT_TRUE(generate_dungeon(&level, seed));
        ASSERT_GE(level.guards.size(), 3u);
        std::set<std::pair<int, int>> spots;
        for (size_t i = 0; i < level.guards.size(); i++) {
            const tile_spot g = level.guards[i];
            const room &r = level.rooms[i];
            EXPECT_EQ(tile_at(&level, g.column, g.row), floor_tile);
            EXPECT_FALSE(is_corridor(&level, g.column, g.row));
            EXPECT_TRUE(g.column >= r.column && g.column < r.column + r.columns && g.row >= r.row &&
                        g.row < r.row + r.rows);
            spots.insert({g.column, g.row});
        }
        EXPECT_EQ(spots.size(), level.guards.size());
    }
}

/* Along a row or a column between two floor tile centres, the set hides one from the other
 * exactly when a wall tile lies between them. */
TEST_F(DungeonLevel, WallBoxesBlockExactlyTheLinesThatCrossWallTiles) {
    ASSERT_TRUE(generate_dungeon(&level, 3));
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
    const int count = 8, frames = 3000;
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
    EXPECT_GT(visited.size(), size_t(corridor_tiles) / 2);
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
