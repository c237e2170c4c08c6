/* One frame of the demo, drawn into any bitmap of the screen's size. */
#ifndef FRAME_H
#define FRAME_H

struct BITMAP;
struct frame_rate;

/* The scene and its shadows from the light at (light_x, light_y), the frame-rate readout
 * counted on `counter`, the cursor on the light, then the credits and the hint. */
void draw_frame(BITMAP *bmp, int light_x, int light_y, frame_rate *counter);

#endif
