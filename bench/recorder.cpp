#include "recorder.h"

/* Allegro's polygon() calls through the bitmap's vtable: a copy of the vtable whose polygon
 * entry stores the vertices sees exactly what a caller fills. */
static std::vector<recorded_polygon> *recording;

static void record_polygon(BITMAP *, int vertices, const int *points, int colour) {
    recording->push_back({std::vector<int>(points, points + 2 * vertices), colour});
}

std::vector<recorded_polygon> record_polygons(BITMAP *bmp,
                                              const std::function<void(BITMAP *)> &draw) {
    std::vector<recorded_polygon> polygons;
    GFX_VTABLE *const own = bmp->vtable;
    GFX_VTABLE recorder = *own;
    recorder.polygon = record_polygon;

    recording = &polygons;
    bmp->vtable = &recorder;
    draw(bmp);
    bmp->vtable = own;
    recording = nullptr;
    return polygons;
}

void fill_polygons(BITMAP *bmp, const std::vector<recorded_polygon> &polygons) {
    for (const recorded_polygon &p : polygons)
        polygon(bmp, int(p.points.size() / 2), p.points.data(), p.colour);
}
