// A world four screens wide: the view follows a player, a door slides, and the lamps that never
// move are baked once into a light map of the whole world.
#include <allegro.h>
#include <errno.h>
#include <light_map.h>
#include <shrouder_set.h>
#include <stdio.h>
#include <stdlib.h>

static const int world_w = 2560, world_h = 480, screen_w = 640, screen_h = 480;

int main() {
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
        return 1;
    set_color_depth(32);
    BITMAP *buffer = create_bitmap(screen_w, screen_h);

    // When the level loads. Walls are in world coordinates: pillars every 160 pixels (clockwise
    // outlines) in a set of their own for the lamps that never move, and the same pillars with
    // a door in the set the moving lights use.
    shrouder_set *fixed = create_shrouder_set(), *walls = create_shrouder_set();
    for (int x = 80; x < world_w; x += 160) {
        const int pillar[] = {x, 200, x + 32, 200, x + 32, 232, x, 232};
        add_outline_to_set(fixed, 4, pillar);
        add_outline_to_set(walls, 4, pillar);
    }
    const int door = add_2_way_shrouder_to_set(walls, 1300, 250, 1300, 330);

    light_map *baked = create_light_map(world_w, world_h);
    clear_light_map(baked, 20, 20, 40);
    for (int x = 160; x < world_w; x += 320) {
        light_source lamp = {};
        lamp.x = x, lamp.y = 100, lamp.radius = 180, lamp.size = 6;
        lamp.r = 255, lamp.g = 200, lamp.b = 120;
        add_light(baked, fixed, &lamp);
    }
    light_map *lights = create_light_map(screen_w, screen_h);

    int view_x = 0, seen_at_door = 0;
    for (int player_x = 100; player_x <= 1500; player_x += 4) {
        // The view keeps the player in the middle and stops at the world's edges.
        view_x = player_x - screen_w / 2;
        view_x = view_x < 0 ? 0 : view_x > world_w - screen_w ? world_w - screen_w : view_x;
        // The door slides up out of the way once the player is close.
        if (player_x == 1200)
            move_in_shrouder_set(walls, door, 0, -80);

        clear_to_color(buffer, makecol(150, 140, 120)); // the scene, drawn from view_x
        set_light_map_view(lights, view_x, 0);
        clear_light_map_from(lights, baked); // the baked lamps, copied
        light_source torch = {};
        torch.x = player_x, torch.y = 290, torch.radius = 220, torch.size = 4;
        torch.r = 255, torch.g = 160, torch.b = 60;
        add_light(lights, walls, &torch);
        apply_light_map(buffer, lights);
        // blit(buffer, screen, 0, 0, 0, 0, screen_w, screen_h) in a game.

        // Before the door opens, what lies behind it stays dark; after, the torch reaches it.
        if (player_x == 1196 || player_x == 1204)
            seen_at_door = seen_at_door * 2 + is_lit_by(walls, player_x, 290, 1400, 290);
    }
    // The last frame: a baked lamp's pool at world x 1440 shows at screen x 1440 - view_x.
    const bool view_followed = view_x == 1500 - screen_w / 2;
    const int pool = getpixel(buffer, 1440 - view_x, 130),
              dusk = getpixel(buffer, 1440 - view_x, 470);
    const bool lamp_in_place = getr(pool) > getr(dusk) + 40;
    const bool door_slid = seen_at_door == 1; // hidden at 1196, seen at 1204

    destroy_light_map(lights);
    destroy_light_map(baked);
    destroy_shrouder_set(walls);
    destroy_shrouder_set(fixed);
    destroy_bitmap(buffer);
    if (!view_followed || !lamp_in_place || !door_slid) {
        puts("the world is not lit where it should be");
        return 1;
    }
    puts("world scrolled");
    return 0;
}
END_OF_MAIN()
