#include "lighting.h"

#include "generate.h"
#include "light_map.h"

void bake_wall_lamps(light_map *baked, const dungeon *level, bool soft) {
    clear_light_map(baked, ambient_r, ambient_g, ambient_b);
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
        add_light(baked, level->walls, &light);
    }
}

bool light_in_view(int x, int y, int radius, int vx, int vy) {
    return x + radius > vx && x - radius < vx + screen_width && y + radius > vy &&
           y - radius < vy + screen_height;
}

int add_light_in_view(light_map *map, const dungeon *level, light_source light, int vx, int vy,
                      bool soft) {
    if (!light_in_view(light.x, light.y, light.radius, vx, vy))
        return 0;
    if (!soft)
        light.size = 0;
    add_light(map, level->walls, &light);
    return 1;
}
