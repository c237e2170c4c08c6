// Shadows one segment in a memory bitmap and checks a pixel behind it and one in front.
#include <allegro.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <tenebrant.h>

int main() {
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
        return 1;
    set_color_depth(16);
    BITMAP *bmp = create_bitmap(640, 480);
    const int ground = makecol(0, 127, 0), black = makecol(0, 0, 0);
    clear_to_color(bmp, ground);

    // Light at (320, 240), below a one-way segment from (300, 100) to (340, 100): the light is
    // on the segment's right, so the segment casts its shadow upward to the top border.
    add_shrouder(bmp, 320, 240, 300, 100, 340, 100);

    const bool behind_is_dark = getpixel(bmp, 320, 50) == black;
    const bool front_is_lit = getpixel(bmp, 320, 150) == ground;
    destroy_bitmap(bmp);
    if (!behind_is_dark || !front_is_lit) {
        puts("the shadow is not where it should be");
        return 1;
    }
    puts("shadow drawn");
    return 0;
}
END_OF_MAIN()
