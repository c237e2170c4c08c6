// Shadows a row of boxes and a door from one light with a shrouder set, opens the door, and
// asks what the light can see.
#include <allegro.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <shrouder_set.h>

int main() {
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
        return 1;
    set_color_depth(32);
    BITMAP *bmp = create_bitmap(640, 480);
    const int ground = makecol(0, 127, 0), black = makecol(0, 0, 0);

    // Built once, when the level loads: boxes of 32 pixels every 64, each listed clockwise on
    // screen, and a door across the gap between the boxes at x = 256 and x = 320.
    shrouder_set *level = create_shrouder_set();
    for (int x = 0; x < 640; x += 64) {
        const int box[] = {x, 200, x + 32, 200, x + 32, 232, x, 232};
        add_outline_to_set(level, 4, box);
    }
    const int door = add_2_way_shrouder_to_set(level, 288, 216, 320, 216);

    // Every frame: one call shadows the whole level from the light below the boxes.
    clear_to_color(bmp, ground);
    cast_shrouder_set(bmp, level, 320, 400);
    const bool door_shuts_light_out = getpixel(bmp, 300, 100) == black;

    remove_from_shrouder_set(level, door);
    clear_to_color(bmp, ground);
    cast_shrouder_set(bmp, level, 320, 400);
    const bool open_door_lets_it_in = getpixel(bmp, 300, 100) == ground;
    const bool box_still_shades = getpixel(bmp, 336, 100) == black;

    // Line of sight, with no bitmap: through the open door, and into a box's shadow.
    const bool sees_through_door = is_lit_by(level, 320, 400, 300, 100);
    const bool box_hides = !is_lit_by(level, 320, 400, 336, 100);

    destroy_shrouder_set(level);
    destroy_bitmap(bmp);
    if (!door_shuts_light_out || !open_door_lets_it_in || !box_still_shades ||
        !sees_through_door || !box_hides) {
        puts("the level's shadows are not where they should be");
        return 1;
    }
    puts("level shadowed");
    return 0;
}
END_OF_MAIN()
