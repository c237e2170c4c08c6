/* The fuzz target's part for the light maps (light_map.h), driven from the entry point. */
#ifndef FUZZ_LIGHT_FUZZ_H
#define FUZZ_LIGHT_FUZZ_H

#include <fuzzer/FuzzedDataProvider.h>

/* Creates, lights and applies one light map from the input; aborts on a failed check. */
void fuzz_lights(FuzzedDataProvider &in);

#endif
