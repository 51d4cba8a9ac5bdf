#pragma once
// The outcome of a program's run over its file sets, and the exit status it gives: shared by
// velkcoder and velkdecoder.
#include <climits>
#include <cstdint>
#include <cstdio>

#include "paramread.h"

struct filesetrun {
  const void* options;  // the program's options, for the sets of an indexed run
  uint32_t sets = 0;
  uint32_t failed = 0;
  void add(bool done) {
    ++sets;
    if (!done) ++failed;
  }
};

// 0 when every set succeeded, else 1; an indexed run then ends with the count of the failed sets.
inline int filesetstatus(const filesetrun& run, bool indexed) {
  if (run.failed == 0) return 0;
  if (indexed) printf("Error: %u of %u file sets failed.\n", run.failed, run.sets);
  return 1;
}

// false (reported) when an index of the list cannot be written into every one of the count names
// of the set; checked once, before the first set.
inline bool indexlistfits(const char* list, uint32_t count, const char* const* names) {
  char problem[PATH_MAX + 64];
  if (strnumfitsnames(list, count, names, problem, sizeof problem) == 0) return true;
  printf("Error: %s.\n", problem);
  return false;
}
