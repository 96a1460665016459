// The property check of the fuzz targets.
#pragma once

#include <cstdio>
#include <cstdlib>

// A property that failed: libFuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      fprintf(stderr, "fuzz property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      abort();                                                                               \
    }                                                                                        \
  } while (0)
