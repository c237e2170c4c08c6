/* Internal to the shadow module: how a shrouder set keeps its members, shared by the code that
 * changes a set (shrouder_set.cpp) and the code that casts it (set_cast.cpp). */
#ifndef SET_STORAGE_H
#define SET_STORAGE_H

#include "edge_grid.h"

#include <unordered_map>
#include <vector>

/* One directed edge: it casts when the light is strictly on its right. */
struct set_edge {
    int x1, y1, x2, y2;
    int slot; /* the member's slot, or -1 once the edge is dead (removed or moved away) */
};

/* A member's place: its edges are edges[first_edge .. first_edge + edge_count - 1]. A slot
 * freed by a removal is given to a later member. */
struct set_member {
    int id; /* -1 while the slot is free */
    int first_edge, edge_count;
};

struct shrouder_set {
    std::vector<set_edge> edges; /* live edges and dead ones not yet compacted */
    std::vector<set_member> slots;
    std::vector<int> free_slots;
    std::unordered_map<int, int> slot_of_id;
    int next_id = 0;
    edge_grid grid;               /* lists every edge of `edges`, dead ones included */
    std::vector<set_edge> moving; /* a member's edges while it moves: kept for the next move */
    int live_edges = 0, dead_edges = 0, edges_at_build = 0;
};

#endif
