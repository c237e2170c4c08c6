/* A dungeon made from a seed: rooms joined by corridors on a grid of square tiles that fills
 * the 1280x720 window, and every wall tile in one shrouder set, inside clockwise boxes. */
#ifndef DUNGEON_GENERATE_H
#define DUNGEON_GENERATE_H

#include <stdint.h>
#include <vector>

struct shrouder_set;

static const int tile_size = 16;
static const int grid_columns = 80, grid_rows = 45;
static const int level_width = grid_columns * tile_size, level_height = grid_rows * tile_size;
/* The generator adds rooms until it has at least this many wall tiles. */
static const int min_wall_tiles = 800;

enum tile_kind : unsigned char { rock_tile, floor_tile, wall_tile };

struct room {
    int column, row, columns, rows;
};

struct tile_spot {
    int column, row;
};

struct dungeon {
    uint32_t seed = 0;
    std::vector<tile_kind> tiles; /* grid_columns * grid_rows, row by row */
    std::vector<bool> corridor;   /* the tiles that corridors were carved through */
    std::vector<room> rooms;
    std::vector<tile_spot> guards; /* one standing in each of the first few rooms */
    shrouder_set *walls = nullptr; /* one clockwise box a wall tile */
    int wall_tiles = 0;
};

/* Makes the dungeon of `seed` in `level`, replacing what it held. The same seed always makes
 * the same dungeon. False when memory runs out (the level then holds no walls). */
bool generate_dungeon(dungeon *level, uint32_t seed);

/* Frees the level's shrouder set. */
void free_dungeon(dungeon *level);

tile_kind tile_at(const dungeon *level, int column, int row);

bool is_corridor(const dungeon *level, int column, int row);

/* The centre of a tile in pixels. */
int tile_centre(int column_or_row);

/* A small, fast generator whose sequence is the same on every platform. */
struct random_stream {
    uint64_t state;
};

uint32_t next_random(random_stream *stream);

/* Uniform in lo .. hi, both included. */
int random_between(random_stream *stream, int lo, int hi);

#endif
