// Float arrays from the standard allocator for the trackers' working storage.
#pragma once

namespace velk {

// Returns an array of n floats (release it with free), or null when memory is short, the caller
// deciding what follows and what to say.
float* fgetmem(long n);

}  // namespace velk
