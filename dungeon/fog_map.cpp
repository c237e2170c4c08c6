#include "fog_map.h"

#include <allegro.h>
#include <math.h>

#include "generate.h"
#include "player.h"
#include "shrouder_set.h"

static const int seen_floor[] = {110, 96, 80}, seen_wall[] = {210, 200, 180};
static const int frame_colour[] = {200, 170, 110}, view_colour[] = {255, 230, 60};
static const int player_mark[] = {0, 255, 0};
static const int player_mark_radius = 2;
static const int status_line_height = 16;

static int colour(const int *c) {
    return makecol(c[0], c[1], c[2]);
}

bool create_fog_map(fog_map *map) {
    map->tiles = create_bitmap(grid_columns, grid_rows);
    if (!map->tiles)
        return false;
    clear_fog_map(map);
    return true;
}

void destroy_fog_map(fog_map *map) {
    if (map->tiles)
        destroy_bitmap(map->tiles);
    map->tiles = nullptr;
}

void clear_fog_map(fog_map *map) {
    map->seen.assign(grid_columns * grid_rows, false);
    clear_to_color(map->tiles, makecol(0, 0, 0));
    map->column = map->row = -1;
}

bool tile_seen(const fog_map *map, int column, int row) {
    return column >= 0 && column < grid_columns && row >= 0 && row < grid_rows &&
           map->seen[tile_index(column, row)];
}

static void see(fog_map *map, const dungeon *level, int column, int row) {
    if (column < 0 || column >= grid_columns || row < 0 || row >= grid_rows ||
        map->seen[tile_index(column, row)])
        return;
    const tile_kind kind = tile_at(level, column, row);
    map->seen[tile_index(column, row)] = true;
    putpixel(map->tiles, column, row, colour(kind == floor_tile ? seen_floor : seen_wall));
}

void look_around(fog_map *map, const dungeon *level, const player &p) {
    const int column = int(p.x) / tile_size, row = int(p.y) / tile_size;
    if (column == map->column && row == map->row)
        return;
    map->column = column;
    map->row = row;
    const int reach = sight_reach / tile_size + 1;
    const int x = int(lround(p.x)), y = int(lround(p.y));
    for (int r = row - reach; r <= row + reach; r++)
        for (int c = column - reach; c <= column + reach; c++) {
            if (tile_at(level, c, r) != floor_tile || map->seen[tile_index(c, r)])
                continue;
            const int dx = tile_centre(c) - x, dy = tile_centre(r) - y;
            if (dx * dx + dy * dy > sight_reach * sight_reach ||
                !is_lit_by(level->walls, x, y, tile_centre(c), tile_centre(r)))
                continue;
            see(map, level, c, r);
            for (int dr = -1; dr <= 1; dr++)
                for (int dc = -1; dc <= 1; dc++)
                    if (tile_at(level, c + dc, r + dr) == wall_tile)
                        see(map, level, c + dc, r + dr);
        }
}

int map_x(int screen_w) {
    return screen_w - map_margin - grid_columns;
}

int map_y() {
    return status_line_height + map_margin;
}

void draw_fog_map(BITMAP *bmp, const fog_map *map, const player &p, const view &v) {
    const int x = map_x(bmp->w), y = map_y();
    rect(bmp, x - 1, y - 1, x + grid_columns, y + grid_rows, colour(frame_colour));
    blit(map->tiles, bmp, 0, 0, x, y, grid_columns, grid_rows);
    const int vx = x + int(v.x) / tile_size, vy = y + int(v.y) / tile_size;
    rect(bmp, vx, vy, vx + screen_width / tile_size - 1, vy + screen_height / tile_size - 1,
         colour(view_colour));
    circlefill(bmp, x + int(p.x) / tile_size, y + int(p.y) / tile_size, player_mark_radius,
               colour(player_mark));
}
