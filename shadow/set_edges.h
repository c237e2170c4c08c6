/* Internal to the library: the edges of a shrouder set near a place, for the light maps'
 * lamps, which need the occluders themselves rather than their shadows. */
#ifndef SET_EDGES_H
#define SET_EDGES_H

#include <vector>

struct shrouder_set;

/* One directed edge of a live member: it casts when the light is strictly on its right. A
 * two-way segment is two such edges, one each way; an outline is its ring of edges. */
struct set_edge_copy {
    int x1, y1, x2, y2;
    int index; /* the edge's place in the set, unique among the edges listed */
};

/* Replaces the contents of *out with every directed edge of a live member that meets the box
 * from (left, top) to (right, bottom), ends included, each edge once, in world coordinates; a
 * few more may come along, edges whose bounding box meets the box. Allocates only when *out
 * must grow. A NULL set lists nothing. */
void set_edges_in_box(const shrouder_set *set, int left, int top, int right, int bottom,
                      std::vector<set_edge_copy> *out);

#endif
