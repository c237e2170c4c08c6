/* libFuzzer target for the three public shadow operations. Beyond what the sanitizers see, it
 * checks the pixels. The calls draw into a sub-bitmap framed by a margin of its parent, and
 * afterwards:
 *  - the margin is untouched: nothing is written outside the target bitmap;
 *  - every pixel of the target is the background or black: only black is painted;
 *  - the same calls in reverse order, without the segment calls that have a coordinate beyond
 *    2^19 and the outline calls whose light is, give the same bytes: the order of the calls
 *    does not matter and a refused call draws nothing.
 * A failed check aborts, so libFuzzer keeps the input.
 *
 * Input, read from the front, little-endian; bytes past the end read as zero:
 *   u16 width, u16 height (see read_side), u8 colour depth (index into `depths`),
 *   then up to `max_calls` calls, each: u8 kind (one-way, two-way, outline), the light as two
 *   coordinates, then two endpoints, or an i32 point count followed by that many points.
 * A coordinate takes five bytes: a tag byte says how to read the four after it: near the
 * bitmap, one of `extremes` plus a signed byte, or any int.
 */
#include "tenebrant.h"

#include <allegro.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const int max_side = 2048;
const int depths[] = {8, 15, 16, 24, 32};
const int depth_count = sizeof depths / sizeof depths[0];
/* Wide enough that a fill running a few pixels past the clip lands in it. */
const int margin = 16;
const size_t max_calls = 8;
const int max_outline_points = 12;
/* Near coordinates span the largest bitmap and this much around it. */
const int near_reach = 64;
/* The module draws nothing for a call with a coordinate beyond this. */
const int64_t coord_limit = 1 << 19;
const int64_t extremes[] = {INT_MIN,     INT_MAX, -(1 << 30), 1 << 30, -coord_limit,
                            coord_limit, -32767,  32767,      0};
const int extreme_count = sizeof extremes / sizeof extremes[0];

class reader {
    const uint8_t *data;
    size_t size;

  public:
    reader(const uint8_t *data, size_t size) : data(data), size(size) {}
    bool empty() const {
        return size == 0;
    }
    uint32_t bytes(int n) {
        uint32_t value = 0;
        for (int i = 0; i < n; i++) {
            const uint32_t byte = size > 0 ? *data++ : 0;
            size -= size > 0;
            value |= byte << (8 * i);
        }
        return value;
    }
};

/* 1 to max_side: the low 11 bits, scaled down by the next 3. Most bitmaps come out small, so the
 * fuzzer runs several times as many inputs as with sides spread evenly, and every side can
 * still be chosen. */
int read_side(reader &in) {
    const uint32_t raw = in.bytes(2);
    return int((raw % max_side) >> (raw / max_side % 8)) + 1;
}

enum { near_tag, extreme_tag, any_tag, tag_count };

int read_coordinate(reader &in) {
    const uint32_t tag = in.bytes(1) % tag_count;
    const uint32_t payload = in.bytes(4);
    if (tag == near_tag)
        return int(payload % (max_side + 2 * near_reach)) - near_reach;
    if (tag == extreme_tag) {
        const int64_t value = extremes[(payload & 0xff) % extreme_count] + int8_t(payload >> 8);
        return int(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
    }
    return int32_t(payload);
}

enum { one_way, two_way, outline, kind_count };

struct call {
    int kind;
    int lx, ly;
    int x1, y1, x2, y2;
    int count;
    /* Exactly `count` points: reading past them is an overflow the sanitizer reports. */
    std::vector<int> points;
};

call read_call(reader &in) {
    call c{};
    c.kind = int(in.bytes(1) % kind_count);
    c.lx = read_coordinate(in);
    c.ly = read_coordinate(in);
    if (c.kind != outline) {
        c.x1 = read_coordinate(in);
        c.y1 = read_coordinate(in);
        c.x2 = read_coordinate(in);
        c.y2 = read_coordinate(in);
        return c;
    }
    c.count = int32_t(in.bytes(4));
    if (c.count > max_outline_points)
        c.count %= max_outline_points + 1;
    for (int i = 0; i < c.count; i++) {
        c.points.push_back(read_coordinate(in));
        c.points.push_back(read_coordinate(in));
    }
    return c;
}

void cast(BITMAP *bmp, const call &c) {
    if (c.kind == one_way)
        add_shrouder(bmp, c.lx, c.ly, c.x1, c.y1, c.x2, c.y2);
    else if (c.kind == two_way)
        add_2_way_shrouder(bmp, c.lx, c.ly, c.x1, c.y1, c.x2, c.y2);
    else
        add_shrouder(bmp, c.lx, c.ly, c.count, c.points.data());
}

bool beyond_limit(int v) {
    return v < -coord_limit || v > coord_limit;
}

bool refused(const call &c) {
    if (beyond_limit(c.lx) || beyond_limit(c.ly))
        return true;
    return c.kind != outline &&
           (beyond_limit(c.x1) || beyond_limit(c.y1) || beyond_limit(c.x2) || beyond_limit(c.y2));
}

int background(int depth) {
    return makecol_depth(depth, 0, 127, 0);
}

int black(int depth) {
    return makecol_depth(depth, 0, 0, 0);
}

/* A target bitmap inside a margin of its parent, both filled with the background. */
struct framed {
    BITMAP *parent, *target;
    framed(int depth, int w, int h) {
        set_color_depth(depth);
        parent = create_bitmap(w + 2 * margin, h + 2 * margin);
        clear_to_color(parent, background(depth));
        target = create_sub_bitmap(parent, margin, margin, w, h);
    }
    ~framed() {
        destroy_bitmap(target);
        destroy_bitmap(parent);
    }
    framed(const framed &) = delete;
    framed &operator=(const framed &) = delete;
};

void fail(const char *what, int x, int y) {
    fprintf(stderr, "%s at (%d, %d) of the parent bitmap\n", what, x, y);
    abort();
}

/* The pixel checks visit every pixel: left out of the coverage feedback and of the address
 * checks, they run a hundred times faster. */
#define UNTRACED __attribute__((no_sanitize("coverage", "address")))

typedef int (*row_scan)(const uint8_t *row, int from, int to, uint32_t a, uint32_t b);

/* The first pixel in [from, to) of the row that is neither colour a nor colour b, or `to`. */
template <int bytes>
UNTRACED int first_other(const uint8_t *row, int from, int to, uint32_t a, uint32_t b) {
    for (int x = from; x < to; x++) {
        uint32_t v = 0;
        memcpy(&v, row + x * bytes, bytes);
        if (v != a && v != b)
            return x;
    }
    return to;
}

row_scan scan_for(int depth) {
    switch ((depth + 7) / 8) {
    case 1:
        return first_other<1>;
    case 2:
        return first_other<2>;
    case 3:
        return first_other<3>;
    default:
        return first_other<4>;
    }
}

UNTRACED void check_only_black_inside(const framed &f) {
    const int depth = bitmap_color_depth(f.parent);
    const row_scan scan = scan_for(depth);
    const uint32_t lit = background(depth), unlit = black(depth);
    const int right = margin + f.target->w, bottom = margin + f.target->h, end = f.parent->w;
    const char *outside = "a write outside the bitmap";
    for (int y = 0; y < f.parent->h; y++) {
        const uint8_t *row = f.parent->line[y];
        if (y < margin || y >= bottom) {
            const int x = scan(row, 0, end, lit, lit);
            if (x < end)
                fail(outside, x, y);
            continue;
        }
        int x = scan(row, 0, margin, lit, lit);
        if (x < margin)
            fail(outside, x, y);
        x = scan(row, margin, right, lit, unlit);
        if (x < right)
            fail("a colour other than black", x, y);
        x = scan(row, right, end, lit, lit);
        if (x < end)
            fail(outside, x, y);
    }
}

UNTRACED void check_same(const framed &a, const framed &b) {
    const size_t row = size_t(a.parent->w) * ((bitmap_color_depth(a.parent) + 7) / 8);
    for (int y = 0; y < a.parent->h; y++)
        if (memcmp(a.parent->line[y], b.parent->line[y], row) != 0)
            fail("the reverse order without the refused calls differs", 0, y);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0)
        abort();
    /* Headless, the palette starts all black: 8-bit colours need a real one. */
    select_palette(default_palette);
    for (int depth : depths)
        if (background(depth) == black(depth))
            abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    reader in(data, size);
    const int w = read_side(in);
    const int h = read_side(in);
    const int depth = depths[in.bytes(1) % depth_count];
    std::vector<call> calls;
    while (!in.empty() && calls.size() < max_calls)
        calls.push_back(read_call(in));

    framed forward(depth, w, h), backward(depth, w, h);
    for (const call &c : calls)
        cast(forward.target, c);
    for (auto c = calls.rbegin(); c != calls.rend(); ++c)
        if (!refused(*c))
            cast(backward.target, *c);

    check_only_black_inside(forward);
    check_same(forward, backward);
    return 0;
}
