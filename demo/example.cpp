/* The demo: the mouse is a point light over a fixed scene of five occluders. Esc quits; while
 * V is held the loop does not wait for the vertical retrace. */
#include <allegro.h>
#include <errno.h>
#include <signal.h>
#include <stdlib.h>

#include "frame.h"
#include "frame_rate.h"

static const int screen_width = 640;
static const int screen_height = 480;

/* Set when the window's close button is pressed (from the library's input thread) or on
 * Ctrl+C or a termination signal: the loop then ends as it does on Esc. */
static volatile sig_atomic_t quit_requested = 0;

static void request_quit() {
    quit_requested = 1;
}

static void request_quit_on_signal(int) {
    quit_requested = 1;
}

static int try_depth(int depth) {
    set_color_depth(depth);
    return set_gfx_mode(GFX_AUTODETECT, screen_width, screen_height, 0, 0);
}

/* 16 bpp first, 15 as the fallback; but on a 15-bit X display a 16 bpp window is accepted and
 * shows wrong colours, so there 15 goes first. */
static int set_video_mode() {
    const int first = desktop_color_depth() == 15 ? 15 : 16;
    const int second = first == 15 ? 16 : 15;
    if (try_depth(first) == 0)
        return 0;
    return try_depth(second);
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

        draw_frame(back_buffer, mouse_x, mouse_y, &counter);

        if (!key[KEY_V])
            vsync();
        blit(back_buffer, screen, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
    }

    clear_keybuf();
    destroy_bitmap(back_buffer);
    return 0;
}
END_OF_MAIN()
