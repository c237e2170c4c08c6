/* The dungeon: a level of rooms and corridors made from a seed, a torch on the pointer, lights
 * wandering the corridors and guards that turn red while they see the torch. The keys are
 * listed in the help panel (H).
 *
 * Usage: dungeon [SEED [WANDERERS]]: the dungeon of SEED (a new one each start without it),
 * with WANDERERS wandering lights (10 without it, 0 to 24). */
#include <allegro.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "dungeon_frame.h"
#include "frame_rate.h"
#include "light_map.h"
#include "wanderers.h"

static const int screen_width = level_width, screen_height = level_height;
static const int default_wanderers = 10, max_wanderers = 24;
static const int max_dropped = 32;
static const int wanderer_radius = 170;
static const int torch_radius = 280, min_torch_radius = 40, max_torch_radius = 800;
static const int torch_radius_step = 40;
static const lamp warm_torch{0, 0, torch_radius, 255, 196, 120};

struct lamp_colour {
    int r, g, b;
};
static const lamp_colour palette[] = {{255, 70, 60},  {70, 255, 100}, {80, 120, 255},
                                      {255, 230, 60}, {255, 80, 230}, {60, 230, 255},
                                      {255, 150, 40}, {170, 100, 255}};
static const int palette_size = sizeof palette / sizeof palette[0];

/* Set when the window's close button is pressed (from the library's input thread) or on
 * Ctrl+C or a termination signal: the loop then ends as it does on Esc. */
static volatile sig_atomic_t quit_requested = 0;

static void request_quit() {
    quit_requested = 1;
}

static void request_quit_on_signal(int) {
    quit_requested = 1;
}

struct options {
    uint32_t seed;
    int wanderers;
};

/* False on anything but up to two numbers in range. */
static bool read_options(int argc, char **argv, options *chosen) {
    chosen->seed = uint32_t(time(nullptr));
    chosen->wanderers = default_wanderers;
    if (argc > 3)
        return false;
    char *end = nullptr;
    if (argc > 1) {
        const unsigned long seed = strtoul(argv[1], &end, 10);
        if (*argv[1] == '\0' || *argv[1] == '-' || *end != '\0' || seed > UINT32_MAX)
            return false;
        chosen->seed = uint32_t(seed);
    }
    if (argc > 2) {
        const long wanderers = strtol(argv[2], &end, 10);
        if (*argv[2] == '\0' || *end != '\0' || wanderers < 0 || wanderers > max_wanderers)
            return false;
        chosen->wanderers = int(wanderers);
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

/* Everything the loop keeps, made once. */
struct game {
    dungeon level;
    wanderer wanderers[max_wanderers];
    int wanderer_count;
    lamp lamps[max_wanderers + max_dropped];
    int dropped;
    int next_colour;
    random_stream seeds;
    dungeon_view view;
};

static lamp coloured_lamp(int x, int y, int radius, int colour_index) {
    const lamp_colour c = palette[colour_index % palette_size];
    return {x, y, radius, c.r, c.g, c.b};
}

static bool new_dungeon(game *g, BITMAP *stone, uint32_t seed) {
    if (!generate_dungeon(&g->level, seed))
        return false;
    draw_stone(stone, &g->level);
    place_wanderers(&g->level, g->wanderers, g->wanderer_count);
    for (int i = 0; i < g->wanderer_count; i++)
        g->lamps[i] = coloured_lamp(0, 0, wanderer_radius, i);
    g->dropped = 0;
    return true;
}

static void drop_lamp(game *g, int x, int y) {
    if (g->dropped == max_dropped)
        return;
    g->lamps[g->wanderer_count + g->dropped++] =
        coloured_lamp(x, y, wanderer_radius, g->next_colour++);
}

static void remove_nearest_dropped(game *g, int x, int y) {
    lamp *dropped = g->lamps + g->wanderer_count;
    int nearest = -1;
    long nearest_distance = 0;
    for (int i = 0; i < g->dropped; i++) {
        const long dx = dropped[i].x - x, dy = dropped[i].y - y;
        if (nearest < 0 || dx * dx + dy * dy < nearest_distance) {
            nearest = i;
            nearest_distance = dx * dx + dy * dy;
        }
    }
    if (nearest < 0)
        return;
    dropped[nearest] = dropped[--g->dropped];
}

/* Keys and buttons act once per press, however long they are held. */
struct edges {
    bool held[KEY_MAX];
    int buttons;
};

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

static int clamp_radius(int radius) {
    return radius < min_torch_radius   ? min_torch_radius
           : radius > max_torch_radius ? max_torch_radius
                                       : radius;
}

/* Acts on this frame's presses; false when a new dungeon could not be made. */
static bool handle_input(game *g, edges *e, BITMAP *stone) {
    if (clicked(e, 1))
        drop_lamp(g, mouse_x, mouse_y);
    if (clicked(e, 2))
        remove_nearest_dropped(g, mouse_x, mouse_y);
    /* Every key is read each frame, so that each keeps its own held state. */
    const int larger = pressed(e, KEY_EQUALS) + pressed(e, KEY_PLUS_PAD);
    const int smaller = pressed(e, KEY_MINUS) + pressed(e, KEY_MINUS_PAD);
    g->view.torch.radius =
        clamp_radius(g->view.torch.radius + (larger - smaller) * torch_radius_step);
    if (pressed(e, KEY_H))
        g->view.help_shown = !g->view.help_shown;
    if (pressed(e, KEY_SPACE))
        return new_dungeon(g, stone, next_random(&g->seeds));
    return true;
}

static void follow_wanderers(game *g, double elapsed) {
    move_wanderers(&g->level, g->wanderers, g->wanderer_count, elapsed);
    for (int i = 0; i < g->wanderer_count; i++) {
        g->lamps[i].x = int(g->wanderers[i].x);
        g->lamps[i].y = int(g->wanderers[i].y);
    }
}

static int run(game *g, BITMAP *back_buffer, BITMAP *stone) {
    static edges e;
    double last = elapsed_ms();
    for (;;) {
        poll_keyboard();
        if (key[KEY_ESC] || quit_requested)
            return 0;
        poll_mouse();
        if (!handle_input(g, &e, stone))
            return fail(true, no_memory_message);
        const double now = elapsed_ms();
        follow_wanderers(g, now - last);
        last = now;
        g->view.torch.x = mouse_x;
        g->view.torch.y = mouse_y;
        g->view.lamp_count = g->wanderer_count + g->dropped;
        g->view.dropped = g->dropped;

        draw_dungeon_frame(back_buffer, &g->view);

        if (!key[KEY_V])
            vsync();
        blit(back_buffer, screen, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
    }
}

int main(int argc, char **argv) {
    static game g;
    static frame_rate counter;
    options chosen;
    if (!read_options(argc, argv, &chosen)) {
        fprintf(stderr,
                "usage: dungeon [SEED [WANDERERS]]  (SEED from 0 to %u, WANDERERS from "
                "0 to %d)\n",
                unsigned(UINT32_MAX), max_wanderers);
        return 2;
    }

    /* Without a display the library cannot start, and installing input on top of it crashes. */
    if (allegro_init() != 0)
        return fail(false, no_window_message);
    install_keyboard();
    install_mouse();
    if (set_video_mode() != 0)
        return fail(true, no_window_message);
    BITMAP *back_buffer = create_bitmap(SCREEN_W, SCREEN_H);
    BITMAP *stone = create_bitmap(SCREEN_W, SCREEN_H);
    light_map *map = create_light_map(SCREEN_W, SCREEN_H);
    g.wanderer_count = chosen.wanderers;
    g.seeds = random_stream{chosen.seed};
    if (!back_buffer || !stone || !map || !new_dungeon(&g, stone, chosen.seed))
        return fail(true, no_memory_message);
    g.view = dungeon_view{&g.level,
                          stone,
                          map,
                          warm_torch,
                          g.lamps,
                          0,
                          0,
                          false,
                          &counter,
                          0,
                          frame_timings{0, 0, 0}};
    set_close_button_callback(request_quit);
    /* The library's own handlers shut it down from inside the signal, racing the frame loop's
     * drawing: the program then aborts or crashes. Ending the loop shuts down cleanly. */
    signal(SIGINT, request_quit_on_signal);
    signal(SIGTERM, request_quit_on_signal);

    const int status = run(&g, back_buffer, stone);

    clear_keybuf();
    free_dungeon(&g.level);
    destroy_light_map(map);
    destroy_bitmap(stone);
    destroy_bitmap(back_buffer);
    return status;
}
END_OF_MAIN()
