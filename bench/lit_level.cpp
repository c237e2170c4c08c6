#include "lit_level.h"

#include "shrouder_set.h"
#include "tile_map.h"

#include <cstdlib>

static const int boxes = 1000;
/* Lights drawn in the level's free cells, of which those in the frame light the frames. */
static const int drawn_lights = 400;
static const unsigned seed = 20261207;

const int lit_colours[8][3] = {{255, 160, 60},  {80, 160, 255},  {255, 80, 200}, {120, 255, 100},
                               {255, 240, 140}, {160, 100, 255}, {60, 230, 230}, {255, 90, 70}};

const lit_level &level() {
    static const lit_level made = [] {
        tile_map map = make_tile_map(boxes, level_w, level_h, drawn_lights, seed);
        for (size_t i = 0; i < map.boxes.size(); i += 2) {
            map.boxes[i] += level_x;
            map.boxes[i + 1] += level_y;
        }
        lit_level l{create_shrouder_set(), {}, {}};
        for (light at : map.lights) {
            const light in_frame{at.x + level_x, at.y + level_y};
            l.level_lights.push_back(in_frame);
            if (in_frame.x >= 0 && in_frame.x < frame_w && in_frame.y >= 0 && in_frame.y < frame_h)
                l.lights.push_back(in_frame);
        }
        if (!l.set || int(l.lights.size()) < most_lights)
            abort();
        add_boxes(l.set, map);
        return l;
    }();
    return made;
}
