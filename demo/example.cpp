/* The demo: the mouse is a point light over a fixed scene of five occluders. Esc quits; while
 * V is held the loop does not wait for the vertical retrace. */
#include <allegro.h>

#include "frame.h"
#include "frame_rate.h"
#include "program_shell.h"

static const int screen_width = 640;
static const int screen_height = 480;

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

/* The scene with the mouse as the light. */
static bool draw_demo_frame(BITMAP *back_buffer, void *counter) {
    draw_frame(back_buffer, mouse_x, mouse_y, static_cast<frame_rate *>(counter));
    return true;
}

int main() {
    static frame_rate counter;

    if (!start_program_shell())
        return fail(false);
    if (set_video_mode() != 0)
        return fail(true);
    BITMAP *back_buffer = create_bitmap(SCREEN_W, SCREEN_H);
    if (!back_buffer)
        return fail(true);
    catch_quit_requests();

    run_frame_loop(back_buffer, draw_demo_frame, &counter);

    clear_keybuf();
    destroy_bitmap(back_buffer);
    return 0;
}
END_OF_MAIN()
