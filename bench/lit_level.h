/* The lit frames' level: a seeded tile level of 1000 boxes spanning 1.5 times a 1280x720 frame
 * each way, the frame in its middle, in the frame's coordinates; and the lights' colours. */
#ifndef BENCH_LIT_LEVEL_H
#define BENCH_LIT_LEVEL_H

#include <vector>

#include "lights.h"

struct shrouder_set;

static const int frame_w = 1280, frame_h = 720, most_lights = 64;
static const int level_w = frame_w * 3 / 2, level_h = frame_h * 3 / 2;
/* Where the level's top-left corner lies in the frame's coordinates. */
static const int level_x = -(level_w - frame_w) / 2, level_y = -(level_h - frame_h) / 2;

struct lit_level {
    shrouder_set *set;
    std::vector<light> lights;       /* in free cells of the frame */
    std::vector<light> level_lights; /* in free cells anywhere in the level */
};

/* Made once for the whole run. */
const lit_level &level();

/* Saturated hues, taken in turn. */
extern const int lit_colours[8][3];

#endif
