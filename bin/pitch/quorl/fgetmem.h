// Float arrays from the standard allocator for the trackers' working storage.
#ifndef VELK_PITCH_FGETMEM_H
#define VELK_PITCH_FGETMEM_H

// Returns an array of n floats (release it with free); when memory is short
// prints "Cannot allocate memory for <n> floats!" on standard error and returns
// null, the caller deciding what follows.
float* fgetmem(long n);

#endif
