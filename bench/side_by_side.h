/* Wall-clock timing of a pass beside its floor. Whichever of two passes over the same polygons
 * runs second finds the branch predictors trained and pixels in the cache (about 5% faster on
 * the demo scene), so each pass starts on a freshly reset bitmap and the caller alternates
 * which goes first. */
#ifndef BENCH_SIDE_BY_SIDE_H
#define BENCH_SIDE_BY_SIDE_H

#include <chrono>

struct side_by_side {
    double resets, a, b; /* seconds */
};

template <class Pass> double seconds_taken(Pass &&pass) {
    const auto start = std::chrono::steady_clock::now();
    pass();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

/* Runs reset then `a`, and reset then `b`; `a` first when `a_first`. */
template <class Reset, class A, class B>
side_by_side time_side_by_side(bool a_first, Reset &&reset, A &&a, B &&b) {
    side_by_side taken{0, 0, 0};
    const auto run_a = [&] {
        taken.resets += seconds_taken(reset);
        taken.a = seconds_taken(a);
    };
    const auto run_b = [&] {
        taken.resets += seconds_taken(reset);
        taken.b = seconds_taken(b);
    };
    if (a_first) {
        run_a();
        run_b();
    } else {
        run_b();
        run_a();
    }
    return taken;
}

#endif
