/* A dungeon's layout made from a seed: rooms joined by corridors on a grid of square tiles, a
 * world of 4 x 4 screens of 1280x720, walls raised round the floor. World coordinates are pixels: x
 * grows to the right, y downward, (0, 0) is the world's top-left corner; tile (column, row) covers
 * x from column * tile_size, y from row * tile_size, tile_size pixels each way. */
#ifndef DUNGEON_LAYOUT_H
#define DUNGEON_LAYOUT_H

#include <stdint.h>
#include <vector>

static const int tile_size = 16;
static const int screen_width = 1280, screen_height = 720;
static const int screens_across = 4, screens_down = 4;
static const int world_width = screens_across * screen_width;
static const int world_height = screens_down * screen_height;
static const int grid_columns = world_width / tile_size, grid_rows = world_height / tile_size;
/* The generator adds rooms until it has at least this many wall tiles. */
static const int min_wall_tiles = 10000;

enum tile_kind : unsigned char { rock_tile, floor_tile, wall_tile };

struct room {
    int column, row, columns, rows;
};

struct tile_spot {
    int column, row;
};

/* The tiles, the rooms and the corridors: what the doors, guards and lamps are placed by. */
struct layout {
    uint32_t seed = 0;
    std::vector<tile_kind> tiles; /* grid_columns * grid_rows, row by row */
    std::vector<bool> corridor;   /* the tiles that corridors were carved through */
    std::vector<room> rooms;      /* each joined to an earlier one by a corridor */
    int wall_tiles = 0;
};

/* A small, fast generator whose sequence is the same on every platform. */
struct random_stream {
    uint64_t state;
};

uint32_t next_random(random_stream *stream);

/* Uniform in lo .. hi, both included. */
int random_between(random_stream *stream, int lo, int hi);

/* Carves the rooms and corridors of the stream's seed into `plan`, replacing what it held, and
 * raises the walls round them; the stream goes on to place what stands in them. */
void carve_layout(layout *plan, random_stream *stream, uint32_t seed);

/* The place of tile (column, row) in the layout's vectors. */
inline int tile_index(int column, int row) {
    return row * grid_columns + column;
}

/* Rock outside the grid. */
tile_kind tile_at(const layout *plan, int column, int row);

bool is_corridor(const layout *plan, int column, int row);

/* The centre of a tile in pixels. */
int tile_centre(int column_or_row);

#endif
