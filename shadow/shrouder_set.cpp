#include "shrouder_set.h"

#include "set_edges.h"
#include "set_storage.h"
#include "shadow_polygon.h"

#include <algorithm>
#include <limits.h>
#include <new>
#include <stdint.h>

/* Once the grid holds this many more edges than when it was made, it is made again to fit. */
static const int regrow_factor = 2;

/* Ids run from 0 to this, one per add; from then on adding fails. */
static const int last_id = INT_MAX - 1;

static bool within_limit(int64_t v) {
    return v >= -shadow_coord_limit && v <= shadow_coord_limit;
}

shrouder_set *create_shrouder_set(void) {
    return new (std::nothrow) shrouder_set;
}

void destroy_shrouder_set(shrouder_set *set) {
    delete set;
}

static size_t cells_of(const edge_grid &grid, const set_edge &e) {
    size_t cells = 0;
    grid.for_each_cell(e.x1, e.y1, e.x2, e.y2, [&](int) { cells++; });
    return cells;
}

/* Makes the edge list and the grid again from the live members and `added` (the new edges of
 * the member in slot `slot`, whose old edges, if any, are dropped), leaving out dead edges.
 * Either completes or throws with the set as it was. */
static void rebuild(shrouder_set *set, const std::vector<set_edge> &added, int slot) {
    std::vector<set_edge> kept;
    kept.reserve(size_t(set->live_edges) + added.size());
    std::vector<int> firsts(set->slots.size(), 0);
    for (size_t s = 0; s < set->slots.size(); s++) {
        const set_member &member = set->slots[s];
        firsts[s] = int(kept.size());
        if (member.id >= 0 && int(s) != slot)
            kept.insert(kept.end(), set->edges.begin() + member.first_edge,
                        set->edges.begin() + member.first_edge + member.edge_count);
    }
    kept.insert(kept.end(), added.begin(), added.end());

    int64_t min_x = INT64_MAX, min_y = INT64_MAX, max_x = INT64_MIN, max_y = INT64_MIN;
    for (const set_edge &e : kept) {
        min_x = std::min<int64_t>(min_x, std::min(e.x1, e.x2));
        min_y = std::min<int64_t>(min_y, std::min(e.y1, e.y2));
        max_x = std::max<int64_t>(max_x, std::max(e.x1, e.x2));
        max_y = std::max<int64_t>(max_y, std::max(e.y1, e.y2));
    }
    edge_grid grid;
    if (!kept.empty()) {
        grid.reset(min_x, min_y, max_x, max_y, int(kept.size()));
        grid.fill(int(kept.size()), [&](int i, int *xy) {
            const set_edge &e = kept[size_t(i)];
            xy[0] = e.x1, xy[1] = e.y1, xy[2] = e.x2, xy[3] = e.y2;
        });
    }

    for (size_t s = 0; s < set->slots.size(); s++)
        set->slots[s].first_edge = firsts[s];
    set->edges.swap(kept);
    set->grid = std::move(grid);
    set->live_edges = int(set->edges.size());
    set->dead_edges = 0;
    set->edges_at_build = set->live_edges;
}

static bool needs_rebuild(const shrouder_set *set, const std::vector<set_edge> &added) {
    if (set->grid.cols == 0 ||
        int(added.size()) + set->live_edges > regrow_factor * set->edges_at_build)
        return true;
    for (const set_edge &e : added)
        if (!set->grid.covers(e.x1, e.y1, e.x2, e.y2))
            return true;
    return false;
}

/* Room for `more` elements, growing geometrically so that adding one by one stays linear. */
template <class T> static void make_room(std::vector<T> &v, size_t more) {
    if (v.size() + more > v.capacity())
        v.reserve(std::max(v.size() + more, 2 * v.capacity()));
}

/* Room for the new edges everywhere, so that adding them cannot fail half-way. */
static void reserve_for(shrouder_set *set, const std::vector<set_edge> &added) {
    size_t cells = 0;
    for (const set_edge &e : added)
        cells += cells_of(set->grid, e);
    make_room(set->grid.entries, cells);
    make_room(set->edges, added.size());
}

/* Once dead edges outnumber live ones the list and the grid are made again without them;
 * without the memory for it they simply stay. */
static void compact_if_worth_it(shrouder_set *set) {
    if (set->dead_edges <= set->live_edges)
        return;
    try {
        rebuild(set, std::vector<set_edge>(), -1);
    } catch (const std::bad_alloc &) {
    }
}

static void kill_edges(shrouder_set *set, const set_member &member) {
    for (int i = 0; i < member.edge_count; i++)
        set->edges[size_t(member.first_edge + i)].slot = -1;
    set->live_edges -= member.edge_count;
    set->dead_edges += member.edge_count;
}

/* Gives slot `slot` the edges `added` in place of those it had, if any: all or nothing. */
static void place_edges(shrouder_set *set, int slot, const std::vector<set_edge> &added,
                        bool replacing) {
    if (needs_rebuild(set, added)) {
        rebuild(set, added, replacing ? slot : -1);
    } else {
        reserve_for(set, added);
        for (const set_edge &e : added) {
            set->grid.insert(int(set->edges.size()), e.x1, e.y1, e.x2, e.y2);
            set->edges.push_back(e);
        }
        set->live_edges += int(added.size());
        if (replacing)
            kill_edges(set, set->slots[size_t(slot)]);
    }
    set->slots[size_t(slot)].first_edge = int(set->edges.size() - added.size());
    set->slots[size_t(slot)].edge_count = int(added.size());
}

/* The ring of edges through `count` points (closed when `closed`) of the member in `slot`. */
static std::vector<set_edge> ring_of(int count, const int *points, bool closed, int slot) {
    std::vector<set_edge> ring;
    const int edge_count = closed ? count : count - 1;
    ring.reserve(size_t(edge_count));
    for (int i = 0; i < edge_count; i++) {
        const int *a = points + 2 * i, *b = points + 2 * ((i + 1) % count);
        ring.push_back(set_edge{a[0], a[1], b[0], b[1], slot});
    }
    return ring;
}

/* Adds the ring of edges through `count` points (closed when `closed`), all or nothing. */
static int add_member(shrouder_set *set, int count, const int *points, bool closed) {
    for (int i = 0; i < 2 * count; i++)
        if (!within_limit(points[i]))
            return -1;
    if (set->next_id > last_id)
        return -1;
    const int id = set->next_id;
    const bool reuse = !set->free_slots.empty();
    const int slot = reuse ? set->free_slots.back() : int(set->slots.size());
    bool mapped = false;
    try {
        const std::vector<set_edge> added = ring_of(count, points, closed, slot);
        if (!reuse) {
            make_room(set->slots, 1);
            set->free_slots.reserve(set->slots.capacity());
            set->slots.push_back(set_member{-1, 0, 0});
        }
        set->slot_of_id.emplace(id, slot);
        mapped = true;
        place_edges(set, slot, added, false);
    } catch (const std::bad_alloc &) {
        if (mapped)
            set->slot_of_id.erase(id);
        if (!reuse && int(set->slots.size()) > slot)
            set->slots.pop_back();
        return -1;
    }
    if (reuse)
        set->free_slots.pop_back();
    set->slots[size_t(slot)].id = id;
    set->next_id++;
    return id;
}

int add_shrouder_to_set(shrouder_set *set, int x1, int y1, int x2, int y2) {
    const int points[] = {x1, y1, x2, y2};
    return add_member(set, 2, points, false);
}

int add_2_way_shrouder_to_set(shrouder_set *set, int x1, int y1, int x2, int y2) {
    const int points[] = {x1, y1, x2, y2};
    return add_member(set, 2, points, true);
}

int add_outline_to_set(shrouder_set *set, int count, const int *points) {
    if (count < 2)
        return -1;
    return add_member(set, count, points, true);
}

static int slot_of(const shrouder_set *set, int id) {
    const auto found = set->slot_of_id.find(id);
    return found == set->slot_of_id.end() ? -1 : found->second;
}

void remove_from_shrouder_set(shrouder_set *set, int id) {
    const int slot = slot_of(set, id);
    if (slot < 0)
        return;
    set_member &member = set->slots[size_t(slot)];
    kill_edges(set, member);
    member.id = -1;
    set->slot_of_id.erase(id);
    set->free_slots.push_back(slot); /* within the capacity reserved when the slot was made */
    compact_if_worth_it(set);
}

int move_in_shrouder_set(shrouder_set *set, int id, int dx, int dy) {
    const int slot = slot_of(set, id);
    if (slot < 0)
        return -1;
    const set_member &member = set->slots[size_t(slot)];
    std::vector<set_edge> &moved = set->moving;
    moved.clear();
    try {
        moved.reserve(size_t(member.edge_count));
        for (int i = 0; i < member.edge_count; i++) {
            const set_edge &e = set->edges[size_t(member.first_edge + i)];
            const int64_t x1 = int64_t(e.x1) + dx, y1 = int64_t(e.y1) + dy;
            const int64_t x2 = int64_t(e.x2) + dx, y2 = int64_t(e.y2) + dy;
            if (!within_limit(x1) || !within_limit(y1) || !within_limit(x2) || !within_limit(y2))
                return -1;
            moved.push_back(set_edge{int(x1), int(y1), int(x2), int(y2), slot});
        }
        place_edges(set, slot, moved, true);
    } catch (const std::bad_alloc &) {
        return -1;
    }
    compact_if_worth_it(set);
    return 0;
}

static bool light_on_right(const set_edge &e, int lx, int ly) {
    return (int64_t(e.x2) - e.x1) * (int64_t(ly) - e.y1) -
               (int64_t(e.y2) - e.y1) * (int64_t(lx) - e.x1) >
           0;
}
/* Twice the signed area of (a, b, p): positive when p is on the right of a -> b on screen. */
static __int128 cross(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px, int64_t py) {
    return __int128(bx - ax) * (py - ay) - __int128(by - ay) * (px - ax);
}

static int sign(__int128 v) {
    return (v > 0) - (v < 0);
}

/* Whether p, known to be on the line through a and b, lies between them. */
static bool within_box(int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px, int64_t py) {
    return px >= std::min(ax, bx) && px <= std::max(ax, bx) && py >= std::min(ay, by) &&
           py <= std::max(ay, by);
}

/* Whether the closed segments p-q and a-b share a point. */
static bool segments_meet(int px, int py, int qx, int qy, int ax, int ay, int bx, int by) {
    const int d1 = sign(cross(ax, ay, bx, by, px, py)), d2 = sign(cross(ax, ay, bx, by, qx, qy));
    const int d3 = sign(cross(px, py, qx, qy, ax, ay)), d4 = sign(cross(px, py, qx, qy, bx, by));
    if (d1 * d2 < 0 && d3 * d4 < 0)
        return true;
    return (d1 == 0 && within_box(ax, ay, bx, by, px, py)) ||
           (d2 == 0 && within_box(ax, ay, bx, by, qx, qy)) ||
           (d3 == 0 && within_box(px, py, qx, qy, ax, ay)) ||
           (d4 == 0 && within_box(px, py, qx, qy, bx, by));
}

/* An edge listed in several cells is simply tested again: the test only reads. */
bool is_lit_by(const shrouder_set *set, int lx, int ly, int x, int y) {
    if (!set || set->live_edges == 0)
        return true;
    bool blocked = false;
    set->grid.for_each_cell(lx, ly, x, y, [&](int cell) {
        for (int i = set->grid.heads[size_t(cell)]; i >= 0 && !blocked;
             i = set->grid.entries[i].next) {
            const set_edge &e = set->edges[size_t(set->grid.entries[i].edge)];
            blocked = e.slot >= 0 && light_on_right(e, lx, ly) &&
                      segments_meet(lx, ly, x, y, e.x1, e.y1, e.x2, e.y2);
        }
    });
    return !blocked;
}

void set_edges_in_box(const shrouder_set *set, int left, int top, int right, int bottom,
                      std::vector<set_edge_copy> *out) {
    out->clear();
    if (!set || set->live_edges == 0 || left > right || top > bottom)
        return;
    const edge_grid &grid = set->grid;
    const int64_t x_from = std::max<int64_t>(grid.cell_x(left), 0);
    const int64_t x_to = std::min<int64_t>(grid.cell_x(right), grid.cols - 1);
    const int64_t y_from = std::max<int64_t>(grid.cell_y(top), 0);
    const int64_t y_to = std::min<int64_t>(grid.cell_y(bottom), grid.rows - 1);
    /* An edge is listed in every cell it touches. A straight one touches the cells of its box, and
     * is kept at the first of them the scan meets; any other is kept everywhere and the doubles
     * are taken out after (few in a level of tiles). */
    bool slanted = false;
    for (int64_t cy = y_from; cy <= y_to; cy++) {
        const int64_t cell_top = grid.y0 + cy * grid.cell;
        for (int64_t cx = x_from; cx <= x_to; cx++) {
            const int64_t cell_left = grid.x0 + cx * grid.cell;
            for (int i = grid.heads[size_t(cy * grid.cols + cx)]; i >= 0;
                 i = grid.entries[i].next) {
                const int index = grid.entries[i].edge;
                const set_edge &e = set->edges[size_t(index)];
                const int min_x = std::min(e.x1, e.x2), min_y = std::min(e.y1, e.y2);
                if (e.slot < 0 || std::max(e.x1, e.x2) < left || min_x > right ||
                    std::max(e.y1, e.y2) < top || min_y > bottom)
                    continue;
                /* The first cell is the one holding (min_x, min_y), or the scan's first column
                 * or row when that lies before it: told by the cell's sides, not by divisions. */
                const bool straight = e.x1 == e.x2 || e.y1 == e.y2;
                const bool first_column =
                    min_x < cell_left + grid.cell && (min_x >= cell_left || cx == x_from);
                const bool first_row =
                    min_y < cell_top + grid.cell && (min_y >= cell_top || cy == y_from);
                if (straight && !(first_column && first_row))
                    continue;
                slanted = slanted || !straight;
                out->push_back(set_edge_copy{e.x1, e.y1, e.x2, e.y2, index});
            }
        }
    }
    if (!slanted)
        return;
    std::sort(out->begin(), out->end(),
              [](const set_edge_copy &a, const set_edge_copy &b) { return a.index < b.index; });
    out->erase(std::unique(out->begin(), out->end(),
                           [](const set_edge_copy &a, const set_edge_copy &b) {
                               return a.index == b.index;
                           }),
               out->end());
}
