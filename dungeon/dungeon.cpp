/* The dungeon: a world of 4 x 4 screens made from a seed, walked through by a torch bearer
 * whose lantern the pointer aims, with wall lamps, lights wandering the corridors, doors that
 * slide open and guards that patrol. The keys are listed in the help panel (H).
 *
 * Usage: dungeon [SEED [WANDERERS [X Y]]]: the dungeon of SEED (a new one each start without
 * it), with WANDERERS wandering lights (16 without it, 0 to 64), the player starting at the
 * world point (X, Y), or in the first room when the player does not fit there. */
#include <allegro.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "dungeon_frame.h"
#include "frame_rate.h"
#include "light_map.h"
#include "motion.h"
#include "program_shell.h"
#include "stone.h"

static const int default_wanderers = 16, max_wanderers = 64;
static const int max_dropped = 32;
static const int wanderer_radius = 170;
static const int lantern_step = 40;

struct lamp_colour {
    int r, g, b;
};
static const lamp_colour palette[] = {{255, 70, 60},  {70, 255, 100}, {80, 120, 255},
                                      {255, 230, 60}, {255, 80, 230}, {60, 230, 255},
                                      {255, 150, 40}, {170, 100, 255}};
static const int palette_size = sizeof palette / sizeof palette[0];

struct options {
    uint32_t seed;
    int wanderers;
    bool start_given;
    int start_x, start_y;
};

static bool read_number(const char *text, long lo, long hi, long *value) {
    char *end = nullptr;
    *value = strtol(text, &end, 10);
    return *text != '\0' && *end == '\0' && *value >= lo && *value <= hi;
}

/* False on anything but the numbers of the usage, in range. */
static bool read_options(int argc, char **argv, options *chosen) {
    *chosen = options{uint32_t(time(nullptr)), default_wanderers, false, 0, 0};
    if (argc > 5 || argc == 4)
        return false;
    long value = 0;
    if (argc > 1) {
        char *end = nullptr;
        const unsigned long seed = strtoul(argv[1], &end, 10);
        if (*argv[1] == '\0' || *argv[1] == '-' || *end != '\0' || seed > UINT32_MAX)
            return false;
        chosen->seed = uint32_t(seed);
    }
    if (argc > 2) {
        if (!read_number(argv[2], 0, max_wanderers, &value))
            return false;
        chosen->wanderers = int(value);
    }
    if (argc > 4) {
        long y = 0;
        if (!read_number(argv[3], 0, world_width - 1, &value) ||
            !read_number(argv[4], 0, world_height - 1, &y))
            return false;
        *chosen = options{chosen->seed, chosen->wanderers, true, int(value), int(y)};
    }
    return true;
}

/* The desktop's own depth, so that the window needs no conversion and shows true colours. */
static int set_video_mode() {
    const int depth = desktop_color_depth();
    if (depth != 15 && depth != 16 && depth != 24 && depth != 32)
        return -1;
    set_color_depth(depth);
    return set_gfx_mode(GFX_AUTODETECT_WINDOWED, screen_width, screen_height, 0, 0);
}

static const char no_window_message[] =
    "Error: no display, or no 1280x720 window at the desktop's colour depth (15, 16, 24 or 32 "
    "bpp)\n";
static const char no_memory_message[] = "Error: not enough memory for the dungeon\n";

static int fail(bool library_up, const char *message) {
    if (library_up)
        set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
    allegro_message("%s", message);
    return 1;
}

/* Keys and buttons act once per press, however long they are held. */
struct edges {
    bool held[KEY_MAX];
    int buttons;
};

/* Everything the loop keeps, made once. */
struct game {
    dungeon level;
    wanderer wanderers[max_wanderers];
    int wanderer_count;
    lamp lamps[max_wanderers + max_dropped];
    door_opener openers[1 + max_wanderers]; /* the player, then the wanderers */
    int next_colour;
    random_stream seeds;
    fog_map fog;
    scene frame;
    edges input;
    double last_ms;
    bool failed;
};

static lamp coloured_lamp(int x, int y, int colour_index) {
    const lamp_colour c = palette[colour_index % palette_size];
    return {x, y, wanderer_radius, c.r, c.g, c.b};
}

/* The middle of the first room, or the first tile of it where the player fits. */
static player first_room_start(const dungeon *level) {
    const room &r = level->rooms.at(0);
    player p{double(tile_centre(r.column + r.columns / 2)),
             double(tile_centre(r.row + r.rows / 2))};
    for (int i = 0; !body_fits(level, p.x, p.y) && i < r.columns * r.rows; i++)
        p = {double(tile_centre(r.column + i % r.columns)),
             double(tile_centre(r.row + i / r.columns))};
    return p;
}

static bool new_dungeon(game *g, uint32_t seed, const player *start) {
    scene &s = g->frame;
    if (!generate_dungeon(&g->level, seed))
        return false;
    draw_stone(s.stone, &g->level);
    bake_wall_lamps(s.baked, &g->level, s.soft);
    place_wanderers(&g->level, g->wanderers, g->wanderer_count);
    for (int i = 0; i < g->wanderer_count; i++)
        g->lamps[i] = coloured_lamp(0, 0, i);
    s.dropped = 0;
    s.lamp_count = g->wanderer_count;
    s.you =
        start && body_fits(&g->level, start->x, start->y) ? *start : first_room_start(&g->level);
    s.at = view_on(s.you);
    clear_fog_map(&g->fog);
    return true;
}

/* A lamp is dropped only where its flame stands clear of the walls, since a lamp whose disc
 * crosses a wall lights the wall's far side too. */
static void drop_lamp(game *g, int x, int y) {
    scene &s = g->frame;
    if (s.dropped == max_dropped || !box_fits(&g->level, x, y, moving_lamp_size + 1))
        return;
    g->lamps[s.lamp_count++] = coloured_lamp(x, y, g->next_colour++);
    s.dropped++;
}

static void remove_nearest_dropped(game *g, int x, int y) {
    scene &s = g->frame;
    lamp *dropped = g->lamps + g->wanderer_count;
    int nearest = -1;
    long nearest_distance = 0;
    for (int i = 0; i < s.dropped; i++) {
        const long dx = dropped[i].x - x, dy = dropped[i].y - y;
        if (nearest < 0 || dx * dx + dy * dy < nearest_distance) {
            nearest = i;
            nearest_distance = dx * dx + dy * dy;
        }
    }
    if (nearest < 0)
        return;
    dropped[nearest] = dropped[--s.dropped];
    s.lamp_count--;
}

static bool pressed(edges *e, int scancode) {
    const bool down = key[scancode] != 0, was = e->held[scancode];
    e->held[scancode] = down;
    return down && !was;
}

static bool clicked(edges *e, int button) {
    const bool down = (mouse_b & button) != 0, was = (e->buttons & button) != 0;
    e->buttons = down ? e->buttons | button : e->buttons & ~button;
    return down && !was;
}

static int clamp_reach(int reach) {
    return reach < min_lantern_reach   ? min_lantern_reach
           : reach > max_lantern_reach ? max_lantern_reach
                                       : reach;
}

/* -1, 0 or 1 along one axis from two keys. */
static int axis(int less, int more) {
    return (key[more] != 0) - (key[less] != 0);
}

/* Acts on this frame's presses; false when a new dungeon could not be made. */
static bool handle_presses(game *g) {
    edges *e = &g->input;
    scene &s = g->frame;
    const int world_x = mouse_x + int(floor(s.at.x)), world_y = mouse_y + int(floor(s.at.y));
    if (clicked(e, 1))
        drop_lamp(g, world_x, world_y);
    if (clicked(e, 2))
        remove_nearest_dropped(g, world_x, world_y);
    /* Every key is read each frame, so that each keeps its own held state. */
    const int longer = pressed(e, KEY_EQUALS) + pressed(e, KEY_PLUS_PAD);
    const int shorter = pressed(e, KEY_MINUS) + pressed(e, KEY_MINUS_PAD);
    s.lantern_reach = clamp_reach(s.lantern_reach + (longer - shorter) * lantern_step);
    if (pressed(e, KEY_H))
        s.help_shown = !s.help_shown;
    if (pressed(e, KEY_M))
        s.map_shown = !s.map_shown;
    if (pressed(e, KEY_S)) {
        s.soft = !s.soft;
        bake_wall_lamps(s.baked, &g->level, s.soft);
    }
    if (pressed(e, KEY_SPACE))
        return new_dungeon(g, next_random(&g->seeds), nullptr);
    return true;
}

/* Walks the player, then moves the view, the guards, the wandering lights and their lamps,
 * and the doors after it. */
static void move_world(game *g, double elapsed) {
    scene &s = g->frame;
    walk_player(&g->level, &s.you, axis(KEY_LEFT, KEY_RIGHT), axis(KEY_UP, KEY_DOWN), elapsed);
    follow_player(&s.at, s.you, elapsed);
    move_level(&g->level, g->wanderers, g->wanderer_count, g->openers, s.you.x, s.you.y, elapsed);
    for (int i = 0; i < g->wanderer_count; i++) {
        g->lamps[i].x = int(g->wanderers[i].x);
        g->lamps[i].y = int(g->wanderers[i].y);
    }
    look_around(&g->fog, &g->level, s.you);
}

static bool draw_game_frame(BITMAP *back_buffer, void *context) {
    game *g = static_cast<game *>(context);
    if (!handle_presses(g)) {
        g->failed = true;
        return false;
    }
    const double now = elapsed_ms();
    move_world(g, now - g->last_ms);
    g->last_ms = now;
    g->frame.aim_x = mouse_x;
    g->frame.aim_y = mouse_y;
    draw_dungeon_frame(back_buffer, &g->frame);
    return true;
}

int main(int argc, char **argv) {
    static game g;
    static frame_rate counter;
    options chosen;
    if (!read_options(argc, argv, &chosen)) {
        fprintf(stderr,
                "usage: dungeon [SEED [WANDERERS [X Y]]]  (SEED from 0 to %u, WANDERERS from 0 "
                "to %d, X from 0 to %d, Y from 0 to %d)\n",
                unsigned(UINT32_MAX), max_wanderers, world_width - 1, world_height - 1);
        return 2;
    }

    if (!start_program_shell())
        return fail(false, no_window_message);
    if (set_video_mode() != 0)
        return fail(true, no_window_message);
    BITMAP *back_buffer = create_bitmap(SCREEN_W, SCREEN_H);
    scene &s = g.frame;
    const bool made = make_scene(&s, &g.level, &g.fog, &counter);
    s.lamps = g.lamps;
    g.wanderer_count = chosen.wanderers;
    g.seeds = random_stream{chosen.seed};
    const player start{double(chosen.start_x), double(chosen.start_y)};
    if (!back_buffer || !made ||
        !new_dungeon(&g, chosen.seed, chosen.start_given ? &start : nullptr))
        return fail(true, no_memory_message);
    catch_quit_requests();
    g.last_ms = elapsed_ms();

    run_frame_loop(back_buffer, draw_game_frame, &g);

    clear_keybuf();
    free_dungeon(&g.level);
    free_scene(&s);
    destroy_bitmap(back_buffer);
    return g.failed ? fail(true, no_memory_message) : 0;
}
END_OF_MAIN()
