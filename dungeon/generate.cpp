#include "generate.h"

#include "shrouder_set.h"

static bool free_wall(const dungeon *level, const std::vector<bool> &boxed, int column, int row) {
    return tile_at(level, column, row) == wall_tile && !boxed[tile_index(column, row)];
}

/* How many rows down from `row` repeat the wall run from `column` to `last_column`. */
static int rows_repeating_run(const dungeon *level, const std::vector<bool> &boxed, int column,
                              int last_column, int row) {
    int rows = 1;
    for (;; rows++)
        for (int c = column; c <= last_column; c++)
            if (!free_wall(level, boxed, c, row + rows))
                return rows;
}

/* The wall tiles as few clockwise boxes as a greedy sweep finds: a run along a row, grown
 * down while the rows below repeat it. One box for each tile would cast the same shadow
 * beyond the walls, but each tile's far edges would also shade a wedge of its neighbour's
 * face: walls seen at a slant would show teeth. */
static bool add_wall_boxes(dungeon *level) {
    level->walls = create_shrouder_set();
    if (!level->walls)
        return false;
    std::vector<bool> boxed(grid_columns * grid_rows, false);
    for (int row = 0; row < grid_rows; row++)
        for (int column = 0; column < grid_columns; column++) {
            if (!free_wall(level, boxed, column, row))
                continue;
            int last_column = column;
            while (free_wall(level, boxed, last_column + 1, row))
                last_column++;
            const int rows = rows_repeating_run(level, boxed, column, last_column, row);
            for (int r = row; r < row + rows; r++)
                for (int c = column; c <= last_column; c++)
                    boxed[tile_index(c, r)] = true;
            const int x0 = column * tile_size, y0 = row * tile_size;
            const int x1 = (last_column + 1) * tile_size, y1 = (row + rows) * tile_size;
            const int clockwise_box[] = {x0, y0, x1, y0, x1, y1, x0, y1};
            if (add_outline_to_set(level->walls, 4, clockwise_box) < 0)
                return false;
        }
    return true;
}

bool generate_dungeon(dungeon *level, uint32_t seed) {
    free_dungeon(level);
    random_stream stream{seed};
    carve_layout(level, &stream, seed);
    if (add_wall_boxes(level) && place_doors(*level, &stream, level->walls, &level->doors)) {
        place_guards(*level, &stream, &level->guards);
        place_wall_lamps(*level, level->doors, &level->wall_lamps);
        return true;
    }
    free_dungeon(level);
    return false;
}

void free_dungeon(dungeon *level) {
    destroy_shrouder_set(level->walls);
    level->walls = nullptr;
    level->wall_tiles = 0;
    level->doors.clear();
    level->guards.clear();
    level->wall_lamps.clear();
}
