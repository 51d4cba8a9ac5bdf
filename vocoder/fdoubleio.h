#pragma once
// Parameter files: headerless little-endian 32-bit floats, one or more values per frame.
// In memory the values are doubles; reading widens exactly, writing rounds to nearest.
// Built on no other module.

#include <cstdint>
#include <cstdio>

namespace velk {

// Reads every whole float of the file into a new array of doubles (the caller frees it);
// returns the count, 0 on failure or for an empty file (errno then ENOMEM when memory ran out,
// 0 for an empty file, the reason the file could not be opened otherwise).
uint32_t fdoubleread(const char* path, double** values);
// The same; *rest receives the number of bytes after the last whole float (1 to 3 when the
// file's size is no multiple of 4), which make no value and are left out.
uint32_t fdoublereadrest(const char* path, double** values, uint32_t* rest);
// The same for at most `limit` values: a file holding more gives its first `limit` values with
// *exceeded set, and is read no further than that (so that an endless pipe stops there). A file that cannot
// seek (a pipe, /dev/stdin, /dev/fd/N of a process substitution) is read once, into memory that grows with
// what arrives.
uint32_t fdoublereadlimited(const char* path, double** values, uint32_t* rest, uint64_t limit,
                            bool* exceeded);
// The number of whole values and of bytes after them that a file holds, from its size, without
// reading it (both 0 for a file that is no regular file); 0, or -1 when the file is missing.
int fdoublecount(const char* path, uint64_t* values, uint32_t* rest);
// Writes n values as floats; returns n, or 0 when nothing could be written completely. The file
// is replaced whole (see outputfile.h): on failure an earlier file of the name stays as it was.
// keep = 1 converts into a separate buffer; any other value converts inside `values`, which
// then holds the packed floats and must no longer be read as doubles.
uint32_t fdoublewrite(const char* path, double* values, uint32_t n, uint8_t keep);
// Writes n values as floats to an open stream (keep as for fdoublewrite); returns n, or 0 when the
// write fell short. For the files of a set that is replaced whole (outputfile.h).
uint32_t fdoubleput(FILE* file, double* values, uint32_t n, uint8_t keep);
// The same without conversion.
uint32_t ffloatread(const char* path, float** values);
uint32_t ffloatwrite(const char* path, const float* values, uint32_t n);

}  // namespace velk
