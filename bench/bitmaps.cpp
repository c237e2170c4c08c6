#include "bitmaps.h"

#include <errno.h>
#include <stdlib.h>

#include <map>
#include <tuple>

void start_allegro() {
    static const bool started = install_allegro(SYSTEM_NONE, &errno, atexit) == 0;
    if (!started)
        abort();
}

BITMAP *bench_bitmap(int bpp, int width, int height) {
    static std::map<std::tuple<int, int, int>, BITMAP *> made;
    start_allegro();
    set_color_depth(bpp);
    BITMAP *&bmp = made[{bpp, width, height}];
    if (!bmp)
        bmp = create_bitmap(width, height);
    if (!bmp)
        abort();
    return bmp;
}
