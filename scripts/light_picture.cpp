/* Draws the README's picture of a lit memory bitmap, headless: a tiled floor with crates on a
 * grid, darkened to a night-blue ambient level and lit by coloured lights whose shadows the
 * crates cast. Usage: light_picture FILE (.bmp, .pcx or .tga, as save_bitmap writes). */
#include "light_map.h"
#include "shrouder_set.h"

#include <allegro.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

static const int width = 640, height = 400, cell = 32;

/* The crates: one string per row of cells, '#' for a crate. */
static const char *const crates[] = {
    "....................", "..##.......#........", "..#....#.......##...", ".......#....#.......",
    "...........#....#...", ".#...##..........#..", ".#.......#...##.....", "......#......#......",
    "..##.......#.....#..", "......#.........#...", "...#.......##.......", "....................",
    "....................",
};
static const int rows = sizeof crates / sizeof crates[0];

struct lamp {
    int x, y, radius, r, g, b;
};
static const lamp lamps[] = {
    {144, 112, 230, 255, 170, 70},  {464, 112, 190, 90, 160, 255}, {560, 304, 170, 255, 80, 200},
    {304, 272, 180, 110, 255, 110}, {48, 336, 150, 255, 240, 160},
};

static void draw_floor(BITMAP *bmp) {
    for (int y = 0; y < height; y += cell)
        for (int x = 0; x < width; x += cell) {
            const bool dark = (x / cell + y / cell) % 2;
            rectfill(bmp, x, y, x + cell - 1, y + cell - 1,
                     dark ? makecol(178, 170, 150) : makecol(200, 192, 170));
            rect(bmp, x, y, x + cell - 1, y + cell - 1, makecol(140, 132, 118));
        }
}

static void draw_crate(BITMAP *bmp, int x, int y) {
    rectfill(bmp, x, y, x + cell - 1, y + cell - 1, makecol(150, 100, 60));
    rect(bmp, x + 2, y + 2, x + cell - 3, y + cell - 3, makecol(205, 150, 95));
    line(bmp, x + 2, y + 2, x + cell - 3, y + cell - 3, makecol(205, 150, 95));
}

/* Draws the crates and adds each as a clockwise outline: lit from outside, a crate's own face
 * stays lit and it shades what lies behind it. */
static void place_crates(BITMAP *bmp, shrouder_set *set) {
    for (int row = 0; row < rows; row++)
        for (int column = 0; crates[row][column]; column++) {
            if (crates[row][column] != '#')
                continue;
            const int x = column * cell, y = row * cell;
            draw_crate(bmp, x, y);
            const int outline[] = {x, y, x + cell, y, x + cell, y + cell, x, y + cell};
            add_outline_to_set(set, 4, outline);
        }
}

int main(int argc, char **argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s FILE.bmp\n", argv[0]);
        return 2;
    }
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
        return 1;
    set_color_depth(32);
    BITMAP *bmp = create_bitmap(width, height);
    shrouder_set *set = create_shrouder_set();
    light_map *map = create_light_map(width, height);
    if (!bmp || !set || !map)
        return 1;
    draw_floor(bmp);
    place_crates(bmp, set);

    clear_light_map(map, 20, 20, 40);
    for (const lamp &l : lamps)
        add_point_light(map, set, l.x, l.y, l.radius, l.r, l.g, l.b);
    apply_light_map(bmp, map);
    /* Each light's point, drawn after the lighting so it shows at full brightness. */
    for (const lamp &l : lamps)
        circlefill(bmp, l.x, l.y, 3, makecol(l.r, l.g, l.b));

    const int saved = save_bitmap(argv[1], bmp, NULL);
    destroy_light_map(map);
    destroy_shrouder_set(set);
    destroy_bitmap(bmp);
    if (saved != 0) {
        fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
END_OF_MAIN()
