/* The demo: the mouse is a point light over a fixed scene of five occluders. Esc quits; while
 * V is held the loop does not wait for the vertical retrace. */
#include <allegro.h>
#include <errno.h>
#include <signal.h>
#include <stdlib.h>

#include "frame_rate.h"
#include "scene.h"
#include "tenebrant.h"

static const int screen_width = 640;
static const int screen_height = 480;
static const int cursor_radius = 7;

/* Set when the window's close button is pressed (from the library's input thread) or on
 * Ctrl+C or a termination signal: the loop then ends as it does on Esc. */
static volatile sig_atomic_t quit_requested = 0;

static void request_quit() {
    quit_requested = 1;
}

static void request_quit_on_signal(int) {
    quit_requested = 1;
}

static void label(BITMAP *bmp, const char *text, int x, int y, int colour) {
    textout_ex(bmp, font, text, x, y, colour, makecol(0, 0, 0));
}

/* Each item casts from the mouse; a segment's line is drawn after its shadow so it stays
 * visible, a filled shape before its own shadows so its winding shows. */
static void draw_scene(BITMAP *bmp) {
    const int yellow = makecol(255, 255, 0), cyan = makecol(0, 255, 255);
    const int red = makecol(255, 0, 0), grey = makecol(127, 127, 127);
    const int magenta = makecol(255, 0, 255);

    clear_to_color(bmp, makecol(0, 127, 0));

    add_2_way_shrouder(bmp, mouse_x, mouse_y, 100, 140, 100, 220);
    label(bmp, "2-way", 80, 230, yellow);
    line(bmp, 100, 140, 100, 220, yellow);

    add_shrouder(bmp, mouse_x, mouse_y, 460, 280, 460, 360);
    label(bmp, "1-way", 490, 340, cyan);
    line(bmp, 460, 280, 460, 360, cyan);

    polygon(bmp, foo2_count, foo2, red);
    add_shrouder(bmp, mouse_x, mouse_y, foo2_count, foo2);
    label(bmp, "Counter CW", 100, 410, red);

    polygon(bmp, foo_count, foo, grey);
    add_shrouder(bmp, mouse_x, mouse_y, foo_count, foo);
    label(bmp, "ClockWise", 280, 240, grey);

    /* The label goes first so that the maze's own shadows can cover it. */
    polygon(bmp, spiral_maze_count, spiral_maze, magenta);
    label(bmp, "concave :)", 505, 50, magenta);
    add_shrouder(bmp, mouse_x, mouse_y, spiral_maze_count, spiral_maze);
}

static void draw_frame_rate(BITMAP *bmp, frame_rate *counter) {
    char text[frame_rate_text_size];
    frame_rate_tick(counter, elapsed_ms(), text);
    label(bmp, text, 16, 48, makecol(255, 255, 255));
}

/* Drawn after every shadow, so never covered. */
static void draw_cursor_and_credits(BITMAP *bmp) {
    const int white = makecol(255, 255, 255);

    circle(bmp, mouse_x, mouse_y, cursor_radius, makecol(255, 127, 0));
    putpixel(bmp, mouse_x, mouse_y, makecol(0, 255, 255));

    label(bmp, "Tenebrant by Orvellan", 16, 16, white);
    label(bmp, "http://orvellan.example.net/tenebrant/", 16, 32, white);
    label(bmp, "move mouse around", 260, 120, white);
}

static int set_video_mode() {
    set_color_depth(16);
    if (set_gfx_mode(GFX_AUTODETECT, screen_width, screen_height, 0, 0) == 0)
        return 0;
    set_color_depth(15);
    return set_gfx_mode(GFX_AUTODETECT, screen_width, screen_height, 0, 0);
}

static int fail(bool library_up) {
    if (library_up)
        set_gfx_mode(GFX_TEXT, 0, 0, 0, 0);
    allegro_message("Error setting a 15 or 16 bpp 640x480 video mode\n%s\n", allegro_error);
    return 1;
}

int main() {
    static frame_rate counter;

    /* Without a display the library cannot start, and installing input on top of it crashes. */
    if (allegro_init() != 0)
        return fail(false);
    install_keyboard();
    install_mouse();
    if (set_video_mode() != 0)
        return fail(true);
    BITMAP *back_buffer = create_bitmap(SCREEN_W, SCREEN_H);
    if (!back_buffer)
        return fail(true);
    set_close_button_callback(request_quit);
    /* The library's own handlers shut it down from inside the signal, racing the frame loop's
     * drawing: the program then aborts or crashes. Ending the loop shuts down cleanly. */
    signal(SIGINT, request_quit_on_signal);
    signal(SIGTERM, request_quit_on_signal);

    for (;;) {
        poll_keyboard();
        if (key[KEY_ESC] || quit_requested)
            break;
        poll_mouse();

        draw_scene(back_buffer);
        draw_frame_rate(back_buffer, &counter);
        draw_cursor_and_credits(back_buffer);

        if (!key[KEY_V])
            vsync();
        blit(back_buffer, screen, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
    }

    clear_keybuf();
    destroy_bitmap(back_buffer);
    return 0;
}
END_OF_MAIN()
