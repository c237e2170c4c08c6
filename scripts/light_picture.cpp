/* Draws the README's pictures of a lit memory bitmap, headless: a tiled floor with crates on a
 * grid, darkened to a night-blue ambient level and lit by coloured lights whose shadows the
 * crates cast. Usage: light_picture FILE [KIND] (.bmp, .pcx or .tga, as save_bitmap writes),
 * KIND being "points" (point lights, the default), "hard-soft" (the lamps as points on the
 * left, as discs of radius 10 on the right) or "cones" (cone lamps with soft edges). */
#include "light_map.h"
#include "shrouder_set.h"

#include <allegro.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

/* Five cone lamps: direction, half angle and edge in degrees. */
struct cone_lamp {
    int x, y, radius, r, g, b;
    double direction, half_angle, edge;
};
static const cone_lamp cones[] = {
    {16, 16, 420, 255, 200, 120, 35, 18, 12},    {624, 24, 380, 120, 180, 255, 150, 25, 10},
    {304, 272, 260, 110, 255, 110, 270, 40, 15}, {560, 336, 300, 255, 90, 200, 200, 22, 8},
    {48, 336, 280, 255, 240, 160, 330, 30, 20},
};

static light_source lamp_source(const lamp &l, int size) {
    light_source s = {};
    s.x = l.x, s.y = l.y, s.radius = l.radius, s.r = l.r, s.g = l.g, s.b = l.b, s.size = size;
    return s;
}

static void add_cones(light_map *map, const shrouder_set *set) {
    for (const cone_lamp &c : cones) {
        light_source s = {};
        s.x = c.x, s.y = c.y, s.radius = c.radius, s.r = c.r, s.g = c.g, s.b = c.b, s.size = 6;
        s.falloff = FALLOFF_SMOOTH;
        s.direction = c.direction, s.half_angle = c.half_angle, s.edge = c.edge;
        add_light(map, set, &s);
    }
}

/* The lit scene: the floor and crates lit by the lamps of that kind, each lamp's point drawn
 * after the lighting so that it shows at full brightness. */
static BITMAP *lit_scene(const char *kind, int size) {
    BITMAP *bmp = create_bitmap(width, height);
    shrouder_set *set = create_shrouder_set();
    light_map *map = create_light_map(width, height);
    if (!bmp || !set || !map)
        exit(1);
    draw_floor(bmp);
    place_crates(bmp, set);
    clear_light_map(map, 20, 20, 40);
    const bool cone_kind = strcmp(kind, "cones") == 0;
    if (cone_kind)
        add_cones(map, set);
    else
        for (const lamp &l : lamps) {
            const light_source s = lamp_source(l, size);
            add_light(map, set, &s);
        }
    apply_light_map(bmp, map);
    if (cone_kind)
        for (const cone_lamp &c : cones)
            circlefill(bmp, c.x, c.y, 6, makecol(c.r, c.g, c.b));
    else
        for (const lamp &l : lamps)
            circlefill(bmp, l.x, l.y, size > 0 ? size : 3, makecol(l.r, l.g, l.b));
    destroy_light_map(map);
    destroy_shrouder_set(set);
    return bmp;
}

int main(int argc, char **argv) {
    const char *kind = argc == 3 ? argv[2] : "points";
    const bool side_by_side = strcmp(kind, "hard-soft") == 0;
    if (argc < 2 || argc > 3 ||
        (!side_by_side && strcmp(kind, "points") != 0 && strcmp(kind, "cones") != 0)) {
        fprintf(stderr, "usage: %s FILE.bmp [points|hard-soft|cones]\n", argv[0]);
        return 2;
    }
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
        return 1;
    set_color_depth(32);
    BITMAP *picture = lit_scene(kind, 0);
    if (side_by_side) {
        /* The same scene twice, with a dark gap: hard on the left, soft on the right. */
        const int gap = 8;
        BITMAP *soft = lit_scene(kind, 10), *both = create_bitmap(2 * width + gap, height);
        clear_to_color(both, makecol(0, 0, 0));
        blit(picture, both, 0, 0, 0, 0, width, height);
        blit(soft, both, 0, 0, width + gap, 0, width, height);
        destroy_bitmap(soft);
        destroy_bitmap(picture);
        picture = both;
    }
    const int saved = save_bitmap(argv[1], picture, NULL);
    destroy_bitmap(picture);
    if (saved != 0) {
        fprintf(stderr, "could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
END_OF_MAIN()
