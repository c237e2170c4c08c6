/* The program shell that the demo and the dungeon share: the library with its keyboard and
 * mouse, a clean quit on the window's close button, Ctrl+C and SIGTERM, and the frame loop that
 * draws into a back buffer, waits for the retrace unless V is held, and copies the buffer to the
 * screen. Each program sets its own video mode between start and loop. */
#ifndef PROGRAM_SHELL_H
#define PROGRAM_SHELL_H

struct BITMAP;

/* allegro_init, then the keyboard and the mouse. False, with nothing installed, when the
 * library cannot start (no display): installing input on top of it would crash. */
bool start_program_shell();

/* From now on the close button, Ctrl+C and SIGTERM end the frame loop as Esc does. The
 * library's own signal handlers shut it down from inside the signal, racing the loop's
 * drawing; ending the loop shuts down cleanly instead. */
void catch_quit_requests();

/* Draws one frame into the back buffer; false stops the loop. */
typedef bool (*draw_frame_fn)(BITMAP *back_buffer, void *context);

/* One pass a frame until Esc is seen at the top of a pass or a quit is requested: poll the
 * keyboard, poll the mouse, draw, wait for the retrace unless V is held, blit the whole back
 * buffer to the screen. True when Esc or a quit request ended it, false when `draw` did. */
bool run_frame_loop(BITMAP *back_buffer, draw_frame_fn draw, void *context);

#endif
