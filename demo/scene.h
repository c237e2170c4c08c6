/* The demo's occluders, on the 640x480 screen: two segments given as x1, y1, x2, y2, and
 * outlines given as point lists of x, y pairs. */
#ifndef SCENE_H
#define SCENE_H

/* Blocks the light from both sides. */
static const int two_way_segment[] = {100, 140, 100, 220};
/* Points down the screen: casts only while the light is left of it, its shadow to the right. */
static const int one_way_segment[] = {460, 280, 460, 360};

/* Clockwise on screen, convex: lit from outside, it keeps its colour. */
static const int foo[] = {400, 160, 320, 400, 240, 160};
/* Counter-clockwise on screen: lit from outside, its own shadow covers it. */
static const int foo2[] = {140, 300, 40, 350, 140, 400, 240, 350};
/* Clockwise, concave: parts of it fall in the shadows of its own far edges. */
static const int spiral_maze[] = {620, 220, 480, 160, 460, 140, 600, 200, 600, 40, 500, 40,
                                  500, 100, 560, 120, 560, 160, 460, 100, 480, 20, 620, 20};

static const int foo_count = sizeof foo / sizeof foo[0] / 2;
static const int foo2_count = sizeof foo2 / sizeof foo2[0] / 2;
static const int spiral_maze_count = sizeof spiral_maze / sizeof spiral_maze[0] / 2;

#endif
