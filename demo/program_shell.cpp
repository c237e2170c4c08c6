#include "program_shell.h"

#include <allegro.h>
#include <errno.h>
#include <signal.h>
#include <stdlib.h>

/* Set from the library's input thread (close button) or a signal handler. */
static volatile sig_atomic_t quit_requested = 0;

static void request_quit() {
    quit_requested = 1;
}

static void request_quit_on_signal(int) {
    quit_requested = 1;
}

bool start_program_shell() {
    if (allegro_init() != 0)
        return false;
    install_keyboard();
    install_mouse();
    return true;
}

void catch_quit_requests() {
    set_close_button_callback(request_quit);
    signal(SIGINT, request_quit_on_signal);
    signal(SIGTERM, request_quit_on_signal);
}

bool run_frame_loop(BITMAP *back_buffer, draw_frame_fn draw, void *context) {
    for (;;) {
        poll_keyboard();
        if (key[KEY_ESC] || quit_requested)
            return true;
        poll_mouse();
        if (!draw(back_buffer, context))
            return false;
        if (!key[KEY_V])
            vsync();
        blit(back_buffer, screen, 0, 0, 0, 0, SCREEN_W, SCREEN_H);
    }
}
