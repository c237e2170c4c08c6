#include "dungeon_frame.h"

#include <allegro.h>
#include <math.h>
#include <stdio.h>

#include "frame_rate.h"
#include "light_map.h"

struct rgb {
    int r, g, b;
};
static const rgb door_wood{176, 118, 64}, door_frame{72, 44, 24};
static const rgb lantern_colour{255, 214, 150}, glow_colour{150, 120, 90};
static const rgb guard_lantern{255, 236, 180};
static const int flame_radius = 3, dropped_ring_radius = 6, facing_mark = 10;
static const rgb cursor_ring{255, 127, 0}, cursor_dot{0, 255, 255};
static const rgb status_text{255, 255, 255};
static const int status_bar_height = 16;
/* How much of each frame's time the status line takes in: about the mean of the last ten. */
static const double sample_weight = 0.1;
static const double degrees_per_radian = 180.0 / M_PI;

static const int help_line_height = 14;
static const rgb help_back{16, 16, 26}, help_border{200, 170, 110}, help_title{255, 210, 120};
static const char *const help_lines[] = {
    "Arrows         walk",
    "Mouse          aim the lantern",
    "Left click     drop a light of the next colour on the floor",
    "Right click    take away the nearest dropped light",
    "+ / -          a longer or shorter lantern",
    "S              soft or hard lamps: wall lamps, lights, your glow",
    "M              show or hide the map of what you have seen",
    "Space          a new dungeon from a new seed",
    "V (held)       do not wait for the retrace",
    "H              show or hide this help",
    "Esc            quit",
    "",
    "Doors open as you come near. A guard in whose cone you stand",
    "sees you when over half of your glow reaches its eye (share 0.5):",
    "it turns red and stops.",
};
static const int help_line_count = sizeof help_lines / sizeof help_lines[0];
/* The title, a blank line, the lines, a blank line, the start line. */
static_assert(2 * help_padding + (help_line_count + 4) * help_line_height <= help_height,
              "the help's lines fit its panel");

static int colour(rgb c) {
    return makecol(c.r, c.g, c.b);
}

static int colour(const int *c) {
    return makecol(c[0], c[1], c[2]);
}

bool make_scene(scene *s, dungeon *level, fog_map *fog, frame_rate *counter) {
    *s = scene{};
    *fog = fog_map{};
    s->level = level;
    s->fog = fog;
    s->counter = counter;
    s->lantern_reach = lantern_reach;
    s->soft = true;
    s->stone = create_bitmap(world_width, world_height);
    s->baked = create_light_map(world_width, world_height);
    s->map = create_light_map(screen_width, screen_height);
    return s->stone && s->baked && s->map && create_fog_map(fog);
}

void free_scene(scene *s) {
    destroy_fog_map(s->fog);
    destroy_light_map(s->map);
    destroy_light_map(s->baked);
    if (s->stone)
        destroy_bitmap(s->stone);
}

int lights_in_world(const scene *s) {
    const int lantern_and_glow = 2;
    return int(s->level->wall_lamps.size() + s->level->guards.size()) + s->lamp_count +
           lantern_and_glow;
}

static int view_x(const scene *s) {
    return int(floor(s->at.x));
}

static int view_y(const scene *s) {
    return int(floor(s->at.y));
}

/* The part of each door still in its passage, before the light falls on it. */
static void draw_doors(BITMAP *bmp, const scene *s) {
    const int vx = view_x(s), vy = view_y(s);
    for (const door &d : s->level->doors) {
        int x0, y0, x1, y1;
        door_box(d, &x0, &y0, &x1, &y1);
        x0 = x0 > d.x0 ? x0 : d.x0;
        y0 = y0 > d.y0 ? y0 : d.y0;
        x1 = x1 < d.x1 ? x1 : d.x1;
        y1 = y1 < d.y1 ? y1 : d.y1;
        if (x0 >= x1 || y0 >= y1)
            continue;
        rectfill(bmp, x0 - vx, y0 - vy, x1 - 1 - vx, y1 - 1 - vy, colour(door_wood));
        rect(bmp, x0 - vx, y0 - vy, x1 - 1 - vx, y1 - 1 - vy, colour(door_frame));
    }
}

static light_source round_light(int x, int y, int radius, int size, rgb c) {
    light_source light{};
    light.x = x;
    light.y = y;
    light.radius = radius;
    light.r = c.r;
    light.g = c.g;
    light.b = c.b;
    light.size = size;
    light.falloff = FALLOFF_SMOOTH;
    return light;
}

static light_source cone_light(int x, int y, int radius, int size, double direction,
                               double half_angle, double edge, rgb c) {
    light_source light = round_light(x, y, radius, size, c);
    light.direction = direction;
    light.half_angle = half_angle;
    light.edge = edge;
    return light;
}

/* The lights that move, added where they touch the view, all at once on the map's threads;
 * returns how many were. */
static int add_moving_lights(scene *s) {
    const int vx = view_x(s), vy = view_y(s);
    const int px = int(lround(s->you.x)), py = int(lround(s->you.y));
    const double aim =
        atan2(s->aim_y + vy - s->you.y, s->aim_x + vx - s->you.x) * degrees_per_radian;
    std::vector<light_source> *lights = &s->in_view;
    lights->clear();
    list_light_in_view(lights,
                       cone_light(px, py, s->lantern_reach, lantern_size, aim, lantern_half_angle,
                                  lantern_edge, lantern_colour),
                       vx, vy, s->soft);
    list_light_in_view(lights, round_light(px, py, glow_reach, player_glow_size, glow_colour), vx,
                       vy, s->soft);
    for (const guard &g : s->level->guards)
        list_light_in_view(lights,
                           cone_light(int(lround(g.x)), int(lround(g.y)), guard_cone_reach,
                                      guard_lantern_size, g.facing, guard_cone_half_angle,
                                      guard_cone_edge, guard_lantern),
                           vx, vy, s->soft);
    for (int i = 0; i < s->lamp_count; i++) {
        const lamp &l = s->lamps[i];
        list_light_in_view(lights,
                           round_light(l.x, l.y, l.radius, moving_lamp_size, rgb{l.r, l.g, l.b}),
                           vx, vy, s->soft);
    }
    add_lights(s->map, s->level->walls, lights->data(), int(lights->size()));
    return int(lights->size());
}

static double smoothed(double shown, double sample) {
    return shown + (sample - shown) * sample_weight;
}

/* The map started from the baked lamps at the view, the moving lights added, applied. */
static void light_the_stone(BITMAP *bmp, scene *s) {
    const double start = elapsed_ms();
    set_light_map_view(s->map, view_x(s), view_y(s));
    clear_light_map_from(s->map, s->baked);
    s->lights_in_view = add_moving_lights(s);
    for (const wall_lamp &l : s->level->wall_lamps)
        s->lights_in_view += light_in_view(l.x, l.y, wall_lamp_reach, view_x(s), view_y(s));
    const double lit = elapsed_ms();
    apply_light_map(bmp, s->map);
    const double applied = elapsed_ms();
    s->shown.lighting_ms = smoothed(s->shown.lighting_ms, lit - start);
    s->shown.apply_ms = smoothed(s->shown.apply_ms, applied - lit);
}

static void draw_flames(BITMAP *bmp, const scene *s) {
    const int vx = view_x(s), vy = view_y(s);
    for (const wall_lamp &l : s->level->wall_lamps)
        if (light_in_view(l.x, l.y, flame_radius, vx, vy))
            circlefill(bmp, l.x - vx, l.y - vy, flame_radius, makecol(l.r, l.g, l.b));
    for (int i = 0; i < s->lamp_count; i++) {
        const lamp &l = s->lamps[i];
        const int c = makecol(l.r, l.g, l.b);
        circlefill(bmp, l.x - vx, l.y - vy, flame_radius, c);
        putpixel(bmp, l.x - vx, l.y - vy, makecol(255, 255, 255));
        if (i >= s->lamp_count - s->dropped)
            circle(bmp, l.x - vx, l.y - vy, dropped_ring_radius, c);
    }
}

static void draw_guards(BITMAP *bmp, const scene *s) {
    const int vx = view_x(s), vy = view_y(s);
    for (const guard &g : s->level->guards) {
        const int x = int(lround(g.x)) - vx, y = int(lround(g.y)) - vy;
        if (x < -facing_mark || y < -facing_mark || x > bmp->w + facing_mark ||
            y > bmp->h + facing_mark)
            continue;
        const double a = g.facing / degrees_per_radian;
        line(bmp, x, y, x + int(lround(cos(a) * facing_mark)),
             y + int(lround(sin(a) * facing_mark)), makecol(0, 0, 0));
        circlefill(bmp, x, y, guard_radius + 1, makecol(0, 0, 0));
        circlefill(bmp, x, y, guard_radius,
                   colour(g.alarmed ? guard_alarmed_colour : guard_calm_colour));
    }
}

static void draw_player(BITMAP *bmp, const scene *s) {
    const int x = int(lround(s->you.x)) - view_x(s), y = int(lround(s->you.y)) - view_y(s);
    circlefill(bmp, x, y, player_radius + 1, makecol(0, 0, 0));
    circlefill(bmp, x, y, player_radius, colour(player_colour));
}

static void draw_cursor(BITMAP *bmp, const scene *s) {
    circle(bmp, s->aim_x, s->aim_y, cursor_radius, colour(cursor_ring));
    putpixel(bmp, s->aim_x, s->aim_y, colour(cursor_dot));
}

static void draw_status(BITMAP *bmp, scene *s) {
    char rate[frame_rate_text_size];
    frame_rate_tick(s->counter, elapsed_ms(), rate);
    char text[160];
    snprintf(text, sizeof text,
             "%s | lights %3d / %4d | %5d wall tiles | ms a frame: lighting %6.2f  apply %6.2f "
             "| H: help",
             rate, s->lights_in_view, lights_in_world(s), s->level->wall_tiles,
             s->shown.lighting_ms, s->shown.apply_ms);
    rectfill(bmp, 0, 0, bmp->w - 1, status_bar_height - 1, makecol(0, 0, 0));
    textout_ex(bmp, font, text, status_x, status_y, colour(status_text), -1);
}

static void draw_help(BITMAP *bmp, const scene *s) {
    const int x = help_x, y = help_y, seed = int(s->level->seed);
    const int px = int(lround(s->you.x)), py = int(lround(s->you.y));
    rectfill(bmp, x, y, x + help_width - 1, y + help_height - 1, colour(help_back));
    rect(bmp, x, y, x + help_width - 1, y + help_height - 1, colour(help_border));
    char line[96];
    snprintf(line, sizeof line, "Dungeon %u, you at %d %d, lamps %s", unsigned(seed), px, py,
             s->soft ? "soft" : "hard");
    textout_ex(bmp, font, line, x + help_padding, y + help_padding, colour(help_title), -1);
    for (int i = 0; i < help_line_count; i++)
        textout_ex(bmp, font, help_lines[i], x + help_padding,
                   y + help_padding + (i + 2) * help_line_height, colour(status_text), -1);
    snprintf(line, sizeof line, "Start here again: dungeon %u %d %d %d", unsigned(seed),
             s->lamp_count - s->dropped, px, py);
    textout_ex(bmp, font, line, x + help_padding,
               y + help_padding + (help_line_count + 3) * help_line_height, colour(help_title), -1);
}

void draw_dungeon_frame(BITMAP *bmp, scene *s) {
    blit(s->stone, bmp, view_x(s), view_y(s), 0, 0, bmp->w, bmp->h);
    draw_doors(bmp, s);
    light_the_stone(bmp, s);
    draw_flames(bmp, s);
    draw_guards(bmp, s);
    draw_player(bmp, s);
    draw_cursor(bmp, s);
    draw_status(bmp, s);
    if (s->map_shown)
        draw_fog_map(bmp, s->fog, s->you, s->at);
    if (s->help_shown)
        draw_help(bmp, s);
}
