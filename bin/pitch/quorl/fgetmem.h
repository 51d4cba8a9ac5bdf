// Float arrays from the standard allocator for the trackers' working storage.
#ifndef VELK_PITCH_FGETMEM_H
#define VELK_PITCH_FGETMEM_H

// Returns an array of n floats (release it with free); when memory is short
// prints a message and ends the process with status 1.
float* fgetmem(long n);

#endif
