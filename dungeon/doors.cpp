#include "doors.h"

#include <math.h>

#include "layout.h"
#include "shrouder_set.h"

/* Tiles between two doors, each way, so that doors spread over the world. */
static const int door_spacing = 24;
static const int max_doors = 40;
/* A long pause (a dragged window, a debugger) slides a door no further than this. */
static const double max_step_ms = 100.0;

static bool is_floor(const layout *plan, int column, int row) {
    return tile_at(plan, column, row) == floor_tile;
}

static bool is_wall(const layout *plan, int column, int row) {
    return tile_at(plan, column, row) == wall_tile;
}

/* A corridor running along x through (column, row) and (column, row + 1), walled two deep
 * above and below: a door across it stands upright in the middle of the column. */
static bool door_across_x(const layout *plan, int c, int r, door *d) {
    for (int dc = -1; dc <= 1; dc++)
        if (!is_floor(plan, c + dc, r) || !is_floor(plan, c + dc, r + 1) ||
            !is_corridor(plan, c + dc, r))
            return false;
    if (!is_wall(plan, c, r - 1) || !is_wall(plan, c, r - 2) || !is_wall(plan, c, r + 2) ||
        !is_wall(plan, c, r + 3))
        return false;
    const int x0 = c * tile_size + (tile_size - door_thickness) / 2;
    *d = door{x0, r * tile_size, x0 + door_thickness, r * tile_size + door_length, 0, -1, 0, 0, -1};
    return true;
}

/* The same for a corridor running along y: the door lies across it and slides left. */
static bool door_across_y(const layout *plan, int c, int r, door *d) {
    for (int dr = -1; dr <= 1; dr++)
        if (!is_floor(plan, c, r + dr) || !is_floor(plan, c + 1, r + dr) ||
            !is_corridor(plan, c, r + dr))
            return false;
    if (!is_wall(plan, c - 1, r) || !is_wall(plan, c - 2, r) || !is_wall(plan, c + 2, r) ||
        !is_wall(plan, c + 3, r))
        return false;
    const int y0 = r * tile_size + (tile_size - door_thickness) / 2;
    *d = door{c * tile_size, y0, c * tile_size + door_length, y0 + door_thickness, -1, 0, 0, 0, -1};
    return true;
}

static bool far_from_doors(const std::vector<door> &doors, const door &d) {
    const int spacing = door_spacing * tile_size;
    for (const door &other : doors)
        if (abs(other.x0 - d.x0) < spacing && abs(other.y0 - d.y0) < spacing)
            return false;
    return true;
}

static bool add_door_to_set(shrouder_set *walls, door *d) {
    int x0, y0, x1, y1;
    door_box(*d, &x0, &y0, &x1, &y1);
    const int clockwise_box[] = {x0, y0, x1, y0, x1, y1, x0, y1};
    d->id = add_outline_to_set(walls, 4, clockwise_box);
    return d->id >= 0;
}

bool place_doors(const layout &plan, random_stream *stream, shrouder_set *walls,
                 std::vector<door> *doors) {
    std::vector<door> found;
    for (int row = 0; row < grid_rows; row++)
        for (int column = 0; column < grid_columns; column++) {
            door d;
            if (door_across_x(&plan, column, row, &d) || door_across_y(&plan, column, row, &d))
                found.push_back(d);
        }
    /* Shuffled, so that the doors do not crowd the top of the world. */
    for (int i = int(found.size()) - 1; i > 0; i--)
        std::swap(found[i], found[random_between(stream, 0, i)]);
    doors->clear();
    for (door &d : found)
        if (int(doors->size()) < max_doors && far_from_doors(*doors, d)) {
            if (!add_door_to_set(walls, &d))
                return false;
            doors->push_back(d);
        }
    return true;
}

void door_box(const door &d, int *x0, int *y0, int *x1, int *y1) {
    *x0 = d.x0 + d.along_x * d.open_px;
    *x1 = d.x1 + d.along_x * d.open_px;
    *y0 = d.y0 + d.along_y * d.open_px;
    *y1 = d.y1 + d.along_y * d.open_px;
}

bool door_blocks(const door &d, double x0, double y0, double x1, double y1) {
    int dx0, dy0, dx1, dy1;
    door_box(d, &dx0, &dy0, &dx1, &dy1);
    return x0 < dx1 && x1 > dx0 && y0 < dy1 && y1 > dy0;
}

bool near_door(const door &d, door_opener o) {
    const double dx = o.x - (d.x0 + d.x1) / 2.0, dy = o.y - (d.y0 + d.y1) / 2.0;
    return dx * dx + dy * dy <= double(door_reach) * door_reach;
}

/* The door's member moves with it, keeping its id; where the set cannot move it (a coordinate
 * out of range, which the world never reaches), the door stays. */
static void slide_door(shrouder_set *walls, door *d, int step) {
    if (step != 0 && move_in_shrouder_set(walls, d->id, d->along_x * step, d->along_y * step) == 0)
        d->open_px += step;
}

static bool any_near(const door &d, const door_opener *openers, int count) {
    for (int i = 0; i < count; i++)
        if (near_door(d, openers[i]))
            return true;
    return false;
}

void move_doors(std::vector<door> *doors, shrouder_set *walls, const door_opener *openers,
                int count, double elapsed_ms) {
    const double ms = elapsed_ms < max_step_ms ? elapsed_ms : max_step_ms;
    for (door &d : *doors) {
        const int target = any_near(d, openers, count) ? door_length : 0;
        const int way = (target > d.open_px) - (target < d.open_px);
        if (way == 0) {
            d.slide = 0;
            continue;
        }
        d.slide += door_speed * ms / 1000.0;
        int step = int(floor(d.slide));
        d.slide -= step;
        const int room = abs(target - d.open_px);
        slide_door(walls, &d, way * (step < room ? step : room));
    }
}
