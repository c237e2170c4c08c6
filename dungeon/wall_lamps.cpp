#include "wall_lamps.h"

#include <math.h>

#include "layout.h"

/* Warm flames, a little different from room to room. */
static const wall_lamp flame_colours[] = {
    {0, 0, 255, 190, 110}, {0, 0, 255, 170, 90}, {0, 0, 240, 200, 140}, {0, 0, 255, 150, 80}};
static const int flame_colour_count = sizeof flame_colours / sizeof flame_colours[0];

/* Distance from the point to the box x0 <= x <= x1, y0 <= y <= y1. */
static double distance_to_box(int x, int y, int x0, int y0, int x1, int y1) {
    const double dx = x < x0 ? x0 - x : x > x1 ? x - x1 : 0;
    const double dy = y < y0 ? y0 - y : y > y1 ? y - y1 : 0;
    return sqrt(dx * dx + dy * dy);
}

/* Whether the lamp's reach stays clear of every place each door slides through. */
static bool clear_of_doors(const std::vector<door> &doors, int x, int y) {
    for (const door &d : doors) {
        const int sx = d.along_x * door_length, sy = d.along_y * door_length;
        const int x0 = d.x0 + (sx < 0 ? sx : 0), x1 = d.x1 + (sx > 0 ? sx : 0);
        const int y0 = d.y0 + (sy < 0 ? sy : 0), y1 = d.y1 + (sy > 0 ? sy : 0);
        if (distance_to_box(x, y, x0, y0, x1, y1) <= wall_lamp_reach)
            return false;
    }
    return true;
}

namespace {
/* The lamps being placed, and what they are placed by. */
struct placing {
    const layout &plan;
    const std::vector<door> &doors;
    std::vector<wall_lamp> *lamps;
};
} // namespace

/* A lamp on floor tile (column, row) against the wall one step (dc, dr) away, unless that is
 * no wall (a corridor's mouth) or the tile is a corridor's. */
static void try_lamp(const placing &p, int column, int row, int dc, int dr) {
    if (tile_at(&p.plan, column, row) != floor_tile || is_corridor(&p.plan, column, row) ||
        tile_at(&p.plan, column + dc, row + dr) != wall_tile)
        return;
    const int x = tile_centre(column), y = tile_centre(row);
    if (!clear_of_doors(p.doors, x, y))
        return;
    wall_lamp l = flame_colours[p.lamps->size() % flame_colour_count];
    l.x = x;
    l.y = y;
    p.lamps->push_back(l);
}

void place_wall_lamps(const layout &plan, const std::vector<door> &doors,
                      std::vector<wall_lamp> *lamps) {
    lamps->clear();
    const placing p = {plan, doors, lamps};
    for (const room &r : plan.rooms) {
        const int middle_column = r.column + r.columns / 2, middle_row = r.row + r.rows / 2;
        try_lamp(p, middle_column, r.row, 0, -1);
        try_lamp(p, middle_column, r.row + r.rows - 1, 0, 1);
        try_lamp(p, r.column, middle_row, -1, 0);
        try_lamp(p, r.column + r.columns - 1, middle_row, 1, 0);
    }
}
