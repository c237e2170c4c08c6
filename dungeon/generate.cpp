#include "generate.h"

#include <stdlib.h>

#include "shrouder_set.h"

static const int min_room_columns = 6, max_room_columns = 15;
static const int min_room_rows = 5, max_room_rows = 10;
/* Tiles of rock kept between two rooms, so that each keeps walls of its own. */
static const int room_gap = 3;
static const int wanted_rooms = 120;
static const int placement_attempts = 20000;
/* Corridors between rooms that are not nearest neighbours, so that the dungeon has loops. */
static const int extra_corridors = 24;
static const int corridor_width = 2;
/* Rooms at least this large get a pillar near each corner, which casts shadows across them. */
static const int pillared_room_columns = 10, pillared_room_rows = 7;
static const int pillar_inset = 2;
/* Rock within this many tiles of floor (diagonals included) is wall: thick stone between
 * rooms and corridors. */
static const int wall_thickness = 2;
/* The outer ring stays rock, outside the walls. */
static const int side_margin = 1;

uint32_t next_random(random_stream *stream) {
    /* splitmix64 */
    uint64_t z = (stream->state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return uint32_t((z ^ (z >> 31)) >> 32);
}

int random_between(random_stream *stream, int lo, int hi) {
    return lo + int(next_random(stream) % uint32_t(hi - lo + 1));
}

static int tile_index(int column, int row) {
    return row * grid_columns + column;
}

static bool inside_grid(int column, int row) {
    return column >= 0 && column < grid_columns && row >= 0 && row < grid_rows;
}

tile_kind tile_at(const dungeon *level, int column, int row) {
    return inside_grid(column, row) ? level->tiles[tile_index(column, row)] : rock_tile;
}

bool is_corridor(const dungeon *level, int column, int row) {
    return inside_grid(column, row) && level->corridor[tile_index(column, row)];
}

int tile_centre(int column_or_row) {
    return column_or_row * tile_size + tile_size / 2;
}

static bool rooms_too_close(const room &a, const room &b) {
    return a.column - room_gap < b.column + b.columns &&
           b.column - room_gap < a.column + a.columns && a.row - room_gap < b.row + b.rows &&
           b.row - room_gap < a.row + a.rows;
}

/* A room that fits the grid and keeps its distance from the others, if one is found. */
static bool place_room(dungeon *level, random_stream *stream, int *attempts, room *placed) {
    while (*attempts > 0) {
        --*attempts;
        room r;
        r.columns = random_between(stream, min_room_columns, max_room_columns);
        r.rows = random_between(stream, min_room_rows, max_room_rows);
        r.column =
            random_between(stream, side_margin + 1, grid_columns - side_margin - 1 - r.columns);
        r.row = random_between(stream, side_margin + 1, grid_rows - side_margin - 1 - r.rows);
        bool fits = true;
        for (const room &other : level->rooms)
            fits = fits && !rooms_too_close(r, other);
        if (fits) {
            *placed = r;
            return true;
        }
    }
    return false;
}

static void carve_room(dungeon *level, const room &r) {
    for (int row = r.row; row < r.row + r.rows; row++)
        for (int column = r.column; column < r.column + r.columns; column++)
            level->tiles[tile_index(column, row)] = floor_tile;
}

static tile_spot room_centre(const room &r) {
    return {r.column + (r.columns - corridor_width) / 2, r.row + (r.rows - corridor_width) / 2};
}

/* A corridor_width-square of floor with its top-left tile at (column, row). */
static void carve_corridor_step(dungeon *level, int column, int row) {
    for (int dy = 0; dy < corridor_width; dy++)
        for (int dx = 0; dx < corridor_width; dx++) {
            const int i = tile_index(column + dx, row + dy);
            level->tiles[i] = floor_tile;
            level->corridor[i] = true;
        }
}

static int step_towards(int from, int to) {
    return (to > from) - (to < from);
}

/* An L-shaped corridor from the centre of `a` to the centre of `b`. */
static void carve_corridor(dungeon *level, random_stream *stream, const room &a, const room &b) {
    const tile_spot from = room_centre(a), to = room_centre(b);
    const bool across_first = next_random(stream) % 2 == 0;
    const tile_spot bend =
        across_first ? tile_spot{to.column, from.row} : tile_spot{from.column, to.row};
    for (tile_spot at = from;; at.column += step_towards(at.column, bend.column),
                   at.row += step_towards(at.row, bend.row)) {
        carve_corridor_step(level, at.column, at.row);
        if (at.column == bend.column && at.row == bend.row)
            break;
    }
    for (tile_spot at = bend;;
         at.column += step_towards(at.column, to.column), at.row += step_towards(at.row, to.row)) {
        carve_corridor_step(level, at.column, at.row);
        if (at.column == to.column && at.row == to.row)
            break;
    }
}

static int squared_distance(tile_spot a, tile_spot b) {
    return (a.column - b.column) * (a.column - b.column) + (a.row - b.row) * (a.row - b.row);
}

/* The earlier room whose centre is nearest to the last one's. */
static int nearest_earlier_room(const dungeon *level) {
    const tile_spot last = room_centre(level->rooms.back());
    int nearest = 0;
    for (int i = 1; i + 1 < int(level->rooms.size()); i++)
        if (squared_distance(room_centre(level->rooms[i]), last) <
            squared_distance(room_centre(level->rooms[nearest]), last))
            nearest = i;
    return nearest;
}

static bool near_floor(const dungeon *level, int column, int row) {
    for (int dy = -wall_thickness; dy <= wall_thickness; dy++)
        for (int dx = -wall_thickness; dx <= wall_thickness; dx++)
            if (tile_at(level, column + dx, row + dy) == floor_tile)
                return true;
    return false;
}

/* Rock near floor becomes wall, and wall away from floor rock again. */
static int raise_walls(dungeon *level) {
    int count = 0;
    for (int row = 0; row < grid_rows; row++)
        for (int column = 0; column < grid_columns; column++) {
            tile_kind &t = level->tiles[tile_index(column, row)];
            if (t != floor_tile) {
                t = near_floor(level, column, row) ? wall_tile : rock_tile;
                count += t == wall_tile;
            }
        }
    return count;
}

/* Pillars stand off the corridors, so every corridor stays open. */
static void raise_pillars(dungeon *level) {
    for (const room &r : level->rooms) {
        if (r.columns < pillared_room_columns || r.rows < pillared_room_rows)
            continue;
        const int columns[] = {r.column + pillar_inset, r.column + r.columns - 1 - pillar_inset};
        const int rows[] = {r.row + pillar_inset, r.row + r.rows - 1 - pillar_inset};
        for (int row : rows)
            for (int column : columns)
                if (!is_corridor(level, column, row))
                    level->tiles[tile_index(column, row)] = wall_tile;
    }
}

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
    level->seed = seed;
    level->tiles.assign(grid_columns * grid_rows, rock_tile);
    level->corridor.assign(grid_columns * grid_rows, false);
    level->rooms.clear();

    /* Walls are counted only once enough rooms stand: counting walks the whole grid. */
    int attempts = placement_attempts, walls = 0;
    room r;
    while (walls < min_wall_tiles && place_room(level, &stream, &attempts, &r)) {
        level->rooms.push_back(r);
        carve_room(level, r);
        if (level->rooms.size() > 1)
            carve_corridor(level, &stream, level->rooms[nearest_earlier_room(level)], r);
        if (int(level->rooms.size()) >= wanted_rooms)
            walls = raise_walls(level);
    }
    const int room_count = int(level->rooms.size());
    for (int i = 0; i < extra_corridors && room_count > 2; i++)
        carve_corridor(level, &stream, level->rooms[random_between(&stream, 0, room_count - 1)],
                       level->rooms[random_between(&stream, 0, room_count - 1)]);
    raise_pillars(level);
    level->wall_tiles = raise_walls(level);
    if (add_wall_boxes(level) && place_doors(level, &stream)) {
        place_guards(level, &stream);
        place_wall_lamps(level);
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
