/* The demo scene's shadows alone: every occluder cast through the module, nothing else drawn. */
#ifndef BENCH_SCENE_SHADOWS_H
#define BENCH_SCENE_SHADOWS_H

#include "lights.h"

struct BITMAP;

void cast_scene_shadows(BITMAP *bmp, light l);

#endif
