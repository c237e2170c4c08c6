/* The map of the world (M): one pixel a tile, showing only the tiles the player has seen, found
 * by line of sight through the level's walls set; the player and the view are drawn over it. */
#ifndef DUNGEON_FOG_MAP_H
#define DUNGEON_FOG_MAP_H

#include <vector>

struct BITMAP;
struct dungeon;
struct player;
struct view;

/* Floor tiles whose centre lies within this many pixels of the player's centre, and which the
 * player's centre sees, are seen. */
static const int sight_reach = 320;
/* Where the map stands on the screen: its top-left pixel, one pixel a tile. */
static const int map_margin = 8;

struct fog_map {
    std::vector<bool> seen; /* grid_columns * grid_rows, row by row */
    BITMAP *tiles;          /* the seen tiles as the map shows them, unseen ones black */
    int column, row;        /* the tile the player looked around from last */
};

/* The map at the current colour depth, nothing seen. False when memory runs out. */
bool create_fog_map(fog_map *map);
void destroy_fog_map(fog_map *map);

/* Forgets every tile seen: a new level. */
void clear_fog_map(fog_map *map);

/* Once the player stands on a tile other than the last one looked around from, marks the floor
 * tiles seen from its centre, and the wall tiles beside them. */
void look_around(fog_map *map, const dungeon *level, const player &p);

bool tile_seen(const fog_map *map, int column, int row);

/* The map's top-left corner on a screen `screen_w` wide: in the top-right corner, below the
 * status line. */
int map_x(int screen_w);
int map_y();

/* The map in its corner, framed, with the view's outline and the player's mark. */
void draw_fog_map(BITMAP *bmp, const fog_map *map, const player &p, const view &v);

#endif
