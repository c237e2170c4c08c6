/* Fuzzer-chosen ints, shared by the fuzz target's parts. */
#ifndef FUZZ_FUZZED_INT_H
#define FUZZ_FUZZED_INT_H

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <fuzzer/FuzzedDataProvider.h>

/* An int from low to high, one next to a value of `extremes`, or any int. */
template <size_t count>
int fuzzed_int(FuzzedDataProvider &in, int low, int high, const int (&extremes)[count]) {
    switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
        return in.ConsumeIntegralInRange(low, high);
    case 1:
        return int(std::clamp<int64_t>(int64_t(in.PickValueInArray(extremes)) +
                                           in.ConsumeIntegral<int8_t>(),
                                       INT_MIN, INT_MAX));
    default:
        return in.ConsumeIntegral<int>();
    }
}

#endif
