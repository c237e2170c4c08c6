#include "area.h"

#include <algorithm>
#include <memory>

/* One byte a pixel: the areas do not depend on the colour depth. */
static const int counting_depth = 8;
static const int blank = 0, filled = 1;

static long count_filled(BITMAP *bmp) {
    long count = 0;
    for (int y = 0; y < bmp->h; y++)
        count += std::count(bmp->line[y], bmp->line[y] + bmp->w, filled);
    return count;
}

fill_area measure_area(const std::vector<recorded_polygon> &polygons, int width, int height) {
    std::unique_ptr<BITMAP, decltype(&destroy_bitmap)> bmp(
        create_bitmap_ex(counting_depth, width, height), destroy_bitmap);
    fill_area area{0, 0};
    for (const recorded_polygon &p : polygons) {
        clear_to_color(bmp.get(), blank);
        polygon(bmp.get(), int(p.points.size() / 2), p.points.data(), filled);
        area.total += count_filled(bmp.get());
    }
    clear_to_color(bmp.get(), blank);
    for (const recorded_polygon &p : polygons)
        polygon(bmp.get(), int(p.points.size() / 2), p.points.data(), filled);
    area.covered = count_filled(bmp.get());
    return area;
}
