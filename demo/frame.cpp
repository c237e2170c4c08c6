#include "frame.h"

#include <allegro.h>

#include "frame_rate.h"
#include "scene.h"
#include "tenebrant.h"

static const int cursor_radius = 7;

static void label(BITMAP *bmp, const char *text, int x, int y, int colour) {
    textout_ex(bmp, font, text, x, y, colour, makecol(0, 0, 0));
}

static void segment_line(BITMAP *bmp, const int *s, int colour) {
    line(bmp, s[0], s[1], s[2], s[3], colour);
}

/* Each item casts from the light; a segment's line is drawn after its shadow so it stays
 * visible, a filled shape before its own shadows so its winding shows. */
static void draw_scene(BITMAP *bmp, int lx, int ly) {
    const int yellow = makecol(255, 255, 0), cyan = makecol(0, 255, 255);
    const int red = makecol(255, 0, 0), grey = makecol(127, 127, 127);
    const int magenta = makecol(255, 0, 255);
    const int *two_way = two_way_segment, *one_way = one_way_segment;

    clear_to_color(bmp, makecol(0, 127, 0));

    add_2_way_shrouder(bmp, lx, ly, two_way[0], two_way[1], two_way[2], two_way[3]);
    label(bmp, "2-way", 80, 230, yellow);
    segment_line(bmp, two_way, yellow);

    add_shrouder(bmp, lx, ly, one_way[0], one_way[1], one_way[2], one_way[3]);
    label(bmp, "1-way", 490, 340, cyan);
    segment_line(bmp, one_way, cyan);

    polygon(bmp, foo2_count, foo2, red);
    add_shrouder(bmp, lx, ly, foo2_count, foo2);
    label(bmp, "Counter CW", 100, 410, red);

    polygon(bmp, foo_count, foo, grey);
    add_shrouder(bmp, lx, ly, foo_count, foo);
    label(bmp, "ClockWise", 280, 240, grey);

    /* The label goes first so that the maze's own shadows can cover it. */
    polygon(bmp, spiral_maze_count, spiral_maze, magenta);
    label(bmp, "concave :)", 505, 50, magenta);
    add_shrouder(bmp, lx, ly, spiral_maze_count, spiral_maze);
}

static void draw_frame_rate(BITMAP *bmp, frame_rate *counter) {
    char text[frame_rate_text_size];
    frame_rate_tick(counter, elapsed_ms(), text);
    label(bmp, text, 16, 48, makecol(255, 255, 255));
}

/* Drawn after every shadow, so never covered. */
static void draw_cursor_and_credits(BITMAP *bmp, int lx, int ly) {
    const int white = makecol(255, 255, 255);

    circle(bmp, lx, ly, cursor_radius, makecol(255, 127, 0));
    putpixel(bmp, lx, ly, makecol(0, 255, 255));

    label(bmp, "Tenebrant by Orvellan", 16, 16, white);
    label(bmp, "http://orvellan.example.net/tenebrant/", 16, 32, white);
    label(bmp, "move mouse around", 260, 120, white);
}

void draw_frame(BITMAP *bmp, int light_x, int light_y, frame_rate *counter) {
    draw_scene(bmp, light_x, light_y);
    draw_frame_rate(bmp, counter);
    draw_cursor_and_credits(bmp, light_x, light_y);
}
