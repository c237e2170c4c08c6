#include "layout.h"

#include <stdlib.h>

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

static bool inside_grid(int column, int row) {
    return column >= 0 && column < grid_columns && row >= 0 && row < grid_rows;
}

tile_kind tile_at(const layout *plan, int column, int row) {
    return inside_grid(column, row) ? plan->tiles[tile_index(column, row)] : rock_tile;
}

bool is_corridor(const layout *plan, int column, int row) {
    return inside_grid(column, row) && plan->corridor[tile_index(column, row)];
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
static bool place_room(layout *plan, random_stream *stream, int *attempts, room *placed) {
    while (*attempts > 0) {
        --*attempts;
        room r;
        r.columns = random_between(stream, min_room_columns, max_room_columns);
        r.rows = random_between(stream, min_room_rows, max_room_rows);
        r.column =
            random_between(stream, side_margin + 1, grid_columns - side_margin - 1 - r.columns);
        r.row = random_between(stream, side_margin + 1, grid_rows - side_margin - 1 - r.rows);
        bool fits = true;
        for (const room &other : plan->rooms)
            fits = fits && !rooms_too_close(r, other);
        if (fits) {
            *placed = r;
            return true;
        }
    }
    return false;
}

static void carve_room(layout *plan, const room &r) {
    for (int row = r.row; row < r.row + r.rows; row++)
        for (int column = r.column; column < r.column + r.columns; column++)
            plan->tiles[tile_index(column, row)] = floor_tile;
}

static tile_spot room_centre(const room &r) {
    return {r.column + (r.columns - corridor_width) / 2, r.row + (r.rows - corridor_width) / 2};
}

/* A corridor_width-square of floor with its top-left tile at (column, row). */
static void carve_corridor_step(layout *plan, int column, int row) {
    for (int dy = 0; dy < corridor_width; dy++)
        for (int dx = 0; dx < corridor_width; dx++) {
            const int i = tile_index(column + dx, row + dy);
            plan->tiles[i] = floor_tile;
            plan->corridor[i] = true;
        }
}

static int step_towards(int from, int to) {
    return (to > from) - (to < from);
}

/* An L-shaped corridor from the centre of `a` to the centre of `b`. */
static void carve_corridor(layout *plan, random_stream *stream, const room &a, const room &b) {
    const tile_spot from = room_centre(a), to = room_centre(b);
    const bool across_first = next_random(stream) % 2 == 0;
    const tile_spot bend =
        across_first ? tile_spot{to.column, from.row} : tile_spot{from.column, to.row};
    for (tile_spot at = from;; at.column += step_towards(at.column, bend.column),
                   at.row += step_towards(at.row, bend.row)) {
        carve_corridor_step(plan, at.column, at.row);
        if (at.column == bend.column && at.row == bend.row)
            break;
    }
    for (tile_spot at = bend;;
         at.column += step_towards(at.column, to.column), at.row += step_towards(at.row, to.row)) {
        carve_corridor_step(plan, at.column, at.row);
        if (at.column == to.column && at.row == to.row)
            break;
    }
}

static int squared_distance(tile_spot a, tile_spot b) {
    return (a.column - b.column) * (a.column - b.column) + (a.row - b.row) * (a.row - b.row);
}

/* The earlier room whose centre is nearest to the last one's. */
static int nearest_earlier_room(const layout *plan) {
    const tile_spot last = room_centre(plan->rooms.back());
    int nearest = 0;
    for (int i = 1; i + 1 < int(plan->rooms.size()); i++)
        if (squared_distance(room_centre(plan->rooms[i]), last) <
            squared_distance(room_centre(plan->rooms[nearest]), last))
            nearest = i;
    return nearest;
}

static bool near_floor(const layout *plan, int column, int row) {
    for (int dy = -wall_thickness; dy <= wall_thickness; dy++)
        for (int dx = -wall_thickness; dx <= wall_thickness; dx++)
            if (tile_at(plan, column + dx, row + dy) == floor_tile)
                return true;
    return false;
}

/* Rock near floor becomes wall, and wall away from floor rock again. */
static int raise_walls(layout *plan) {
    int count = 0;
    for (int row = 0; row < grid_rows; row++)
        for (int column = 0; column < grid_columns; column++) {
            tile_kind &t = plan->tiles[tile_index(column, row)];
            if (t != floor_tile) {
                t = near_floor(plan, column, row) ? wall_tile : rock_tile;
                count += t == wall_tile;
            }
        }
    return count;
}

/* Pillars stand off the corridors, so every corridor stays open. */
static void raise_pillars(layout *plan) {
    for (const room &r : plan->rooms) {
        if (r.columns < pillared_room_columns || r.rows < pillared_room_rows)
            continue;
        const int columns[] = {r.column + pillar_inset, r.column + r.columns - 1 - pillar_inset};
        const int rows[] = {r.row + pillar_inset, r.row + r.rows - 1 - pillar_inset};
        for (int row : rows)
            for (int column : columns)
                if (!is_corridor(plan, column, row))
                    plan->tiles[tile_index(column, row)] = wall_tile;
    }
}

void carve_layout(layout *plan, random_stream *stream, uint32_t seed) {
    plan->seed = seed;
    plan->tiles.assign(grid_columns * grid_rows, rock_tile);
    plan->corridor.assign(grid_columns * grid_rows, false);
    plan->rooms.clear();

    /* Walls are counted only once enough rooms stand: counting walks the whole grid. */
    int attempts = placement_attempts, walls = 0;
    room r;
    while (walls < min_wall_tiles && place_room(plan, stream, &attempts, &r)) {
        plan->rooms.push_back(r);
        carve_room(plan, r);
        if (plan->rooms.size() > 1)
            carve_corridor(plan, stream, plan->rooms[nearest_earlier_room(plan)], r);
        if (int(plan->rooms.size()) >= wanted_rooms)
            walls = raise_walls(plan);
    }
    const int room_count = int(plan->rooms.size());
    for (int i = 0; i < extra_corridors && room_count > 2; i++)
        carve_corridor(plan, stream, plan->rooms[random_between(stream, 0, room_count - 1)],
                       plan->rooms[random_between(stream, 0, room_count - 1)]);
    raise_pillars(plan);
    plan->wall_tiles = raise_walls(plan);
}
