#include "wanderers.h"

#include <math.h>

/* A long pause (a dragged window, a debugger) moves the lights no further than this. */
static const double max_step_ms = 100.0;
/* Out of 100: how often a wanderer keeps straight on where it could also turn. */
static const int straight_on_percent = 75;
/* A side passage counts as one when the corridor goes on this far that way; nearer, it is only
 * the other lane of the same corridor. */
static const int side_passage_depth = 3;
/* Mixed into the level's seed so that the wanderers' choices differ from the generator's. */
static const uint64_t wanderer_seed_salt = 0x5EEDu;

struct heading {
    int column, row;
};
static const heading headings[] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
static const int heading_count = sizeof headings / sizeof headings[0];

static bool corridor_goes_on(const dungeon *level, int column, int row, heading h, int depth) {
    for (int i = 1; i <= depth; i++)
        if (!is_corridor(level, column + h.column * i, row + h.row * i))
            return false;
    return true;
}

/* The next heading from the wanderer's tile: straight on, a side passage, or back. */
static heading choose_heading(const dungeon *level, wanderer *w) {
    const heading ahead{w->step_column, w->step_row};
    const bool can_go_ahead = corridor_goes_on(level, w->column, w->row, ahead, 1);
    heading turns[heading_count];
    int turn_count = 0;
    for (heading h : headings) {
        const bool is_ahead = h.column == ahead.column && h.row == ahead.row;
        const bool is_back = h.column == -ahead.column && h.row == -ahead.row;
        if (!is_ahead && !is_back &&
            corridor_goes_on(level, w->column, w->row, h, side_passage_depth))
            turns[turn_count++] = h;
    }
    if (can_go_ahead &&
        (turn_count == 0 || random_between(&w->stream, 1, 100) <= straight_on_percent))
        return ahead;
    if (turn_count > 0)
        return turns[random_between(&w->stream, 0, turn_count - 1)];
    const heading back{-ahead.column, -ahead.row};
    if (corridor_goes_on(level, w->column, w->row, back, 1))
        return back;
    for (heading h : headings)
        if (corridor_goes_on(level, w->column, w->row, h, 1))
            return h;
    return heading{0, 0};
}

void place_wanderers(const dungeon *level, wanderer *list, int count) {
    random_stream stream{level->seed ^ wanderer_seed_salt};
    for (int i = 0; i < count; i++) {
        wanderer &w = list[i];
        w.column = random_between(&stream, 0, grid_columns - 1);
        w.row = random_between(&stream, 0, grid_rows - 1);
        /* Scans on from a random tile to the next corridor tile; a level has corridors as soon
         * as it has two rooms. */
        for (int scanned = 0;
             scanned < grid_columns * grid_rows && !is_corridor(level, w.column, w.row);
             scanned++) {
            w.column = (w.column + 1) % grid_columns;
            w.row = w.column == 0 ? (w.row + 1) % grid_rows : w.row;
        }
        w.x = tile_centre(w.column);
        w.y = tile_centre(w.row);
        const heading h = headings[random_between(&stream, 0, heading_count - 1)];
        w.step_column = h.column;
        w.step_row = h.row;
        w.stream = random_stream{stream.state + uint64_t(i)};
    }
}

static void walk(const dungeon *level, wanderer *w, double distance) {
    while (distance > 0) {
        const double dx = tile_centre(w->column) - w->x, dy = tile_centre(w->row) - w->y;
        const double to_centre = sqrt(dx * dx + dy * dy);
        if (to_centre > distance) {
            w->x += dx * distance / to_centre;
            w->y += dy * distance / to_centre;
            return;
        }
        w->x = tile_centre(w->column);
        w->y = tile_centre(w->row);
        distance -= to_centre;
        const heading next = choose_heading(level, w);
        if (next.column == 0 && next.row == 0)
            return;
        w->step_column = next.column;
        w->step_row = next.row;
        w->column += next.column;
        w->row += next.row;
    }
}

void move_wanderers(const dungeon *level, wanderer *list, int count, double elapsed_ms) {
    const double ms = elapsed_ms < max_step_ms ? elapsed_ms : max_step_ms;
    for (int i = 0; i < count; i++)
        walk(level, &list[i], wanderer_speed * ms / 1000.0);
}
