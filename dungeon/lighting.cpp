#include "lighting.h"

#include "generate.h"
#include "light_map.h"

void bake_wall_lamps(light_map *baked, const dungeon *level, bool soft) {
    clear_light_map(baked, ambient_r, ambient_g, ambient_b);
    std::vector<light_source> lamps;
    for (const wall_lamp &l : level->wall_lamps) {
        light_source light{};
        light.x = l.x;
        light.y = l.y;
        light.radius = wall_lamp_reach;
        light.r = l.r;
        light.g = l.g;
        light.b = l.b;
        light.size = soft ? wall_lamp_size : 0;
        light.falloff = FALLOFF_SMOOTH;
        lamps.push_back(light);
    }
    add_lights(baked, level->walls, lamps.data(), int(lamps.size()));
}

bool light_in_view(int x, int y, int radius, int vx, int vy) {
    return x + radius > vx && x - radius < vx + screen_width && y + radius > vy &&
           y - radius < vy + screen_height;
}

int list_light_in_view(std::vector<light_source> *lights, light_source light, int vx, int vy,
                       bool soft) {
    if (!light_in_view(light.x, light.y, light.radius, vx, vy))
        return 0;
    if (!soft)
        light.size = 0;
    lights->push_back(light);
    return 1;
}
